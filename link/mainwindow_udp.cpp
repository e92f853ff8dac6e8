#include "mainwindow.h"

#include <QDebug>
#include <QHostAddress>
#include <QLoggingCategory>
#include <QUdpSocket>

namespace {
// Datagrams handled per readyRead(): a flood must not hold the GUI thread away from the
// release tick and painting. The socket signals readyRead() again for what is left, on the
// next pass of the event loop.
constexpr int MaxDatagramsPerCall = 64;
} // namespace

void MainWindow::udpReceive()
{
    // Checked first, as for the serial port: building the line costs more than the read.
    if (QLoggingCategory::defaultCategory()->isDebugEnabled())
        qDebug() << "udpReceive";
    if (!udpSocket)
        return;

    const QHostAddress server(linkSettings.client_host);
    QByteArray buffer;
    int handled = 0;
    do {
        buffer.resize(int(qMax<qint64>(0, udpSocket->pendingDatagramSize())));
        QHostAddress sender;
        const qint64 length = udpSocket->readDatagram(buffer.data(), buffer.size(), &sender);
        // An IPv4 sender may show as an IPv4-mapped IPv6 address.
        const QHostAddress plainSender(sender.toIPv4Address());
        if (length == LevelFrame::Size && plainSender == server && LevelFrame::isValid(buffer.constData()))
            processFrame(buffer.constData());
    } while (udpSocket->hasPendingDatagrams() && ++handled < MaxDatagramsPerCall);
}
