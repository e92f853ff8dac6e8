// The real kolvane-meters as a wall display: full screen under a window manager, on a bare X server
// and on the second of two screens, each across a restart; the screen saver service on a private bus.
#include "privatebus.h"
#include "program.h"

#include <QtTest>

#include <unistd.h>

namespace {
constexpr int TimeoutMs = 10000;
const QRect Screen(0, 0, 1600, 1000);
const QRect SecondScreen(1280, 0, 1280, 800);
const QSize DesignSize(986, 580);
const QStringList SearchPath = (qEnvironmentVariable("PATH") + ":/usr/sbin:/sbin").split(':');
const QString Title = "Kolvane Meters";

QString which(const QString &name)
{
    return QStandardPaths::findExecutable(name, SearchPath);
}
} // namespace

class TestWall : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void bareServerCoversTheScreenAndRestoresThePlace();
    void windowManagerTakesFullScreen();
    void secondOfTwoScreens();
    void screenSaverServiceHeldWhileRunning();
    // Faults found in use, each caught on the program before it was mended.
    void qtsOwnDisplay();
    void fullScreenFollowsTheWindow_data();
    void fullScreenFollowsTheWindow();
    void fullScreenFollowsTheScreen();
    void bareServerTakesTheKeyboard();

private:
    QTemporaryDir work;
    QString error;
    // An X server of the test's own; -displayfd picks a free display number.
    bool startServer(Program &server, const QString &program, const QStringList &options,
                     const QString &host = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!host.isEmpty())
            env.insert("DISPLAY", host);
        const QStringList common{"-displayfd", "1", "-nolisten", "tcp", "-noreset"};
        if (!server.start(which(program), common + options, env))
            return false;
        display = ":" + server.firstLine();
        return display.size() > 1;
    }
    QString display;
    QProcessEnvironment environment(Program &meters, const QString &bus = "disabled:")
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display);
        env.insert("XDG_CONFIG_HOME", meters.folder);
        env.insert("XDG_RUNTIME_DIR", meters.runtime.path());
        env.insert("DBUS_SESSION_BUS_ADDRESS", bus);
        return env;
    }
    // Where the window is, and its id, from kolvane-screenshot (no picture).
    QRect geometry(QString *id = nullptr, const QStringList &options = {})
    {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display);
        tool.setProcessEnvironment(env);
        tool.start(KOLVANE_SCREENSHOT_PROGRAM, QStringList{"--title", Title, "--wait", "20000"} + options);
        tool.waitForFinished(3 * TimeoutMs);
        QHash<QString, QString> v;
        for (const QString &line : QString::fromUtf8(tool.readAllStandardOutput()).split('\n'))
            v.insert(line.section('=', 0, 0), line.section('=', 1));
        if (id)
            *id = v["id"];
        error = QString::fromLocal8Bit(tool.readAllStandardError());
        return QRect(v["x"].toInt(), v["y"].toInt(), v["width"].toInt(), v["height"].toInt());
    }
    bool startMeters(Program &meters, const QString &bus = "disabled:")
    {
        return meters.start(KOLVANE_METERS_PROGRAM, {}, environment(meters, bus)) && geometry().isValid();
    }
    // A key to the window, through the X server's test extension as from a keyboard.
    bool press(const QString &key)
    {
        QString id;
        geometry(&id);
        QProcess xdotool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display);
        xdotool.setProcessEnvironment(env);
        xdotool.start(which("xdotool"), {"windowfocus", "--sync", id, "key", key});
        return xdotool.waitForFinished(TimeoutMs) && xdotool.exitCode() == 0;
    }
    // A tool run on the test's display: its output, null when it failed.
    QString run(const QString &tool, const QStringList &arguments)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display);
        process.setProcessEnvironment(env);
        process.start(which(tool), arguments);
        const bool ran = process.waitForFinished(TimeoutMs) && process.exitCode() == 0;
        return ran ? QString::fromLocal8Bit(process.readAllStandardOutput() + ' ') : QString();
    }
    bool comesTo(const QRect &expected)
    {
        QRect now;
        const bool there = QTest::qWaitFor([&] { return (now = geometry()) == expected; }, TimeoutMs);
        QDebug(&error) << "window at" << now << "not" << expected;
        return there;
    }
};

