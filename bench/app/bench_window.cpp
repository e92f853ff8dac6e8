// Figures of the main window on the offscreen platform: start to first paint, one scaling pass at
// 1920 x 1080 and at 3840 x 2160, and peak memory at design size and at 3840 x 2160.
// Prints one "BENCH|figure|value|unit|goal" line per figure.

#include "mainwindow.h"
#include "tempsettings.h"
#include "zelppmmeter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <vector>

#ifdef Q_OS_UNIX
#include <time.h>
#include <unistd.h>
#endif

namespace {

const QSize DesignSize(986, 580);
constexpr int PassesPerSize = 7;
constexpr int FirstPaintTimeoutMs = 10000;

void report(const QString &figure, double value, const QString &unit, const QString &goal)
{
    QTextStream(stdout) << "BENCH|" << figure << '|' << QString::number(value, 'f', value < 10 ? 2 : 1) << '|'
                        << unit << '|' << goal << Qt::endl;
}

void note(const QString &text)
{
    QTextStream(stderr) << text << Qt::endl;
}

void waitMs(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Milliseconds since the kernel started this process (10 ms resolution), or -1.
double msSinceProcessStart()
{
#ifdef Q_OS_UNIX
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // Field 22, the start time in clock ticks after boot; the name in parentheses may hold spaces.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    const double startSeconds = fields.value(19).toDouble() / double(sysconf(_SC_CLK_TCK));
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return (double(now.tv_sec) + double(now.tv_nsec) / 1e9 - startSeconds) * 1000.0;
#else
    return -1;
#endif
}

// Peak resident memory of this process so far, in MB (10^6 bytes).
double peakResidentMB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() * 1024.0 / 1e6;
    return -1;
}

// Runs the window's first paint event inside the filter, so the time taken at its end includes it.
class FirstPaint : public QObject
{
public:
    QEventLoop *loop = nullptr;
    bool seen = false;
    double msSinceStart = -1;

    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (seen || event->type() != QEvent::Paint)
            return false;
        seen = true;
        object->event(event);
        msSinceStart = msSinceProcessStart();
        loop->quit();
        return true;
    }
};

// CPU time of all threads of this process in milliseconds (the smooth scaling runs on a thread
// pool), or -1.
double processCpuMs()
{
#ifdef Q_OS_UNIX
    timespec time{};
    if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &time) == 0)
        return double(time.tv_sec) * 1000.0 + double(time.tv_nsec) / 1e6;
#endif
    return -1;
}

// Times the window's own paint event, without its children's: the scaling pass runs inside it.
class OwnPaintTimer : public QObject
{
public:
    double lastMs = -1;
    double lastCpuMs = -1;

    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        QElapsedTimer timer;
        const double cpuBefore = processCpuMs();
        timer.start();
        object->event(event);
        lastMs = double(timer.nsecsElapsed()) / 1e6;
        lastCpuMs = processCpuMs() - cpuBefore;
        return true;
    }
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

struct PaintTimes
{
    double withPass = -1;
    double withoutPass = -1;
    double ownWithPass = -1;
    double ownWithoutPass = -1;
    double ownCpuWithPass = -1;
    double ownCpuWithoutPass = -1;
};

// The scaling pass runs at a resize (the pictures, in the resize event, sent before resize returns)
// and in the next paint (the layout), which also draws. The paint after that only draws, so the
// resize and the first paint, less the second, are the pass itself.
PaintTimes scalingPaintMs(MainWindow &window, const QSize &size)
{
    const ZelPPMMeter *meter = window.findChild<ZelPPMMeter *>(QStringLiteral("ProgLeft"));
    std::vector<double> passes;
    std::vector<double> plainPaints;
    std::vector<double> ownPasses;
    std::vector<double> ownPlainPaints;
    std::vector<double> ownCpuPasses;
    std::vector<double> ownCpuPlainPaints;
    OwnPaintTimer own;
    window.installEventFilter(&own);
    for (int i = 0; i < PassesPerSize; ++i) {
        window.resize(DesignSize);
        window.repaint();
        waitMs(50);
        const QRect before = meter->geometry();
        QElapsedTimer timer;
        const double cpuBeforeResize = processCpuMs();
        timer.start();
        window.resize(size);
        const double resizeMs = double(timer.nsecsElapsed()) / 1e6;
        const double resizeCpuMs = processCpuMs() - cpuBeforeResize;
        window.repaint();
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        if (window.size() != size || meter->geometry() == before) {
            note(QStringLiteral("scaling: no pass ran at %1x%2").arg(size.width()).arg(size.height()));
            return PaintTimes();
        }
        passes.push_back(ms);
        ownPasses.push_back(resizeMs + own.lastMs);
        ownCpuPasses.push_back(resizeCpuMs + own.lastCpuMs);
        waitMs(50);
        timer.start();
        window.repaint();
        plainPaints.push_back(double(timer.nsecsElapsed()) / 1e6);
        ownPlainPaints.push_back(own.lastMs);
        ownCpuPlainPaints.push_back(own.lastCpuMs);
    }
    window.removeEventFilter(&own);
    return {median(passes),         median(plainPaints),  median(ownPasses),
            median(ownPlainPaints), median(ownCpuPasses), median(ownCpuPlainPaints)};
}

