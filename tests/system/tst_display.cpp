// The real program under Xvfb: what a fresh start shows, levels on the scale, the fall, scaling.
#include "displaymodel.h"
#include "systemharness.h"

#include <QtTest>

#include <cmath>

using namespace SystemHarness;
namespace DM = DisplayModel;

namespace {

constexpr int WindowTimeoutMs = 20000;
constexpr int SettleTimeoutMs = 10000;
constexpr double ReleaseDbPerSecond = 13.3;
// Scheduling moves each screenshot against the program's release ticks, and a loaded machine delays
// ticks: allow 1 dB (75 ms of fall) either way, a few pixels. A wrong rate is off by several dB.
constexpr double FallToleranceDb = 1.0;
// Levels chosen so each meter shows a different bar: 0 dB, -20 dB and so on, one per meter.
const QVector<double> FixedLevels{0.0, -20.0, -10.0, -30.0, 0.0, -40.0};

QString title(const QString &port)
{
    return QStringLiteral("Kolvane Meters - (%1)").arg(port);
}

QString levelsOption(const QVector<double> &levels)
{
    QStringList parts;
    for (double level : levels)
        parts << QString::number(level);
    return QStringLiteral("--levels=") + parts.join(QLatin1Char(','));
}

// Empty when every meter shows its level's bar (within the tolerance) in the bar colours.
QString checkMeters(const Shot &shot, const QVector<double> &levels, int tolerance = 1)
{
    const DM::Scaling scaling = DM::scalingFor(shot.geometry.size());
    for (int i = 0; i < DM::MeterCount; ++i) {
        const QRect rect = DM::formWidgetInWindow(DM::Meters[i].design, scaling);
        const DM::MeterReading reading = DM::readMeter(shot.image, rect);
        if (!reading.ok)
            return QStringLiteral("%1: %2").arg(QLatin1String(DM::Meters[i].name), reading.problem);
        const int expected = DM::barLength(rect.height(), levels.at(i));
        if (std::abs(reading.barLength - expected) > tolerance) {
            return QStringLiteral("%1 at %2 dB shows a bar of %3 pixels, expected %4")
                .arg(QLatin1String(DM::Meters[i].name))
                .arg(levels.at(i))
                .arg(reading.barLength)
                .arg(expected);
        }
    }
    return QString();
}

QVector<double> floorLevels()
{
    return QVector<double>(DM::MeterCount, -50.0);
}

} // namespace

class TestSystemDisplay : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void freshStartShowsTheDisplay();
    void fixedLevelsLightTheBarsToTheScale();
    void barsFallAtTheReleaseRate();
    void resizedTo1920x1080ShowsTheScaledLayout();

private:
    std::unique_ptr<XServer> x;
    QTemporaryDir work;
};

void TestSystemDisplay::initTestCase()
{
    KOLVANE_REQUIRE(!findProgram(QStringLiteral("Xvfb")).isEmpty(), "Xvfb is not installed (Debian: xvfb)");
    KOLVANE_REQUIRE(QFileInfo(screenshotProgram()).isExecutable(),
                    "kolvane-screenshot is not built (Debian: libxcb1-dev)");
    QVERIFY2(QFileInfo(metersProgram()).isExecutable(), qPrintable(metersProgram()));
    QVERIFY2(QFileInfo(simulatorProgram()).isExecutable(), qPrintable(simulatorProgram()));
    QVERIFY(work.isValid());
    x = std::make_unique<XServer>();
    QString error;
    QVERIFY2(x->start(&error), qPrintable(error));
}

