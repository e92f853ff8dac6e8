#pragma once

#include <QString>

#include <vector>

// A meter scale as a studio reads it: its ends, its marks and what they say, how a level maps onto
// the meter's height, where alignment and the permitted maximum sit, and how fast the meter falls.
// Every level here is in the frames' dB, where the permitted maximum level (PML) is 0 dB and the
// alignment level (AL) -9 dB (in digital terms -9 dBFS and -18 dBFS); each scale only labels them
// in its own way.
struct MeterScale
{
    // In the order the display options offer them.
    enum Id
    {
        Din,
        Nordic,
        Bbc,
        Ebu,
        Dbfs
    };
    static constexpr int Count = 5;
    // The frames' floor, an all-zero level word: no signal, an empty bar on every scale.
    static constexpr double SilenceDb = -50.0;

    struct Mark
    {
        double levelDb;
        const char *label; // UTF-8; empty for a short tick between numbered marks
    };
    // One corner of a piecewise linear law: the level and its share of the meter's height.
    struct Corner
    {
        double levelDb;
        double position;
    };

    Id id;
    const char *key;  // the settings value
    const char *name; // as the display options offer it
    double bottomDb;  // the meter's bottom and top edges
    double topDb;
    double alignmentDb;
    double permittedMaximumDb; // the red zone runs from here to the top
    double fallDbPerSecond;
    // DIN's law, linear in the fourth root of the amplitude; otherwise straight lines between the
    // corners, the first at the bottom (0) and the last at the top (1).
    bool fourthRoot;
    std::vector<Corner> law;
    std::vector<Mark> marks; // top first

    // The level's share of the meter's height, from 0 at the bottom edge to 1 at the top, clamped.
    double position(double levelDb) const;
    // The largest fall of one release tick.
    double fallDbPerTick(int tickMs) const { return fallDbPerSecond * tickMs / 1000.0; }

    static const MeterScale &of(Id id);
    // The settings value, trimmed and in any case; anything else is DIN.
    static Id fromKey(const QString &key);
};
