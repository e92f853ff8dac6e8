#pragma once

#include <QList>

class QSettings;
class SilenceWatch;
class ZelPPMMeter;

// The display's metering options: peak hold and over lamp on the six meters, and the silence alarm.
// Stored with the other settings; an absent or unusable value gives its default.
struct MeterOptions
{
    static constexpr double MinThresholdDb = -49.0;
    static constexpr double MaxThresholdDb = 0.0;
    static constexpr int MinDelayS = 1;
    static constexpr int MaxDelayS = 3600;

    bool peakHold = false;
    bool overIndicator = false;
    bool silenceAlarm = false;
    double silenceThresholdDb = -40.0;
    int silenceDelayS = 10;

    static MeterOptions read(const QSettings &settings);
    void write(QSettings &settings) const;
    void apply(const QList<ZelPPMMeter *> &meters, SilenceWatch *silence) const;
};
