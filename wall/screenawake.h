#pragma once

#include <QObject>

#include <memory>

namespace X11Display {
class ScreenSaverSuspension;
}
class QWidget;
class WaylandIdleInhibit;

// Keeps the screen from blanking while the display runs: on Linux under Wayland through the
// compositor's idle inhibitor on the window, where it offers one; else through the desktop's screen
// saver service on the session bus where one runs, else through the X server's screen saver; on
// Windows through the thread's execution state. Released when turned off and when destroyed.
class ScreenAwake : public QObject
{
    Q_OBJECT

public:
    enum class Hold
    {
        None,
        ScreenSaverService, // org.freedesktop.ScreenSaver Inhibit
        X11Suspension,
        WindowsExecutionState,
        WaylandIdleInhibitor, // on the window's surface while it is shown
    };

    // The window whose surface a Wayland compositor is asked to keep awake; none for the other ways.
    explicit ScreenAwake(QWidget *window = nullptr, QObject *parent = nullptr);
    ~ScreenAwake() override;

    void setEnabled(bool on);
    bool isEnabled() const { return enabled; }
    // How the screen is held awake now; None also where nothing could hold it.
    Hold hold() const { return held; }

private:
    void acquire();
    void release();
    bool inhibitThroughService();
    static QString whyNothing();

    QWidget *window;
    bool enabled = false;
    Hold held = Hold::None;
    uint cookie = 0;
    std::unique_ptr<X11Display::ScreenSaverSuspension> suspension;
    std::unique_ptr<WaylandIdleInhibit> idleInhibit;
};
