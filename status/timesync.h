#pragma once

#include "statuslamp.h"

#include <QObject>
#include <QString>

#include <optional>

class QTimer;

// Whether the system clock is synchronised to a time source, as the operating system itself keeps
// it (on Linux the kernel's clock discipline, whoever feeds it: chrony, ntpd, systemd-timesyncd).
// Read every ten seconds; a cheap local call, never a network query.
class TimeSync : public QObject
{
    Q_OBJECT

public:
    // The kernel's account of its clock, as a read-only adjtimex() gives it.
    struct KernelClock
    {
        int result = 0;        // the call's clock state (TIME_OK to TIME_ERROR), or -1 if it failed
        int status = 0;        // STA_* bits
        qint64 maxErrorUs = 0; // maximum error, microseconds
        qint64 estErrorUs = 0; // estimated error, microseconds
    };
    using Reader = std::optional<KernelClock> (*)();

    static constexpr int ReadIntervalMs = 10000;
    // Within this the display's seconds are right; beyond it the source has not been heard for a while.
    static constexpr qint64 GoodMaxErrorUs = 100000;

    // Reads every ReadIntervalMs from now on (check() reads at once); the reader is a seam for tests.
    explicit TimeSync(QObject *parent = nullptr, Reader reader = &readKernel);

    // The lamp's state and its words for what the kernel says; no answer gives the grey lamp.
    static StatusLamp::State stateFor(const std::optional<KernelClock> &clock);
    static QString describe(const std::optional<KernelClock> &clock);
    // The platform's answer, or nothing where it gives none.
    static std::optional<KernelClock> readKernel();

    StatusLamp::State state() const { return m_state; }
    QString toolTip() const { return m_toolTip; }
    // The kernel's estimate of its error at the last reading, while synchronised.
    std::optional<qint64> estimatedErrorUs() const { return m_estimatedErrorUs; }

public Q_SLOTS:
    void check();

Q_SIGNALS:
    // On every change of the state or of the words (the error bounds move between readings).
    void changed(StatusLamp::State state, const QString &toolTip);

private:
    Reader reader;
    QTimer *timer = nullptr;
    StatusLamp::State m_state = StatusLamp::State::Off;
    QString m_toolTip;
    std::optional<qint64> m_estimatedErrorUs;
    bool checked = false;
};
