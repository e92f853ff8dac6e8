#include "fakeclock.h"
#include "widgettesthelpers.h"
#include "zelanalogclock.h"

#include <QMetaMethod>
#include <QPainter>
#include <QtMath>
#include <QtTest>

#include <cmath>
#include <optional>

namespace {

const QDate someDay(2026, 12, 5);
// A 400 x 400 clock maps the 200-unit dial at scale 2 around (200, 200).
const QSize faceSize(400, 400);
constexpr double faceScale = 2.0;

// The main window's start-up configuration of its clock.
void applyStartupProperties(ZelAnalogClock &clock)
{
    clock.setGeometry(348, 85, 410, 410);
    clock.setHourLines(true);
    clock.setHourLinesColor(QColor(0, 255, 0, 255));
    clock.setMinuteLines(true);
    clock.setMinuteLinesLength(4);
    clock.setMinuteLinesColor(QColor(0, 170, 0, 255));
    clock.setSecondDots(true);
    clock.setSecondDotsCountDown(false);
    clock.setDotSize(4);
    clock.setDotColor(QColor(255, 255, 255, 255));
    clock.setHands(true);
    clock.setHourHandColor(QColor(255, 0, 0, 128));
    clock.setHourHandBorder(24);
    clock.setHourHandLength(12);
    clock.setHourHandWidth(12);
    clock.setMinuteHandColor(QColor(0, 0, 255, 128));
    clock.setMinuteHandBorder(8);
    clock.setMinuteHandLength(28);
    clock.setMinuteHandWidth(8);
}

// A start-up clock of face size on black, so that every drawn element stands out.
void prepareFace(ZelAnalogClock &clock)
{
    applyStartupProperties(clock);
    clock.resize(faceSize);
    QPalette palette = clock.palette();
    palette.setColor(QPalette::Window, Qt::black);
    clock.setPalette(palette);
    clock.setAutoFillBackground(true);
}

// Brings the face to the given time through the timer slot, passing through earlier times first
// because the hour is taken over only together with a minute change.
bool showTime(ZelAnalogClock &clock, const QTime &time)
{
    for (int secondsBefore : {122, 61, 0}) {
        FakeClock::set(QDateTime(someDay, time).addSecs(-secondsBefore));
        clock.checkTime();
    }
    return clock.lastHour() == time.hour() && clock.lastMinute() == time.minute() &&
           clock.lastSecond() == time.second();
}

// The pixel at a clock angle (degrees clockwise from twelve) and a radius in dial units.
QColor facePixel(const QImage &image, double clockAngle, double radius)
{
    const double angle = qDegreesToRadians(clockAngle);
    const double x = image.width() / 2 + faceScale * radius * std::sin(angle);
    const double y = image.height() / 2 - faceScale * radius * std::cos(angle);
    return image.pixelColor(int(std::floor(x)), int(std::floor(y)));
}

bool isBlank(const QColor &c)
{
    return c.red() < 24 && c.green() < 24 && c.blue() < 24;
}
bool isDot(const QColor &c)
{
    return c.red() > 200 && c.green() > 200 && c.blue() > 200;
}
// The half-transparent red hour pointer on black.
bool isHourHand(const QColor &c)
{
    return c.red() > 96 && c.red() < 160 && c.green() < 24 && c.blue() < 24;
}
// The half-transparent blue minute pointer on black.
bool isMinuteHand(const QColor &c)
{
    return c.blue() > 64 && c.red() < 24 && c.green() < 24;
}
bool isEndTimeRed(const QColor &c)
{
    return c.red() > 200 && c.green() < 64 && c.blue() < 64;
}
bool isCountDownMagenta(const QColor &c)
{
    return c.red() > 200 && c.blue() > 200 && c.green() < 64;
}

// The second dots drawn straight onto black, ellipse by ellipse, after the ticks' full turn.
QImage directlyDrawnDots(const QSize &size, int dotSize, const QColor &color, int second, bool countDown)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(size.width() / 2, size.height() / 2);
    const double scale = qMin(size.width(), size.height()) / 200.0;
    painter.scale(scale, scale);
    for (int i = 0; i < 60; ++i)
        painter.rotate(6.0);
    painter.setPen(color);
    painter.setBrush(QBrush(color));
    const int offset = int(dotSize * 0.5 + 0.5);
    for (int i = 0; i < 60; ++i) {
        if (countDown ? i >= second : i <= second)
            painter.drawEllipse(QRect(-offset, dotSize - 100, dotSize, dotSize));
        painter.rotate(6.0);
    }
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

int largestChannelDifference(const QImage &a, const QImage &b)
{
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            largest = qMax(largest, qMax(qAbs(qRed(p) - qRed(q)),
                                         qMax(qAbs(qGreen(p) - qGreen(q)), qAbs(qBlue(p) - qBlue(q)))));
        }
    }
    return largest;
}

