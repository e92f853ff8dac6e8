#include "kiosk.h"

#include "screenoutput.h"
#include "screenplacement.h"
#include "x11display.h"

#include <QDataStream>
#include <QGuiApplication>
#include <QIODevice>
#include <QScreen>
#include <QWidget>

#include <algorithm>
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
    if (ScreenOutput::positionsMeanNothing())
        return ScreenOutput::screenOf(window);
    if (QScreen *screen = QGuiApplication::screenAt(window->geometry().center()))
        return screen;
    return window->screen();
}

QVector<QRect> availableAreas()
{
    QVector<QRect> available;
    for (const QScreen *screen : QGuiApplication::screens())
        available.append(screen->availableGeometry());
    return available;
}

// A window restored far beyond its screen would come back at that size, costing seconds and
// gigabytes to paint: fit it, keeping the state it was stored in.
void fitToScreens(QWidget &window, int fallbackScreen)
{
    const QRect normal = window.normalGeometry();
    const QRect fitted = ScreenPlacement::fittedGeometry(normal, availableAreas(), fallbackScreen);
    if (fitted == normal)
        return;
    const Qt::WindowStates states = window.windowState();
    window.setWindowState(states & ~Qt::WindowMaximized);
    window.move(fitted.topLeft());
    window.resize(fitted.size());
    window.setWindowState(states);
}

constexpr int OwnGeometriesKept = 4;

void keep(QVector<QRect> &recent, const QRect &rect)
{
    recent.append(rect);
    while (recent.size() > OwnGeometriesKept)
        recent.removeFirst();
}

} // namespace

Kiosk::Kiosk(QWidget *window) : QObject(window), window(window)
{
    window->installEventFilter(this);
    // Without a manager, a full-screen window follows its screen: a new resolution, a screen unplugged
    // (the primary one is covered meanwhile) and plugged back. Queued, so that Qt has placed its
    // windows on the screens that are left first.
    for (QScreen *screen : QGuiApplication::screens())
        watch(screen);
    auto *application = static_cast<QGuiApplication *>(QCoreApplication::instance());
    connect(application, &QGuiApplication::screenAdded, this, &Kiosk::watch);
    for (auto signal : {&QGuiApplication::screenAdded, &QGuiApplication::screenRemoved,
                        &QGuiApplication::primaryScreenChanged})
        connect(application, signal, this, &Kiosk::followScreens, Qt::QueuedConnection);
}

Kiosk::~Kiosk() = default;

void Kiosk::watch(QScreen *screen)
{
    connect(screen, &QScreen::geometryChanged, this, &Kiosk::followScreens, Qt::QueuedConnection);
}

void Kiosk::setFullScreen(bool want, QScreen *screen)
{
    if (!want) {
        if (!on)
            return;
        const bool wasCovering = coveringItself;
        on = coveringItself = false;
        managerWatch.reset();
        if (window->windowState().testFlag(Qt::WindowFullScreen))
            window->setWindowState(window->windowState() & ~Qt::WindowFullScreen);
        // A manager puts its window back itself; without one (also when it has stopped since) the
        // window goes back on its own.
        if (wasCovering || !windowManaged()) {
            keep(ownGeometries, normalGeometry);
            window->setGeometry(normalGeometry);
        }
        emit fullScreenChanged(false);
        return;
    }

    QScreen *target = screen ? screen : screenOf(window);
    if (!target)
        return;
    screenName = target->name();
    const bool managed = windowManaged();
    if (on) {
        // Already full screen: only a cover of another screen, or one the manager has left behind, moves.
        if (coveringItself ? window->geometry() != target->geometry() : !managed)
            cover(target);
        return;
    }
    if (managed) {
        // A manager makes the window full screen on the screen it is on; a Wayland compositor on the
        // output the window names.
        if (ScreenOutput::positionsMeanNothing())
            ScreenOutput::ask(window, target);
        else if (screenOf(window) != target)
            window->move(target->geometry().topLeft());
        normalGeometry = window->geometry();
        window->setWindowState(window->windowState() | Qt::WindowFullScreen);
    } else {
        normalGeometry = window->geometry();
        if (screenOf(window) != target)
            normalGeometry.moveTopLeft(target->geometry().topLeft());
        cover(target);
    }
    setOn(true);
}

// Without a manager the state alone changes nothing, and Qt drops it again at the next property change
// of the window; so the window keeps its state, is made as large as the screen, and takes the keyboard,
// which no manager hands it.
void Kiosk::cover(QScreen *screen)
{
    coveringItself = true;
    managerWatch.reset();
    const QRect area = screen->geometry();
    // As large as the window may be.
    keep(ownGeometries,
         QRect(area.topLeft(),
               area.size().boundedTo(window->maximumSize()).expandedTo(window->minimumSize())));
    window->setGeometry(area);
    if (window->isVisible())
        window->activateWindow();
}

