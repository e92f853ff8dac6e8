#include "screenawake.h"

#include "waylandidleinhibit.h"
#include "x11display.h"

#include <QDebug>
#include <QGuiApplication>
#include <QStringList>

#ifdef Q_OS_LINUX
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#endif
#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {
#ifdef Q_OS_LINUX
const QString ScreenSaverService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString ScreenSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");
// A service that does not answer must not hold up the start or the end of the display for long.
constexpr int CallTimeoutMs = 2000;
#endif
} // namespace

ScreenAwake::ScreenAwake(QWidget *window, QObject *parent) : QObject(parent), window(window) {}

ScreenAwake::~ScreenAwake()
{
    release();
}

void ScreenAwake::setEnabled(bool on)
{
    if (on == enabled)
        return;
    enabled = on;
    if (on)
        acquire();
    else
        release();
}

void ScreenAwake::acquire()
{
#ifdef Q_OS_LINUX
    if ((idleInhibit = WaylandIdleInhibit::start(window))) {
        held = Hold::WaylandIdleInhibitor;
    } else if (inhibitThroughService()) {
        held = Hold::ScreenSaverService;
    } else if ((suspension = X11Display::ScreenSaverSuspension::start())) {
        held = Hold::X11Suspension;
    }
#elif defined(Q_OS_WIN)
    if (SetThreadExecutionState(ES_CONTINUOUS | ES_DISPLAY_REQUIRED) != 0)
        held = Hold::WindowsExecutionState;
#endif
    static const char *const ways[] = {"nothing", "the screen saver service", "the X screen saver",
                                       "the display-required state", "the compositor's idle inhibitor"};
    if (held == Hold::None)
        qDebug().noquote() << "screen may blank:" << whyNothing();
    else
        qDebug() << "screen kept awake through" << ways[int(held)];
}

QString ScreenAwake::whyNothing()
{
    QStringList why;
#ifdef Q_OS_LINUX
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("wayland"))
        why << (WaylandIdleInhibit::isBuiltIn() ? "the compositor offers no idle inhibitor"
                                                : "this build has no Wayland support");
    why << "no screen saver service answers on the session bus";
    if (platform == QLatin1String("xcb"))
        why << "the X server's screen saver cannot be suspended";
    else if (platform != QLatin1String("wayland"))
        why << "the platform " + platform + " has no screen saver of its own to ask";
#elif defined(Q_OS_WIN)
    why << "the display-required state was refused";
#else
    why << "this system has no way built in";
#endif
    return why.join(", ");
}

bool ScreenAwake::inhibitThroughService()
{
#ifdef Q_OS_LINUX
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(ScreenSaverService))
        return false;
    QDBusMessage call =
        QDBusMessage::createMethodCall(ScreenSaverService, ScreenSaverPath, ScreenSaverService, "Inhibit");
    call << QCoreApplication::applicationName() << QStringLiteral("Studio level display on the wall");
    const QDBusMessage reply = bus.call(call, QDBus::Block, CallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    cookie = reply.arguments().constFirst().toUInt();
    return true;
#else
    return false;
#endif
}

void ScreenAwake::release()
{
    switch (held) {
    case Hold::None:
        return;
    case Hold::ScreenSaverService: {
#ifdef Q_OS_LINUX
        QDBusMessage call = QDBusMessage::createMethodCall(ScreenSaverService, ScreenSaverPath,
                                                           ScreenSaverService, "UnInhibit");
        call << cookie;
        QDBusConnection::sessionBus().call(call, QDBus::Block, CallTimeoutMs);
#endif
        break;
    }
    case Hold::X11Suspension:
        suspension.reset();
        break;
    case Hold::WaylandIdleInhibitor:
        idleInhibit.reset();
        break;
    case Hold::WindowsExecutionState:
#ifdef Q_OS_WIN
        SetThreadExecutionState(ES_CONTINUOUS);
#endif
        break;
    }
    held = Hold::None;
    qDebug() << "screen may blank again";
}
