// The real kolvane-meters under Xvfb, checked by screenshots against a model of the display worked out here.
#include "program.h"

#include <cmath>
#include <csignal>

namespace {
const QRect MeterRects[] = {{54, 73, 12, 415},  {143, 73, 12, 415}, {210, 73, 12, 415},
                            {299, 73, 12, 415}, {844, 199, 8, 291}, {907, 199, 8, 291}};
const QRect LinkLamp(876, 33, 15, 15);
const QRect Clocks[] = {{348, 85, 410, 410}, {418, 260, 270, 111}}; // analog, digital text
// The lamp's colours as it paints them: green, amber, red, grey.
const QColor LampGood(40, 200, 60), LampWarning(255, 176, 0), LampFault(230, 30, 30), LampOff(128, 128, 128);
// Six levels apart.
const QString FloorLevels = "-50,-50,-50,-50,-50,-50", FixedLevels = "0,-20,-10,-30,-5,-40";
const double DinBase = std::pow(10.0, -50 / 80.0), DinSpan = std::pow(10.0, 5 / 80.0) - DinBase;
using Check = std::function<QString(const Shot &)>;
} // namespace

class TestSystem : public QObject, SystemFixture
{
    Q_OBJECT
    Program xvfb{work.filePath("xvfb")};
    static QString titleFor(const QString &port) { return "Kolvane Meters - (" + port + ")"; }
    static double din(double d) { return (std::pow(10, std::clamp(d, -50.0, 5.0) / 80) - DinBase) / DinSpan; }
    static bool near(const QColor &a, const QColor &b, int tolerance)
    {
        return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                         std::abs(a.blue() - b.blue())}) <= tolerance;
    }
    // Bar length: the lit rows of the meter's centre column, from the bottom up.
    static int readMeter(const QImage &image, const QRect &r)
    {
        int lit = 0;
        while (lit < r.height() && qGray(image.pixel(r.center().x(), r.bottom() - lit)) > 60)
            ++lit;
        return lit;
    }
    static Check showing(const QString &levels, int tolerance = 1)
    {
        return [=](const Shot &shot) {
            for (int i = 0; i < 6; ++i) {
                const int length = readMeter(shot.image, MeterRects[i]);
                const int expected = int(MeterRects[i].height() * din(levels.section(',', i, i).toDouble()));
                if (std::abs(length - expected) > tolerance)
                    return say("meter ", i, ": ", length, " px, not ", expected);
            }
            return QString();
        };
    }
    // The lamp's colour at its centre, then the meters.
    static Check lampAnd(const QColor &colour, const Check &meters)
    {
        return [=](const Shot &shot) {
            const QColor seen = shot.image.copy(QRect(LinkLamp.center() - QPoint(1, 1), QSize(3, 3)))
                                    .scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                    .pixel(0, 0);
            return near(seen, colour, 24) ? meters(shot)
                                          : say("the lamp is ", seen.name(), ", not ", colour.name());
        };
    }
private slots:
    void initTestCase()
    {
        KOLVANE_REQUIRE(hasTools({"Xvfb", "socat"}), "Xvfb, socat and kolvane-screenshot are needed "
                                                     "(Debian: xvfb socat libxcb1-dev)");
        QVERIFY(startX(xvfb, "2560x1440x24"));
    }
    void freshStart();
    void deviceAbsentPausedGoneAndBack();
    void bbcScaleFromTheSettingsFile();
};

// No settings file and no port: a grey lamp, the design's size and running clocks.
void TestSystem::freshStart()
{
    Program meters(work.filePath("fresh"));
    const QString title = titleFor("");
    const auto first = startMeters(meters, title)
                           ? grabUntil(title, lampAnd(LampOff, showing(FloorLevels, 0)))
                           : std::nullopt;
    QVERIFY2(first && first->title == title && first->geometry.size() == DesignSize, why());
    const auto ticking = [&](const Shot &s) {
        const bool still = s.image.copy(Clocks[0]) == first->image.copy(Clocks[0]) ||
                           s.image.copy(Clocks[1]) == first->image.copy(Clocks[1]);
        return still ? QString("a clock stands still") : QString();
    };
    QVERIFY2(grabUntil(title, ticking), why());
    QCOMPARE(meters.stop(), 0);
}

// The console's device is absent at start (red), plugged in (green), paused with its line open (amber,
// the bars at the floor), resumed, pulled out while it sends (red, the bars at the floor) and put back.
void TestSystem::deviceAbsentPausedGoneAndBack()
{
    // Linked terminals named in the test's folder, as an adapter's device name comes and goes.
    Program device(work.filePath("socat")), meters(work.filePath("device")), sim(work.filePath("sim"));
    const QString port = device.terminal = work.filePath("tty"), feed = work.filePath("tty-feed");
    const QString title = titleFor(port);
    const auto plugIn = [&] {
        sim.stop();
        return device.start(which("socat"), {"pty,raw,echo=0,link=" + port, "pty,raw,echo=0,link=" + feed},
                            environment()) &&
               QTest::qWaitFor([&] { return QFileInfo::exists(port) && QFileInfo::exists(feed); },
                               TimeoutMs) &&
               sim.start(KOLVANE_CONSOLE_SIM_PROGRAM, {"--port", feed, "--levels=" + FixedLevels},
                         environment());
    };
    meters.writeSettings({"serialport=" + port});
    QVERIFY2(startMeters(meters, title) && grabUntil(title, lampAnd(LampFault, showing(FloorLevels, 0))),
             why());
    QVERIFY2(plugIn() && grabUntil(title, lampAnd(LampGood, showing(FixedLevels))), why());
    const pid_t console = pid_t(sim.process.processId());
    QVERIFY(::kill(console, SIGSTOP) == 0); // its terminal stays open, its frames stop
    QVERIFY2(grabUntil(title, lampAnd(LampWarning, showing(FloorLevels, 0))), why());
    QVERIFY(::kill(console, SIGCONT) == 0);
    QVERIFY2(grabUntil(title, lampAnd(LampGood, showing(FixedLevels))), why());
    device.stop(); // pulled out while the console still sends
    QVERIFY2(grabUntil(title, lampAnd(LampFault, showing(FloorLevels))), why());
    // Back under the same name: frames show again.
    QVERIFY2(plugIn() && grabUntil(title, lampAnd(LampGood, showing(FixedLevels))), why());
    QCOMPARE(meters.stop(), 0);
}

// Another scale from the file: BBC marks 1 to 7 instead of DIN's, and a frame at the alignment level on
// mark 4.
void TestSystem::bbcScaleFromTheSettingsFile()
{
    Program sim(work.filePath("sim-bbc")), meters(work.filePath("bbc"));
    QVERIFY(sim.simulate("-9,-9,-9,-9,-9,-9"));
    meters.writeSettings({"serialport=" + sim.terminal, "meter_scale=bbc"});
    const QString title = titleFor(sim.terminal);
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

QTEST_GUILESS_MAIN(TestSystem)
#include "tst_system.moc"
