// The real kolvane-meters as a wall display: full screen on a bare X server, under a window manager and on
// the second of two screens, kept across a restart and left by a key; the screen saver service held
// meanwhile.
#include "privatebus.h"
#include "program.h"

#include <unistd.h>

// Where the window is moved first, its full screen, the screen stored, the key that leaves.
using Restarts = std::tuple<QPoint, QRect, int, QString>;
Q_DECLARE_METATYPE(Restarts)

class TestWall : public QObject, SystemFixture
{
    Q_OBJECT
    bool managed = false; // a window manager places the window: sizes only
    const QRect screen{0, 0, 1600, 1000}, design{QPoint(), DesignSize};
    bool comesTo(const QRect &expected)
    {
        const auto at = [&](const Shot &s) {
            const bool ok = managed ? s.geometry.size() == expected.size() : s.geometry == expected;
            return ok ? QString() : say("the window is at ", s.geometry, ", not ", expected);
        };
        return bool(grabUntil("Kolvane Meters", at, {}, false));
    }
    // A tool run on the test's display: its output, null when it failed.
    QString run(const QString &tool, const QStringList &arguments)
    {
        QProcess process;
        process.setProcessEnvironment(environment());
        process.start(which(tool), arguments);
        const bool ran = process.waitForFinished(TimeoutMs) && process.exitCode() == 0;
        return ran ? QString::fromLocal8Bit(process.readAllStandardOutput() + ' ') : QString();
    }
    QString windowId()
    {
        const auto window = grab("Kolvane Meters", {}, false);
        return window ? window->id : QString();
    }
    // A key to the window through the X server's test extension, as from a keyboard.
    bool press(const QString &key)
    {
        return !run("xdotool", {"windowfocus", "--sync", windowId(), "key", key}).isNull();
    }
    // The display starts once the manager runs, as after a log-in; openbox runs its start-up command then.
    bool startOpenbox(Program &openbox)
    {
        const QString ready = openbox.folder + "-ready";
        return openbox.start(which("openbox"), {"--sm-disable", "--startup", "touch " + ready},
                             environment()) &&
               QTest::qWaitFor([&] { return QFileInfo::exists(ready); }, TimeoutMs);
    }
private slots:
    void fullScreenAcrossRestarts_data();
    void fullScreenAcrossRestarts();
    // Faults found in use, each caught on the program before it was mended.
    void fullScreenFollowsTheWindow_data();
    void fullScreenFollowsTheWindow();
    void fullScreenFollowsTheScreen();
};

void TestWall::fullScreenAcrossRestarts_data()
{
    QTest::addColumn<QString>("manager"); // or the X server inside the first one
    QTest::addColumn<Restarts>("restarts");
    // Near the top, where Qt would leave room for a title bar that no manager draws here.
    QTest::newRow("bare X server") << "" << Restarts{{200, 10}, {0, 0, 1600, 1000}, 0, "Escape"};
    QTest::newRow("openbox") << "openbox" << Restarts{{200, 100}, {0, 0, 1600, 1000}, 0, "F11"};
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0) // Qt 6 takes screens from RandR only: one screen in Xephyr
    // Xephyr shows each of its screens in a window of the outer server; Qt sees them side by side.
    QTest::newRow("second of two screens")
        << "Xephyr" << Restarts{{1400, 100}, {1280, 0, 1280, 800}, 1, "Escape"};
#endif
}

