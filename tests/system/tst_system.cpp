// The real kolvane-meters on X servers of the test's own, with a settings folder of its own, the console
// simulator behind a device name of the test's own, and kolvane-screenshot: levels and the link lamp
// checked against a model of the display worked out here, another scale's marks; as a wall display full
// screen on a bare X server, under a window manager, on the second of two screens and on screens that
// change, kept across a restart and left by a key, with the screen saver service held meanwhile.
#include "privatebus.h"

#include <QtTest>
#include <cmath>
#include <csignal>
#include <functional>
#include <optional>
#include <unistd.h>

// What a system test needs but the machine lacks: a skip on a developer's machine, a failure in CI.
#define KOLVANE_REQUIRE(condition, reason)                                                                   \
    if (!(condition)) {                                                                                      \
        QVERIFY2(qEnvironmentVariable("CI") != "true", reason);                                              \
        QSKIP(reason);                                                                                       \
    }

namespace {
const QRect MeterRects[] = {{54, 73, 12, 415},  {143, 73, 12, 415}, {210, 73, 12, 415},
                            {299, 73, 12, 415}, {844, 199, 8, 291}, {907, 199, 8, 291}};
const QRect LinkLamp(876, 33, 15, 15);
const QString Title = "Kolvane Meters - (%1)";
// The lamp's colours as it paints them: green, amber, red, grey.
const QColor LampGood(40, 200, 60), LampWarning(255, 176, 0), LampFault(230, 30, 30), LampOff(128, 128, 128);
// Six levels apart.
const QString FloorLevels = "-50,-50,-50,-50,-50,-50", FixedLevels = "0,-20,-10,-30,-5,-40";
const double DinBase = std::pow(10.0, -50 / 80.0), DinSpan = std::pow(10.0, 5 / 80.0) - DinBase;
constexpr int TimeoutMs = 20000;
constexpr QSize DesignSize{986, 580};

template <typename... P> QString say(const P &...parts)
{
    QString text;
    (QDebug(&text).noquote().nospace() << ... << parts);
    return text;
}

// A program a test starts, stopped with SIGTERM when it goes; its folder holds its settings.
struct Program
{
    // The serial device it offers, as a link of the test's own: the display opens the link, and the
    // link goes before the device does, so a terminal number handed out again never reaches a display.
    QString terminal;
    QProcess process;
    QTemporaryDir runtime; // private, as XDG_RUNTIME_DIR must be
    const QString folder, ini = folder + "/Zelvoort/Kolvane Meters.conf";
    explicit Program(const QString &folder) : folder(folder)
    {
        QObject::connect(&process, &QProcess::stateChanged, [this](QProcess::ProcessState state) {
            if (state == QProcess::NotRunning && !terminal.isEmpty())
                QFile::remove(terminal);
        });
    }
    ~Program() { stop(); }
    bool start(const QString &program, const QStringList &arguments, const QProcessEnvironment &env)
    {
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel); // the programs' complaints in the log
        process.start(QStandardPaths::findExecutable(program), arguments);
        return process.waitForStarted(10000);
    }
    int stop() // the exit code, or -1 if it crashed or had to be killed
    {
        QFile::remove(terminal);
        process.terminate();
        if (!process.waitForFinished(15000))
            process.kill();
        process.waitForFinished();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    void writeSettings(const QStringList &assignments)
    {
        QSettings store(ini, QSettings::IniFormat);
        for (const QString &assignment : assignments)
            store.setValue(assignment.section('=', 0, 0), assignment.section('=', 1));
    }
};

struct Shot
{
    QImage image;
    QRect geometry;
    QString id;
};
using Check = std::function<QString(const Shot &)>;

// Bar length: the lit rows of the meter's centre column, from the bottom up.
int readMeter(const QImage &image, const QRect &r)
{
    int lit = 0;
    while (lit < r.height() && qGray(image.pixel(r.center().x(), r.bottom() - lit)) > 60)
        ++lit;
    return lit;
}

bool near(const QColor &a, const QColor &b, int tolerance)
{
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                     std::abs(a.blue() - b.blue())}) <= tolerance;
}

