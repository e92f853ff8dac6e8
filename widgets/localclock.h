#pragma once

#include <QDateTime>

// Where the clocks read the time of day. One seam, so that tests can show chosen times
// instead of waiting for the wall clock.
namespace LocalClock {

using Source = QDateTime (*)();

// The current local date and time from the installed source (the system clock by default).
QDateTime now();

// Installs another source; nullptr restores the system clock.
void setSource(Source source);

} // namespace LocalClock
