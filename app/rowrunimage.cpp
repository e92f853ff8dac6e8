#include "rowrunimage.h"

#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <memory>

namespace {

// Runs break at every multiple of this many columns (a power of two), so that none is longer than a word
// holds and a paint of a few columns starts at the piece of the row it needs.
constexpr int Piece = 256;
constexpr quint32 Opaque = 0xff000000u;
// Rows unpacked at once: under half a megabyte at 3840 x 2160.
constexpr int BandRows = 32;
// A run is written sixteen pixels at a time, past its end into the next one's place; the scratch has
// this much room after its last row for it.
constexpr int Overshoot = 16;

} // namespace

RowRunImage::RowRunImage(const QImage &image) : size(image.size())
{
    if (image.isNull())
        return;
    if (image.hasAlphaChannel()) {
        translucent = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        return;
    }
    const QImage pixels = image.convertToFormat(QImage::Format_RGB32);
    // Room for the worst case, one run a pixel, is only reserved: pages never written take no
    // memory, and what the runs take is copied out at the end.
    const std::unique_ptr<quint32[]> all(new quint32[size_t(width()) * size_t(height())]);
    quint32 *out = all.get();
    std::vector<int> starts(size_t(width()) + 1);
    pieceStarts.reserve(size_t(height()) * size_t(piecesPerRow()) + 1);
    for (int y = 0; y < height(); ++y) {
        const auto *row = reinterpret_cast<const quint32 *>(pixels.constScanLine(y));
        // Where a run starts, found without a branch on the pixels: about as fast as reading them.
        size_t count = 0;
        for (int piece = 0; piece < width(); piece += Piece) {
            starts[count++] = piece;
            for (int x = piece + 1; x < std::min(piece + Piece, width()); ++x) {
                starts[count] = x;
                count += row[x] != row[x - 1];
            }
        }
        starts[count] = width();
        for (size_t i = 0; i < count; ++i) {
            if ((starts[i] & (Piece - 1)) == 0)
                pieceStarts.push_back(quint32(out - all.get()));
            *out++ = quint32(starts[i + 1] - starts[i] - 1) << 24 | (row[starts[i]] & ~Opaque);
        }
    }
    pieceStarts.push_back(quint32(out - all.get()));
    runs.assign(all.get(), out);
}

int RowRunImage::piecesPerRow() const
{
    return (width() + Piece - 1) / Piece;
}

void RowRunImage::unpack(const QRect &rect, quint32 *pixels) const
{
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        const size_t rowPieces = size_t(y) * size_t(piecesPerRow());
        const quint32 *const end = runs.data() + pieceStarts[rowPieces + size_t(piecesPerRow())];
        if (rect.left() == 0 && rect.width() == width()) {
            // Whole rows, as in a whole repaint: no edge to watch.
            for (const quint32 *run = runs.data() + pieceStarts[rowPieces]; run != end; ++run) {
                const quint32 colour = *run | Opaque;
                std::fill_n(pixels, Overshoot, colour);
                const int length = int(*run >> 24) + 1;
                if (length > Overshoot)
                    std::fill(pixels + Overshoot, pixels + length, colour);
                pixels += length;
            }
            continue;
        }
        int x = rect.left() - rect.left() % Piece;
        for (const quint32 *run = runs.data() + pieceStarts[rowPieces + size_t(rect.left() / Piece)];
             run != end && x <= rect.right(); ++run) {
            const int next = x + int(*run >> 24) + 1;
            if (next > rect.left())
                std::fill(pixels + std::max(x, rect.left()) - rect.left(),
                          pixels + std::min(next, rect.right() + 1) - rect.left(), *run | Opaque);
            x = next;
        }
        pixels += rect.width();
    }
}

void RowRunImage::paint(QPainter &painter, const QPoint &at, const QRegion &region) const
{
    const QRegion inside = region.translated(-at) & QRect(QPoint(0, 0), size);
    if (!translucent.isNull()) {
        for (const QRect &part : inside)
            painter.drawImage(part.topLeft() + at, translucent, part);
        return;
    }
    // Each band of rows is unpacked once for all the parts of the region in it: a whole repaint's
    // region has holes where the opaque meters lie.
    std::vector<quint32> scratch;
    const QRect bounds = inside.boundingRect();
    for (int top = bounds.top(); top <= bounds.bottom(); top += BandRows) {
        const QRegion parts = inside & QRect(bounds.left(), top, bounds.width(), BandRows);
        const QRect band = parts.boundingRect();
        if (band.isEmpty())
            continue;
        scratch.resize(size_t(band.width()) * size_t(band.height()) + Overshoot);
        unpack(band, scratch.data());
        const QImage pixels(reinterpret_cast<const uchar *>(scratch.data()), band.width(), band.height(),
                            band.width() * int(sizeof(quint32)), QImage::Format_RGB32);
        for (const QRect &part : parts)
            painter.drawImage(part.topLeft() + at, pixels, part.translated(-band.topLeft()));
    }
}
