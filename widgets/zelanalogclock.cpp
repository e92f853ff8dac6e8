#include "zelanalogclock.h"

#include "dialareas.h"
#include "localclock.h"
#include "walltick.h"

#include <QPaintEvent>
#include <QPainter>

#include <cmath>

namespace {

const QSize initialSize(200, 200);

constexpr double dialSize = 200.0;
constexpr int rimRadius = 100;
constexpr int tickOuterRadius = 96;
constexpr int positionsPerTurn = 60;
constexpr double degreesPerPosition = 6.0;
constexpr double degreesPerHour = 30.0;
constexpr int minutesPerHourTick = 5;
// Second dots up to this diameter in device pixels are drawn from images made once.
constexpr qreal largestDotImageSide = 128;

constexpr int twelveOClock = 90 * 16; // drawArc angles are in sixteenths of a degree
constexpr int sixteenthsPerSecondLeft = 6 * 16;

constexpr int firstHourlyEndHour = 24;
constexpr qint64 secondsPerMinute = 60;
constexpr qint64 secondsPerHour = 3600;
constexpr qint64 secondsPerDay = 86400;
// An end time up to this many seconds past midnight (or the full hour) still gets its arc.
constexpr qint64 countDownSeconds = 15;

// Lengths, widths and sizes take any int. Beyond this many dial units (over 300 dials) a shape lies
// far outside the widget whatever its value, so each is bounded to it first: the shape arithmetic,
// ours and Qt's on the points, rectangles and pens made from them, then stays well within range.
constexpr int dialLimit = 1 << 16;

int dialUnits(int value)
{
    return qBound(-dialLimit, value, dialLimit);
}

int halfUp(int value)
{
    return static_cast<int>(value * 0.5 + 0.5);
}

// A pen from a solid brush, otherwise Qt's defaults: solid line, square cap, bevel join.
QPen solidPen(const QColor &color, int width)
{
    return QPen(QBrush(color), static_cast<qreal>(width));
}

} // namespace

ZelAnalogClock::ZelAnalogClock(QWidget *parent) : QWidget(parent), m_wallTick(WallTick::shared())
{
    setWindowTitle(tr("Analog Clock"));
    resize(initialSize);
    // The time from the first paint on, not from the first tick.
    checkTime();
    // Every 100 ms, in step with the wall clock; the face repaints only when the second changes.
    connect(m_wallTick.get(), &WallTick::tick, this, &ZelAnalogClock::checkTime);
}

ZelAnalogClock::~ZelAnalogClock() = default;

void ZelAnalogClock::setHourLines(bool value)
{
    assignAndRepaint(m_hourLines, value);
}

void ZelAnalogClock::setHourLinesLength(int value)
{
    assignAndRepaint(m_hourLinesLength, value);
}

void ZelAnalogClock::setHourLinesWidth(int value)
{
    assignAndRepaint(m_hourLinesWidth, value);
}

void ZelAnalogClock::setHourLinesColor(const QColor &value)
{
    assignAndRepaint(m_hourLinesColor, value);
}

void ZelAnalogClock::setMinuteLines(bool value)
{
    assignAndRepaint(m_minuteLines, value);
}

void ZelAnalogClock::setMinuteLinesLength(int value)
{
    assignAndRepaint(m_minuteLinesLength, value);
}

void ZelAnalogClock::setMinuteLinesWidth(int value)
{
    assignAndRepaint(m_minuteLinesWidth, value);
}

void ZelAnalogClock::setMinuteLinesColor(const QColor &value)
{
    assignAndRepaint(m_minuteLinesColor, value);
}

void ZelAnalogClock::setSecondDots(bool value)
{
    assignAndRepaint(m_secondDots, value);
}

void ZelAnalogClock::setSecondDotsCountDown(bool value)
{
    assignAndRepaint(m_secondDotsCountDown, value);
}

void ZelAnalogClock::setDotSize(int value)
{
    assignAndRepaint(m_dotSize, value);
}

void ZelAnalogClock::setDotColor(const QColor &value)
{
    assignAndRepaint(m_dotColor, value);
}

void ZelAnalogClock::setHands(bool value)
{
    assignAndRepaint(m_hands, value);
}

void ZelAnalogClock::setHourHandColor(const QColor &value)
{
    assignAndRepaint(m_hourHandColor, value);
}

void ZelAnalogClock::setHourHandBorder(int value)
{
    assignAndRepaint(m_hourHandBorder, value);
}

