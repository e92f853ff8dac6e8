#include "zelppmmeter.h"

#include <QLinearGradient>
#include <QPainter>

#include <cmath>
#include <cstdlib>

namespace {

const QSize initialSize(16, 200);
// The exponent divisor of the fourth-root scale: linear in the fourth root of the amplitude.
constexpr double dinExponentDivisor = 80.0;
// Lengths beyond any widget height mean nothing on screen; bounding them keeps the paint
// arithmetic (height minus length, length differences) clear of integer overflow.
constexpr double lengthLimit = QWIDGETSIZE_MAX;

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
}

ZelPPMMeter::~ZelPPMMeter() = default;

void ZelPPMMeter::setdBPosition(double_db NewdBPosition)
{
    m_dBPosition = NewdBPosition;
    update();
}

void ZelPPMMeter::setRawdBPosition(double value)
{
    m_dBPosition = value;
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

bool ZelPPMMeter::calcPosition()
{
    if (m_mindBPosition > m_dBPosition)
        m_dBPosition = m_mindBPosition;
    if (m_dBPosition > m_maxdBPosition)
        m_dBPosition = m_maxdBPosition;

    const int previousBarLength = m_barLength;
    const double h = height();
    const double scaleDivisor = m_dinCurve ? m_dinSpan : m_dBRange;
    if (scaleDivisor == 0.0) {
        // Equal scale ends leave no scale to map onto: show an empty bar.
        m_barLength = 0;
        m_zeroLength = 0;
    } else if (m_dinCurve) {
        m_barLength = truncatedLength(h * (dinValue(m_dBPosition) - m_dinBase) / m_dinSpan);
        m_zeroLength = truncatedLength(h * (1.0 - m_dinBase) / m_dinSpan);
    } else {
        m_barLength = truncatedLength(std::trunc(h * (m_dBPosition - m_mindBPosition)) / m_dBRange);
        m_zeroLength = truncatedLength(std::trunc(-m_mindBPosition * h) / m_dBRange);
    }
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
    if (m_changedArea.isEmpty())
        return;
    update(m_changedArea);
    m_changedArea = QRect();
}

void ZelPPMMeter::paintEvent(QPaintEvent *)
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

    QPainter painter(this);
    // Every fill is a whole-pixel rectangle, so antialiasing changes no pixel here and costs about
    // fifteen times the fill; without it, at a fractional device pixel ratio every edge is rounded
    // to a whole device pixel instead of blended.
    painter.setPen(Qt::NoPen);

    if (!m_backgroundImage.isNull())
        painter.drawImage(0, 0, m_backgroundImage);

    if (m_gradientBackground) {
        QLinearGradient backgroundGradient(0, half, 0, 0);
        backgroundGradient.setColorAt(0, m_minBackgroundColor);
        backgroundGradient.setColorAt(1, m_maxBackgroundColor);
        painter.fillRect(QRect(0, half, w, half) & background, m_minBackgroundColor);
        painter.fillRect(QRect(0, 0, w, half) & background, backgroundGradient);
    } else {
        painter.fillRect(QRect(0, h - m_zeroLength, w, m_zeroLength) & background, m_minBackgroundColor);
        painter.fillRect(QRect(0, 0, w, h - m_zeroLength) & background, m_maxBackgroundColor);
    }

    painter.fillRect(lowerBar, m_minColor);
    if (upperBar.isEmpty())
        return;
    if (m_gradientForground) {
        QLinearGradient barGradient(0, half, 0, 0);
        barGradient.setColorAt(0, m_minColor);
        barGradient.setColorAt(1, m_maxColor);
        painter.fillRect(upperBar, barGradient);
    } else {
        painter.fillRect(upperBar, m_maxColor);
    }
}
