#include "fakeclock.h"
#include "localclock.h"
#include "statuslamp.h"
#include "walltick.h"
#include "zelanalogclock.h"
#include "zeldigitalclock.h"
#include "zelppmmeter.h"

#include <QFontMetrics>
#include <QtTest>

#include <cmath>
#include <time.h>

namespace {

// Day and month names in one language whatever the machine's locale; set before the application starts.
[[maybe_unused]] const bool cLocale = qputenv("LC_ALL", "C");

const QColor black(Qt::black), white(Qt::white), red(Qt::red), green(Qt::green), blue(Qt::blue),
    yellow(Qt::yellow), magenta(Qt::magenta), darkRed(64, 0, 0), darkGreen(0, 64, 0);

struct PaintCounter : QObject
{
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

void settle()
{
    for (int round = 0; round < 3; ++round)
        QCoreApplication::processEvents();
}

template <typename Action> int paintsCausedBy(QWidget &widget, Action action)
{
    PaintCounter counter;
    widget.show();
    if (!QTest::qWaitForWindowExposed(&widget))
        return -1;
    settle();
    widget.installEventFilter(&counter);
    action();
    settle();
    return counter.paints;
}

QVector<int> paintsForTicks(const QVector<QWidget *> &clocks, int ticks)
{
    QVector<int> paints(clocks.size());
    for (int tick = 0; tick < ticks; ++tick, FakeClock::advanceMs(95))
        for (int i = 0; i < clocks.size(); ++i)
            paints[i] +=
                paintsCausedBy(*clocks[i], [&] { QMetaObject::invokeMethod(clocks[i], "checkTime"); });
    return paints;
}

using PropertyRow = std::tuple<const char *, QVariant, QVariant>; // name, default, read by accessor

// Naming both accessors makes a renamed accessor fail to compile.
#define P(Name, getter, value) PropertyRow(#Name, value, ((void)&decltype(o)::set##Name, o.getter()))

// Writing a property its own value repaints only for those named.
template <typename... Rows>
void checkMetaObject(QWidget &object, const char *slot, const QList<QByteArray> &repaintAnyway,
                     const Rows &...rows)
{
    const QMetaObject *meta = object.metaObject();
    QCOMPARE(meta->propertyCount() - meta->propertyOffset(), int(sizeof...(rows)));
    int index = meta->propertyOffset();
    for (const auto &[name, defaultValue, readByAccessor] : {rows...}) {
        const QMetaProperty p = meta->property(index++);
        const QStringList flags = {p.isReadable() ? "readable" : "",     p.isWritable() ? "writable" : "",
                                   p.isDesignable() ? "designable" : "", p.isScriptable() ? "scriptable" : "",
                                   p.isStored() ? "stored" : "",         p.hasNotifySignal() ? "notify" : "",
                                   p.isResettable() ? "resettable" : ""};
        QCOMPARE(QString("%1 %2 %3").arg(p.name(), p.typeName(), flags.join(' ').simplified()),
                 QString("%1 %2 readable writable designable scriptable stored")
                     .arg(name, defaultValue.typeName()));
        QVERIFY2(p.read(&object) == defaultValue, name);
        QVERIFY2(readByAccessor == defaultValue, name);
        QVERIFY2(paintsCausedBy(object, [&] { p.write(&object, defaultValue); }) ==
                     repaintAnyway.contains(name),
                 name);
    }
    const QMetaMethod method = meta->method(meta->methodOffset());
    QVERIFY(meta->methodCount() - meta->methodOffset() == 1 && method.methodType() == QMetaMethod::Slot);
    QCOMPARE(method.methodSignature(), QByteArray(slot));
}

bool setProperties(QObject &object, const QString &assignments)
{
    bool allSet = true;
    for (const QString &assignment : assignments.split("; ", Qt::SkipEmptyParts))
        allSet &= object.setProperty(qPrintable(assignment.section('=', 0, 0)), assignment.section('=', 1));
    return allSet;
}

bool nearColor(const QColor &actual, const QColor &expected, int tolerance)
{
    return std::max({qAbs(actual.red() - expected.red()), qAbs(actual.green() - expected.green()),
                     qAbs(actual.blue() - expected.blue())}) <= tolerance;
}

QImage grabOnBlack(QWidget &widget)
{
    widget.setPalette(QPalette(Qt::black, Qt::black));
    return widget.grab().toImage().convertToFormat(QImage::Format_ARGB32);
}

// Fourth-root scale, bottom and top end, level, clamped level, barLength, zeroLength.
using Scale = std::tuple<bool, double, double, double, double, int, int>;
// Height, gradients, level (linear scale, -50 to +5 dB), first lit row, colours of middle-column rows.
using Look = std::tuple<int, bool, double, int, QList<QPair<int, QColor>>>;
// Height, shown lines, time font point size, time and date ink bounds (null: nothing may show).
using Lines = std::tuple<int, QString, int, QRect, QRect>;

// A face point at a clock angle (clockwise from twelve), a radius and a clockwise offset in dial units.
struct Spot
{
    double angle, radius, aside;
    QColor colour;
};
using Face = std::tuple<QTime, QString, QVector<Spot>>;

QColor pixelAt(const QImage &image, const Spot &spot)
{
    const double scale = qMin(image.width(), image.height()) / 200.0;
    const QPointF point = QTransform::fromTranslate(image.width() / 2, image.height() / 2)
                              .scale(scale, scale)
                              .rotate(spot.angle)
                              .map(QPointF(spot.aside, -spot.radius));
    return image.pixelColor(int(std::floor(point.x())), int(std::floor(point.y())));
}

// Every step degrees: the colour from angle from to to, black elsewhere; none within margin of either end.
QVector<Spot> ring(double radius, double step, const QColor &colour, double from, double to, double margin)
{
    QVector<Spot> spots;
    const auto apart = [](double a, double b) { return std::abs(std::remainder(a - b, 360.0)); };
    for (double angle = -180; angle < 180; angle += step)
        if (apart(angle, from) >= margin && apart(angle, to) >= margin)
            spots.push_back(
                {angle, radius, 0, std::fmod(angle - from + 720, 360) <= to - from ? colour : black});
    return spots;
}

// Hour triangle (6, -64), (-6, -64), (0, -76) and minute triangle (4, -64), (-4, -64), (0, -92):
// within and just beyond each tip, base and hour base corner.
QVector<Spot> pointers(double hour, double minute)
{
    return {{hour, 74, 0, yellow}, {hour, 65, 0, yellow}, {hour, 64.5, 5, yellow},  {hour, 64.5, -5, yellow},
            {hour, 78, 0, black},  {hour, 62, 0, black},  {hour, 64.5, 7.5, black}, {hour, 64.5, -7.5, black},
            {minute, 86, 0, blue}, {minute, 66, 0, blue}, {minute, 94, 0, black},   {minute, 62, 0, black}};
}

} // namespace

Q_DECLARE_METATYPE(Scale)
Q_DECLARE_METATYPE(Look)
Q_DECLARE_METATYPE(Lines)
Q_DECLARE_METATYPE(Face)

class TestWidgets : public QObject
{
    Q_OBJECT

