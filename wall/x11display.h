#pragma once

#include <memory>

// The few things the wall display asks of an X server directly, on a connection of its own. Kept
// apart so that no X11 header meets Qt's. Without X11 support built in, or on another platform
// plugin than xcb, there is no X server to ask: nothing is suspended and a manager is assumed.
namespace X11Display {

// Whether the X server the program shows on is X11 at all (the xcb platform plugin).
bool isInUse();

// Whether an EWMH window manager runs there (its check window is set on the root window). Without
// one, nobody acts on a full-screen request or draws a title bar.
bool windowManagerRunning();

// The X screen saver (blanking and power saving) stays suspended for as long as this lives.
class ScreenSaverSuspension
{
public:
    // Null when there is no X server to ask or it lacks the screen saver extension.
    static std::unique_ptr<ScreenSaverSuspension> start();
    ~ScreenSaverSuspension();
    ScreenSaverSuspension(const ScreenSaverSuspension &) = delete;
    ScreenSaverSuspension &operator=(const ScreenSaverSuspension &) = delete;

private:
    explicit ScreenSaverSuspension(void *display) : display(display) {}
    void *display; // the Xlib display: the suspension ends with its connection
};

} // namespace X11Display
