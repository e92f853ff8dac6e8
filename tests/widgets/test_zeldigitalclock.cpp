#include "fakeclock.h"
#include "widgettesthelpers.h"
#include "zeldigitalclock.h"

#include <QFontMetrics>
#include <QMetaMethod>
#include <QtTest>

namespace {

const QDate someDay(2026, 12, 5); // a Saturday
const QColor timeColor(255, 0, 0);
const QColor dateColor(0, 255, 0);

// The pixel rows and columns where a colour channel shows ink on black.
struct InkBounds
{
    QRect rect;
    bool any() const { return rect.isValid(); }
    double centreX() const { return rect.left() + rect.width() / 2.0; }
    double centreY() const { return rect.top() + rect.height() / 2.0; }
};

InkBounds inkOf(const QImage &image, int (QColor::*channel)() const)
{
    int left = image.width(), right = -1, top = image.height(), bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if ((image.pixelColor(x, y).*channel)() > 64) {
                left = qMin(left, x);
                right = qMax(right, x);
                top = qMin(top, y);
                bottom = qMax(bottom, y);
            }
        }
    }
    InkBounds bounds;
    if (right >= 0)
        bounds.rect = QRect(QPoint(left, top), QPoint(right, bottom));
    return bounds;
}

QFont pixelFont(int pixelSize)
{
    QFont font("DejaVu Sans");
    font.setPixelSize(pixelSize);
    return font;
}

// A clock on black with red time and green date, showing a chosen moment.
void prepare(ZelDigitalClock &clock, const QSize &size)
{
    clock.resize(size);
    QPalette palette = clock.palette();
    palette.setColor(QPalette::Window, Qt::black);
    clock.setPalette(palette);
    clock.setAutoFillBackground(true);
    clock.setTimeDisplayFontColor(timeColor);
    clock.setDateDisplayFontColor(dateColor);
    clock.setTimeDisplayFont(pixelFont(12));
    clock.setDateDisplayFont(pixelFont(10));
    FakeClock::set(QDateTime(someDay, QTime(10, 20, 30)));
    clock.checkTime();
}

} // namespace

class TestZelDigitalClock : public QObject
{
    Q_OBJECT

private slots:
    void propertyTable_data();
    void propertyTable();
    void metaObject();
    void accessorsReachTheirProperties();
    void construction();
    void settersRepaintOnlyOnChange_data();
    void settersRepaintOnlyOnChange();

    void textsRefreshEveryTick();
    void oneRepaintPerSecond();

    void bothLinesOff();
    void dateOnlyCentredInUpperHalf();
    void timeRectangleIsHalfHeight();
    void dateStartsOneTimeLineDown();
};

void TestZelDigitalClock::propertyTable_data()
{
    addPropertyTableColumns();
    addPropertyRow(0, "TimeDisplay", "bool", true);
    addPropertyRow(1, "TimeDisplayFont", "QFont", QFont());
    addPropertyRow(2, "TimeDisplayFontColor", "QColor", QColor());
    addPropertyRow(3, "DateDisplay", "bool", true);
    addPropertyRow(4, "DateDisplayFont", "QFont", QFont());
    addPropertyRow(5, "DateDisplayFontColor", "QColor", QColor());
}

void TestZelDigitalClock::propertyTable()
{
    ZelDigitalClock clock;
    CHECK_PROPERTY_ROW(clock);
}

void TestZelDigitalClock::metaObject()
{
    ZelDigitalClock clock;
    const QMetaObject *meta = clock.metaObject();
    QCOMPARE(meta->className(), "ZelDigitalClock");
    QCOMPARE(meta->propertyCount() - meta->propertyOffset(), 6);
    QCOMPARE(meta->methodCount() - meta->methodOffset(), 1);
    const QMetaMethod slot = meta->method(meta->methodOffset());
    QCOMPARE(slot.methodType(), QMetaMethod::Slot);
    QCOMPARE(slot.methodSignature(), QByteArray("checkTime()"));
}