    ZelAnalogClock face; // one for all faces, so that nothing drawn for an earlier one may linger

private slots:
    void metaObjects()
    {
        FakeClock fake; // at second 0, as the clocks start: their timers ask for no repaint
        {
            ZelPPMMeter o;
            checkMetaObject(
                o, "setdBPosition(double_db)",
                {"dBPosition", "MaxColor", "MinColor", "MaxBackgroundColor", "MinBackgroundColor"},
                P(dBPosition, dBPosition, -50.0), P(MindBPosition, mindBPosition, -50.0),
                P(MaxdBPosition, maxdBPosition, 5.0), P(ReleasePerSecond, releasePerSecond, 18.0),
                P(DINCurve, dinCurve, true), P(GradientBackground, gradientBackground, true),
                P(GradientForground, gradientForground, false), P(MaxColor, maxColor, red),
                P(MinColor, minColor, green), P(MaxBackgroundColor, maxBackgroundColor, darkRed),
                P(MinBackgroundColor, minBackgroundColor, darkGreen),
                P(SkinEnvironmentVariable, skinEnvironmentVariable, QString()),
                P(PPMMeterBackgroundFileName, ppmMeterBackgroundFileName, QString()),
                P(PeakHold, peakHold, false), P(PeakHoldTime, peakHoldTime, 2000),
                P(PeakColor, peakColor, white), P(OverIndicator, overIndicator, false),
                P(OverColor, overColor, white));
            QVERIFY(o.testAttribute(Qt::WA_OpaquePaintEvent));
        }
        {
            ZelAnalogClock o;
            const QColor grey(61, 61, 61, 191);
            checkMetaObject(
                o, "checkTime()", {}, P(HourLines, hourLines, false), P(HourLinesLength, hourLinesLength, 8),
                P(HourLinesWidth, hourLinesWidth, 2), P(HourLinesColor, hourLinesColor, black),
                P(MinuteLines, minuteLines, false), P(MinuteLinesLength, minuteLinesLength, 4),
                P(MinuteLinesWidth, minuteLinesWidth, 1), P(MinuteLinesColor, minuteLinesColor, grey),
                P(SecondDots, secondDots, true), P(SecondDotsCountDown, secondDotsCountDown, false),
                P(DotSize, dotSize, 1), P(DotColor, dotColor, black), P(Hands, hands, true),
                P(HourHandColor, hourHandColor, black), P(HourHandBorder, hourHandBorder, 12),
                P(HourHandLength, hourHandLength, 12), P(HourHandWidth, hourHandWidth, 12),
                P(MinuteHandColor, minuteHandColor, grey), P(MinuteHandBorder, minuteHandBorder, 4),
                P(MinuteHandLength, minuteHandLength, 8), P(MinuteHandWidth, minuteHandWidth, 8),
                P(EndTime, endTime, false), P(EndTimeLength, endTimeLength, 8),
                P(EndTimeWidth, endTimeWidth, 2), P(EndTimeHour, endTimeHour, 0),
                P(EndTimeMinute, endTimeMinute, 0), P(EndTimeSecond, endTimeSecond, 0),
                P(EndTimeColor, endTimeColor, red), P(CountDownTime, countDownTime, 0.0f),
                P(CountDownWidth, countDownWidth, 2), P(CountDownSpacing, countDownSpacing, 1),
                P(CountDownColor, countDownColor, magenta));
        }
        ZelDigitalClock o;
        checkMetaObject(o, "checkTime()", {}, P(TimeDisplay, timeDisplay, true),
                        P(TimeDisplayFont, timeDisplayFont, QFont()),
                        P(TimeDisplayFontColor, timeDisplayFontColor, QColor()),
                        P(DateDisplay, dateDisplay, true), P(DateDisplayFont, dateDisplayFont, QFont()),
                        P(DateDisplayFontColor, dateDisplayFontColor, QColor()));
    }