void TestWall::initTestCase()
{
    for (const char *tool : {"Xvfb", "xdotool"})
        KOLVANE_REQUIRE(!which(tool).isEmpty(), "Xvfb and xdotool are needed (Debian: xvfb xdotool)");
    KOLVANE_REQUIRE(QFileInfo(KOLVANE_SCREENSHOT_PROGRAM).isExecutable(),
                    "kolvane-screenshot is not built (Debian: libxcb1-dev)");
    for (const char *name : {"QT_QPA_PLATFORM", "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS",
                             "QT_AUTO_SCREEN_SCALE_FACTOR", "QT_FONT_DPI", "WAYLAND_DISPLAY"})
        qunsetenv(name);
}

void TestWall::bareServerCoversTheScreenAndRestoresThePlace()
{
    Program xvfb(work.filePath("bare-x")), meters(work.filePath("bare"));
    QVERIFY(startServer(xvfb, "Xvfb", {"-screen", "0", "1600x1000x24"}));
    QVERIFY2(startMeters(meters), qPrintable(error));
    QVERIFY2(comesTo(QRect(Screen.topLeft(), DesignSize)), qPrintable(error));
    QVERIFY(press("F11"));
    QVERIFY2(comesTo(Screen), qPrintable(error));
    QCOMPARE(meters.stop(), 0);
    QVERIFY2(startMeters(meters), qPrintable(error));
    QVERIFY2(comesTo(Screen), qPrintable(error));
    QVERIFY(press("Escape"));
    QVERIFY2(comesTo(QRect(Screen.topLeft(), DesignSize)), qPrintable(error));
    // Near the top, where Qt would leave room for a title bar that no manager draws here.
    const QRect place(200, 10, DesignSize.width(), DesignSize.height());
    QVERIFY2(geometry(nullptr, {"--move", "200,10"}) == place, qPrintable(error));
    QCOMPARE(meters.stop(), 0);
    QVERIFY2(startMeters(meters), qPrintable(error));
    QVERIFY2(comesTo(place), qPrintable(error));
    QCOMPARE(meters.stop(), 0);
}

void TestWall::windowManagerTakesFullScreen()
{
    KOLVANE_REQUIRE(!which("openbox").isEmpty(), "openbox is not installed (Debian: openbox)");
    Program xvfb(work.filePath("wm-x")), openbox(work.filePath("openbox")), meters(work.filePath("wm"));
    QVERIFY(startServer(xvfb, "Xvfb", {"-screen", "0", "1600x1000x24"}));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display);
    // The display starts once the manager runs, as after a log-in; openbox runs its start-up command when
    // ready.
    const QString ready = work.filePath("openbox-ready");
    QVERIFY(openbox.start(which("openbox"), {"--sm-disable", "--startup", "touch " + ready}, env));
    QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(ready); }, TimeoutMs));
    QVERIFY2(startMeters(meters), qPrintable(error));
    QVERIFY(press("F11"));
    QVERIFY2(comesTo(Screen), qPrintable(error));
    QCOMPARE(meters.stop(), 0);
    QVERIFY2(startMeters(meters), qPrintable(error));
    QVERIFY2(comesTo(Screen), qPrintable(error));
    QVERIFY(press("F11"));
    QVERIFY2(QTest::qWaitFor([&] { return geometry().size() == DesignSize; }, TimeoutMs), qPrintable(error));
    QCOMPARE(meters.stop(), 0);
}

