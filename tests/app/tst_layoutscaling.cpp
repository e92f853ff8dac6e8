#include "layoutscaling.h"
#include "mainwindowtestaccess.h"

#include "tempsettings.h"
#include "zeldigitalclock.h"

#include <QtTest>

namespace {

// Counts geometry changes of one widget, to tell how many scaling passes reached it.
struct GeometryChanges : QObject
{
    int count = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        count += event->type() == QEvent::Resize || event->type() == QEvent::Move;
        return false;
    }
};

QWidget *scaledWidget(MainWindow &w, int index)
{
    Ui::MainWindow *ui = MainWindowTestAccess::ui(w);
    QWidget *const widgets[] = {ui->ProgLeft,
                                ui->ProgRight,
                                ui->SubLeft,
                                ui->SubRight,
                                ui->CrmLeft,
                                ui->CrmRight,
                                ui->AnalogClock,
                                ui->DigitalClock,
                                MainWindowTestAccess::caption(w, 0),
                                MainWindowTestAccess::caption(w, 1),
                                MainWindowTestAccess::caption(w, 2),
                                ui->timelabel,
                                ui->footerlabel,
                                MainWindowTestAccess::settingsLabel(w),
                                MainWindowTestAccess::linkLamp(w),
                                MainWindowTestAccess::timeSyncLamp(w)};
    return widgets[index];
}

const QRect DesignRects[] = {
    {54, 73, 12, 415},   {143, 73, 12, 415},  {210, 73, 12, 415},  {299, 73, 12, 415},
    {844, 199, 8, 291},  {907, 199, 8, 291},  {348, 85, 410, 410}, {348, 260, 410, 111},
    {44, 502, 121, 31},  {194, 502, 131, 31}, {830, 502, 101, 31}, {356, 502, 401, 31},
    {360, 550, 381, 21}, {900, 28, 25, 25},   {876, 33, 15, 15},   {632, 511, 15, 15}};

void showAt(MainWindow &w, const QSize &size)
{
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.resize(size);
    QTRY_COMPARE(MainWindowTestAccess::windowSize(w), size);
    w.repaint();
}

} // namespace

class TestLayoutScaling : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void scaledWindow_data();
    void scaledWindow();
    void everyRectangleFollows();
    void onePassPerPaint();

private:
    TempSettings settings;
};

void TestLayoutScaling::scaledWindow_data()
{
    QTest::addColumn<QSize>("window");
    QTest::addColumn<float>("factor");
    QTest::addColumn<QPoint>("offset");
    QTest::addColumn<QRect>("progLeft");
    QTest::addColumn<QRect>("analogClock");
    QTest::addColumn<QVector<int>>("fonts"); // captions and time label, footer, time, date
    QTest::addColumn<QRect>("linkLamp");
    // Recorded from the window as first shipped: what it paints itself, whole and under the clock.
    QTest::addColumn<QByteArray>("picture");

    QTest::newRow("design") << QSize(986, 580) << 1.0f << QPoint(0, 0) << QRect(54, 73, 12, 415)
                            << QRect(348, 85, 410, 410) << QVector<int>{15, 11, 40, 24}
                            << QRect(876, 33, 15, 15) << QByteArray("b61ec5110a6c9ed0");
    QTest::newRow("wider 1920x1080") << QSize(1920, 1080) << 1.8620690f << QPoint(42, 0)
                                     << QRect(142, 135, 22, 772) << QRect(690, 158, 763, 763)
                                     << QVector<int>{27, 20, 74, 44} << QRect(1673, 61, 27, 27)
                                     << QByteArray("803d0557a42179ba");
    QTest::newRow("narrower 1280x1024")
        << QSize(1280, 1024) << 1.2973630f << QPoint(0, 136) << QRect(70, 230, 15, 538)
        << QRect(451, 246, 531, 531) << QVector<int>{19, 14, 51, 31} << QRect(1136, 178, 19, 19)
        << QByteArray("39fd0dd465980761");
    QTest::newRow("design aspect 1020x600")
        << QSize(1020, 600) << 1.0344827f << QPoint(0, 0) << QRect(55, 75, 12, 429)
        << QRect(359, 87, 424, 424) << QVector<int>{15, 11, 41, 24} << QRect(906, 34, 15, 15)
        << QByteArray("6444ceebc0dc4618");
    QTest::newRow("2000x580") << QSize(2000, 580) << 1.0f << QPoint(507, 0) << QRect(561, 73, 12, 415)
                              << QRect(855, 85, 410, 410) << QVector<int>{15, 11, 40, 24}
                              << QRect(1383, 33, 15, 15) << QByteArray("8060f40f96c44082");
    // Sides whose product with the design's passes the int range; too large to show a window.
    QTest::newRow("huge, wider") << QSize(16777215, 4000000) << 6896.5518f << QPoint(4988607, 0)
                                 << QRect(5361020, 503448, 82758, 2862068)
                                 << QRect(7388607, 586206, 2827586, 2827586) << QVector<int>{}
                                 << QRect(11029986, 227586, 103448, 103448) << QByteArray();
    QTest::newRow("huge, narrower") << QSize(8000000, 16777215) << 8113.5898f << QPoint(0, 6035666)
                                    << QRect(438133, 6627958, 97363, 3367139)
                                    << QRect(2823529, 6725321, 3326571, 3326571) << QVector<int>{}
                                    << QRect(7107504, 6303414, 121703, 121703) << QByteArray();
}

