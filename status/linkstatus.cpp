#include "linkstatus.h"

#include <QDebug>
#include <QEvent>

namespace {
constexpr double MsPerSecond = 1000.0;
} // namespace

LinkStatus::LinkStatus(StatusLamp *lamp, QObject *parent) : QObject(parent), lamp(lamp)
{
    clock.start();
    deadlineTimer.setSingleShot(true);
    connect(&deadlineTimer, &QTimer::timeout, this, &LinkStatus::onDeadline);
    lamp->installEventFilter(this);
    showState();
}

void LinkStatus::setTimeout(int ms)
{
    if (ms == watch.timeout())
        return;
    watch.setTimeout(ms);
    deadlineTimer.stop();
    armDeadline(clock.elapsed());
    showState();
}

void LinkStatus::watchSerialPort(const QString &portName)
{
    startLink(portName.isEmpty() ? tr("No serial port chosen") : tr("Serial port %1").arg(portName),
              QStringLiteral("serial port ") + portName);
}

void LinkStatus::watchUdpClient(const QString &port, const QString &serverHost)
{
    startLink(tr("UDP port %1, frames from the server %2").arg(port, serverHost),
              QStringLiteral("UDP port %1 from %2").arg(port, serverHost));
}

void LinkStatus::startLink(const QString &newSource, const QString &newLogSource)
{
    source = newSource;
    logSource = newLogSource;
    lastError.clear();
    link = Link::NothingToRead;
    watch.restart();
    deadlineTimer.stop();
    showState();
}

void LinkStatus::linkOpened()
{
    link = Link::Open;
    watch.restart();
    showState();
}

void LinkStatus::linkFailed(const QString &error)
{
    if (watch.state() == SignalWatch::State::Receiving) {
        qDebug().noquote() << "signal lost:" << logSource << "-" << error;
        ++lossCount;
    }
    link = Link::Failed;
    lastError = error;
    watch.restart();
    deadlineTimer.stop();
    showState();
}

void LinkStatus::nothingToRead()
{
    link = Link::NothingToRead;
    showState();
}

void LinkStatus::frameArrived()
{
    const qint64 now = clock.elapsed();
    ++frameCount;
    lastFrameMs = now;
    if (watch.frameArrived(now)) {
        qDebug().noquote() << "signal back:" << logSource;
        showState();
    }
    if (!deadlineTimer.isActive())
        armDeadline(now);
}

void LinkStatus::onDeadline()
{
    const qint64 now = clock.elapsed();
    if (!watch.check(now)) {
        armDeadline(now);
        return;
    }
    qDebug().noquote() << "signal lost:" << logSource << "- no frame for" << watch.timeout() << "ms";
    ++lossCount;
    showState();
    emit signalLost();
}

void LinkStatus::armDeadline(qint64 nowMs)
{
    const qint64 deadline = watch.deadline();
    if (deadline != SignalWatch::NoDeadline)
        deadlineTimer.start(int(qMax<qint64>(0, deadline - nowMs)));
}

StatusLamp::State LinkStatus::lampState() const
{
    switch (link) {
    case Link::NothingToRead:
        return StatusLamp::State::Off;
    case Link::Failed:
        return StatusLamp::State::Fault;
    case Link::Open:
        break;
    }
    return watch.state() == SignalWatch::State::Receiving ? StatusLamp::State::Good
                                                          : StatusLamp::State::Warning;
}

void LinkStatus::showState()
{
    const StatusLamp::State state = lampState();
    const bool changed = state != lamp->state();
    lamp->setState(state);
    lamp->setToolTip(toolTipText());
    if (changed)
        emit lampChanged(state);
}

QString LinkStatus::toolTipText() const
{
    QString state;
    switch (lampState()) {
    case StatusLamp::State::Off:
        state = tr("Nothing to read: choose the console's port with the gear.");
        break;
    case StatusLamp::State::Fault:
        state = tr("The link cannot be read.");
        break;
    case StatusLamp::State::Warning:
        state = watch.state() == SignalWatch::State::Lost
                    ? tr("No frames for %1 s: the meters show the floor.").arg(watch.timeout() / MsPerSecond)
                    : tr("Waiting for the first frame.");
        break;
    case StatusLamp::State::Good:
        state = watch.isWatching() ? tr("Receiving frames.") : tr("Receiving frames (signal watch off).");
        break;
    }
    QStringList lines{source, state,
                      tr("Frames in the last second: %1").arg(watch.framesPerSecond(clock.elapsed()))};
    if (!lastError.isEmpty())
        lines << tr("Last error: %1").arg(lastError);
    return lines.join(QLatin1Char('\n'));
}

bool LinkStatus::eventFilter(QObject *watched, QEvent *event)
{
    // The frame rate changes all the time: worked out when the tooltip is about to show.
    if (watched == lamp && event->type() == QEvent::ToolTip)
        lamp->setToolTip(toolTipText());
    return QObject::eventFilter(watched, event);
}
