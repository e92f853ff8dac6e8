#include "displaymodel.h"

#include <QtMath>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace DisplayModel {

const std::array<Meter, MeterCount> Meters = {{
    {"ProgLeft", QRect(54, 73, 12, 415)},
    {"ProgRight", QRect(143, 73, 12, 415)},
    {"SubLeft", QRect(210, 73, 12, 415)},
    {"SubRight", QRect(299, 73, 12, 415)},
    {"CrmLeft", QRect(844, 199, 8, 291)},
    {"CrmRight", QRect(907, 199, 8, 291)},
}};

namespace {

constexpr double DesignAspect = 1.7;
constexpr double DinBase = 0.23713737056616552; // 10^(-50/80)
constexpr double DinSpan = 0.9176446141232928;  // 10^(5/80) - 10^(-50/80)
constexpr double FloorDb = -50.0;
constexpr double TopDb = 5.0;

const QColor MinColour(0, 255, 0);
const QColor MaxColour(255, 0, 0);
const QColor MinBackgroundColour(0, 64, 0);
const QColor MaxBackgroundColour(64, 0, 0);

// Gradients interpolate through a colour table; a few units either way are rounding.
constexpr int ColourTolerance = 12;
constexpr int WhiteThreshold = 200;

int half(int height)
{
    return int(height * 0.5 + 0.5);
}

QColor mix(const QColor &from, const QColor &to, double t)
{
    t = std::clamp(t, 0.0, 1.0);
    return QColor(int(std::lround(from.red() + t * (to.red() - from.red()))),
                  int(std::lround(from.green() + t * (to.green() - from.green()))),
                  int(std::lround(from.blue() + t * (to.blue() - from.blue()))));
}

// Position on the gradient from the middle row (0) up to the top edge (1), at the row's centre.
double gradientPosition(int height, int rowFromTop)
{
    const int h = half(height);
    return (h - (rowFromTop + 0.5)) / h;
}

bool near(const QColor &a, const QColor &b, int tolerance)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

// Any pixel a meter paints has no blue and red + green of either the bar (255) or the background (64).
bool isMeterColour(QRgb p)
{
    const int sum = qRed(p) + qGreen(p);
    return qBlue(p) <= 20 && (std::abs(sum - 255) <= 24 || std::abs(sum - 64) <= 16);
}

bool isLit(QRgb p)
{
    return qRed(p) + qGreen(p) > 160;
}

QString describe(QRgb p)
{
    return QStringLiteral("(%1, %2, %3)").arg(qRed(p)).arg(qGreen(p)).arg(qBlue(p));
}

} // namespace

Scaling scalingFor(const QSize &window)
{
    const int w = window.width();
    const int h = window.height();
    Scaling s;
    if (double(w) / double(h) > DesignAspect) {
        const int fittedWidth = h * DesignSize.width() / DesignSize.height();
        s.offsetX = (w - fittedWidth) / 2;
        s.factor = float((double(fittedWidth) / DesignSize.width() + double(h) / DesignSize.height()) * 0.5);
    } else {
        const int fittedHeight = w * DesignSize.height() / DesignSize.width();
        s.offsetY = (h - fittedHeight) / 2;
        s.factor = float((double(w) / DesignSize.width() + double(fittedHeight) / DesignSize.height()) * 0.5);
    }
    return s;
}

QRect scaled(const QRect &design, const Scaling &s)
{
    const double f = s.factor;
    return QRect(int(design.x() * f) + s.offsetX, int(design.y() * f) + s.offsetY, int(design.width() * f),
                 int(design.height() * f));
}

QRect formWidgetInWindow(const QRect &design, const Scaling &scaling)
{
    return scaled(design, scaling).translated(0, CentralWidgetTop);
}

int barLength(int height, double levelDb)
{
    levelDb = std::clamp(levelDb, FloorDb, TopDb);
    return int(height * (std::pow(10.0, levelDb / 80.0) - DinBase) / DinSpan);
}

