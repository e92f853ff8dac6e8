#include "x11display.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QGuiApplication>
#include <QString>

#include <utility>

#if defined(KOLVANE_HAVE_X11) && QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
#include <qpa/qplatformnativeinterface.h>
#endif

#ifdef KOLVANE_HAVE_X11
// Xlib's macros (Bool, None, Status...) clash with Qt's names, so these come last.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>
#include <xcb/xcb.h>
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

// The connection Qt opened to the window's server, or null.
Display *qtDisplay()
{
    if (!isInUse())
        return nullptr;
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    const auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->display() : nullptr;
#else
    QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
    return native ? static_cast<Display *>(native->nativeResourceForIntegration(QByteArrayLiteral("display")))
                  : nullptr;
#endif
}

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

// The running manager's check window, or 0. A manager sets the check property on the root window and
// on its own check window alike; a value left behind by a manager that has gone names a window that no
// longer says so.
::Window managerCheckWindow(Display *display)
{
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
    const ::Window child = windowProperty(display, DefaultRootWindow(display), check);
    return child != 0 && windowProperty(display, child, check) == child ? child : 0;
}

} // namespace
#endif

bool windowManagerRunning()
{
#ifdef KOLVANE_HAVE_X11
    Display *display = qtDisplay();
    return !display || managerCheckWindow(display) != 0;
#else
    return true;
#endif
}

// Sees the check window's end among the events of Qt's connection.
struct ManagerWatch::Filter : QAbstractNativeEventFilter
{
    unsigned long window = 0;
    std::function<void()> gone;
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    bool nativeEventFilter(const QByteArray &type, void *message, qintptr *) override
#else
    bool nativeEventFilter(const QByteArray &type, void *message, long *) override
#endif
    {
#ifdef KOLVANE_HAVE_X11
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        if (gone && type == "xcb_generic_event_t" && (event->response_type & ~0x80) == XCB_DESTROY_NOTIFY &&
            reinterpret_cast<const xcb_destroy_notify_event_t *>(event)->window == window)
            std::exchange(gone, nullptr)();
#else
        Q_UNUSED(type)
        Q_UNUSED(message)
#endif
        return false;
    }
};

ManagerWatch::ManagerWatch(std::unique_ptr<Filter> filter) : filter(std::move(filter))
{
    QCoreApplication::instance()->installNativeEventFilter(this->filter.get());
}

ManagerWatch::~ManagerWatch()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(filter.get());
}

std::unique_ptr<ManagerWatch> ManagerWatch::start(std::function<void()> gone)
{
#ifdef KOLVANE_HAVE_X11
    Display *display = qtDisplay();
    const ::Window window = display ? managerCheckWindow(display) : 0;
    if (!window)
        return nullptr;
    auto filter = std::make_unique<Filter>();
    filter->window = window;
    filter->gone = std::move(gone);
    std::unique_ptr<ManagerWatch> watch(new ManagerWatch(std::move(filter)));
    XSelectInput(display, window, StructureNotifyMask);
    // A manager that ended before the selection took hold sends nothing more.
    if (managerCheckWindow(display) != window)
        std::exchange(watch->filter->gone, nullptr)();
    return watch;
#else
    Q_UNUSED(gone)
    return nullptr;
#endif
}

std::unique_ptr<ScreenSaverSuspension> ScreenSaverSuspension::start()
{
#ifdef KOLVANE_HAVE_X11
    Display *display = qtDisplay();
    if (!display)
        return nullptr;
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    // Suspension came with version 1.1 of the extension.
    if (!XScreenSaverQueryExtension(display, &eventBase, &errorBase) ||
        !XScreenSaverQueryVersion(display, &major, &minor) || major < 1 || (major == 1 && minor < 1))
        return nullptr;
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
    // Qt's connection outlives this: the suspension would otherwise last as long as the program. Once
    // the connection has gone, so has the suspension.
    auto *x = static_cast<Display *>(display);
    if (qtDisplay() != x)
        return;
    XScreenSaverSuspend(x, False);
    XFlush(x);
#endif
}

} // namespace X11Display
