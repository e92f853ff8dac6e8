#pragma once

// The peak mark and the over lamp of one meter, timed by whoever moves the level (the release step):
// no clock and no painting here. Levels are in dB on the meter's scale.
class PeakHold
{
public:
    // How long the over lamp stays lit after the last level above the meter's top.
    static constexpr int OverLitMs = 2000;

    void setHoldMs(int ms) { holdMs = ms; }
    // Starts afresh from the level shown: the mark on the bar, no hold running, the lamp out.
    void reset(double shownLevel);
    // A level above the meter's top arrived; the next step lights the lamp.
    void noteOver() { overSeen = true; }
    // One tick of elapsedMs with the level now shown. The mark takes any level at or above it and
    // holds it; once the hold has run out it falls by fallDb a tick until it meets the bar.
    void step(double shownLevel, int elapsedMs, double fallDb);

    double markLevel() const { return heldLevel; }
    bool overLit() const { return overLeftMs > 0; }
    // While the mark stands above the bar, more ticks will move it.
    bool markAboveBar() const { return heldLevel > shownLevel; }

private:
    int holdMs = 2000;
    double heldLevel = 0.0;
    double shownLevel = 0.0;
    int holdLeftMs = 0;
    int overLeftMs = 0;
    bool overSeen = false;
};
