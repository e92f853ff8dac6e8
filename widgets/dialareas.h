#pragma once

#include <QRect>
#include <QSize>
#include <QTransform>

// Where the shapes of a dial land on its widget. The dial is 200 x 200 units, centred on the widget
// and scaled to its shorter side; a shape is given in dial units at twelve o'clock and turned
// clockwise by some degrees, as the clock paints it. The areas let a new second repaint only what
// moved, and a paint skip what lies outside the area being repainted.
class DialAreas
{
public:
    explicit DialAreas(const QSize &widget);

    // Dial units to widget pixels, the turn excluded: the painter's transform before any shape.
    const QTransform &dialToWidget() const { return transform; }
    qreal pixelsPerUnit() const { return scale; }

    // The widget pixels a shape can touch: its bounds turned and mapped, grown by half a pen of
    // penWidth dial units and by the antialiased edge, in whole pixels.
    QRect area(const QRectF &shape, qreal degrees, qreal penWidth = 0) const;

private:
    QTransform transform;
    qreal scale = 1;
};
