#pragma once

#include <QByteArray>
#include <QRect>
#include <QVector>

// Which screen the window is on, from its left edge; screens are taken as lying side by side.
namespace ScreenPlacement {

// A maximized window's frame edge lies this far left of its screen.
constexpr int MaximizedFrameOffset = 8;

// x: the window's left frame edge; available: each screen's available area, in index order.
// An x to the right of every screen gives the last screen; no screens give 0.
int screenIndexAt(int x, bool maximized, const QVector<QRect> &available);

// The screen to place a window on for a stored index: indexes that no longer exist, or are
// negative, give the primary screen.
int validScreenIndex(int storedIndex, int screenCount, int primaryIndex);

// Whether a stored window geometry is complete: a cut-off record would otherwise be restored as
// zeros, and the window would land in a corner instead of keeping its default place.
bool isCompleteGeometry(const QByteArray &geometry);

} // namespace ScreenPlacement
