// The real kolvane-meters as a wall display: full screen under a window manager, on a bare X server
// and on the second of two screens, each across a restart; the screen saver service on a private bus.
#include "privatebus.h"
#include "program.h"

#include <QtTest>

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

QTEST_GUILESS_MAIN(TestWall)
#include "tst_wall.moc"
