#include "localclock.h"

namespace {
LocalClock::Source installedSource = nullptr;
}

namespace LocalClock {

QDateTime now()
{
    return installedSource ? installedSource() : QDateTime::currentDateTime();
}

void setSource(Source source)
{
    installedSource = source;
}

} // namespace LocalClock
