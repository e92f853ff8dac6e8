// The real kolvane-meters on Wayland compositors' headless back ends: under sway full screen from the
// stored option, seen in sway's tree and through grim, with the compositor's idle inhibitor on the window
// while the screen is to be kept awake; under weston, which offers no inhibitor, full screen holds and the
// log says why the screen may blank.
#include "program.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <unistd.h>

class TestWayland : public QObject, SystemFixture
{
    Q_OBJECT
    QString socket, ipc; // the compositor's, in a folder of the test's own
    QString run(const QString &tool, const QStringList &arguments, const QProcessEnvironment &env)
    {
        QProcess process;
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(work.path()); // where weston-screenshooter leaves its pictures
        process.start(which(tool), arguments);
        const bool ran = process.waitForFinished(TimeoutMs) && process.exitCode() == 0;
        return ran ? QString::fromUtf8(process.readAllStandardOutput() + ' ') : QString();
    }
    QProcessEnvironment on(const QString &runtime) const
    {
        QProcessEnvironment env = environment();
        env.remove("DISPLAY");
        env.insert("XDG_RUNTIME_DIR", runtime);
        env.insert("WAYLAND_DISPLAY", socket);
        return env;
    }
    // In a folder of its own, where it makes its sockets. sway refuses to run as root: there it runs as
    // nobody, which owns that folder.
    bool startCompositor(Program &compositor, QStringList arguments, const QString &configuration = {})
    {
        const QDir home(compositor.folder);
        const QString runtime = home.filePath("run"), config = home.filePath("config");
        const bool isSway = arguments.first() == "sway", asNobody = isSway && geteuid() == 0;
        QFile file(config);
        const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeOther;
        if (!home.mkpath("run") || !QFile::setPermissions(work.path(), open) ||
            !QFile::setPermissions(home.path(), open) || !file.open(QIODevice::WriteOnly) ||
            file.write(configuration.toUtf8()) < 0 ||
            !QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) ||
            (asNobody && chown(qPrintable(runtime), 65534, 65534) != 0))
            return false;
        file.close();
        QProcessEnvironment env = on(runtime);
        env.remove("WAYLAND_DISPLAY");
        env.insert("HOME", home.path());
        for (const QString variable : {"WLR_BACKENDS=headless", "WLR_RENDERER=pixman",
                                       "WLR_HEADLESS_OUTPUTS=2", "WLR_LIBINPUT_NO_DEVICES=1"})
            env.insert(variable.section('=', 0, 0), variable.section('=', 1));
        QString program = which(arguments.takeFirst());
        arguments << "-c" << config;
        if (asNobody) {
            arguments = QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", program} + arguments;
            program = which("setpriv");
        }
        socket.clear();
        ipc.clear();
        const auto ready = [&] {
            for (const QString &name : QDir(runtime).entryList(QDir::System)) {
                if (name.startsWith("sway-ipc."))
                    ipc = runtime + '/' + name;
                else
                    socket = runtime + '/' + name;
            }
            return !socket.isEmpty() && ipc.isEmpty() != isSway;
        };
        return compositor.start(program, arguments, env) && QTest::qWaitFor(ready, TimeoutMs);
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
    // The output as the display covers it: its brushed grey panel all along the edges, no title bar, no
    // desktop beside it.
    static QString coversTheOutput(const QImage &picture, const QSize &output)
    {
        if (picture.size() != output)
            return say("the picture is ", picture.size(), ", not ", output);
        QVector<QPoint> edges;
        for (int x = 2; x < output.width() - 2; x += 8)
            edges << QPoint(x, 2) << QPoint(x, output.height() - 3);
        for (int y = 2; y < output.height() - 2; y += 8)
            edges << QPoint(2, y) << QPoint(output.width() - 3, y);
        for (const QPoint &at : edges) {
            const QRgb pixel = picture.pixel(at);
            if (qGray(pixel) < 64 || qAbs(qRed(pixel) - qBlue(pixel)) > 24)
                return say("the edge at ", at, " is ", QColor(pixel).name());
        }
        return {};
    }
    static bool says(const QString &log, const QByteArray &line)
    {
        QFile file(log);
        return file.open(QIODevice::ReadOnly) && file.readAll().contains(line);
    }
    // The display's window in sway's tree.
    QJsonObject view()
    {
        const QString tree = run("swaymsg", {"-s", ipc, "-r", "-t", "get_tree"}, environment());
        std::function<QJsonObject(const QJsonObject &)> find = [&](const QJsonObject &node) {
            if (node["name"].toString().startsWith("Kolvane Meters"))
                return node;
            for (const char *children : {"nodes", "floating_nodes"})
                for (const QJsonValue &child : node[children].toArray())
                    if (const QJsonObject found = find(child.toObject()); !found.isEmpty())
                        return found;
            return QJsonObject();
        };
        return find(QJsonDocument::fromJson(tree.toUtf8()).object());
    }
private slots:
    void sway_data();
    void sway();
    void weston();
};

