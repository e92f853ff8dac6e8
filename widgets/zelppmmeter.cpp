#include "zelppmmeter.h"

#include <QLinearGradient>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace {

const QSize initialSize(16, 200);
// The exponent divisor of the fourth-root scale: linear in the fourth root of the amplitude.
constexpr double dinExponentDivisor = 80.0;
// Lengths beyond any widget height mean nothing on screen; bounding them keeps the paint
// arithmetic (height minus length, length differences) clear of integer overflow.
constexpr double lengthLimit = QWIDGETSIZE_MAX;
// The peak mark and the over lamp are this high on a meter of the programme meters' design height,
// in proportion on taller ones, and never thinner.
constexpr int markDesignHeight = 2;
constexpr int overDesignHeight = 4;
constexpr int referenceMeterHeight = 415;

int heightOnMeter(int designHeight, int meterHeight)
{
    const qint64 rounded =
        (2 * qint64(designHeight) * meterHeight + referenceMeterHeight) / (2 * referenceMeterHeight);
    return int(std::max<qint64>(designHeight, rounded));
}

double dinValue(double level)
{
    return std::pow(10.0, level / dinExponentDivisor);
}

// Truncates towards zero like a plain conversion, but gives 0 for NaN and bounds huge values,
// which a plain conversion would leave undefined.
int truncatedLength(double length)
{
    if (std::isnan(length))
        return 0;
    if (length >= lengthLimit)
        return static_cast<int>(lengthLimit);
    if (length <= -lengthLimit)
        return -static_cast<int>(lengthLimit);
    return static_cast<int>(length);
}

} // namespace

ZelPPMMeter::ZelPPMMeter(QWidget *parent) : QWidget(parent), m_backgroundImage(skinPath())
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setWindowTitle(tr("PPM Meter"));
    resize(initialSize);
    refreshPeakHeights();
}

ZelPPMMeter::~ZelPPMMeter() = default;

void ZelPPMMeter::setdBPosition(double_db NewdBPosition)
{
    setRawdBPosition(NewdBPosition);
    update();
}

void ZelPPMMeter::setRawdBPosition(double value)
{
    // A NaN level would stay for good, since no comparison moves it: it counts as the bottom end.
    m_dBPosition = std::isnan(value) ? m_mindBPosition : value;
    // Seen here, before calcPosition() clamps the level to the top.
    if (m_overIndicator && value > m_maxdBPosition)
        m_peak.noteOver();
}

void ZelPPMMeter::setMindBPosition(double value)
{
    if (value == m_mindBPosition)
        return;
    m_mindBPosition = value;
    refreshScaleCache();
    update();
}

void ZelPPMMeter::setMaxdBPosition(double value)
{
    if (value == m_maxdBPosition)
        return;
    m_maxdBPosition = value;
    refreshScaleCache();
    update();
}

void ZelPPMMeter::setReleasePerSecond(double value)
{
    if (value != m_releasePerSecond)
        m_releasePerSecond = value;
}

void ZelPPMMeter::setDINCurve(bool value)
{
    if (value == m_dinCurve)
        return;
    m_dinCurve = value;
    update();
}

void ZelPPMMeter::setGradientBackground(bool value)
{
    if (value == m_gradientBackground)
        return;
    m_gradientBackground = value;
    update();
}

void ZelPPMMeter::setGradientForground(bool value)
{
    if (value == m_gradientForground)
        return;
    m_gradientForground = value;
    update();
}

void ZelPPMMeter::setMaxColor(const QColor &value)
{
    m_maxColor = value;
    update();
}

void ZelPPMMeter::setMinColor(const QColor &value)
{
    m_minColor = value;
    update();
}

void ZelPPMMeter::setMaxBackgroundColor(const QColor &value)
{
    m_maxBackgroundColor = value;
    update();
}

void ZelPPMMeter::setMinBackgroundColor(const QColor &value)
{
    m_minBackgroundColor = value;
    update();
}

void ZelPPMMeter::setSkinEnvironmentVariable(const QString &value)
{
    if (value == m_skinEnvironmentVariable)
        return;
    m_skinEnvironmentVariable = value;
    reloadBackgroundImage();
    update();
}

void ZelPPMMeter::setPPMMeterBackgroundFileName(const QString &value)
{
    if (value == m_ppmMeterBackgroundFileName)
        return;
    m_ppmMeterBackgroundFileName = value;
    reloadBackgroundImage();
    update();
}

void ZelPPMMeter::setPeakHold(bool value)
{
    if (value == m_peakHold)
        return;
    m_peakHold = value;
    restartPeakHold();
    update();
}

void ZelPPMMeter::setPeakHoldTime(int milliseconds)
{
    milliseconds = std::max(0, milliseconds);
    if (milliseconds == m_peakHoldTime)
        return;
    m_peakHoldTime = milliseconds;
    m_peak.setHoldMs(milliseconds);
}