void ZelAnalogClock::setHourHandLength(int value)
{
    assignAndRepaint(m_hourHandLength, value);
}

void ZelAnalogClock::setHourHandWidth(int value)
{
    assignAndRepaint(m_hourHandWidth, value);
}

void ZelAnalogClock::setMinuteHandColor(const QColor &value)
{
    assignAndRepaint(m_minuteHandColor, value);
}

void ZelAnalogClock::setMinuteHandBorder(int value)
{
    assignAndRepaint(m_minuteHandBorder, value);
}

void ZelAnalogClock::setMinuteHandLength(int value)
{
    assignAndRepaint(m_minuteHandLength, value);
}

void ZelAnalogClock::setMinuteHandWidth(int value)
{
    assignAndRepaint(m_minuteHandWidth, value);
}

void ZelAnalogClock::setEndTime(bool value)
{
    assignAndRepaint(m_endTime, value);
}

void ZelAnalogClock::setEndTimeLength(int value)
{
    assignAndRepaint(m_endTimeLength, value);
}

void ZelAnalogClock::setEndTimeWidth(int value)
{
    assignAndRepaint(m_endTimeWidth, value);
}

void ZelAnalogClock::setEndTimeHour(int value)
{
    assignAndRepaint(m_endTimeHour, value);
}

void ZelAnalogClock::setEndTimeMinute(int value)
{
    assignAndRepaint(m_endTimeMinute, value);
}

void ZelAnalogClock::setEndTimeSecond(int value)
{
    assignAndRepaint(m_endTimeSecond, value);
}

void ZelAnalogClock::setEndTimeColor(const QColor &value)
{
    assignAndRepaint(m_endTimeColor, value);
}

void ZelAnalogClock::setCountDownTime(float value)
{
    assignAndRepaint(m_countDownTime, value);
}

void ZelAnalogClock::setCountDownWidth(int value)
{
    assignAndRepaint(m_countDownWidth, value);
}

void ZelAnalogClock::setCountDownSpacing(int value)
{
    assignAndRepaint(m_countDownSpacing, value);
}

void ZelAnalogClock::setCountDownColor(const QColor &value)
{
    assignAndRepaint(m_countDownColor, value);
}

void ZelAnalogClock::checkTime()
{
    // Always the whole time: after a start, a step of the clock or a daylight saving change, the hour
    // is right at once, whichever minute it came in.
    const QTime time = LocalClock::now().time();
    if (time.hour() == m_lastHour && time.minute() == m_lastMinute && time.second() == m_lastSecond)
        return;
    // Only what the new time moves is repainted: on a large screen the whole face would cost many
    // times more, every second.
    const QRegion changed = changedArea(time.hour(), time.minute(), time.second());
    m_lastHour = time.hour();
    m_lastMinute = time.minute();
    m_lastSecond = time.second();
    update(changed);
}

QRegion ZelAnalogClock::changedArea(int hour, int minute, int second) const
{
    if (m_endTime) {
        const auto endTimeLook = [this](int h, int m, int s) {
            const std::optional<qint64> left =
                endTimeSecondsLeft(m_endTimeHour, m_endTimeMinute, m_endTimeSecond, h, m, s);
            return left ? endTimeArcSpan(*left) : -1;
        };
        if (endTimeLook(hour, minute, second) != endTimeLook(m_lastHour, m_lastMinute, m_lastSecond))
            return rect();
    }
    const DialAreas areas(size());
    QRegion changed;
    if (m_hands) {
        const double hourBefore = hourHandDegrees(m_lastHour, m_lastMinute);
        const double hourAfter = hourHandDegrees(hour, minute);
        if (hourAfter != hourBefore)
            changed += areas.area(hourHand().boundingRect(), hourBefore) |
                       areas.area(hourHand().boundingRect(), hourAfter);
        const double minuteBefore = minuteHandDegrees(m_lastMinute, m_lastSecond);
        const double minuteAfter = minuteHandDegrees(minute, second);
        if (minuteAfter != minuteBefore)
            changed += areas.area(minuteHand().boundingRect(), minuteBefore) |
                       areas.area(minuteHand().boundingRect(), minuteAfter);
    }
    if (m_secondDots) {
        for (int i = 0; i < positionsPerTurn; ++i)
            if (secondDotShown(i, second) != secondDotShown(i, m_lastSecond))
                changed += dotArea(areas, i);
    }
    return withWholeLines(changed, lineAreas(areas));
}

