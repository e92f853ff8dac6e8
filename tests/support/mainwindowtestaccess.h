#pragma once

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "linkstatus.h"
#include "mylabel.h"
#include "silencewatch.h"
#include "statuslamp.h"

#include <QSerialPort>
#include <QTimer>
#include <QUdpSocket>

// The tests' view into the window's private state; the window befriends this class.
class MainWindowTestAccess
{
public:
    static Ui::MainWindow *ui(MainWindow &w) { return w.ui; }
    static std::array<double, LevelFrame::LevelCount> &targetLevels(MainWindow &w) { return w.targetLevels; }
    static LinkSettings &linkSettings(MainWindow &w) { return w.linkSettings; }
    static QSerialPort *serialPort(MainWindow &w) { return w.serialPort; }
    static QUdpSocket *udpSocket(MainWindow &w) { return w.udpSocket; }
    static QTimer *releaseTimer(MainWindow &w) { return w.releaseTimer; }
    static QTimer *serialRetryTimer(MainWindow &w) { return w.serialRetryTimer; }
    static CCommDialog *commDialog(MainWindow &w) { return w.commDialog; }
    static myLabel *settingsLabel(MainWindow &w) { return w.settingsLabel; }
    static StatusLamp *timeSyncLamp(MainWindow &w) { return w.timeSyncLamp; }
    static myLabel *caption(MainWindow &w, int index)
    {
        myLabel *const captions[] = {w.labelMeter1, w.labelMeter2, w.labelMeter3};
        return captions[index];
    }
    static QSize windowSize(MainWindow &w) { return w.windowSize; }
    static bool resizePending(MainWindow &w) { return w.resizePending; }
    static const FrameStream &serialStream(MainWindow &w) { return w.serialStream; }
    static LinkStatus *linkStatus(MainWindow &w) { return w.linkStatus; }
    static StatusLamp *linkLamp(MainWindow &w) { return w.linkLamp; }
    static MeterOptions &meterOptions(MainWindow &w) { return w.meterOptions; }
    static SilenceWatch *silenceWatch(MainWindow &w) { return w.silenceWatch; }

    static void setupLink(MainWindow &w) { w.setupLink(); }
    static void processFrame(MainWindow &w, const char *frame) { w.processFrame(frame); }
    static void meterRelease(MainWindow &w) { w.meterRelease(); }
    static void udpReceive(MainWindow &w) { w.udpReceive(); }
};