QString describe(const QColor &c)
{
    return QString("(%1, %2, %3)").arg(c.red()).arg(c.green()).arg(c.blue());
}

} // namespace

class TestZelAnalogClock : public QObject
{
    Q_OBJECT

private slots:
    void propertyTable_data();
    void propertyTable();
    void metaObject();
    void accessorsReachTheirProperties();
    void construction();
    void writesRepaintOnlyOnChange_data();
    void writesRepaintOnlyOnChange();

    void oneRepaintForTenTicks();
    void firstTickInSecondZero();
    void hourFollowsOnlyWithMinute();

    void endTimeArithmetic_data();
    void endTimeArithmetic();
    void countDownArcSpan_data();
    void countDownArcSpan();

    void secondDots_data();
    void secondDots();
    void dotsMatchDirectDrawing();
    void dotsFollowThePlaceInTheWindow();
    void dialFillsLargestSquare();
    void ticks();
    void pointerTips_data();
    void pointerTips();
    void endTimeFace_data();
    void endTimeFace();
    void countDownFace_data();
    void countDownFace();
};

void TestZelAnalogClock::propertyTable_data()
{
    addPropertyTableColumns();
    addPropertyRow(0, "HourLines", "bool", QVariant(false));
    addPropertyRow(1, "HourLinesLength", "int", QVariant(8));
    addPropertyRow(2, "HourLinesWidth", "int", QVariant(2));
    addPropertyRow(3, "HourLinesColor", "QColor", QVariant(QColor(0, 0, 0, 255)));
    addPropertyRow(4, "MinuteLines", "bool", QVariant(false));
    addPropertyRow(5, "MinuteLinesLength", "int", QVariant(4));
    addPropertyRow(6, "MinuteLinesWidth", "int", QVariant(1));
    addPropertyRow(7, "MinuteLinesColor", "QColor", QVariant(QColor(61, 61, 61, 191)));
    addPropertyRow(8, "SecondDots", "bool", QVariant(true));
    addPropertyRow(9, "SecondDotsCountDown", "bool", QVariant(false));
    addPropertyRow(10, "DotSize", "int", QVariant(1));
    addPropertyRow(11, "DotColor", "QColor", QVariant(QColor(0, 0, 0, 255)));
    addPropertyRow(12, "Hands", "bool", QVariant(true));
    addPropertyRow(13, "HourHandColor", "QColor", QVariant(QColor(0, 0, 0, 255)));
    addPropertyRow(14, "HourHandBorder", "int", QVariant(12));
    addPropertyRow(15, "HourHandLength", "int", QVariant(12));
    addPropertyRow(16, "HourHandWidth", "int", QVariant(12));
    addPropertyRow(17, "MinuteHandColor", "QColor", QVariant(QColor(61, 61, 61, 191)));
    addPropertyRow(18, "MinuteHandBorder", "int", QVariant(4));
    addPropertyRow(19, "MinuteHandLength", "int", QVariant(8));
    addPropertyRow(20, "MinuteHandWidth", "int", QVariant(8));
    addPropertyRow(21, "EndTime", "bool", QVariant(false));
    addPropertyRow(22, "EndTimeLength", "int", QVariant(8));
    addPropertyRow(23, "EndTimeWidth", "int", QVariant(2));
    addPropertyRow(24, "EndTimeHour", "int", QVariant(0));
    addPropertyRow(25, "EndTimeMinute", "int", QVariant(0));
    addPropertyRow(26, "EndTimeSecond", "int", QVariant(0));
    addPropertyRow(27, "EndTimeColor", "QColor", QVariant(QColor(255, 0, 0, 255)));
    addPropertyRow(28, "CountDownTime", "float", QVariant(0.0f));
    addPropertyRow(29, "CountDownWidth", "int", QVariant(2));
    addPropertyRow(30, "CountDownSpacing", "int", QVariant(1));
    addPropertyRow(31, "CountDownColor", "QColor", QVariant(QColor(255, 0, 255, 255)));
}

void TestZelAnalogClock::propertyTable()
{
    ZelAnalogClock clock;
    CHECK_PROPERTY_ROW(clock);
}

void TestZelAnalogClock::metaObject()
{
    ZelAnalogClock clock;
    const QMetaObject *meta = clock.metaObject();
    QCOMPARE(meta->className(), "ZelAnalogClock");
    QCOMPARE(meta->propertyCount() - meta->propertyOffset(), 32);
    QCOMPARE(meta->methodCount() - meta->methodOffset(), 1);
    const QMetaMethod slot = meta->method(meta->methodOffset());
    QCOMPARE(slot.methodType(), QMetaMethod::Slot);
    QCOMPARE(slot.access(), QMetaMethod::Public);
    QCOMPARE(slot.methodSignature(), QByteArray("checkTime()"));
    QVERIFY(clock.qt_metacast("ZelAnalogClock"));
}

