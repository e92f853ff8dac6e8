#pragma once

#include "levelframe.h"

#include <QString>
#include <QStringList>

// What the simulator was asked to do, checked and converted from the command line.
struct SimOptions
{
    enum class Chunking
    {
        Whole,
        Split,
        Random,
        Coalesced
    };

    double framesPerSecond = 50.0;
    bool fixedLevels = false;
    LevelFrame::Levels levels{};
    qint64 count = 0; // 0: until stopped
    Chunking chunking = Chunking::Whole;
    bool crlf = false;
    QString serialDevice; // empty: a new pseudo-terminal
    bool udp = false;
    QString udpHost;
    quint16 udpPort = 0;
    bool seeded = false;
    quint32 seed = 0;
};

// 115200 baud, 10 bits per byte on the wire (start, 8 data, stop), 16 bytes per frame.
constexpr double LineRateFramesPerSecond = 115200.0 / (10.0 * LevelFrame::Size);

struct ParsedOptions
{
    enum class Outcome
    {
        Run,
        ShowHelp,
        Error
    };
    Outcome outcome = Outcome::Error;
    SimOptions options;
    QString message; // the error for the user, or the help text
};

ParsedOptions parseSimOptions(const QStringList &arguments);
QString chunkingName(SimOptions::Chunking chunking);