void TestSystemDisplay::freshStartShowsTheDisplay()
{
    QString error;
    Simulator sim(work.path());
    QVERIFY2(sim.startOnOwnTerminal({QStringLiteral("--level=-50")}, &error), qPrintable(error));
    Meters meters(QStringLiteral("fresh"));
    meters.writeSettings({{QStringLiteral("serialport"), sim.terminal()}});
    QVERIFY2(meters.start(x->display(), QString(), &error), qPrintable(error));

    const Screen screen(x->display());
    const QString expectedTitle = title(sim.terminal());
    const auto shown = screen.waitForWindow(QStringLiteral("Kolvane Meters"), WindowTimeoutMs, &error);
    QVERIFY2(shown, qPrintable(error + QLatin1Char('\n') + meters.log()));
    QCOMPARE(shown->title, expectedTitle);
    QCOMPARE(shown->geometry.size(), DM::DesignSize);

    const QRect analog = DM::formWidgetInWindow(DM::AnalogClock, DM::Scaling());
    // The digital clock's time and date, between the analog clock's rim marks.
    const QRect digitalText = DM::formWidgetInWindow(DM::DigitalClock, DM::Scaling()).adjusted(70, 0, -70, 0);
    const auto showsTheDisplay = [&](const Shot &s) {
        const QString meterProblem = checkMeters(s, floorLevels(), 0);
        if (!meterProblem.isEmpty())
            return meterProblem;
        // The background's brushed panel along the left edge.
        const QColor panel = DM::meanColour(s.image, QRect(0, DM::CentralWidgetTop, 2, 400));
        if (std::abs(panel.red() - 114) > 16 || std::abs(panel.green() - 112) > 16 ||
            std::abs(panel.blue() - 111) > 16)
            return QStringLiteral("the panel's left edge is %1").arg(panel.name());
        const int hourLinePixels = DM::countColour(s.image, analog, QColor(0, 255, 0), 40);
        if (hourLinePixels < 24)
            return QStringLiteral("the analog clock shows %1 hour line pixels").arg(hourLinePixels);
        const QRect time = DM::whiteBox(s.image, digitalText);
        if (time.width() < 100 || time.height() < 40)
            return QStringLiteral("the digital clock's text covers %1 x %2 pixels")
                .arg(time.width())
                .arg(time.height());
        for (const QRect &label : {DM::LabelMeter1, DM::LabelMeter2, DM::LabelMeter3}) {
            const QRect text = DM::whiteBox(s.image, label);
            if (text.isEmpty())
                return QStringLiteral("a caption shows no text");
            if (std::abs(text.center().x() - label.center().x()) > 4)
                return QStringLiteral("a caption is not centred in its label");
        }
        return QString();
    };
    QString failure;
    const auto shot = screen.grabUntil(expectedTitle, showsTheDisplay, SettleTimeoutMs, &failure);
    QVERIFY2(shot && failure.isEmpty(), qPrintable(failure));

    // Both clocks go on: the second dots and the seconds of the time change.
    QTest::qWait(1500);
    const auto later = screen.grab(expectedTitle, &error);
    QVERIFY2(later, qPrintable(error));
    QVERIFY2(later->image.copy(digitalText) != shot->image.copy(digitalText),
             "the digital clock stands still");
    QVERIFY2(later->image.copy(analog) != shot->image.copy(analog), "the analog clock stands still");

    KOLVANE_VERIFY_CLEAN_EXIT(meters);
    const QVariantMap stored = meters.readSettings();
    QCOMPARE(stored.value(QStringLiteral("labelMeter1")).toString(), QStringLiteral("Prog"));
    QCOMPARE(stored.value(QStringLiteral("labelMeter2")).toString(), QStringLiteral("Sub"));
    QCOMPARE(stored.value(QStringLiteral("labelMeter3")).toString(), QStringLiteral("CRM"));
}

void TestSystemDisplay::fixedLevelsLightTheBarsToTheScale()
{
    QString error;
    Simulator sim(work.path());
    QVERIFY2(sim.startOnOwnTerminal({levelsOption(FixedLevels)}, &error), qPrintable(error));
    Meters meters(QStringLiteral("levels"));
    meters.writeSettings({{QStringLiteral("serialport"), sim.terminal()}});
    QVERIFY2(meters.start(x->display(), QString(), &error), qPrintable(error));

    const Screen screen(x->display());
    QVERIFY2(screen.waitForWindow(title(sim.terminal()), WindowTimeoutMs, &error),
             qPrintable(error + QLatin1Char('\n') + meters.log()));
    QString failure;
    screen.grabUntil(
        title(sim.terminal()), [](const Shot &s) { return checkMeters(s, FixedLevels); }, SettleTimeoutMs,
        &failure);
    QVERIFY2(failure.isEmpty(), qPrintable(failure + QLatin1Char('\n') + meters.log()));
    KOLVANE_VERIFY_CLEAN_EXIT(meters);
}

