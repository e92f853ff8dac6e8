#include "layoutscaling.h"

namespace LayoutScaling {

Fit fitToWindow(const QSize &windowSize)
{
    const int w = windowSize.width();
    const int h = windowSize.height();
    Fit fit;
    if (h <= 0 || w <= 0)
        return fit;
    if (double(w) / double(h) > DesignAspect) {
        // Wider than the design: fit to the height, centre horizontally.
        // 64-bit: the product passes the int range above about two million pixels.
        const int fittedWidth = int((qint64(h) * DesignWidth) / DesignHeight);
        fit.offsetX = (w - fittedWidth) / 2;
        fit.scaleFactor = float((double(fittedWidth) / DesignWidth + double(h) / DesignHeight) * 0.5);
    } else {
        const int fittedHeight = int((qint64(w) * DesignHeight) / DesignWidth);
        fit.offsetY = (h - fittedHeight) / 2;
        fit.scaleFactor = float((double(w) / DesignWidth + double(fittedHeight) / DesignHeight) * 0.5);
    }
    return fit;
}

QRect scaledRect(const QRect &design, const Fit &fit)
{
    const double factor = fit.scaleFactor;
    return QRect(int(design.x() * factor) + fit.offsetX, int(design.y() * factor) + fit.offsetY,
                 int(design.width() * factor), int(design.height() * factor));
}

int scaledPointSize(int designPointSize, float scaleFactor)
{
    return int(designPointSize * double(scaleFactor));
}

} // namespace LayoutScaling
