#include "meterframepacer.h"

#include "meterstorepainter.h"
#include "zelppmmeter.h"

#include <QEvent>
#include <QScreen>
#include <QWidget>

namespace {

// What a screen that does not tell its refresh rate is taken to show.
constexpr double defaultRefreshRate = 60.0;

} // namespace

MeterFramePacer::MeterFramePacer(QWidget *window, const QVector<ZelPPMMeter *> &meters, int tickMs)
    : QObject(window), window(window), meters(meters), tickMs(tickMs)
{
    window->installEventFilter(this);
}

void MeterFramePacer::afterTick(bool anyRose, bool anyMoved)
{
    if (anyRose || !anyMoved || !sinceRepaint.isValid()) {
        repaintMoves();
        return;
    }
    const QScreen *screen = window->screen();
    const double refreshRate =
        screen && screen->refreshRate() > 0 ? screen->refreshRate() : defaultRefreshRate;
    // Repaint on the tick nearest to a whole refresh interval after the last repaint.
    if (double(sinceRepaint.elapsed()) >= 1000.0 / refreshRate - tickMs / 2.0)
        repaintMoves();
}

bool MeterFramePacer::eventFilter(QObject *watched, QEvent *event)
{
    // The window is about to paint for another reason: the meters' moves go along, in that paint.
    if (watched == window && event->type() == QEvent::UpdateRequest) {
        for (ZelPPMMeter *meter : meters)
            meter->updateChangedArea();
        sinceRepaint.start();
    }
    return false;
}

void MeterFramePacer::repaintMoves()
{
    MeterStorePainter::repaintChanged(window, meters);
    sinceRepaint.start();
}
