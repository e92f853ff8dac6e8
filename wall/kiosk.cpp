#include "kiosk.h"

#include "screenplacement.h"
#include "x11display.h"

#include <QDataStream>
#include <QGuiApplication>
#include <QIODevice>
#include <QScreen>
#include <QWidget>

#include <optional>

namespace {

Kiosk::ManagerProbe managerProbe;

// QWidget::saveGeometry's record, as far as it tells where the window was.
struct StoredGeometry
{
    quint32 magic = 0;
    quint16 major = 0, minor = 0;
    QRect frame, normal;
    qint32 screen = 0;
    quint8 maximized = 0, fullScreen = 0;
    qint32 screenWidth = 0;
    QRect restoredNormal;
};

std::optional<StoredGeometry> parse(const QByteArray &geometry)
{
    if (!ScreenPlacement::isUsableGeometry(geometry))
        return std::nullopt;
    QDataStream stream(geometry);
    stream.setVersion(QDataStream::Qt_4_0);
    StoredGeometry g;
    stream >> g.magic >> g.major >> g.minor >> g.frame >> g.normal >> g.screen >> g.maximized >> g.fullScreen;
    if (g.major > 1)
        stream >> g.screenWidth;
    if (g.major > 2)
        stream >> g.restoredNormal;
    return g;
}

QByteArray serialize(const StoredGeometry &g)
{
    QByteArray geometry;
    QDataStream stream(&geometry, QIODevice::WriteOnly);
    stream.setVersion(QDataStream::Qt_4_0);
    stream << g.magic << g.major << g.minor << g.frame << g.normal << g.screen << g.maximized << g.fullScreen;
    if (g.major > 1)
        stream << g.screenWidth;
    if (g.major > 2)
        stream << g.restoredNormal;
    return geometry;
}

bool fitsOnAScreen(const QRect &rect)
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    return std::any_of(screens.cbegin(), screens.cend(),
                       [&](const QScreen *screen) { return screen->geometry().contains(rect); });
}

QScreen *screenOf(const QWidget *window)
{
    if (QScreen *screen = QGuiApplication::screenAt(window->geometry().center()))
        return screen;
    return window->screen();
}

} // namespace

Kiosk::Kiosk(QWidget *window) : QObject(window), window(window) {}

bool Kiosk::isFullScreen() const
{
    return coveringItself || window->windowState().testFlag(Qt::WindowFullScreen);
}

void Kiosk::setFullScreen(bool on, QScreen *screen)
{
    if (!on) {
        if (coveringItself) {
            coveringItself = false;
            window->setGeometry(normalGeometry);
        } else if (isFullScreen()) {
            window->setWindowState(window->windowState() & ~Qt::WindowFullScreen);
        } else {
            return;
        }
        emit fullScreenChanged(false);
        return;
    }

    QScreen *target = screen ? screen : screenOf(window);
    if (!target || (coveringItself ? window->geometry() == target->geometry() : isFullScreen()))
        return;
    if (!isFullScreen()) {
        // A manager makes the window full screen on the screen it is on.
        if (screenOf(window) != target)
            window->move(target->geometry().topLeft());
        normalGeometry = window->geometry();
    }
    // Without a manager the state alone changes nothing, and Qt drops it again at the next property
    // change of the window; so the window keeps its state and is only made as large as the screen.
    if (windowManaged()) {
        window->setWindowState(window->windowState() | Qt::WindowFullScreen);
    } else {
        coveringItself = true;
        window->setGeometry(target->geometry());
    }
    emit fullScreenChanged(true);
}

void Kiosk::restorePlacement(const QByteArray &storedGeometry)
{
    if (isFullScreen())
        window->setWindowState(window->windowState() & ~Qt::WindowFullScreen);
    const std::optional<StoredGeometry> stored = parse(storedGeometry);
    if (!stored || stored->maximized || windowManaged() || !fitsOnAScreen(stored->normal))
        return;
    window->setGeometry(stored->normal);
}

QByteArray Kiosk::savedGeometry(const QByteArray &windowGeometry) const
{
    std::optional<StoredGeometry> stored = parse(windowGeometry);
    if (!coveringItself || !stored)
        return windowGeometry;
    // As Qt stores a full-screen window: its own geometry, and the flag.
    stored->frame = stored->normal = stored->restoredNormal = normalGeometry;
    stored->maximized = 0;
    stored->fullScreen = 1;
    return serialize(*stored);
}

void Kiosk::setManagerProbe(ManagerProbe probe)
{
    managerProbe = std::move(probe);
}

bool Kiosk::windowManaged()
{
    return managerProbe ? managerProbe() : X11Display::windowManagerRunning();
}
