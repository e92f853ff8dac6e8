#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "linkstatus.h"
#include "meterframepacer.h"
#include "mylabel.h"
#include "scalebackground.h"
#include "settingswriter.h"
#include "silencewatch.h"
#include "startuplook.h"
#include "statuslamp.h"
#include "tickedreads.h"
#include "timesync.h"
#include "walldisplay.h"
#include "webview.h"
#include "zelanalogclock.h"
#include "zeldigitalclock.h"
#include "zelppmmeter.h"

#include <QCoreApplication>
#include <QPixmap>
#include <QRegion>
#include <QSerialPort>
#include <QTimer>
#include <QUdpSocket>

// Resources live in a static library, so they are registered explicitly.
static void initResources()
{
    Q_INIT_RESOURCE(kolvane);
}

namespace {

constexpr int VersionMajor = 1;
constexpr int VersionMinor = 9;
constexpr int SerialRetryIntervalMs = 1000;

const char *const BackgroundResource = ":/resources/png/KolvaneBackground.png";
const char *const BackdropResource = ":/resources/png/KolvaneBackgroundEmpty.png";
const char *const SettingsIconStyle = "image: url(:/resources/png/Settings.png);";
const char *const WhiteTextStyle = "QLabel\n{\ncolor: rgb(255, 255, 255);\n}";

const QRect SettingsIconGeometry(900, 28, 25, 25);
// Left of the gear, on the light end of the title band, clear of its marks.
const QRect LinkLampGeometry(876, 33, 15, 15);
const QRect Caption1Geometry(44, 502, 121, 31);
const QRect Caption2Geometry(194, 502, 131, 31);
const QRect Caption3Geometry(830, 502, 101, 31);
const QRect AnalogClockGeometry(348, 85, 410, 410);
// Right of the centred words "System Time", inside the caption band.
const QRect TimeSyncLampGeometry(632, 511, 15, 15);

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    initResources();
    ui = new Ui::MainWindow;
    windowSize = QSize(-1, -1);
    ui->setupUi(this);

