#pragma once

#include <QString>

// Whether the display starts when the user logs in. The entry itself is the state: on Linux an XDG
// autostart entry in the user's autostart folder, on Windows a value under the user's Run key.
namespace Autostart {

bool isEnabled();
// False when the entry could not be written or removed.
bool setEnabled(bool on);
// Where the entry lives (Linux: the desktop entry's path; Windows: the Run key and value).
QString location();

} // namespace Autostart
