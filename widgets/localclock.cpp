#include "localclock.h"

#include "walltick.h"

#include <chrono>

namespace {
LocalClock::Source installedSource = nullptr;
}

namespace LocalClock {

QDateTime now()
{
    return installedSource ? installedSource() : QDateTime::currentDateTime();
}

qint64 microsecondsSinceEpoch()
{
    if (installedSource)
        return installedSource().toMSecsSinceEpoch() * 1000;
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void setSource(Source source)
{
    installedSource = source;
    WallTick::sourceChanged();
}

bool isSystemClock()
{
    return installedSource == nullptr;
}

} // namespace LocalClock
