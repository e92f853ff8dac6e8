#pragma once

#include "displayoptions.h"

class QSettings;

// The display options' keys, read at start and written at exit with the window's other settings.
// Start at log-in is no key: the autostart entry itself is its state.
namespace DisplaySettings {

// An absent key, or a value of the wrong type, negative or absurdly large, gives the default.
DisplayOptions read(const QSettings &settings);
void write(QSettings &settings, const DisplayOptions &options);

} // namespace DisplaySettings
