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
    const QPixmap scaled = panel.scaled(window, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    for (const QRect &rect : shown)
        parts.push_back({rect.topLeft(), scaled.copy(rect)});
}

void Backdrop::paint(QPainter &painter) const
{
    for (const Part &part : parts)
        painter.drawPixmap(part.at, part.pixels);
}
