#include "walltick.h"

#include "localclock.h"

#ifdef Q_OS_LINUX
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#endif

namespace {

constexpr qint64 msPerDay = 24 * 60 * 60 * 1000;
constexpr qint64 usPerMs = 1000;
constexpr qint64 usPerSecond = 1000 * usPerMs;
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
    connect(&timer, &QTimer::timeout, this, &WallTick::fire);
#ifdef Q_OS_LINUX
    wallTimerFd = timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (wallTimerFd >= 0) {
        wallTimerNotifier = std::make_unique<QSocketNotifier>(wallTimerFd, QSocketNotifier::Read);
        connect(wallTimerNotifier.get(), &QSocketNotifier::activated, this, [this] {
            // Expired, or cancelled because the clock was set: a tick either way.
            std::uint64_t expirations = 0;
            while (::read(wallTimerFd, &expirations, sizeof expirations) < 0 && errno == EINTR) {
            }
            fire();
        });
    }
#endif
    arm();
}

WallTick::~WallTick()
{
#ifdef Q_OS_LINUX
    wallTimerNotifier.reset();
    if (wallTimerFd >= 0)
        ::close(wallTimerFd);
#endif
}

namespace {
std::weak_ptr<WallTick> running;
}

std::shared_ptr<WallTick> WallTick::shared()
{
    std::shared_ptr<WallTick> ticker = running.lock();
    if (!ticker) {
        ticker.reset(new WallTick);
        running = ticker;
    }
    return ticker;
}

void WallTick::sourceChanged()
{
    if (const std::shared_ptr<WallTick> ticker = running.lock())
        ticker->arm();
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

int WallTick::remainingMs() const
{
    if (timer.isActive())
        return timer.remainingTime();
    if (!wallTimerNotifier || !wallTimerNotifier->isEnabled())
        return -1;
    const qint64 untilDue = wallTimerDueUs - LocalClock::microsecondsSinceEpoch();
    return int(qBound<qint64>(0, (untilDue + usPerMs - 1) / usPerMs, usPerSecond / usPerMs));
}

void WallTick::fire()
{
    arm();
    emit tick();
}

void WallTick::arm()
{
    // A time source other than the system clock does not tell when it is set: it is polled.
    if (LocalClock::isSystemClock() && armWallTimer()) {
        timer.stop();
        return;
    }
    if (wallTimerNotifier)
        wallTimerNotifier->setEnabled(false);
    timer.start(delayMs(LocalClock::microsecondsSinceEpoch()));
}

bool WallTick::armWallTimer()
{
#ifdef Q_OS_LINUX
    if (wallTimerFd < 0)
        return false;
    // Armed again if the clock was set back between the reading and the arming, which would
    // otherwise leave the timer waiting for as long as the step.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const qint64 nowUs = LocalClock::microsecondsSinceEpoch();
        wallTimerDueUs = (nowUs / usPerSecond + 1) * usPerSecond + AfterBoundaryUs;
        itimerspec due{};
        due.it_value.tv_sec = time_t(wallTimerDueUs / usPerSecond);
        due.it_value.tv_nsec = long(wallTimerDueUs % usPerSecond * 1000);
        if (timerfd_settime(wallTimerFd, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &due, nullptr) != 0)
            return false;
        if (wallTimerDueUs - LocalClock::microsecondsSinceEpoch() <= usPerSecond + AfterBoundaryUs)
            break;
    }
    wallTimerNotifier->setEnabled(true);
    return true;
#else
    return false;
#endif
}