std::optional<qint64> ZelAnalogClock::endTimeSecondsLeft(int endHour, int endMinute, int endSecond, int hour,
                                                         int minute, int second)
{
    // 64-bit, because the properties take any int without a range check.
    const qint64 now = qint64(minute) * secondsPerMinute + second;
    const qint64 end = qint64(endMinute) * secondsPerMinute + endSecond;
    if (endHour < firstHourlyEndHour) {
        qint64 diff = (qint64(endHour) * secondsPerHour + end) - (qint64(hour) * secondsPerHour + now);
        if (diff <= -(secondsPerDay - countDownSeconds))
            diff += secondsPerDay;
        if (diff < 0)
            return std::nullopt;
        return diff;
    }
    qint64 diff = end - now;
    if (diff <= -(secondsPerHour - countDownSeconds))
        diff += secondsPerHour;
    return diff;
}

int ZelAnalogClock::endTimeArcSpan(qint64 secondsLeft)
{
    if (secondsLeft < 1 || secondsLeft > countDownSeconds)
        return 0;
    return static_cast<int>(secondsLeft) * sixteenthsPerSecondLeft;
}

int ZelAnalogClock::countDownArcSpan(float countDownTime)
{
    const float span = countDownTime * 360 * 16 / 60;
    // Beyond a full turn the arc is a circle anyway; bounding keeps the conversion defined.
    constexpr float spanLimit = 1 << 30;
    if (std::isnan(span))
        return 0;
    if (span >= spanLimit)
        return static_cast<int>(spanLimit);
    if (span <= -spanLimit)
        return -static_cast<int>(spanLimit);
    return static_cast<int>(span);
}

void ZelAnalogClock::paintEvent(QPaintEvent *event)
{
    // Shapes wholly outside the area being repainted are skipped: they would change no pixel.
    const QRegion &area = event->region();
    const DialAreas areas(size());
    const QVector<QRect> lines = lineAreas(areas);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(width() / 2, height() / 2);
    const double scale = qMin(width(), height()) / dialSize;
    painter.scale(scale, scale);

    paintTicks(painter, lines, area);
    if (m_endTime)
        paintEndTime(painter);
    if (m_countDownTime != 0.0f)
        paintCountDown(painter);
    if (m_hands)
        paintHands(painter, areas, area);
    paintSecondDots(painter, areas, area);

    // A thick line comes out a shade different where the edge of the area being repainted cuts it
    // (another widget's repaint may): such lines are repainted once more, whole.
    const QRect bounds = area.boundingRect();
    QRegion cut;
    for (const QRect &line : lines)
        if (area.intersects(line) && !bounds.contains(line))
            cut += line;
    if (!cut.isEmpty())
        update(withWholeLines(cut, lines));
}

QLine ZelAnalogClock::tickLine(bool hour) const
{
    const int width = dialUnits(hour ? m_hourLinesWidth : m_minuteLinesWidth);
    // With the square cap the outer edge of each tick lies on the tick radius.
    const int inset = width / 2;
    return QLine(0, inset + dialUnits(hour ? m_hourLinesLength : m_minuteLinesLength) - tickOuterRadius, 0,
                 inset - tickOuterRadius);
}

QLine ZelAnalogClock::endTimeLine() const
{
    // Inset by half the pen width so that the square cap ends on the rim.
    const int inset = dialUnits(m_endTimeWidth) / 2;
    return QLine(0, inset - rimRadius, 0, dialUnits(m_endTimeLength) - rimRadius);
}

double ZelAnalogClock::endTimeDegrees() const
{
    return (m_endTimeMinute + m_endTimeSecond / 60.0) * degreesPerPosition;
}

QVector<QRect> ZelAnalogClock::lineAreas(const DialAreas &areas) const
{
    const auto areaOf = [&](const QLine &line, double degrees, int width) {
        return areas.area(QRectF(line.p1(), line.p2()), degrees, dialUnits(width));
    };
    QVector<QRect> lines(positionsPerTurn + 1);
    for (int i = 0; i < positionsPerTurn; ++i) {
        const bool hour = i % minutesPerHourTick == 0;
        if (hour ? m_hourLines : m_minuteLines)
            lines[i] =
                areaOf(tickLine(hour), i * degreesPerPosition, hour ? m_hourLinesWidth : m_minuteLinesWidth);
    }
    if (m_endTime)
        lines[positionsPerTurn] = areaOf(endTimeLine(), endTimeDegrees(), m_endTimeWidth);
    return lines;
}