void TestWayland::sway_data()
{
    QTest::addColumn<bool>("keepAwake");
    QTest::newRow("screen kept awake") << true;
    QTest::newRow("option off") << false;
}

void TestWayland::sway()
{
    QFETCH(bool, keepAwake);
    KOLVANE_REQUIRE(hasTools({"sway", "swaymsg", "grim", "setpriv"}),
                    "sway and grim are needed (Debian: sway grim qtwayland5)");
    const QString tag = QTest::currentDataTag();
    Program sway(work.filePath(tag + "-sway")), meters(work.filePath(tag));
    QVERIFY(startCompositor(sway, {"sway"},
                            "xwayland disable\noutput HEADLESS-1 resolution 1280x720 position 0 0\n"
                            "output HEADLESS-2 resolution 1024x768 position 1280 0\n"));
    meters.writeSettings(
        {"full_screen=true", keepAwake ? "keep_screen_awake=true" : "keep_screen_awake=false"});
    QVERIFY(startMeters(meters, work.filePath(tag + ".log")));
    QJsonObject window;
    const auto covers = [&] {
        window = view();
        const QJsonObject r = window["rect"].toObject();
        return window["fullscreen_mode"].toInt() == 1 &&
               QRect(r["x"].toInt(), r["y"].toInt(), r["width"].toInt(), r["height"].toInt()) ==
                   QRect(0, 0, 1280, 720);
    };
    QVERIFY2(QTest::qWaitFor(covers, TimeoutMs), QJsonDocument(window).toJson());
    QTRY_COMPARE(view()["inhibit_idle"].toBool(), keepAwake);
    const QString shot = work.filePath(tag + ".png");
    const auto shown = [&] {
        return !run("grim", {"-o", "HEADLESS-1", shot}, on(meters.runtime.path())).isNull() &&
               (error = coversTheOutput(QImage(shot), {1280, 720})).isEmpty();
    };
    QVERIFY2(QTest::qWaitFor(shown, TimeoutMs), why());
    QCOMPARE(meters.stop(), 0);
    QCOMPARE(says(work.filePath(tag + ".log"), "screen kept awake through the compositor's idle inhibitor"),
             keepAwake);
}

void TestWayland::weston()
{
    KOLVANE_REQUIRE(hasTools({"weston", "weston-screenshooter"}),
                    "weston is needed (Debian: weston qtwayland5)");
    Program weston(work.filePath("weston")), meters(work.filePath("on-weston"));
    QVERIFY(
        startCompositor(weston, {"weston", "--backend=headless-backend.so", "--width=1920", "--height=1080",
                                 "--socket=kolvane", "--idle-time=0", "--use-pixman", "--debug"}));
    meters.writeSettings({"full_screen=true"});
    const QString log = work.filePath("weston.log");
    QVERIFY(startMeters(meters, log));
    QTRY_VERIFY_WITH_TIMEOUT(
        says(log, "screen may blank: the compositor offers no idle inhibitor, no screen saver "
                  "service answers on the session bus"),
        TimeoutMs);
    // weston shows a picture of its outputs to a client only when debugging.
    const auto covered = [&] {
        const QString shots = run("weston-screenshooter", {}, on(weston.folder + "/run")).isNull()
                                  ? QString()
                                  : run("sh", {"-c", "ls -t wayland-screenshot-*.png"}, environment());
        const QString newest = work.filePath(shots.section('\n', 0, 0));
        return !shots.isNull() && (error = coversTheOutput(QImage(newest), {1920, 1080})).isEmpty();
    };
    QVERIFY2(QTest::qWaitFor(covered, TimeoutMs), why());
    QCOMPARE(meters.stop(), 0);
    QVERIFY(QSettings(meters.ini, QSettings::IniFormat).value("full_screen").toBool());
}

QTEST_GUILESS_MAIN(TestWayland)
#include "tst_wayland.moc"
