#include "signalwatch.h"

namespace {
constexpr int slotOf(qint64 bucket, size_t slots)
{
    return int(bucket % qint64(slots));
}
} // namespace

SignalWatch::SignalWatch(int timeoutMs) : timeoutMs(qMax(0, timeoutMs)) {}

void SignalWatch::setTimeout(int ms)
{
    timeoutMs = qMax(0, ms);
}

void SignalWatch::restart()
{
    currentState = State::Waiting;
    buckets.fill(0);
    newestBucket = 0;
}

bool SignalWatch::frameArrived(qint64 nowMs)
{
    const qint64 bucket = nowMs / BucketMs;
    if (bucket != newestBucket) {
        // Empty the buckets skipped since the last frame (all of them after a long gap).
        const qint64 first = qMax(newestBucket + 1, bucket - qint64(buckets.size()) + 1);
        for (qint64 b = first; b <= bucket; ++b)
            buckets[size_t(slotOf(b, buckets.size()))] = 0;
        newestBucket = bucket;
    }
    ++buckets[size_t(slotOf(bucket, buckets.size()))];

    lastFrameMs = nowMs;
    const bool cameBack = currentState != State::Receiving;
    currentState = State::Receiving;
    return cameBack;
}

bool SignalWatch::isLostAt(qint64 nowMs) const
{
    return isWatching() && currentState == State::Receiving && nowMs - lastFrameMs >= timeoutMs;
}

bool SignalWatch::check(qint64 nowMs)
{
    if (!isLostAt(nowMs))
        return false;
    currentState = State::Lost;
    return true;
}

qint64 SignalWatch::deadline() const
{
    return isWatching() && currentState == State::Receiving ? lastFrameMs + timeoutMs : NoDeadline;
}

int SignalWatch::framesPerSecond(qint64 nowMs) const
{
    // The ten full buckets before the current one: one second that ends at most 100 ms ago.
    const qint64 current = nowMs / BucketMs;
    int frames = 0;
    const qint64 oldestKept = qMax<qint64>(0, newestBucket - BucketsPerSecond);
    for (qint64 b = qMax(current - BucketsPerSecond, oldestKept); b < current; ++b)
        if (b <= newestBucket)
            frames += buckets[size_t(slotOf(b, buckets.size()))];
    return frames;
}
