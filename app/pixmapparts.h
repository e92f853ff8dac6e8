#pragma once

#include <QPixmap>
#include <QPoint>
#include <QRegion>
#include <QVector>

class QPainter;

// Pieces of a window-sized picture, each at its place in the window: what has to stay of a picture
// that is too large to keep whole.
class PixmapParts
{
public:
    // Keeps the pieces of the picture, painted at the given place, that lie in the region.
    void keep(const QPixmap &picture, const QPoint &at, const QRegion &region);
    void clear();
    bool isEmpty() const { return parts.isEmpty(); }
    // Whether the pieces kept hold every pixel of the picture that the region needs.
    bool cover(const QRegion &region) const { return (region - kept).isEmpty(); }
    // Draws the pieces kept; the painter's clip keeps the repaint to its area.
    void paint(QPainter &painter) const;

private:
    struct Part
    {
        QPoint at;
        QPixmap pixels;
    };
    QVector<Part> parts;
    QRegion kept;
};