void TestLayoutScaling::scaledWindow()
{
    QFETCH(QSize, window);
    QFETCH(float, factor);
    QFETCH(QPoint, offset);
    QFETCH(QRect, progLeft);
    QFETCH(QRect, analogClock);
    QFETCH(QVector<int>, fonts);
    QFETCH(QRect, linkLamp);
    QFETCH(QByteArray, picture);

    const LayoutScaling::Fit fit = LayoutScaling::fitToWindow(window);
    QCOMPARE(fit.scaleFactor, factor);
    QCOMPARE(QPoint(fit.offsetX, fit.offsetY), offset);
    if (fonts.isEmpty()) { // no window that size
        QCOMPARE(LayoutScaling::scaledRect(DesignRects[0], fit), progLeft);
        QCOMPARE(LayoutScaling::scaledRect(DesignRects[6], fit), analogClock);
        return;
    }

    MainWindow w;
    showAt(w, window);
    Ui::MainWindow *ui = MainWindowTestAccess::ui(w);
    QCOMPARE(ui->ProgLeft->geometry(), progLeft);
    QCOMPARE(ui->AnalogClock->geometry(), analogClock);
    QCOMPARE(MainWindowTestAccess::linkLamp(w)->geometry(), linkLamp);
    for (QWidget *label : {scaledWidget(w, 8), scaledWidget(w, 9), scaledWidget(w, 10), scaledWidget(w, 11)})
        QCOMPARE(label->font().pointSize(), fonts.at(0));
    QCOMPARE(ui->footerlabel->font().pointSize(), fonts.at(1));
    QCOMPARE(ui->DigitalClock->timeDisplayFont().pointSize(), fonts.at(2));
    QCOMPARE(ui->DigitalClock->dateDisplayFont().pointSize(), fonts.at(3));
    // The time label takes the caption's family; the clock's fonts keep theirs.
    QCOMPARE(ui->timelabel->font().family(), scaledWidget(w, 8)->font().family());
    QCOMPARE(ui->DigitalClock->timeDisplayFont().family(), QStringLiteral("DejaVu Sans"));

    QCryptographicHash pixels(QCryptographicHash::Sha1);
    for (const QRegion &area : {QRegion(w.rect()), QRegion(analogClock)}) {
        QImage image(window, QImage::Format_RGB32);
        image.fill(Qt::blue);
        w.render(&image, QPoint(), area, QWidget::RenderFlags()); // the window alone
        pixels.addData(reinterpret_cast<const char *>(image.constBits()), int(image.sizeInBytes()));
    }
    QCOMPARE(pixels.result().toHex().left(16), picture);
}

// At the design height every scaled widget keeps its design rectangle, only shifted into the centre.
void TestLayoutScaling::everyRectangleFollows()
{
    MainWindow w;
    showAt(w, QSize(2000, 580));
    for (int i = 0; i < int(std::size(DesignRects)); ++i)
        QCOMPARE(scaledWidget(w, i)->geometry(), DesignRects[i].translated(507, 0));
    QCOMPARE(MainWindowTestAccess::ui(w)->DigitalClock->geometry(), QRect(855, 260, 410, 111));
}

void TestLayoutScaling::onePassPerPaint()
{
    MainWindow w;
    showAt(w, QSize(986, 580));
    ZelPPMMeter *meter = MainWindowTestAccess::ui(w)->ProgLeft;
    GeometryChanges changes;
    meter->installEventFilter(&changes);

    w.resize(1280, 1024);
    w.resize(1500, 900);
    w.resize(1920, 1080);
    QTRY_COMPARE(MainWindowTestAccess::windowSize(w), QSize(1920, 1080));
    QCOMPARE(changes.count, 0); // resizes only record
    w.repaint();
    QCOMPARE(meter->geometry(), QRect(142, 135, 22, 772));
    QCOMPARE(changes.count, 2); // one move and one resize, from one pass

    w.update();
    w.repaint();
    QCOMPARE(changes.count, 2); // a paint without a resize changes nothing
    QVERIFY(!MainWindowTestAccess::resizePending(w));
}

QTEST_MAIN(TestLayoutScaling)
#include "tst_layoutscaling.moc"
