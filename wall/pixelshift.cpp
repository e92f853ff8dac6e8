#include "pixelshift.h"

#include <algorithm>

namespace PixelShift {

namespace {
constexpr int HeightPerPixel = 200;
} // namespace

int reach(int windowHeight)
{
    return std::max(1, windowHeight / HeightPerPixel);
}

QPoint offset(qint64 step, int reach)
{
    if (reach <= 0 || step < 0)
        return {};
    // The offsets as a square of cells, walked row by row, every other row backwards, so that each
    // step goes to a neighbour; at the last cell the walk turns back.
    const qint64 side = 2 * qint64(reach) + 1, cells = side * side, period = 2 * (cells - 1);
    const qint64 at = (step + (cells - 1) / 2) % period; // the middle cell is the centre
    const qint64 cell = at < cells ? at : period - at;
    const qint64 row = cell / side, column = row % 2 ? side - 1 - cell % side : cell % side;
    return QPoint(int(column) - reach, int(row) - reach);
}

QRect pictureArea(const QSize &window, qint64 step)
{
    const int r = reach(window.height());
    return QRect(QPoint(r, r) + offset(step, r), window - QSize(2 * r, 2 * r));
}

} // namespace PixelShift
