// The display widgets: repaint rules, the meter's scale, pixels and peak marks, the clocks' ticker, steps,
// faces and texts, and the status lamp. The meter's pixel rules run again at a device pixel ratio of 1.5.

#include "fakeclock.h"
#include "localclock.h"
#include "statuslamp.h"
#include "walltick.h"
#include "zelanalogclock.h"
#include "zeldigitalclock.h"
#include "zelppmmeter.h"

#include <QtTest>

#include <QtWidgets>

#include <cmath>
#include <time.h>

namespace {

// Day and month names in one language whatever the machine's locale; set before the application starts.
[[maybe_unused]] const bool cLocale = qputenv("LC_ALL", "C");

struct PaintCounter : QObject
{
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

template <typename Action> int paintsCausedBy(QWidget &widget, Action action)
{
    const auto settle = [] {
        for (int round = 0; round < 3; ++round)
            QCoreApplication::processEvents();
    };
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

bool setProperties(QObject &object, const QString &assignments)
{
    bool allSet = true;
    for (const QString &assignment : assignments.split("; ", Qt::SkipEmptyParts))
        allSet &= object.setProperty(qPrintable(assignment.section('=', 0, 0)), assignment.section('=', 1));
    return allSet;
}

QImage grabOnBlack(QWidget &widget)
{
    widget.setPalette(QPalette(Qt::black, Qt::black));
    return widget.grab().toImage().convertToFormat(QImage::Format_ARGB32);
}

// Recorded from the widgets as shipped, when their pictures were checked point by point.
QByteArray hashOf(const QImage &image)
{
    const QByteArray bytes(reinterpret_cast<const char *>(image.constBits()), int(image.sizeInBytes()));
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex().left(16);
}

// The main window shows the gradient bar on the gradient background; a meter as made has the solid bar.
const QString Gradients = "GradientForground=true", Solid = "GradientBackground=false",
              Bar = "GradientForground=true; GradientBackground=false",
              Translucent = "; MaxColor=#96ff0000; MinColor=#6400ff00";

using Scale = std::tuple<bool, double, double, double, double, int, int>;
using Picture = std::tuple<QRect, QString, bool, const char *>;
using Marks = std::tuple<QSize, QString, const char *>;
using Lines = std::tuple<int, QString, int, QRect, QRect>;
using Face = std::tuple<QTime, QString, const char *>;
using Zone = std::tuple<const char *, QDateTime, int, QString>;

} // namespace

Q_DECLARE_METATYPE(Scale)
Q_DECLARE_METATYPE(Picture)
Q_DECLARE_METATYPE(Marks)
Q_DECLARE_METATYPE(Lines)
Q_DECLARE_METATYPE(Face)
Q_DECLARE_METATYPE(Zone)

class TestWidgets : public QObject
{
    Q_OBJECT

    ZelAnalogClock dial; // one for all faces, so that nothing drawn for an earlier one may linger

private slots:
    // A clock repaints when a new second begins and only then; writing a property the value it has
    // repaints nothing, the meter's level and colours excepted.
    void repaints()
    {
        FakeClock fake(QDateTime(QDate(2026, 12, 5), QTime(14, 0, 0, 40)));
        ZelPPMMeter meter;
        ZelAnalogClock analog;
        ZelDigitalClock digital;
        const auto paintsForTicks = [&](int ticks) {
            QVector<int> paints{0, 0};
            for (int tick = 0; tick < ticks; ++tick, FakeClock::advanceMs(95)) {
                paints[0] += paintsCausedBy(analog, [&] { analog.checkTime(); });
                paints[1] += paintsCausedBy(digital, [&] { digital.checkTime(); });
            }
            return paints;
        };
        QCOMPARE(paintsForTicks(10), QVector<int>({0, 0})); // started in this second
        QCOMPARE(paintsForTicks(10), QVector<int>({1, 1}));
        // As made the face shows its minute hand only, in grey; the rest is black or off, the end time too,
        // which would show before midnight.
        FakeClock::set(QDateTime(QDate(2026, 12, 5), QTime(23, 59, 50)));
        analog.checkTime();
        QCOMPARE(hashOf(grabOnBlack(analog)), QByteArray("bb90973ba3f2d20a"));

        QVERIFY(meter.testAttribute(Qt::WA_OpaquePaintEvent));
        const QByteArrayList anyway{"dBPosition", "MaxColor", "MinColor", "MaxBackgroundColor",
                                    "MinBackgroundColor"};
        for (QWidget *widget : std::initializer_list<QWidget *>{&meter, &analog, &digital}) {
            const QMetaObject *meta = widget->metaObject();
            for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
                const QMetaProperty p = meta->property(i);
                QVERIFY2(paintsCausedBy(*widget, [&] { p.write(widget, p.read(widget)); }) ==
                             (widget == &meter && anyway.contains(p.name())),
                         p.name());
            }
        }
    }