void Kiosk::followScreens()
{
    // Under a manager the manager keeps a full-screen window on its screen.
    if (!on || windowManaged())
        return;
    const QList<QScreen *> screens = QGuiApplication::screens();
    const auto named = std::find_if(screens.cbegin(), screens.cend(),
                                    [this](const QScreen *screen) { return screen->name() == screenName; });
    QScreen *target = named != screens.cend() ? *named : QGuiApplication::primaryScreen();
    if (target && window->geometry() != target->geometry())
        cover(target);
}

void Kiosk::setOn(bool now)
{
    if (now && !coveringItself && !managerWatch)
        managerWatch = X11Display::ManagerWatch::start(
            [this] { QMetaObject::invokeMethod(this, &Kiosk::managerGone, Qt::QueuedConnection); });
    if (!now)
        managerWatch.reset();
    if (on == now)
        return;
    on = now;
    emit fullScreenChanged(now);
}

void Kiosk::managerGone()
{
    managerWatch.reset();
    if (!on || coveringItself)
        return;
    // The window is its own now: still covering its screen, or back as it was before full screen.
    const QScreen *screen = screenOf(window);
    if (screen && window->geometry() == screen->geometry()) {
        coveringItself = true;
        keep(ownGeometries, window->geometry());
    } else {
        on = false;
        window->setWindowState(window->windowState() & ~Qt::WindowFullScreen);
        emit fullScreenChanged(false);
    }
    window->activateWindow(); // the keyboard, which the manager handed out, is the window's to take
}

bool Kiosk::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != window)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::WindowStateChange:
        // The manager's word, also when it acts on a request of its own (a key binding, a panel). Before
        // the window is shown its state is only what this class and the restore gave it.
        if (!coveringItself && window->isVisible())
            setOn(window->windowState().testFlag(Qt::WindowFullScreen));
        break;
    case QEvent::Move:
    case QEvent::Resize:
        // Another client has moved or resized the cover: the window no longer covers its screen.
        if (coveringItself && !ownGeometries.contains(window->geometry())) {
            coveringItself = false;
            setOn(false);
        }
        break;
    case QEvent::Show:
        // Qt's shortcuts need an active window, and without a manager nobody activates it.
        if (!windowManaged())
            window->activateWindow();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void Kiosk::restore(const QByteArray &storedGeometry, std::optional<bool> fullScreen, int storedScreen,
                    const QString &storedScreenName)
{
    QScreen *screen = ScreenOutput::stored(storedScreenName, storedScreen);
    const int screenIndex = qMax(0, QGuiApplication::screens().indexOf(screen));
    if (screen)
        window->move(screen->geometry().topLeft());
    const std::optional<StoredGeometry> stored = parse(storedGeometry);
    if (stored && window->restoreGeometry(storedGeometry)) {
        // Qt restores the stored state too; whether the window is full screen is decided below.
        if (window->windowState().testFlag(Qt::WindowFullScreen))
            window->setWindowState(window->windowState() & ~Qt::WindowFullScreen);
        fitToScreens(*window, screenIndex);
        // Without a manager there is no title bar, yet Qt keeps a restored window 20 px below the top of
        // its screen to leave room for one: such a window goes back exactly where it was.
        if (!stored->maximized && !windowManaged() && fitsOnAScreen(stored->normal))
            window->setGeometry(stored->normal);
    }
    if (fullScreen.value_or(stored && stored->fullScreen))
        setFullScreen(true, screen);
}

QByteArray Kiosk::savedGeometry() const
{
    const QByteArray geometry = window->saveGeometry();
    std::optional<StoredGeometry> stored = parse(geometry);
    if (!coveringItself || !stored)
        return geometry;
    // As Qt stores a full-screen window: its own geometry, and the flag.
    stored->frame = stored->normal = stored->restoredNormal = normalGeometry;
    stored->maximized = 0;
    stored->fullScreen = 1;
    return serialize(*stored);
}

int Kiosk::screenIndex() const
{
    if (ScreenOutput::positionsMeanNothing())
        return qMax(0, QGuiApplication::screens().indexOf(screenOf(window)));
    return ScreenPlacement::screenIndexAt(window->pos().x(), window->isMaximized(), availableAreas());
}

QString Kiosk::outputName() const
{
    const QScreen *screen = ScreenOutput::positionsMeanNothing() ? screenOf(window) : nullptr;
    return screen ? screen->name() : QString();
}

void Kiosk::setManagerProbe(ManagerProbe probe)
{
    managerProbe = std::move(probe);
}

bool Kiosk::windowManaged()
{
    return managerProbe ? managerProbe() : X11Display::windowManagerRunning();
}