void TestSystemDisplay::barsFallAtTheReleaseRate()
{
    QString error;
    SerialPair device(work.path());
    KOLVANE_REQUIRE(!findProgram(QStringLiteral("socat")).isEmpty(),
                    "socat is not installed (Debian: socat)");
    QVERIFY2(device.start(&error), qPrintable(error));
    Meters meters(QStringLiteral("fall"));
    meters.writeSettings({{QStringLiteral("serialport"), device.device()}});
    QVERIFY2(meters.start(x->display(), QString(), &error), qPrintable(error));
    const Screen screen(x->display());
    const QString windowTitle = title(device.device());
    QVERIFY2(screen.waitForWindow(windowTitle, WindowTimeoutMs, &error),
             qPrintable(error + QLatin1Char('\n') + meters.log()));

    const QVector<double> zero(DM::MeterCount, 0.0);
    {
        Simulator loud(work.path());
        QVERIFY2(loud.startOnPort(device.feed(), {QStringLiteral("--level=0")}, &error), qPrintable(error));
        QString failure;
        screen.grabUntil(
            windowTitle, [&](const Shot &s) { return checkMeters(s, zero); }, SettleTimeoutMs, &failure);
        QVERIFY2(failure.isEmpty(), qPrintable(failure + QLatin1Char('\n') + meters.log()));
    }
    Simulator quiet(work.path());
    QVERIFY2(quiet.startOnPort(device.feed(), {QStringLiteral("--level=-50")}, &error), qPrintable(error));

    // Two screenshots a known time apart: between them every bar falls by 13.3 dB a second.
    QTest::qWait(300);
    const auto first = screen.grab(windowTitle, &error);
    QVERIFY2(first, qPrintable(error));
    QTest::qWait(1500);
    const auto second = screen.grab(windowTitle, &error);
    QVERIFY2(second, qPrintable(error));
    const double seconds = (second->grabbedAtMs - first->grabbedAtMs) / 1000.0;

    const DM::Scaling design;
    for (int i = 0; i < DM::MeterCount; ++i) {
        const QRect rect = DM::formWidgetInWindow(DM::Meters[i].design, design);
        const DM::MeterReading before = DM::readMeter(first->image, rect);
        const DM::MeterReading after = DM::readMeter(second->image, rect);
        QVERIFY2(before.ok && after.ok, qPrintable(before.problem + after.problem));
        const double levelBefore = DM::levelForBarLength(rect.height(), before.barLength);
        QVERIFY2(
            levelBefore < -0.5,
            qPrintable(QStringLiteral("%1 has not started to fall").arg(QLatin1String(DM::Meters[i].name))));
        const double levelAfter = levelBefore - ReleaseDbPerSecond * seconds;
        const int expected = DM::barLength(rect.height(), levelAfter);
        const int lowest = DM::barLength(rect.height(), levelAfter - FallToleranceDb) - 1;
        const int highest = DM::barLength(rect.height(), levelAfter + FallToleranceDb) + 1;
        qInfo("%s: %.2f dB, after %.3f s %d pixels (expected %d, %.2f dB)", DM::Meters[i].name, levelBefore,
              seconds, after.barLength, expected, levelAfter);
        QVERIFY2(after.barLength >= lowest && after.barLength <= highest,
                 qPrintable(QStringLiteral("%1 fell to %2 pixels in %3 s from %4 dB, expected %5 to %6")
                                .arg(QLatin1String(DM::Meters[i].name))
                                .arg(after.barLength)
                                .arg(seconds)
                                .arg(levelBefore)
                                .arg(lowest)
                                .arg(highest)));
    }
    KOLVANE_VERIFY_CLEAN_EXIT(meters);
}

