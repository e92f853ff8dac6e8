#include "programmeaudio.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double Floor = LevelFrame::FloorDb;
// The loudest a peak goes: "now and then into +1 to +4 dB".
constexpr double PeakLowDb = 1.0;
constexpr double PeakHighDb = 4.0;
constexpr double AttackSeconds = 0.005;
constexpr double DecayDbPerSecond = 25.0;
// Left and right of a pair differ by a slow pan of at most this much, plus a little jitter.
constexpr double PanWidthDb = 2.5;
constexpr double JitterWidthDb = 1.2;
constexpr double JitterPeriod = 1.0 / 30.0;

enum Meter
{
    ProgLeft,
    ProgRight,
    SubLeft,
    SubRight,
    CrmLeft,
    CrmRight
};

} // namespace

ProgrammeAudio::ProgrammeAudio(quint32 seed) : random(seed), programme(0.45, random), subMix(0.8, random)
{
    for (Channel &channel : channels)
        channel.panDb = random.jitter(PanWidthDb);
}

LevelFrame::Levels ProgrammeAudio::next(double dt)
{
    programme.advance(dt, random);
    subMix.advance(dt, random);
    advanceMonitor(dt);

    jitterLeft -= dt;
    if (jitterLeft <= 0.0) {
        jitterLeft += JitterPeriod;
        for (Channel &channel : channels) {
            channel.jitterDb = random.jitter(JitterWidthDb);
            channel.panDb = std::clamp(channel.panDb + random.jitter(0.2), -PanWidthDb, PanWidthDb);
        }
    }

    const double monitorDrive = (monitorOnSub ? subMix.drive() : programme.drive()) + monitorOffsetDb;
    const double drives[LevelFrame::LevelCount] = {programme.drive(), programme.drive(), subMix.drive(),
                                                   subMix.drive(),    monitorDrive,      monitorDrive};
    LevelFrame::Levels levels{};
    for (int k = 0; k < LevelFrame::LevelCount; ++k) {
        Channel &channel = channels[k];
        // Silence stays silence on both sides; sound differs a little between left and right.
        const double drive = drives[k] <= Floor ? Floor : drives[k] + channel.panDb + channel.jitterDb;
        channel.follow(std::min(drive, PeakHighDb), dt);
        levels[k] = channel.levelDb;
    }
    return levels;
}

void ProgrammeAudio::advanceMonitor(double dt)
{
    monitorLeft -= dt;
    if (monitorLeft > 0.0)
        return;
    // The engineer pre-listens to the sub mix for a while now and then, otherwise monitors air.
    monitorOnSub = !monitorOnSub && random.chance(0.3);
    monitorLeft = monitorOnSub ? random.uniform(4.0, 12.0) : random.uniform(10.0, 40.0);
    monitorOffsetDb = -random.uniform(0.0, 4.0);
}

void ProgrammeAudio::Channel::follow(double driveDb, double dt)
{
    if (driveDb > levelDb)
        levelDb += (driveDb - levelDb) * (1.0 - std::exp(-dt / AttackSeconds));
    else
        levelDb = std::max(driveDb, levelDb - DecayDbPerSecond * dt);
    levelDb = std::clamp(levelDb, Floor, PeakHighDb);
}

ProgrammeAudio::Source::Source(double speechShare, Random &random) : speechShare(speechShare)
{
    startSegment(random);
}

void ProgrammeAudio::Source::startSegment(Random &random)
{
    const Mode previous = mode;
    if (previous != Mode::Quiet && random.chance(0.2))
        mode = Mode::Quiet;
    else
        mode = random.chance(speechShare) ? Mode::Speech : Mode::Music;

    switch (mode) {
    case Mode::Quiet:
        segmentLeft = random.uniform(3.0, 8.0);
        break;
    case Mode::Speech:
        segmentLeft = random.uniform(6.0, 20.0);
        phraseLeft = 0.0;
        pauseLeft = 0.0;
        break;
    case Mode::Music:
        segmentLeft = random.uniform(10.0, 30.0);
        musicLoudness = random.uniform(-16.0, -7.0);
        beatPeriod = random.uniform(0.35, 0.65);
        beatLeft = 0.0;
        accentDb = 0.0;
        break;
    }
}

void ProgrammeAudio::Source::advance(double dt, Random &random)
{
    segmentLeft -= dt;
    if (segmentLeft <= 0.0)
        startSegment(random);
    switch (mode) {
    case Mode::Quiet:
        driveDb = Floor;
        break;
    case Mode::Speech:
        advanceSpeech(dt, random);
        break;
    case Mode::Music:
        advanceMusic(dt, random);
        break;
    }
}

double ProgrammeAudio::Source::loudOrPeak(double loudness, double peakChance, Random &random) const
{
    if (random.chance(peakChance))
        return random.uniform(PeakLowDb, PeakHighDb);
    return loudness;
}

void ProgrammeAudio::Source::advanceSpeech(double dt, Random &random)
{
    if (phraseLeft <= 0.0) {
        // A breath between phrases; then the next phrase, a little louder or softer.
        driveDb = Floor;
        pauseLeft -= dt;
        if (pauseLeft > 0.0)
            return;
        phraseLeft = random.uniform(1.2, 4.0);
        pauseLeft = random.uniform(0.3, 0.9);
        phraseLoudness = random.uniform(-18.0, -7.0);
        syllableLeft = 0.0;
        inSyllable = false;
    }
    phraseLeft -= dt;
    syllableLeft -= dt;
    if (syllableLeft > 0.0)
        return;
    inSyllable = !inSyllable;
    if (inSyllable) {
        syllableLeft = random.uniform(0.08, 0.25);
        driveDb = loudOrPeak(phraseLoudness + random.jitter(6.0), 0.02, random);
    } else {
        syllableLeft = random.uniform(0.03, 0.12);
        driveDb = phraseLoudness - random.uniform(12.0, 25.0);
    }
}

void ProgrammeAudio::Source::advanceMusic(double dt, Random &random)
{
    musicLoudness = std::clamp(musicLoudness + random.jitter(3.0 * dt), -20.0, -4.0);
    beatLeft -= dt;
    if (beatLeft <= 0.0) {
        beatLeft += beatPeriod;
        const double beat = loudOrPeak(musicLoudness + random.uniform(3.0, 7.0), 0.03, random);
        accentDb = beat - musicLoudness;
    }
    accentDb = std::max(0.0, accentDb - 15.0 * dt);
    wobbleLeft -= dt;
    if (wobbleLeft <= 0.0) {
        wobbleLeft = random.uniform(0.04, 0.1);
        wobbleDb = random.jitter(3.0);
    }
    driveDb = musicLoudness + accentDb + wobbleDb;
}