    void meterScale_data()
    {
        // Fourth-root scale, bottom and top end, level, clamped level, barLength, zeroLength.
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
        QVERIFY(!meter.calcPosition()); // a meter as made stands at the floor
        meter.setRawdBPosition(-20);
        meter.calcPosition();
        meter.setDINCurve(dinCurve);
        meter.setMindBPosition(minimum);
        meter.setMaxdBPosition(maximum);
        meter.setdBPosition(level);
        QCOMPARE(meter.calcPosition(), barLength != 70);
        QVERIFY(!meter.calcPosition());
        QCOMPARE(meter.dBPosition(), clamped);
        QCOMPARE(meter.barLength(), barLength);
        QCOMPARE(meter.zeroLength(), zeroLength);
    }

    // Every bar length looks as recorded; gradient colours depend on where in the window a meter sits, so
    // each is painted in its place. The release repaints only what a move changed: on screen that must
    // equal a whole repaint, also at other device pixel ratios (CMakeLists.txt runs this at 1.5).
    void meterPictures_data()
    {
        QTest::addColumn<Picture>("picture"); // where, properties, released, hash of every length
        const QRect progLeft(54, 73, 12, 415), crmLeft(844, 199, 8, 291);
        const QRect progLeftHd(142, 135, 22, 772), crmLeftHd(1613, 370, 14, 541); // at 1920 x 1080
        QTest::newRow("12x415 at the origin")
            << Picture{{0, 0, 12, 415}, Gradients, false, "3b8a67ce8bdec16e"};
        QTest::newRow("12x415 gradients") << Picture{progLeft, Gradients, true, "1b5c03df26e41c4d"};
        QTest::newRow("12x415 solid") << Picture{progLeft, Solid, true, "2e42d1f065020676"};
        QTest::newRow("12x415 as made") << Picture{progLeft, "", false, "2fb931ad0e5b7c06"};
        // The background shows through a translucent bar, and the overlap of the bar's parts twice.
        QTest::newRow("12x415 solid, translucent")
            << Picture{progLeft, Solid + Translucent, false, "c55e667ec91d8809"};
        QTest::newRow("8x291 gradients") << Picture{crmLeft, Gradients, false, "ae64aa9c1f74ecf9"};
        QTest::newRow("8x291 gradients, translucent")
            << Picture{crmLeft, Gradients + Translucent, true, "20366abe7a1551de"};
        QTest::newRow("8x290 solid, translucent")
            << Picture{{0, 0, 8, 290}, Solid + Translucent, true, "c2174be17f9caa7a"};
        QTest::newRow("22x772 gradients") << Picture{progLeftHd, Gradients, true, "8b081f18f0cc70d7"};
        QTest::newRow("14x541 gradients") << Picture{crmLeftHd, Gradients, false, "400bb1e437a2b424"};
        QTest::newRow("14x541 gradient bar") << Picture{crmLeftHd, Bar, true, "23d3fbbe37ebcafb"};
    }
    void meterPictures()
    {
        QFETCH(Picture, picture);
        const auto &[place, properties, released, hash] = picture;
        ZelPPMMeter meter;
        meter.resize(place.size());
        QVERIFY(setProperties(meter, properties));
        if (qApp->devicePixelRatio() == 1) { // as recorded
            QImage window(place.right() + 1, place.bottom() + 1, QImage::Format_ARGB32_Premultiplied);
            QCryptographicHash pictures(QCryptographicHash::Sha1);
            int lengths = 0;
            // Steps far finer than a pixel, so that every length from empty to full is painted once.
            for (int step = 0; step <= 20000; ++step) {
                meter.setRawdBPosition(-50.0 + 55.0 * step / 20000);
                if (!meter.calcPosition() && step > 0)
                    continue;
                QPainter(&window).fillRect(place, Qt::blue); // a colour no fill of these tests has
                meter.render(&window, place.topLeft());
                const QImage image = window.copy(place);
                pictures.addData(reinterpret_cast<const char *>(image.constBits()), int(image.sizeInBytes()));
                ++lengths;
            }
            QCOMPARE(lengths, place.height() + 1);
            QCOMPARE(pictures.result().toHex().left(16), QByteArray(hash));
        }
        if (!released)
            return;
        meter.show();
        QVERIFY(QTest::qWaitForWindowExposed(&meter));
        QCoreApplication::processEvents();
        // Programme-like: rises to random peaks, falls in steps, now and then drops to the floor.
        QRandomGenerator random(15);
        double level = -50;
        for (int step = 0; step < 400; ++step) {
            const int kind = random.bounded(10);
            level = kind == 0 ? -50 : kind < 3 ? -50 + random.bounded(55.0) : level - random.bounded(2.0);
            meter.setDINCurve(step < 200); // repaints at once; 0 dB moves with the next calcPosition()
            meter.setRawdBPosition(level);
            if (!meter.calcPosition())
                continue;
            meter.updateChangedArea();
            QCoreApplication::processEvents();
            const auto screen = dynamic_cast<const QImage *>(meter.backingStore()->paintDevice());
            QVERIFY(screen);
            const QImage whole = meter.grab().toImage().convertToFormat(screen->format());
            QVERIFY(screen->copy(QRect(QPoint(0, 0), whole.size())) == whole);
            // No soft edges at a fractional device pixel ratio, looked at now and then: each device row one
            // colour, either a bar colour (red + green = 255) or a background colour (red + green = 64),
            // never a blend of the two.
            const bool look =
                qApp->devicePixelRatio() != 1 && !properties.contains(Translucent) && step % 10 == 0;
            for (int y = 0; look && y < whole.height(); ++y) {
                const QRgb *row = reinterpret_cast<const QRgb *>(whole.constScanLine(y));
                const int redGreen = qRed(row[0]) + qGreen(row[0]);
                QVERIFY((qAbs(redGreen - 64) <= 1 || redGreen >= 254) &&
                        std::count(row, row + whole.width(), row[0]) == whole.width());
            }
            level = meter.dBPosition();
        }
    }

