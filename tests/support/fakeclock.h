#pragma once

#include "localclock.h"

#include <QDateTime>

// Replaces the clocks' time source for as long as it lives.
struct FakeClock
{
    explicit FakeClock(const QDateTime &start = QDateTime(QDate(2026, 12, 5), QTime(0, 0)))
    {
        set(start);
        LocalClock::setSource([] { return now(); });
    }
    ~FakeClock() { LocalClock::setSource(nullptr); }
    FakeClock(const FakeClock &) = delete;
    FakeClock &operator=(const FakeClock &) = delete;
    static void set(const QDateTime &time) { now() = time; }
    static void advanceMs(qint64 ms) { now() = now().addMSecs(ms); }
    static QDateTime &now()
    {
        static QDateTime fake;
        return fake;
    }
};