// Each accessor pair reaches the property of its name.
#define ROUND_TRIP(Name, getter, value)                                                                      \
    do {                                                                                                     \
        clock.set##Name(value);                                                                              \
        QCOMPARE(clock.getter(), value);                                                                     \
        QCOMPARE(clock.property(#Name), QVariant(value));                                                    \
    } while (false)

void TestZelAnalogClock::accessorsReachTheirProperties()
{
    ZelAnalogClock clock;
    ROUND_TRIP(HourLines, hourLines, bool(true));
    ROUND_TRIP(HourLinesLength, hourLinesLength, int(10));
    ROUND_TRIP(HourLinesWidth, hourLinesWidth, int(3));
    ROUND_TRIP(HourLinesColor, hourLinesColor, QColor(1, 2, 3, 4));
    ROUND_TRIP(MinuteLines, minuteLines, bool(true));
    ROUND_TRIP(MinuteLinesLength, minuteLinesLength, int(5));
    ROUND_TRIP(MinuteLinesWidth, minuteLinesWidth, int(2));
    ROUND_TRIP(MinuteLinesColor, minuteLinesColor, QColor(5, 6, 7, 8));
    ROUND_TRIP(SecondDots, secondDots, bool(false));
    ROUND_TRIP(SecondDotsCountDown, secondDotsCountDown, bool(true));
    ROUND_TRIP(DotSize, dotSize, int(3));
    ROUND_TRIP(DotColor, dotColor, QColor(9, 10, 11, 12));
    ROUND_TRIP(Hands, hands, bool(false));
    ROUND_TRIP(HourHandColor, hourHandColor, QColor(13, 14, 15, 16));
    ROUND_TRIP(HourHandBorder, hourHandBorder, int(13));
    ROUND_TRIP(HourHandLength, hourHandLength, int(14));
    ROUND_TRIP(HourHandWidth, hourHandWidth, int(15));
    ROUND_TRIP(MinuteHandColor, minuteHandColor, QColor(17, 18, 19, 20));
    ROUND_TRIP(MinuteHandBorder, minuteHandBorder, int(16));
    ROUND_TRIP(MinuteHandLength, minuteHandLength, int(17));
    ROUND_TRIP(MinuteHandWidth, minuteHandWidth, int(18));
    ROUND_TRIP(EndTime, endTime, bool(true));
    ROUND_TRIP(EndTimeLength, endTimeLength, int(19));
    ROUND_TRIP(EndTimeWidth, endTimeWidth, int(20));
    ROUND_TRIP(EndTimeHour, endTimeHour, int(21));
    ROUND_TRIP(EndTimeMinute, endTimeMinute, int(22));
    ROUND_TRIP(EndTimeSecond, endTimeSecond, int(23));
    ROUND_TRIP(EndTimeColor, endTimeColor, QColor(21, 22, 23, 24));
    ROUND_TRIP(CountDownTime, countDownTime, float(2.5f));
    ROUND_TRIP(CountDownWidth, countDownWidth, int(24));
    ROUND_TRIP(CountDownSpacing, countDownSpacing, int(25));
    ROUND_TRIP(CountDownColor, countDownColor, QColor(25, 26, 27, 28));
}

void TestZelAnalogClock::construction()
{
    FakeClock fake(QDateTime(someDay, QTime(9, 41, 7)));
    ZelAnalogClock clock;
    QCOMPARE(clock.size(), QSize(200, 200));
    QCOMPARE(clock.windowTitle(), QString("Analog Clock"));
    // Until the first tick the face shows 00:00:00.
    QCOMPARE(clock.lastHour(), 0);
    QCOMPARE(clock.lastMinute(), 0);
    QCOMPARE(clock.lastSecond(), 0);
    // The clock's own timer delivers the ticks.
    QTRY_COMPARE_WITH_TIMEOUT(clock.lastSecond(), 7, 2000);
    QCOMPARE(clock.lastMinute(), 41);
    QCOMPARE(clock.lastHour(), 9);
}

void TestZelAnalogClock::writesRepaintOnlyOnChange_data()
{
    QTest::addColumn<QString>("property");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("repaints");

    QTest::newRow("DotSize unchanged") << "DotSize" << QVariant(1) << false;
    QTest::newRow("DotSize changed") << "DotSize" << QVariant(2) << true;
    QTest::newRow("HourHandColor unchanged") << "HourHandColor" << QVariant(QColor(0, 0, 0, 255)) << false;
    QTest::newRow("HourHandColor changed") << "HourHandColor" << QVariant(QColor(0, 0, 1, 255)) << true;
    QTest::newRow("Hands unchanged") << "Hands" << QVariant(true) << false;
    QTest::newRow("CountDownTime unchanged") << "CountDownTime" << QVariant(0.0f) << false;
    QTest::newRow("CountDownTime changed") << "CountDownTime" << QVariant(0.5f) << true;
    // No range check: an hour of 30 is stored as it comes.
    QTest::newRow("EndTimeHour 30") << "EndTimeHour" << QVariant(30) << true;
}

void TestZelAnalogClock::writesRepaintOnlyOnChange()
{
    QFETCH(QString, property);
    QFETCH(QVariant, value);
    QFETCH(bool, repaints);

    FakeClock fake;
    ZelAnalogClock clock;
    PaintCounter paints(&clock);
    QVERIFY(showAndSettle(clock));
    paints.reset();

    QVERIFY(clock.setProperty(property.toLatin1().constData(), value));
    flushPaints();
    QCOMPARE(paints.count(), repaints ? 1 : 0);
    QCOMPARE(clock.property(property.toLatin1().constData()), value);
}

void TestZelAnalogClock::oneRepaintForTenTicks()
{
    FakeClock fake(QDateTime(someDay, QTime(10, 0, 4, 950)));
    ZelAnalogClock clock;
    PaintCounter paints(&clock);
    clock.checkTime();
    QVERIFY(showAndSettle(clock));
    paints.reset();

    FakeClock::setTime(QTime(10, 0, 5, 0));
    for (int tick = 0; tick < 10; ++tick) {
        clock.checkTime();
        flushPaints();
        FakeClock::advanceMs(100);
    }
    QCOMPARE(paints.count(), 1);
    QCOMPARE(clock.lastSecond(), 5);

    clock.checkTime(); // 10:00:06.000
    flushPaints();
    QCOMPARE(paints.count(), 2);
}

void TestZelAnalogClock::firstTickInSecondZero()
{
    FakeClock fake(QDateTime(someDay, QTime(8, 15, 0, 300)));
    ZelAnalogClock clock;
    PaintCounter paints(&clock);
    QVERIFY(showAndSettle(clock));
    paints.reset();

    clock.checkTime();
    flushPaints();
    QCOMPARE(paints.count(), 0);
    QCOMPARE(clock.lastMinute(), 0);

    FakeClock::setTime(QTime(8, 15, 1));
    clock.checkTime();
    flushPaints();
    QCOMPARE(paints.count(), 1);
    QCOMPARE(clock.lastMinute(), 15);
    QCOMPARE(clock.lastHour(), 8);
}

void TestZelAnalogClock::hourFollowsOnlyWithMinute()
{
    FakeClock fake(QDateTime(someDay, QTime(14, 0, 20)));
    ZelAnalogClock clock;
    prepareFace(clock);
    clock.setSecondDots(false);
    clock.checkTime();
    QCOMPARE(clock.lastSecond(), 20);
    QCOMPARE(clock.lastMinute(), 0);
    QCOMPARE(clock.lastHour(), 0);

    // The hour pointer still points at twelve: a point inside its base, clear of the minute pointer.
    QImage image = grabImage(clock);
    QVERIFY2(isHourHand(facePixel(image, -4.0, 65.5)), qPrintable(describe(facePixel(image, -4.0, 65.5))));

    FakeClock::setTime(QTime(14, 0, 59));
    clock.checkTime();
    QCOMPARE(clock.lastHour(), 0);

    FakeClock::setTime(QTime(14, 1, 0));
    clock.checkTime();
    QCOMPARE(clock.lastMinute(), 1);
    QCOMPARE(clock.lastHour(), 14);
    image = grabImage(clock);
    const double hourAngle = (14 + 1 / 60.0) * 30.0 - 360.0;
    QVERIFY(isHourHand(facePixel(image, hourAngle, 70)));
    QVERIFY(isBlank(facePixel(image, -4.0, 65.5)));
}

void TestZelAnalogClock::endTimeArithmetic_data()
{
    QTest::addColumn<int>("endHour");
    QTest::addColumn<int>("endMinute");
    QTest::addColumn<int>("endSecond");
    QTest::addColumn<QTime>("now");
    QTest::addColumn<bool>("markDrawn");
    QTest::addColumn<qint64>("secondsLeft");
    QTest::addColumn<int>("arcSpan");

    QTest::newRow("ten seconds before") << 10 << 30 << 0 << QTime(10, 29, 50) << true << qint64(10) << 960;
    QTest::newRow("fifteen seconds before")
        << 10 << 30 << 0 << QTime(10, 29, 45) << true << qint64(15) << 1440;
    QTest::newRow("sixteen seconds before") << 10 << 30 << 0 << QTime(10, 29, 44) << true << qint64(16) << 0;
    QTest::newRow("one second before") << 10 << 30 << 0 << QTime(10, 29, 59) << true << qint64(1) << 96;
    QTest::newRow("at the end time") << 10 << 30 << 0 << QTime(10, 30, 0) << true << qint64(0) << 0;
    QTest::newRow("one second after") << 10 << 30 << 0 << QTime(10, 30, 1) << false << qint64(0) << 0;
    QTest::newRow("hours before") << 10 << 30 << 0 << QTime(7, 0, 0) << true << qint64(12600) << 0;
    QTest::newRow("negative hour") << -1 << 0 << 0 << QTime(0, 0, 0) << false << qint64(0) << 0;

    // Day wrap: an end time up to fifteen seconds past midnight counts down before it.
    QTest::newRow("day wrap, 10 left") << 0 << 0 << 5 << QTime(23, 59, 55) << true << qint64(10) << 960;
    QTest::newRow("day wrap, at the threshold")
        << 0 << 0 << 14 << QTime(23, 59, 59) << true << qint64(15) << 1440;
    QTest::newRow("no day wrap short of it") << 0 << 0 << 15 << QTime(23, 59, 59) << false << qint64(0) << 0;
    QTest::newRow("midnight passed") << 0 << 0 << 5 << QTime(0, 0, 10) << false << qint64(0) << 0;

    // Hourly end times are drawn whatever the sign, with a wrap fifteen seconds short of an hour.
    QTest::newRow("hourly, ten seconds before")
        << 24 << 30 << 0 << QTime(11, 29, 50) << true << qint64(10) << 960;
    QTest::newRow("hourly, passed") << 24 << 30 << 0 << QTime(13, 45, 0) << true << qint64(-900) << 0;
    QTest::newRow("hourly, hour 30") << 30 << 30 << 0 << QTime(2, 29, 45) << true << qint64(15) << 1440;
    QTest::newRow("hourly wrap") << 24 << 0 << 5 << QTime(8, 59, 55) << true << qint64(10) << 960;
    QTest::newRow("hourly, at the wrap threshold")
        << 24 << 0 << 0 << QTime(8, 59, 45) << true << qint64(15) << 1440;
    QTest::newRow("hourly, short of the threshold")
        << 24 << 0 << 0 << QTime(8, 59, 44) << true << qint64(-3584) << 0;
}

void TestZelAnalogClock::endTimeArithmetic()
{
    QFETCH(int, endHour);
    QFETCH(int, endMinute);
    QFETCH(int, endSecond);
    QFETCH(QTime, now);
    QFETCH(bool, markDrawn);
    QFETCH(qint64, secondsLeft);
    QFETCH(int, arcSpan);

    const std::optional<qint64> left = ZelAnalogClock::endTimeSecondsLeft(
        endHour, endMinute, endSecond, now.hour(), now.minute(), now.second());
    QCOMPARE(left.has_value(), markDrawn);
    if (markDrawn) {
        QCOMPARE(*left, secondsLeft);
        QCOMPARE(ZelAnalogClock::endTimeArcSpan(*left), arcSpan);
    }
}

void TestZelAnalogClock::countDownArcSpan_data()
{
    QTest::addColumn<float>("countDownTime");
    QTest::addColumn<int>("span");

    QTest::newRow("quarter") << 15.0f << 1440;
    QTest::newRow("2.5") << 2.5f << 240;
    QTest::newRow("truncated") << 0.1f << 9;
    QTest::newRow("negative runs clockwise") << -15.0f << -1440;
    QTest::newRow("negative truncated towards zero") << -0.1f << -9;
    QTest::newRow("full turn") << 60.0f << 5760;
    QTest::newRow("not a number") << std::nanf("") << 0;
}

void TestZelAnalogClock::countDownArcSpan()
{
    QFETCH(float, countDownTime);
    QFETCH(int, span);
    QCOMPARE(ZelAnalogClock::countDownArcSpan(countDownTime), span);
}

void TestZelAnalogClock::secondDots_data()
{
    QTest::addColumn<int>("second");
    QTest::addColumn<bool>("countDown");
    QTest::addColumn<int>("firstShown");
    QTest::addColumn<int>("lastShown");

    QTest::newRow("up at 0") << 0 << false << 0 << 0;
    QTest::newRow("up at 30") << 30 << false << 0 << 30;
    QTest::newRow("up at 59") << 59 << false << 0 << 59;
    QTest::newRow("down at 0") << 0 << true << 0 << 59;
    QTest::newRow("down at 30") << 30 << true << 30 << 59;
    QTest::newRow("down at 59") << 59 << true << 59 << 59;
}

void TestZelAnalogClock::secondDots()
{
    QFETCH(int, second);
    QFETCH(bool, countDown);
    QFETCH(int, firstShown);
    QFETCH(int, lastShown);

    FakeClock fake;
    ZelAnalogClock clock;
    prepareFace(clock);
    clock.setSecondDotsCountDown(countDown);
    QVERIFY(showTime(clock, QTime(10, 7, second)));

    // The dot of size 4 has its centre at radius 94.
    const QImage image = grabImage(clock);
    for (int dot = 0; dot < 60; ++dot) {
        const bool expected = dot >= firstShown && dot <= lastShown;
        const QColor pixel = facePixel(image, dot * 6.0, 94);
        QVERIFY2(isDot(pixel) == expected, qPrintable(QString("dot %1: %2").arg(dot).arg(describe(pixel))));
    }
}

void TestZelAnalogClock::dotsMatchDirectDrawing()
{
    struct Case
    {
        QSize size;
        int dotSize;
        QColor color;
        int second;
        bool countDown;
    };
    // One clock through all cases: every change of size, dot size or colour must show.
    const Case cases[] = {
        {QSize(400, 400), 4, Qt::white, 59, false},
        {QSize(400, 400), 4, Qt::white, 20, true},
        {QSize(300, 200), 4, Qt::white, 59, false},
        {QSize(763, 763), 4, Qt::white, 59, false},
        {QSize(763, 763), 1, Qt::white, 59, false},
        {QSize(763, 763), 9, Qt::white, 59, false},
        {QSize(763, 763), 9, QColor(255, 128, 0, 160), 59, false},
        {QSize(211, 307), 7, Qt::cyan, 33, false},
        // Dots too big for dot images, and a dot of negative size.
        {QSize(763, 763), 40, Qt::white, 30, false},
        {QSize(400, 400), -4, Qt::white, 30, false},
    };
    FakeClock fake;
    ZelAnalogClock clock;
    prepareFace(clock);
    clock.setHourLines(false);
    clock.setMinuteLines(false);
    clock.setHands(false);
    for (const Case &c : cases) {
        clock.resize(c.size);
        clock.setDotSize(c.dotSize);
        clock.setDotColor(c.color);
        clock.setSecondDotsCountDown(c.countDown);
        QVERIFY(showTime(clock, QTime(10, 7, c.second)));
        const QImage expected = directlyDrawnDots(c.size, c.dotSize, c.color, c.second, c.countDown);
        const QImage actual = grabImage(clock);
        QCOMPARE(actual.size(), expected.size());
        // Only rounding may differ: blending a dot image is not bit for bit blending its pen and fill.
        QVERIFY2(largestChannelDifference(actual, expected) <= 4,
                 qPrintable(QString("%1 x %2, dot size %3: difference %4")
                                .arg(c.size.width())
                                .arg(c.size.height())
                                .arg(c.dotSize)
                                .arg(largestChannelDifference(actual, expected))));
    }
}

void TestZelAnalogClock::dotsFollowThePlaceInTheWindow()
{
    FakeClock fake;
    QWidget window;
    window.resize(500, 500);
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, Qt::black);
    window.setPalette(palette);
    auto *clock = new ZelAnalogClock(&window);
    applyStartupProperties(*clock);
    clock->setHourLines(false);
    clock->setMinuteLines(false);
    clock->setHands(false);
    clock->setGeometry(37, 21, 400, 400);
    QVERIFY(showTime(*clock, QTime(10, 7, 45)));

    const QImage expected = directlyDrawnDots(QSize(400, 400), 4, Qt::white, 45, false);
    // Drawn within the window first, then on its own: both places need their own dot images.
    const QImage inWindow = window.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    QVERIFY(largestChannelDifference(inWindow.copy(37, 21, 400, 400), expected) <= 4);
    QVERIFY(largestChannelDifference(grabImage(*clock), expected) <= 4);
    QVERIFY(largestChannelDifference(
                window.grab().toImage().convertToFormat(QImage::Format_ARGB32).copy(37, 21, 400, 400),
                expected) <= 4);
}

void TestZelAnalogClock::dialFillsLargestSquare()
{
    FakeClock fake;
    ZelAnalogClock clock;
    prepareFace(clock);
    clock.resize(300, 200);
    QVERIFY(showTime(clock, QTime(10, 7, 59)));

    // Centre (150, 100), scale 1: dot centres on radius 94.
    const QImage image = grabImage(clock);
    QVERIFY(isDot(image.pixelColor(150, 100 - 94)));
    QVERIFY(isDot(image.pixelColor(150 + 94, 100)));
    QVERIFY(isDot(image.pixelColor(150, 100 + 94 - 1)));
    QVERIFY(isDot(image.pixelColor(150 - 94 - 1, 100)));
    // Nothing lies outside the centred 200 x 200 square.
    for (int x : {0, 20, 48, 252, 280, 299})
        QVERIFY(isBlank(image.pixelColor(x, 100)));
}

void TestZelAnalogClock::ticks()
{
    FakeClock fake;
    ZelAnalogClock clock;
    prepareFace(clock);
    clock.setSecondDots(false);
    clock.setHands(false);

    const QImage image = grabImage(clock);
    // Hour ticks (width 2, length 8) cover radius 86 to 96 at every fifth position.
    for (int hour = 0; hour < 12; ++hour) {
        const double angle = hour * 30.0;
        QVERIFY(facePixel(image, angle, 87).green() > 200);
        QVERIFY(facePixel(image, angle, 95.5).green() > 200);
        QVERIFY(isBlank(facePixel(image, angle, 84.5)));
        QVERIFY(isBlank(facePixel(image, angle, 97.5)));
    }
    // Minute ticks (width 1, length 4) cover radius 92 to 96, in their own colour.
    for (int minute = 1; minute < 60; minute += (minute % 5 == 4) ? 2 : 1) {
        const QColor tick = facePixel(image, minute * 6.0, 94);
        QVERIFY2(tick.green() > 100 && tick.green() < 200, qPrintable(describe(tick)));
        QVERIFY(isBlank(facePixel(image, minute * 6.0, 90)));
    }
    QVERIFY(isBlank(facePixel(image, 3.0, 94)));
}

void TestZelAnalogClock::pointerTips_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<double>("hourAngle");
    QTest::addColumn<double>("minuteAngle");

    QTest::newRow("03:30:00") << QTime(3, 30, 0) << 105.0 << 180.0;
    QTest::newRow("09:15:30") << QTime(9, 15, 30) << 277.5 << 93.0;
    QTest::newRow("00:45:00") << QTime(0, 45, 0) << 22.5 << 270.0;
    QTest::newRow("14:20:00") << QTime(14, 20, 0) << 70.0 << 120.0;
}

