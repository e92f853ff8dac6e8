// The artwork: the committed images carry the display's marks where the layout expects them, and a
// fresh run of the generator puts them there too.

#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

struct TickColumns
{
    int leftFrom, leftTo, rightFrom, rightTo;
};

struct Scale
{
    const char *name;
    int meterTop;
    int meterHeight;
    TickColumns columns;
    QMap<int, int> rows; // level in dB -> row fixed by the layout
};

const QVector<Scale> Scales = {
    {"prog",
     73,
     415,
     {67, 86, 121, 140},
     {{5, 75},
      {0, 145},
      {-3, 182},
      {-6, 215},
      {-10, 256},
      {-15, 302},
      {-20, 341},
      {-25, 375},
      {-30, 404},
      {-40, 452},
      {-50, 486}}},
    {"sub",
     73,
     415,
     {223, 242, 277, 296},
     {{5, 75},
      {0, 145},
      {-3, 182},
      {-6, 215},
      {-10, 256},
      {-15, 302},
      {-20, 341},
      {-25, 375},
      {-30, 404},
      {-40, 452},
      {-50, 486}}},
    {"crm", 199, 291, {853, 866, 891, 904}, {{5, 200}, {0, 249}, {-10, 327}, {-50, 488}}},
};
const QVector<int> NumberedLevels = {5, 0, -3, -6, -10, -15, -20, -25, -30, -40, -50};
const QVector<int> ShortTickLevels = {4, 3, 2, 1, -1, -2, -4, -5, -7, -8};

// Where a meter's bar ends for the level on the fourth-root scale from -50 to +5 dB.
int dinRow(const Scale &scale, int levelDb)
{
    const double base = std::pow(10.0, -50.0 / 80.0);
    const double span = std::pow(10.0, 5.0 / 80.0) - base;
    const int barLength = int(scale.meterHeight * (std::pow(10.0, levelDb / 80.0) - base) / span);
    return scale.meterTop + scale.meterHeight - barLength;
}

int markRow(const Scale &scale, int levelDb)
{
    return scale.rows.value(levelDb, dinRow(scale, levelDb));
}

bool isWhite(QRgb pixel)
{
    return qRed(pixel) >= 235 && qGreen(pixel) >= 235 && qBlue(pixel) >= 235;
}

bool isRed(QRgb pixel)
{
    return qRed(pixel) >= 180 && qGreen(pixel) <= 80 && qBlue(pixel) <= 80;
}

bool isBlack(QRgb pixel)
{
    return qRed(pixel) <= 8 && qGreen(pixel) <= 8 && qBlue(pixel) <= 8;
}

int whiteRun(const QImage &image, int row, int from, int to)
{
    int count = 0;
    for (int x = from; x <= to; ++x)
        count += isWhite(image.pixel(x, row));
    return count;
}

QString describe(const QImage &image, const QPoint &point)
{
    return QStringLiteral("pixel at %1,%2 is %3")
        .arg(point.x())
        .arg(point.y())
        .arg(QColor::fromRgba(image.pixel(point)).name(QColor::HexArgb));
}

struct Artwork
{
    QImage background;
    QImage backdrop;
    QImage settings;
    QString iconPath;
};

Artwork loadArtwork(const QString &folder)
{
    return {QImage(folder + "/png/KolvaneBackground.png"), QImage(folder + "/png/KolvaneBackgroundEmpty.png"),
            QImage(folder + "/png/Settings.png"), folder + "/ico/KolvaneIcon256x256Border.ico"};
}

} // namespace

class BackgroundTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void sizes_data() { addSourceRows(); }
    void sizes();
    void ticks_data();
    void ticks();
    void redBesideZeroToPlusFive_data();
    void redBesideZeroToPlusFive();
    void clockDisc_data() { addSourceRows(); }
    void clockDisc();
    void panelColour_data() { addSourceRows(); }
    void panelColour();
    void bands_data() { addSourceRows(); }
    void bands();
    void settingsGear_data() { addSourceRows(); }
    void settingsGear();
    void windowIcon_data() { addSourceRows(); }
    void windowIcon();

private:
    static const char *sourceName(bool fresh);
    static void addSourceRows();
    // The images of the current data row: the committed ones or the generator's fresh output.
    const Artwork &artwork() const;

    QTemporaryDir generatedFolder;
    Artwork committed;
    Artwork generated;
};

