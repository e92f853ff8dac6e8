#include "zeldigitalclock.h"

#include "localclock.h"

#include <QPainter>
#include <QTimer>

namespace {

constexpr int tickInterval = 100; // ms; repaints only when the second changes
const QSize initialSize(100, 30);
const QString timeFormat = QStringLiteral("hh:mm:ss");
const QString dateFormat = QStringLiteral("ddd d MMM yyyy");

} // namespace

ZelDigitalClock::ZelDigitalClock(QWidget *parent) : QWidget(parent)
{
    auto *timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &ZelDigitalClock::checkTime);
    timer->start(tickInterval);
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
    // Refreshed on every tick: a repaint for any other reason shows texts at most one tick old.
    m_timeText = now.time().toString(timeFormat);
    m_dateText = now.date().toString(dateFormat);
    const int second = now.time().second();
    if (second == m_lastSecond)
        return;
    m_lastSecond = second;
    update();
}

void ZelDigitalClock::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);

    const int halfHeight = height() / 2;
    int dateTop = 0;
    if (m_timeDisplay) {
        painter.setPen(m_timeDisplayFontColor);
        painter.setFont(m_timeDisplayFont);
        painter.drawText(QRect(0, 0, width(), halfHeight), Qt::AlignCenter, m_timeText);
        // The date starts one time-font line down, not at the middle of the widget.
        dateTop = painter.fontMetrics().height();
    }
    if (m_dateDisplay) {
        painter.setPen(m_dateDisplayFontColor);
        painter.setFont(m_dateDisplayFont);
        painter.drawText(QRect(0, dateTop, width(), halfHeight), Qt::AlignCenter, m_dateText);
    }
}
