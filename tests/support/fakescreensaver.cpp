// A stand-in for the desktop's screen saver service on the private session bus named first: it takes the name
// org.freedesktop.ScreenSaver, answers Inhibit and UnInhibit, and prints one line per call
// ("Inhibit <application> <cookie>", "UnInhibit <cookie>") after "ready".
#include <QtDBus>

class FakeScreenSaver : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
    uint lastCookie = 40;

public slots:
    uint Inhibit(const QString &application, const QString &)
    {
        say(QString("Inhibit %1 %2").arg(application).arg(++lastCookie));
        return lastCookie;
    }
    void UnInhibit(uint cookie) { say(QString("UnInhibit %1").arg(cookie)); }

public:
    static void say(const QString &line) { QTextStream(stdout) << line << Qt::endl; }
};

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QDBusConnection bus = QDBusConnection::connectToBus(argc > 1 ? argv[1] : "", "private");
    FakeScreenSaver saver;
    if (!bus.registerObject("/org/freedesktop/ScreenSaver", &saver, QDBusConnection::ExportAllSlots) ||
        !bus.registerService("org.freedesktop.ScreenSaver")) {
        QTextStream(stderr) << "fake-screensaver: " << bus.lastError().message() << Qt::endl;
        return 1;
    }
    FakeScreenSaver::say("ready");
    return application.exec();
}

#include "fakescreensaver.moc"
