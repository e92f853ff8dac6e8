#include "screenoutput.h"

#include "screenplacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace ScreenOutput {

bool positionsMeanNothing()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

QScreen *screenOf(const QWidget *window)
{
    // Qt follows the outputs the surface enters; the widget's own screen comes from its position.
    const QWindow *handle = window->windowHandle();
    return handle ? handle->screen() : window->screen();
}

void ask(QWidget *window, QScreen *screen)
{
    // The native window is made first: making it later would choose the screen from the position.
    window->winId();
    window->windowHandle()->setScreen(screen);
}

QScreen *stored(const QString &name, int index)
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    for (QScreen *screen : screens)
        if (!name.isEmpty() && screen->name() == name)
            return screen;
    if (screens.isEmpty())
        return nullptr;
    const int primary = qMax(0, screens.indexOf(QGuiApplication::primaryScreen()));
    return screens.at(ScreenPlacement::validScreenIndex(index, screens.size(), primary));
}

} // namespace ScreenOutput
