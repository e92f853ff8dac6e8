// Draws the display's artwork: the background with the meter scales, the plain backdrop, the settings
// gear and the multi-size window icon. The output is committed under resources/; run this again only
// when the artwork is meant to change.
//
// Usage: kolvane-artwork [output folder]   (default: the repository's resources/ folder)

#include <QBuffer>
#include <QCommandLineParser>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QMap>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>
#include <QVector>
#include <QtMath>

#include <cmath>
#include <cstdio>

namespace {

constexpr QSize BackgroundSize(986, 580);
constexpr QSize BackdropSize(1024, 580);
constexpr int SettingsIconSize = 256;
const QVector<int> IconSizes = {16, 24, 32, 48, 64, 256};
// From this size on an icon entry is stored PNG-compressed, as the ICO format allows.
constexpr int IconPngFromSize = 256;
// The menu entry's icon in the sizes of the desktop's icon theme (hicolor/NxN/apps).
const QVector<int> ThemeIconSizes = {16, 22, 24, 32, 48, 64, 128, 256};

const char *const NumeralFamily = "DejaVu Sans";
const char *const TitleFamily = "Bitstream Vera Sans";
const char *const ProductName = "Kolvane Meters";
const char *const MakerName = "ZELVOORT";

// The brushed-metal panel. Every shade offset has zero mean, so the panel keeps PanelColour on average.
const QColor PanelColour(114, 112, 111);
constexpr quint32 TextureSeed = 0x4b6f6c76u;
constexpr int StreakRadius = 24;       // long horizontal brush strokes
constexpr double StreakAmplitude = 38; // grey levels at full noise, before averaging
constexpr int GrainRadius = 2;         // short strokes within them
constexpr double GrainAmplitude = 7;
constexpr double RowShadeAmplitude = 4; // each row a little lighter or darker
constexpr double SheenAmplitude = 9;    // a broad light band across the middle, none at the edges

const QRect TitleBand(QPoint(40, 28), QPoint(942, 54));
const QColor TitleBandRightColour(200, 200, 200);
const QRect LogoBox(QPoint(820, 90), QPoint(933, 160));
const QRectF ClockDisc(348, 85, 410, 410);
const QRect CaptionBand(QPoint(40, 506), QPoint(942, 532));
const QColor CaptionBandMiddleColour(96, 96, 96);

const QColor ScaleColour(Qt::white);
const QColor RedZoneColour(220, 24, 24);
constexpr int LongTickThickness = 3; // centred on the level's row
constexpr int ShortTickThickness = 1;
constexpr int RedZoneWidth = 3;
constexpr int RedZoneGap = 1; // between a tick column and the red mark beside it

// The meters' own scale ends (their default MindBPosition and MaxdBPosition).
constexpr double ScaleFloorDb = -50.0;
constexpr double ScaleCeilingDb = 5.0;
const QVector<int> NumberedLevels = {5, 0, -3, -6, -10, -15, -20, -25, -30, -40, -50};
const QVector<int> ShortTickLevels = {4, 3, 2, 1, -1, -2, -4, -5, -7, -8};
constexpr int RedZoneTopDb = 5;
constexpr int RedZoneBottomDb = 0;

struct TickColumn
{
    int left;
    int right;
    bool shortTicksAtLeft; // short ticks hug the meter beside the column
};

struct ScaleLayout
{
    int meterTop;
    int meterHeight;
    TickColumn leftColumn;
    TickColumn rightColumn;
    int shortTickLength;
    int numeralPixelSize;
    // Rows the display layout fixes for some levels; they win over the computed row, which can
    // differ from them by a pixel or two.
    QMap<int, int> fixedRows;
};

const QMap<int, int> LargeScaleRows = {{5, 75},    {0, 145},   {-3, 182},  {-6, 215},  {-10, 256}, {-15, 302},
                                       {-20, 341}, {-25, 375}, {-30, 404}, {-40, 452}, {-50, 486}};
const QMap<int, int> SmallScaleRows = {{5, 200}, {0, 249}, {-10, 327}, {-50, 488}};

const QVector<ScaleLayout> Scales = {
    {73, 415, {67, 86, true}, {121, 140, false}, 10, 14, LargeScaleRows},   // ProgLeft / ProgRight
    {73, 415, {223, 242, true}, {277, 296, false}, 10, 14, LargeScaleRows}, // SubLeft / SubRight
    {199, 291, {853, 866, true}, {891, 904, false}, 7, 10, SmallScaleRows}, // CrmLeft / CrmRight
};

// The row where a meter's bar ends for the level on the fourth-root scale: the top row of a bar
// of trunc(H * (10^(L/80) - base) / span) pixels that grows up from the meter's bottom edge.
int dinRow(const ScaleLayout &scale, int levelDb)
{
    const double base = std::pow(10.0, ScaleFloorDb / 80.0);
    const double span = std::pow(10.0, ScaleCeilingDb / 80.0) - base;
    const int barLength =
        static_cast<int>(scale.meterHeight * (std::pow(10.0, levelDb / 80.0) - base) / span);
    return scale.meterTop + scale.meterHeight - barLength;
}

int markRow(const ScaleLayout &scale, int levelDb)
{
    return scale.fixedRows.value(levelDb, dinRow(scale, levelDb));
}

// A small xorshift generator: the texture must come out the same on every machine and library
// version, which the standard distributions do not promise.
class NoiseSource
{
public:
    explicit NoiseSource(quint32 seed) : state(seed ? seed : 1u) {}
    // Uniform in [-1, 1).
    double next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state / 2147483648.0 - 1.0;
    }

private:
    quint32 state;
};

