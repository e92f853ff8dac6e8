#pragma once

#include <QImage>
#include <QRect>

#include <vector>

// An opaque picture kept as runs of equal pixels, row by row, and unpacked only where a paint needs
// it. The window's scaled background is mostly flat panel and plain scale: on a 3840 x 2160 wall
// about one pixel in seven starts a run, so it takes some 4.5 MB instead of 24. A picture with
// transparent parts is kept as it is.
class RowRunImage
{
public:
    RowRunImage() = default;
    explicit RowRunImage(const QImage &image);

    bool isNull() const { return size.isEmpty(); }
    int width() const { return size.width(); }
    int height() const { return size.height(); }
    // The pixels of a rectangle within the picture: RGB32, or ARGB32_Premultiplied for a picture
    // with transparent parts.
    QImage copy(const QRect &rect) const;

private:
    QSize size;
    // A run in one word: its length less one in the top byte, where an opaque pixel has its alpha,
    // the colour below. Longer runs are split.
    std::vector<quint32> runs;
    std::vector<quint32> rowStarts; // each row's first run, and the end
    QImage translucent;
};