    // A peak mark 2 px and an over lamp 4 px high on a 415 px meter, in proportion on taller ones, white
    // unless coloured; switched off, neither is drawn.
    void meterPeakMarks_data()
    {
        QTest::addColumn<Marks>("marks"); // size, colours, hashes with and without the marks
        const QString coloured = "PeakColor=#0000ff; OverColor=#ff00ff";
        QTest::newRow("programme meter, design") << Marks{{12, 415}, "", "8b19ffb434220af8 bf9f9e3bd06fbf85"};
        QTest::newRow("control room meter, design")
            << Marks{{8, 291}, "", "37116101d5232050 cda397990792bd42"};
        QTest::newRow("programme meter, 1920 x 1080")
            << Marks{{22, 772}, coloured, "375fd9bd41388f66 193db23f26089668"};
        QTest::newRow("control room meter, 1920 x 1080")
            << Marks{{14, 541}, coloured, "139e75f1acb46a5f 4356ede0a2efaa93"};
    }
    void meterPeakMarks()
    {
        QFETCH(Marks, marks);
        const auto &[size, colours, hashes] = marks;
        ZelPPMMeter meter;
        meter.resize(size);
        QVERIFY(setProperties(meter, "PeakHold=true; OverIndicator=true; " + colours));
        const auto step = [&](double level) {
            meter.setRawdBPosition(level);
            meter.calcPosition();
            return meter.stepPeakHold(10, 0.133);
        };
        QVERIFY(step(-10));
        const int peak = meter.barLength();
        meter.setRawdBPosition(12); // above the top, then back down before the tick
        QVERIFY(step(-30) && meter.overLit() && meter.markLength() == peak && meter.barLength() < peak);
        const QByteArray lit = hashOf(grabOnBlack(meter));
        meter.setPeakHold(false);
        meter.setOverIndicator(false);
        QVERIFY(!meter.markLength() && !meter.overLit() && !meter.stepPeakHold(10, 0.133));
        QCOMPARE(lit + ' ' + hashOf(grabOnBlack(meter)), QByteArray(hashes));
    }

