// The main window's clocks on the offscreen platform:
//  - how late each finishes painting a new second, from the system clock's second to the end of the
//    clock's first paint in that second (and when their shared tick read the time);
//  - how soon both show the time after the clock is set (through the clock seam, by an offset),
//    forwards and backwards, by a second, a minute, an hour and a day.
// Prints one "BENCH|figure|value|unit|goal" line per figure.
//   bench_clockflip [--seconds N]   (default 20)

#include "localclock.h"
#include "mainwindow.h"
#include "tempsettings.h"
#include "walltick.h"
#include "zelanalogclock.h"
#include "zeldigitalclock.h"

#include <QApplication>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

namespace {

constexpr int DefaultSeconds = 20;
constexpr int SettleMs = 1500;     // start-up paints are not second changes
constexpr int StepSpacingMs = 730; // steps land at every phase of the second
const qint64 StepsMs[] = {1000,     -1000,    60000,     -60000,    3600000,
                          -3600000, 86400000, -86400000, -86399000, 61001};

void report(const QString &figure, double value, const QString &unit, const QString &goal)
{
    QTextStream(stdout) << "BENCH|" << figure << '|' << QString::number(value, 'f', 2) << '|' << unit << '|'
                        << goal << Qt::endl;
}

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(fraction * double(values.size())))];
}

qint64 realtimeUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The system clock set off by an offset: a step of the clock as the display sees it.
qint64 offsetMs = 0;
QDateTime offsetNow()
{
    return QDateTime::currentDateTime().addMSecs(offsetMs);
}

// Runs each paint inside the filter: notes, for the first paint in every second, how long after the
// second's start it ended, and calls back after every paint.
class FlipTimer : public QObject
{
public:
    bool measuring = false;
    std::vector<double> lagsMs;
    std::function<void()> painted;

    // Notes the lag of the first call in a second, wherever it is made.
    void noteTime()
    {
        const qint64 nowUs = realtimeUs();
        const qint64 second = nowUs / 1000000;
        if (measuring && second != lastSecond)
            lagsMs.push_back(double(nowUs % 1000000) / 1000.0);
        lastSecond = second;
    }

    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        object->event(event);
        noteTime();
        if (painted)
            painted();
        return true;
    }

private:
    qint64 lastSecond = -1;
};

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    QApplication application(argc, argv);
    const QStringList arguments = QApplication::arguments();
    const int at = arguments.indexOf(QStringLiteral("--seconds"));
    const int seconds = at > 0 ? arguments.value(at + 1).toInt() : DefaultSeconds;
    if (seconds <= 0) {
        QTextStream(stderr) << "usage: bench_clockflip [--seconds N]" << Qt::endl;
        return 2;
    }
    TempSettings settings;
    MainWindow window;
    window.show();
    auto *analog = window.findChild<ZelAnalogClock *>();
    auto *digital = window.findChild<ZelDigitalClock *>();

    FlipTimer analogFlips, digitalFlips, ticks;
    analog->installEventFilter(&analogFlips);
    digital->installEventFilter(&digitalFlips);
    // Connected after the clocks: called when both have read the time.
    QObject::connect(WallTick::shared().get(), &WallTick::tick, [&] { ticks.noteTime(); });
    QTimer::singleShot(SettleMs,
                       [&] { analogFlips.measuring = digitalFlips.measuring = ticks.measuring = true; });
    QTimer::singleShot(SettleMs + seconds * 1000, &application, &QApplication::quit);
    application.exec();
    analogFlips.measuring = digitalFlips.measuring = false;

    // The offset source has whole milliseconds only: the ticks fall up to 1 ms later from here on.
    LocalClock::setSource(&offsetNow);
    // Each step: set the offset, then wait for a paint of each clock that shows the stepped time.
    std::vector<double> stepLagsMs;
    QDateTime target;
    qint64 stepUs = 0;
    bool analogShows = false, digitalShows = false;
    // What the clocks show may already be the second after the one the clock was set to.
    const auto shows = [&](const QDateTime &time) {
        const QTime t = time.time();
        analogShows = analogShows || QTime(analog->lastHour(), analog->lastMinute(), analog->lastSecond()) ==
                                         QTime(t.hour(), t.minute(), t.second());
        digitalShows = digitalShows || digital->timeText() + digital->dateText() ==
                                           t.toString("hh:mm:ss") + time.date().toString("ddd d MMM yyyy");
    };
    const auto checkShown = [&] {
        shows(target);
        shows(target.addSecs(1));
        if (analogShows && digitalShows && stepUs > 0) {
            stepLagsMs.push_back(double(realtimeUs() - stepUs) / 1000.0);
            stepUs = 0;
        }
    };
    analogFlips.painted = digitalFlips.painted = checkShown;
    for (const qint64 stepMs : StepsMs) {
        QEventLoop loop;
        QTimer::singleShot(StepSpacingMs, &loop, &QEventLoop::quit);
        loop.exec();
        offsetMs += stepMs;
        target = offsetNow();
        // The face of a day later looks the same; no repaint is owed for it.
        analogShows = stepMs % 86400000 == 0;
        digitalShows = false;
        stepUs = realtimeUs();
    }
    QEventLoop loop;
    QTimer::singleShot(StepSpacingMs, &loop, &QEventLoop::quit);
    loop.exec();
    LocalClock::setSource(nullptr);

    for (const auto &[name, flips] :
         {std::pair("analog clock", &analogFlips), {"digital clock", &digitalFlips}}) {
        const QString figure = QStringLiteral("offscreen, second to end of paint, ") + name;
        report(figure + ", p50", percentile(flips->lagsMs, 0.5), "ms", "<= 3 ms");
        report(figure + ", worst", percentile(flips->lagsMs, 1.0), "ms", "<= 10 ms");
    }
    report(QStringLiteral("offscreen, second to the clocks' tick, p50"), percentile(ticks.lagsMs, 0.5), "ms",
           "-");
    report(QStringLiteral("offscreen, seconds painted by the analog clock"),
           double(analogFlips.lagsMs.size()), "s", QString::number(seconds));
    report(QStringLiteral("offscreen, clock set: both clocks show it, worst"), percentile(stepLagsMs, 1.0),
           "ms", "<= 200 ms");
    report(QStringLiteral("offscreen, clock steps followed"), double(stepLagsMs.size()), "steps",
           QString::number(std::size(StepsMs)));
    return 0;
}
