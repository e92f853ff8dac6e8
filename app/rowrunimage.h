#pragma once

#include <QImage>

#include <vector>

class QPainter;
class QPoint;
class QRegion;

// An opaque picture kept as runs of equal pixels, row by row, and unpacked only where a paint needs
// it. The window's scaled background is mostly flat panel and plain scale: on a 3840 x 2160 wall
// about one pixel in seven starts a run, so it takes some 4.6 MB instead of 24. A picture with
// transparent parts is kept as it is.
class RowRunImage
{
public:
    RowRunImage() = default;
    explicit RowRunImage(const QImage &image);

    bool isNull() const { return size.isEmpty(); }
    int width() const { return size.width(); }
    int height() const { return size.height(); }
    // Draws the picture with its top left corner at the point, only within the region. It is
    // unpacked a band of rows at a time into a scratch picture that is dropped on return.
    void paint(QPainter &painter, const QPoint &at, const QRegion &region) const;

private:
    void unpack(const QRect &rect, quint32 *pixels) const;
    int piecesPerRow() const;

    QSize size;
    // A run in one word: its length less one in the top byte, where an opaque pixel has its alpha,
    // the colour below.
    std::vector<quint32> runs;
    std::vector<quint32> pieceStarts; // the first run of every 256 columns of each row, and the end
    QImage translucent;
};
