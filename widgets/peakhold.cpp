#include "peakhold.h"

#include <algorithm>

void PeakHold::reset(double level)
{
    heldLevel = shownLevel = level;
    holdLeftMs = overLeftMs = 0;
    overSeen = false;
}

void PeakHold::step(double level, int elapsedMs, double fallDb)
{
    shownLevel = level;
    if (level >= heldLevel) {
        // Reached again (a steady level too): the hold counts from the last time the bar was there.
        heldLevel = level;
        holdLeftMs = holdMs;
    } else if ((holdLeftMs -= elapsedMs) <= 0) {
        holdLeftMs = 0;
        heldLevel = std::max(heldLevel - fallDb, level);
    }

    if (overSeen)
        overLeftMs = OverLitMs;
    else
        overLeftMs = std::max(0, overLeftMs - elapsedMs);
    overSeen = false;
}
