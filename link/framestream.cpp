#include "framestream.h"

namespace {
constexpr char CarriageReturn = '\r';
constexpr char LineFeed = '\n';
} // namespace

void FrameStream::clear()
{
    buffer.clear();
    heldCarriageReturn = false;
}

void FrameStream::removeCarriageReturns(QByteArray &chunk)
{
    int out = 0;
    for (int in = 0; in < chunk.size(); ++in) {
        const char byte = chunk.at(in);
        if (byte == LineFeed && out > 0 && chunk.at(out - 1) == CarriageReturn)
            --out;
        chunk[out++] = byte;
    }
    chunk.truncate(out);
}

void FrameStream::append(const QByteArray &chunk)
{
    if (chunk.isEmpty())
        return;
    const int start = buffer.size();
    if (heldCarriageReturn)
        buffer.append(CarriageReturn);
    buffer.append(chunk);

    // Same rule as removeCarriageReturns, from the first byte that can pair with a new LF.
    int out = start;
    for (int in = start; in < buffer.size(); ++in) {
        const char byte = buffer.at(in);
        if (byte == LineFeed && out > start && buffer.at(out - 1) == CarriageReturn)
            --out;
        buffer[out++] = byte;
    }
    buffer.truncate(out);

    // A trailing CR may still lose itself to an LF at the start of the next read.
    heldCarriageReturn = buffer.endsWith(CarriageReturn);
    if (heldCarriageReturn)
        buffer.chop(1);
}
