#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// Burn-in care: the whole picture moves now and then by a pixel along a slow path, so that no edge of
// it stays on the same pixels of the screen for years. It is laid out in the window less the path's
// reach on every side, so the whole of it stays in the window wherever the path is.
namespace PixelShift {

// One step every three minutes: the path of a 1080-line screen takes twelve hours.
constexpr int StepIntervalMs = 3 * 60 * 1000;

// How far the picture moves from the centre at most: 1/200 of the window's height, at least a pixel.
int reach(int windowHeight);

// Where step n (n >= 0) puts the picture, from the centre: a pixel a step, row by row through every
// offset within the reach, forwards and then back, starting at the centre.
QPoint offset(qint64 step, int reach);

// Where the picture is laid out in a window of this size at step n.
QRect pictureArea(const QSize &window, qint64 step);

} // namespace PixelShift