    void meterScale_data()
    {
        QTest::addColumn<Scale>("scale");
        for (const auto &[level, length] :
             {std::pair(-50, 0), {-40, 17}, {-30, 40}, {-20, 70}, {-10, 111}, {0, 166}, {5, 200}})
            QTest::addRow("fourth root %d", level)
                << Scale{true, -50, 5, double(level), double(level), length, 166};
        QTest::newRow("fourth root, below") << Scale{true, -50, 5, -70, -50, 0, 166};
        QTest::newRow("NaN is the bottom end") << Scale{true, -60, 5, qQNaN(), -60, 0, 168};
        QTest::newRow("fourth root, from -60") << Scale{true, -60, 5, 0, 0, 168, 168};
        QTest::newRow("linear -20") << Scale{false, -50, 5, -20, -20, 109, 181};
        QTest::newRow("linear 0") << Scale{false, -50, 5, 0, 0, 181, 181};
        QTest::newRow("linear, above") << Scale{false, -50, 5, qInf(), 5, 200, 181};
        QTest::newRow("reversed ends, clamped to the top") << Scale{true, 10, -10, 0, -10, 200, 114};
        // No scale to map onto: an empty bar instead of a division by zero.
        QTest::newRow("equal ends, fourth root") << Scale{true, 0, 0, 3, 0, 0, 0};
        QTest::newRow("equal ends, linear") << Scale{false, -20, -20, -20, -20, 0, 0};
        QTest::newRow("hair-thin") << Scale{false, -50, -50 + 1e-12, 0, -50 + 1e-12, 0, QWIDGETSIZE_MAX};
    }
    void meterScale()
    {
        QFETCH(Scale, scale);
        const auto &[dinCurve, minimum, maximum, level, clamped, barLength, zeroLength] = scale;
        ZelPPMMeter meter;
        meter.setRawdBPosition(-20);
        meter.calcPosition();
        meter.setDINCurve(dinCurve);
        meter.setMindBPosition(minimum);
        meter.setMaxdBPosition(maximum);
        meter.setdBPosition(level);
        QCOMPARE(meter.dinBase(), std::pow(10.0, minimum / 80));
        QCOMPARE(meter.dBRange(), maximum - minimum);
        QCOMPARE(meter.calcPosition(), barLength != 70);
        QVERIFY(!meter.calcPosition());
        QCOMPARE(meter.dBPosition(), clamped);
        QCOMPARE(meter.barLength(), barLength);
        QCOMPARE(meter.zeroLength(), zeroLength);
    }

    void meterPainting_data()
    {
        QTest::addColumn<Look>("look");
        QTest::newRow("gradient, below half")
            << Look{200, true, -35, 146, {{0, darkRed}, {50, QColor(32, 32, 0)}, {100, darkGreen}}};
        QTest::newRow("gradient, above half") << Look{200, true, -10, 55, {{55, QColor(113, 142, 0)}}};
        QTest::newRow("gradient, half + 1") << Look{200, true, -22.2, 99, {{98, darkGreen}, {99, green}}};
        // The gradient part starts at 2 x half - barLength: row 0 for half 100, row 1 for half 101.
        QTest::newRow("gradient, height 200")
            << Look{200, true, 5, 0, {{0, red}, {50, QColor(126, 129, 0)}, {100, green}}};
        QTest::newRow("gradient, height 201") << Look{201, true, 5, 1, {{0, darkRed}, {1, red}}};
        QTest::newRow("solid, at zeroLength") << Look{200, false, 0, 19, {{18, darkRed}, {19, green}}};
        QTest::newRow("solid, above") << Look{200, false, 5, 0, {{18, red}, {19, green}}};
        QTest::newRow("solid, empty") << Look{200, false, -50, 200, {{18, darkRed}, {19, darkGreen}}};
    }
    void meterPainting()
    {
        QFETCH(Look, look);
        const auto &[height, gradients, level, firstLitRow, colours] = look;
        ZelPPMMeter meter;
        meter.resize(10, height);
        meter.setDINCurve(false);
        meter.setGradientBackground(gradients);
        meter.setGradientForground(gradients);
        meter.setRawdBPosition(level);
        meter.calcPosition();
        const QImage image = grabOnBlack(meter);
        // Every bar colour has red + green = 255, every background colour 64, gradients included.
        for (int row = 0; row < height; ++row) {
            const QColor pixel = image.pixelColor(5, row);
            const int redGreen = pixel.blue() > 2 ? 0 : pixel.red() + pixel.green();
            QVERIFY2(row < firstLitRow ? qAbs(redGreen - 64) <= 2 : redGreen >= 250,
                     qPrintable(QString::number(row)));
        }
        for (const auto &[row, colour] : colours)
            QVERIFY2(nearColor(image.pixelColor(5, row), colour, 5), qPrintable(QString::number(row)));
    }

