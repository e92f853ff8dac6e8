#pragma once

#include "levelframe.h"

#include <random>

// Six meter levels that move like a radio programme: speech in syllables and phrases, music with
// beats and a wandering loudness, quiet passages that fall to the floor. Each stereo pair shares
// one source, so left and right are alike but not equal; the control room monitors the
// programme most of the time and the sub mix now and then. Deterministic for a given seed.
class ProgrammeAudio
{
public:
    explicit ProgrammeAudio(quint32 seed);

    // The levels dt seconds after the previous call.
    LevelFrame::Levels next(double dt);

private:
    class Random
    {
    public:
        explicit Random(quint32 seed) : engine(seed) {}
        // Plain arithmetic on the engine's output, so a seed gives the same programme everywhere.
        double uniform(double low, double high) { return low + (high - low) * (engine() / 4294967296.0); }
        bool chance(double probability) { return uniform(0.0, 1.0) < probability; }
        // Symmetric jitter of at most +-width, most of it near zero.
        double jitter(double width) { return (uniform(0.0, 1.0) + uniform(0.0, 1.0) - 1.0) * width; }

    private:
        std::mt19937 engine;
    };

    // One programme source: the level it is driving the meters towards, in dB.
    class Source
    {
    public:
        Source(double speechShare, Random &random);
        void advance(double dt, Random &random);
        double drive() const { return driveDb; }

    private:
        enum class Mode
        {
            Speech,
            Music,
            Quiet
        };
        void startSegment(Random &random);
        void advanceSpeech(double dt, Random &random);
        void advanceMusic(double dt, Random &random);
        double loudOrPeak(double loudness, double peakChance, Random &random) const;

        double speechShare;
        Mode mode = Mode::Quiet;
        double segmentLeft = 0.0;
        double driveDb = LevelFrame::FloorDb;
        // speech
        double phraseLeft = 0.0;
        double pauseLeft = 0.0;
        double phraseLoudness = 0.0;
        double syllableLeft = 0.0;
        bool inSyllable = false;
        // music
        double musicLoudness = 0.0;
        double beatPeriod = 0.5;
        double beatLeft = 0.0;
        double accentDb = 0.0;
        double wobbleLeft = 0.0;
        double wobbleDb = 0.0;
    };

    // One meter channel: follows its drive with a fast attack and a slow decay, like a PPM feed.
    struct Channel
    {
        double levelDb = LevelFrame::FloorDb;
        double panDb = 0.0;
        double jitterDb = 0.0;
        void follow(double driveDb, double dt);
    };

    void advanceMonitor(double dt);

    Random random;
    Source programme;
    Source subMix;
    std::array<Channel, LevelFrame::LevelCount> channels;
    double jitterLeft = 0.0;
    bool monitorOnSub = false;
    double monitorLeft = 0.0;
    double monitorOffsetDb = 0.0;
};
