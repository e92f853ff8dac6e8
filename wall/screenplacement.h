#pragma once

#include <QByteArray>
#include <QRect>
#include <QVector>

// Which screen the window is on (from its left edge, screens taken as lying side by side), and where
// a restored window may go.
namespace ScreenPlacement {

// A maximized window's frame edge lies this far left of its screen.
constexpr int MaximizedFrameOffset = 8;

// x: the window's left frame edge; available: each screen's available area, in index order.
// An x to the right of every screen gives the last screen; no screens give 0.
int screenIndexAt(int x, bool maximized, const QVector<QRect> &available);

// The screen to place a window on for a stored index: indexes that no longer exist, or are
// negative, give the primary screen.
int validScreenIndex(int storedIndex, int screenCount, int primaryIndex);

// Whether a stored window geometry is complete and within widget sizes: a cut-off record would
// otherwise be restored as zeros, and the window would land in a corner instead of keeping its
// default place.
bool isUsableGeometry(const QByteArray &geometry);

// The geometry a restored window takes. One within the screens' available areas stays as it is; any
// other is fitted into the available area of the screen it overlaps most, or of fallbackScreen when
// it overlaps none: no larger than that area, and moved only as far as it must to lie in it.
QRect fittedGeometry(const QRect &window, const QVector<QRect> &available, int fallbackScreen);

} // namespace ScreenPlacement