void TestZelAnalogClock::pointerTips()
{
    QFETCH(QTime, time);
    QFETCH(double, hourAngle);
    QFETCH(double, minuteAngle);

    FakeClock fake;
    ZelAnalogClock clock;
    prepareFace(clock);
    clock.setSecondDots(false);
    clock.setHourLines(false);
    clock.setMinuteLines(false);
    QVERIFY(showTime(clock, time));

    const QImage image = grabImage(clock);
    // Hour triangle (6, -64), (-6, -64), (0, -76) before the rotation.
    QVERIFY2(isHourHand(facePixel(image, hourAngle, 74)),
             qPrintable(describe(facePixel(image, hourAngle, 74))));
    QVERIFY(isHourHand(facePixel(image, hourAngle, 65)));
    QVERIFY(isBlank(facePixel(image, hourAngle, 78)));
    QVERIFY(isBlank(facePixel(image, hourAngle, 62)));
    // The base corners lie 6 units either side of the axis at radius 64.
    const double cornerAngle = qRadiansToDegrees(std::atan2(5.0, 64.5));
    QVERIFY(isHourHand(facePixel(image, hourAngle + cornerAngle, 64.7)));
    QVERIFY(isHourHand(facePixel(image, hourAngle - cornerAngle, 64.7)));
    const double besideAngle = qRadiansToDegrees(std::atan2(7.5, 64.5));
    QVERIFY(isBlank(facePixel(image, hourAngle + besideAngle, 64.7)));
    QVERIFY(isBlank(facePixel(image, hourAngle - besideAngle, 64.7)));

    // Minute triangle (4, -64), (-4, -64), (0, -92).
    QVERIFY2(isMinuteHand(facePixel(image, minuteAngle, 86)),
             qPrintable(describe(facePixel(image, minuteAngle, 86))));
    QVERIFY(isMinuteHand(facePixel(image, minuteAngle, 66)));
    QVERIFY(isBlank(facePixel(image, minuteAngle, 94)));
    QVERIFY(isBlank(facePixel(image, minuteAngle, 62)));
}

