#include "dialareas.h"

#include <QtMath>

#include <cmath>

namespace {

constexpr double DialSize = 200.0;
// An antialiased edge reaches one device pixel beyond the shape; two logical pixels cover it at any
// device pixel ratio up to 2, and at higher ones a square cap or a bevel join out of round off.
constexpr int EdgePixels = 2;

} // namespace

DialAreas::DialAreas(const QSize &widget) : scale(qMin(widget.width(), widget.height()) / DialSize)
{
    // As the clock sets up its painter: an integer centre, then the scale.
    transform.translate(widget.width() / 2, widget.height() / 2);
    transform.scale(scale, scale);
}

QRect DialAreas::area(const QRectF &shape, qreal degrees, qreal penWidth) const
{
    // A square cap or a miter reaches half the pen's diagonal beyond the shape's bounds.
    const qreal grow = std::abs(penWidth) * M_SQRT1_2;
    const QRectF bounds = shape.normalized().adjusted(-grow, -grow, grow, grow);
    const QTransform turned = QTransform().rotate(degrees) * transform;
    return turned.mapRect(bounds).toAlignedRect().adjusted(-EdgePixels, -EdgePixels, EdgePixels, EdgePixels);
}
