#include "walldisplay.h"

#include "autostart.h"
#include "cursorhider.h"
#include "displaymenu.h"
#include "displaysettings.h"
#include "kiosk.h"
#include "pixelshift.h"
#include "screenawake.h"
#include "screenoutput.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QSettings>
#include <QTimer>
#include <QWidget>

namespace {
constexpr int MsPerSecond = 1000;
const QString ScreenNameKey = QStringLiteral("current_screen_name");

// The output's name, under Wayland only: the index counts there only when the name has gone.
QString storedScreenName(const QSettings &settings)
{
    const QVariant name = settings.value(ScreenNameKey);
    return ScreenOutput::positionsMeanNothing() && name.userType() == QMetaType::QString ? name.toString()
                                                                                         : QString();
}
} // namespace

WallDisplay::WallDisplay(QWidget *window)
    : QObject(window), window(window), kioskMode(new Kiosk(window)), cursor(new CursorHider(window)),
      awake(new ScreenAwake(window, this)), displayMenu(new DisplayMenu(window)), shiftTimer(new QTimer(this))
{
    shiftTimer->setInterval(PixelShift::StepIntervalMs);
    connect(shiftTimer, &QTimer::timeout, this, &WallDisplay::shiftPicture);
    window->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(window, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { displayMenu->menu()->popup(this->window->mapToGlobal(pos)); });
    window->installEventFilter(this);

    connect(displayMenu->communicationSettings, &QAction::triggered, this,
            &WallDisplay::communicationSettingsRequested);
    connect(displayMenu->displayOptions, &QAction::triggered, this, &WallDisplay::openDisplayOptions);
    // The tick shows the state, not the click.
    connect(displayMenu->fullScreen, &QAction::triggered, kioskMode, [this](bool on) {
        kioskMode->setFullScreen(on);
        displayMenu->fullScreen->setChecked(kioskMode->isFullScreen());
    });
    connect(displayMenu->leaveFullScreen, &QAction::triggered, kioskMode,
            [this] { kioskMode->setFullScreen(false); });
    connect(kioskMode, &Kiosk::fullScreenChanged, displayMenu->fullScreen, &QAction::setChecked);
    connect(kioskMode, &Kiosk::fullScreenChanged, this, &WallDisplay::settingsChanged);
    connect(displayMenu->about, &QAction::triggered, this, &WallDisplay::showAbout);
    // As closing the window does: the event loop ends and the window stores the settings.
    connect(displayMenu->quit, &QAction::triggered, window, &QWidget::close);
}

void WallDisplay::readSettings(const QSettings &settings)
{
    DisplayOptions stored = DisplaySettings::read(settings);
    stored.startAtLogin = Autostart::isEnabled();
    // Settings stored before the full-screen option existed keep the state their geometry record holds.
    std::optional<bool> fullScreen;
    if (settings.contains(QStringLiteral("full_screen")))
        fullScreen = stored.fullScreen;
    kioskMode->restore(settings.value(QStringLiteral("geometry")).toByteArray(), fullScreen,
                       settings.value(QStringLiteral("current_screen")).toInt(), storedScreenName(settings));
    stored.fullScreen = kioskMode->isFullScreen();
    apply(stored);
}

void WallDisplay::writeSettings(QSettings &settings) const
{
    DisplaySettings::write(settings, options());
    settings.setValue(QStringLiteral("geometry"), kioskMode->savedGeometry());
    settings.setValue(QStringLiteral("current_screen"), kioskMode->screenIndex());
    // Where positions tell the screen, the index alone does.
    if (const QString name = kioskMode->outputName(); !name.isEmpty())
        settings.setValue(ScreenNameKey, name);
    else
        settings.remove(ScreenNameKey);
}

void WallDisplay::setSignalTimeoutMs(int ms)
{
    current.signalTimeoutMs = ms;
}

void WallDisplay::setMeterOptions(const MeterChoices &options)
{
    current.metering = options;
}

void WallDisplay::setWebChoices(const WebChoices &choices)
{
    current.web = choices;
}

DisplayOptions WallDisplay::options() const
{
    DisplayOptions now = current;
    now.fullScreen = kioskMode->isFullScreen();
    now.startAtLogin = Autostart::isEnabled();
    return now;
}

void WallDisplay::apply(const DisplayOptions &options)
{
    kioskMode->setFullScreen(options.fullScreen);
    cursor->setDelayMs(options.hideCursorSeconds * MsPerSecond);
    awake->setEnabled(options.keepScreenAwake);
    if (options.startAtLogin != Autostart::isEnabled() && !Autostart::setEnabled(options.startAtLogin))
        qWarning("cannot change the autostart entry %s", qPrintable(Autostart::location()));
    const bool timeoutChanged = options.signalTimeoutMs && options.signalTimeoutMs != current.signalTimeoutMs;
    const bool meteringChanged = options.metering && options.metering != current.metering;
    const bool webChanged = options.web && options.web != current.web;
    // Options that do not carry the offered timeout or metering (those read from the store) keep the
    // offers, so offering them before or after the settings are read comes to the same.
    const std::optional<int> offeredTimeout = current.signalTimeoutMs;
    const std::optional<MeterChoices> offeredMetering = current.metering;
    const std::optional<WebChoices> offeredWeb = current.web;
    const bool shiftChanged = options.pixelShift != current.pixelShift;
    current = options;
    if (shiftChanged) {
        if (options.pixelShift)
            shiftTimer->start();
        else
            shiftTimer->stop();
        emit pictureMoved();
    }
    if (!current.signalTimeoutMs)
        current.signalTimeoutMs = offeredTimeout;
    if (!current.metering)
        current.metering = offeredMetering;
    if (!current.web)
        current.web = offeredWeb;
    if (timeoutChanged)
        emit signalTimeoutMsChanged(*options.signalTimeoutMs);
    if (meteringChanged)
        emit meterOptionsChanged(*options.metering);
    if (webChanged)
        emit webChoicesChanged(*options.web);
}

QRect WallDisplay::pictureArea(const QSize &window) const
{
    return current.pixelShift ? PixelShift::pictureArea(window, shiftStep) : QRect(QPoint(), window);
}

void WallDisplay::shiftPicture()
{
    ++shiftStep;
    if (current.pixelShift)
        emit pictureMoved();
}

void WallDisplay::openDisplayOptions()
{
    CDisplayOptions dialog(window, options());
    if (dialog.exec() != QDialog::Accepted)
        return;
    apply(dialog.options());
    emit settingsChanged();
}

void WallDisplay::showAbout()
{
    const QString text = QCoreApplication::translate("MainWindow", "<p><b>Kolvane Meters %1</b></p>"
                                                                   "<p>Studio level display and clock.</p>"
                                                                   "<p>Running on Qt %2.</p>"
                                                                   "<p>Settings: %3</p>")
                             .arg(QStringLiteral(KOLVANE_VERSION), QString::fromLatin1(qVersion()),
                                  QSettings().fileName().toHtmlEscaped());
    QMessageBox::about(window, QCoreApplication::translate("MainWindow", "About Kolvane Meters"), text);
}

bool WallDisplay::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == window && event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        kioskMode->toggleFullScreen();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