    QCoreApplication::setOrganizationName(QStringLiteral("Zelvoort"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("zelvoort.nl"));
    QCoreApplication::setApplicationName(QStringLiteral("Kolvane Meters"));

    settingsLabel = new myLabel(QString(), this);
    settingsLabel->setStyleSheet(QString::fromLatin1(SettingsIconStyle));
    settingsLabel->setGeometry(SettingsIconGeometry);

    linkLamp = new StatusLamp(this);
    linkLamp->setGeometry(LinkLampGeometry);
    linkStatus = new LinkStatus(linkLamp, this);
    // A console gone quiet must not leave its last levels standing.
    connect(linkStatus, &LinkStatus::signalLost, this, &MainWindow::resetLevels);
    tickedReads = new TickedReads(this);

    labelMeter1 = new myLabel(QString(), this);
    labelMeter1->setGeometry(Caption1Geometry);
    labelMeter2 = new myLabel(QString(), this);
    labelMeter2->setGeometry(Caption2Geometry);
    labelMeter3 = new myLabel(QString(), this);
    labelMeter3->setGeometry(Caption3Geometry);

    ui->footerlabel->setText(tr("Copyright 2019-2026 Zelvoort - v%1.%2").arg(VersionMajor).arg(VersionMinor));

    background = new QPixmap(QString::fromLatin1(BackgroundResource));

    serialPort = nullptr;
    linkSettings.is_server = true;
    linkSettings.use_udp = false;

    udpSocket = new QUdpSocket(this);

    timeSyncLamp = new StatusLamp(ui->centralWidget);
    timeSyncLamp->setGeometry(TimeSyncLampGeometry);

    designGeometry = {ui->ProgLeft->geometry(),    ui->ProgRight->geometry(),    ui->SubLeft->geometry(),
                      ui->SubRight->geometry(),    ui->CrmLeft->geometry(),      ui->CrmRight->geometry(),
                      ui->AnalogClock->geometry(), ui->DigitalClock->geometry(), labelMeter1->geometry(),
                      labelMeter2->geometry(),     labelMeter3->geometry(),      ui->timelabel->geometry(),
                      ui->footerlabel->geometry(), settingsLabel->geometry(),    linkLamp->geometry(),
                      timeSyncLamp->geometry()};

    releaseStep = 0.133;
    resizePending = false;
    releaseInterval = 10;
    targetLevels.fill(LevelFrame::FloorDb);

    configureDisplay();
    showTimeSync();

    serialRetryTimer = new QTimer(this);
    serialRetryTimer->setInterval(SerialRetryIntervalMs);
    connect(serialRetryTimer, &QTimer::timeout, this, &MainWindow::retrySerialPort);

    wallDisplay = new WallDisplay(this);
    connect(wallDisplay, &WallDisplay::communicationSettingsRequested, this, &MainWindow::openSettings);

    silenceWatch = new SilenceWatch(labelMeter1, this);
    // Silence while the link is lost is the link lamp's business, not the alarm's.
    connect(linkStatus, &LinkStatus::lampChanged, silenceWatch, &SilenceWatch::followLinkLamp);
    webView =
        new WebView({linkStatus,
                     silenceWatch,
                     timeSync,
                     {ui->ProgLeft, ui->ProgRight, ui->SubLeft, ui->SubRight, ui->CrmLeft, ui->CrmRight},
                     {labelMeter1, labelMeter2, labelMeter3},
                     &meterOptions},
                    this);
    // The pixel shift moves the whole picture: laid out anew at once, not in the next paint. Meters
    // moved while the window paints leave a stale column: the paint was clipped to their old places.
    connect(wallDisplay, &WallDisplay::pictureMoved, this, [this] {
        if (windowSize.isValid() && !background->isNull())
            scaleLayout(QRegion()); // painting nothing: the whole window follows
    });
    // The settings come first: they hold the meter options and the signal timeout applied and offered
    // below, and setupLink opens the link they name.
    readSettings();
    const auto applyMeterOptions = [this](const MeterChoices &choices) {
        meterOptions = MeterOptions{choices};
        meterOptions.apply(
            {ui->ProgLeft, ui->ProgRight, ui->SubLeft, ui->SubRight, ui->CrmLeft, ui->CrmRight},
            silenceWatch);
        // The scale also sets the fall and the marks on the background, drawn again at the next paint.
        releaseStep = MeterScale::of(meterOptions.scale).fallDbPerTick(releaseInterval);
        webView->lookChanged();
        scaledFor = {};
        if (windowSize.isValid()) {
            resizePending = true;
            update();
        }
    };
    applyMeterOptions(meterOptions);
    wallDisplay->setMeterOptions(meterOptions);
    connect(wallDisplay, &WallDisplay::meterOptionsChanged, this, applyMeterOptions);
    wallDisplay->setSignalTimeoutMs(linkStatus->timeout());
    connect(wallDisplay, &WallDisplay::signalTimeoutMsChanged, linkStatus, &LinkStatus::setTimeout);
    wallDisplay->setWebChoices({webView->config().port, webView->config().bind});
    connect(wallDisplay, &WallDisplay::webChoicesChanged, this, [this](const WebChoices &choices) {
        WebConfig config = webView->config();
        config.port = quint16(choices.port);
        config.bind = choices.bind;
        webView->apply(config);
    });
    // Wired once the settings have been read and applied, so that reading them stores nothing.
    settingsWriter = new SettingsWriter({&linkSettings,
                                         {labelMeter1, labelMeter2, labelMeter3},
                                         linkStatus,
                                         &meterOptions,
                                         wallDisplay,
                                         webView},
                                        this);
    connect(wallDisplay, &WallDisplay::settingsChanged, settingsWriter, &SettingsWriter::write);
    setupLink();

    meterFramePacer = new MeterFramePacer(
        this, {ui->ProgLeft, ui->ProgRight, ui->SubLeft, ui->SubRight, ui->CrmLeft, ui->CrmRight},
        releaseInterval);
    releaseTimer = new QTimer(this);
    connect(releaseTimer, &QTimer::timeout, this, &MainWindow::meterRelease);
    wakeRelease();

    backgroundEmpty = new QPixmap(QString::fromLatin1(BackdropResource));
    scaleBackground = new ScaleBackground(*background, *backgroundEmpty);
}

MainWindow::~MainWindow()
{
    if (serialPort && serialPort->isOpen())
        serialPort->close();
    writeSettings();
    delete ui;
    delete background;
    delete backgroundEmpty;
    delete scaleBackground;
}

void MainWindow::configureDisplay()
{
    ui->AnalogClock->setGeometry(AnalogClockGeometry);
    StartupLook::apply(ui->AnalogClock);

    for (ZelPPMMeter *meter :
         {ui->ProgLeft, ui->ProgRight, ui->SubLeft, ui->SubRight, ui->CrmLeft, ui->CrmRight})
        meter->setGradientForground(true);

    const QList<QLabel *> whiteLabels = {labelMeter1, labelMeter2, ui->timelabel, labelMeter3};
    for (QLabel *label : whiteLabels)
        label->setStyleSheet(QString::fromLatin1(WhiteTextStyle));
    for (QLabel *label : whiteLabels)
        label->setAlignment(Qt::AlignCenter);

    connect(settingsLabel, &myLabel::clicked, this, &MainWindow::openSettings);
    // The captions are the display's editable labels: a click edits them.
    connect(labelMeter1, &myLabel::clicked, this, &MainWindow::labelMeter1Clicked);
    connect(labelMeter2, &myLabel::clicked, this, &MainWindow::labelMeter2Clicked);
    connect(labelMeter3, &myLabel::clicked, this, &MainWindow::labelMeter3Clicked);

    StartupLook::apply(ui->DigitalClock);
}

void MainWindow::showTimeSync()
{
    timeSync = new TimeSync(this);
    connect(timeSync, &TimeSync::changed, timeSyncLamp,
            [this](StatusLamp::State state, const QString &toolTip) {
                timeSyncLamp->setState(state);
                timeSyncLamp->setToolTip(toolTip);
            });
    timeSync->check();
}