double levelForBarLength(int height, int length)
{
    return 80.0 * std::log10((length + 0.5) * DinSpan / height + DinBase);
}

QColor expectedBarColour(int height, int rowFromTop)
{
    return mix(MinColour, MaxColour, gradientPosition(height, rowFromTop));
}

QColor expectedBackgroundColour(int height, int rowFromTop)
{
    return mix(MinBackgroundColour, MaxBackgroundColour, gradientPosition(height, rowFromTop));
}

MeterReading readMeter(const QImage &image, const QRect &meter)
{
    MeterReading r;
    if (!image.rect().contains(meter.adjusted(-1, -1, 1, 1))) {
        r.problem = QStringLiteral("the meter lies outside the screenshot");
        return r;
    }
    const int height = meter.height();
    const int middleRow = meter.top() + height / 2;
    // The edges: meter colours exactly inside the rectangle.
    if (!isMeterColour(image.pixel(meter.left(), middleRow)) ||
        !isMeterColour(image.pixel(meter.right(), middleRow))) {
        r.problem = QStringLiteral("no meter colours at the left or right edge: %1 %2")
                        .arg(describe(image.pixel(meter.left(), middleRow)),
                             describe(image.pixel(meter.right(), middleRow)));
        return r;
    }
    if (isMeterColour(image.pixel(meter.left() - 1, middleRow)) ||
        isMeterColour(image.pixel(meter.right() + 1, middleRow))) {
        r.problem = QStringLiteral("meter colours beside the rectangle: the meter is wider or moved");
        return r;
    }
    const int column = meter.left() + meter.width() / 2;
    if (isMeterColour(image.pixel(column, meter.top() - 1)) ||
        isMeterColour(image.pixel(column, meter.bottom() + 1))) {
        r.problem =
            QStringLiteral("meter colours above or below the rectangle: the meter is taller or moved");
        return r;
    }

    int lit = 0;
    while (lit < height && isLit(image.pixel(column, meter.bottom() - lit)))
        ++lit;
    for (int row = 0; row < height; ++row) {
        const int y = meter.top() + row;
        const bool shouldBeLit = row >= height - lit;
        for (int x = meter.left(); x <= meter.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            const QColor expected =
                shouldBeLit ? expectedBarColour(height, row) : expectedBackgroundColour(height, row);
            if (!near(QColor(p), expected, ColourTolerance)) {
                r.problem = QStringLiteral("row %1 column %2 of the meter is %3, expected %4 (%5)")
                                .arg(row)
                                .arg(x - meter.left())
                                .arg(describe(p), describe(expected.rgb()),
                                     shouldBeLit ? QStringLiteral("bar") : QStringLiteral("background"));
                return r;
            }
        }
    }
    r.ok = true;
    r.barLength = lit;
    return r;
}

QRect whiteBox(const QImage &image, const QRect &area)
{
    QRect box;
    const QRect clipped = area.intersected(image.rect());
    for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
        for (int x = clipped.left(); x <= clipped.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qRed(p) >= WhiteThreshold && qGreen(p) >= WhiteThreshold && qBlue(p) >= WhiteThreshold)
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

int countColour(const QImage &image, const QRect &area, const QColor &colour, int tolerance)
{
    int n = 0;
    const QRect clipped = area.intersected(image.rect());
    for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
        for (int x = clipped.left(); x <= clipped.right(); ++x) {
            if (near(QColor(image.pixel(x, y)), colour, tolerance))
                ++n;
        }
    }
    return n;
}

QColor meanColour(const QImage &image, const QRect &area)
{
    const QRect clipped = area.intersected(image.rect());
    if (clipped.isEmpty())
        return QColor();
    qint64 r = 0, g = 0, b = 0;
    for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
        for (int x = clipped.left(); x <= clipped.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            r += qRed(p);
            g += qGreen(p);
            b += qBlue(p);
        }
    }
    const qint64 n = qint64(clipped.width()) * clipped.height();
    return QColor(int(r / n), int(g / n), int(b / n));
}

} // namespace DisplayModel
