#include "widgettesthelpers.h"
#include "zelppmmeter.h"

#include <QMetaMethod>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>

namespace {

const QColor minColor(0, 255, 0);
const QColor maxColor(255, 0, 0);
const QColor minBackground(0, 64, 0);
const QColor maxBackground(64, 0, 0);
const char skinVariable[] = "KOLVANE_TEST_METER_SKIN";

// A meter of the given height whose bar has been computed for the level.
void placeLevel(ZelPPMMeter &meter, double level)
{
    meter.setRawdBPosition(level);
    meter.calcPosition();
}

QColor pixelAt(const QImage &image, int row)
{
    return image.pixelColor(image.width() / 2, row);
}

} // namespace

class TestZelPPMMeter : public QObject
{
    Q_OBJECT

private slots:
    void propertyTable_data();
    void propertyTable();
    void metaObject();
    void accessorsReachTheirProperties();
    void construction();
    void writesRepaintOnlyOnChange_data();
    void writesRepaintOnlyOnChange();
    void scaleCacheFollowsTheEnds();
    void setdBPositionStoresUnclamped();

    void fourthRootScale_data();
    void fourthRootScale();
    void linearScale_data();
    void linearScale();
    void clampsBothWays_data();
    void clampsBothWays();
    void reportsChangeOnce();
    void degenerateScales_data();
    void degenerateScales();

    void gradientBar_data();
    void gradientBar();
    void fullGradientBarDependsOnHalf_data();
    void fullGradientBarDependsOnHalf();
    void solidBar();
    void gradientBackground();
    void solidBackgroundSplitsAtZero();

    void skinImage();
};

void TestZelPPMMeter::propertyTable_data()
{
    addPropertyTableColumns();
    addPropertyRow(0, "dBPosition", "double", -50.0);
    addPropertyRow(1, "MindBPosition", "double", -50.0);
    addPropertyRow(2, "MaxdBPosition", "double", 5.0);
    addPropertyRow(3, "ReleasePerSecond", "double", 18.0);
    addPropertyRow(4, "DINCurve", "bool", true);
    addPropertyRow(5, "GradientBackground", "bool", true);
    addPropertyRow(6, "GradientForground", "bool", false);
    addPropertyRow(7, "MaxColor", "QColor", QColor(255, 0, 0, 255));
    addPropertyRow(8, "MinColor", "QColor", QColor(0, 255, 0, 255));
    addPropertyRow(9, "MaxBackgroundColor", "QColor", QColor(64, 0, 0, 255));
    addPropertyRow(10, "MinBackgroundColor", "QColor", QColor(0, 64, 0, 255));
    addPropertyRow(11, "SkinEnvironmentVariable", "QString", QString());
    addPropertyRow(12, "PPMMeterBackgroundFileName", "QString", QString());
}

void TestZelPPMMeter::propertyTable()
{
    ZelPPMMeter meter;
    CHECK_PROPERTY_ROW(meter);
}

void TestZelPPMMeter::metaObject()
{
    ZelPPMMeter meter;
    const QMetaObject *meta = meter.metaObject();
    QCOMPARE(meta->className(), "ZelPPMMeter");
    QCOMPARE(meta->propertyCount() - meta->propertyOffset(), 13);
    QCOMPARE(meta->methodCount() - meta->methodOffset(), 1);
    const QMetaMethod slot = meta->method(meta->methodOffset());
    QCOMPARE(slot.methodType(), QMetaMethod::Slot);
    QCOMPARE(slot.access(), QMetaMethod::Public);
    QCOMPARE(slot.methodSignature(), QByteArray("setdBPosition(double_db)"));
    QCOMPARE(slot.parameterNames(), QList<QByteArray>{"NewdBPosition"});
    QVERIFY(meter.qt_metacast("ZelPPMMeter"));
}