void TestWall::secondOfTwoScreens()
{
    KOLVANE_REQUIRE(!which("Xephyr").isEmpty(), "Xephyr is not installed (Debian: xserver-xephyr)");
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    QSKIP("Qt 6 takes screens from RandR only and sees Xephyr's two Xinerama screens as one");
#endif
    // Xephyr shows each of its screens in a window of the outer server; Qt sees them side by side.
    Program xvfb(work.filePath("outer-x")), xephyr(work.filePath("xephyr")), meters(work.filePath("two"));
    QVERIFY(startServer(xvfb, "Xvfb", {"-screen", "0", "2600x900x24"}));
    QVERIFY(startServer(xephyr, "Xephyr",
                        {"+xinerama", "-extension", "RANDR", "-screen", "1280x800", "-screen", "1280x800"},
                        display));
    QVERIFY2(startMeters(meters), qPrintable(error));
    QVERIFY2(geometry(nullptr, {"--move", "1400,100"}).topLeft() == QPoint(1400, 100), qPrintable(error));
    QVERIFY(press("F11"));
    QVERIFY2(comesTo(SecondScreen), qPrintable(error));
    QCOMPARE(meters.stop(), 0);
    QSettings stored(meters.ini, QSettings::IniFormat);
    QCOMPARE(stored.value("current_screen").toInt(), 1);
    QCOMPARE(stored.value("full_screen").toBool(), true);
    QVERIFY2(startMeters(meters), qPrintable(error));
    QVERIFY2(comesTo(SecondScreen), qPrintable(error));
    QCOMPARE(meters.stop(), 0);
}

void TestWall::screenSaverServiceHeldWhileRunning()
{
    PrivateBus bus;
    QVERIFY2(!bus.address().isEmpty(), qPrintable(bus.why()));
    Program xvfb(work.filePath("bus-x")), meters(work.filePath("bus"));
    QVERIFY(startServer(xvfb, "Xvfb", {"-screen", "0", "1600x1000x24"}));
    QVERIFY2(startMeters(meters, bus.address()), qPrintable(error));
    QTRY_COMPARE(bus.calls().size(), 1);
    const QString cookie = bus.calls().constFirst().section(' ', -1);
    QCOMPARE(bus.calls(), QStringList{"Inhibit Kolvane Meters " + cookie});
    QCOMPARE(meters.stop(), 0); // SIGTERM
    QTRY_COMPARE(bus.calls(), (QStringList{"Inhibit Kolvane Meters " + cookie, "UnInhibit " + cookie}));
}

// With $DISPLAY unset, the display named by -display is the one asked whether a manager runs.
void TestWall::qtsOwnDisplay()
{
    Program xvfb(work.filePath("own-x")), meters(work.filePath("own"));
    QVERIFY(startServer(xvfb, "Xvfb", {"-screen", "0", "1600x1000x24"}));
    QProcessEnvironment env = environment(meters);
    env.remove("DISPLAY");
    QVERIFY(meters.start(KOLVANE_METERS_PROGRAM, {"-display", display}, env) && press("F11"));
    QVERIFY2(comesTo(Screen), qPrintable(error));
}

void TestWall::fullScreenFollowsTheWindow_data()
{
    QTest::addColumn<bool>("managerStops");
    QTest::newRow("key-binding") << false; // the manager leaves full screen on a request of its own
    QTest::newRow("manager-stopped") << true;
}

// The manager takes the window out of full screen: the stored option follows at once, and the first F11
// brings full screen back.
void TestWall::fullScreenFollowsTheWindow()
{
    QFETCH(bool, managerStops);
    KOLVANE_REQUIRE(!which("openbox").isEmpty() && !which("wmctrl").isEmpty(), "Debian: openbox wmctrl");
    const QString name = work.filePath(QTest::currentDataTag()), ready = name + "-ready";
    Program xvfb(name + "-x"), openbox(name + "-wm"), meters(name);
    QVERIFY(startServer(xvfb, "Xvfb", {"-screen", "0", "1600x1000x24"}));
    QVERIFY(openbox.start(which("openbox"), {"--sm-disable", "--startup", "touch " + ready},
                          environment(openbox)));
    QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(ready); }, TimeoutMs));
    meters.writeSettings({"full_screen=true"});
    QString id;
    QVERIFY2(startMeters(meters) && comesTo(Screen) && geometry(&id).isValid(), qPrintable(error));
    if (managerStops)
        openbox.stop();
    else
        QVERIFY(!run("wmctrl", {"-i", "-r", id, "-b", "remove,fullscreen"}).isNull());
    const auto stored = [&] {
        return QSettings(meters.ini, QSettings::IniFormat).value("full_screen").toBool();
    };
    QVERIFY2(QTest::qWaitFor([&] { return geometry().size() == DesignSize && !stored(); }, TimeoutMs),
             qPrintable(error));
    QVERIFY(press("F11"));
    QVERIFY2(comesTo(Screen), qPrintable(error));
    QTRY_VERIFY(stored());
}