void TestZelDigitalClock::accessorsReachTheirProperties()
{
    ZelDigitalClock clock;
    const QFont timeFont("DejaVu Sans", 40);
    const QFont dateFont("DejaVu Sans", 24);
    clock.setTimeDisplay(false);
    clock.setTimeDisplayFont(timeFont);
    clock.setTimeDisplayFontColor(Qt::white);
    clock.setDateDisplay(false);
    clock.setDateDisplayFont(dateFont);
    clock.setDateDisplayFontColor(Qt::yellow);

    QCOMPARE(clock.timeDisplay(), false);
    QCOMPARE(clock.timeDisplayFont(), timeFont);
    QCOMPARE(clock.timeDisplayFontColor(), QColor(Qt::white));
    QCOMPARE(clock.dateDisplay(), false);
    QCOMPARE(clock.dateDisplayFont(), dateFont);
    QCOMPARE(clock.dateDisplayFontColor(), QColor(Qt::yellow));
    QCOMPARE(clock.property("TimeDisplayFont"), QVariant(timeFont));
    QCOMPARE(clock.property("DateDisplayFontColor"), QVariant(QColor(Qt::yellow)));
}

void TestZelDigitalClock::construction()
{
    FakeClock fake(QDateTime(someDay, QTime(9, 41, 7)));
    ZelDigitalClock clock;
    QCOMPARE(clock.size(), QSize(100, 30));
    QCOMPARE(clock.windowTitle(), QString("Digital Clock"));
    QVERIFY(clock.timeText().isEmpty());
    QVERIFY(clock.dateText().isEmpty());
    // The clock's own timer delivers the ticks.
    QTRY_COMPARE_WITH_TIMEOUT(clock.timeText(), QString("09:41:07"), 2000);
}

void TestZelDigitalClock::settersRepaintOnlyOnChange_data()
{
    QTest::addColumn<QString>("property");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("repaints");

    QTest::newRow("TimeDisplay unchanged") << "TimeDisplay" << QVariant(true) << false;
    QTest::newRow("TimeDisplay changed") << "TimeDisplay" << QVariant(false) << true;
    QTest::newRow("TimeDisplayFont unchanged") << "TimeDisplayFont" << QVariant(QFont()) << false;
    QTest::newRow("TimeDisplayFont changed")
        << "TimeDisplayFont" << QVariant(QFont("DejaVu Sans", 40)) << true;
    QTest::newRow("TimeDisplayFontColor unchanged") << "TimeDisplayFontColor" << QVariant(QColor()) << false;
    QTest::newRow("TimeDisplayFontColor changed")
        << "TimeDisplayFontColor" << QVariant(QColor(Qt::white)) << true;
    QTest::newRow("DateDisplay unchanged") << "DateDisplay" << QVariant(true) << false;
    QTest::newRow("DateDisplayFont unchanged") << "DateDisplayFont" << QVariant(QFont()) << false;
    QTest::newRow("DateDisplayFontColor unchanged") << "DateDisplayFontColor" << QVariant(QColor()) << false;
}

void TestZelDigitalClock::settersRepaintOnlyOnChange()
{
    QFETCH(QString, property);
    QFETCH(QVariant, value);
    QFETCH(bool, repaints);

    FakeClock fake;
    ZelDigitalClock clock;
    PaintCounter paints(&clock);
    QVERIFY(showAndSettle(clock));
    paints.reset();

    QVERIFY(clock.setProperty(property.toLatin1().constData(), value));
    flushPaints();
    QCOMPARE(paints.count(), repaints ? 1 : 0);
}

void TestZelDigitalClock::textsRefreshEveryTick()
{
    FakeClock fake(QDateTime(someDay, QTime(23, 59, 0, 300)));
    ZelDigitalClock clock;
    PaintCounter paints(&clock);
    QVERIFY(showAndSettle(clock));
    paints.reset();

    // A first tick within second 0 sets the texts but asks for no repaint.
    clock.checkTime();
    QCOMPARE(clock.timeText(), QString("23:59:00"));
    QCOMPARE(clock.dateText(), QString("Sat 5 Dec 2026"));
    flushPaints();
    QCOMPARE(paints.count(), 0);

    // Past midnight both texts follow the same reading.
    FakeClock::set(QDateTime(someDay.addDays(1), QTime(0, 0, 0, 100)));
    clock.checkTime();
    QCOMPARE(clock.timeText(), QString("00:00:00"));
    QCOMPARE(clock.dateText(), QString("Sun 6 Dec 2026"));
    FakeClock::set(QDateTime(QDate(2027, 1, 9), QTime(7, 5, 1)));
    clock.checkTime();
    QCOMPARE(clock.timeText(), QString("07:05:01"));
    QCOMPARE(clock.dateText(), QString("Sat 9 Jan 2027"));
}

