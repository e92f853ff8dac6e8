#pragma once

#include <QDateTime>

// Where the clocks read the time of day. One seam, so that tests can show chosen times
// instead of waiting for the wall clock.
namespace LocalClock {

using Source = QDateTime (*)();

// The current local date and time from the installed source (the system clock by default).
QDateTime now();

// The same instant in microseconds since 1970 UTC: the system clock's own resolution, which QDateTime
// cuts to milliseconds; another source's milliseconds times 1000.
qint64 microsecondsSinceEpoch();

// Installs another source; nullptr restores the system clock.
void setSource(Source source);

// Whether the time comes from the system clock, which tells when it is set; another source does not.
bool isSystemClock();

} // namespace LocalClock
