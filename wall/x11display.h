#pragma once

#include <functional>
#include <memory>

// The few things the wall display asks of an X server directly, on Qt's own connection: the server
// the window shows on, whichever way it was named (-display, $DISPLAY). Kept apart so that no X11
// header meets Qt's. Without X11 support built in, or on another platform plugin than xcb, there is
// no X server to ask: nothing is suspended and a manager is assumed.
namespace X11Display {

// Whether the X server the program shows on is X11 at all (the xcb platform plugin).
bool isInUse();

// Whether an EWMH window manager runs there (its check window is set on the root window). Without
// one, nobody acts on a full-screen request or draws a title bar.
bool windowManagerRunning();

// Calls gone() once the window manager that runs now has ended: its check window goes with its
// connection. A manager that ends puts its windows back as they were before it acted, yet leaves
// their state properties behind.
class ManagerWatch
{
public:
    // Null when no manager runs or there is no X server to ask.
    static std::unique_ptr<ManagerWatch> start(std::function<void()> gone);
    ~ManagerWatch();
    ManagerWatch(const ManagerWatch &) = delete;
    ManagerWatch &operator=(const ManagerWatch &) = delete;

private:
    struct Filter;
    explicit ManagerWatch(std::unique_ptr<Filter> filter);
    std::unique_ptr<Filter> filter;
};

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
    void *display; // Qt's Xlib display
};

} // namespace X11Display