// Without a manager: a new resolution, the screen unplugged (the primary one covered meanwhile) and
// plugged back, on the virtual outputs of Xorg's dummy driver.
void TestWall::fullScreenFollowsTheScreen()
{
    KOLVANE_REQUIRE(
        geteuid() == 0 && !which("Xorg").isEmpty() && !which("xrandr").isEmpty() &&
            QFileInfo::exists("/usr/lib/xorg/modules/drivers/dummy_drv.so"),
        "root and Xorg's dummy driver are needed (Debian: xserver-xorg-video-dummy x11-xserver-utils)");
    // No input devices of the machine's own: keys come through the test extension.
    QFile config(work.filePath("dummy.conf"));
    QVERIFY(config.open(QIODevice::WriteOnly) &&
            config.write("Section \"ServerFlags\"\nOption \"AutoAddDevices\" \"false\"\nEndSection\nSection "
                         "\"Device\"\nIdentifier \"d\"\nDriver \"dummy\"\nVideoRam 32000\nEndSection\n"));
    config.close();
    Program xorg(work.filePath("dummy-x")), meters(work.filePath("dummy"));
    QVERIFY(startServer(xorg, "Xorg",
                        {"-config", config.fileName(), "-logfile", work.filePath("xorg.log"), "-keeptty",
                         "-novtswitch", "-sharevts"}));
    // Each change, then a look at the outputs, as a screen plugged in makes the server take.
    const auto xrandr = [&](const QString &change) {
        return !run("xrandr", change.split(' ')).isNull() && !run("xrandr", {}).isNull();
    };
    QVERIFY(xrandr("--newmode 1200x780 76.75 1200 1264 1384 1568 780 783 793 817") &&
            xrandr("--addmode DUMMY1 1024x768") && xrandr("--addmode DUMMY1 1200x780") &&
            xrandr("--output DUMMY1 --mode 1024x768 --right-of DUMMY0"));
    meters.writeSettings({"full_screen=true", "current_screen=1"});
    QVERIFY2(startMeters(meters), qPrintable(error));
    const std::pair<QString, QRect> steps[] = {
        {"--output DUMMY1 --mode 1024x768", {1024, 0, 1024, 768}},
        {"--output DUMMY1 --mode 1200x780", {1024, 0, 1200, 780}},
        {"--output DUMMY1 --off", {0, 0, 1024, 768}},
        {"--output DUMMY1 --mode 1024x768 --right-of DUMMY0", {1024, 0, 1024, 768}}};
    for (const auto &[change, covered] : steps)
        QVERIFY2(xrandr(change) && comesTo(covered), qPrintable(error));
}

// On a bare server nobody hands the window the keyboard: it takes it, and keys work without a click.
void TestWall::bareServerTakesTheKeyboard()
{
    Program xvfb(work.filePath("keys-x")), meters(work.filePath("keys"));
    QVERIFY(startServer(xvfb, "Xvfb", {"-screen", "0", "1600x1000x24"}));
    QString id;
    QVERIFY2(startMeters(meters) && geometry(&id).isValid(), qPrintable(error));
    QVERIFY(QTest::qWaitFor(
        [&] { return run("xdotool", {"getwindowfocus"}).toULong() == id.toULong(nullptr, 0); }, TimeoutMs));
    QVERIFY(!run("xdotool", {"mousemove", "300", "300", "key", "F11"}).isNull() && comesTo(Screen));
    QVERIFY(!run("xdotool", {"key", "Escape"}).isNull() && comesTo(QRect(Screen.topLeft(), DesignSize)));
}

QTEST_GUILESS_MAIN(TestWall)
#include "tst_wall.moc"
