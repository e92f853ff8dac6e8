#pragma once

#include "levelframe.h"

#include <QByteArray>

// Cuts the serial byte stream into level frames, whatever the cutting of the reads.
//
// The console's line discipline sends each LF as CR LF; one CR directly in front of an LF is
// dropped, also when the pair is split over two reads. Bytes that do not start a valid frame are
// skipped one at a time, so the decoder locks on again after garbage or a start mid-frame.
class FrameStream
{
public:
    // Feeds one read; calls onFrame(const char *frame) for every valid frame, in stream order.
    template <typename OnFrame> void feed(const QByteArray &chunk, OnFrame &&onFrame)
    {
        append(chunk);
        int start = 0;
        while (buffer.size() - start >= LevelFrame::Size) {
            const char *candidate = buffer.constData() + start;
            if (LevelFrame::isValid(candidate)) {
                onFrame(candidate);
                start += LevelFrame::Size;
            } else {
                ++start;
            }
        }
        buffer.remove(0, start);
    }

    // Bytes waiting for the rest of a frame (0 to 15 between reads), not counting a held-back CR.
    int pendingBytes() const { return buffer.size(); }
    bool holdsCarriageReturn() const { return heldCarriageReturn; }
    void clear();

    // The line discipline's rule on one chunk alone: each LF loses at most one CR right before it.
    static void removeCarriageReturns(QByteArray &chunk);

private:
    void append(const QByteArray &chunk);

    QByteArray buffer;
    bool heldCarriageReturn = false;
};
