#pragma once

#include "rowrunimage.h"

#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QVector>

class QPainter;
class QRegion;

// The plain panel behind the window's background, scaled to the whole window. Only the parts that
// show are kept: beside an opaque background, the strips on either side, not a screenful (on a
// 3840 x 2160 wall that is 33 MB).
class Backdrop
{
public:
    // Scales the panel to the window and keeps what lies outside the background (all of it under
    // a background with transparent parts). The full-size copy is dropped before this returns, so
    // call it before the background is scaled: the two never take memory at once.
    void scale(const QPixmap &panel, const QSize &window, const QRect &background, bool opaque);
    void clear() { parts.clear(); }
    // Draws the parts kept within the region.
    void paint(QPainter &painter, const QRegion &region) const;

private:
    struct Part
    {
        QPoint at;
        RowRunImage pixels;
    };
    QVector<Part> parts;
};
