#include "layoutscaling.h"
#include "mainwindowtestaccess.h"

#include "tempsettings.h"
#include "zeldigitalclock.h"
#include "zelppmmeter.h"

#include <QtTest>

using namespace LayoutScaling;

namespace {

// Counts geometry changes of one widget, to tell how many scaling passes reached it.
class ResizeCounter : public QObject
{
public:
    int count = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Resize || event->type() == QEvent::Move)
            ++count;
        return false;
    }
};

} // namespace

class TestLayoutScaling : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fit_data();
    void fit();
    void widgetGeometry_data();
    void widgetGeometry();
    void designSizeKeepsEveryRectangle();
    void wideWindowShiftsEveryRectangle();
    void windowPass_data();
    void windowPass();
    void severalResizesGiveOnePass();
    void paintWithoutResizeChangesNothing();

private:
    TempSettings settings;
};

void TestLayoutScaling::fit_data()
{
    QTest::addColumn<QSize>("window");
    QTest::addColumn<float>("factor");
    QTest::addColumn<int>("offsetX");
    QTest::addColumn<int>("offsetY");
    QTest::addColumn<QVector<int>>("fontSizes"); // captions, footer, time, date

    QTest::newRow("design 986x580") << QSize(986, 580) << 1.0f << 0 << 0 << QVector<int>{15, 11, 40, 24};
    QTest::newRow("wide 1920x1080") << QSize(1920, 1080) << 1.8620690f << 42 << 0
                                    << QVector<int>{27, 20, 74, 44};
    QTest::newRow("narrow 1280x1024") << QSize(1280, 1024) << 1.2973630f << 0 << 136
                                      << QVector<int>{19, 14, 51, 31};
    QTest::newRow("exact aspect 1020x600") << QSize(1020, 600) << 1.0344827f << 0 << 0
                                           << QVector<int>{15, 11, 41, 24};
    QTest::newRow("very wide 2000x580") << QSize(2000, 580) << 1.0f << 507 << 0 << QVector<int>{15, 11, 40, 24};
}

void TestLayoutScaling::fit()
{
    QFETCH(QSize, window);
    QFETCH(float, factor);
    QFETCH(int, offsetX);
    QFETCH(int, offsetY);
    QFETCH(QVector<int>, fontSizes);

    const Fit result = fitToWindow(window);
    QCOMPARE(result.scaleFactor, factor);
    QCOMPARE(result.offsetX, offsetX);
    QCOMPARE(result.offsetY, offsetY);
    const int designSizes[] = {15, 11, 40, 24};
    for (int i = 0; i < 4; ++i)
        QCOMPARE(scaledPointSize(designSizes[i], result.scaleFactor), fontSizes.at(i));
}

void TestLayoutScaling::widgetGeometry_data()
{
    QTest::addColumn<QSize>("window");
    QTest::addColumn<QRect>("design");
    QTest::addColumn<QRect>("expected");

    QTest::newRow("1920x1080 ProgLeft") << QSize(1920, 1080) << QRect(54, 73, 12, 415) << QRect(142, 135, 22, 772);
    QTest::newRow("1920x1080 AnalogClock")
        << QSize(1920, 1080) << QRect(348, 85, 410, 410) << QRect(690, 158, 763, 763);
    QTest::newRow("1920x1080 DigitalClock")
        << QSize(1920, 1080) << QRect(348, 260, 410, 111) << QRect(690, 484, 763, 206);
    QTest::newRow("1280x1024 ProgLeft") << QSize(1280, 1024) << QRect(54, 73, 12, 415) << QRect(70, 230, 15, 538);
    QTest::newRow("1280x1024 AnalogClock")
        << QSize(1280, 1024) << QRect(348, 85, 410, 410) << QRect(451, 246, 531, 531);
    QTest::newRow("1020x600 ProgLeft") << QSize(1020, 600) << QRect(54, 73, 12, 415) << QRect(55, 75, 12, 429);
}

void TestLayoutScaling::widgetGeometry()
{
    QFETCH(QSize, window);
    QFETCH(QRect, design);
    QFETCH(QRect, expected);
    QCOMPARE(scaledRect(design, fitToWindow(window)), expected);
}

static const QRect DesignRects[] = {
    {54, 73, 12, 415},   {143, 73, 12, 415},  {210, 73, 12, 415},  {299, 73, 12, 415}, {844, 199, 8, 291},
    {907, 199, 8, 291},  {348, 85, 410, 410}, {348, 260, 410, 111}, {44, 502, 121, 31}, {194, 502, 131, 31},
    {830, 502, 101, 31}, {356, 502, 401, 31}, {360, 550, 381, 21},  {900, 28, 25, 25}};