void ZelPPMMeter::setPeakColor(const QColor &value)
{
    if (value == m_peakColor)
        return;
    m_peakColor = value;
    update();
}

void ZelPPMMeter::setOverIndicator(bool value)
{
    if (value == m_overIndicator)
        return;
    m_overIndicator = value;
    restartPeakHold();
    update();
}

void ZelPPMMeter::setOverColor(const QColor &value)
{
    if (value == m_overColor)
        return;
    m_overColor = value;
    update();
}

void ZelPPMMeter::setScale(MeterScale::Id id)
{
    const MeterScale &scale = MeterScale::of(id);
    if (&scale == m_scale)
        return;
    m_scale = &scale;
    setMindBPosition(scale.bottomDb);
    setMaxdBPosition(scale.topDb);
    calcPosition();
    restartPeakHold();
    update();
}

QString ZelPPMMeter::skinPath() const
{
    const QByteArray variableName = m_skinEnvironmentVariable.toLatin1();
    const QString folder = QString::fromUtf8(std::getenv(variableName.constData()));
    // Joined as given: the skin folder is the user's business, separators included.
    return folder + QLatin1Char('/') + m_ppmMeterBackgroundFileName;
}

void ZelPPMMeter::reloadBackgroundImage()
{
    if (!m_backgroundImage.load(skinPath()))
        m_backgroundImage = QImage();
}

void ZelPPMMeter::refreshScaleCache()
{
    m_dinBase = dinValue(m_mindBPosition);
    m_dinSpan = dinValue(m_maxdBPosition) - m_dinBase;
    m_dBRange = m_maxdBPosition - m_mindBPosition;
}

// Equal scale ends leave no scale to map onto: an empty bar.
int ZelPPMMeter::lengthFor(double level) const
{
    const double h = height();
    if (!m_scale->fourthRoot)
        return truncatedLength(h * m_scale->position(level));
    if (m_dinCurve)
        return m_dinSpan == 0.0 ? 0 : truncatedLength(h * (dinValue(level) - m_dinBase) / m_dinSpan);
    return m_dBRange == 0.0 ? 0 : truncatedLength(std::trunc(h * (level - m_mindBPosition)) / m_dBRange);
}

// The level clamped as calcPosition() clamps it, without storing it.
double ZelPPMMeter::levelOnScale() const
{
    double level = m_dBPosition;
    if (m_mindBPosition > level)
        level = m_mindBPosition;
    if (level > m_maxdBPosition)
        level = m_maxdBPosition;
    return level;
}

bool ZelPPMMeter::calcPosition()
{
    if (m_mindBPosition > m_dBPosition)
        m_dBPosition = m_mindBPosition;
    if (m_dBPosition > m_maxdBPosition)
        m_dBPosition = m_maxdBPosition;

    const int previousBarLength = m_barLength;
    m_barLength = lengthFor(m_dBPosition);
    const double h = height();
    const double scaleDivisor = m_dinCurve ? m_dinSpan : m_dBRange;
    if (!m_scale->fourthRoot)
        m_zeroLength = truncatedLength(h * m_scale->position(m_scale->permittedMaximumDb));
    else if (scaleDivisor == 0.0)
        m_zeroLength = 0;
    else if (m_dinCurve)
        m_zeroLength = truncatedLength(h * (1.0 - m_dinBase) / m_dinSpan);
    else
        m_zeroLength = truncatedLength(std::trunc(-m_mindBPosition * h) / m_dBRange);
    if (m_barLength == previousBarLength)
        return false;
    if (m_zeroLength != m_zeroLengthAtLastMove) {
        m_changedArea = rect();
        m_zeroLengthAtLastMove = m_zeroLength;
        return true;
    }
    // Above the higher top both pictures show background; below the lower top, rows of a bar look
    // the same whatever its length. Only the rows from one top to the other differ.
    const int higherTop = height() - qMax(m_barLength, previousBarLength);
    const int lowerTop = height() - qMin(m_barLength, previousBarLength);
    m_changedArea |= QRect(0, higherTop, width(), lowerTop - higherTop + 1) & rect();
    return true;
}

void ZelPPMMeter::updateChangedArea()
{
    if (!m_changedArea.isEmpty())
        update(takeChangedArea());
}

QRect ZelPPMMeter::takeChangedArea()
{
    return std::exchange(m_changedArea, QRect());
}

bool ZelPPMMeter::stepPeakHold(int elapsedMs, double fallDb)
{
    if (!m_peakHold && !m_overIndicator)
        return false;
    m_peak.step(levelOnScale(), elapsedMs, fallDb);
    const int markLength = m_peakHold ? std::max(0, lengthFor(m_peak.markLevel())) : 0;
    const bool overLit = m_overIndicator && m_peak.overLit();
    const bool changed = markLength != m_markLength || overLit != m_overLit;
    if (!changed)
        return false;
    // The rows of the old and the new mark and of the lamp join the bar's moves for the next repaint.
    const auto markRows = [this](int length) {
        return length > 0 ? QRect(0, height() - length, width(), m_markHeight) : QRect();
    };
    m_changedArea |= (markRows(m_markLength) | markRows(markLength)) & rect();
    if (overLit != m_overLit)
        m_changedArea |= QRect(0, 0, width(), m_overHeight);
    m_markLength = markLength;
    m_overLit = overLit;
    return true;
}

