// The stream decoder against a plain model of the line: drop one CR before each LF of the whole
// stream, then take every 16 bytes that pass the frame test, skipping one byte where they do not.
// However the reads are cut, the decoder must deliver exactly those frames.
#include "framestream.h"
#include "fuzzcheck.h"

#include <QVector>

#include <cstddef>
#include <cstdint>

namespace {

constexpr int MostPending = LevelFrame::Size - 1;
constexpr int LongestRead = 2 * LevelFrame::Size + 8;

QVector<QByteArray> modelFrames(QByteArray line)
{
    FrameStream::removeCarriageReturns(line);
    QVector<QByteArray> frames;
    int at = 0;
    while (line.size() - at >= LevelFrame::Size) {
        if (LevelFrame::isValid(line.constData() + at)) {
            frames.append(line.mid(at, LevelFrame::Size));
            at += LevelFrame::Size;
        } else {
            ++at;
        }
    }
    return frames;
}

// Feeds the line in reads whose sizes come from nextSize(); checks the invariants on the way.
template <typename NextSize> QVector<QByteArray> decoderFrames(const QByteArray &line, NextSize nextSize)
{
    FrameStream decoder;
    QVector<QByteArray> frames;
    const auto collect = [&frames](const char *frame) {
        FUZZ_CHECK(LevelFrame::isValid(frame));
        frames.append(QByteArray(frame, LevelFrame::Size));
    };
    for (int at = 0; at < line.size();) {
        const int size = nextSize();
        decoder.feed(line.mid(at, size), collect);
        FUZZ_CHECK(decoder.pendingBytes() >= 0 && decoder.pendingBytes() <= MostPending);
        at += size;
    }
    return frames;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The first two bytes choose the random cutting; the rest is the line.
    if (size < 2)
        return 0;
    quint32 state = quint32(data[0]) << 8 | data[1];
    const QByteArray line(reinterpret_cast<const char *>(data + 2), int(size - 2));

    const QVector<QByteArray> expected = modelFrames(line);
    const QVector<QByteArray> oneRead = decoderFrames(line, [&line] { return qMax(1, line.size()); });
    const QVector<QByteArray> byteByByte = decoderFrames(line, [] { return 1; });
    const QVector<QByteArray> randomReads = decoderFrames(line, [&state] {
        state = state * 1103515245u + 12345u; // empty reads included
        return int((state >> 16) % (LongestRead + 1));
    });
    FUZZ_CHECK(oneRead == expected);
    FUZZ_CHECK(byteByByte == expected);
    FUZZ_CHECK(randomReads == expected);
    return 0;
}