void TestZelPPMMeter::accessorsReachTheirProperties()
{
    ZelPPMMeter meter;
    meter.setdBPosition(-3.0);
    meter.setMindBPosition(-40.0);
    meter.setMaxdBPosition(10.0);
    meter.setReleasePerSecond(20.0);
    meter.setDINCurve(false);
    meter.setGradientBackground(false);
    meter.setGradientForground(true);
    meter.setMaxColor(Qt::yellow);
    meter.setMinColor(Qt::blue);
    meter.setMaxBackgroundColor(Qt::gray);
    meter.setMinBackgroundColor(Qt::darkBlue);
    meter.setSkinEnvironmentVariable("A");
    meter.setPPMMeterBackgroundFileName("b.png");

    QCOMPARE(meter.dBPosition(), -3.0);
    QCOMPARE(meter.mindBPosition(), -40.0);
    QCOMPARE(meter.maxdBPosition(), 10.0);
    QCOMPARE(meter.releasePerSecond(), 20.0);
    QCOMPARE(meter.dinCurve(), false);
    QCOMPARE(meter.gradientBackground(), false);
    QCOMPARE(meter.gradientForground(), true);
    QCOMPARE(meter.maxColor(), QColor(Qt::yellow));
    QCOMPARE(meter.minColor(), QColor(Qt::blue));
    QCOMPARE(meter.maxBackgroundColor(), QColor(Qt::gray));
    QCOMPARE(meter.minBackgroundColor(), QColor(Qt::darkBlue));
    QCOMPARE(meter.skinEnvironmentVariable(), QString("A"));
    QCOMPARE(meter.ppmMeterBackgroundFileName(), QString("b.png"));

    // Writing through the meta-object lands in the same values.
    QVERIFY(meter.setProperty("MindBPosition", -30.0));
    QCOMPARE(meter.mindBPosition(), -30.0);
    QVERIFY(meter.setProperty("dBPosition", 1.5));
    QCOMPARE(meter.dBPosition(), 1.5);
}

void TestZelPPMMeter::construction()
{
    ZelPPMMeter meter;
    QCOMPARE(meter.size(), QSize(16, 200));
    QVERIFY(meter.testAttribute(Qt::WA_OpaquePaintEvent));
    QCOMPARE(meter.windowTitle(), QString("PPM Meter"));
    QVERIFY(meter.backgroundImage().isNull());
    QCOMPARE(meter.barLength(), 0);
    QCOMPARE(meter.zeroLength(), 0);
    QCOMPARE(meter.dinBase(), 0.23713737056616552);
    QCOMPARE(meter.dinSpan(), 0.9176446141232928);
    QCOMPARE(meter.dBRange(), 55.0);
}

void TestZelPPMMeter::writesRepaintOnlyOnChange_data()
{
    QTest::addColumn<QString>("property");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("repaints");

    QTest::newRow("MindBPosition unchanged") << "MindBPosition" << QVariant(-50.0) << false;
    QTest::newRow("MindBPosition changed") << "MindBPosition" << QVariant(-60.0) << true;
    QTest::newRow("MaxdBPosition unchanged") << "MaxdBPosition" << QVariant(5.0) << false;
    QTest::newRow("DINCurve unchanged") << "DINCurve" << QVariant(true) << false;
    QTest::newRow("DINCurve changed") << "DINCurve" << QVariant(false) << true;
    QTest::newRow("GradientBackground unchanged") << "GradientBackground" << QVariant(true) << false;
    QTest::newRow("GradientForground unchanged") << "GradientForground" << QVariant(false) << false;
    QTest::newRow("ReleasePerSecond changed") << "ReleasePerSecond" << QVariant(30.0) << false;
    QTest::newRow("SkinEnvironmentVariable unchanged")
        << "SkinEnvironmentVariable" << QVariant(QString()) << false;
    QTest::newRow("PPMMeterBackgroundFileName changed")
        << "PPMMeterBackgroundFileName" << QVariant("x.png") << true;
    QTest::newRow("MaxColor unchanged") << "MaxColor" << QVariant(QColor(255, 0, 0)) << true;
    QTest::newRow("MinColor unchanged") << "MinColor" << QVariant(QColor(0, 255, 0)) << true;
    QTest::newRow("MaxBackgroundColor unchanged")
        << "MaxBackgroundColor" << QVariant(QColor(64, 0, 0)) << true;
    QTest::newRow("MinBackgroundColor unchanged")
        << "MinBackgroundColor" << QVariant(QColor(0, 64, 0)) << true;
    QTest::newRow("dBPosition unchanged") << "dBPosition" << QVariant(-50.0) << true;
}

void TestZelPPMMeter::writesRepaintOnlyOnChange()
{
    QFETCH(QString, property);
    QFETCH(QVariant, value);
    QFETCH(bool, repaints);

    ZelPPMMeter meter;
    PaintCounter paints(&meter);
    QVERIFY(showAndSettle(meter));
    paints.reset();

    QVERIFY(meter.setProperty(property.toLatin1().constData(), value));
    flushPaints();
    QCOMPARE(paints.count(), repaints ? 1 : 0);
    QCOMPARE(meter.property(property.toLatin1().constData()), value);
}

