#pragma once

#include "displayoptions.h"

#include <QObject>

class CursorHider;
class DisplayMenu;
class Kiosk;
class QSettings;
class QTimer;
class QWidget;
class ScreenAwake;

// What makes the window a wall display that runs by itself: the context menu, full screen, the
// hidden pointer, the screen kept awake and the display options. The window only creates it and
// hands it the settings.
class WallDisplay : public QObject
{
    Q_OBJECT

public:
    explicit WallDisplay(QWidget *window);

    // The window's place on the screens and full screen, and the display options.
    void readSettings(const QSettings &settings);
    void writeSettings(QSettings &settings) const;
    // Offers the signal timeout in the display options; without this call the dialog hides it.
    void setSignalTimeoutMs(int ms);
    // Likewise offers the metering options.
    void setMeterOptions(const MeterChoices &options);
    // Likewise the web view's port and address.
    void setWebChoices(const WebChoices &choices);

    DisplayOptions options() const;
    void apply(const DisplayOptions &options);

    // Where the picture goes in a window of this size: all of it, or with the pixel shift on, the
    // window less the shift's reach, moved along the shift's path.
    QRect pictureArea(const QSize &window) const;

    Kiosk *kiosk() const { return kioskMode; }
    CursorHider *cursorHider() const { return cursor; }
    ScreenAwake *screenAwake() const { return awake; }
    DisplayMenu *menu() const { return displayMenu; }

signals:
    // The user changed what the store holds: full screen, or the display options after OK.
    void settingsChanged();
    void communicationSettingsRequested();
    void signalTimeoutMsChanged(int ms);
    void meterOptionsChanged(const MeterChoices &options);
    void webChoicesChanged(const WebChoices &choices);
    // The picture area has changed: the pixel shift was turned on or off, or took a step.
    void pictureMoved();

public slots:
    void openDisplayOptions();
    void showAbout();
    // One step of the pixel shift's path; a timer takes them while the shift is on.
    void shiftPicture();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *window;
    Kiosk *kioskMode;
    CursorHider *cursor;
    ScreenAwake *awake;
    DisplayMenu *displayMenu;
    DisplayOptions current;
    QTimer *shiftTimer;
    qint64 shiftStep = 0;
};
