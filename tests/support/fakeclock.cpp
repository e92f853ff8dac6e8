#include "fakeclock.h"

#include "localclock.h"

namespace {
QDateTime fakeNow;
QDateTime readFake()
{
    return fakeNow;
}
} // namespace

FakeClock::FakeClock(const QDateTime &start)
{
    fakeNow = start;
    LocalClock::setSource(&readFake);
}

FakeClock::~FakeClock()
{
    LocalClock::setSource(nullptr);
}

void FakeClock::set(const QDateTime &now)
{
    fakeNow = now;
}
void FakeClock::setTime(const QTime &time)
{
    fakeNow.setTime(time);
}
void FakeClock::advanceMs(qint64 ms)
{
    fakeNow = fakeNow.addMSecs(ms);
}
QDateTime FakeClock::current()
{
    return fakeNow;
}