    // The ticker's and the analog face's arithmetic.
    void arithmetic()
    {
        // The next tick falls 0.3 to 1.3 ms after a 100 ms boundary, however late or early this one came.
        const qint64 second = QDateTime(QDate(2026, 3, 29), QTime(1, 59, 59)).toMSecsSinceEpoch() * 1000;
        const qint64 rows[][2] = {{0, 1},          {299, 1},      {300, 100},  {301, 100},  {1300, 99},
                                  {1301, 99},      {2301, 98},    {50000, 51}, {98299, 3},  {99300, 1},
                                  {100299, 1},     {100300, 100}, {999999, 1}, {37000, 64}, // in ms
                                  {-second - 1, 1}};                                        // before 1970
        for (const auto &[usIntoSecond, delay] : rows)
            QCOMPARE(WallTick::delayMs(second + usIntoSecond), delay);
        // A reading that goes back or jumps further than a late tick is a step of the clock.
        const QDateTime t(QDate(2026, 3, 29), QTime(1, 59, 59, 1));
        const qint64 gaps[][2] = {{100, false},      {0, false},          {1000, false}, {2000, false},
                                  {-1, true},        {2001, true},        {-1000, true}, {3600000, true},
                                  {-86400000, true}, {315569520000, true}};
        for (const auto &[ms, step] : gaps)
            QCOMPARE(WallTick::isStep(t, t.addMSecs(ms)), bool(step));
        QVERIFY(!WallTick::isStep(QDateTime(), t) &&
                !WallTick::isStep(t, QDateTime()));                               // first or no reading
        QVERIFY(WallTick::isStep(t, QDateTime(QDate(2026, 3, 29), QTime(3, 0)))); // daylight saving

        using C = ZelAnalogClock;
        const int none = -100000;
        // End hour, minute, second, time now, seconds left; past midnight or the full hour up to fifteen
        // seconds, an end time counts down before it.
        const int endTimes[][7] = {{10, 30, 0, 10, 29, 45, 15},  {10, 30, 0, 10, 30, 1, none},
                                   {0, 0, 5, 23, 59, 55, 10},    {0, 0, 14, 23, 59, 59, 15},
                                   {0, 0, 15, 23, 59, 59, none}, {24, 30, 0, 13, 45, 0, -900},
                                   {30, 30, 0, 2, 29, 45, 15},   {24, 0, 5, 8, 59, 55, 10}};
        for (const auto &[h, m, s, hour, minute, now, left] : endTimes)
            QCOMPARE(C::endTimeSecondsLeft(h, m, s, hour, minute, now).value_or(none), qint64(left));
        for (const auto &[seconds, span] : {std::pair(16, 0), {15, 1440}, {1, 96}, {0, 0}})
            QCOMPARE(C::endTimeArcSpan(seconds), span);
        for (const auto &[time, span] : {std::pair(15.0f, 1440), {2.5f, 240}, {-15.0f, -1440}, {-0.1f, -9}})
            QCOMPARE(C::countDownArcSpan(time), span);
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
        QVERIFY(!usIntoSecond.isEmpty() && usIntoSecond.size() <= 4);
        // Just after the second began: never before it (the clocks would show the old second), and not
        // half a second late, as a timer that drifted or a poll would be.
        for (const qint64 us : usIntoSecond)
            QVERIFY(us >= WallTick::AfterBoundaryUs && us < 500000);
        // A replaced time source cannot tell when it is set: it is polled from then on.
        {
            FakeClock fake(QDateTime(QDate(2026, 1, 1), QTime(12, 0)));
            QVERIFY(!ticker->isWokenBySystemClock());
            QVERIFY(ticker->remainingMs() <= WallTick::PeriodMs);
        }
        QVERIFY(ticker->isWokenBySystemClock());
    }