// Fills `out` with the running mean of `noise` over a window of 2 * radius + 1 values;
// `noise` holds radius extra values at each end.
void boxFilter(const QVector<double> &noise, int radius, QVector<double> &out)
{
    const int window = 2 * radius + 1;
    double sum = 0;
    for (int i = 0; i < window; ++i)
        sum += noise[i];
    for (int x = 0; x < out.size(); ++x) {
        out[x] = sum / window;
        if (x + window < noise.size())
            sum += noise[x + window] - noise[x];
    }
}

QImage brushedMetal(const QSize &size)
{
    NoiseSource noise(TextureSeed);
    QImage image(size, QImage::Format_RGB32);
    const int width = size.width();
    QVector<double> streakNoise(width + 2 * StreakRadius);
    QVector<double> grainNoise(width + 2 * GrainRadius);
    QVector<double> streak(width);
    QVector<double> grain(width);
    QVector<double> sheen(width);
    for (int x = 0; x < width; ++x)
        sheen[x] = SheenAmplitude * qPow(qSin(M_PI * x / width), 2);

    for (int y = 0; y < size.height(); ++y) {
        const double rowShade = RowShadeAmplitude * noise.next();
        for (double &value : streakNoise)
            value = noise.next();
        for (double &value : grainNoise)
            value = noise.next();
        boxFilter(streakNoise, StreakRadius, streak);
        boxFilter(grainNoise, GrainRadius, grain);
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const double shade =
                rowShade + StreakAmplitude * streak[x] + GrainAmplitude * grain[x] + sheen[x];
            line[x] = qRgb(qBound(0, qRound(PanelColour.red() + shade), 255),
                           qBound(0, qRound(PanelColour.green() + shade), 255),
                           qBound(0, qRound(PanelColour.blue() + shade), 255));
        }
    }
    return image;
}

QFont pixelFont(const char *family, int pixelSize, bool bold)
{
    QFont font(QString::fromLatin1(family));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    const QString found = QFontInfo(font).family();
    if (found != QLatin1String(family))
        std::fprintf(stderr, "warning: font \"%s\" not found, using \"%s\"\n", family, qPrintable(found));
    return font;
}

// Draws text with the centre of its inked glyphs at `centre`, so numerals sit exactly on their tick.
void drawCentredText(QPainter &painter, const QPointF &centre, const QString &text)
{
    const QRect ink = QFontMetrics(painter.font()).tightBoundingRect(text);
    const QPointF baseline(centre.x() - (ink.left() + ink.right() + 1) / 2.0,
                           centre.y() - (ink.top() + ink.bottom() + 1) / 2.0);
    painter.drawText(baseline, text);
}

void drawTitleBand(QPainter &painter)
{
    QLinearGradient shade(TitleBand.left(), 0, TitleBand.right() + 1, 0);
    shade.setColorAt(0.0, Qt::white);
    shade.setColorAt(0.5, Qt::black);
    shade.setColorAt(1.0, TitleBandRightColour);
    painter.fillRect(TitleBand, shade);
    painter.setFont(pixelFont(TitleFamily, 17, true));
    painter.setPen(Qt::white);
    drawCentredText(painter, QRectF(TitleBand).center(), QString::fromLatin1(ProductName));
}