    // The mark 2 px and the over lamp 4 px high on a 415 px meter, in proportion on taller ones.
    void meterPeakMarks_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("markHeight");
        QTest::addColumn<int>("lampHeight");
        QTest::newRow("programme meter, design") << QSize(12, 415) << 2 << 4;
        QTest::newRow("control room meter, design") << QSize(8, 291) << 2 << 4;
        QTest::newRow("programme meter, 1920 x 1080") << QSize(22, 772) << 4 << 7;
        QTest::newRow("control room meter, 1920 x 1080") << QSize(14, 541) << 3 << 5;
    }
    void meterPeakMarks()
    {
        QFETCH(QSize, size);
        QFETCH(int, markHeight);
        QFETCH(int, lampHeight);
        ZelPPMMeter meter;
        meter.resize(size);
        QVERIFY(
            setProperties(meter, "PeakHold=true; OverIndicator=true; PeakColor=#0000ff; OverColor=#ff00ff"));
        const auto step = [&](double level) {
            meter.setRawdBPosition(level);
            meter.calcPosition();
            return meter.stepPeakHold(10, 0.133);
        };
        QVERIFY(step(-10));
        const int peak = meter.barLength();
        QCOMPARE(meter.markLength(), peak);
        meter.setRawdBPosition(12); // above the top, then back down before the tick
        QVERIFY(step(-30) && meter.overLit() && meter.markLength() == peak && meter.barLength() < peak);
        const QImage image = grabOnBlack(meter);
        const int x = size.width() / 2, markTop = size.height() - peak;
        for (int row = 0; row < size.height(); ++row) {
            const QColor expected = row < lampHeight                               ? magenta
                                    : row >= markTop && row < markTop + markHeight ? blue
                                                                                   : QColor();
            const QColor pixel = image.pixelColor(x, row);
            QVERIFY2(expected.isValid() ? pixel == expected : pixel != blue && pixel != magenta,
                     qPrintable(QString::number(row)));
        }
        // Switched off, neither is drawn.
        meter.setPeakHold(false);
        meter.setOverIndicator(false);
        QVERIFY(!meter.markLength() && !meter.overLit() && !meter.stepPeakHold(10, 0.133));
        QVERIFY(!grabOnBlack(meter).pixelColor(x, 0).blue());
    }

    void clocksRepaintOncePerSecond()
    {
        FakeClock fake(QDateTime(QDate(2026, 12, 5), QTime(14, 0, 0, 40)));
        ZelAnalogClock analog;
        ZelDigitalClock digital;
        QCOMPARE(paintsForTicks({&analog, &digital}, 10), QVector<int>({0, 0})); // started in this second
        QCOMPARE(digital.timeText() + ' ' + digital.dateText(), QString("14:00:00 Sat 5 Dec 2026"));
        QCOMPARE(paintsForTicks({&analog, &digital}, 10), QVector<int>({1, 1}));
        QCOMPARE(QTime(analog.lastHour(), analog.lastMinute(), analog.lastSecond()), QTime(14, 0, 1));
    }

    void tickDelay_data()
    {
        QTest::addColumn<qint64>("nowUs");
        QTest::addColumn<int>("delayMs");
        const qint64 second = QDateTime(QDate(2026, 3, 29), QTime(1, 59, 59)).toMSecsSinceEpoch() * 1000;
        // The next tick falls 0.3 to 1.3 ms after a 100 ms boundary, however late or early this one came.
        const qint64 rows[][2] = {{0, 1},      {299, 1},      {300, 100},  {301, 100}, {1300, 99},
                                  {1301, 99},  {2301, 98},    {50000, 51}, {98299, 3}, {99300, 1},
                                  {100299, 1}, {100300, 100}, {999999, 1}};
        for (const auto &[usIntoSecond, delay] : rows)
            QTest::addRow("%lld us into a second", usIntoSecond) << second + usIntoSecond << int(delay);
        QTest::newRow("before 1970") << qint64(-1) << 1;
        QTest::newRow("in ms from another source") << second + 37000 << 64;
    }
    void tickDelay()
    {
        QFETCH(qint64, nowUs);
        QFETCH(int, delayMs);
        QCOMPARE(WallTick::delayMs(nowUs), delayMs);
    }