    void analogFace_data()
    {
        QTest::addColumn<Face>("face"); // time, properties, hash
        const QString up = "SecondDots=true", down = "SecondDots=true; SecondDotsCountDown=true";
        QTest::newRow("dots up at 0") << Face{{10, 7, 0}, up, "3178ebcdd942fa2c"};
        QTest::newRow("dots on 400 x 200")
            << Face{{10, 7, 59}, down + "; maximumHeight=200", "26ca05b023ac9640"};
        QTest::newRow("dots down at 0") << Face{{10, 7, 0}, down, "11c08ad5d762aafc"};
        QTest::newRow("cyan dots") << Face{{10, 7, 45}, up + "; DotColor=#00ffff", "fa921d0b6bc39610"};
        QTest::newRow("pointers 03:30:00") << Face{{3, 30, 0}, "Hands=true", "f54565aa5f6a4661"};
        QTest::newRow("pointers 21:15:30") << Face{{21, 15, 30}, "Hands=true", "72049995aeb0cfa0"};
        // The end-time mark and, in the last fifteen seconds, its arc on the rim.
        const QString daily = "EndTime=true; EndTimeHour=10; EndTimeMinute=30";
        QTest::newRow("end time, 10:29:50") << Face{{10, 29, 50}, daily, "c087723c0d00258e"};
        QTest::newRow("end time, 10:30:00") << Face{{10, 30, 0}, daily, "ad552d95c988d937"};
        QTest::newRow("end time, 10:30:01") << Face{{10, 30, 1}, daily, "c030dacb91b4c910"};
        QTest::newRow("hourly, passed at 13:45:00")
            << Face{{13, 45, 0}, daily + "; EndTimeHour=24; EndTimeSecond=30", "edcbab371e22340f"};
        QTest::newRow("day wrap") << Face{{23, 59, 55}, "EndTime=true; EndTimeSecond=5", "722a243724c576c9"};
        // As wide and long as can be, the mark still ends on the rim, at three o'clock.
        const QString widest =
            "EndTime=true; EndTimeHour=2147483647; EndTimeMinute=15; EndTimeWidth=2147483647; "
            "EndTimeLength=2147483647; maximumHeight=200";
        QTest::newRow("widest end-time mark") << Face{{10, 29, 50}, widest, "8d794164684a65f8"};
        const QString ticks =
            "HourLines=true; HourLinesColor=#00ff00; MinuteLines=true; MinuteLinesColor=#ffffff";
        QTest::newRow("ticks") << Face{{0, 0}, ticks, "56e3c79cc8c1254a"};
        // Inside the hour ticks' length, though the hour ticks are off.
        QTest::newRow("count-down 15.0") << Face{{0, 0}, "CountDownTime=15", "82aa85113073ec7b"};
        QTest::newRow("count-down -5.0") << Face{{0, 0}, "CountDownTime=-5", "9ce11455c6f72fa0"};
    }
    void analogFace()
    {
        QFETCH(Face, face);
        const auto &[time, properties, hash] = face;
        FakeClock fake;
        // The main window's pointer and dot sizes, in opaque colours, and everything else as made.
        QVERIFY(
            setProperties(dial, "maximumHeight=400; HourLines=false; MinuteLines=false; SecondDots=false; "
                                "Hands=false; SecondDotsCountDown=false; EndTime=false; EndTimeHour=0; "
                                "EndTimeMinute=0; EndTimeSecond=0; EndTimeWidth=2; EndTimeLength=8; "
                                "CountDownTime=0; CountDownSpacing=5; DotSize=4; DotColor=#ffffff; "
                                "HourHandBorder=24; HourHandColor=#ffff00; MinuteHandBorder=8; "
                                "MinuteHandLength=28; MinuteHandColor=#0000ff; " +
                                    properties));
        dial.resize(400, 400);
        // Through two earlier minutes: the hour is taken over only with a change of the minute.
        for (int secondsBefore : {122, 61, 0}) {
            FakeClock::set(QDateTime(QDate(2026, 12, 5), time).addSecs(-secondsBefore));
            dial.checkTime();
        }
        QCOMPARE(QTime(dial.lastHour(), dial.lastMinute(), dial.lastSecond()), time);
        QCOMPARE(hashOf(grabOnBlack(dial)), QByteArray(hash));
    }

