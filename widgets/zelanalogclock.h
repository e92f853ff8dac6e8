#pragma once

#include <QColor>
#include <QImage>
#include <QPolygon>
#include <QRegion>
#include <QTransform>
#include <QVector>
#include <QWidget>

#include <memory>
#include <optional>

class DialAreas;
class WallTick;

// Studio clock: a dial without numerals made of tick lines, a ring of sixty second dots, two
// triangular pointers, an optional end-time mark with its count-down arc and an optional
// count-down arc from twelve. Lengths are in units of a 200 x 200 dial centred on the widget.
// It polls the time every 100 ms in step with the wall clock and repaints once a second, and at once
// when the clock is set.
class ZelAnalogClock : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool HourLines READ hourLines WRITE setHourLines DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(int HourLinesLength READ hourLinesLength WRITE setHourLinesLength
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(int HourLinesWidth READ hourLinesWidth WRITE setHourLinesWidth
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(QColor HourLinesColor READ hourLinesColor WRITE setHourLinesColor
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(
        bool MinuteLines READ minuteLines WRITE setMinuteLines DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(int MinuteLinesLength READ minuteLinesLength WRITE setMinuteLinesLength
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(int MinuteLinesWidth READ minuteLinesWidth WRITE setMinuteLinesWidth
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(QColor MinuteLinesColor READ minuteLinesColor WRITE setMinuteLinesColor
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(
        bool SecondDots READ secondDots WRITE setSecondDots DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(bool SecondDotsCountDown READ secondDotsCountDown WRITE setSecondDotsCountDown
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(int DotSize READ dotSize WRITE setDotSize DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(QColor DotColor READ dotColor WRITE setDotColor DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(bool Hands READ hands WRITE setHands DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(QColor HourHandColor READ hourHandColor WRITE setHourHandColor
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(int HourHandBorder READ hourHandBorder WRITE setHourHandBorder
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(int HourHandLength READ hourHandLength WRITE setHourHandLength
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(int HourHandWidth READ hourHandWidth WRITE setHourHandWidth
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(QColor MinuteHandColor READ minuteHandColor WRITE setMinuteHandColor
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(int MinuteHandBorder READ minuteHandBorder WRITE setMinuteHandBorder
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(int MinuteHandLength READ minuteHandLength WRITE setMinuteHandLength
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(int MinuteHandWidth READ minuteHandWidth WRITE setMinuteHandWidth
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(bool EndTime READ endTime WRITE setEndTime DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(int EndTimeLength READ endTimeLength WRITE setEndTimeLength
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(
        int EndTimeWidth READ endTimeWidth WRITE setEndTimeWidth DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(
        int EndTimeHour READ endTimeHour WRITE setEndTimeHour DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(int EndTimeMinute READ endTimeMinute WRITE setEndTimeMinute
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(int EndTimeSecond READ endTimeSecond WRITE setEndTimeSecond
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(QColor EndTimeColor READ endTimeColor WRITE setEndTimeColor
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(float CountDownTime READ countDownTime WRITE setCountDownTime
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(int CountDownWidth READ countDownWidth WRITE setCountDownWidth
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(int CountDownSpacing READ countDownSpacing WRITE setCountDownSpacing
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(QColor CountDownColor READ countDownColor WRITE setCountDownColor
                   DESIGNABLE true SCRIPTABLE true STORED true)

public:
    explicit ZelAnalogClock(QWidget *parent = nullptr);
    ~ZelAnalogClock() override;

    bool hourLines() const { return m_hourLines; }
    int hourLinesLength() const { return m_hourLinesLength; }
    int hourLinesWidth() const { return m_hourLinesWidth; }
    QColor hourLinesColor() const { return m_hourLinesColor; }
    bool minuteLines() const { return m_minuteLines; }
    int minuteLinesLength() const { return m_minuteLinesLength; }
    int minuteLinesWidth() const { return m_minuteLinesWidth; }
    QColor minuteLinesColor() const { return m_minuteLinesColor; }
    bool secondDots() const { return m_secondDots; }
    bool secondDotsCountDown() const { return m_secondDotsCountDown; }
    int dotSize() const { return m_dotSize; }
    QColor dotColor() const { return m_dotColor; }
    bool hands() const { return m_hands; }
    QColor hourHandColor() const { return m_hourHandColor; }
    int hourHandBorder() const { return m_hourHandBorder; }
    int hourHandLength() const { return m_hourHandLength; }
    int hourHandWidth() const { return m_hourHandWidth; }
    QColor minuteHandColor() const { return m_minuteHandColor; }
    int minuteHandBorder() const { return m_minuteHandBorder; }
    int minuteHandLength() const { return m_minuteHandLength; }
    int minuteHandWidth() const { return m_minuteHandWidth; }
    bool endTime() const { return m_endTime; }
    int endTimeLength() const { return m_endTimeLength; }
    int endTimeWidth() const { return m_endTimeWidth; }
    int endTimeHour() const { return m_endTimeHour; }
    int endTimeMinute() const { return m_endTimeMinute; }
    int endTimeSecond() const { return m_endTimeSecond; }
    QColor endTimeColor() const { return m_endTimeColor; }
    float countDownTime() const { return m_countDownTime; }
    int countDownWidth() const { return m_countDownWidth; }
    int countDownSpacing() const { return m_countDownSpacing; }
    QColor countDownColor() const { return m_countDownColor; }

    void setHourLines(bool value);
    void setHourLinesLength(int value);
    void setHourLinesWidth(int value);
    void setHourLinesColor(const QColor &value);
    void setMinuteLines(bool value);
    void setMinuteLinesLength(int value);
    void setMinuteLinesWidth(int value);
    void setMinuteLinesColor(const QColor &value);
    void setSecondDots(bool value);
    void setSecondDotsCountDown(bool value);
    void setDotSize(int value);
    void setDotColor(const QColor &value);
    void setHands(bool value);
    void setHourHandColor(const QColor &value);
    void setHourHandBorder(int value);
    void setHourHandLength(int value);
    void setHourHandWidth(int value);
    void setMinuteHandColor(const QColor &value);
    void setMinuteHandBorder(int value);
    void setMinuteHandLength(int value);
    void setMinuteHandWidth(int value);
    void setEndTime(bool value);
    void setEndTimeLength(int value);
    void setEndTimeWidth(int value);
    void setEndTimeHour(int value);
    void setEndTimeMinute(int value);
    void setEndTimeSecond(int value);
    void setEndTimeColor(const QColor &value);
    void setCountDownTime(float value);
    void setCountDownWidth(int value);
    void setCountDownSpacing(int value);
    void setCountDownColor(const QColor &value);

    // The time of day the face shows.
    int lastHour() const { return m_lastHour; }
    int lastMinute() const { return m_lastMinute; }
    int lastSecond() const { return m_lastSecond; }

    // Seconds from the shown time to the end time, or nothing when a daily end time has passed
    // and its mark is not drawn. An hour of 24 or more makes the end time recur every hour.
    static std::optional<qint64> endTimeSecondsLeft(int endHour, int endMinute, int endSecond, int hour,
                                                    int minute, int second);
    // Span of the arc that counts down the last fifteen seconds before the end time, in sixteenths
    // of a degree; 0 when no arc is drawn.
    static int endTimeArcSpan(qint64 secondsLeft);
    // Span of the count-down arc from twelve, in sixteenths of a degree (6 degrees per unit).
    static int countDownArcSpan(float countDownTime);

public slots:
    void checkTime();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    template <typename T> void assignAndRepaint(T &stored, const T &value)
    {
        if (value == stored)
            return;
        stored = value;
        update();
    }

    // What a change of the shown time to this one repaints.
    QRegion changedArea(int hour, int minute, int second) const;

    // Where the thick lines lie, the ticks and the end-time mark (empty when not drawn); a repaint
    // grown to hold whole every line it touches.
    QVector<QRect> lineAreas(const DialAreas &areas) const;
    static QRegion withWholeLines(QRegion region, const QVector<QRect> &lines);
    QLine tickLine(bool hour) const;
    QLine endTimeLine() const;
    double endTimeDegrees() const;

    void paintTicks(QPainter &painter, const QVector<QRect> &lines, const QRegion &area) const;
    void paintEndTime(QPainter &painter) const;
    void paintCountDown(QPainter &painter) const;
    void paintHands(QPainter &painter, const DialAreas &areas, const QRegion &area) const;
    void paintSecondDots(QPainter &painter, const DialAreas &areas, const QRegion &area);
    void paintSecondDotsDirectly(QPainter &painter, const DialAreas &areas, const QRegion &area) const;
    QPolygon hourHand() const;
    QPolygon minuteHand() const;
    static double hourHandDegrees(int hour, int minute);
    static double minuteHandDegrees(int minute, int second);
    QRect dotRect() const;
    QRect dotArea(const DialAreas &areas, int position) const;
    bool secondDotShown(int position, int second) const;

    // One second dot, rasterised once for the device transform of its position.
    struct DotSprite
    {
        QPoint devicePosition;
        QImage image;
    };
    DotSprite renderDot(const QTransform &dialToDevice) const;

    bool m_hourLines = false;
    int m_hourLinesLength = 8;
    int m_hourLinesWidth = 2;
    QColor m_hourLinesColor{0, 0, 0, 255};
    bool m_minuteLines = false;
    int m_minuteLinesLength = 4;
    int m_minuteLinesWidth = 1;
    QColor m_minuteLinesColor{61, 61, 61, 191};
    bool m_secondDots = true;
    bool m_secondDotsCountDown = false;
    int m_dotSize = 1;
    QColor m_dotColor{0, 0, 0, 255};
    bool m_hands = true;
    QColor m_hourHandColor{0, 0, 0, 255};
    int m_hourHandBorder = 12;
    int m_hourHandLength = 12;
    int m_hourHandWidth = 12;
    QColor m_minuteHandColor{61, 61, 61, 191};
    int m_minuteHandBorder = 4;
    int m_minuteHandLength = 8;
    int m_minuteHandWidth = 8;
    bool m_endTime = false;
    int m_endTimeLength = 8;
    int m_endTimeWidth = 2;
    int m_endTimeHour = 0;
    int m_endTimeMinute = 0;
    int m_endTimeSecond = 0;
    QColor m_endTimeColor{255, 0, 0, 255};
    float m_countDownTime = 0.0f;
    int m_countDownWidth = 2;
    int m_countDownSpacing = 1;
    QColor m_countDownColor{255, 0, 255, 255};

    // The rasterised dots and what they were drawn for; redrawn when any of it changes.
    QVector<DotSprite> m_dotSprites;
    QTransform m_dotSpriteTransform;
    int m_dotSpriteSize = 0;
    QColor m_dotSpriteColor;

    int m_lastHour = 0;
    int m_lastMinute = 0;
    int m_lastSecond = 0;
    std::shared_ptr<WallTick> m_wallTick;
};
