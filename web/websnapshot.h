#pragma once

#include <QString>
#include <QStringList>
#include <QVector>
#include <QtGlobal>

#include <array>

// What the web view shows and reports, as the display has it at one moment. The web part knows the
// display only through this: the window hands it a WebSource that fills one in.
struct WebSnapshot
{
    // The lamps' colours, as the display shows them.
    enum class Lamp
    {
        Grey,
        Green,
        Amber,
        Red,
    };
    static constexpr int MeterCount = 6;

    struct Mark
    {
        double position; // share of the meter's height, 0 at the bottom
        QString label;   // empty for a short tick
    };
    // The scale the meters read, as the page draws it.
    struct Scale
    {
        QString key;
        QString name;
        double redFrom = 1.0; // the red zone's start, as a share of the height
        QVector<Mark> marks;
    };

    QString linkSource;
    Lamp linkLamp = Lamp::Grey;
    int framesPerSecond = 0;
    qint64 msSinceLastFrame = -1; // -1: no frame yet
    quint64 framesReceived = 0;
    quint64 signalLosses = 0;
    bool silenceAlarmEnabled = false;
    bool silenceAlarmOn = false;
    qint64 silenceAlarmSinceMs = -1; // milliseconds since the epoch, while on
    Lamp timeSync = Lamp::Grey;
    qint64 timeSyncEstimatedErrorUs = -1;       // -1: unknown
    std::array<double, MeterCount> levelsDb{};  // what the meters show now, in the frames' dB
    std::array<double, MeterCount> positions{}; // the same as shares of the meters' height
    QStringList captions;                       // Prog, Sub, CRM as the display shows them
    Scale scale;
};

class WebSource
{
public:
    virtual ~WebSource() = default;
    virtual WebSnapshot snapshot() const = 0;
};
