#pragma once

#include <QString>

class QScreen;
class QWidget;

// Under Wayland a client cannot place its window and every window reports 0,0: the screen a window
// is on is the output its surface was last seen on, and a window goes full screen on the output it
// names. Elsewhere positions tell the screen, and none of this applies.
namespace ScreenOutput {

// Whether the screen a window is on is known only from the display server (Wayland).
bool positionsMeanNothing();

// The screen the window's surface is on; before it is shown, the one it will ask for.
QScreen *screenOf(const QWidget *window);

// Names the screen the window asks for when it goes full screen (before showFullScreen).
void ask(QWidget *window, QScreen *screen);

// The screen stored by name if it is still there, else by index (the primary one for an index that
// is no longer there). Null without screens.
QScreen *stored(const QString &name, int index);

} // namespace ScreenOutput
