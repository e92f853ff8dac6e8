#pragma once

#include <QFont>
#include <QRect>
#include <QString>

class QPaintDevice;

// Where a line of text, drawn centred in a box, lands; and which part of it differs between two
// texts: the columns of the characters from the first that changed to the last. A text of another
// width moves as a whole, so then the whole line. Digits of equal widths (as in a clock) change only
// their own columns. The areas hold what a glyph draws beyond its advance and line (bearings,
// antialiasing).
namespace TextChange {

QRect lineArea(const QFont &font, const QPaintDevice *device, const QRect &box, const QString &text);
QRect area(const QFont &font, const QPaintDevice *device, const QRect &box, const QString &before,
           const QString &after);

} // namespace TextChange
