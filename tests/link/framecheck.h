#pragma once

#include "framestream.h"
#include "levelframe.h"

#include <QByteArray>
#include <QVector>

#include <algorithm>

// Feeds reads into a FrameStream and keeps what came out, plus the largest buffer seen between reads.
struct FrameCollector
{
    FrameStream stream;
    QVector<QByteArray> frames;
    int mostPending = 0;

    void feed(const QByteArray &chunk)
    {
        stream.feed(chunk, [this](const char *frame) { frames.append(QByteArray(frame, LevelFrame::Size)); });
        mostPending = std::max(mostPending, stream.pendingBytes());
    }
};

// The console's line discipline: every LF goes out as CR LF.
inline QByteArray withCrBeforeLf(const QByteArray &bytes)
{
    QByteArray out;
    for (const char byte : bytes) {
        if (byte == '\n')
            out.append('\r');
        out.append(byte);
    }
    return out;
}

inline QByteArray frameOf(quint16 a, quint16 b, quint16 c, quint16 d, quint16 e, quint16 f)
{
    return LevelFrame::encode({a, b, c, d, e, f});
}
