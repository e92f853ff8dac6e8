#include "scalebackground.h"

#include "layoutscaling.h"

#include <QFontMetrics>
#include <QPainter>
#include <QRegion>
#include <QVector>

#include <cmath>

namespace {

// A pair of meters with the scale between them, at the design size: the tick columns run beside
// the meters (one pixel from the left one, two from the right one), the numbers between them.
struct MeterPair
{
    QRect left;
    QRect right;
    int columnWidth;
    int shortTickLength;
    int numeralPixels;
};
const MeterPair Pairs[] = {
    {{54, 73, 12, 415}, {143, 73, 12, 415}, 20, 10, 14},  // programme
    {{210, 73, 12, 415}, {299, 73, 12, 415}, 20, 10, 14}, // sub
    {{844, 199, 8, 291}, {907, 199, 8, 291}, 14, 7, 10},  // control room
};
// DIN's marks and numbers stay within this many rows above and below the meters.
constexpr int ArtworkMarkMargin = 12;

const char *const NumeralFamily = "DejaVu Sans";
const QColor MarkColour(Qt::white);
const QColor RedZoneColour(220, 24, 24);
// At the design size, as DIN's artwork has them.
constexpr int LongTickThickness = 3;
constexpr int ShortTickThickness = 1;
constexpr int RedZoneWidth = 3;
constexpr int RedZoneGap = 1;     // between a tick column and the red zone beside it
constexpr int NumeralPadding = 2; // kept clear on each side of a number that shortens its ticks

// A thickness at the window's size, odd so that a tick is centred on its row.
int oddThickness(int design, double factor)
{
    return 2 * int(std::lround((design * factor - 1) / 2)) + 1;
}

class PairPainter
{
public:
    PairPainter(QPainter &painter, const MeterPair &pair, const LayoutScaling::Fit &fit)
        : painter(painter), factor(fit.scaleFactor)
    {
        // Where the layout scaling puts the meters, in the coordinates of the background.
        const QPoint origin(fit.offsetX, fit.offsetY);
        meter = LayoutScaling::scaledRect(pair.left, fit).translated(-origin);
        const QRect right = LayoutScaling::scaledRect(pair.right, fit).translated(-origin);
        const int width = int(pair.columnWidth * factor);
        leftColumn = {meter.right() + 1 + int(std::lround(factor)), width};
        rightColumn = {right.left() - int(std::lround(2 * factor)) - width, width};
        shortLength = std::max(1, int(pair.shortTickLength * factor));
        QFont font(QString::fromLatin1(NumeralFamily));
        font.setPixelSize(std::max(1, int(std::lround(pair.numeralPixels * factor))));
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(MarkColour);
    }

    // The row where a bar ends for the level: the top row of a bar of trunc(H x position) pixels.
    int rowOf(const MeterScale &scale, double levelDb) const
    {
        return meter.top() + meter.height() - int(meter.height() * scale.position(levelDb));
    }

    void paint(const MeterScale &scale)
    {
        struct Numeral
        {
            QString text;
            QPointF baseline;
            QRect box; // the inked glyphs with their padding
        };
        const int longThickness = oddThickness(LongTickThickness, factor);
        const int padding = int(std::lround(NumeralPadding * factor));
        const double centreX = (leftColumn.end() + rightColumn.left) / 2.0;
        const QFontMetrics metrics(painter.font());
        QVector<Numeral> numerals;
        QRegion numeralBoxes;
        for (const MeterScale::Mark &mark : scale.marks) {
            const int row = rowOf(scale, mark.levelDb);
            const QString text = QString::fromUtf8(mark.label);
            if (text.isEmpty()) {
                tick(row, shortLength, oddThickness(ShortTickThickness, factor));
                continue;
            }
            // The centre of the inked glyphs on the centre of the row.
            const QRect ink = metrics.tightBoundingRect(text);
            const QPointF baseline(centreX - (ink.left() + ink.right() + 1) / 2.0,
                                   row + 0.5 - (ink.top() + ink.bottom() + 1) / 2.0);
            const QRect box =
                ink.translated(baseline.toPoint()).adjusted(-padding, -padding, padding, padding);
            numerals.append({text, baseline, box});
            numeralBoxes += box;
            // A number wider than the space between the columns shortens its ticks.
            const int overlap =
                std::max(0, std::max(leftColumn.end() - box.left(), box.right() + 1 - rightColumn.left));
            tick(row, std::max(shortLength, leftColumn.width - overlap), longThickness);
        }

        // Beside the inner edge of each column, from the top down to the permitted maximum, and
        // around the numbers in its way.
        const int redTop = rowOf(scale, scale.topDb) - longThickness / 2;
        const int redBottom = rowOf(scale, scale.permittedMaximumDb) + longThickness / 2;
        const int redWidth = int(std::lround(RedZoneWidth * factor));
        const int redGap = int(std::lround(RedZoneGap * factor));
        QRegion redZone(leftColumn.end() + redGap, redTop, redWidth, redBottom - redTop + 1);
        redZone += QRect(rightColumn.left - redGap - redWidth, redTop, redWidth, redBottom - redTop + 1);
        for (const QRect &part : redZone - numeralBoxes)
            painter.fillRect(part, RedZoneColour);

        for (const Numeral &numeral : numerals)
            painter.drawText(numeral.baseline, numeral.text);
    }

private:
    struct Column
    {
        int left;
        int width;
        int end() const { return left + width; } // the first pixel right of it
    };

    // Ticks hug the meters: the left column's from its left edge, the right one's from its right.
    void tick(int row, int length, int thickness)
    {
        const int top = row - thickness / 2;
        painter.fillRect(leftColumn.left, top, length, thickness, MarkColour);
        painter.fillRect(rightColumn.end() - length, top, length, thickness, MarkColour);
    }

    QPainter &painter;
    double factor;
    QRect meter;
    Column leftColumn;
    Column rightColumn;
    int shortLength;
};

} // namespace

ScaleBackground::ScaleBackground(const QPixmap &artwork, const QPixmap &panel)
    : artwork(artwork), panel(panel)
{}

RowRunImage ScaleBackground::scaled(const QSize &window, MeterScale::Id scale)
{
    if (scale == MeterScale::Din) {
        unmarked = QImage();
        return RowRunImage(artwork.toImage().scaled(window, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    }
    if (unmarked.isNull()) {
        // The artwork was drawn on this panel: its own pixels take DIN's marks out.
        unmarked = artwork.toImage().convertToFormat(QImage::Format_RGB32);
        QPainter painter(&unmarked);
        for (const MeterPair &pair : Pairs) {
            const QRect between(QPoint(pair.left.right() + 1, pair.left.top() - ArtworkMarkMargin),
                                QPoint(pair.right.left() - 1, pair.left.bottom() + ArtworkMarkMargin));
            painter.drawPixmap(between, panel, between);
        }
    }
    QImage image = unmarked.scaled(window, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QPainter painter(&image);
    const LayoutScaling::Fit fit = LayoutScaling::fitToWindow(window);
    for (const MeterPair &pair : Pairs)
        PairPainter(painter, pair, fit).paint(MeterScale::of(scale));
    painter.end();
    return RowRunImage(image);
}
