#include "waylandidleinhibit.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

#ifdef KOLVANE_HAVE_WAYLAND
#include "idle-inhibit-unstable-v1-client-protocol.h"

#include <qpa/qplatformnativeinterface.h>
#include <wayland-client.h>

#include <cstring>

// The manager is bound on an event queue of this class's own, so that nothing here dispatches Qt's
// events or waits on Qt's queue.
struct WaylandIdleInhibit::Protocol
{
    wl_display *display = nullptr;
    wl_event_queue *queue = nullptr;
    wl_display *onQueue = nullptr; // the display's wrapper whose requests make objects on the queue
    wl_registry *registry = nullptr;
    zwp_idle_inhibit_manager_v1 *manager = nullptr;
    zwp_idle_inhibitor_v1 *inhibitor = nullptr;
    void *surface = nullptr; // the one the inhibitor is on

    static void global(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t)
    {
        auto *self = static_cast<Protocol *>(data);
        if (!self->manager && std::strcmp(interface, zwp_idle_inhibit_manager_v1_interface.name) == 0)
            self->manager = static_cast<zwp_idle_inhibit_manager_v1 *>(
                wl_registry_bind(registry, name, &zwp_idle_inhibit_manager_v1_interface, 1));
    }
    static void globalRemove(void *, wl_registry *, uint32_t) {}

    // Asks the compositor for its globals once, and binds the manager if it offers one.
    bool bind(wl_display *qtDisplay)
    {
        static const wl_registry_listener listener = {&Protocol::global, &Protocol::globalRemove};
        display = qtDisplay;
        queue = wl_display_create_queue(display);
        onQueue = static_cast<wl_display *>(wl_proxy_create_wrapper(display));
        if (!queue || !onQueue)
            return false;
        wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(onQueue), queue);
        registry = wl_display_get_registry(onQueue);
        wl_registry_add_listener(registry, &listener, this);
        return wl_display_roundtrip_queue(display, queue) >= 0 && manager;
    }
    void inhibit(wl_surface *on)
    {
        if (on == surface && inhibitor)
            return;
        release();
        inhibitor = zwp_idle_inhibit_manager_v1_create_inhibitor(manager, on);
        surface = on;
        wl_display_flush(display);
    }
    void release()
    {
        if (!inhibitor)
            return;
        zwp_idle_inhibitor_v1_destroy(inhibitor);
        inhibitor = nullptr;
        surface = nullptr;
        wl_display_flush(display);
    }
    ~Protocol()
    {
        release();
        if (manager)
            zwp_idle_inhibit_manager_v1_destroy(manager);
        if (registry)
            wl_registry_destroy(registry);
        if (onQueue)
            wl_proxy_wrapper_destroy(onQueue);
        if (queue)
            wl_event_queue_destroy(queue);
    }
};

bool WaylandIdleInhibit::isBuiltIn()
{
    return true;
}

std::unique_ptr<WaylandIdleInhibit> WaylandIdleInhibit::start(QWidget *window)
{
    QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
    if (!window || QGuiApplication::platformName() != QLatin1String("wayland") || !native)
        return nullptr;
    auto *display = static_cast<wl_display *>(native->nativeResourceForIntegration("wl_display"));
    auto protocol = std::make_unique<Protocol>();
    if (!display || !protocol->bind(display))
        return nullptr;
    return std::unique_ptr<WaylandIdleInhibit>(new WaylandIdleInhibit(window, std::move(protocol)));
}

void WaylandIdleInhibit::follow(bool shown)
{
    auto *surface =
        shown && handle && handle->isExposed()
            ? static_cast<wl_surface *>(
                  QGuiApplication::platformNativeInterface()->nativeResourceForWindow("surface", handle))
            : nullptr;
    if (surface)
        protocol->inhibit(surface);
    else
        protocol->release();
}

#else // Without wayland-client there is nothing to bind.

struct WaylandIdleInhibit::Protocol
{
};

bool WaylandIdleInhibit::isBuiltIn()
{
    return false;
}

std::unique_ptr<WaylandIdleInhibit> WaylandIdleInhibit::start(QWidget *)
{
    return nullptr;
}

void WaylandIdleInhibit::follow(bool) {}

#endif

WaylandIdleInhibit::WaylandIdleInhibit(QWidget *window, std::unique_ptr<Protocol> protocol)
    : window(window), protocol(std::move(protocol))
{
    // The window's own window exists from its first show on.
    window->installEventFilter(this);
    watchHandle();
}

WaylandIdleInhibit::~WaylandIdleInhibit() = default;

void WaylandIdleInhibit::watchHandle()
{
    if (handle || !window || !window->windowHandle())
        return;
    handle = window->windowHandle();
    handle->installEventFilter(this);
    follow(true);
}

bool WaylandIdleInhibit::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == window && event->type() == QEvent::Show)
        watchHandle();
    else if (watched == handle && (event->type() == QEvent::Expose || event->type() == QEvent::Hide))
        follow(event->type() == QEvent::Expose);
    return QObject::eventFilter(watched, event);
}
