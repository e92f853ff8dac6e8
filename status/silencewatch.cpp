#include "silencewatch.h"

#include <QDateTime>
#include <QDebug>
#include <QLabel>
#include <QTimer>

#include <climits>

namespace {

const char *const AlarmBandStyle = "QLabel { background-color: rgb(204, 0, 0); }";

} // namespace

SilenceWatch::SilenceWatch(QLabel *band, QObject *parent)
    : QObject(parent), band(band), deadlineTimer(new QTimer(this))
{
    clock.start();
    deadlineTimer->setSingleShot(true);
    deadlineTimer->setTimerType(Qt::PreciseTimer);
    connect(deadlineTimer, &QTimer::timeout, this, &SilenceWatch::checkDeadline);
}

void SilenceWatch::setEnabled(bool value)
{
    if (value == enabled)
        return;
    enabled = value;
    // Switched on, it watches afresh: a full delay of quiet before the first alarm.
    alarm.restart(clock.elapsed());
    alarm.setSignalPresent(clock.elapsed(), signalPresent);
    follow();
}

void SilenceWatch::setThresholdDb(double db)
{
    alarm.setThresholdDb(db);
}

void SilenceWatch::setDelayMs(qint64 ms)
{
    alarm.setDelayMs(ms);
    follow();
}

void SilenceWatch::frame(double leftDb, double rightDb)
{
    if (!enabled)
        return;
    alarm.frame(clock.elapsed(), leftDb, rightDb);
    follow();
}

void SilenceWatch::setSignalPresent(bool present)
{
    if (present == signalPresent)
        return;
    signalPresent = present;
    alarm.setSignalPresent(clock.elapsed(), present);
    follow();
}

void SilenceWatch::followLinkLamp(StatusLamp::State lamp)
{
    setSignalPresent(lamp == StatusLamp::State::Good);
}

void SilenceWatch::checkDeadline()
{
    alarm.check(clock.elapsed());
    // A timer may fire a little early: then the same deadline is armed again.
    armedDeadline = SilenceAlarm::NoDeadline;
    follow();
}

void SilenceWatch::follow()
{
    const bool show = enabled && alarm.isOn();
    if (show != shown)
        showAlarm(show);
    // Re-armed only when the deadline moves, not for every frame of a quiet spell.
    const qint64 deadline = enabled ? alarm.nextDeadlineMs() : SilenceAlarm::NoDeadline;
    if (deadline == armedDeadline)
        return;
    armedDeadline = deadline;
    if (deadline == SilenceAlarm::NoDeadline)
        deadlineTimer->stop();
    else
        deadlineTimer->start(int(qBound<qint64>(0, deadline - clock.elapsed(), qint64(INT_MAX))));
}

void SilenceWatch::showAlarm(bool on)
{
    shown = on;
    shownSinceMs = on ? QDateTime::currentMSecsSinceEpoch() : -1;
    emit alarmShownChanged(on);
    if (on) {
        bandStyle = band->styleSheet();
        band->setStyleSheet(bandStyle + QLatin1Char('\n') + QLatin1String(AlarmBandStyle));
        qDebug().nospace() << "silence alarm on: both programme levels below " << alarm.threshold()
                           << " dB for " << alarm.delay() / 1000.0 << " s";
    } else {
        band->setStyleSheet(bandStyle);
        if (!enabled)
            qDebug() << "silence alarm off: switched off";
        else if (!signalPresent)
            qDebug() << "silence alarm off: the signal is lost";
        else
            qDebug().nospace() << "silence alarm off: programme back at " << alarm.threshold()
                               << " dB or above for " << SilenceAlarm::RecoveryMs / 1000.0 << " s";
    }
}
