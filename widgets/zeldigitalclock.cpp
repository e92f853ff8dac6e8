#include "zeldigitalclock.h"

#include "localclock.h"
#include "textchange.h"
#include "walltick.h"

#include <QPaintEvent>
#include <QPainter>

namespace {

const QSize initialSize(100, 30);
const QString timeFormat = QStringLiteral("hh:mm:ss");
const QString dateFormat = QStringLiteral("ddd d MMM yyyy");

} // namespace

ZelDigitalClock::ZelDigitalClock(QWidget *parent) : QWidget(parent), m_wallTick(WallTick::shared())
{
    // Every 100 ms, in step with the wall clock; repaints only when the second changes.
    connect(m_wallTick.get(), &WallTick::tick, this, &ZelDigitalClock::checkTime);
    setWindowTitle(tr("Digital Clock"));
    resize(initialSize);
}

void ZelDigitalClock::setTimeDisplay(bool value)
{
    assignAndRepaint(m_timeDisplay, value);
}

void ZelDigitalClock::setTimeDisplayFont(const QFont &value)
{
    assignAndRepaint(m_timeDisplayFont, value);
}

void ZelDigitalClock::setTimeDisplayFontColor(const QColor &value)
{
    assignAndRepaint(m_timeDisplayFontColor, value);
}

void ZelDigitalClock::setDateDisplay(bool value)
{
    assignAndRepaint(m_dateDisplay, value);
}

void ZelDigitalClock::setDateDisplayFont(const QFont &value)
{
    assignAndRepaint(m_dateDisplayFont, value);
}

void ZelDigitalClock::setDateDisplayFontColor(const QColor &value)
{
    assignAndRepaint(m_dateDisplayFontColor, value);
}

void ZelDigitalClock::checkTime()
{
    // One reading for both texts, so that they never straddle midnight.
    const QDateTime now = LocalClock::now();
    const bool stepped = WallTick::isStep(m_lastReading, now);
    m_lastReading = now;
    // Refreshed on every tick: a repaint for any other reason shows texts at most one tick old.
    const QString timeText = now.time().toString(timeFormat);
    const QString dateText = now.date().toString(dateFormat);
    // A clock set to the same second of another minute, hour or day shows it at once too.
    const bool textsChanged = timeText != m_timeText || dateText != m_dateText;
    const QString timeBefore = m_timeText;
    const QString dateBefore = m_dateText;
    m_timeText = timeText;
    m_dateText = dateText;
    const int second = now.time().second();
    if (second == m_lastSecond && !(stepped && textsChanged))
        return;
    m_lastSecond = second;
    // Most seconds change a digit or two: only their columns are repainted.
    if (m_dateDisplay && dateText != dateBefore)
        update();
    else if (m_timeDisplay)
        update(TextChange::area(paintedTimeFont(), this, timeBox(), timeBefore, timeText));
}

QFont ZelDigitalClock::paintedTimeFont() const
{
    // As the painter takes it: what the time's font leaves open comes from the widget's font.
    return m_timeDisplayFont.resolve(font());
}

QRect ZelDigitalClock::timeBox() const
{
    return QRect(0, 0, width(), height() / 2);
}

void ZelDigitalClock::paintEvent(QPaintEvent *event)
{
    // Large text is drawn as outlines, so a line is skipped when it lies outside the area repainted.
    const QRegion &area = event->region();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);

    const int halfHeight = height() / 2;
    int dateTop = 0;
    if (m_timeDisplay) {
        painter.setPen(m_timeDisplayFontColor);
        painter.setFont(m_timeDisplayFont);
        if (area.intersects(TextChange::lineArea(painter.font(), this, timeBox(), m_timeText)))
            painter.drawText(timeBox(), Qt::AlignCenter, m_timeText);
        // The date starts one time-font line down, not at the middle of the widget.
        dateTop = painter.fontMetrics().height();
    }
    if (m_dateDisplay) {
        painter.setPen(m_dateDisplayFontColor);
        painter.setFont(m_dateDisplayFont);
        const QRect dateBox(0, dateTop, width(), halfHeight);
        if (area.intersects(TextChange::lineArea(painter.font(), this, dateBox, m_dateText)))
            painter.drawText(dateBox, Qt::AlignCenter, m_dateText);
    }
}
