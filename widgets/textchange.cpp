#include "textchange.h"

#include <QFontMetricsF>

namespace TextChange {

namespace {

qreal margin(const QFontMetricsF &metrics)
{
    return metrics.height() / 4 + 2;
}

} // namespace

QRect lineArea(const QFont &font, const QPaintDevice *device, const QRect &box, const QString &text)
{
    const QFontMetricsF metrics(font, device);
    const qreal grow = margin(metrics);
    return metrics.boundingRect(QRectF(box), Qt::AlignCenter, text)
        .adjusted(-grow, -grow, grow, grow)
        .toAlignedRect();
}

QRect area(const QFont &font, const QPaintDevice *device, const QRect &box, const QString &before,
           const QString &after)
{
    if (before == after)
        return QRect();
    const QFontMetricsF metrics(font, device);
    if (before.size() != after.size() ||
        metrics.horizontalAdvance(before) != metrics.horizontalAdvance(after))
        return lineArea(font, device, box, before) | lineArea(font, device, box, after);
    int first = 0;
    while (before.at(first) == after.at(first))
        ++first;
    int last = after.size() - 1;
    while (before.at(last) == after.at(last))
        --last;
    const QRect line = lineArea(font, device, box, after);
    const qreal grow = margin(metrics);
    const qreal left = metrics.boundingRect(QRectF(box), Qt::AlignCenter, after).left();
    const qreal from = left + metrics.horizontalAdvance(after.left(first)) - grow;
    const qreal to = left + metrics.horizontalAdvance(after.left(last + 1)) + grow;
    return QRectF(from, line.top(), to - from, line.height()).toAlignedRect();
}

} // namespace TextChange