void TestZelPPMMeter::scaleCacheFollowsTheEnds()
{
    ZelPPMMeter meter;
    placeLevel(meter, 0.0);
    const int barBefore = meter.barLength();

    meter.setMindBPosition(-60.0);
    QVERIFY(qAbs(meter.dinBase() - std::pow(10.0, -0.75)) < 1e-15);
    QVERIFY(qAbs(meter.dinBase() - 0.177828) < 1e-6);
    QCOMPARE(meter.dBRange(), 65.0);
    QCOMPARE(meter.dinSpan(), std::pow(10.0, 5.0 / 80.0) - meter.dinBase());
    QCOMPARE(meter.barLength(), barBefore);

    meter.setMaxdBPosition(0.0);
    QCOMPARE(meter.dinSpan(), 1.0 - meter.dinBase());
    QCOMPARE(meter.dBRange(), 60.0);

    // Back at the default ends the cache holds the construction constants again.
    meter.setMindBPosition(-50.0);
    meter.setMaxdBPosition(5.0);
    QCOMPARE(meter.dinBase(), 0.23713737056616552);
    QCOMPARE(meter.dinSpan(), 0.9176446141232928);
    QCOMPARE(meter.dBRange(), 55.0);
}

void TestZelPPMMeter::setdBPositionStoresUnclamped()
{
    ZelPPMMeter meter;
    meter.setdBPosition(12.0);
    QCOMPARE(meter.dBPosition(), 12.0);
    QCOMPARE(meter.barLength(), 0);
    meter.calcPosition();
    QCOMPARE(meter.dBPosition(), 5.0);

    meter.setRawdBPosition(-80.0);
    QCOMPARE(meter.dBPosition(), -80.0);
}

void TestZelPPMMeter::fourthRootScale_data()
{
    QTest::addColumn<double>("level");
    QTest::addColumn<int>("barLength");

    QTest::newRow("-50") << -50.0 << 0;
    QTest::newRow("-40") << -40.0 << 17;
    QTest::newRow("-30") << -30.0 << 40;
    QTest::newRow("-20") << -20.0 << 70;
    QTest::newRow("-10") << -10.0 << 111;
    QTest::newRow("0") << 0.0 << 166;
    QTest::newRow("+5") << 5.0 << 200;
}

void TestZelPPMMeter::fourthRootScale()
{
    QFETCH(double, level);
    QFETCH(int, barLength);

    ZelPPMMeter meter;
    placeLevel(meter, level);
    QCOMPARE(meter.barLength(), barLength);
    QCOMPARE(meter.zeroLength(), 166);
}

void TestZelPPMMeter::linearScale_data()
{
    QTest::addColumn<double>("level");
    QTest::addColumn<int>("barLength");

    QTest::newRow("-50") << -50.0 << 0;
    QTest::newRow("-20") << -20.0 << 109;
    QTest::newRow("0") << 0.0 << 181;
    QTest::newRow("+5") << 5.0 << 200;
}

void TestZelPPMMeter::linearScale()
{
    QFETCH(double, level);
    QFETCH(int, barLength);

    ZelPPMMeter meter;
    meter.setDINCurve(false);
    placeLevel(meter, level);
    QCOMPARE(meter.barLength(), barLength);
    QCOMPARE(meter.zeroLength(), 181);
}

void TestZelPPMMeter::clampsBothWays_data()
{
    QTest::addColumn<bool>("dinCurve");
    QTest::addColumn<double>("level");
    QTest::addColumn<double>("clamped");
    QTest::addColumn<int>("barLength");

    QTest::newRow("fourth root, below") << true << -70.0 << -50.0 << 0;
    QTest::newRow("fourth root, above") << true << 12.0 << 5.0 << 200;
    QTest::newRow("linear, below") << false << -50.5 << -50.0 << 0;
    QTest::newRow("linear, above") << false << 40.0 << 5.0 << 200;
    QTest::newRow("linear, infinite") << false << std::numeric_limits<double>::infinity() << 5.0 << 200;
}

void TestZelPPMMeter::clampsBothWays()
{
    QFETCH(bool, dinCurve);
    QFETCH(double, level);
    QFETCH(double, clamped);
    QFETCH(int, barLength);

    ZelPPMMeter meter;
    meter.setDINCurve(dinCurve);
    placeLevel(meter, level);
    QCOMPARE(meter.dBPosition(), clamped);
    QCOMPARE(meter.barLength(), barLength);
}

