#include "backdrop.h"

#include <QPainter>
#include <QRegion>

void Backdrop::scale(const QPixmap &panel, const QSize &window, const QRect &background, bool opaque)
{
    parts.clear();
    const QRect whole(QPoint(0, 0), window);
    const QRegion shown = opaque ? QRegion(whole) - background : QRegion(whole);
    if (shown.isEmpty())
        return;
    const QImage scaled = panel.toImage().scaled(window, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    for (const QRect &rect : shown)
        parts.push_back({rect.topLeft(), RowRunImage(scaled.copy(rect))});
}

void Backdrop::paint(QPainter &painter, const QRegion &region) const
{
    for (const Part &part : parts)
        part.pixels.paint(painter, part.at, region);
}
