#include "x11display.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QString>

#ifdef KOLVANE_HAVE_X11
// Xlib's macros (Bool, None, Status...) clash with Qt's names, so these come last.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>
#endif

namespace X11Display {

bool isInUse()
{
#ifdef KOLVANE_HAVE_X11
    return QGuiApplication::platformName() == QLatin1String("xcb");
#else
    return false;
#endif
}

#ifdef KOLVANE_HAVE_X11
namespace {

// The window a root property names, or 0.
::Window windowProperty(Display *display, ::Window window, Atom property)
{
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char *data = nullptr;
    ::Window result = 0;
    if (XGetWindowProperty(display, window, property, 0, 1, False, XA_WINDOW, &type, &format, &count,
                           &remaining, &data) == Success &&
        type == XA_WINDOW && format == 32 && count == 1)
        result = *reinterpret_cast<::Window *>(data);
    if (data)
        XFree(data);
    return result;
}

} // namespace
#endif

bool windowManagerRunning()
{
#ifdef KOLVANE_HAVE_X11
    if (!isInUse())
        return true;
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return true;
    // A manager sets the check property on the root window and on its own check window alike; a
    // value left behind by a manager that has gone names a window that no longer says so.
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
    const ::Window child = windowProperty(display, DefaultRootWindow(display), check);
    const bool running = child != 0 && windowProperty(display, child, check) == child;
    XCloseDisplay(display);
    return running;
#else
    return true;
#endif
}

std::unique_ptr<ScreenSaverSuspension> ScreenSaverSuspension::start()
{
#ifdef KOLVANE_HAVE_X11
    if (!isInUse())
        return nullptr;
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return nullptr;
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    // Suspension came with version 1.1 of the extension.
    if (!XScreenSaverQueryExtension(display, &eventBase, &errorBase) ||
        !XScreenSaverQueryVersion(display, &major, &minor) || major < 1 || (major == 1 && minor < 1)) {
        XCloseDisplay(display);
        return nullptr;
    }
    XScreenSaverSuspend(display, True);
    XFlush(display);
    return std::unique_ptr<ScreenSaverSuspension>(new ScreenSaverSuspension(display));
#else
    return nullptr;
#endif
}

ScreenSaverSuspension::~ScreenSaverSuspension()
{
#ifdef KOLVANE_HAVE_X11
    auto *x = static_cast<Display *>(display);
    XScreenSaverSuspend(x, False);
    XCloseDisplay(x);
#endif
}

} // namespace X11Display
