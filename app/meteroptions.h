#pragma once

#include "displayoptions.h"

#include <QList>

class QSettings;
class SilenceWatch;
class ZelPPMMeter;

// The display's metering options: peak hold, over lamp and scale of the six meters, and the silence
// alarm.
// The switches are those the display options dialog edits; here they are stored with the other
// settings (an absent or unusable value gives its default) and applied.
struct MeterOptions : MeterChoices
{
    static MeterOptions read(const QSettings &settings);
    void write(QSettings &settings) const;
    void apply(const QList<ZelPPMMeter *> &meters, SilenceWatch *silence) const;
};