void TestZelPPMMeter::reportsChangeOnce()
{
    ZelPPMMeter meter;
    meter.setRawdBPosition(-20.0);
    QVERIFY(meter.calcPosition());
    QVERIFY(!meter.calcPosition());

    // A level change within the same pixel is no change of the bar.
    meter.setRawdBPosition(-19.99);
    QVERIFY(!meter.calcPosition());

    // A resize moves the bar only at the next calcPosition().
    meter.resize(16, 400);
    QCOMPARE(meter.barLength(), 70);
    QVERIFY(meter.calcPosition());
    QCOMPARE(meter.barLength(), 141);
}

void TestZelPPMMeter::degenerateScales_data()
{
    QTest::addColumn<bool>("dinCurve");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<double>("level");
    QTest::addColumn<int>("barLength");
    QTest::addColumn<int>("zeroLength");

    // Equal ends leave no scale: the bar is empty.
    QTest::newRow("equal ends, fourth root") << true << 0.0 << 0.0 << 3.0 << 0 << 0;
    QTest::newRow("equal ends, linear") << false << -20.0 << -20.0 << -20.0 << 0 << 0;
    // Reversed ends: the level ends at the top end, which maps onto the full height.
    QTest::newRow("reversed ends, fourth root") << true << 10.0 << -10.0 << 0.0 << 200 << 114;
    QTest::newRow("reversed ends, linear") << false << 10.0 << -10.0 << 0.0 << 200 << 100;
    // A scale narrower than a pixel puts 0 dB far beyond the widget; the length stays bounded.
    QTest::newRow("hair-thin scale, fourth root")
        << true << -50.0 << -50.0 + 1e-12 << 0.0 << 200 << QWIDGETSIZE_MAX;
    QTest::newRow("hair-thin scale, linear")
        << false << -50.0 << -50.0 + 1e-12 << 0.0 << 0 << QWIDGETSIZE_MAX;
    // A level that is not a number shows an empty bar.
    QTest::newRow("NaN level") << true << -50.0 << 5.0 << std::nan("") << 0 << 166;
}

void TestZelPPMMeter::degenerateScales()
{
    QFETCH(bool, dinCurve);
    QFETCH(double, minimum);
    QFETCH(double, maximum);
    QFETCH(double, level);
    QFETCH(int, barLength);
    QFETCH(int, zeroLength);

    ZelPPMMeter meter;
    meter.setDINCurve(dinCurve);
    meter.setRawdBPosition(0.0);
    meter.calcPosition(); // a non-empty bar first, so that emptying it counts as a change
    QVERIFY(meter.barLength() > 0);

    meter.setMindBPosition(minimum);
    meter.setMaxdBPosition(maximum);
    meter.setRawdBPosition(level);
    QVERIFY(meter.calcPosition());
    QVERIFY(qAbs(meter.barLength() - barLength) <= 1);
    QVERIFY(qAbs(meter.zeroLength() - zeroLength) <= 1);
    QVERIFY(!meter.calcPosition());
    QVERIFY(!grabImage(meter).isNull());
}

void TestZelPPMMeter::gradientBar_data()
{
    QTest::addColumn<double>("level");
    QTest::addColumn<int>("barLength");
    QTest::addColumn<int>("firstSolidRow");

    // Up to half, only the solid part, barLength high.
    QTest::newRow("below half") << -35.0 << 54 << 146;
    QTest::newRow("at half") << -22.5 << 100 << 100;
    // half + 1: solid part half + 1 high, gradient part one pixel on top of it.
    QTest::newRow("half + 1") << -22.2 << 101 << 99;
}

void TestZelPPMMeter::gradientBar()
{
    QFETCH(double, level);
    QFETCH(int, barLength);
    QFETCH(int, firstSolidRow);

    ZelPPMMeter meter;
    meter.resize(10, 200);
    meter.setDINCurve(false);
    meter.setGradientForground(true);
    placeLevel(meter, level);
    QCOMPARE(meter.barLength(), barLength);

    const QImage image = grabImage(meter);
    for (int row = firstSolidRow; row < 200; ++row)
        QVERIFY2(nearColor(pixelAt(image, row), minColor), qPrintable(QString("row %1").arg(row)));
    const QColor above = pixelAt(image, firstSolidRow - 1);
    QVERIFY2(above.green() < 128, qPrintable(QString("row %1 lit").arg(firstSolidRow - 1)));
}

void TestZelPPMMeter::fullGradientBarDependsOnHalf_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("topRowLit");

    // The gradient part starts at 2 x half - barLength: row 0 for 200 pixels (half 100) and
    // row 1 for 201 pixels (half 101).
    QTest::newRow("200") << 200 << true;
    QTest::newRow("201") << 201 << false;
}

