#include "mainwindow.h"

#include "linkstatus.h"
#include "silencewatch.h"

#include <QDebug>
#include <QHostAddress>
#include <QLoggingCategory>
#include <QSerialPort>
#include <QUdpSocket>

void MainWindow::onDataAvailable()
{
    // Checked first: a debug line costs more to build than the read itself, and is skipped where
    // debug output is turned off (QT_LOGGING_RULES="default.debug=false").
    if (QLoggingCategory::defaultCategory()->isDebugEnabled())
        qDebug() << "data arrived.. ";
    if (!serialPort)
        return;
    // Reads are not frames: the stream decoder finds the frames in whatever the port delivers.
    serialStream.feed(serialPort->readAll(), [this](const char *frame) { processFrame(frame); });
}

void MainWindow::processFrame(const char *frame)
{
    for (int k = 0; k < LevelFrame::LevelCount; ++k)
        targetLevels[size_t(k)] = LevelFrame::levelFromWord(LevelFrame::wordAt(frame, k));
    wakeRelease();
    // First: a frame that brings the signal back turns the lamp green, which wakes the silence watch.
    linkStatus->frameArrived();
    silenceWatch->frame(targetLevels[0], targetLevels[1]);

    if (udpSocket && linkSettings.is_server && linkSettings.use_udp)
        udpSocket->writeDatagram(frame, LevelFrame::Size, multicast.destination(),
                                 portNumber(linkSettings.server_port));
}
