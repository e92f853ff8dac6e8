#include "pixmapparts.h"

#include <QPainter>

void PixmapParts::keep(const QPixmap &picture, const QPoint &at, const QRegion &region)
{
    const QRegion inside = region & QRect(at, picture.size());
    for (const QRect &rect : inside)
        parts.push_back({rect.topLeft(), picture.copy(rect.translated(-at))});
    kept += region; // beyond the picture, nothing of it is needed
}

void PixmapParts::clear()
{
    parts.clear();
    kept = QRegion();
}

void PixmapParts::paint(QPainter &painter) const
{
    for (const Part &part : parts)
        painter.drawPixmap(part.at, part.pixels);
}