void TestZelAnalogClock::endTimeFace_data()
{
    QTest::addColumn<int>("endHour");
    QTest::addColumn<int>("endMinute");
    QTest::addColumn<int>("endSecond");
    QTest::addColumn<QTime>("now");
    QTest::addColumn<bool>("markDrawn");
    QTest::addColumn<double>("arcFrom"); // clock angles that the arc covers, clockwise
    QTest::addColumn<double>("arcTo");

    const double none = qQNaN();
    QTest::newRow("10:29:50") << 10 << 30 << 0 << QTime(10, 29, 50) << true << 120.0 << 180.0;
    QTest::newRow("10:30:00") << 10 << 30 << 0 << QTime(10, 30, 0) << true << none << none;
    QTest::newRow("10:30:01") << 10 << 30 << 0 << QTime(10, 30, 1) << false << none << none;
    QTest::newRow("hourly 11:29:44") << 24 << 30 << 0 << QTime(11, 29, 44) << true << none << none;
    QTest::newRow("hourly 11:29:45") << 24 << 30 << 0 << QTime(11, 29, 45) << true << 90.0 << 180.0;
    QTest::newRow("hourly 13:45:00") << 24 << 30 << 0 << QTime(13, 45, 0) << true << none << none;
    QTest::newRow("day wrap 23:59:55") << 0 << 0 << 5 << QTime(23, 59, 55) << true << -59.5 << 0.5;
}

