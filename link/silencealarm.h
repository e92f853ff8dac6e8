#pragma once

#include <QtGlobal>

// Dead air on the programme: both programme levels below a threshold for a delay while valid frames
// arrive. Fed with monotonic timestamps in milliseconds; no clock or timer of its own. Every input
// returns whether the alarm changed.
class SilenceAlarm
{
public:
    static constexpr double DefaultThresholdDb = -40.0;
    static constexpr qint64 DefaultDelayMs = 10000;
    // Either level must stay at or above the threshold this long before the alarm clears.
    static constexpr qint64 RecoveryMs = 2000;
    static constexpr qint64 NoDeadline = -1;

    // Nothing fires within the first delay after startMs.
    explicit SilenceAlarm(qint64 startMs = 0) : startMs(startMs) {}

    // Watches afresh from startMs with the same threshold and delay.
    void restart(qint64 startMs);
    void setThresholdDb(double db) { thresholdDb = db; }
    void setDelayMs(qint64 ms) { delayMs = ms; }

    // The two programme levels of a valid frame.
    bool frame(qint64 nowMs, double leftDb, double rightDb);
    // A lost signal puts the alarm out and forgets the quiet so far: that is the link's alarm, not this.
    bool setSignalPresent(qint64 nowMs, bool present);
    // Time has passed without a frame.
    bool check(qint64 nowMs);

    bool isOn() const { return on; }
    double threshold() const { return thresholdDb; }
    qint64 delay() const { return delayMs; }
    // When the alarm changes if nothing else arrives first, or NoDeadline.
    qint64 nextDeadlineMs() const;

private:
    double thresholdDb = DefaultThresholdDb;
    qint64 delayMs = DefaultDelayMs;
    qint64 startMs;
    bool on = false;
    bool signalPresent = true;
    qint64 quietSinceMs = NoDeadline; // the first frame of the present quiet spell
    qint64 loudSinceMs = NoDeadline;  // the first frame of the present loud spell, while the alarm is on
};
