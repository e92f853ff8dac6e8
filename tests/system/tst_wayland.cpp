// The real kolvane-meters on Wayland compositors' headless back ends, full screen from the stored option:
// under sway with the compositor's idle inhibitor on its window while the screen is to be kept awake, and
// none once that is turned off in the display options; under weston, which offers no inhibitor, with the
// log saying why the screen may blank.
#include "program.h"

#include <QJsonDocument>

#include <unistd.h>

class TestWayland : public QObject, SystemFixture
{
    Q_OBJECT
    QString socket, ipc, shots; // the compositor's, and where pictures of its outputs go
    QString run(const QString &command, const QProcessEnvironment &env)
    {
        QStringList arguments = command.split(' ');
        QProcess process;
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(shots);
        process.start(which(arguments.takeFirst()), arguments);
        const bool ran = process.waitForFinished(TimeoutMs) && process.exitCode() == 0;
        return ran ? QString::fromUtf8(process.readAllStandardOutput() + ' ') : QString();
    }
    QByteArray tree() // sway's
    {
        const QString json = run("swaymsg -r -t get_tree -s " + ipc, environment());
        return QJsonDocument::fromJson(json.toUtf8()).toJson(QJsonDocument::Compact);
    }
    // In a folder of its own, where it makes its sockets. sway refuses to run as root: there both run as
    // nobody, which owns that folder.
    bool startCompositor(Program &server, const QString &command)
    {
        QStringList arguments = command.split(' ');
        const QString runtime = server.folder + "/run";
        shots = server.folder + "/shots";
        QFile config(server.folder + "/config");
        const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeOther;
        if (!QDir().mkpath(runtime) || !QDir().mkpath(shots) || !config.open(QIODevice::WriteOnly) ||
            config.write("xwayland disable\noutput * resolution 1920x1080\n") < 0 ||
            !QFile::setPermissions(work.path(), open) || !QFile::setPermissions(server.folder, open) ||
            !QFile::setPermissions(runtime, open & ~QFile::ExeOther) ||
            (geteuid() == 0 && chown(qPrintable(runtime), 65534, 65534) != 0))
            return false;
        config.close();
        QProcessEnvironment env = environment();
        env.remove("DISPLAY");
        env.insert("XDG_RUNTIME_DIR", runtime);
        env.insert("HOME", server.folder);
        for (const QString variable : {"WLR_BACKENDS=headless", "WLR_RENDERER=pixman",
                                       "WLR_HEADLESS_OUTPUTS=2", "WLR_LIBINPUT_NO_DEVICES=1"})
            env.insert(variable.section('=', 0, 0), variable.section('=', 1));
        const bool isSway = arguments.first() == "sway";
        if (geteuid() == 0)
            arguments =
                QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"} + arguments;
        server.process.setWorkingDirectory(server.folder);
        socket.clear();
        ipc.clear();
        const auto ready = [&] {
            for (const QString &name : QDir(runtime).entryList(QDir::System))
                (name.startsWith("sway-ipc.") ? ipc : socket) = runtime + '/' + name;
            return !socket.isEmpty() && ipc.isEmpty() != isSway;
        };
        return server.start(which(arguments.takeFirst()), arguments, env) &&
               QTest::qWaitFor(ready, TimeoutMs);
    }
    // The display on the compositor, its log in a file.
    bool startMeters(Program &meters, const QString &log)
    {
        QProcessEnvironment env = environment(&meters);
        env.remove("DISPLAY");
        env.insert("QT_QPA_PLATFORM", "wayland");
        env.insert("WAYLAND_DISPLAY", socket); // a path: the program's runtime folder is its own
        return meters.start("/bin/sh", {"-c", "exec \"$0\" 2>\"$1\"", KOLVANE_METERS_PROGRAM, log}, env);
    }
    // Whether the shooter's picture of the output shows the display covering it: its grey panel at the
    // corners and edges, no title bar, no desktop.
    QProcessEnvironment client() const // of the compositor
    {
        QProcessEnvironment env = environment();
        env.insert("WAYLAND_DISPLAY", socket);
        return env;
    }
    bool covered(const QString &shooter)
    {
        const bool shot = !run(shooter, client()).isNull();
        const QStringList pictures = QDir(shots).entryList({"*.png"}, QDir::Files, QDir::Time);
        const QImage picture =
            shot && !pictures.isEmpty() ? QImage(shots + '/' + pictures.first()) : QImage();
        if (picture.size() != QSize(1920, 1080))
            return (error = say("the picture is ", picture.size())).isEmpty();
        for (const QPoint at : {QPoint(2, 2), QPoint(960, 2), QPoint(1917, 2), QPoint(2, 540),
                                QPoint(1917, 540), QPoint(2, 1077), QPoint(960, 1077), QPoint(1917, 1077)}) {
            const QRgb pixel = picture.pixel(at);
            if (qGray(pixel) < 64 || qAbs(qRed(pixel) - qBlue(pixel)) > 24)
                return (error = say("the edge at ", at, " is ", QColor(pixel).name())).isEmpty();
        }
        return true;
    }
private slots:
    void fullScreenAndAwake_data();
    void fullScreenAndAwake();
};

