// Times the display widgets' paint and scale operations on the raster engine.
// Run on the offscreen platform; prints one "BENCH|figure|value|unit|goal" line per figure.
// Times are this thread's CPU time where the system counts it, so that other programs running on a
// shared machine do not inflate them.

#include "localclock.h"
#include "zelanalogclock.h"
#include "zeldigitalclock.h"
#include "zelppmmeter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTextStream>

#include <algorithm>
#include <functional>
#include <vector>

#ifdef Q_OS_UNIX
#include <time.h>
#endif

namespace {

constexpr int batches = 7;
constexpr qint64 batchNanoseconds = 150'000'000; // long enough to swamp the timer's resolution

QDateTime shownTime;
QDateTime readShownTime()
{
    return shownTime;
}

// Nanoseconds of this thread's CPU time, or of wall time where that is not available.
class CpuTimer
{
public:
    void start() { started = now(); }
    qint64 nsecsElapsed() const { return now() - started; }

private:
    static qint64 now()
    {
#ifdef Q_OS_UNIX
        timespec time{};
        if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &time) == 0)
            return qint64(time.tv_sec) * 1000000000 + time.tv_nsec;
#endif
        static QElapsedTimer wall;
        if (!wall.isValid())
            wall.start();
        return wall.nsecsElapsed();
    }
    qint64 started = 0;
};

// Median over several batches of the time one call of the operation takes, in nanoseconds.
double nanosecondsPerCall(const std::function<void()> &operation)
{
    // Find an iteration count that fills one batch.
    qint64 iterations = 1;
    for (;;) {
        CpuTimer timer;
        timer.start();
        for (qint64 i = 0; i < iterations; ++i)
            operation();
        if (timer.nsecsElapsed() >= batchNanoseconds / 4)
            break;
        iterations *= 4;
    }
    iterations *= 4;

    std::vector<double> perCall;
    for (int batch = 0; batch < batches; ++batch) {
        CpuTimer timer;
        timer.start();
        for (qint64 i = 0; i < iterations; ++i)
            operation();
        perCall.push_back(double(timer.nsecsElapsed()) / double(iterations));
    }
    std::sort(perCall.begin(), perCall.end());
    return perCall[perCall.size() / 2];
}

void report(const QString &figure, double value, const QString &unit, const QString &goal)
{
    QTextStream(stdout) << "BENCH|" << figure << '|' << QString::number(value, 'f', value < 10 ? 2 : 1) << '|'
                        << unit << '|' << goal << Qt::endl;
}

// Paint time of the widget into an image of its size, through its own paintEvent.
double paintMicroseconds(QWidget &widget)
{
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    return nanosecondsPerCall([&] { widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren); }) /
           1000.0;
}

// With marks: the peak mark held above the bar and the over lamp lit, as after a peak above the top.
void benchMeter(const QSize &size, double level, const char *goal, bool marks = false)
{
    ZelPPMMeter meter;
    meter.setGradientForground(true); // as the main window sets up its meters
    meter.resize(size);
    meter.setPeakHold(marks);
    meter.setOverIndicator(marks);
    if (marks) {
        meter.setRawdBPosition(12.0);
        meter.calcPosition();
        meter.stepPeakHold(10, 0.133);
    }
    meter.setRawdBPosition(level);
    meter.calcPosition();
    meter.stepPeakHold(10, 0.133);
    report(QString("meter paint %1x%2%3")
               .arg(size.width())
               .arg(size.height())
               .arg(marks ? ", mark and over" : ""),
           paintMicroseconds(meter), "us", goal);
}

void setStartupProperties(ZelAnalogClock &clock)
{
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

// The face at second 59: all sixty dots lit, the most the face ever draws with these properties.
void benchAnalogClock(int side)
{
    ZelAnalogClock clock;
    setStartupProperties(clock);
    clock.resize(side, side);
    const QDate day(2026, 12, 5);
    for (const QTime &time : {QTime(10, 28, 58), QTime(10, 29, 59)}) {
        shownTime = QDateTime(day, time);
        clock.checkTime();
    }
    report(QString("analog clock paint %1x%1").arg(side), paintMicroseconds(clock), "us", "<= 2000 us");

    // The first paint after a change of size or dot look also draws the sixty dot images.
    QImage image(clock.size(), QImage::Format_ARGB32_Premultiplied);
    bool white = true;
    const double firstPaint = nanosecondsPerCall([&] {
        white = !white;
        clock.setDotColor(white ? QColor(255, 255, 255) : QColor(254, 255, 255));
        clock.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    });
    report(QString("analog clock first paint %1x%1").arg(side), firstPaint / 1000.0, "us", "-");
}

void benchDigitalClock()
{
    ZelDigitalClock clock;
    clock.resize(410, 111);
    QFont widgetFont("Bitstream Vera Sans", 36);
    widgetFont.setWeight(QFont::Bold);
    clock.setFont(widgetFont);
    clock.setTimeDisplayFont(QFont("DejaVu Sans", 40));
    clock.setTimeDisplayFontColor(Qt::white);
    clock.setDateDisplay(true);
    clock.setDateDisplayFont(QFont("DejaVu Sans", 24));
    clock.setDateDisplayFontColor(Qt::white);
    shownTime = QDateTime(QDate(2026, 12, 5), QTime(10, 29, 59));
    clock.checkTime();
    report("digital clock paint 410x111", paintMicroseconds(clock), "us", "<= 2000 us");
}

void benchCalcPosition()
{
    ZelPPMMeter meter;
    meter.resize(22, 772);
    // A level that moves every call, as the release step's does, so no call repeats the last.
    double level = -50.0;
    volatile bool changed = false; // keeps the compiler from dropping the calls
    const double perCall = nanosecondsPerCall([&] {
        level = level > 5.0 ? -50.0 : level + 0.137;
        meter.setRawdBPosition(level);
        changed = meter.calcPosition();
    });
    report("calcPosition per call", perCall, "ns", "<= 100 ns");
}

} // namespace

int main(int argc, char *argv[])
{
    // Painting goes into images either way; offscreen spares the need for a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    LocalClock::setSource(&readShownTime);

    benchMeter(QSize(12, 415), 0.0, "<= 6 us");
    benchMeter(QSize(22, 772), 0.0, "<= 12 us");
    benchMeter(QSize(22, 772), 0.0, "<= 12 us", true);
    benchAnalogClock(410);
    benchAnalogClock(763);
    benchDigitalClock();
    benchCalcPosition();
    return 0;
}