void BackgroundTest::initTestCase()
{
    committed = loadArtwork(":/resources");
    QVERIFY(generatedFolder.isValid());
    QProcess generator;
    generator.start(KOLVANE_ARTWORK_TOOL, {generatedFolder.path()});
    QVERIFY2(generator.waitForFinished(60000), qPrintable(generator.errorString()));
    QCOMPARE(generator.exitStatus(), QProcess::NormalExit);
    QVERIFY2(generator.exitCode() == 0, generator.readAllStandardError().constData());
    generated = loadArtwork(generatedFolder.path());
}

const char *BackgroundTest::sourceName(bool fresh)
{
    return fresh ? "generated" : "committed";
}

void BackgroundTest::addSourceRows()
{
    QTest::addColumn<bool>("fresh");
    for (bool fresh : {false, true})
        QTest::newRow(sourceName(fresh)) << fresh;
}

const Artwork &BackgroundTest::artwork() const
{
    QFETCH(bool, fresh);
    return fresh ? generated : committed;
}

void BackgroundTest::sizes()
{
    const Artwork &art = artwork();
    QCOMPARE(art.background.size(), QSize(986, 580));
    QCOMPARE(art.backdrop.size(), QSize(1024, 580));
    QCOMPARE(art.settings.size(), QSize(256, 256));
}

void BackgroundTest::ticks_data()
{
    QTest::addColumn<bool>("fresh");
    QTest::addColumn<int>("scale");
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("numbered");
    for (bool fresh : {false, true})
        for (int scale = 0; scale < Scales.size(); ++scale)
            for (int level : NumberedLevels + ShortTickLevels)
                QTest::addRow("%s %s %+d dB", sourceName(fresh), Scales[scale].name, level)
                    << fresh << scale << markRow(Scales[scale], level) << NumberedLevels.contains(level);
}

void BackgroundTest::ticks()
{
    QFETCH(int, scale);
    QFETCH(int, row);
    QFETCH(bool, numbered);
    const QImage &image = artwork().background;
    const TickColumns &columns = Scales[scale].columns;
    for (const auto &[from, to] :
         {std::pair(columns.leftFrom, columns.leftTo), {columns.rightFrom, columns.rightTo}}) {
        const int width = to - from + 1;
        const int white = whiteRun(image, row, from, to);
        if (numbered) {
            // Long ticks fill the column, and are ticks, not a white column: two rows down it is clear.
            QCOMPARE(white, width);
            QVERIFY(whiteRun(image, row + 2, from, to) < width);
        } else {
            QVERIFY2(white >= 4 && white < width, qPrintable(QString::number(white)));
        }
    }
}

void BackgroundTest::redBesideZeroToPlusFive_data()
{
    QTest::addColumn<bool>("fresh");
    QTest::addColumn<int>("scale");
    for (bool fresh : {false, true})
        for (int scale = 0; scale < Scales.size(); ++scale)
            QTest::addRow("%s %s", sourceName(fresh), Scales[scale].name) << fresh << scale;
}

void BackgroundTest::redBesideZeroToPlusFive()
{
    QFETCH(int, scale);
    const QImage &image = artwork().background;
    const Scale &layout = Scales[scale];
    constexpr int besideDistance = 5; // how far from a tick column a mark still counts as beside it
    const auto redBeside = [&](int row) {
        bool left = false;
        bool right = false;
        for (int d = 1; d <= besideDistance; ++d) {
            left = left || isRed(image.pixel(layout.columns.leftTo + d, row));
            right = right || isRed(image.pixel(layout.columns.rightFrom - d, row));
        }
        return left && right;
    };
    for (int row = markRow(layout, 5); row <= markRow(layout, 0); ++row)
        QVERIFY2(redBeside(row), qPrintable(QString("no red beside row %1").arg(row)));
    for (int row = markRow(layout, 0) + 3; row <= markRow(layout, -50); ++row)
        QVERIFY2(!redBeside(row), qPrintable(QString("red below 0 dB at row %1").arg(row)));
}

void BackgroundTest::clockDisc()
{
    const QImage &image = artwork().background;
    const QPointF centre(348 + 205, 85 + 205);
    QVERIFY2(isBlack(image.pixel(centre.toPoint())), qPrintable(describe(image, centre.toPoint())));
    for (int degrees = 0; degrees < 360; degrees += 30) {
        const double radians = qDegreesToRadians(double(degrees));
        const QPointF direction(std::cos(radians), std::sin(radians));
        const QPoint inside = (centre + 200 * direction).toPoint();
        const QPoint outside = (centre + 211 * direction).toPoint();
        QVERIFY2(isBlack(image.pixel(inside)), qPrintable(describe(image, inside)));
        const QRgb panel = image.pixel(outside);
        QVERIFY2(qRed(panel) + qGreen(panel) + qBlue(panel) > 150, qPrintable(describe(image, outside)));
    }
}

