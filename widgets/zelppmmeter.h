#pragma once

#include "meterscale.h"
#include "peakhold.h"

#include <QBrush>
#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>

class QPainter;

// A level in dB; the declared type of the meter's level slot.
typedef double double_db;

// Vertical peak programme meter: maps one level in dB onto its height and paints the bar.
// The bar length is kept in whole pixels and changes only in calcPosition(), so that a caller
// moving the level often repaints only when the bar really moves.
class ZelPPMMeter : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(
        double dBPosition READ dBPosition WRITE setdBPosition DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(double MindBPosition READ mindBPosition WRITE setMindBPosition
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(double MaxdBPosition READ maxdBPosition WRITE setMaxdBPosition
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(double ReleasePerSecond READ releasePerSecond WRITE setReleasePerSecond
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(bool DINCurve READ dinCurve WRITE setDINCurve DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(bool GradientBackground READ gradientBackground WRITE setGradientBackground
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(bool GradientForground READ gradientForground WRITE setGradientForground
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(QColor MaxColor READ maxColor WRITE setMaxColor DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(QColor MinColor READ minColor WRITE setMinColor DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(QColor MaxBackgroundColor READ maxBackgroundColor WRITE setMaxBackgroundColor
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(QColor MinBackgroundColor READ minBackgroundColor WRITE setMinBackgroundColor
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(QString SkinEnvironmentVariable READ skinEnvironmentVariable WRITE setSkinEnvironmentVariable
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(QString PPMMeterBackgroundFileName READ ppmMeterBackgroundFileName WRITE
                   setPPMMeterBackgroundFileName DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(bool PeakHold READ peakHold WRITE setPeakHold DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(
        int PeakHoldTime READ peakHoldTime WRITE setPeakHoldTime DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(QColor PeakColor READ peakColor WRITE setPeakColor DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(bool OverIndicator READ overIndicator WRITE setOverIndicator
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(QColor OverColor READ overColor WRITE setOverColor DESIGNABLE true SCRIPTABLE true STORED true)

public:
    explicit ZelPPMMeter(QWidget *parent = nullptr);
    ~ZelPPMMeter() override;

    double dBPosition() const { return m_dBPosition; }
    double mindBPosition() const { return m_mindBPosition; }
    double maxdBPosition() const { return m_maxdBPosition; }
    double releasePerSecond() const { return m_releasePerSecond; }
    bool dinCurve() const { return m_dinCurve; }
    bool gradientBackground() const { return m_gradientBackground; }
    bool gradientForground() const { return m_gradientForground; }
    QColor maxColor() const { return m_maxColor; }
    QColor minColor() const { return m_minColor; }
    QColor maxBackgroundColor() const { return m_maxBackgroundColor; }
    QColor minBackgroundColor() const { return m_minBackgroundColor; }
    QString skinEnvironmentVariable() const { return m_skinEnvironmentVariable; }
    QString ppmMeterBackgroundFileName() const { return m_ppmMeterBackgroundFileName; }
    bool peakHold() const { return m_peakHold; }
    int peakHoldTime() const { return m_peakHoldTime; }
    QColor peakColor() const { return m_peakColor; }
    bool overIndicator() const { return m_overIndicator; }
    QColor overColor() const { return m_overColor; }

    void setMindBPosition(double value);
    void setMaxdBPosition(double value);
    // Stored and reported only; the release rate in force belongs to whoever drives the level.
    void setReleasePerSecond(double value);
    void setDINCurve(bool value);
    void setGradientBackground(bool value);
    void setGradientForground(bool value);
    // The colour setters always repaint, also for an unchanged colour.
    virtual void setMaxColor(const QColor &value);
    virtual void setMinColor(const QColor &value);
    virtual void setMaxBackgroundColor(const QColor &value);
    virtual void setMinBackgroundColor(const QColor &value);
    void setSkinEnvironmentVariable(const QString &value);
    void setPPMMeterBackgroundFileName(const QString &value);
    // Peak mark and over lamp; these setters, colours included, do nothing for an unchanged value.
    void setPeakHold(bool value);
    void setPeakHoldTime(int milliseconds); // negative counts as 0
    void setPeakColor(const QColor &value);
    void setOverIndicator(bool value);
    void setOverColor(const QColor &value);
    // The scale the bar is placed on: its ends become the meter's, and a scale other than DIN brings
    // its own law and 0 dB point (its permitted maximum). DIN, the default, leaves both to the meter's
    // properties. Takes effect at once: the bar and the mark are placed again and repainted.
    void setScale(MeterScale::Id id);
    MeterScale::Id scale() const { return m_scale->id; }

    // Stores the level as it comes, without clamping and without a repaint; NaN is the bottom end.
    void setRawdBPosition(double value);
    // Clamps the level into the scale and recomputes both lengths from the current height.
    // Returns true when the bar length changed; never repaints.
    bool calcPosition();
    // One release tick of the peak mark and the over lamp, after calcPosition(): elapsedMs since the
    // last tick, fallDb the release step. Returns true when either changed on screen; never repaints.
    bool stepPeakHold(int elapsedMs, double fallDb);
    // True while further ticks would still move the mark or put the lamp out.
    bool peakHoldPending() const { return (m_peakHold && m_peak.markAboveBar()) || m_overLit; }

    // Repaints what the bar's moves since the last call changed, if anything: the rows between the
    // old and the new bar top, or the whole widget when the 0 dB point moved too. That shows the
    // same pixels as a whole repaint, for a fraction of the work.
    void updateChangedArea();
    // The same rows for a caller that paints them itself (see paint()), emptied by the call.
    QRect takeChangedArea();
    // Paints the whole meter onto a painter set to the meter's own coordinates; the painter's clip
    // decides what of it reaches the device.
    void paint(QPainter &painter);

    // The lengths of the last calcPosition(), in pixels upward from the bottom edge.
    int barLength() const { return m_barLength; }
    int zeroLength() const { return m_zeroLength; }
    // The mark's length as the bar's (0: no mark), the lamp, and the state behind them.
    int markLength() const { return m_markLength; }
    bool overLit() const { return m_overLit; }
    const PeakHold &peakState() const { return m_peak; }
    // The scale cache, matching the two scale ends.
    double dinBase() const { return m_dinBase; }
    double dinSpan() const { return m_dinSpan; }
    double dBRange() const { return m_dBRange; }
    const QImage &backgroundImage() const { return m_backgroundImage; }

public slots:
    // Stores the level unclamped (NaN as the bottom end) and repaints; the bar follows at the next
    // calcPosition().
    void setdBPosition(double_db NewdBPosition);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QString skinPath() const;
    void reloadBackgroundImage();
    void refreshScaleCache();
    int lengthFor(double level) const;
    double levelOnScale() const;
    void restartPeakHold();
    void refreshPeakHeights();

    double m_dBPosition = -50.0;
    double m_mindBPosition = -50.0;
    double m_maxdBPosition = 5.0;
    double m_releasePerSecond = 18.0;
    bool m_dinCurve = true;
    bool m_gradientBackground = true;
    bool m_gradientForground = false;
    QColor m_maxColor{255, 0, 0, 255};
    QColor m_minColor{0, 255, 0, 255};
    QColor m_maxBackgroundColor{64, 0, 0, 255};
    QColor m_minBackgroundColor{0, 64, 0, 255};
    QString m_skinEnvironmentVariable;
    QString m_ppmMeterBackgroundFileName;
    bool m_peakHold = false;
    int m_peakHoldTime = 2000;
    QColor m_peakColor{255, 255, 255, 255};
    bool m_overIndicator = false;
    QColor m_overColor{255, 255, 255, 255};

    const MeterScale *m_scale = &MeterScale::of(MeterScale::Din);
    QImage m_backgroundImage;
    int m_barLength = 0;
    int m_zeroLength = 0;
    // What the moves since the last updateChangedArea() changed, and the 0 dB length as of the last move.
    QRect m_changedArea;
    // The two gradients of the last paint, made again only when the height or a colour changed.
    struct GradientBrushes
    {
        int half = -1;
        QColor low, high, lowBackground, highBackground;
        QBrush bar, background;
    };
    GradientBrushes m_gradients;
    const GradientBrushes &gradients(int half);
    int m_zeroLengthAtLastMove = 0;
    // 10^(min/80), 10^(max/80) - 10^(min/80) and max - min for the default ends -50 and +5 dB.
    double m_dinBase = 0.23713737056616552;
    double m_dinSpan = 0.9176446141232928;
    double m_dBRange = 55.0;

    PeakHold m_peak;
    int m_markLength = 0;
    bool m_overLit = false;
    // Heights in pixels of the mark and of the lamp, following the widget's height.
    int m_markHeight = 0;
    int m_overHeight = 0;
};