Check showing(const QString &levels, int tolerance = 1)
{
    return [=](const Shot &shot) {
        for (int i = 0; i < 6; ++i) {
            const int length = readMeter(shot.image, MeterRects[i]);
            const double db = std::clamp(levels.section(',', i, i).toDouble(), -50.0, 5.0);
            const int expected = int(MeterRects[i].height() * (std::pow(10, db / 80) - DinBase) / DinSpan);
            if (std::abs(length - expected) > tolerance)
                return say("meter ", i, ": ", length, " px, not ", expected);
        }
        return QString();
    };
}

// The lamp's colour at its centre, then the meters.
Check lampAnd(const QColor &colour, const Check &meters)
{
    return [=](const Shot &shot) {
        const QColor seen = shot.image.pixel(LinkLamp.center());
        return near(seen, colour, 24) ? meters(shot)
                                      : say("the lamp is ", seen.name(), ", not ", colour.name());
    };
}
} // namespace

// The window manager (or the X server inside the first one), where the window is moved first, its full
// screen, the key that leaves.
using Restarts = std::tuple<QString, QPoint, QRect, QString>;
Q_DECLARE_METATYPE(Restarts)

class TestSystem : public QObject
{
    Q_OBJECT
    QTemporaryDir work;
    std::optional<Program> xvfb; // each case's own
    QString display, error;
    bool managed = false; // a window manager places the window: sizes only
    const QRect screen{0, 0, 2600, 1000};
    QByteArray why() const { return error.toLocal8Bit(); }
    // The programs use this test's X server, not the offscreen platform, and no caller's scaling.
    QProcessEnvironment environment(const Program *meters = nullptr, const QString &bus = "disabled:") const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"QT_QPA_PLATFORM", "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS",
                                 "QT_AUTO_SCREEN_SCALE_FACTOR", "QT_FONT_DPI", "WAYLAND_DISPLAY"})
            env.remove(name);
        env.insert("DISPLAY", display);
        if (meters) {
            env.insert("XDG_CONFIG_HOME", meters->folder);
            env.insert("XDG_RUNTIME_DIR", meters->runtime.path());
            env.insert("DBUS_SESSION_BUS_ADDRESS", bus);
            env.remove("DISPLAY"); // Qt's own option names it
        }
        return env;
    }
    // An X server; -displayfd picks a free display number.
    bool startX(Program &server, const QString &program, const QStringList &options)
    {
        const QStringList common{"-displayfd", "1", "-nolisten", "tcp", "-noreset", "-dpi", "96"};
        QProcess &x = server.process;
        const auto named = [&] { return x.canReadLine() || x.state() == QProcess::NotRunning; };
        return server.start(program, common + options, environment()) && QTest::qWaitFor(named, TimeoutMs) &&
               (display = ":" + QString(x.readLine()).trimmed()).size() > 1;
    }
    // Started once its window shows.
    bool startMeters(Program &meters, const QString &title = "Kolvane Meters",
                     const QString &bus = "disabled:")
    {
        return meters.start(KOLVANE_METERS_PROGRAM, {"-display", display}, environment(&meters, bus)) &&
               grab(title);
    }
    // kolvane-screenshot finds the window whose title starts so, moves or resizes it, and grabs it.
    std::optional<Shot> grab(const QString &title, const QStringList &options = {})
    {
        const QString file = work.filePath("shot.png");
        const QString out =
            run(KOLVANE_SCREENSHOT_PROGRAM,
                QStringList{"--title", title, "--settle", "0", "--wait", "20000"} + options << file);
        QHash<QString, QString> v;
        for (const QString &line : out.split('\n'))
            v.insert(line.section('=', 0, 0), line.section('=', 1));
        error = out.isNull() ? "kolvane-screenshot failed" : QString();
        return out.isNull() ? std::nullopt
                            : std::optional(Shot{QImage(file).convertToFormat(QImage::Format_RGB32),
                                                 QRect(v["x"].toInt(), v["y"].toInt(), v["width"].toInt(),
                                                       v["height"].toInt()),
                                                 v["id"]});
    }
    // Grabs until the check finds nothing wrong; error says what was wrong last.
    std::optional<Shot> grabUntil(const QString &title, const Check &check, const QStringList &options = {})
    {
        std::optional<Shot> shot;
        const auto good = [&] { return (shot = grab(title, options)) && (error = check(*shot)).isEmpty(); };
        return QTest::qWaitFor(good, TimeoutMs) ? shot : std::nullopt;
    }
    bool comesTo(const QRect &expected)
    {
        const auto at = [&](const Shot &s) {
            const bool ok = managed ? s.geometry.size() == expected.size() : s.geometry == expected;
            return ok ? QString() : say("the window is at ", s.geometry, ", not ", expected);
        };
        return bool(grabUntil("Kolvane Meters", at));
    }
    // A tool run on the test's display: its output, null when it failed.
    QString run(const QString &tool, const QStringList &arguments, const QProcessEnvironment &env = {},
                const QString &folder = {})
    {
        QProcess process;
        process.setProcessEnvironment(env.isEmpty() ? environment() : env);
        process.setWorkingDirectory(folder);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStandardPaths::findExecutable(tool), arguments);
        const bool ran = process.waitForFinished(3 * TimeoutMs) && process.exitCode() == 0;
        return ran ? QString::fromLocal8Bit(process.readAllStandardOutput() + ' ') : QString();
    }
    static bool have(const QStringList &tools)
    {
        return std::all_of(tools.begin(), tools.end(), [](const QString &tool) {
            return !QStandardPaths::findExecutable(tool).isEmpty();
        });
    }
    QString windowId()
    {
        const auto window = grab("Kolvane Meters");
        return window ? window->id : QString();
    }
    // A key to the window through the X server's test extension, as from a keyboard.
    bool press(const QString &key)
    {
        return !run("xdotool", {"windowfocus", "--sync", windowId(), "key", key}).isNull();
    }
    // A device of the test's own at the Program's terminal: linked terminals named in the test's folder,
    // as an adapter's device name comes and goes, with the console simulator on the far end.
    bool plugIn(Program &device, Program &sim, const QString &levels)
    {
        const QString port = device.terminal, feed = port + "-feed";
        sim.stop();
        return device.start("socat", {"pty,raw,echo=0,link=" + port, "pty,raw,echo=0,link=" + feed},
                            environment()) &&
               QTest::qWaitFor([&] { return QFileInfo::exists(port) && QFileInfo::exists(feed); },
                               TimeoutMs) &&
               sim.start(KOLVANE_CONSOLE_SIM_PROGRAM, {"--port", feed, "--levels=" + levels}, environment());
    }
    // The display starts once the manager runs, as after a log-in.
    bool startOpenbox(Program &openbox)
    {
        return openbox.start("openbox", {"--sm-disable"}, environment()) &&
               QTest::qWaitFor([&] { return !run("wmctrl", {"-m"}).isNull(); }, TimeoutMs);
    }