    // Any int property value paints without undefined arithmetic (the sanitizer build halts on any).
    void analogExtremes()
    {
        FakeClock fake(QDateTime(QDate(2026, 12, 5), QTime(10, 29, 50)));
        for (const auto &[extreme, alternate] :
             {std::pair(INT_MAX, false), {INT_MAX, true}, {INT_MIN, false}, {INT_MIN, true}}) {
            ZelAnalogClock clock;
            QVERIFY(setProperties(clock, "HourLines=true; MinuteLines=true; EndTime=true; CountDownTime=5"));
            const QMetaObject *meta = clock.metaObject();
            for (int i = meta->propertyOffset(), n = 0; i < meta->propertyCount(); ++i)
                if (meta->property(i).userType() == QMetaType::Int)
                    meta->property(i).write(&clock, alternate && n++ % 2 ? ~extreme : extreme);
            clock.checkTime();
            grabOnBlack(clock);
        }
    }

    void digitalLines_data()
    {
        // Height, shown lines, time font point size, then where the time (red) and the date (green) may
        // show; a null rectangle: nowhere.
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

    // A new state repaints, the same one does not; the disc has a darker rim.
    void statusLamp()
    {
        StatusLamp lamp;
        lamp.resize(30, 30);
        for (const auto state : {StatusLamp::State::Good, StatusLamp::State::Warning,
                                 StatusLamp::State::Fault, StatusLamp::State::Off}) {
            QCOMPARE(paintsCausedBy(lamp, [&] { lamp.setState(state); }), 1);
            QCOMPARE(paintsCausedBy(lamp, [&] { lamp.setState(state); }), 0);
        }
        const QImage image = grabOnBlack(lamp);
        QCOMPARE(image.pixelColor(15, 1).rgb(), QColor(128, 128, 128).darker(200).rgb());
        QCOMPARE(image.pixelColor(1, 1), QColor(Qt::black)); // outside the disc
    }

    // The hands show the whole local time from the first reading on, before any tick. Set while both
    // clocks run on their own ticker, they show the new time at the next tick, whatever the step, in any
    // zone and across a change of daylight saving time, and go on from there.
    void clocksShowTheTime_data()
    {
        // The start in UTC, read by the clock in the zone; the local time then and stepS later.
        QTest::addColumn<Zone>("zone");
        const auto utc = [](int month, int day, const QTime &time) {
            return QDateTime(QDate(2026, month, day), time, Qt::UTC);
        };
        QTest::newRow("minute 0") << Zone{"UTC", utc(12, 5, {14, 0, 30}), 1, "14:00:30 14:00:31"};
        QTest::newRow("into the hour") << Zone{"UTC", utc(12, 5, {13, 59, 59}), 1, "13:59:59 14:00:00"};
        QTest::newRow("midnight") << Zone{"UTC", utc(12, 5, {0, 0, 5}), 1, "00:00:05 00:00:06"};
        QTest::newRow("+1") << Zone{"Europe/Amsterdam", utc(12, 5, {13, 0, 30}), 1, "14:00:30 14:00:31"};
        QTest::newRow("+11") << Zone{"Australia/Lord_Howe", utc(12, 5, {3, 0, 30}), 1, "14:00:30 14:00:31"};
        QTest::newRow("-3:30") << Zone{"America/St_Johns", utc(12, 5, {17, 30, 30}), 1, "14:00:30 14:00:31"};
        QTest::newRow("summer time ends")
            << Zone{"Europe/Amsterdam", utc(10, 25, {0, 59, 59}), 1, "02:59:59 02:00:00"};
        QTest::newRow("half an hour on")
            << Zone{"Australia/Lord_Howe", utc(10, 3, {15, 29, 59}), 1, "01:59:59 02:30:00"};
        QTest::newRow("an hour back")
            << Zone{"America/St_Johns", utc(11, 1, {4, 29, 59}), 1, "01:59:59 01:00:00"};
        QTest::newRow("set to minute 0") << Zone{"UTC", utc(12, 5, {10, 20, 30}), 16800, "10:20:30 15:00:30"};
        // Whole days and back over midnight included; 6 weeks forward crosses the end of summer time.
        for (const auto &[s, shown] : {std::pair(-1, "02:59:57"),
                                       {60, "03:00:58"},
                                       {-60, "02:58:58"},
                                       {3600, "03:59:58"},
                                       {-3600, "01:59:58"},
                                       {86400, "02:59:58"},
                                       {-86400, "02:59:58"},
                                       {-10800, "23:59:58"},
                                       {3628800, "01:59:58"}})
            QTest::addRow("%+d s", s)
                << Zone{"America/New_York", utc(10, 25, {6, 59, 58, 1}), s, QString("02:59:58 ") + shown};
    }
    void clocksShowTheTime()
    {
        QFETCH(Zone, zone);
        const auto &[name, start, stepS, shown] = zone;
        const auto restoreZone = qScopeGuard([old = qgetenv("TZ")] {
            old.isNull() ? qunsetenv("TZ") : qputenv("TZ", old);
            tzset();
        });
        qputenv("TZ", name);
        tzset();
        FakeClock fake(start.toLocalTime());
        ZelAnalogClock analog;
        ZelDigitalClock digital;
        // The hands are painted from these: hour + minute / 60 and minute + second / 60.
        const auto hands = [&] {
            return QTime(analog.lastHour(), analog.lastMinute(), analog.lastSecond()).toString("hh:mm:ss");
        };
        const QString first = hands();
        const auto shows = [&] {
            const QDateTime now = FakeClock::now();
            return hands() == now.toString("hh:mm:ss") && digital.timeText() == now.toString("hh:mm:ss") &&
                   digital.dateText() == now.toString("ddd d MMM yyyy");
        };
        for (QWidget *clock : std::initializer_list<QWidget *>{&analog, &digital}) {
            clock->show();
            QVERIFY(QTest::qWaitForWindowExposed(clock));
        }
        QTRY_VERIFY(shows());
        PaintCounter analogPaints, digitalPaints;
        analog.installEventFilter(&analogPaints);
        digital.installEventFilter(&digitalPaints);
        FakeClock::advanceMs(stepS * 1000LL);
        QVERIFY(WallTick::shared()->remainingMs() <= WallTick::PeriodMs);
        // Without the ticker, or with the classic rule of a repaint per new second, this would wait
        // for the next change of the minute or never come.
        QTRY_VERIFY(shows() && (analogPaints.paints > 0 || stepS % 86400 == 0) && digitalPaints.paints > 0);
        QCOMPARE(first + ' ' + hands(), shown);
        FakeClock::advanceMs(1000);
        QTRY_VERIFY(shows());
    }
};

QTEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
