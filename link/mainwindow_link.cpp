#include "mainwindow.h"

#include "ccommdialog.h"
#include "linkstatus.h"
#include "settingswriter.h"
#include "tickedreads.h"

#include <QDebug>
#include <QHostAddress>
#include <QSerialPort>
#include <QTimer>
#include <QUdpSocket>

namespace {
constexpr qint32 ConsoleBaudRate = 115200;
} // namespace

void MainWindow::setupLink()
{
    tickedReads->watch(nullptr);
    closeSerialPort();
    resetLevels();
    if (!linkSettings.use_udp || linkSettings.is_server)
        openSerialPort();

    // Exactly one source per mode: a former client socket must not keep feeding the meters.
    if (udpSocket) {
        udpSocket->close();
        udpSocket->disconnect(this);
        udpSocket->deleteLater();
        udpSocket = nullptr;
    }
    if (!linkSettings.use_udp)
        return;

    udpSocket = new QUdpSocket(this);
    multicast = UdpMulticast(linkSettings);
    if (linkSettings.is_server) {
        udpSocket->bind(QHostAddress(linkSettings.server_host), portNumber(linkSettings.server_port),
                        QAbstractSocket::DefaultForPlatform);
        multicast.prepareSender(*udpSocket);
        return;
    }

    const uint port = portValue(linkSettings.client_port);
    linkStatus->watchUdpClient(QString::number(port), linkSettings.client_host);
    // An IPv4 group is joined on an IPv4 socket.
    const QHostAddress anyAddress(multicast.isOn() ? QHostAddress::AnyIPv4 : QHostAddress::Any);
    const bool bound =
        udpSocket->bind(anyAddress, quint16(port & 0xFFFF), QAbstractSocket::DefaultForPlatform);
    const QString failure = bound ? multicast.join(*udpSocket) : udpSocket->errorString();
    if (failure.isEmpty())
        linkStatus->linkOpened();
    else
        linkStatus->linkFailed(failure); // the display runs on: a unicast or broadcast still shows
    connect(udpSocket, &QUdpSocket::readyRead, this, &MainWindow::udpReceive);
    tickedReads->watch(udpSocket);
    qDebug() << "bind to port " << port << " - " << (bound ? "true" : "false");
    setLinkTitle(QString::number(port));
}

void MainWindow::openSettings()
{
    // Only the last dialog is kept; earlier ones have no further use.
    if (commDialog)
        commDialog->deleteLater();
    commDialog = new CCommDialog(this, &linkSettings);
    connect(commDialog, &QDialog::accepted, settingsWriter, &SettingsWriter::write);
    commDialog->exec();
    setupLink();
}

void MainWindow::openSerialPort()
{
    if (serialPort)
        closeSerialPort();

    serialPort = new QSerialPort(linkSettings.serialport, this);
    serialPort->setBaudRate(ConsoleBaudRate, QSerialPort::AllDirections);
    serialPort->setDataBits(QSerialPort::Data8);
    serialPort->setFlowControl(QSerialPort::NoFlowControl);
    serialPort->setParity(QSerialPort::NoParity);
    serialPort->setStopBits(QSerialPort::OneStop);
    connect(serialPort, &QSerialPort::readyRead, this, &MainWindow::onDataAvailable);
    connect(serialPort, &QSerialPort::errorOccurred, this, &MainWindow::onSerialError);
    // Frames forwarded to the network go out as they arrive, not a tick later.
    tickedReads->watch(linkSettings.use_udp ? nullptr : serialPort);

    linkStatus->watchSerialPort(linkSettings.serialport);
    if (serialPort->open(QIODevice::ReadWrite)) {
        linkStatus->linkOpened();
    } else if (linkSettings.serialport.isEmpty()) {
        linkStatus->nothingToRead();
    } else {
        linkStatus->linkFailed(serialPort->errorString());
        // An adapter plugged in after start is picked up by the retry.
        serialRetryTimer->start();
    }

    setLinkTitle(linkSettings.serialport);
}

void MainWindow::closeSerialPort()
{
    serialRetryTimer->stop();
    if (!serialPort)
        return;
    serialPort->disconnect(this);
    serialPort->close();
    serialPort->deleteLater();
    serialPort = nullptr;
}

void MainWindow::onSerialError()
{
    if (!serialPort || !serialPort->isOpen())
        return;
    const QSerialPort::SerialPortError error = serialPort->error();
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError)
        return;

    // The device went away: an open port would report this error in a busy loop. Close it, let
    // the meters fall as for any source that went away, and wait for the device to come back.
    qDebug() << "serial port lost:" << serialPort->errorString();
    linkStatus->linkFailed(serialPort->errorString());
    serialPort->close();
    serialPort->clearError();
    serialStream.clear();
    resetLevels();
    serialRetryTimer->start();
}

void MainWindow::retrySerialPort()
{
    if (!serialPort) {
        serialRetryTimer->stop();
        return;
    }
    if (serialPort->open(QIODevice::ReadWrite)) {
        qDebug() << "serial port reopened:" << serialPort->portName();
        serialStream.clear();
        serialRetryTimer->stop();
        linkStatus->linkOpened();
    }
}

void MainWindow::setLinkTitle(const QString &endpoint)
{
    setWindowTitle(tr("Kolvane Meters") + QStringLiteral(" - (") + endpoint + QStringLiteral(")"));
}