    void clockStep_data()
    {
        QTest::addColumn<QDateTime>("previous");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<bool>("step");
        const QDateTime t(QDate(2026, 3, 29), QTime(1, 59, 59, 1));
        QTest::newRow("on time") << t.addMSecs(-100) << t << false;
        QTest::newRow("same reading") << t << t << false;
        QTest::newRow("a second between ticks") << t << t.addMSecs(1000) << false;
        QTest::newRow("a late tick") << t << t.addMSecs(2000) << false;
        QTest::newRow("first tick") << QDateTime() << t << false;
        QTest::newRow("no reading") << t << QDateTime() << false;
        // Set forwards or backwards by any amount, or the wall clock moved by daylight saving.
        for (const auto &[name, jumpMs] : {std::pair("back 1 ms", -1LL),
                                           {"forward 2001 ms", 2001LL},
                                           {"back 1 s", -1000LL},
                                           {"forward 1 h", 3600000LL},
                                           {"back 1 day", -86400000LL},
                                           {"forward 10 years", 315569520000LL}})
            QTest::newRow(name) << t << t.addMSecs(jumpMs) << true;
        QTest::newRow("daylight saving") << t << QDateTime(QDate(2026, 3, 29), QTime(3, 0)) << true;
    }
    void clockStep()
    {
        QFETCH(QDateTime, previous);
        QFETCH(QDateTime, now);
        QFETCH(bool, step);
        QCOMPARE(WallTick::isStep(previous, now), step);
    }

    // On Linux the system clock wakes the ticker: once a second, never before the second has begun.
    void tickerWokenBySystemClock()
    {
        const std::shared_ptr<WallTick> ticker = WallTick::shared();
        if (!ticker->isWokenBySystemClock())
            QSKIP("the system clock does not wake the ticker here (not Linux, or no timerfd)");
        QVector<qint64> usIntoSecond;
        const auto connection = connect(ticker.get(), &WallTick::tick, [&] {
            usIntoSecond.append(LocalClock::microsecondsSinceEpoch() % 1000000);
        });
        QTest::qWait(3000);
        disconnect(connection);
        // The 100 ms poll would have ticked some thirty times.
        QVERIFY2(!usIntoSecond.isEmpty() && usIntoSecond.size() <= 4,
                 qPrintable(QString::number(usIntoSecond.size())));
        // Just after the second began: never before it (the clocks would show the old second), and not
        // half a second late, as a timer that drifted or a poll would be.
        for (const qint64 us : usIntoSecond)
            QVERIFY2(us >= WallTick::AfterBoundaryUs && us < 500000, qPrintable(QString::number(us)));
        // A replaced time source cannot tell when it is set: it is polled from then on.
        {
            FakeClock fake(QDateTime(QDate(2026, 1, 1), QTime(12, 0)));
            QVERIFY(!ticker->isWokenBySystemClock());
            QVERIFY(ticker->remainingMs() <= WallTick::PeriodMs);
        }
        QVERIFY(ticker->isWokenBySystemClock());
    }

    // The clock is set while both clocks run on their own ticker: they show the new time at the next
    // tick, whatever the step, and go on from there.
    void clockSteps_data()
    {
        QTest::addColumn<QDateTime>("from");
        QTest::addColumn<qint64>("jumpMs");
        const QDateTime t(QDate(2026, 10, 25), QTime(2, 59, 58, 1));
        for (const auto &[name, jumpMs] : {std::pair("forward 1 s", 1000LL),
                                           {"back 1 s", -1000LL},
                                           {"forward 1 min", 60000LL},
                                           {"back 1 min", -60000LL},
                                           {"forward 1 h", 3600000LL},
                                           {"back 1 h", -3600000LL},
                                           {"forward 1 day", 86400000LL},
                                           {"back 1 day", -86400000LL},
                                           {"back over midnight", -10800000LL},
                                           {"forward 6 weeks", 3628800000LL}})
            QTest::newRow(name) << t << jumpMs;
    }
    void clockSteps()
    {
        QFETCH(QDateTime, from);
        QFETCH(qint64, jumpMs);
        FakeClock fake(from);
        ZelAnalogClock analog;
        ZelDigitalClock digital;
        const auto shows = [&](const QDateTime &time) {
            const QTime t = time.time();
            return QTime(analog.lastHour(), analog.lastMinute(), analog.lastSecond()) ==
                       QTime(t.hour(), t.minute(), t.second()) &&
                   digital.timeText() == t.toString("hh:mm:ss") &&
                   digital.dateText() == time.date().toString("ddd d MMM yyyy");
        };
        for (QWidget *clock : {static_cast<QWidget *>(&analog), static_cast<QWidget *>(&digital)}) {
            clock->show();
            QVERIFY(QTest::qWaitForWindowExposed(clock));
        }
        QTRY_VERIFY(shows(from));
        PaintCounter analogPaints, digitalPaints;
        analog.installEventFilter(&analogPaints);
        digital.installEventFilter(&digitalPaints);
        FakeClock::advanceMs(jumpMs);
        QVERIFY(WallTick::shared()->remainingMs() <= WallTick::PeriodMs);
        // Without the ticker, or with the classic rule of a repaint per new second, this would wait
        // for the next change of the minute or never come.
        const bool sameFace = jumpMs % (24 * 3600 * 1000) == 0;
        QTRY_VERIFY(shows(from.addMSecs(jumpMs)) && (analogPaints.paints > 0 || sameFace) &&
                    digitalPaints.paints > 0);
        FakeClock::advanceMs(1000);
        QTRY_VERIFY(shows(from.addMSecs(jumpMs + 1000)));
    }