QRegion ZelAnalogClock::withWholeLines(QRegion region, const QVector<QRect> &lines)
{
    // Each line added may touch another; at most every line is added once.
    for (bool grown = true; grown;) {
        grown = false;
        for (const QRect &line : lines) {
            if (region.intersects(line) && !QRegion(line).subtracted(region).isEmpty()) {
                region += line;
                grown = true;
            }
        }
    }
    return region;
}

void ZelAnalogClock::paintTicks(QPainter &painter, const QVector<QRect> &lines, const QRegion &area) const
{
    const QPen hourPen = solidPen(m_hourLinesColor, dialUnits(m_hourLinesWidth));
    const QPen minutePen = solidPen(m_minuteLinesColor, dialUnits(m_minuteLinesWidth));
    const QLine hourTick = tickLine(true);
    const QLine minuteTick = tickLine(false);
    for (int i = 0; i < positionsPerTurn; ++i) {
        if (area.intersects(lines[i])) {
            const bool hour = i % minutesPerHourTick == 0;
            painter.setPen(hour ? hourPen : minutePen);
            painter.drawLine(hour ? hourTick : minuteTick);
        }
        painter.rotate(degreesPerPosition);
    }
}

void ZelAnalogClock::paintEndTime(QPainter &painter) const
{
    const std::optional<qint64> secondsLeft = endTimeSecondsLeft(
        m_endTimeHour, m_endTimeMinute, m_endTimeSecond, m_lastHour, m_lastMinute, m_lastSecond);
    if (!secondsLeft)
        return;
    painter.save();
    painter.rotate(endTimeDegrees());
    const int width = dialUnits(m_endTimeWidth);
    painter.setPen(solidPen(m_endTimeColor, width));
    painter.drawLine(endTimeLine());
    const int span = endTimeArcSpan(*secondsLeft);
    if (span != 0) {
        const int inset = width / 2;
        const int diameter = 2 * rimRadius - 2 * inset;
        painter.drawArc(QRect(inset - rimRadius, inset - rimRadius, diameter, diameter), twelveOClock, span);
    }
    painter.restore();
}

void ZelAnalogClock::paintCountDown(QPainter &painter) const
{
    painter.setPen(solidPen(m_countDownColor, dialUnits(m_countDownWidth)));
    // Follows the hour tick length also when the hour ticks are off.
    const int inset = dialUnits(m_hourLinesLength) + dialUnits(m_countDownSpacing);
    const int diameter = 2 * tickOuterRadius - 2 * inset;
    painter.drawArc(QRect(inset - tickOuterRadius, inset - tickOuterRadius, diameter, diameter), twelveOClock,
                    countDownArcSpan(m_countDownTime));
}

QPolygon ZelAnalogClock::hourHand() const
{
    // Each pointer's tip lies its border inside the rim, its base its length further in.
    const int halfWidth = halfUp(dialUnits(m_hourHandWidth));
    const int tip = dialUnits(m_hourHandBorder) - rimRadius;
    const int base = tip + dialUnits(m_hourHandLength);
    return QPolygon({QPoint(halfWidth, base), QPoint(-halfWidth, base), QPoint(0, tip)});
}

QPolygon ZelAnalogClock::minuteHand() const
{
    const int halfWidth = halfUp(dialUnits(m_minuteHandWidth));
    const int tip = dialUnits(m_minuteHandBorder) - rimRadius;
    const int base = tip + dialUnits(m_minuteHandLength);
    return QPolygon({QPoint(halfWidth, base), QPoint(-halfWidth, base), QPoint(0, tip)});
}

double ZelAnalogClock::hourHandDegrees(int hour, int minute)
{
    return (hour + minute / 60.0) * degreesPerHour;
}

double ZelAnalogClock::minuteHandDegrees(int minute, int second)
{
    return (minute + second / 60.0) * degreesPerPosition;
}

void ZelAnalogClock::paintHands(QPainter &painter, const DialAreas &areas, const QRegion &area) const
{
    const QPolygon hours = hourHand();
    const QPolygon minutes = minuteHand();
    const double hourDegrees = hourHandDegrees(m_lastHour, m_lastMinute);
    const double minuteDegrees = minuteHandDegrees(m_lastMinute, m_lastSecond);

    painter.setPen(Qt::NoPen);
    if (area.intersects(areas.area(hours.boundingRect(), hourDegrees))) {
        painter.setBrush(QBrush(m_hourHandColor));
        painter.save();
        painter.rotate(hourDegrees);
        painter.drawConvexPolygon(hours);
        painter.restore();
    }
    if (area.intersects(areas.area(minutes.boundingRect(), minuteDegrees))) {
        painter.setBrush(QBrush(m_minuteHandColor));
        painter.save();
        painter.rotate(minuteDegrees);
        painter.drawConvexPolygon(minutes);
        painter.restore();
    }
}