void TestZelAnalogClock::endTimeFace()
{
    QFETCH(int, endHour);
    QFETCH(int, endMinute);
    QFETCH(int, endSecond);
    QFETCH(QTime, now);
    QFETCH(bool, markDrawn);
    QFETCH(double, arcFrom);
    QFETCH(double, arcTo);

    FakeClock fake;
    ZelAnalogClock clock;
    prepareFace(clock);
    clock.setSecondDots(false); // they would cover the inner end of the mark
    clock.setEndTime(true);
    clock.setEndTimeHour(endHour);
    clock.setEndTimeMinute(endMinute);
    clock.setEndTimeSecond(endSecond);
    QVERIFY(showTime(clock, now));

    // Beyond radius 97 nothing but the mark and its arc is drawn.
    const QImage image = grabImage(clock);
    const double markAngle = (endMinute + endSecond / 60.0) * 6.0;
    QCOMPARE(isEndTimeRed(facePixel(image, markAngle, 98.5)), markDrawn);
    QCOMPARE(isEndTimeRed(facePixel(image, markAngle, 93)), markDrawn);
    QVERIFY(!isEndTimeRed(facePixel(image, markAngle, 90)));

    const bool arcDrawn = !qIsNaN(arcFrom);
    for (double angle = markAngle - 180; angle < markAngle + 180; angle += 2.5) {
        const bool onArc = arcDrawn && angle > arcFrom + 1.0 && angle < arcTo - 1.0;
        const bool offArc = !arcDrawn || angle < arcFrom - 1.0 || angle > arcTo + 1.0;
        const QColor pixel = facePixel(image, angle, 99);
        if (onArc)
            QVERIFY2(isEndTimeRed(pixel), qPrintable(QString("%1 deg: %2").arg(angle).arg(describe(pixel))));
        else if (offArc && qAbs(angle - markAngle) > 2.0)
            QVERIFY2(isBlank(pixel), qPrintable(QString("%1 deg: %2").arg(angle).arg(describe(pixel))));
    }
}