    void analogArcArithmetic_data()
    {
        QTest::addColumn<qint64>("actual");
        QTest::addColumn<qint64>("expected");
        using C = ZelAnalogClock;
        const int none = -100000;
        // End hour, minute, second, time now, seconds left; past midnight or the full hour up to fifteen
        // seconds, an end time counts down before it.
        const int endTimes[][7] = {{10, 30, 0, 10, 29, 45, 15},  {10, 30, 0, 10, 30, 1, none},
                                   {0, 0, 5, 23, 59, 55, 10},    {0, 0, 14, 23, 59, 59, 15},
                                   {0, 0, 15, 23, 59, 59, none}, {24, 30, 0, 13, 45, 0, -900},
                                   {30, 30, 0, 2, 29, 45, 15},   {24, 0, 5, 8, 59, 55, 10}};
        for (const auto &[h, m, s, hour, minute, second, left] : endTimes)
            QTest::addRow("end %d:%d:%d at %d:%d:%d", h, m, s, hour, minute, second)
                << C::endTimeSecondsLeft(h, m, s, hour, minute, second).value_or(none) << qint64(left);
        for (const auto &[seconds, span] : {std::pair(16, 0), {15, 1440}, {1, 96}, {0, 0}})
            QTest::addRow("end-time arc, %d s left", seconds)
                << qint64(C::endTimeArcSpan(seconds)) << qint64(span);
        for (const auto &[time, span] : {std::pair(15.0f, 1440), {2.5f, 240}, {-15.0f, -1440}, {-0.1f, -9}})
            QTest::addRow("count-down arc, %g", time) << qint64(C::countDownArcSpan(time)) << qint64(span);
    }
    void analogArcArithmetic()
    {
        QFETCH(qint64, actual);
        QFETCH(qint64, expected);
        QCOMPARE(actual, expected);
    }

    void analogFace_data()
    {
        QTest::addColumn<Face>("f");
        const auto dots = [](int first, int last, const QColor &colour = white) {
            return ring(94, 6, colour, first * 6, last * 6, 0); // the centres of dots of size 4
        };
        const auto arc = [](double r, double from, double to, const QColor &c = red) {
            return ring(r, 2.5, c, from, to, 1.5);
        };
        const QString up = "SecondDots=true", down = "SecondDots=true; SecondDotsCountDown=true";
        QTest::newRow("dots up at 0") << Face{{10, 7, 0}, up, dots(0, 0)};
        QTest::newRow("dots on 400 x 200") << Face{{10, 7, 59}, down + "; maximumHeight=200", dots(59, 59)};
        QTest::newRow("dots down at 0") << Face{{10, 7, 0}, down, dots(0, 59)};
        QTest::newRow("cyan dots") << Face{{10, 7, 45}, up + "; DotColor=#00ffff", dots(0, 45, Qt::cyan)};
        QTest::newRow("pointers 03:30:00") << Face{{3, 30, 0}, "Hands=true", pointers(105, 180)};
        QTest::newRow("pointers 21:15:30") << Face{{21, 15, 30}, "Hands=true", pointers(637.5, 93)};
        // The end-time mark and, in the last fifteen seconds, its arc on radius 99.
        const QString daily = "EndTime=true; EndTimeHour=10; EndTimeMinute=30";
        const auto mark = [](double angle) { return Spot{angle, 95, 0, red}; };
        QTest::newRow("end time, 10:29:50") << Face{{10, 29, 50}, daily, arc(99, 120, 180) << mark(180)};
        QTest::newRow("end time, 10:30:00") << Face{{10, 30, 0}, daily, arc(99, 180, 180) << mark(180)};
        QTest::newRow("end time, 10:30:01") << Face{{10, 30, 1}, daily, arc(95, qQNaN(), qQNaN())};
        QTest::newRow("hourly, passed at 13:45:00") << Face{
            {13, 45, 0}, daily + "; EndTimeHour=24; EndTimeSecond=30", arc(99, 183, 183) << mark(183)};
        QTest::newRow("day wrap") << Face{
            {23, 59, 55}, "EndTime=true; EndTimeSecond=5", arc(99, -59.5, 0.5) << mark(0.5)};
        // Hour ticks cover radius 86 to 96 at every fifth position, minute ticks of width 2 radius 90 to 96.
        const QVector<Spot> ticks{{0, 87, 0, green},  {30, 95.5, 0, green}, {330, 87, 0, green},
                                  {30, 85, 0, black}, {0, 97.5, 0, black},  {6, 93, 0, white},
                                  {84, 93, 0, white}, {6, 88.5, 0, black},  {3, 93, 0, black}};
        QTest::newRow("ticks") << Face{{0, 0},
                                       "HourLines=true; HourLinesColor=#00ff00; MinuteLines=true; "
                                       "MinuteLinesWidth=2; MinuteLinesColor=#ffffff",
                                       ticks};
        // On radius 96 - (HourLinesLength 8 + CountDownSpacing 5), though the hour ticks are off.
        QTest::newRow("count-down 15.0") << Face{{0, 0}, "CountDownTime=15", arc(83, -90, 0, magenta)};
        QTest::newRow("count-down -5.0") << Face{{0, 0}, "CountDownTime=-5", arc(83, 0, 30, magenta)};
    }
    void analogFace()
    {
        QFETCH(Face, f);
        const auto &[time, properties, spots] = f;
        FakeClock fake;
        // The main window's pointer and dot sizes, in opaque colours, and everything switched off.
        QVERIFY(
            setProperties(face, "maximumHeight=400; HourLines=false; MinuteLines=false; SecondDots=false; "
                                "Hands=false; SecondDotsCountDown=false; EndTime=false; EndTimeHour=0; "
                                "EndTimeMinute=0; EndTimeSecond=0; CountDownTime=0; CountDownSpacing=5; "
                                "DotSize=4; DotColor=#ffffff; HourHandBorder=24; HourHandColor=#ffff00; "
                                "MinuteHandBorder=8; MinuteHandLength=28; MinuteHandColor=#0000ff; " +
                                    properties));
        face.resize(400, 400);
        // Through two earlier minutes: the hour is taken over only with a change of the minute.
        for (int secondsBefore : {122, 61, 0}) {
            FakeClock::set(QDateTime(QDate(2026, 12, 5), time).addSecs(-secondsBefore));
            face.checkTime();
        }
        QCOMPARE(QTime(face.lastHour(), face.lastMinute(), face.lastSecond()), time);
        const QImage image = grabOnBlack(face);
        for (const Spot &s : spots)
            QVERIFY2(nearColor(pixelAt(image, s), s.colour, s.colour == black ? 24 : 80),
                     qPrintable(QString::asprintf("%g deg, radius %g", s.angle, s.radius)));
    }

