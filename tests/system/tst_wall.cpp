// The real kolvane-meters as a wall display: full screen on a bare X server, under a window manager and on
// the second of two screens, each across restarts, with the screen saver service held on a private bus.
#include "privatebus.h"
#include "program.h"

namespace {
const QSize DesignSize(986, 580);
} // namespace

class TestWall : public QObject, SystemFixture
{
    Q_OBJECT
    bool managed = false; // a window manager places the window: sizes only
    bool comesTo(const QRect &expected)
    {
        const auto there = [&](const Shot &s) {
            const bool ok = managed ? s.geometry.size() == expected.size() : s.geometry == expected;
            return ok ? QString() : say("the window is at ", s.geometry, ", not ", expected);
        };
        return bool(grabUntil("Kolvane Meters", there, {}, false));
    }
private slots:
    void initTestCase()
    {
        for (const char *tool : {"Xvfb", "xdotool"})
            KOLVANE_REQUIRE(!which(tool).isEmpty(), "Xvfb and xdotool are needed (Debian: xvfb xdotool)");
        KOLVANE_REQUIRE(QFileInfo(KOLVANE_SCREENSHOT_PROGRAM).isExecutable(),
                        "kolvane-screenshot is not built (Debian: libxcb1-dev)");
    }
    void fullScreenAcrossRestarts_data();
    void fullScreenAcrossRestarts();
};

void TestWall::fullScreenAcrossRestarts_data()
{
    QTest::addColumn<QString>("manager"); // or the X server inside the first one
    QTest::addColumn<QPoint>("place");    // where the window is moved before full screen
    QTest::addColumn<QRect>("fullScreen");
    QTest::addColumn<int>("screen");
    QTest::addColumn<QString>("leave");
    // Near the top, where Qt would leave room for a title bar that no manager draws here.
    QTest::newRow("bare X server") << "" << QPoint(200, 10) << QRect(0, 0, 1600, 1000) << 0 << "Escape";
    QTest::newRow("openbox") << "openbox" << QPoint(200, 100) << QRect(0, 0, 1600, 1000) << 0 << "F11";
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0) // Qt 6 takes screens from RandR only: one screen in Xephyr
    // Xephyr shows each of its screens in a window of the outer server; Qt sees them side by side.
    QTest::newRow("second of two screens")
        << "Xephyr" << QPoint(1400, 100) << QRect(1280, 0, 1280, 800) << 1 << "Escape";
#endif
}

// Full screen by a key, kept across a restart, left by a key; the place kept across another restart.
void TestWall::fullScreenAcrossRestarts()
{
    QFETCH(QString, manager);
    QFETCH(QPoint, place);
    QFETCH(QRect, fullScreen);
    QFETCH(int, screen);
    QFETCH(QString, leave);
    KOLVANE_REQUIRE(manager.isEmpty() || !which(manager).isEmpty(), "openbox and Xephyr are needed "
                                                                    "(Debian: openbox xserver-xephyr)");
    PrivateBus bus;
    QVERIFY2(!bus.address().isEmpty(), qPrintable(bus.why()));
    const QString tag = manager.isEmpty() ? "bare" : manager;
    Program xvfb(work.filePath(tag + "-x")), inner(work.filePath(tag + "-inner")), meters(work.filePath(tag));
    QVERIFY(startX(xvfb, "Xvfb", {"-screen", "0", manager == "Xephyr" ? "2600x900x24" : "1600x1000x24"}));
    if (manager == "Xephyr")
        QVERIFY(startX(inner, "Xephyr",
                       {"+xinerama", "-extension", "RANDR", "-screen", "1280x800", "-screen", "1280x800"}));
    // The display starts once the manager runs, as after a log-in; openbox runs its start-up command when
    // ready.
    const QString ready = work.filePath(tag + "-ready");
    if ((managed = manager == "openbox"))
        QVERIFY(
            inner.start(which("openbox"), {"--sm-disable", "--startup", "touch " + ready}, environment()) &&
            QTest::qWaitFor([&] { return QFileInfo::exists(ready); }, TimeoutMs));
    QVERIFY2(startMeters(meters, "Kolvane Meters", bus.address()), qPrintable(error));
    // Without a manager nobody places the window: it opens at the origin.
    QVERIFY2(comesTo(QRect(QPoint(), DesignSize)), qPrintable(error));
    QVERIFY2(grab("Kolvane Meters", {"--move", say(place.x(), ",", place.y())}, false), qPrintable(error));
    QVERIFY2(comesTo(QRect(place, DesignSize)), qPrintable(error));
    QVERIFY(press("F11"));
    QVERIFY2(comesTo(fullScreen), qPrintable(error));
    QTRY_COMPARE(bus.calls(), QStringList{"Inhibit Kolvane Meters 41"});
    QCOMPARE(meters.stop(), 0); // SIGTERM
    QTRY_COMPARE(bus.calls(), (QStringList{"Inhibit Kolvane Meters 41", "UnInhibit 41"}));
    QSettings stored(meters.ini, QSettings::IniFormat);
    QCOMPARE(stored.value("current_screen").toInt(), screen);
    QCOMPARE(stored.value("full_screen").toBool(), true);
    QVERIFY2(startMeters(meters, "Kolvane Meters", bus.address()), qPrintable(error));
    QVERIFY2(comesTo(fullScreen), qPrintable(error));
    QVERIFY(press(leave));
    QVERIFY2(comesTo(QRect(place, DesignSize)), qPrintable(error));
    QCOMPARE(meters.stop(), 0);
    QVERIFY2(startMeters(meters, "Kolvane Meters", bus.address()), qPrintable(error));
    QVERIFY2(comesTo(QRect(place, DesignSize)), qPrintable(error));
    QCOMPARE(meters.stop(), 0);
}

QTEST_GUILESS_MAIN(TestWall)
#include "tst_wall.moc"
