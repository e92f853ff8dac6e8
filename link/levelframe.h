#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <array>

// The console's 16-byte level frame: AA AA, six big-endian level words, 55 55.
namespace LevelFrame {

constexpr int Size = 16;
constexpr int LevelCount = 6;
constexpr double FloorDb = -50.0;
constexpr char StartMarker = char(0xAA);
constexpr char EndMarker = char(0x55);

using Levels = std::array<double, LevelCount>;
using Words = std::array<quint16, LevelCount>;

// The frame test: only the four marker bytes are checked (the console sends no checksum).
bool isValid(const char *frame);

// Level in dB of one word: thousandths of a dB, offset by 50 dB.
inline double levelFromWord(quint16 word)
{
    return word / 1000.0 - 50.0;
}

// Nearest word for a level, clamped to the word's range (for senders and tests).
quint16 wordFromLevel(double db);

quint16 wordAt(const char *frame, int index);
Levels decode(const char *frame);

QByteArray encode(const Words &words);
QByteArray encodeLevels(const Levels &levels);

} // namespace LevelFrame
