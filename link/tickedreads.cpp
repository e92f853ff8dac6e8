#include "tickedreads.h"

#include <QAbstractSocket>
#include <QCoreApplication>
#include <QEvent>
#include <QIODevice>
#include <QSerialPort>
#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <poll.h>
#endif

namespace {

// A serial port reads a chunk of some hundred bytes per notification, a UDP socket's handler a
// bounded number of datagrams: a few rounds catch up after a late tick without freezing it.
constexpr int MaxRoundsPerTick = 8;

} // namespace

TickedReads::TickedReads(QObject *parent) : QObject(parent) {}

void TickedReads::watch(QIODevice *newDevice)
{
    if (device == newDevice)
        return;
    if (device) {
        device->disconnect(this);
        if (QSocketNotifier *notifier = readNotifier())
            notifier->setEnabled(true);
    }
    device = newDevice;
#ifdef Q_OS_UNIX
    // Connected after the device's own handler: that one has read, which switches the notifier on.
    if (device)
        connect(device, &QIODevice::readyRead, this, &TickedReads::hold);
#endif
    hold();
}

void TickedReads::setTicking(bool on)
{
    if (ticking == on)
        return;
    ticking = on;
    if (ticking) {
        hold();
    } else if (QSocketNotifier *notifier = readNotifier()) {
        notifier->setEnabled(true);
    }
}

void TickedReads::readNow()
{
#ifdef Q_OS_UNIX
    for (int round = 0; ticking && round < MaxRoundsPerTick; ++round) {
        QSocketNotifier *notifier = readNotifier();
        // A notifier the device switched on itself is served by the event loop.
        if (!notifier || notifier->isEnabled())
            return;
        pollfd waiting{int(notifier->socket()), POLLIN, 0};
        if (::poll(&waiting, 1, 0) <= 0)
            return;
        QEvent activated(QEvent::SockAct);
        QCoreApplication::sendEvent(notifier, &activated);
        hold();
    }
#endif
}

QSocketNotifier *TickedReads::readNotifier() const
{
#ifdef Q_OS_UNIX
    if (!device)
        return nullptr;
    qintptr descriptor = -1;
    if (const auto *port = qobject_cast<QSerialPort *>(device))
        descriptor = port->handle();
    else if (const auto *socket = qobject_cast<QAbstractSocket *>(device))
        descriptor = socket->socketDescriptor();
    // Devices make their notifier when opened and drop it later when closed: looked up each time,
    // by the descriptor the device reads now.
    const auto notifiers = device->findChildren<QSocketNotifier *>();
    for (QSocketNotifier *notifier : notifiers)
        if (notifier->type() == QSocketNotifier::Read && notifier->socket() == descriptor)
            return notifier;
#endif
    return nullptr;
}

void TickedReads::hold()
{
#ifdef Q_OS_UNIX
    if (!ticking)
        return;
    if (QSocketNotifier *notifier = readNotifier())
        notifier->setEnabled(false);
#endif
}
