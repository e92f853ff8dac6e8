#include "walltick.h"

#include "localclock.h"

namespace {

constexpr qint64 msPerDay = 24 * 60 * 60 * 1000;
constexpr qint64 usPerMs = 1000;
constexpr qint64 periodUs = WallTick::PeriodMs * usPerMs;

// The local time as read off the wall, days and all: a daylight saving change is a step here.
qint64 wallMs(const QDateTime &time)
{
    return time.date().toJulianDay() * msPerDay + time.time().msecsSinceStartOfDay();
}

} // namespace

WallTick::WallTick()
{
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, this, [this] {
        arm();
        emit tick();
    });
    arm();
}

WallTick::~WallTick() = default;

std::shared_ptr<WallTick> WallTick::shared()
{
    static std::weak_ptr<WallTick> running;
    std::shared_ptr<WallTick> ticker = running.lock();
    if (!ticker) {
        ticker.reset(new WallTick);
        running = ticker;
    }
    return ticker;
}

int WallTick::delayMs(qint64 microsecondsSinceEpoch)
{
    // Whole offsets from UTC keep the local 100 ms boundaries on the UTC ones.
    const qint64 intoPeriod = (microsecondsSinceEpoch % periodUs + periodUs) % periodUs;
    const qint64 untilAim = (periodUs + AfterBoundaryUs - intoPeriod) % periodUs;
    const int delay = int((untilAim + usPerMs - 1) / usPerMs);
    return delay == 0 ? PeriodMs : delay;
}

bool WallTick::isStep(const QDateTime &previous, const QDateTime &now)
{
    if (!previous.isValid() || !now.isValid())
        return false;
    const qint64 gap = wallMs(now) - wallMs(previous);
    return gap < 0 || gap > LongestTickGapMs;
}

void WallTick::arm()
{
    timer.start(delayMs(LocalClock::microsecondsSinceEpoch()));
}