private slots:
    // Every case on an Xvfb of its own; some start further servers in it or beside it.
    void init()
    {
        const QStringList tools{
            "Xvfb", "socat", "xdotool", "openbox", "Xephyr", "wmctrl", KOLVANE_SCREENSHOT_PROGRAM};
        KOLVANE_REQUIRE(have(tools), "Debian: xvfb socat xdotool openbox xserver-xephyr wmctrl libxcb1-dev");
        managed = false;
        QVERIFY(startX(xvfb.emplace(work.filePath("xvfb")), "Xvfb", {"-screen", "0", "2600x1000x24"}));
    }
    void cleanup() { xvfb.reset(); }

    // The console's device is absent at start (red), plugged in (green),
    // paused with its line open (amber, the bars at the floor), resumed, pulled out while it sends (red, the
    // bars at the floor) and put back.
    void deviceAbsentPausedGoneAndBack()
    {
        Program device(work.filePath("socat")), meters(work.filePath("device")), sim(work.filePath("sim"));
        const QString port = device.terminal = work.filePath("tty"), title = Title.arg(port);
        meters.writeSettings({"serialport=" + port});
        QVERIFY2(startMeters(meters, title) && grabUntil(title, lampAnd(LampFault, showing(FloorLevels, 0))),
                 why());
        QVERIFY2(plugIn(device, sim, FixedLevels) &&
                     grabUntil(title, lampAnd(LampGood, showing(FixedLevels))),
                 why());
        const pid_t console = pid_t(sim.process.processId());
        QVERIFY(::kill(console, SIGSTOP) == 0); // its terminal stays open, its frames stop
        QVERIFY2(grabUntil(title, lampAnd(LampWarning, showing(FloorLevels, 0))), why());
        QVERIFY(::kill(console, SIGCONT) == 0);
        QVERIFY2(grabUntil(title, lampAnd(LampGood, showing(FixedLevels))), why());
        device.stop(); // pulled out while the console still sends
        QVERIFY2(grabUntil(title, lampAnd(LampFault, showing(FloorLevels))), why());
        // Back under the same name: frames show again.
        QVERIFY2(plugIn(device, sim, FixedLevels) &&
                     grabUntil(title, lampAnd(LampGood, showing(FixedLevels))),
                 why());
        QCOMPARE(meters.stop(), 0);
    }

    // Another scale from the file: BBC marks 1 to 7 instead of DIN's, and a frame at the alignment level
    // on mark 4.
    void bbcScaleFromTheSettingsFile()
    {
        Program device(work.filePath("bbc-socat")), sim(work.filePath("bbc-sim")),
            meters(work.filePath("bbc"));
        const QString port = device.terminal = work.filePath("bbc-tty"), title = Title.arg(port);
        QVERIFY(plugIn(device, sim, "-9,-9,-9,-9,-9,-9"));
        meters.writeSettings({"serialport=" + port, "meter_scale=bbc"});
        QVERIFY2(startMeters(meters, title), why());
        const int tickX = 79, dinRows[] = {145, 302, 404}; // DIN's 0, 15 and 30, far from any BBC mark
        const auto shot = grabUntil(title, [&](const Shot &s) {
            for (const QRect &r : MeterRects)
                if (std::abs(readMeter(s.image, r) - r.height() * 4 / 7) > 1)
                    return say("a bar is not on mark 4: ", readMeter(s.image, r), " px");
            for (int mark = 1; mark <= 7; ++mark)
                if (!near(s.image.pixel(tickX, 488 - 415 * mark / 7), Qt::white, 30))
                    return say("no mark ", mark);
            for (int row : dinRows)
                if (near(s.image.pixel(tickX, row), Qt::white, 60))
                    return say("DIN's mark on row ", row);
            return QString();
        });
        QVERIFY2(shot, why());
        QCOMPARE(meters.stop(), 0);
    }

    void fullScreenAcrossRestarts_data()
    {
        QTest::addColumn<Restarts>("restarts");
        // Near the top, where Qt would leave room for a title bar that no manager draws here.
        QTest::newRow("bare X server") << Restarts{"", {200, 10}, screen, "Escape"};
        QTest::newRow("openbox") << Restarts{"openbox", {200, 100}, screen, "F11"};
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0) // Qt 6 takes screens from RandR only: one screen in Xephyr
        // Xephyr shows each of its screens in a window of the outer server; Qt sees them side by side.
        QTest::newRow("second of two screens")
            << Restarts{"Xephyr", {1400, 100}, {1280, 0, 1280, 800}, "Escape"};