void TestWayland::fullScreenAndAwake_data()
{
    QTest::addColumn<QString>("compositor");
    QTest::addColumn<QString>("shooter"); // leaves a picture of the first output in the working folder
    QTest::addColumn<QString>("awake");   // keep_screen_awake
    QTest::addColumn<QString>("said");    // at start
    const QString sway = "sway -c config", grim = "grim -o HEADLESS-1 grim.png";
    QTest::newRow("sway") << sway << grim << "true"
                          << "screen kept awake through the compositor's idle inhibitor";
    QTest::newRow("sway-option-off") << sway << grim << "false"
                                     << "";
    // weston lets a client take a picture only when debugging.
    QTest::newRow("weston")
        << "weston --backend=headless-backend.so --width=1920 --height=1080 --socket=kolvane "
           "--idle-time=0 --use-pixman --debug"
        << "weston-screenshooter"
        << "true"
        << "screen may blank: the compositor offers no idle inhibitor, no screen saver service "
           "answers on the session bus";
}

void TestWayland::fullScreenAndAwake()
{
    QFETCH(QString, compositor);
    QFETCH(QString, shooter);
    QFETCH(QString, awake);
    QFETCH(QString, said);
    KOLVANE_REQUIRE(
        hasTools({compositor.section(' ', 0, 0), shooter.section(' ', 0, 0), "swaymsg", "wtype", "setpriv"}),
        "Debian: sway grim wtype weston qtwayland5");
    const QString tag = QTest::currentDataTag(), log = work.filePath(tag + ".log");
    Program server(work.filePath(tag + "-server")), meters(work.filePath(tag));
    QVERIFY(startCompositor(server, compositor));
    meters.writeSettings({"full_screen=true", "keep_screen_awake=" + awake});
    QVERIFY(startMeters(meters, log));
    QVERIFY2(QTest::qWaitFor([&] { return covered(shooter); }, TimeoutMs), why());
    if (!ipc.isEmpty())
        QTRY_VERIFY(tree().contains("\"inhibit_idle\":" + awake.toUtf8()));
    // Turned off in the display options, from the keyboard: out of full screen (where sway hands a dialog
    // no keys), the menu key, the menu's second entry, the dialog's third field, OK, and back. One
    // keyboard for all: the menu closes when its keyboard goes.
    if (!ipc.isEmpty() && awake == "true") {
        QVERIFY(!run("wtype -s 1000 -k F11 -s 1000 -k Menu -s 500 -k Down -s 300 -k Down -s 300 -k Return -s "
                     "3000 "
                     "-k Tab -s 300 -k Tab -s 300 -k space -s 500 -k Return -s 1000 -k F11",
                     client())
                     .isNull());
        const auto released = [&](const QByteArray &now) { // once the dialog, never inhibiting, is gone
            return now.contains("\"inhibit_idle\":false") && !now.contains("\"inhibit_idle\":true");
        };
        QTRY_VERIFY(released(tree()));
    }
    QCOMPARE(meters.stop(), 0);
    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray logged = file.readAll();
    QVERIFY2(said.isEmpty() ? !logged.contains("idle inhibitor") : logged.contains(said.toUtf8()), logged);
    QVERIFY(QSettings(meters.ini, QSettings::IniFormat).value("full_screen").toBool());
}

QTEST_GUILESS_MAIN(TestWayland)
#include "tst_wayland.moc"