void TestZelPPMMeter::fullGradientBarDependsOnHalf()
{
    QFETCH(int, height);
    QFETCH(bool, topRowLit);

    ZelPPMMeter meter;
    meter.resize(10, height);
    meter.setGradientForground(true);
    placeLevel(meter, 5.0);
    QCOMPARE(meter.barLength(), height);

    const QImage image = grabImage(meter);
    QCOMPARE(nearColor(pixelAt(image, 0), maxColor, 4), topRowLit);
    QCOMPARE(nearColor(pixelAt(image, 0), maxBackground, 4), !topRowLit);
    QVERIFY(nearColor(pixelAt(image, 1), maxColor, 8));
    QVERIFY(nearColor(pixelAt(image, height - 1), minColor));
    // Midway up the upper half the bar is a blend of the two colours.
    const QColor middle = pixelAt(image, height / 4);
    QVERIFY(middle.red() > 96 && middle.red() < 160);
    QVERIFY(middle.green() > 96 && middle.green() < 160);
}

void TestZelPPMMeter::solidBar()
{
    ZelPPMMeter meter;
    meter.resize(10, 200);
    meter.setDINCurve(false);
    meter.setGradientBackground(false);

    // Exactly at zeroLength: MinColor only.
    placeLevel(meter, 0.0);
    QCOMPARE(meter.barLength(), meter.zeroLength());
    QImage image = grabImage(meter);
    QVERIFY(nearColor(pixelAt(image, 200 - 181), minColor));
    QVERIFY(nearColor(pixelAt(image, 199), minColor));
    QVERIFY(nearColor(pixelAt(image, 200 - 182), maxBackground));

    // Above 0 dB the part above zeroLength is MaxColor.
    placeLevel(meter, 5.0);
    image = grabImage(meter);
    QVERIFY(nearColor(pixelAt(image, 0), maxColor));
    QVERIFY(nearColor(pixelAt(image, 200 - 182), maxColor));
    QVERIFY(nearColor(pixelAt(image, 200 - 181), minColor));
}

void TestZelPPMMeter::gradientBackground()
{
    ZelPPMMeter meter;
    meter.resize(10, 200);
    placeLevel(meter, -50.0);
    QCOMPARE(meter.barLength(), 0);

    const QImage image = grabImage(meter);
    QVERIFY(nearColor(pixelAt(image, 199), minBackground));
    QVERIFY(nearColor(pixelAt(image, 100), minBackground));
    QVERIFY(nearColor(pixelAt(image, 0), maxBackground));
    QVERIFY(nearColor(pixelAt(image, 50), QColor(32, 32, 0), 2));
}

void TestZelPPMMeter::solidBackgroundSplitsAtZero()
{
    ZelPPMMeter meter;
    meter.resize(10, 200);
    meter.setGradientBackground(false);
    placeLevel(meter, -50.0);
    QCOMPARE(meter.zeroLength(), 166);

    const QImage image = grabImage(meter);
    QVERIFY(nearColor(pixelAt(image, 200 - 166), minBackground, 0));
    QVERIFY(nearColor(pixelAt(image, 199), minBackground, 0));
    QVERIFY(nearColor(pixelAt(image, 200 - 167), maxBackground, 0));
    QVERIFY(nearColor(pixelAt(image, 0), maxBackground, 0));
}

void TestZelPPMMeter::skinImage()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QImage skin(4, 6, QImage::Format_ARGB32);
    skin.fill(Qt::transparent);
    QVERIFY(skin.save(folder.filePath("bg.png")));
    qputenv(skinVariable, folder.path().toUtf8());

    ZelPPMMeter meter;
    // The file name alone points into the root folder, where there is no such image.
    meter.setPPMMeterBackgroundFileName("bg.png");
    QVERIFY(meter.backgroundImage().isNull());
    meter.setSkinEnvironmentVariable(skinVariable);
    QCOMPARE(meter.backgroundImage().size(), QSize(4, 6));

    // Reloaded on each change; a missing file leaves no image behind.
    meter.setPPMMeterBackgroundFileName("missing.png");
    QVERIFY(meter.backgroundImage().isNull());
    meter.setPPMMeterBackgroundFileName("bg.png");
    QCOMPARE(meter.backgroundImage().size(), QSize(4, 6));

    // The folder is joined as given, with its own trailing separator kept.
    qputenv(skinVariable, (folder.path() + "/").toUtf8());
    meter.setSkinEnvironmentVariable(QString());
    meter.setSkinEnvironmentVariable(skinVariable);
    QCOMPARE(meter.backgroundImage().size(), QSize(4, 6));
    qunsetenv(skinVariable);
}

QTEST_MAIN(TestZelPPMMeter)
#include "test_zelppmmeter.moc"
