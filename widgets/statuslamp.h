#pragma once

#include <QColor>
#include <QWidget>

// A small round lamp that paints one of four steady states: a pure paint of its state, no timers.
// The window (or whoever owns the thing being watched) sets the state and the tooltip.
class StatusLamp : public QWidget
{
    Q_OBJECT

public:
    enum class State
    {
        Off,     // grey: nothing to watch
        Good,    // green
        Warning, // amber
        Fault,   // red
    };
    Q_ENUM(State)

    explicit StatusLamp(QWidget *parent = nullptr);

    State state() const { return m_state; }
    void setState(State state);

    // The colour of the disc in a state; the rim is a darker shade of it.
    static QColor colorFor(State state);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    State m_state = State::Off;
};