void TestZelDigitalClock::oneRepaintPerSecond()
{
    FakeClock fake(QDateTime(someDay, QTime(10, 0, 4, 950)));
    ZelDigitalClock clock;
    PaintCounter paints(&clock);
    clock.checkTime();
    QVERIFY(showAndSettle(clock));
    paints.reset();

    FakeClock::setTime(QTime(10, 0, 5, 0));
    for (int tick = 0; tick < 10; ++tick) {
        clock.checkTime();
        flushPaints();
        FakeClock::advanceMs(100);
    }
    QCOMPARE(paints.count(), 1);

    // A clock set back onto the same second number causes no repaint.
    FakeClock::setTime(QTime(9, 0, 5, 500));
    clock.checkTime();
    flushPaints();
    QCOMPARE(paints.count(), 1);
    QCOMPARE(clock.timeText(), QString("09:00:05"));
}

void TestZelDigitalClock::bothLinesOff()
{
    FakeClock fake;
    ZelDigitalClock clock;
    prepare(clock, QSize(200, 60));
    clock.setTimeDisplay(false);
    clock.setDateDisplay(false);

    const QImage image = grabImage(clock);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            QCOMPARE(image.pixelColor(x, y), QColor(Qt::black));
}

void TestZelDigitalClock::dateOnlyCentredInUpperHalf()
{
    FakeClock fake;
    ZelDigitalClock clock;
    prepare(clock, QSize(300, 100));
    clock.setTimeDisplay(false);

    const InkBounds date = inkOf(grabImage(clock), &QColor::green);
    QVERIFY(date.any());
    QVERIFY2(qAbs(date.centreY() - 25.0) <= 2.0, qPrintable(QString::number(date.centreY())));
    QVERIFY2(qAbs(date.centreX() - 150.0) <= 2.0, qPrintable(QString::number(date.centreX())));
    QVERIFY(!inkOf(grabImage(clock), &QColor::red).any());
}

void TestZelDigitalClock::timeRectangleIsHalfHeight()
{
    FakeClock fake;
    ZelDigitalClock clock;
    prepare(clock, QSize(300, 31));
    clock.setDateDisplay(false);

    // Half of 31 is 15: a text centred in rows 0 to 14.
    const InkBounds time = inkOf(grabImage(clock), &QColor::red);
    QVERIFY(time.any());
    QVERIFY2(qAbs(time.centreY() - 7.5) <= 1.0, qPrintable(QString::number(time.centreY())));

    // A time font taller than the rectangle is cut off at its bottom edge.
    clock.setTimeDisplayFont(pixelFont(40));
    const InkBounds tall = inkOf(grabImage(clock), &QColor::red);
    QVERIFY(tall.any());
    QCOMPARE(tall.rect.bottom(), 14);
}

void TestZelDigitalClock::dateStartsOneTimeLineDown()
{
    FakeClock fake;
    ZelDigitalClock clock;
    prepare(clock, QSize(300, 100));
    clock.setTimeDisplayFont(pixelFont(20));

    const QImage image = grabImage(clock);
    const InkBounds time = inkOf(image, &QColor::red);
    const InkBounds date = inkOf(image, &QColor::green);
    QVERIFY(time.any());
    QVERIFY(date.any());
    QVERIFY2(qAbs(time.centreY() - 25.0) <= 2.0, qPrintable(QString::number(time.centreY())));
    // The date rectangle runs from the time font's line height, half the widget high.
    const int dateTop = QFontMetrics(pixelFont(20)).height();
    QVERIFY2(qAbs(date.centreY() - (dateTop + 25.0)) <= 2.0,
             qPrintable(QString("%1 vs %2").arg(date.centreY()).arg(dateTop + 25.0)));
}

// Day and month names in a fixed language, whatever the machine's locale.
int main(int argc, char *argv[])
{
    qputenv("LC_ALL", "C");
    QApplication app(argc, argv);
    TestZelDigitalClock test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_zeldigitalclock.moc"
