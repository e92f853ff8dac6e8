#pragma once

#include "simoptions.h"

#include <QByteArray>
#include <QVector>

#include <random>

// Cuts the byte stream of successive frames into writes, the way a serial stack or a USB
// adapter would hand them on: whole frames, halves, random pieces across frame boundaries, or
// several frames at once. With CR LF on, the bytes are translated before cutting, so a CR and
// its LF can land in different writes.
class Chunker
{
public:
    struct Piece
    {
        QByteArray bytes;
        double slotFraction; // when to write it, as a fraction of the frame's time slot
        int framesEnded;     // frames whose last byte is in this piece
    };

    Chunker(SimOptions::Chunking mode, bool crlf, quint32 seed);

    // The writes that this frame completes. Random and coalesced cutting hold bytes back for
    // later frames.
    QVector<Piece> cut(const QByteArray &frame);
    // Whatever is held back, after the last frame.
    Piece takeHeldBack();
    // Drops what is held back, so the next frame starts a fresh stream.
    void reset();

    // The console's line discipline: every LF goes out as CR LF.
    static QByteArray expandLineFeeds(const QByteArray &bytes);

private:
    int randomBetween(int low, int high);

    SimOptions::Chunking mode;
    bool crlf;
    std::mt19937 engine;
    QByteArray heldBack;
    QVector<int> frameEnds; // offsets in heldBack just past each held frame
    int nextPieceSize = 0;
    int framesPerWrite = 0;
};
