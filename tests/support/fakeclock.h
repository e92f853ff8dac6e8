#pragma once

#include <QDateTime>

// Replaces the clocks' time source for as long as it lives.
class FakeClock
{
public:
    explicit FakeClock(const QDateTime &start = QDateTime(QDate(2026, 12, 5), QTime(0, 0, 0)));
    ~FakeClock();
    FakeClock(const FakeClock &) = delete;
    FakeClock &operator=(const FakeClock &) = delete;

    static void set(const QDateTime &now);
    static void setTime(const QTime &time);
    static void advanceMs(qint64 ms);
    static QDateTime current();
};