    // Any int property value paints without undefined arithmetic (the sanitizer build halts on any).
    void analogExtremes()
    {
        FakeClock fake(QDateTime(QDate(2026, 12, 5), QTime(10, 29, 50)));
        for (const int extreme : {INT_MAX, INT_MIN}) {
            for (const bool alternate : {false, true}) {
                ZelAnalogClock clock;
                QVERIFY(
                    setProperties(clock, "HourLines=true; MinuteLines=true; EndTime=true; CountDownTime=5"));
                const QMetaObject *meta = clock.metaObject();
                for (int i = meta->propertyOffset(), n = 0; i < meta->propertyCount(); ++i)
                    if (meta->property(i).userType() == QMetaType::Int)
                        meta->property(i).write(&clock, alternate && n++ % 2 ? ~extreme : extreme);
                clock.checkTime();
                grabOnBlack(clock);
            }
        }
        // The end-time mark as wide and long as can be still ends on the rim, at three o'clock.
        ZelAnalogClock mark;
        mark.resize(400, 200);
        QVERIFY(setProperties(mark, "SecondDots=false; Hands=false; EndTime=true; EndTimeHour=2147483647; "
                                    "EndTimeMinute=15; EndTimeWidth=2147483647; EndTimeLength=2147483647"));
        const QImage image = grabOnBlack(mark);
        for (const Spot &s : {Spot{0, 0, 0, red},
                              {-90, 190, 0, red},
                              {90, 99, 0, red},
                              {90, 101, 0, black},
                              {120, 150, 0, black}})
            QVERIFY2(nearColor(pixelAt(image, s), s.colour, 24),
                     qPrintable(QString::asprintf("%g deg, radius %g", s.angle, s.radius)));
    }