// A repaint of a small piece of the window where no widget lies, as when a tooltip or a dialog closes
// over the background: its own paint must only draw, however large the window.
struct OwnTimes
{
    double wallMs = -1;
    double cpuMs = -1;
};

OwnTimes besideWidgetsPaintMs(MainWindow &window)
{
    QRect piece;
    for (int y = 8; y < window.height() && piece.isNull(); y += 16)
        for (int x = 8; x < window.width() && piece.isNull(); x += 16) {
            const QWidget *under = window.childAt(x, y);
            if (!under || under == window.centralWidget())
                piece = QRect(x - 8, y - 8, 16, 16);
        }
    if (piece.isNull())
        return {};
    std::vector<double> wall;
    std::vector<double> cpu;
    OwnPaintTimer own;
    window.installEventFilter(&own);
    for (int i = 0; i < PassesPerSize; ++i) {
        waitMs(50);
        window.repaint(piece);
        wall.push_back(own.lastMs);
        cpu.push_back(own.lastCpuMs);
    }
    window.removeEventFilter(&own);
    return {median(wall), median(cpu)};
}

} // namespace

int main(int argc, char *argv[])
{
    QElapsedTimer sinceMain;
    sinceMain.start();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    QApplication application(argc, argv);
    TempSettings settings;

    QElapsedTimer sinceConstruction;
    sinceConstruction.start();
    MainWindow window;
    QEventLoop loop;
    FirstPaint firstPaint;
    firstPaint.loop = &loop;
    window.installEventFilter(&firstPaint);
    window.show();
    QTimer::singleShot(FirstPaintTimeoutMs, &loop, &QEventLoop::quit);
    if (!firstPaint.seen)
        loop.exec();
    const double fromMainMs = double(sinceMain.nsecsElapsed()) / 1e6;
    const double fromConstructionMs = double(sinceConstruction.nsecsElapsed()) / 1e6;
    window.removeEventFilter(&firstPaint);
    if (!firstPaint.seen) {
        note(QStringLiteral("the window never painted"));
        return 1;
    }
    if (firstPaint.msSinceStart >= 0)
        report(QStringLiteral("start to first paint (from process start)"), firstPaint.msSinceStart, "ms",
               "<= 300 ms");
    report(QStringLiteral("start to first paint (from main)"), fromMainMs, "ms", "<= 300 ms");
    report(QStringLiteral("first paint from constructing the window"), fromConstructionMs, "ms", "-");

    waitMs(1500);
    report(QStringLiteral("peak RSS at design size"), peakResidentMB(), "MB", "<= 45 MB");

    struct Size
    {
        QSize size;
        const char *goal;
    };
    for (const Size &target : {Size{QSize(1920, 1080), "-"}, Size{QSize(3840, 2160), "<= 60 ms"}}) {
        const PaintTimes times = scalingPaintMs(window, target.size);
        if (times.withPass < 0)
            continue;
        const QString size = QStringLiteral("%1x%2").arg(target.size.width()).arg(target.size.height());
        report(QStringLiteral("whole repaint after resize (pass, background, children) ") + size,
               times.withPass, "ms", "-");
        report(QStringLiteral("whole repaint without resize ") + size, times.withoutPass, "ms", "-");
        report(QStringLiteral("scaling pass ") + size, times.ownWithPass - times.ownWithoutPass, "ms",
               QString::fromLatin1(target.goal));
        // On a busy machine the wall time waits for the processor; the CPU time does not.
        report(QStringLiteral("scaling pass CPU time, all threads ") + size,
               times.ownCpuWithPass - times.ownCpuWithoutPass, "ms", "-");
        report(QStringLiteral("own resize and first paint after it (pass and background) ") + size,
               times.ownWithPass, "ms", "-");
        report(QStringLiteral("own resize and first paint after it CPU time, all threads ") + size,
               times.ownCpuWithPass, "ms", "-");
    }
    const OwnTimes beside = besideWidgetsPaintMs(window);
    report(QStringLiteral("own repaint of 16x16 beside the widgets at 3840x2160"), beside.wallMs, "ms", "-");
    report(QStringLiteral("own repaint of 16x16 beside the widgets at 3840x2160 CPU time, all threads"),
           beside.cpuMs, "ms", "-");
    window.resize(3840, 2160);
    waitMs(1500);
    report(QStringLiteral("peak RSS at 3840x2160"), peakResidentMB(), "MB", "-");
    return 0;
}
