// The real kolvane-meters as a wall display: full screen on a bare X server, under a window manager and on
// the second of two screens, kept across a restart and left by a key; the screen saver service held
// meanwhile.
#include "privatebus.h"
#include "program.h"

class TestWall : public QObject, SystemFixture
{
    Q_OBJECT
    bool managed = false; // a window manager places the window: sizes only
    bool comesTo(const QRect &expected)
    {
        return bool(grabUntil(
            "Kolvane Meters",
            [&](const Shot &s) {
                const bool ok = managed ? s.geometry.size() == expected.size() : s.geometry == expected;
                return ok ? QString() : say("the window is at ", s.geometry, ", not ", expected);
            },
            {}, false));
    }
private slots:
    void fullScreenAcrossRestarts_data();
    void fullScreenAcrossRestarts();
};

void TestWall::fullScreenAcrossRestarts_data()
{
    QTest::addColumn<QString>("manager"); // or the X server inside the first one
    QTest::addColumn<QPoint>("place");    // where the window is moved first
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

void TestWall::fullScreenAcrossRestarts()
{
    QFETCH(QString, manager);
    QFETCH(QPoint, place);
    QFETCH(QRect, fullScreen);
    QFETCH(int, screen);
    QFETCH(QString, leave);
    KOLVANE_REQUIRE(hasTools({"Xvfb", "xdotool", manager}), "Xvfb, xdotool, openbox and Xephyr are needed "
                                                            "(Debian: xvfb xdotool openbox xserver-xephyr)");
    PrivateBus bus;
    QVERIFY2(!bus.address().isEmpty(), qPrintable(bus.why()));
    const QString tag = manager.isEmpty() ? "bare" : manager, ready = work.filePath(tag + "-ready");
    Program xvfb(work.filePath(tag + "-x")), inner(work.filePath(tag + "-inner")), meters(work.filePath(tag));
    QVERIFY(startX(xvfb, "Xvfb", {"-screen", "0", manager == "Xephyr" ? "2600x900x24" : "1600x1000x24"}));
    if (manager == "Xephyr")
        QVERIFY(startX(inner, "Xephyr",
                       {"+xinerama", "-extension", "RANDR", "-screen", "1280x800", "-screen", "1280x800"}));
    // The display starts once the manager runs, as after a log-in; openbox runs its start-up command then.
    if ((managed = manager == "openbox"))
        QVERIFY(
            inner.start(which("openbox"), {"--sm-disable", "--startup", "touch " + ready}, environment()) &&
            QTest::qWaitFor([&] { return QFileInfo::exists(ready); }, TimeoutMs));
    // Without a manager nobody places the window: it opens at the origin.
    QVERIFY2(startMeters(meters, "Kolvane Meters", bus.address()) && comesTo(QRect(QPoint(), DesignSize)),
             why());
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

QTEST_GUILESS_MAIN(TestWall)
#include "tst_wall.moc"
