#pragma once

#include <QVector>

class QWidget;
class ZelPPMMeter;

// Repaints what moved on the meters straight into the window's backing store, with one painter for
// all of them, and sends it to the screen in one flush. Through Qt's repaint manager each meter is a
// paint of its own, with its own painter, clip and region work: at 50 frames a second that was most
// of the display's own work. Whatever cannot be painted so (the window not on screen, scaled device
// pixels, a meter partly covered) is left to the repaint manager as before; the pixels are the same.
namespace MeterStorePainter {

void repaintChanged(QWidget *window, const QVector<ZelPPMMeter *> &meters);

} // namespace MeterStorePainter
