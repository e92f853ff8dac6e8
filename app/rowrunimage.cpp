#include "rowrunimage.h"

#include <algorithm>

namespace {

constexpr int LongestRun = 256;
constexpr quint32 Opaque = 0xff000000u;

// Calls take(colour, length) for each run of one row.
template <typename Take> void eachRun(const quint32 *row, int width, Take take)
{
    for (int x = 0; x < width;) {
        const quint32 colour = row[x];
        int end = x + 1;
        while (end < width && end - x < LongestRun && row[end] == colour)
            ++end;
        take(colour, end - x);
        x = end;
    }
}

} // namespace

RowRunImage::RowRunImage(const QImage &image) : size(image.size())
{
    if (image.hasAlphaChannel()) {
        translucent = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        return;
    }
    const QImage pixels = image.convertToFormat(QImage::Format_RGB32);
    const auto row = [&pixels](int y) { return reinterpret_cast<const quint32 *>(pixels.constScanLine(y)); };
    // Counted first, so that the runs take no more memory than they need.
    size_t count = 0;
    for (int y = 0; y < height(); ++y)
        eachRun(row(y), width(), [&count](quint32, int) { ++count; });
    runs.reserve(count);
    rowStarts.reserve(size_t(height()) + 1);
    for (int y = 0; y < height(); ++y) {
        rowStarts.push_back(quint32(runs.size()));
        eachRun(row(y), width(), [this](quint32 colour, int length) {
            runs.push_back(quint32(length - 1) << 24 | (colour & ~Opaque));
        });
    }
    rowStarts.push_back(quint32(runs.size()));
}

QImage RowRunImage::copy(const QRect &rect) const
{
    if (!translucent.isNull())
        return translucent.copy(rect);
    const QRect area = rect & QRect(QPoint(0, 0), size);
    QImage pixels(rect.size(), QImage::Format_RGB32);
    if (area != rect)
        pixels.fill(Qt::black);
    for (int y = area.top(); y <= area.bottom(); ++y) {
        auto *out = reinterpret_cast<quint32 *>(pixels.scanLine(y - rect.top())) - rect.left();
        int x = 0;
        for (quint32 i = rowStarts[size_t(y)]; i < rowStarts[size_t(y) + 1] && x <= area.right(); ++i) {
            const int end = x + int(runs[i] >> 24) + 1;
            if (end > area.left())
                std::fill(out + std::max(x, area.left()), out + std::min(end, area.right() + 1),
                          runs[i] | Opaque);
            x = end;
        }
    }
    return pixels;
}