void TestLayoutScaling::designSizeKeepsEveryRectangle()
{
    const Fit fit = fitToWindow(QSize(986, 580));
    for (const QRect &rect : DesignRects)
        QCOMPARE(scaledRect(rect, fit), rect);
}

void TestLayoutScaling::wideWindowShiftsEveryRectangle()
{
    const Fit fit = fitToWindow(QSize(2000, 580));
    for (const QRect &rect : DesignRects)
        QCOMPARE(scaledRect(rect, fit), rect.translated(507, 0));
}

void TestLayoutScaling::windowPass_data()
{
    QTest::addColumn<QSize>("window");
    QTest::newRow("986x580") << QSize(986, 580);
    QTest::newRow("1920x1080") << QSize(1920, 1080);
    QTest::newRow("1280x1024") << QSize(1280, 1024);
    QTest::newRow("1020x600") << QSize(1020, 600);
    QTest::newRow("2000x580") << QSize(2000, 580);
}

// The real window: all fourteen widgets and the four fonts follow one pass.
void TestLayoutScaling::windowPass()
{
    QFETCH(QSize, window);
    MainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.resize(window);
    QTRY_COMPARE(MainWindowTestAccess::windowSize(w), window);
    w.repaint();
    QVERIFY(!MainWindowTestAccess::resizePending(w));

    Ui::MainWindow *ui = MainWindowTestAccess::ui(w);
    const Fit fit = fitToWindow(window);
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
                                MainWindowTestAccess::settingsLabel(w)};
    for (int i = 0; i < 14; ++i)
        QCOMPARE(widgets[i]->geometry(), scaledRect(DesignRects[i], fit));

    const int captionSize = scaledPointSize(15, fit.scaleFactor);
    QCOMPARE(MainWindowTestAccess::caption(w, 0)->font().pointSize(), captionSize);
    QCOMPARE(MainWindowTestAccess::caption(w, 2)->font().pointSize(), captionSize);
    QCOMPARE(ui->timelabel->font().pointSize(), captionSize);
    QCOMPARE(ui->footerlabel->font().pointSize(), scaledPointSize(11, fit.scaleFactor));
    QCOMPARE(ui->DigitalClock->timeDisplayFont().pointSize(), scaledPointSize(40, fit.scaleFactor));
    QCOMPARE(ui->DigitalClock->dateDisplayFont().pointSize(), scaledPointSize(24, fit.scaleFactor));
    // The time label takes the caption's family; the clock's fonts keep theirs.
    QCOMPARE(ui->timelabel->font().family(), MainWindowTestAccess::caption(w, 0)->font().family());
    QCOMPARE(ui->DigitalClock->timeDisplayFont().family(), QStringLiteral("DejaVu Sans"));
}

void TestLayoutScaling::severalResizesGiveOnePass()
{
    MainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.repaint();
    Ui::MainWindow *ui = MainWindowTestAccess::ui(w);
    ResizeCounter counter;
    ui->ProgLeft->installEventFilter(&counter);

    w.resize(1280, 1024);
    w.resize(1500, 900);
    w.resize(1920, 1080);
    QTRY_COMPARE(MainWindowTestAccess::windowSize(w), QSize(1920, 1080));
    QCOMPARE(counter.count, 0); // resizes only record
    w.repaint();
    QCOMPARE(ui->ProgLeft->geometry(), QRect(142, 135, 22, 772));
    QCOMPARE(counter.count, 2); // one move and one resize, from one pass
}

void TestLayoutScaling::paintWithoutResizeChangesNothing()
{
    MainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.resize(1920, 1080);
    QTRY_COMPARE(MainWindowTestAccess::windowSize(w), QSize(1920, 1080));
    w.repaint();
    Ui::MainWindow *ui = MainWindowTestAccess::ui(w);
    ResizeCounter counter;
    ui->ProgLeft->installEventFilter(&counter);
    const QFont timeFont = ui->DigitalClock->timeDisplayFont();

    w.update();
    w.repaint();
    QCOMPARE(counter.count, 0);
    QCOMPARE(ui->DigitalClock->timeDisplayFont(), timeFont);
    QVERIFY(!MainWindowTestAccess::resizePending(w));
}

QTEST_MAIN(TestLayoutScaling)
#include "tst_layoutscaling.moc"
