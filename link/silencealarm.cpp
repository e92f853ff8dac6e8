#include "silencealarm.h"

#include <algorithm>

void SilenceAlarm::restart(qint64 start)
{
    startMs = start;
    on = false;
    signalPresent = true;
    quietSinceMs = loudSinceMs = NoDeadline;
}

bool SilenceAlarm::frame(qint64 nowMs, double leftDb, double rightDb)
{
    if (!signalPresent)
        return false;
    if (leftDb < thresholdDb && rightDb < thresholdDb) {
        loudSinceMs = NoDeadline;
        if (quietSinceMs == NoDeadline)
            quietSinceMs = std::max(nowMs, startMs);
    } else {
        quietSinceMs = NoDeadline;
        if (on && loudSinceMs == NoDeadline)
            loudSinceMs = nowMs;
    }
    return check(nowMs);
}

bool SilenceAlarm::setSignalPresent(qint64 nowMs, bool present)
{
    if (present == signalPresent)
        return false;
    signalPresent = present;
    const bool wasOn = on;
    if (!present) {
        on = false;
        quietSinceMs = loudSinceMs = NoDeadline;
    }
    return check(nowMs) || wasOn != on;
}

bool SilenceAlarm::check(qint64 nowMs)
{
    const qint64 deadline = nextDeadlineMs();
    if (deadline == NoDeadline || nowMs < deadline)
        return false;
    on = !on;
    quietSinceMs = loudSinceMs = NoDeadline;
    return true;
}

qint64 SilenceAlarm::nextDeadlineMs() const
{
    if (!signalPresent)
        return NoDeadline;
    if (!on)
        return quietSinceMs == NoDeadline ? NoDeadline : quietSinceMs + delayMs;
    return loudSinceMs == NoDeadline ? NoDeadline : loudSinceMs + RecoveryMs;
}