void BackgroundTest::panelColour()
{
    const Artwork &art = artwork();
    for (const QImage *image : {&art.background, &art.backdrop}) {
        double red = 0, green = 0, blue = 0;
        for (int y = 0; y < image->height(); ++y) {
            const QRgb pixel = image->pixel(0, y);
            red += qRed(pixel);
            green += qGreen(pixel);
            blue += qBlue(pixel);
        }
        const int rows = image->height();
        QVERIFY2(qAbs(red / rows - 114) <= 6, qPrintable(QString::number(red / rows)));
        QVERIFY2(qAbs(green / rows - 112) <= 6, qPrintable(QString::number(green / rows)));
        QVERIFY2(qAbs(blue / rows - 111) <= 6, qPrintable(QString::number(blue / rows)));
    }
    // The backdrop is the bare panel: nothing as dark as the disc, nothing as light as the scales.
    for (int y = 0; y < art.backdrop.height(); ++y)
        for (int x = 0; x < art.backdrop.width(); ++x) {
            const int grey = qGray(art.backdrop.pixel(x, y));
            if (grey < 60 || grey > 200)
                QFAIL(qPrintable(describe(art.backdrop, QPoint(x, y))));
        }
}

void BackgroundTest::bands()
{
    const QImage &image = artwork().background;
    // Title band, x 40..942, y 28..54: white, black in the middle, light grey on the right.
    QVERIFY2(qGray(image.pixel(40, 41)) >= 235, qPrintable(describe(image, {40, 41})));
    QVERIFY2(qGray(image.pixel(491, 29)) <= 20, qPrintable(describe(image, {491, 29})));
    const int rightEnd = qGray(image.pixel(942, 29));
    QVERIFY2(rightEnd >= 170 && rightEnd < 235, qPrintable(describe(image, {942, 29})));
    // Caption band, x 40..942, y 506..532: black at both ends, grey in the middle.
    for (const QPoint end : {QPoint(40, 506), QPoint(40, 532), QPoint(942, 506), QPoint(942, 532)})
        QVERIFY2(isBlack(image.pixel(end)), qPrintable(describe(image, end)));
    const int middle = qGray(image.pixel(491, 519));
    QVERIFY2(middle >= 60 && middle <= 140, qPrintable(describe(image, {491, 519})));
    // Just outside the bands the panel shows.
    for (const QPoint outside : {QPoint(39, 41), QPoint(491, 27), QPoint(491, 505), QPoint(943, 519)}) {
        const int grey = qGray(image.pixel(outside));
        QVERIFY2(grey > 60 && grey < 200, qPrintable(describe(image, outside)));
    }
}

void BackgroundTest::settingsGear()
{
    const QImage image = artwork().settings.convertToFormat(QImage::Format_ARGB32);
    for (const QPoint corner : {QPoint(0, 0), QPoint(255, 0), QPoint(0, 255), QPoint(255, 255)})
        QVERIFY2(qAlpha(image.pixel(corner)) == 0, qPrintable(describe(image, corner)));
    const QPointF centre(128, 128);
    for (int degrees = 0; degrees < 360; degrees += 45) {
        const double radians = qDegreesToRadians(double(degrees));
        const QPoint ring = (centre + 70 * QPointF(std::cos(radians), std::sin(radians))).toPoint();
        const QRgb pixel = image.pixel(ring);
        const bool grey = qAbs(qRed(pixel) - qGreen(pixel)) <= 8 && qAbs(qGreen(pixel) - qBlue(pixel)) <= 8 &&
                          qGray(pixel) >= 60 && qGray(pixel) <= 220;
        QVERIFY2(qAlpha(pixel) == 255 && grey, qPrintable(describe(image, ring)));
    }
}

void BackgroundTest::windowIcon()
{
    QImageReader reader(artwork().iconPath, "ico");
    QVERIFY2(reader.canRead(), qPrintable(reader.errorString()));
    QCOMPARE(reader.imageCount(), 6);
    QList<int> sides;
    for (int i = 0; i < reader.imageCount(); ++i) {
        QVERIFY(reader.jumpToImage(i));
        const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(image.width(), image.height());
        sides << image.width();
        // A framed square on a transparent ground.
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(image.pixel(image.width() / 2, image.height() / 2)), 255);
    }
    std::sort(sides.begin(), sides.end());
    QCOMPARE(sides, QList<int>({16, 24, 32, 48, 64, 256}));
}

QTEST_MAIN(BackgroundTest)
#include "tst_background.moc"