#endif
    }
    void fullScreenAcrossRestarts()
    {
        QFETCH(Restarts, restarts);
        const auto &[manager, place, fullScreen, leave] = restarts;
        PrivateBus bus;
        QVERIFY2(!bus.address().isEmpty(), qPrintable(bus.why()));
        Program inner(work.filePath(manager + "-inner")), meters(work.filePath(QTest::currentDataTag()));
        if (manager == "Xephyr")
            QVERIFY(
                startX(inner, "Xephyr",
                       {"+xinerama", "-extension", "RANDR", "-screen", "1280x800", "-screen", "1280x800"}));
        if ((managed = manager == "openbox"))
            QVERIFY(startOpenbox(inner));
        // Without a manager nobody places the window: it opens at the origin.
        QVERIFY2(startMeters(meters, "Kolvane Meters", bus.address()) && comesTo({QPoint(), DesignSize}),
                 why());
        // No settings file and no port: a grey lamp.
        QVERIFY2(grabUntil(Title.arg(""), lampAnd(LampOff, showing(FloorLevels, 0))), why());
        // On a bare server nobody hands the window the keyboard: it takes it, and keys work without a click.
        const QString id = windowId();
        QVERIFY(!manager.isEmpty() ||
                QTest::qWaitFor(
                    [&] { return run("xdotool", {"getwindowfocus"}).toULong() == id.toULong(nullptr, 0); },
                    TimeoutMs));
        QVERIFY2(managed || grab("Kolvane Meters", {"--move", say(place.x(), ",", place.y())}), why());
        QVERIFY2(comesTo(QRect(place, DesignSize)) && press("F11") && comesTo(fullScreen), why());
        QTRY_COMPARE(bus.calls(), QStringList{"Inhibit Kolvane Meters 41"});
        QCOMPARE(meters.stop(), 0); // SIGTERM
        QTRY_COMPARE(bus.calls(), (QStringList{"Inhibit Kolvane Meters 41", "UnInhibit 41"}));
        QVERIFY2(startMeters(meters, "Kolvane Meters", bus.address()) && comesTo(fullScreen), why());
        QVERIFY2(press(leave) && comesTo(QRect(place, DesignSize)), why());
        QCOMPARE(meters.stop(), 0);
        QVERIFY2(startMeters(meters, "Kolvane Meters", bus.address()) && comesTo(QRect(place, DesignSize)),
                 why());
        QCOMPARE(meters.stop(), 0);
    }

    void fullScreenFollowsTheWindow_data()
    {
        QTest::addColumn<bool>("managerStops");
        QTest::newRow("key-binding") << false; // the manager leaves full screen on a request of its own
        QTest::newRow("manager-stopped") << true;
    }
    // The manager takes the window out of full screen: the stored option follows at once, and the first
    // F11 brings full screen back.
    void fullScreenFollowsTheWindow()
    {
        QFETCH(bool, managerStops);
        const QString name = work.filePath(QTest::currentDataTag());
        Program openbox(name + "-wm"), meters(name);
        QVERIFY(startOpenbox(openbox));
        meters.writeSettings({"full_screen=true"});
        managed = true;
        QVERIFY2(startMeters(meters) && comesTo(screen), why());
        if (managerStops)
            openbox.stop();
        else
            QVERIFY(!run("wmctrl", {"-i", "-r", windowId(), "-b", "remove,fullscreen"}).isNull());
        const auto stored = [&] {
            return QSettings(meters.ini, QSettings::IniFormat).value("full_screen").toBool();
        };
        QVERIFY2(comesTo({QPoint(), DesignSize}), why());
        QTRY_VERIFY(!stored());
        QVERIFY2(press("F11") && comesTo(screen), why());
        QTRY_VERIFY(stored());
    }

    // Without a manager: a new resolution, the screen unplugged (the primary one covered meanwhile) and
    // plugged back, on the virtual outputs of Xorg's dummy driver.
    void fullScreenFollowsTheScreen()
    {
        KOLVANE_REQUIRE(
            geteuid() == 0 && !QStandardPaths::findExecutable("Xorg").isEmpty() &&
                !QStandardPaths::findExecutable("xrandr").isEmpty() &&
                QFileInfo::exists("/usr/lib/xorg/modules/drivers/dummy_drv.so"),
            "root and Xorg's dummy driver are needed (Debian: xserver-xorg-video-dummy x11-xserver-utils)");
        // No input devices of the machine's own: keys come through the test extension.
        QFile config(work.filePath("dummy.conf"));
        QVERIFY(
            config.open(QIODevice::WriteOnly) &&
            config.write("Section \"ServerFlags\"\nOption \"AutoAddDevices\" \"false\"\nEndSection\nSection "
                         "\"Device\"\nIdentifier \"d\"\nDriver \"dummy\"\nVideoRam 32000\nEndSection\n"));
        config.close();
        Program xorg(work.filePath("dummy-x")), meters(work.filePath("dummy"));
        QVERIFY(startX(xorg, "Xorg",
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
        QVERIFY2(startMeters(meters), why());
        const std::pair<QString, QRect> steps[] = {
            {"--output DUMMY1 --mode 1024x768", {1024, 0, 1024, 768}},
            {"--output DUMMY1 --mode 1200x780", {1024, 0, 1200, 780}},
            {"--output DUMMY1 --off", {0, 0, 1024, 768}},
            {"--output DUMMY1 --mode 1024x768 --right-of DUMMY0", {1024, 0, 1024, 768}}};
        for (const auto &[change, covered] : steps)
            QVERIFY2(xrandr(change) && comesTo(covered), why());
    }

    // Under Wayland compositors' headless back ends, full screen from the stored option on the output
    // stored by name (weston has no output of that name: the index counts): under sway the compositor's
    // idle inhibitor on the window while the screen is kept awake, gone once that is turned off in the
    // display options, none with the option off, and the output the window is on stored at exit; weston
    // offers no inhibitor, and the log says why.
    void wayland_data()
    {
        // The compositor, what leaves a picture of the stored output in shot.png of its working folder,
        // keep_screen_awake, what the log says at start.
        QTest::addColumn<QStringList>("row");
        const QString sway = "env WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_HEADLESS_OUTPUTS=2 "
                             "WLR_LIBINPUT_NO_DEVICES=1 sway -c /dev/null",
                      grim = "grim -o HEADLESS-2 shot.png";
        QTest::newRow("sway") << QStringList{sway, grim, "true",
                                             "screen kept awake through the compositor's idle inhibitor"};
        QTest::newRow("sway-option-off") << QStringList{sway, grim, "false", ""};
        // weston lets a client take a picture only when debugging.
        QTest::newRow("weston") << QStringList{
            "weston --backend=headless-backend.so --socket=kolvane --idle-time=0 --use-pixman --debug",
            "weston-screenshooter && mv wayland-screenshot-*.png shot.png", "true",
            "screen may blank: the compositor offers no idle inhibitor, no "
            "screen saver service answers on the session bus"};
    }
    void wayland()
    {
        QFETCH(QStringList, row);
        const QString &compositor = row[0], &shooter = row[1], &awake = row[2], &said = row[3];
        KOLVANE_REQUIRE(
            have({"sway", "swaymsg", "grim", "wtype", "weston", "weston-screenshooter", "setpriv"}),
            "Debian: sway grim wtype weston qtwayland5");
        const QString tag = QTest::currentDataTag(), log = work.filePath(tag + ".log");
        Program server(work.filePath(tag + "-server")), meters(work.filePath(tag));
        // The compositor's sockets, and the pictures. sway refuses to run as root: there both compositors
        // run as nobody, who then owns the folder.
        const QString runtime = server.runtime.path();
        QVERIFY(geteuid() != 0 || chown(qPrintable(runtime), 65534, 65534) == 0);
        QString socket, ipc; // sway answers on the second
        const auto ready = [&] {
            for (const QString &name : QDir(runtime).entryList(QDir::System))
                (name.startsWith("sway-ipc.") ? ipc : socket) = runtime + '/' + name;
            return !socket.isEmpty() && ipc.isEmpty() != compositor.contains("sway");
        };
        QProcessEnvironment env = environment();
        env.remove("DISPLAY");
        env.insert("XDG_RUNTIME_DIR", runtime);
        const QString as = geteuid() ? "exec " : "exec setpriv --reuid=65534 --regid=65534 --clear-groups ";
        QVERIFY(server.start("sh", {"-c", as + compositor}, env) && QTest::qWaitFor(ready, TimeoutMs));
        env = environment(&meters);
        env.insert("QT_QPA_PLATFORM", "wayland");
        env.insert("WAYLAND_DISPLAY", socket); // a path: the program's runtime folder is its own
        meters.writeSettings({"full_screen=true", "keep_screen_awake=" + awake, "current_screen=0",
                              "current_screen_name=HEADLESS-2"});
        QVERIFY(meters.start("/bin/sh", {"-c", "exec \"$0\" 2>\"$1\"", KOLVANE_METERS_PROGRAM, log}, env));
        const auto tool = [&](const QString &command) { return run("sh", {"-c", command}, env, runtime); };
        // The picture of the output shows the display covering it: its grey panel in the corners, no
        // title bar, no desktop.
        const auto covered = [&] {
            tool(shooter);
            const QImage picture(runtime + "/shot.png");
            const QRect c = picture.rect().adjusted(2, 2, -3, -3); // the corners
            error.clear();
            for (const QPoint at : {c.topLeft(), c.topRight(), c.bottomLeft(), c.bottomRight()}) {
                const QRgb pixel = picture.valid(at) ? picture.pixel(at) : 0; // black if there is no picture
                if (qGray(pixel) < 64 || qAbs(qRed(pixel) - qBlue(pixel)) > 24)
                    error = say("the corner at ", at, " is ", QColor(pixel).name());
            }
            return error.isEmpty();
        };
        QVERIFY2(QTest::qWaitFor(covered, TimeoutMs), why());
        const auto inhibiting = [&](const QString &state) { // on the window, or with false on none
            const QString tree = tool("swaymsg -r -t get_tree -s " + ipc).remove(' ');
            return tree.contains("\"inhibit_idle\":" + state) &&
                   (state == "true" || !tree.contains("\"inhibit_idle\":true"));
        };
        // Turned off in the display options, from the keyboard: out of full screen (where sway hands a
        // dialog no keys), the menu key, the menu's second entry, the dialog's third field, OK, and back.
        // One keyboard for all: the menu closes when its keyboard goes. Before the keys (so that the
        // program has heard of it when they come) sway moves the window to the first output.
        const QString output = awake == "true" ? "HEADLESS-1" : "HEADLESS-2";
        if (!ipc.isEmpty()) {
            QTRY_VERIFY_WITH_TIMEOUT(inhibiting(awake), TimeoutMs);
            tool("swaymsg -s " + ipc + " '[title=Kolvane]' move container to output " + output + ", focus");
            const QString keys =
                "-s 1000 -k F11 -s 1000 -k Menu -s 500 -k Down -s 300 -k Down -s 300 -k Return "
                "-s 3000 -k Tab -s 300 -k Tab -s 300 -k space -s 500 -k Return -s 1000 -k F11";
            QVERIFY(awake == "false" || !tool("wtype " + keys).isNull());
            QTRY_VERIFY_WITH_TIMEOUT(inhibiting("false"), TimeoutMs);
        }
        QCOMPARE(meters.stop(), 0);
        const QSettings stored(meters.ini, QSettings::IniFormat);
        QVERIFY(ipc.isEmpty() || (stored.value("current_screen_name") == output &&
                                  stored.value("current_screen").toInt() == output.back().digitValue() - 1));
        QFile file(log);
        const QByteArray logged = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        QVERIFY2(said.isEmpty() ? !logged.contains("idle inhibitor") : logged.contains(said.toUtf8()),
                 logged);
    }
};

QTEST_GUILESS_MAIN(TestSystem)
#include "tst_system.moc"