void ZelPPMMeter::restartPeakHold()
{
    m_peak.reset(levelOnScale());
    m_markLength = m_peakHold ? std::max(0, lengthFor(m_peak.markLevel())) : 0;
    m_overLit = false;
}

void ZelPPMMeter::refreshPeakHeights()
{
    m_markHeight = heightOnMeter(markDesignHeight, height());
    m_overHeight = heightOnMeter(overDesignHeight, height());
}

void ZelPPMMeter::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    refreshPeakHeights();
    // The mark must match the bar's new length, even while the release tick sleeps.
    if (m_peakHold)
        m_markLength = std::max(0, lengthFor(m_peak.markLevel()));
}

const ZelPPMMeter::GradientBrushes &ZelPPMMeter::gradients(int half)
{
    GradientBrushes &g = m_gradients;
    if (g.half == half && g.low == m_minColor && g.high == m_maxColor &&
        g.lowBackground == m_minBackgroundColor && g.highBackground == m_maxBackgroundColor)
        return g;
    g.half = half;
    g.low = m_minColor;
    g.high = m_maxColor;
    g.lowBackground = m_minBackgroundColor;
    g.highBackground = m_maxBackgroundColor;
    // Both run from the middle (low colour) to the top (high colour).
    QLinearGradient bar(0, half, 0, 0);
    bar.setColorAt(0, m_minColor);
    bar.setColorAt(1, m_maxColor);
    g.bar = QBrush(bar);
    QLinearGradient background(0, half, 0, 0);
    background.setColorAt(0, m_minBackgroundColor);
    background.setColorAt(1, m_maxBackgroundColor);
    g.background = QBrush(background);
    return g;
}

void ZelPPMMeter::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paint(painter);
}

void ZelPPMMeter::paint(QPainter &painter)
{
    const int w = width();
    const int h = height();
    const int half = static_cast<int>(h * 0.5 + 0.5);

    // The bar: in gradient mode a solid part reaching two pixels past the middle and a gradient
    // part from the middle up, drawn over that overlap; otherwise MinColor up to 0 dB, MaxColor above.
    QRect lowerBar;
    QRect upperBar;
    if (m_gradientForground) {
        const int solidLength = qMin(m_barLength, half + 2);
        lowerBar.setRect(0, h - solidLength, w, solidLength);
        if (m_barLength > half)
            upperBar.setRect(0, 2 * half - m_barLength, w, m_barLength - half);
    } else if (m_barLength > m_zeroLength) {
        lowerBar.setRect(0, h - m_zeroLength, w, m_zeroLength);
        upperBar.setRect(0, h - m_barLength, w, m_barLength - m_zeroLength);
    } else {
        lowerBar.setRect(0, h - m_barLength, w, m_barLength);
    }

    // The two parts meet or overlap, so an opaque bar hides every row from its top down and the
    // background is filled only above it.
    int backgroundHeight = h;
    if (m_minColor.alpha() == 255 && m_maxColor.alpha() == 255) {
        for (const QRect &part : {lowerBar, upperBar})
            if (!part.isEmpty())
                backgroundHeight = qMin(backgroundHeight, part.top());
    }
    const QRect background(0, 0, w, backgroundHeight);

    // Every fill is a whole-pixel rectangle, so antialiasing changes no pixel here and costs about
    // fifteen times the fill; without it, at a fractional device pixel ratio every edge is rounded
    // to a whole device pixel instead of blended.
    if (!m_backgroundImage.isNull())
        painter.drawImage(0, 0, m_backgroundImage);

    if (m_gradientBackground) {
        painter.fillRect(QRect(0, half, w, half) & background, m_minBackgroundColor);
        painter.fillRect(QRect(0, 0, w, half) & background, gradients(half).background);
    } else {
        painter.fillRect(QRect(0, h - m_zeroLength, w, m_zeroLength) & background, m_minBackgroundColor);
        painter.fillRect(QRect(0, 0, w, h - m_zeroLength) & background, m_maxBackgroundColor);
    }

    painter.fillRect(lowerBar, m_minColor);
    if (!upperBar.isEmpty()) {
        if (m_gradientForground) {
            painter.fillRect(upperBar, gradients(half).bar);
        } else {
            painter.fillRect(upperBar, m_maxColor);
        }
    }

    // Peak mark and over lamp, on top of everything, from lengths the release step worked out.
    if (m_markLength > 0)
        painter.fillRect(0, height() - m_markLength, width(), m_markHeight, m_peakColor);
    if (m_overLit)
        painter.fillRect(0, 0, width(), m_overHeight, m_overColor);
}
