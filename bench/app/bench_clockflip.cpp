// How late each clock of the main window finishes painting a new second, on the offscreen platform:
// from the system clock's second to the end of the clock's first paint in that second.
// Prints one "BENCH|figure|value|unit|goal" line per figure.
//   bench_clockflip [--seconds N]   (default 20)

#include "mainwindow.h"
#include "tempsettings.h"
#include "zelanalogclock.h"
#include "zeldigitalclock.h"

#include <QApplication>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

constexpr int DefaultSeconds = 20;
constexpr int SettleMs = 1500; // start-up paints are not second changes

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

// Runs each paint inside the filter and notes, for the first paint in every second, how long after the
// second's start it ended.
class FlipTimer : public QObject
{
public:
    bool measuring = false;
    std::vector<double> lagsMs;

    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        object->event(event);
        const qint64 nowUs = std::chrono::duration_cast<std::chrono::microseconds>(
                                 std::chrono::system_clock::now().time_since_epoch())
                                 .count();
        const qint64 second = nowUs / 1000000;
        if (measuring && second != lastSecond)
            lagsMs.push_back(double(nowUs % 1000000) / 1000.0);
        lastSecond = second;
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

    FlipTimer analog, digital;
    window.findChild<ZelAnalogClock *>()->installEventFilter(&analog);
    window.findChild<ZelDigitalClock *>()->installEventFilter(&digital);
    QTimer::singleShot(SettleMs, [&] { analog.measuring = digital.measuring = true; });
    QTimer::singleShot(SettleMs + seconds * 1000, &application, &QApplication::quit);
    application.exec();

    for (const auto &[name, flips] : {std::pair("analog clock", &analog), {"digital clock", &digital}}) {
        const QString figure = QStringLiteral("offscreen, second to end of paint, ") + name;
        report(figure + ", p50", percentile(flips->lagsMs, 0.5), "ms", "<= 3 ms");
        report(figure + ", worst", percentile(flips->lagsMs, 1.0), "ms", "<= 10 ms");
    }
    report(QStringLiteral("offscreen, seconds painted by the analog clock"), double(analog.lagsMs.size()),
           "s", QString::number(seconds));
    return 0;
}
