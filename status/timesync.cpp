#include "timesync.h"

#include <QDebug>
#include <QMetaEnum>
#include <QTimer>

#ifdef Q_OS_LINUX
#include <sys/timex.h>
#endif

namespace {

// The kernel's values (Linux <sys/timex.h>), named here so that the mapping is the same everywhere.
constexpr int ClockUnsynchronised = 0x0040; // STA_UNSYNC
constexpr int ClockHardwareFault = 0x1000;  // STA_CLOCKERR
constexpr int ClockStateError = 5;          // TIME_ERROR: not synchronised, whatever the reason
#ifdef Q_OS_LINUX
static_assert(ClockUnsynchronised == STA_UNSYNC && ClockHardwareFault == STA_CLOCKERR &&
              ClockStateError == TIME_ERROR);
#endif

bool synchronised(const TimeSync::KernelClock &clock)
{
    return clock.result != ClockStateError &&
           (clock.status & (ClockUnsynchronised | ClockHardwareFault)) == 0;
}

qint64 roundedMs(qint64 us)
{
    return (us + 500) / 1000;
}

} // namespace

TimeSync::TimeSync(QObject *parent, Reader reader) : QObject(parent), reader(reader)
{
    timer = new QTimer(this);
    timer->setInterval(ReadIntervalMs);
    connect(timer, &QTimer::timeout, this, &TimeSync::check);
    timer->start();
}

StatusLamp::State TimeSync::stateFor(const std::optional<KernelClock> &clock)
{
    if (!clock || clock->result < 0)
        return StatusLamp::State::Off;
    if (!synchronised(*clock))
        return StatusLamp::State::Fault;
    return clock->maxErrorUs <= GoodMaxErrorUs ? StatusLamp::State::Good : StatusLamp::State::Warning;
}

QString TimeSync::describe(const std::optional<KernelClock> &clock)
{
    switch (stateFor(clock)) {
    case StatusLamp::State::Good:
        return tr("Time synchronised, maximum error %1 ms (estimated %2 ms)")
            .arg(roundedMs(clock->maxErrorUs))
            .arg(roundedMs(clock->estErrorUs));
    case StatusLamp::State::Warning:
        return tr("Time synchronised, but the maximum error has grown to %1 ms: "
                  "the time source has not been heard for a while")
            .arg(roundedMs(clock->maxErrorUs));
    case StatusLamp::State::Fault:
        return tr("Time not synchronised: the system clock follows no time source");
    case StatusLamp::State::Off:
        break;
    }
    return tr("The system does not tell whether its time is synchronised");
}

std::optional<TimeSync::KernelClock> TimeSync::readKernel()
{
#ifdef Q_OS_LINUX
    // modes 0: only reads, and needs no privileges.
    timex clock{};
    clock.modes = 0;
    const int result = ::adjtimex(&clock);
    if (result < 0)
        return std::nullopt;
    return KernelClock{result, clock.status, clock.maxerror, clock.esterror};
#else
    // Windows keeps its synchronisation state in the time service; reading it is still to come.
    return std::nullopt;
#endif
}

void TimeSync::check()
{
    const std::optional<KernelClock> clock = reader();
    const StatusLamp::State state = stateFor(clock);
    const QString toolTip = describe(clock);
    m_estimatedErrorUs = clock && state != StatusLamp::State::Off && state != StatusLamp::State::Fault
                             ? std::optional<qint64>(clock->estErrorUs)
                             : std::nullopt;
    if (checked && state == m_state && toolTip == m_toolTip)
        return;
    if (!checked || state != m_state)
        qDebug() << "time sync:" << QMetaEnum::fromType<StatusLamp::State>().valueToKey(int(state))
                 << toolTip;
    checked = true;
    m_state = state;
    m_toolTip = toolTip;
    emit changed(state, toolTip);
}
