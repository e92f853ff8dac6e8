#pragma once

#include <QDateTime>
#include <QObject>
#include <QTimer>

#include <memory>

// The clocks' 100 ms poll, locked to the wall clock. Every tick is armed afresh from the current
// time to fall just after a 100 ms boundary of it, so no drift builds up, a step of the system clock
// is followed at the next tick, and a new second is read about a millisecond after it began.
// One ticker serves every clock of the program: they read the time in the same pass and paint together.
class WallTick : public QObject
{
    Q_OBJECT

public:
    static constexpr int PeriodMs = 100;
    // Aimed a little after the boundary, so that every clock reads the new second: a precise timer
    // never fires early by the monotonic clock, and the wall clock drifts from that by at most 50 us
    // in a period while it is slewed.
    static constexpr int AfterBoundaryUs = 300;
    // A tick later than this after the one before means the clock was set, not that time went by.
    static constexpr qint64 LongestTickGapMs = 1000;

    ~WallTick() override;

    // The ticker shared by all clocks; it runs while any clock holds it.
    static std::shared_ptr<WallTick> shared();

    // Milliseconds from a reading of the wall clock to the next tick, 1 to PeriodMs. A timer takes
    // whole milliseconds, so the tick falls up to 1 ms after the aim.
    static int delayMs(qint64 microsecondsSinceEpoch);
    // Whether the local time was set between two readings: it went backwards, or forwards by more
    // than a tick gap (a daylight saving change, a resume or a manual change included).
    static bool isStep(const QDateTime &previous, const QDateTime &now);

    int remainingMs() const { return timer.remainingTime(); }

signals:
    void tick();

private:
    WallTick();
    void arm();

    QTimer timer;
};
