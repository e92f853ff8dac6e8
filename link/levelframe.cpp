#include "levelframe.h"

#include <cmath>

namespace LevelFrame {

bool isValid(const char *frame)
{
    return frame[0] == StartMarker && frame[1] == StartMarker && frame[Size - 2] == EndMarker &&
           frame[Size - 1] == EndMarker;
}

quint16 wordFromLevel(double db)
{
    const double word = std::round((db - FloorDb) * 1000.0);
    if (!(word > 0.0))
        return 0;
    if (word >= 65535.0)
        return 65535;
    return quint16(word);
}

quint16 wordAt(const char *frame, int index)
{
    const auto *bytes = reinterpret_cast<const uchar *>(frame) + 2 + 2 * index;
    return quint16(bytes[0] * 256 + bytes[1]);
}

Levels decode(const char *frame)
{
    Levels levels{};
    for (int k = 0; k < LevelCount; ++k)
        levels[k] = levelFromWord(wordAt(frame, k));
    return levels;
}

QByteArray encode(const Words &words)
{
    QByteArray frame(Size, '\0');
    frame[0] = StartMarker;
    frame[1] = StartMarker;
    for (int k = 0; k < LevelCount; ++k) {
        frame[2 + 2 * k] = char(words[k] >> 8);
        frame[3 + 2 * k] = char(words[k] & 0xFF);
    }
    frame[Size - 2] = EndMarker;
    frame[Size - 1] = EndMarker;
    return frame;
}

QByteArray encodeLevels(const Levels &levels)
{
    Words words{};
    for (int k = 0; k < LevelCount; ++k)
        words[k] = wordFromLevel(levels[k]);
    return encode(words);
}

} // namespace LevelFrame
