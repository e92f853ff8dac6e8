#pragma once

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "cursorhider.h"
#include "kiosk.h"
#include "linkstatus.h"
#include "mylabel.h"
#include "screenawake.h"
#include "silencewatch.h"
#include "statuslamp.h"
#include "walldisplay.h"
#include "webview.h"
#include "zelppmmeter.h"

#include <QSerialPort>
#include <QTest>
#include <QUdpSocket>
#include <QtWidgets>

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
    static myLabel *settingsLabel(MainWindow &w) { return w.settingsLabel; }
    static StatusLamp *timeSyncLamp(MainWindow &w) { return w.timeSyncLamp; }
    static WallDisplay *wall(MainWindow &w) { return w.wallDisplay; }
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
    static WebView *webView(MainWindow &w) { return w.webView; }

    static bool shown(QWidget &w)
    {
        w.show();
        return QTest::qWaitForWindowExposed(&w);
    }
    static void setupLink(MainWindow &w) { w.setupLink(); }
    static void processFrame(MainWindow &w, const char *frame) { w.processFrame(frame); }
    static void meterRelease(MainWindow &w) { w.meterRelease(); }
    static void udpReceive(MainWindow &w) { w.udpReceive(); }

    // Each stored setting as the parts of the window use it, "key=value" by key, as the store writes it.
    static QStringList settingsInUse(MainWindow &w)
    {
        const auto text = [](bool on) { return on ? QStringLiteral("true") : QStringLiteral("false"); };
        const QList<ZelPPMMeter *> meters = w.findChildren<ZelPPMMeter *>();
        const auto onAllMeters = [&](bool (ZelPPMMeter::*isOn)() const) {
            return text(meters.size() == 6 && std::all_of(meters.cbegin(), meters.cend(),
                                                          [&](ZelPPMMeter *m) { return (m->*isOn)(); }));
        };
        const LinkSettings &l = w.linkSettings;
        const QRect g = w.geometry();
        const SilenceAlarm &alarm = w.silenceWatch->state();
        const QList<QScreen *> screens = QGuiApplication::screens();
        QStringList used;
        used << "is_server=" + text(l.is_server) << "use_udp=" + text(l.use_udp)
             << "serialport=" + l.serialport << "server_host=" + l.server_host
             << "server_port=" + l.server_port << "client_host=" + l.client_host
             << "client_port=" + l.client_port << "labelMeter1=" + w.labelMeter1->text()
             << "labelMeter2=" + w.labelMeter2->text() << "labelMeter3=" + w.labelMeter3->text()
             << QStringLiteral("signal_timeout_ms=%1").arg(w.linkStatus->timeout())
             << QStringLiteral("current_screen=%1")
                    .arg(screens.indexOf(QGuiApplication::screenAt(g.topLeft())))
             << QStringLiteral("geometry=%1,%2 %3x%4").arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height())
             << "full_screen=" + text(w.wallDisplay->kiosk()->isFullScreen())
             << QStringLiteral("hide_cursor_s=%1").arg(w.wallDisplay->cursorHider()->delayMs() / 1000.0)
             << "keep_screen_awake=" + text(w.wallDisplay->screenAwake()->isEnabled())
             << "pixel_shift=" + text(w.wallDisplay->options().pixelShift)
             << "peak_hold=" + onAllMeters(&ZelPPMMeter::peakHold)
             << "over_indicator=" + onAllMeters(&ZelPPMMeter::overIndicator)
             << "silence_alarm=" + text(w.silenceWatch->isEnabled())
             << QStringLiteral("silence_threshold_db=%1").arg(alarm.threshold())
             << QStringLiteral("silence_delay_s=%1").arg(alarm.delay() / 1000.0);
        used.sort();
        return used;
    }
    // Runs answer on the next modal dialog, from inside its event loop.
    static void onNextDialog(const std::function<void(QDialog *)> &answer)
    {
        QTimer::singleShot(0, [answer] {
            if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
                answer(dialog);
        });
    }
    // The list with some "key=value" entries replaced.
    static QStringList with(QStringList settings, const QStringList &changes)
    {
        for (const QString &change : changes)
            settings.replaceInStrings(QRegularExpression('^' + change.section('=', 0, 0) + "=.*"), change);
        return settings;
    }
};
