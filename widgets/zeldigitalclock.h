#pragma once

#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QString>
#include <QWidget>

#include <memory>

class WallTick;

// Self-drawing clock showing the local time ("hh:mm:ss") and beneath it the date, each line with
// its own font and colour. Polls the time every 100 ms in step with the wall clock and repaints once a
// second, and at once when the clock is set.
class ZelDigitalClock : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(
        bool TimeDisplay READ timeDisplay WRITE setTimeDisplay DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(QFont TimeDisplayFont READ timeDisplayFont WRITE setTimeDisplayFont
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(QColor TimeDisplayFontColor READ timeDisplayFontColor WRITE setTimeDisplayFontColor
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(
        bool DateDisplay READ dateDisplay WRITE setDateDisplay DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(QFont DateDisplayFont READ dateDisplayFont WRITE setDateDisplayFont
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(QColor DateDisplayFontColor READ dateDisplayFontColor WRITE setDateDisplayFontColor
                   DESIGNABLE true SCRIPTABLE true STORED true)

public:
    explicit ZelDigitalClock(QWidget *parent = nullptr);

    bool timeDisplay() const { return m_timeDisplay; }
    QFont timeDisplayFont() const { return m_timeDisplayFont; }
    QColor timeDisplayFontColor() const { return m_timeDisplayFontColor; }
    bool dateDisplay() const { return m_dateDisplay; }
    QFont dateDisplayFont() const { return m_dateDisplayFont; }
    QColor dateDisplayFontColor() const { return m_dateDisplayFontColor; }

    void setTimeDisplay(bool value);
    void setTimeDisplayFont(const QFont &value);
    void setTimeDisplayFontColor(const QColor &value);
    void setDateDisplay(bool value);
    void setDateDisplayFont(const QFont &value);
    void setDateDisplayFontColor(const QColor &value);

    // The texts as the last tick formatted them.
    QString timeText() const { return m_timeText; }
    QString dateText() const { return m_dateText; }

public slots:
    void checkTime();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    template <typename T> void assignAndRepaint(T &stored, const T &value)
    {
        if (!(value != stored))
            return;
        stored = value;
        update();
    }

    // Where the time line is centred, and in which font it is painted.
    QRect timeBox() const;
    QFont paintedTimeFont() const;

    bool m_timeDisplay = true;
    QFont m_timeDisplayFont;
    QColor m_timeDisplayFontColor;
    bool m_dateDisplay = true;
    QFont m_dateDisplayFont;
    QColor m_dateDisplayFontColor;

    QString m_timeText;
    QString m_dateText;
    int m_lastSecond = 0;
    QDateTime m_lastReading; // of the last tick: tells a step of the clock from time going by
    std::shared_ptr<WallTick> m_wallTick;
};
