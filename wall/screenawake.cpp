#include "screenawake.h"

#include "x11display.h"

#include <QCoreApplication>
#include <QDebug>

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

ScreenAwake::ScreenAwake(QObject *parent) : QObject(parent) {}

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
    if (inhibitThroughService()) {
        held = Hold::ScreenSaverService;
    } else if ((suspension = X11Display::ScreenSaverSuspension::start())) {
        held = Hold::X11Suspension;
    }
#elif defined(Q_OS_WIN)
    if (SetThreadExecutionState(ES_CONTINUOUS | ES_DISPLAY_REQUIRED) != 0)
        held = Hold::WindowsExecutionState;
#endif
    static const char *const ways[] = {"nothing", "the screen saver service", "the X screen saver",
                                       "the display-required state"};
    qDebug() << "screen kept awake through" << ways[int(held)];
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
    case Hold::WindowsExecutionState:
#ifdef Q_OS_WIN
        SetThreadExecutionState(ES_CONTINUOUS);
#endif
        break;
    }
    held = Hold::None;
    qDebug() << "screen may blank again";
}