    void digitalLines_data()
    {
        QTest::addColumn<Lines>("lines");
        QTest::newRow("both off") << Lines{100, "TimeDisplay=false; DateDisplay=false", 9, {}, {}};
        QTest::newRow("date only") << Lines{100, "TimeDisplay=false", 9, {}, {0, 0, 300, 50}};
        // Half of 31 is 15: a time font taller than that is cut off below row 14.
        QTest::newRow("height 31") << Lines{31, "DateDisplay=false", 30, {0, 0, 300, 15}, {}};
        const int timeLine = QFontMetrics(QFont("DejaVu Sans", 15)).height();
        QTest::newRow("date one time line down")
            << Lines{100, "", 15, {0, 0, 300, 50}, {0, timeLine, 300, 50}};
    }
    void digitalLines()
    {
        QFETCH(Lines, lines);
        const auto &[height, shown, timeFont, timeRect, dateRect] = lines;
        FakeClock fake(QDateTime(QDate(2026, 12, 5), QTime(10, 20, 30)));
        ZelDigitalClock clock;
        clock.resize(300, height);
        clock.checkTime();
        clock.setTimeDisplayFont(QFont("DejaVu Sans", timeFont));
        clock.setDateDisplayFont(QFont("DejaVu Sans", 8));
        QVERIFY(setProperties(clock, "TimeDisplayFontColor=#ff0000; DateDisplayFontColor=#00ff00; " + shown));
        const QImage image = grabOnBlack(clock);
        for (const auto &[channel, rect] : {std::pair(&QColor::red, timeRect), {&QColor::green, dateRect}}) {
            QRect ink;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if ((image.pixelColor(x, y).*channel)() > 64)
                        ink |= QRect(x, y, 1, 1);
            QVERIFY(rect.isNull()
                        ? ink.isNull()
                        : rect.contains(ink) && (ink.center() - rect.center()).manhattanLength() <= 6);
        }
    }
    void statusLamp_data()
    {
        QTest::addColumn<StatusLamp::State>("state");
        QTest::newRow("off") << StatusLamp::State::Off;
        QTest::newRow("good") << StatusLamp::State::Good;
        QTest::newRow("warning") << StatusLamp::State::Warning;
        QTest::newRow("fault") << StatusLamp::State::Fault;
    }
    void statusLamp()
    {
        QFETCH(StatusLamp::State, state);
        StatusLamp lamp;
        lamp.resize(30, 30);
        lamp.setState(state);
        const QImage image = grabOnBlack(lamp);
        const QColor fill = StatusLamp::colorFor(state);
        QCOMPARE(image.pixelColor(15, 15).rgb(), fill.rgb());
        QCOMPARE(image.pixelColor(15, 1).rgb(), fill.darker(200).rgb()); // the rim
        QCOMPARE(image.pixelColor(1, 1), QColor(Qt::black));             // outside the disc
        // The four states are told apart by colour alone.
        QCOMPARE(QSet<QRgb>({StatusLamp::colorFor(StatusLamp::State::Off).rgb(),
                             StatusLamp::colorFor(StatusLamp::State::Good).rgb(),
                             StatusLamp::colorFor(StatusLamp::State::Warning).rgb(),
                             StatusLamp::colorFor(StatusLamp::State::Fault).rgb()})
                     .size(),
                 4);
        QCOMPARE(paintsCausedBy(lamp, [&] { lamp.setState(state); }), 0);
    }

    // The hands show the whole local time from the first paint on, before any tick, and a second later,
    // in any zone, across a change of daylight saving time and after the clock was set.
    void analogHandsShowTheHour_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<int>("laterS");
        QTest::addColumn<QString>("shown"); // local time at the start, then laterS later
        // The start in UTC, read by the clock in the zone.
        const struct
        {
            const char *name, *zone;
            int month, day, hour, minute, second, laterS;
            const char *shown;
        } rows[] = {{"minute 0", "UTC", 12, 5, 14, 0, 30, 1, "14:00:30 14:00:31"},
                    {"into the hour", "UTC", 12, 5, 13, 59, 59, 1, "13:59:59 14:00:00"},
                    {"midnight", "UTC", 12, 5, 0, 0, 5, 1, "00:00:05 00:00:06"},
                    {"+1", "Europe/Amsterdam", 12, 5, 13, 0, 30, 1, "14:00:30 14:00:31"},
                    {"+11", "Australia/Lord_Howe", 12, 5, 3, 0, 30, 1, "14:00:30 14:00:31"},
                    {"-3:30", "America/St_Johns", 12, 5, 17, 30, 30, 1, "14:00:30 14:00:31"},
                    {"summer time ends", "Europe/Amsterdam", 10, 25, 0, 59, 59, 1, "02:59:59 02:00:00"},
                    {"half an hour on", "Australia/Lord_Howe", 10, 3, 15, 29, 59, 1, "01:59:59 02:30:00"},
                    {"an hour back", "America/St_Johns", 11, 1, 4, 29, 59, 1, "01:59:59 01:00:00"},
                    {"set to minute 0", "UTC", 12, 5, 10, 20, 30, 16800, "10:20:30 15:00:30"}};
        for (const auto &r : rows)
            QTest::newRow(r.name) << QByteArray(r.zone)
                                  << QDateTime(QDate(2026, r.month, r.day), QTime(r.hour, r.minute, r.second),
                                               Qt::UTC)
                                  << r.laterS << QString(r.shown);
    }
    void analogHandsShowTheHour()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDateTime, start);
        QFETCH(int, laterS);
        QFETCH(QString, shown);
        const QByteArray oldZone = qgetenv("TZ");
        const auto restoreZone = qScopeGuard([&] {
            oldZone.isNull() ? qunsetenv("TZ") : qputenv("TZ", oldZone);
            tzset();
        });
        qputenv("TZ", zone);
        tzset();
        FakeClock fake(start.toLocalTime());
        ZelAnalogClock clock;
        // The hands are painted from these: hour + minute / 60 and minute + second / 60.
        const auto hands = [&] {
            return QTime(clock.lastHour(), clock.lastMinute(), clock.lastSecond()).toString("hh:mm:ss");
        };
        const QString first = hands();
        FakeClock::advanceMs(laterS * 1000LL);
        clock.checkTime();
        QCOMPARE(first + ' ' + hands(), shown);
    }
};

QTEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