void TestWall::fullScreenAcrossRestarts()
{
    QFETCH(QString, manager);
    QFETCH(Restarts, restarts);
    const auto &[place, fullScreen, screen, leave] = restarts;
    KOLVANE_REQUIRE(hasTools({"Xvfb", "xdotool", manager}), "Xvfb, xdotool, openbox and Xephyr are needed "
                                                            "(Debian: xvfb xdotool openbox xserver-xephyr)");
    PrivateBus bus;
    QVERIFY2(!bus.address().isEmpty(), qPrintable(bus.why()));
    const QString tag = manager.isEmpty() ? "bare" : manager;
    Program xvfb(work.filePath(tag + "-x")), inner(work.filePath(tag + "-inner")), meters(work.filePath(tag));
    QVERIFY(startX(xvfb, manager == "Xephyr" ? "2600x900x24" : "1600x1000x24"));
    if (manager == "Xephyr")
        QVERIFY(startX(inner, {}, "Xephyr",
                       {"+xinerama", "-extension", "RANDR", "-screen", "1280x800", "-screen", "1280x800"}));
    if ((managed = manager == "openbox"))
        QVERIFY(startOpenbox(inner));
    // Without a manager nobody places the window: it opens at the origin.
    QVERIFY2(startMeters(meters, "Kolvane Meters", bus.address()) && comesTo(design), why());
    // On a bare server nobody hands the window the keyboard: it takes it, and keys work without a click.
    const QString id = windowId();
    QVERIFY(!manager.isEmpty() ||
            QTest::qWaitFor(
                [&] { return run("xdotool", {"getwindowfocus"}).toULong() == id.toULong(nullptr, 0); },
                TimeoutMs));
    QVERIFY2(managed || grab("Kolvane Meters", {"--move", say(place.x(), ",", place.y())}, false), why());
    QVERIFY2(comesTo(QRect(place, DesignSize)) && press("F11") && comesTo(fullScreen), why());
    QTRY_COMPARE(bus.calls(), QStringList{"Inhibit Kolvane Meters 41"});
    QCOMPARE(meters.stop(), 0); // SIGTERM
    QTRY_COMPARE(bus.calls(), (QStringList{"Inhibit Kolvane Meters 41", "UnInhibit 41"}));
    QSettings stored(meters.ini, QSettings::IniFormat);
    QVERIFY(stored.value("current_screen").toInt() == screen && stored.value("full_screen").toBool());
    QVERIFY2(startMeters(meters, "Kolvane Meters", bus.address()) && comesTo(fullScreen), why());
    QVERIFY2(press(leave) && comesTo(QRect(place, DesignSize)), why());
    QCOMPARE(meters.stop(), 0);
    QVERIFY2(startMeters(meters, "Kolvane Meters", bus.address()) && comesTo(QRect(place, DesignSize)),
             why());
    QCOMPARE(meters.stop(), 0);
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
    KOLVANE_REQUIRE(hasTools({"Xvfb", "xdotool", "openbox", "wmctrl"}),
                    "Debian: xvfb xdotool openbox wmctrl");
    const QString name = work.filePath(QTest::currentDataTag());
    Program xvfb(name + "-x"), openbox(name + "-wm"), meters(name);
    QVERIFY(startX(xvfb, "1600x1000x24") && startOpenbox(openbox));
    meters.writeSettings({"full_screen=true"});
    managed = false; // the size alone tells full screen apart here
    QVERIFY2(startMeters(meters) && comesTo(screen), why());
    if (managerStops)
        openbox.stop();
    else
        QVERIFY(!run("wmctrl", {"-i", "-r", windowId(), "-b", "remove,fullscreen"}).isNull());
    const auto stored = [&] {
        return QSettings(meters.ini, QSettings::IniFormat).value("full_screen").toBool();
    };
    const auto left = [&](const Shot &s) {
        return s.geometry.size() == DesignSize && !stored() ? QString()
                                                            : say("at ", s.geometry, ", stored ", stored());
    };
    QVERIFY2(grabUntil("Kolvane Meters", left, {}, false), why());
    QVERIFY2(press("F11") && comesTo(screen), why());
    QTRY_VERIFY(stored());
}

// Without a manager: a new resolution, the screen unplugged (the primary one covered meanwhile) and
// plugged back, on the virtual outputs of Xorg's dummy driver.
void TestWall::fullScreenFollowsTheScreen()
{
    KOLVANE_REQUIRE(
        geteuid() == 0 && hasTools({"Xorg", "xrandr"}) &&
            QFileInfo::exists("/usr/lib/xorg/modules/drivers/dummy_drv.so"),
        "root and Xorg's dummy driver are needed (Debian: xserver-xorg-video-dummy x11-xserver-utils)");
    // No input devices of the machine's own: keys come through the test extension.
    QFile config(work.filePath("dummy.conf"));
    QVERIFY(config.open(QIODevice::WriteOnly) &&
            config.write("Section \"ServerFlags\"\nOption \"AutoAddDevices\" \"false\"\nEndSection\nSection "
                         "\"Device\"\nIdentifier \"d\"\nDriver \"dummy\"\nVideoRam 32000\nEndSection\n"));
    config.close();
    Program xorg(work.filePath("dummy-x")), meters(work.filePath("dummy"));
    QVERIFY(startX(xorg, {}, "Xorg",
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
    managed = false;
    QVERIFY2(startMeters(meters), why());
    const std::pair<QString, QRect> steps[] = {
        {"--output DUMMY1 --mode 1024x768", {1024, 0, 1024, 768}},
        {"--output DUMMY1 --mode 1200x780", {1024, 0, 1200, 780}},
        {"--output DUMMY1 --off", {0, 0, 1024, 768}},
        {"--output DUMMY1 --mode 1024x768 --right-of DUMMY0", {1024, 0, 1024, 768}}};
    for (const auto &[change, covered] : steps)
        QVERIFY2(xrandr(change) && comesTo(covered), why());
}

QTEST_GUILESS_MAIN(TestWall)
#include "tst_wall.moc"