void TestZelAnalogClock::countDownFace_data()
{
    QTest::addColumn<float>("countDownTime");
    QTest::addColumn<double>("arcFrom");
    QTest::addColumn<double>("arcTo");

    QTest::newRow("15.0: twelve to nine") << 15.0f << -90.0 << 0.0;
    QTest::newRow("2.5: 15 degrees") << 2.5f << -15.0 << 0.0;
    QTest::newRow("-5.0: clockwise") << -5.0f << 0.0 << 30.0;
    QTest::newRow("0: none") << 0.0f << 0.0 << 0.0;
}

void TestZelAnalogClock::countDownFace()
{
    QFETCH(float, countDownTime);
    QFETCH(double, arcFrom);
    QFETCH(double, arcTo);

    FakeClock fake;
    ZelAnalogClock clock;
    prepareFace(clock);
    clock.setHourLines(false); // the arc's radius still follows the hour tick length
    clock.setCountDownTime(countDownTime);

    // Radius 96 - (HourLinesLength 8 + CountDownSpacing 1) = 87.
    const QImage image = grabImage(clock);
    for (double angle = -178.0; angle < 180.0; angle += 2.5) {
        const QColor pixel = facePixel(image, angle, 87);
        if (angle > arcFrom + 1.0 && angle < arcTo - 1.0)
            QVERIFY2(isCountDownMagenta(pixel),
                     qPrintable(QString("%1 deg: %2").arg(angle).arg(describe(pixel))));
        else if (angle < arcFrom - 1.0 || angle > arcTo + 1.0)
            QVERIFY2(!isCountDownMagenta(pixel),
                     qPrintable(QString("%1 deg: %2").arg(angle).arg(describe(pixel))));
        QVERIFY(!isCountDownMagenta(facePixel(image, angle, 83)));
        QVERIFY(!isCountDownMagenta(facePixel(image, angle, 91)));
    }
}

QTEST_MAIN(TestZelAnalogClock)
#include "test_zelanalogclock.moc"