// The maker's mark: a ring holding a red Z on a dark plate, the name beneath.
void drawLogo(QPainter &painter)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF plate = QRectF(LogoBox).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(QColor(190, 190, 190), 1));
    painter.setBrush(QColor(44, 44, 48));
    painter.drawRoundedRect(plate, 8, 8);

    const QPointF ringCentre(plate.center().x(), LogoBox.top() + 27);
    constexpr double ringRadius = 19;
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 3));
    painter.drawEllipse(ringCentre, ringRadius, ringRadius);

    constexpr double zHalf = 9.5;
    const QPolygonF zigzag(
        QVector<QPointF>{ringCentre + QPointF(-zHalf, -zHalf), ringCentre + QPointF(zHalf, -zHalf),
                         ringCentre + QPointF(-zHalf, zHalf), ringCentre + QPointF(zHalf, zHalf)});
    painter.setPen(QPen(RedZoneColour, 4, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.drawPolyline(zigzag);

    QFont nameFont = pixelFont(TitleFamily, 13, true);
    nameFont.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    painter.setFont(nameFont);
    painter.setPen(Qt::white);
    drawCentredText(painter, QPointF(plate.center().x(), LogoBox.bottom() - 12),
                    QString::fromLatin1(MakerName));
    painter.restore();
}

void drawTicks(QPainter &painter, const TickColumn &column, int row, bool longTick, int shortLength)
{
    const int thickness = longTick ? LongTickThickness : ShortTickThickness;
    const int top = row - thickness / 2;
    int left = column.left;
    int right = column.right;
    if (!longTick) {
        if (column.shortTicksAtLeft)
            right = left + shortLength - 1;
        else
            left = right - shortLength + 1;
    }
    painter.fillRect(QRect(QPoint(left, top), QPoint(right, top + thickness - 1)), ScaleColour);
}

void drawScale(QPainter &painter, const ScaleLayout &scale)
{
    // The red marks run beside the inner edge of each tick column, from +5 dB down to 0 dB.
    const int redTop = markRow(scale, RedZoneTopDb) - LongTickThickness / 2;
    const int redBottom = markRow(scale, RedZoneBottomDb) + LongTickThickness / 2;
    const int leftRed = scale.leftColumn.right + 1 + RedZoneGap;
    const int rightRed = scale.rightColumn.left - RedZoneGap - RedZoneWidth;
    painter.fillRect(QRect(leftRed, redTop, RedZoneWidth, redBottom - redTop + 1), RedZoneColour);
    painter.fillRect(QRect(rightRed, redTop, RedZoneWidth, redBottom - redTop + 1), RedZoneColour);

    for (int level : ShortTickLevels) {
        const int row = markRow(scale, level);
        drawTicks(painter, scale.leftColumn, row, false, scale.shortTickLength);
        drawTicks(painter, scale.rightColumn, row, false, scale.shortTickLength);
    }
    painter.setFont(pixelFont(NumeralFamily, scale.numeralPixelSize, true));
    painter.setPen(ScaleColour);
    const double numeralCentreX = (scale.leftColumn.right + 1 + scale.rightColumn.left) / 2.0;
    for (int level : NumberedLevels) {
        const int row = markRow(scale, level);
        drawTicks(painter, scale.leftColumn, row, true, scale.shortTickLength);
        drawTicks(painter, scale.rightColumn, row, true, scale.shortTickLength);
        drawCentredText(painter, QPointF(numeralCentreX, row + 0.5), QString::number(std::abs(level)));
    }
}

void drawCaptionBand(QPainter &painter)
{
    QLinearGradient shade(CaptionBand.left(), 0, CaptionBand.right() + 1, 0);
    shade.setColorAt(0.0, Qt::black);
    shade.setColorAt(0.5, CaptionBandMiddleColour);
    shade.setColorAt(1.0, Qt::black);
    painter.fillRect(CaptionBand, shade);
}

QImage background(const QImage &texture)
{
    QImage image = texture.copy(QRect(QPoint(0, 0), BackgroundSize));
    QPainter painter(&image);
    drawTitleBand(painter);
    drawLogo(painter);
    for (const ScaleLayout &scale : Scales)
        drawScale(painter, scale);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawEllipse(ClockDisc);
    drawCaptionBand(painter);
    return image;
}

QImage settingsGear()
{
    constexpr int teeth = 10;
    constexpr double tipRadius = 122;
    constexpr double rootRadius = 98;
    constexpr double holeRadius = 38;
    constexpr double toothBaseHalfAngle = 11; // degrees
    constexpr double toothTipHalfAngle = 6;
    const QPointF centre(SettingsIconSize / 2.0, SettingsIconSize / 2.0);
    const auto polar = [&](double radius, double degrees) {
        const double radians = qDegreesToRadians(degrees);
        return centre + QPointF(radius * std::cos(radians), radius * std::sin(radians));
    };

    QPolygonF outline;
    const double pitch = 360.0 / teeth;
    for (int tooth = 0; tooth < teeth; ++tooth) {
        const double middle = tooth * pitch - 90;
        outline << polar(rootRadius, middle - toothBaseHalfAngle)
                << polar(tipRadius, middle - toothTipHalfAngle)
                << polar(tipRadius, middle + toothTipHalfAngle)
                << polar(rootRadius, middle + toothBaseHalfAngle);
        // Round the gap between two teeth.
        for (double step = 1; step < 4; ++step)
            outline << polar(rootRadius,
                             middle + toothBaseHalfAngle + step * (pitch - 2 * toothBaseHalfAngle) / 4);
    }
    QPainterPath gear;
    gear.setFillRule(Qt::OddEvenFill);
    gear.addPolygon(outline);
    gear.closeSubpath();
    gear.addEllipse(centre, holeRadius, holeRadius);

    QImage image(SettingsIconSize, SettingsIconSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient shade(0, 0, SettingsIconSize, SettingsIconSize);
    shade.setColorAt(0.0, QColor(190, 190, 190));
    shade.setColorAt(1.0, QColor(112, 112, 112));
    painter.setBrush(shade);
    painter.setPen(QPen(QColor(72, 72, 72), 4));
    painter.drawPath(gear);
    painter.end();
    return image;
}

// The window icon: two meter bars with scale ticks in a framed dark square, drawn at each size
// rather than scaled so that the small sizes stay crisp.
QImage windowIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 256.0, size / 256.0);

    QLinearGradient face(0, 0, 0, 256);
    face.setColorAt(0.0, QColor(46, 46, 52));
    face.setColorAt(1.0, QColor(14, 14, 16));
    painter.setBrush(face);
    painter.setPen(QPen(QColor(196, 196, 202), 14));
    painter.drawRoundedRect(QRectF(10, 10, 236, 236), 40, 40);

    constexpr double barBottom = 208;
    constexpr double redFrom = 96; // bars are red above this row
    const auto drawBar = [&](double left, double top) {
        const double width = 42;
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(40, 200, 40));
        painter.drawRect(QRectF(left, qMax(top, redFrom), width, barBottom - qMax(top, redFrom)));
        if (top < redFrom) {
            painter.setBrush(RedZoneColour);
            painter.drawRect(QRectF(left, top, width, redFrom - top));
        }
    };
    drawBar(56, 58);
    drawBar(158, 118);

    painter.setPen(QPen(Qt::white, 10, Qt::SolidLine, Qt::FlatCap));
    for (double row : {64.0, 112.0, 160.0, 208.0})
        painter.drawLine(QPointF(110, row), QPointF(146, row));
    painter.end();
    return image;
}

