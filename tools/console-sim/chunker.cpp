#include "chunker.h"

namespace {
constexpr int LongestRandomPiece = 2 * LevelFrame::Size + 8;
constexpr int MostFramesPerWrite = 8;
} // namespace

Chunker::Chunker(SimOptions::Chunking mode, bool crlf, quint32 seed) : mode(mode), crlf(crlf), engine(seed)
{
    reset();
}

int Chunker::randomBetween(int low, int high)
{
    return low + int(engine() % quint32(high - low + 1));
}

void Chunker::reset()
{
    heldBack.clear();
    frameEnds.clear();
    nextPieceSize = randomBetween(1, LongestRandomPiece);
    framesPerWrite = randomBetween(2, MostFramesPerWrite);
}

QByteArray Chunker::expandLineFeeds(const QByteArray &bytes)
{
    QByteArray out;
    out.reserve(bytes.size() + bytes.count('\n'));
    for (const char byte : bytes) {
        if (byte == '\n')
            out.append('\r');
        out.append(byte);
    }
    return out;
}

QVector<Chunker::Piece> Chunker::cut(const QByteArray &frame)
{
    const QByteArray bytes = crlf ? expandLineFeeds(frame) : frame;
    QVector<Piece> pieces;
    switch (mode) {
    case SimOptions::Chunking::Whole:
        pieces.append({bytes, 0.0, 1});
        break;
    case SimOptions::Chunking::Split: {
        const int half = bytes.size() / 2;
        pieces.append({bytes.left(half), 0.0, 0});
        pieces.append({bytes.mid(half), 0.5, 1});
        break;
    }
    case SimOptions::Chunking::Random: {
        heldBack.append(bytes);
        frameEnds.append(heldBack.size());
        while (heldBack.size() >= nextPieceSize) {
            const int size = nextPieceSize;
            int ended = 0;
            while (ended < frameEnds.size() && frameEnds.at(ended) <= size)
                ++ended;
            frameEnds.remove(0, ended);
            for (int &end : frameEnds)
                end -= size;
            pieces.append({heldBack.left(size), 0.0, ended});
            heldBack.remove(0, size);
            nextPieceSize = randomBetween(1, LongestRandomPiece);
        }
        // Spread over the slot, so that a reader sees them as separate reads where it can.
        for (int i = 0; i < pieces.size(); ++i)
            pieces[i].slotFraction = double(i) / pieces.size();
        break;
    }
    case SimOptions::Chunking::Coalesced:
        heldBack.append(bytes);
        frameEnds.append(heldBack.size());
        if (frameEnds.size() == framesPerWrite) {
            pieces.append(takeHeldBack());
            framesPerWrite = randomBetween(2, MostFramesPerWrite);
        }
        break;
    }
    return pieces;
}

Chunker::Piece Chunker::takeHeldBack()
{
    const Piece piece{heldBack, 0.0, int(frameEnds.size())};
    heldBack.clear();
    frameEnds.clear();
    return piece;
}