QRect ZelAnalogClock::dotRect() const
{
    // The dot's outer edge lies its own size inside the rim.
    const int size = dialUnits(m_dotSize);
    return QRect(-halfUp(size), size - rimRadius, size, size);
}

bool ZelAnalogClock::secondDotShown(int position, int second) const
{
    return m_secondDotsCountDown ? position >= second : position <= second;
}

QRect ZelAnalogClock::dotArea(const DialAreas &areas, int position) const
{
    // The pen is one dial unit wide; a dot's image has room for a whole unit around the dot.
    return areas.area(dotRect(), position * degreesPerPosition, 2);
}

void ZelAnalogClock::paintSecondDots(QPainter &painter, const DialAreas &areas, const QRegion &area)
{
    if (!m_secondDots)
        return;
    // Antialiased ellipses under a rotated, scaled transform are slow to rasterise, and the
    // ring looks the same every second; so each dot is drawn once into its own small image,
    // with the very transform it would be painted with, and the images are copied from then on.
    // Dots too big for such images are drawn as they are.
    const QTransform firstDotTransform = painter.deviceTransform();
    const qreal deviceScale = std::sqrt(std::abs(firstDotTransform.determinant()));
    if (std::abs(dialUnits(m_dotSize)) * deviceScale > largestDotImageSide) {
        m_dotSprites.clear();
        paintSecondDotsDirectly(painter, areas, area);
        return;
    }

    const bool rebuild = m_dotSprites.size() != positionsPerTurn ||
                         firstDotTransform != m_dotSpriteTransform || m_dotSize != m_dotSpriteSize ||
                         m_dotColor != m_dotSpriteColor;
    if (rebuild) {
        m_dotSprites.clear();
        m_dotSprites.reserve(positionsPerTurn);
        for (int i = 0; i < positionsPerTurn; ++i) {
            m_dotSprites.push_back(renderDot(painter.deviceTransform()));
            painter.rotate(degreesPerPosition);
        }
        m_dotSpriteTransform = firstDotTransform;
        m_dotSpriteSize = m_dotSize;
        m_dotSpriteColor = m_dotColor;
    }

    // Copy in device pixels: undo every transform, including the device's own.
    painter.save();
    painter.resetTransform();
    painter.setWorldTransform(painter.deviceTransform().inverted());
    for (int i = 0; i < positionsPerTurn; ++i) {
        if (secondDotShown(i, m_lastSecond) && area.intersects(dotArea(areas, i)))
            painter.drawImage(m_dotSprites[i].devicePosition, m_dotSprites[i].image);
    }
    painter.restore();
}

void ZelAnalogClock::paintSecondDotsDirectly(QPainter &painter, const DialAreas &areas,
                                             const QRegion &area) const
{
    painter.setPen(m_dotColor);
    painter.setBrush(QBrush(m_dotColor));
    const QRect dot = dotRect();
    for (int i = 0; i < positionsPerTurn; ++i) {
        if (secondDotShown(i, m_lastSecond) && area.intersects(dotArea(areas, i)))
            painter.drawEllipse(dot);
        painter.rotate(degreesPerPosition);
    }
}

ZelAnalogClock::DotSprite ZelAnalogClock::renderDot(const QTransform &dialToDevice) const
{
    const QRect dot = dotRect();
    // Room for the pen (one dial unit wide, half of it outside) and the antialiased edge.
    const qreal margin = std::sqrt(std::abs(dialToDevice.determinant())) + 2.0;
    const QRect pixels = dialToDevice.mapRect(QRectF(dot).normalized())
                             .adjusted(-margin, -margin, margin, margin)
                             .toAlignedRect();

    QImage image(pixels.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setTransform(dialToDevice * QTransform::fromTranslate(-pixels.left(), -pixels.top()));
        painter.setPen(m_dotColor);
        painter.setBrush(QBrush(m_dotColor));
        painter.drawEllipse(dot);
    }
    // An image once painted on keeps its paint engine and the engine's buffers (about 60 KB) as
    // long as it lives: the sixty dots kept are copies without them.
    return {pixels.topLeft(), image.copy()};
}
