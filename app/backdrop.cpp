#include "backdrop.h"

#include <QRegion>

void Backdrop::scale(const QPixmap &panel, const QSize &window, const QRect &background, bool opaque)
{
    parts.clear();
    const QRect whole(QPoint(0, 0), window);
    const QRegion shown = opaque ? QRegion(whole) - background : QRegion(whole);
    if (shown.isEmpty())
        return;
    const QPixmap scaled = panel.scaled(window, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    parts.keep(scaled, QPoint(0, 0), shown);
}
