#include "statuslamp.h"

#include <QPainter>

namespace {

const QSize initialSize(15, 15);
// Darker rim: the disc stays legible on both the black and the grey parts of the background.
constexpr int rimDarkness = 200; // percent, for QColor::darker
constexpr qreal rimWidthFraction = 0.12;

} // namespace

StatusLamp::StatusLamp(QWidget *parent) : QWidget(parent)
{
    resize(initialSize);
}

void StatusLamp::setState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    update();
}

QColor StatusLamp::colorFor(State state)
{
    switch (state) {
    case State::Good:
        return QColor(40, 200, 60);
    case State::Warning:
        return QColor(255, 176, 0);
    case State::Fault:
        return QColor(230, 30, 30);
    case State::Off:
        break;
    }
    return QColor(128, 128, 128);
}

void StatusLamp::paintEvent(QPaintEvent *)
{
    const qreal side = qMin(width(), height());
    if (side <= 0)
        return;
    const QColor fill = colorFor(m_state);
    const qreal rimWidth = qMax<qreal>(1.0, side * rimWidthFraction);

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(fill.darker(rimDarkness), rimWidth));
    painter.setBrush(fill);
    const qreal inset = rimWidth / 2;
    const QRectF disc((width() - side) / 2 + inset, (height() - side) / 2 + inset, side - rimWidth,
                      side - rimWidth);
    painter.drawEllipse(disc);
}
