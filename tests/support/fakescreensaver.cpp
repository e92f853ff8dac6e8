// A stand-in for the desktop's screen saver service on a private session bus: it takes the name
// org.freedesktop.ScreenSaver, answers Inhibit and UnInhibit, and prints one line per call
// ("Inhibit <application> <cookie>", "UnInhibit <cookie>") after "ready".
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QObject>
#include <QTextStream>

class FakeScreenSaver : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

public slots:
    uint Inhibit(const QString &application, const QString &)
    {
        say(QStringLiteral("Inhibit %1 %2").arg(application).arg(++lastCookie));
        return lastCookie;
    }
    void UnInhibit(uint cookie) { say(QStringLiteral("UnInhibit %1").arg(cookie)); }

public:
    static void say(const QString &line)
    {
        QTextStream out(stdout);
        out << line << '\n';
        out.flush();
    }

private:
    uint lastCookie = 40;
};

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    FakeScreenSaver saver;
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &saver,
                            QDBusConnection::ExportAllSlots) ||
        !bus.registerService(QStringLiteral("org.freedesktop.ScreenSaver"))) {
        QTextStream(stderr) << "fake-screensaver: " << bus.lastError().message() << '\n';
        return 1;
    }
    FakeScreenSaver::say(QStringLiteral("ready"));
    return application.exec();
}

#include "fakescreensaver.moc"