void TestSystemDisplay::resizedTo1920x1080ShowsTheScaledLayout()
{
    // The layout's own worked example, to be sure the model here scales as the program must.
    const DM::Scaling big = DM::scalingFor(QSize(1920, 1080));
    QCOMPARE(big.offsetX, 42);
    QCOMPARE(DM::scaled(DM::Meters[0].design, big), QRect(142, 135, 22, 772));
    QCOMPARE(DM::scaled(DM::AnalogClock, big), QRect(690, 158, 763, 763));
    QCOMPARE(DM::scaled(DM::DigitalClock, big), QRect(690, 484, 763, 206));

    QString error;
    Simulator sim(work.path());
    QVERIFY2(sim.startOnOwnTerminal({levelsOption(FixedLevels)}, &error), qPrintable(error));
    Meters meters(QStringLiteral("scaled"));
    meters.writeSettings({{QStringLiteral("serialport"), sim.terminal()}});
    QVERIFY2(meters.start(x->display(), QString(), &error), qPrintable(error));
    const Screen screen(x->display());
    const QString windowTitle = title(sim.terminal());
    QVERIFY2(screen.waitForWindow(windowTitle, WindowTimeoutMs, &error),
             qPrintable(error + QLatin1Char('\n') + meters.log()));

    QString failure;
    const auto small = screen.grabUntil(
        windowTitle, [](const Shot &s) { return checkMeters(s, FixedLevels); }, SettleTimeoutMs, &failure);
    QVERIFY2(small && failure.isEmpty(), qPrintable(failure));

    const auto resized =
        screen.configure(windowTitle, {QStringLiteral("--resize"), QStringLiteral("1920x1080")}, &error);
    QVERIFY2(resized, qPrintable(error));
    QCOMPARE(resized->geometry.size(), QSize(1920, 1080));
    const auto large = screen.grabUntil(
        windowTitle, [](const Shot &s) { return checkMeters(s, FixedLevels); }, SettleTimeoutMs, &failure);
    QVERIFY2(large && failure.isEmpty(), qPrintable(failure));

    // Captions: scaled into their scaled labels, with a font 27/15 times the design size.
    for (const QRect &label : {DM::LabelMeter1, DM::LabelMeter2, DM::LabelMeter3}) {
        const QRect before = DM::whiteBox(small->image, label);
        const QRect after = DM::whiteBox(large->image, DM::scaled(label, big));
        QVERIFY2(!before.isEmpty() && !after.isEmpty(), "a caption shows no text");
        const double growth = double(after.height()) / before.height();
        QVERIFY2(growth > 1.5 && growth < 2.2,
                 qPrintable(QStringLiteral("caption text grew %1 times").arg(growth)));
    }

    // The background: scaled by the same factor and drawn 42 pixels from the left. Compare small
    // patches of both screenshots wherever no widget covers them in either window.
    struct Placed
    {
        QRect design;
        bool inForm; // a form widget (below the menu bar) or one of the window's own labels
    };
    QVector<Placed> widgets{{DM::AnalogClock, true},          {DM::LabelMeter1, false},
                            {DM::LabelMeter2, false},         {DM::LabelMeter3, false},
                            {QRect(356, 502, 401, 31), true}, // timelabel
                            {QRect(360, 550, 381, 21), true}, // footerlabel
                            {QRect(900, 28, 25, 25), false}}; // settings icon
    for (const auto &m : DM::Meters)
        widgets.append({m.design, true});
    const auto inWindow = [](const Placed &w, const DM::Scaling &s) {
        return w.inForm ? DM::formWidgetInWindow(w.design, s) : DM::scaled(w.design, s);
    };
    constexpr int Patch = 5;
    int compared = 0;
    int matching = 0;
    for (int y = DM::CentralWidgetTop + 8; y < DM::DesignSize.height() - 8; y += 16) {
        for (int x = 8; x < DM::DesignSize.width() - 8; x += 16) {
            const QRect patch(x - Patch / 2, y - Patch / 2, Patch, Patch);
            const QRect scaledPatch(int(patch.x() * double(big.factor)) + big.offsetX,
                                    int(patch.y() * double(big.factor)), int(Patch * big.factor),
                                    int(Patch * big.factor));
            bool covered = false;
            for (const Placed &w : widgets) {
                covered = covered || inWindow(w, DM::Scaling()).adjusted(-4, -4, 4, 4).intersects(patch) ||
                          inWindow(w, big).adjusted(-6, -6, 6, 6).intersects(scaledPatch);
            }
            if (covered)
                continue;
            const QColor a = DM::meanColour(small->image, patch);
            const QColor b = DM::meanColour(large->image, scaledPatch);
            ++compared;
            if (std::abs(a.red() - b.red()) <= 30 && std::abs(a.green() - b.green()) <= 30 &&
                std::abs(a.blue() - b.blue()) <= 30)
                ++matching;
        }
    }
    QVERIFY(compared > 500);
    QVERIFY2(matching >= compared * 9 / 10,
             qPrintable(QStringLiteral("%1 of %2 background patches match").arg(matching).arg(compared)));
    KOLVANE_VERIFY_CLEAN_EXIT(meters);
}

QTEST_GUILESS_MAIN(TestSystemDisplay)
#include "tst_display.moc"
