#include "mainwindow.h"

#include <QDebug>
#include <QHostAddress>
#include <QTimer>
#include <QUdpSocket>

namespace {
// Datagrams handled per readyRead(): a flood must not hold the GUI thread away from the
// release tick and painting. What is left is read on the next pass of the event loop.
constexpr int MaxDatagramsPerCall = 64;
} // namespace

void MainWindow::udpReceive()
{
    qDebug() << "udpReceive";
    if (!udpSocket)
        return;

    const QHostAddress server(linkSettings.client_host);
    QByteArray buffer;
    int handled = 0;
    do {
        buffer.resize(qMax<qint64>(0, udpSocket->pendingDatagramSize()));
        QHostAddress sender;
        const qint64 length = udpSocket->readDatagram(buffer.data(), buffer.size(), &sender);
        // An IPv4 sender may show as an IPv4-mapped IPv6 address.
        const QHostAddress plainSender(sender.toIPv4Address());
        if (length == LevelFrame::Size && plainSender == server && LevelFrame::isValid(buffer.constData()))
            processFrame(buffer.constData());
    } while (udpSocket->hasPendingDatagrams() && ++handled < MaxDatagramsPerCall);

    // One continuation at a time, so a flood never queues more than one pending call.
    if (udpSocket->hasPendingDatagrams() && !udpDrainQueued) {
        udpDrainQueued = true;
        QTimer::singleShot(0, this, [this] {
            udpDrainQueued = false;
            udpReceive();
        });
    }
}