void writeRaw(QDataStream &stream, const QByteArray &bytes)
{
    stream.writeRawData(bytes.constData(), bytes.size());
}

// One icon entry as a DIB: a BITMAPINFOHEADER of twice the height (colour plus mask), 32-bit BGRA
// rows bottom-up, then the 1-bit AND mask (set where transparent), rows padded to 32 bits.
QByteArray iconDib(const QImage &source)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const int width = image.width();
    const int height = image.height();
    const int maskStride = (width + 31) / 32 * 4;
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream.setByteOrder(QDataStream::LittleEndian);
    constexpr quint32 infoHeaderSize = 40;
    stream << infoHeaderSize << qint32(width) << qint32(2 * height) << quint16(1) << quint16(32)
           << quint32(0) // uncompressed
           << quint32(width * height * 4 + maskStride * height) << qint32(0) << qint32(0) << quint32(0)
           << quint32(0);
    for (int y = height - 1; y >= 0; --y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < width; ++x)
            stream << quint8(qBlue(line[x])) << quint8(qGreen(line[x])) << quint8(qRed(line[x]))
                   << quint8(qAlpha(line[x]));
    }
    for (int y = height - 1; y >= 0; --y) {
        QByteArray maskRow(maskStride, '\0');
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < width; ++x)
            if (qAlpha(line[x]) == 0)
                maskRow[x / 8] = char(maskRow[x / 8] | (0x80 >> (x % 8)));
        writeRaw(stream, maskRow);
    }
    return bytes;
}

