#include "zelanalogclock.h"

#include "localclock.h"
#include "walltick.h"

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
    m_lastHour = time.hour();
    m_lastMinute = time.minute();
    m_lastSecond = time.second();
    update();
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

void ZelAnalogClock::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(width() / 2, height() / 2);
    const double scale = qMin(width(), height()) / dialSize;
    painter.scale(scale, scale);

    paintTicks(painter);
    if (m_endTime)
        paintEndTime(painter);
    if (m_countDownTime != 0.0f)
        paintCountDown(painter);
    if (m_hands)
        paintHands(painter);
    paintSecondDots(painter);
}

void ZelAnalogClock::paintTicks(QPainter &painter) const
{
    const int hourWidth = dialUnits(m_hourLinesWidth);
    const int minuteWidth = dialUnits(m_minuteLinesWidth);
    const QPen hourPen = solidPen(m_hourLinesColor, hourWidth);
    const QPen minutePen = solidPen(m_minuteLinesColor, minuteWidth);
    // With the square cap the outer edge of each tick lies on the tick radius.
    const int hourInset = hourWidth / 2;
    const int minuteInset = minuteWidth / 2;
    const QLine hourTick(0, hourInset + dialUnits(m_hourLinesLength) - tickOuterRadius, 0,
                         hourInset - tickOuterRadius);
    const QLine minuteTick(0, minuteInset + dialUnits(m_minuteLinesLength) - tickOuterRadius, 0,
                           minuteInset - tickOuterRadius);
    for (int i = 0; i < positionsPerTurn; ++i) {
        if (i % minutesPerHourTick == 0) {
            if (m_hourLines) {
                painter.setPen(hourPen);
                painter.drawLine(hourTick);
            }
        } else if (m_minuteLines) {
            painter.setPen(minutePen);
            painter.drawLine(minuteTick);
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
    painter.rotate((m_endTimeMinute + m_endTimeSecond / 60.0) * degreesPerPosition);
    const int width = dialUnits(m_endTimeWidth);
    painter.setPen(solidPen(m_endTimeColor, width));
    // Inset by half the pen width so that the square cap ends on the rim.
    const int inset = width / 2;
    painter.drawLine(0, inset - rimRadius, 0, dialUnits(m_endTimeLength) - rimRadius);
    const int span = endTimeArcSpan(*secondsLeft);
    if (span != 0) {
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

void ZelAnalogClock::paintHands(QPainter &painter) const
{
    // Each pointer's tip lies its border inside the rim, its base its length further in.
    const int hourHalfWidth = halfUp(dialUnits(m_hourHandWidth));
    const int hourTip = dialUnits(m_hourHandBorder) - rimRadius;
    const int hourBase = hourTip + dialUnits(m_hourHandLength);
    const QPoint hourHand[3] = {QPoint(hourHalfWidth, hourBase), QPoint(-hourHalfWidth, hourBase),
                                QPoint(0, hourTip)};
    const int minuteHalfWidth = halfUp(dialUnits(m_minuteHandWidth));
    const int minuteTip = dialUnits(m_minuteHandBorder) - rimRadius;
    const int minuteBase = minuteTip + dialUnits(m_minuteHandLength);
    const QPoint minuteHand[3] = {QPoint(minuteHalfWidth, minuteBase), QPoint(-minuteHalfWidth, minuteBase),
                                  QPoint(0, minuteTip)};

    painter.setPen(Qt::NoPen);
    painter.setBrush(QBrush(m_hourHandColor));
    painter.save();
    painter.rotate((m_lastHour + m_lastMinute / 60.0) * degreesPerHour);
    painter.drawConvexPolygon(hourHand, 3);
    painter.restore();

    painter.setBrush(QBrush(m_minuteHandColor));
    painter.save();
    painter.rotate((m_lastMinute + m_lastSecond / 60.0) * degreesPerPosition);
    painter.drawConvexPolygon(minuteHand, 3);
    painter.restore();
}

QRect ZelAnalogClock::dotRect() const
{
    // The dot's outer edge lies its own size inside the rim.
    const int size = dialUnits(m_dotSize);
    return QRect(-halfUp(size), size - rimRadius, size, size);
}

bool ZelAnalogClock::secondDotShown(int position) const
{
    return m_secondDotsCountDown ? position >= m_lastSecond : position <= m_lastSecond;
}

void ZelAnalogClock::paintSecondDots(QPainter &painter)
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
        paintSecondDotsDirectly(painter);
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
        if (secondDotShown(i))
            painter.drawImage(m_dotSprites[i].devicePosition, m_dotSprites[i].image);
    }
    painter.restore();
}

void ZelAnalogClock::paintSecondDotsDirectly(QPainter &painter) const
{
    painter.setPen(m_dotColor);
    painter.setBrush(QBrush(m_dotColor));
    const QRect dot = dotRect();
    for (int i = 0; i < positionsPerTurn; ++i) {
        if (secondDotShown(i))
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

    DotSprite sprite{pixels.topLeft(), QImage(pixels.size(), QImage::Format_ARGB32_Premultiplied)};
    sprite.image.fill(Qt::transparent);
    QPainter painter(&sprite.image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setTransform(dialToDevice * QTransform::fromTranslate(-pixels.left(), -pixels.top()));
    painter.setPen(m_dotColor);
    painter.setBrush(QBrush(m_dotColor));
    painter.drawEllipse(dot);
    return sprite;
}
