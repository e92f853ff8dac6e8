#pragma once

#include <QRect>
#include <QSize>

// The window keeps the 986 x 580 design and scales it as a whole, keeping its aspect ratio.
namespace LayoutScaling {

constexpr int DesignWidth = 986;
constexpr int DesignHeight = 580;
// 986 : 580, as the design rounds it.
constexpr double DesignAspect = 1.7;

struct Fit
{
    float scaleFactor = 1.0f;
    int offsetX = 0;
    int offsetY = 0;
};

// Factor and centring offsets for a window of the given size.
Fit fitToWindow(const QSize &windowSize);

// A design rectangle placed in the scaled window; always computed from the design values.
QRect scaledRect(const QRect &design, const Fit &fit);

// A design font size in points at this factor.
int scaledPointSize(int designPointSize, float scaleFactor);

} // namespace LayoutScaling
