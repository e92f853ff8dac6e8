#pragma once

#include <QDateTime>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <memory>

// The clocks' tick, locked to the wall clock. Every tick is armed afresh from the current time to
// fall just after a boundary of it, so no drift builds up and a new second is read about a
// millisecond after it began. On Linux the system clock itself wakes the ticker once a second and
// at once when the clock is set, so a display at rest wakes once a second, not ten times. Elsewhere,
// and while another time source is installed, the ticker polls every 100 ms, so a step is followed
// at the next tick. One ticker serves every clock of the program: they read the time in the same
// pass and paint together.
class WallTick : public QObject
{
    Q_OBJECT

public:
    // The poll; the longest wait of a ticker woken by the system clock is a second.
    static constexpr int PeriodMs = 100;
    // Aimed a little after the boundary, so that every clock reads the new second: a precise timer
    // never fires early by the monotonic clock, and the wall clock drifts from that by at most 50 us
    // in a period while it is slewed.
    static constexpr int AfterBoundaryUs = 300;
    // A tick later than this after the one before means the clock was set, not that time went by;
    // ticks woken by the system clock come a second apart.
    static constexpr qint64 LongestTickGapMs = 2000;

    ~WallTick() override;

    // The ticker shared by all clocks; it runs while any clock holds it.
    static std::shared_ptr<WallTick> shared();
    // The time source changed: the running ticker, if any, is armed afresh for it.
    static void sourceChanged();

    // Milliseconds from a reading of the wall clock to the next tick, 1 to PeriodMs. A timer takes
    // whole milliseconds, so the tick falls up to 1 ms after the aim.
    static int delayMs(qint64 microsecondsSinceEpoch);
    // Whether the local time was set between two readings: it went backwards, or forwards by more
    // than a tick gap (a daylight saving change, a resume or a manual change included).
    static bool isStep(const QDateTime &previous, const QDateTime &now);

    // Milliseconds to the next tick, whichever way it is woken; -1 when none is armed.
    int remainingMs() const;
    // Whether the system clock wakes the ticker (once a second and when set) instead of the poll.
    bool isWokenBySystemClock() const { return wallTimerNotifier && wallTimerNotifier->isEnabled(); }

signals:
    void tick();

private:
    WallTick();
    void arm();
    void fire();
    bool armWallTimer();

    QTimer timer;
    // A timer of the system clock that is cancelled when the clock is set, and its notifier.
    int wallTimerFd = -1;
    std::unique_ptr<QSocketNotifier> wallTimerNotifier;
    qint64 wallTimerDueUs = 0;
};