QByteArray iconPng(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.convertToFormat(QImage::Format_ARGB32).save(&buffer, "PNG");
    return bytes;
}

// Qt's own ICO writer stores one image per file, so the container is written here: ICONDIR,
// one ICONDIRENTRY per size, then the images.
QByteArray iconFile(const QVector<QImage> &images)
{
    QVector<QByteArray> payloads;
    for (const QImage &image : images)
        payloads << (image.width() >= IconPngFromSize ? iconPng(image) : iconDib(image));

    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream.setByteOrder(QDataStream::LittleEndian);
    constexpr quint16 iconType = 1;
    stream << quint16(0) << iconType << quint16(images.size());
    constexpr quint32 directorySize = 6;
    constexpr quint32 entrySize = 16;
    quint32 offset = directorySize + entrySize * images.size();
    for (int i = 0; i < images.size(); ++i) {
        const QImage &image = images[i];
        // A dimension of 256 is stored as 0.
        stream << quint8(image.width() & 0xff) << quint8(image.height() & 0xff) << quint8(0) << quint8(0)
               << quint16(1) << quint16(32) << quint32(payloads[i].size()) << offset;
        offset += payloads[i].size();
    }
    for (const QByteArray &payload : payloads)
        writeRaw(stream, payload);
    return bytes;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

bool writeImage(const QString &path, const QImage &image)
{
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

void reportRows(QTextStream &out)
{
    out << "scale rows (level: computed / drawn):\n";
    for (const ScaleLayout &scale : Scales) {
        out << "  meter top " << scale.meterTop << " height " << scale.meterHeight << ":";
        for (int level : NumberedLevels + ShortTickLevels)
            out << " " << level << ":" << dinRow(scale, level) << "/" << markRow(scale, level);
        out << "\n";
    }
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Draws the Kolvane Meters images and window icon."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("folder"),
                                 QStringLiteral("Output folder (default: %1).").arg(KOLVANE_RESOURCES_DIR));
    QCommandLineOption rowsOption(QStringLiteral("rows"),
                                  QStringLiteral("Print the rows of the scale marks."));
    parser.addOption(rowsOption);
    parser.process(app);

    const QStringList positional = parser.positionalArguments();
    const QDir folder(positional.isEmpty() ? QStringLiteral(KOLVANE_RESOURCES_DIR) : positional.first());
    if (!folder.mkpath(QStringLiteral("png")) || !folder.mkpath(QStringLiteral("ico"))) {
        std::fprintf(stderr, "cannot create folders in %s\n", qPrintable(folder.path()));
        return 1;
    }
    QTextStream out(stdout);
    if (parser.isSet(rowsOption))
        reportRows(out);

    const QImage texture = brushedMetal(BackdropSize);
    QVector<QImage> icons;
    for (int size : IconSizes)
        icons << windowIcon(size);
    const bool written =
        writeImage(folder.filePath(QStringLiteral("png/KolvaneBackground.png")), background(texture)) &&
        writeImage(folder.filePath(QStringLiteral("png/KolvaneBackgroundEmpty.png")), texture) &&
        writeImage(folder.filePath(QStringLiteral("png/Settings.png")), settingsGear()) &&
        writeFile(folder.filePath(QStringLiteral("ico/KolvaneIcon256x256Border.ico")), iconFile(icons)) &&
        // The desktop menu entry's icon, for installations that want a plain PNG.
        writeImage(folder.filePath(QStringLiteral("png/KolvaneIcon256x256.png")), icons.last());
    if (!written)
        return 1;
    for (int size : ThemeIconSizes) {
        const QString apps = QStringLiteral("hicolor/%1x%1/apps").arg(size);
        if (!folder.mkpath(apps) ||
            !writeImage(folder.filePath(apps + QStringLiteral("/kolvane-meters.png")), windowIcon(size)))
            return 1;
    }
    out << "artwork written to " << QDir::toNativeSeparators(folder.absolutePath()) << "\n";
    return 0;
}
