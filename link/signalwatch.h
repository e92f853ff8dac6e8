#pragma once

#include <QtGlobal>

#include <array>

// Tells whether the console's frames are still coming, from the times they arrive.
//
// Fed with milliseconds of a monotonic clock since any fixed start, never negative (QElapsedTimer,
// never the wall clock, which can step). A signal that was there is lost when no frame has come for the
// timeout; the next frame brings it back. A timeout of 0 switches the watch off, for a console that only
// sends on change. It also counts the frames of the last second, in ten buckets of 100 ms, not one entry a
// frame.
class SignalWatch
{
public:
    enum class State
    {
        Waiting,   // set up, no frame yet
        Receiving, // frames within the timeout
        Lost,      // frames came, then none for the timeout
    };

    static constexpr int DefaultTimeoutMs = 2000;
    static constexpr int LongestTimeoutMs = 600000;
    static constexpr qint64 NoDeadline = -1;

    explicit SignalWatch(int timeoutMs = DefaultTimeoutMs);

    int timeout() const { return timeoutMs; }
    void setTimeout(int ms);
    bool isWatching() const { return timeoutMs > 0; }

    // A new link: waiting for its first frame, nothing counted.
    void restart();
    // Returns true when the frame brought the signal (back).
    bool frameArrived(qint64 nowMs);
    // Returns true when the signal was lost at nowMs.
    bool check(qint64 nowMs);

    State state() const { return currentState; }
    bool isLostAt(qint64 nowMs) const;
    // When check() must run next; NoDeadline while nothing but a frame can change the state.
    qint64 deadline() const;
    // Frames in the last full second before nowMs (to the nearest 100 ms bucket).
    int framesPerSecond(qint64 nowMs) const;

private:
    static constexpr qint64 BucketMs = 100;
    static constexpr int BucketsPerSecond = 10;

    State currentState = State::Waiting;
    int timeoutMs = DefaultTimeoutMs;
    qint64 lastFrameMs = 0;
    // The last second's full buckets and the current one, by bucket number modulo the size.
    std::array<int, BucketsPerSecond + 1> buckets{};
    qint64 newestBucket = 0;
};
