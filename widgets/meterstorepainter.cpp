#include "meterstorepainter.h"

#include "zelppmmeter.h"

#include <QBackingStore>
#include <QPainter>
#include <QRegion>
#include <QVarLengthArray>
#include <QWidget>
#include <QWindow>

namespace MeterStorePainter {

namespace {

// Whether the window's backing store holds what the screen shows, pixel for pixel, so that painting
// into it and flushing is what the repaint manager would do.
bool storeTakesPaint(const QWidget *window)
{
    const QBackingStore *store = window->backingStore();
    const QWindow *handle = window->windowHandle();
    return store && handle && handle->isExposed() && window->updatesEnabled() &&
           window->devicePixelRatioF() == 1.0 && store->size() == window->size();
}

// Whether all of the area (the meter's own coordinates) shows the meter's own pixels: inside every
// parent, and under no widget that paints after it. Then the meter alone decides what it shows there.
bool showsWholly(const QWidget *meter, const QWidget *window, const QRect &area)
{
    if (!meter->children().isEmpty())
        return false;
    QRect inParent = area;
    for (const QWidget *widget = meter; widget != window; widget = widget->parentWidget()) {
        const QWidget *parent = widget->parentWidget();
        inParent.translate(widget->pos());
        if (!parent || !parent->rect().contains(inParent))
            return false;
        const QObjectList &siblings = parent->children();
        for (int i = siblings.indexOf(const_cast<QWidget *>(widget)) + 1; i < siblings.size(); ++i) {
            const auto *above = qobject_cast<const QWidget *>(siblings.at(i));
            if (above && !above->isWindow() && above->isVisible() && above->geometry().intersects(inParent))
                return false;
        }
    }
    return true;
}

} // namespace

void repaintChanged(QWidget *window, const QVector<ZelPPMMeter *> &meters)
{
    struct Piece
    {
        ZelPPMMeter *meter;
        QRect area; // the meter's own coordinates
        QPoint at;  // the meter's place in the window
    };
    QVarLengthArray<Piece, 8> pieces;
    QRegion region;
    const bool direct = storeTakesPaint(window);
    for (ZelPPMMeter *meter : meters) {
        if (!direct || !meter->isVisible()) {
            meter->updateChangedArea();
            continue;
        }
        const QRect area = meter->takeChangedArea();
        if (area.isEmpty())
            continue;
        // A widget above the meter (none in the design) keeps its pixels: the repaint manager sorts it out.
        if (!showsWholly(meter, window, area)) {
            meter->update(area);
            continue;
        }
        const QPoint at = meter->mapTo(window, QPoint());
        pieces.append({meter, area, at});
        region += area.translated(at);
    }
    if (pieces.isEmpty())
        return;

    QBackingStore *store = window->backingStore();
    store->beginPaint(region);
    {
        QPainter painter(store->paintDevice());
        for (const Piece &piece : pieces) {
            painter.resetTransform();
            painter.setClipRect(piece.area.translated(piece.at));
            painter.translate(piece.at);
            piece.meter->paint(painter);
        }
    }
    store->endPaint();
    store->flush(region, window->windowHandle());
}

} // namespace MeterStorePainter
