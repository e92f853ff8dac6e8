#pragma once

#include "backdrop.h"
#include "framestream.h"
#include "linksettings.h"
#include "meteroptions.h"
#include "rowrunimage.h"
#include "udpmulticast.h"

#include <QMainWindow>
#include <QRect>
#include <QSize>

#include <array>
#include <utility>

class CCommDialog;
class LinkStatus;
class MeterFramePacer;
class TickedReads;
class TimeSync;
class WebView;
class QPixmap;
class QRegion;
class QSerialPort;
class QTimer;
class QUdpSocket;
class ScaleBackground;
class SettingsWriter;
class WallDisplay;
class StatusLamp;
class SilenceWatch;
class ZelPPMMeter;
class myLabel;

namespace Ui {
class MainWindow;
}

// The one window: it owns the form, the meters' levels, the links and the settings, and wires them.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private Q_SLOTS:
    void onDataAvailable();
    void meterRelease();
    void openSettings();
    void udpReceive();
    void labelMeter1Clicked();
    void labelMeter2Clicked();
    void labelMeter3Clicked();

private:
    static constexpr int ScaledWidgetCount = 16;

    // Start-up and shutdown
    void configureDisplay();
    void showTimeSync();
    // Settings
    void readSettings();
    void writeSettings();
    int currentScreen() const;
    // Layout scaling
    void scaleLayout(const QRegion &painting);
    void scalePictures();
    // Captions
    void editCaption(myLabel *caption, const char *prompt);
    // Frames and release
    void processFrame(const char *frame);
    void stepMeter(ZelPPMMeter *meter, double &targetLevel);
    void resetLevels();
    void wakeRelease();
    // Link set-up
    void setupLink();
    void openSerialPort();
    void closeSerialPort();
    void onSerialError();
    void retrySerialPort();
    void setLinkTitle(const QString &endpoint);

    Ui::MainWindow *ui = nullptr;
    QSerialPort *serialPort = nullptr;
    QTimer *releaseTimer = nullptr;
    CCommDialog *commDialog = nullptr;
    QSize windowSize;
    QPixmap *background = nullptr;
    QPixmap *backgroundEmpty = nullptr;
    RowRunImage scaledBackground;
    // The plain panel where it shows beside the background.
    Backdrop backdrop;
    // The background with the marks of the meters' scale.
    ScaleBackground *scaleBackground = nullptr;
    bool resizePending = false;
    std::pair<QSize, QSize> scaledFor; // the window and picture sizes the pixmaps were scaled for
    myLabel *settingsLabel = nullptr;
    myLabel *labelMeter1 = nullptr;
    myLabel *labelMeter2 = nullptr;
    myLabel *labelMeter3 = nullptr;
    std::array<QRect, ScaledWidgetCount> designGeometry;
    std::array<double, LevelFrame::LevelCount> targetLevels{};
    double releaseStep = 0.0;
    int releaseInterval = 0;
    LinkSettings linkSettings;
    QUdpSocket *udpSocket = nullptr;
    // The relay's group beside the broadcast, as the last link set-up chose it.
    UdpMulticast multicast;

    // Beyond the classic members: the stream decoder, and the timer that reopens a vanished port.
    FrameStream serialStream;
    QTimer *serialRetryTimer = nullptr;
    // Full screen, pointer, screen saver, context menu and display options.
    WallDisplay *wallDisplay = nullptr;
    // The link lamp and the watch on the frames that sets it.
    StatusLamp *linkLamp = nullptr;
    LinkStatus *linkStatus = nullptr;
    // Peak hold, over lamps and the silence alarm, and the watch that shows the alarm.
    MeterOptions meterOptions;
    SilenceWatch *silenceWatch = nullptr;
    // Beside "System Time": whether the system clock is synchronised.
    StatusLamp *timeSyncLamp = nullptr;
    // Repaints the release's moves no more often than the screen shows frames.
    MeterFramePacer *meterFramePacer = nullptr;
    TickedReads *tickedReads = nullptr;
    // Stores every setting at once when the user changes one, and at exit.
    SettingsWriter *settingsWriter = nullptr;
    TimeSync *timeSync = nullptr;
    // The display on the network: off unless the settings give it a port.
    WebView *webView = nullptr;

    friend class MainWindowTestAccess;
};
