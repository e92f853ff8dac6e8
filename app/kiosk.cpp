#include "kiosk.h"

#include "screenplacement.h"
#include "x11display.h"

#include <QDataStream>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <optional>

namespace {

Kiosk::ManagerProbe managerProbe;

struct StoredGeometry
{
    QRect frame, normal;
    bool maximized = false, fullScreen = false;
};

// The part of QWidget::saveGeometry's record that tells where the window was.
std::optional<StoredGeometry> parse(const QByteArray &geometry)
{
    if (!ScreenPlacement::isCompleteGeometry(geometry))
        return std::nullopt;
    QDataStream stream(geometry);
    stream.setVersion(QDataStream::Qt_4_0);
    quint32 magic = 0;
    quint16 major = 0, minor = 0;
    qint32 screen = 0;
    quint8 maximized = 0, fullScreen = 0;
    StoredGeometry stored;
    stream >> magic >> major >> minor >> stored.frame >> stored.normal >> screen >> maximized >> fullScreen;
    stored.maximized = maximized != 0;
    stored.fullScreen = fullScreen != 0;
    return stored;
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
    return window->windowState().testFlag(Qt::WindowFullScreen);
}

void Kiosk::setFullScreen(bool on, QScreen *screen)
{
    if (!on) {
        if (!isFullScreen())
            return;
        window->setWindowState(window->windowState() & ~Qt::WindowFullScreen);
        if (coveringItself)
            window->setGeometry(normalGeometry);
        coveringItself = false;
        emit fullScreenChanged(false);
        return;
    }

    QScreen *target = screen ? screen : screenOf(window);
    if (!target)
        return;
    if (isFullScreen() && (!coveringItself || window->geometry() == target->geometry()))
        return;
    if (!isFullScreen()) {
        // A manager makes the window full screen on the screen it is on.
        if (screenOf(window) != target)
            window->move(target->geometry().topLeft());
        normalGeometry = window->geometry();
        window->setWindowState(window->windowState() | Qt::WindowFullScreen);
    }
    coveringItself = !windowManaged();
    if (coveringItself)
        window->setGeometry(target->geometry());
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

void Kiosk::setManagerProbe(ManagerProbe probe)
{
    managerProbe = std::move(probe);
}

bool Kiosk::windowManaged()
{
    return managerProbe ? managerProbe() : X11Display::windowManagerRunning();
}
