// The meter scales in the window: each bar ends on its scale's drawn mark at the design size and at
// 1920 x 1080, linear scales space equal steps equally, the release falls at each scale's return
// time, and the settings file and the display options choose the scale, at once.
#include "mainwindowtestaccess.h"

#include "displaymenu.h"
#include "layoutscaling.h"
#include "tempsettings.h"
#include "walldisplay.h"
#include "zelppmmeter.h"

#include <QtTest>
#include <QtWidgets>

namespace {

// Alignment in the frames' dB; the scales label it TEST, 4 or -18 dBFS.
constexpr double Al = -9.0;
// Inside the programme meters' left tick column, where every long and no short tick reaches.
constexpr int TickColumnX = 79;
// DIN's marks in the committed artwork, fixed by the layout up to 2 rows from the bar's end.
const int DinRows[] = {75, 145, 182, 215, 256, 302, 341, 375, 404, 452, 486};
constexpr int DinRowsOff = 2;

bool isWhite(QRgb p)
{
    return qRed(p) >= 200 && qGreen(p) >= 200 && qBlue(p) >= 200;
}

// The centre row of the white tick within 6 rows of `around`, or -1.
int tickRow(const QImage &image, int x, int around)
{
    int first = -1, last = -1;
    for (int y = around - 6; y <= around + 6; ++y)
        if (isWhite(image.pixel(x, y)))
            last = y, first = first < 0 ? y : first;
    return first < 0 ? -1 : (first + last) / 2;
}

// A window on the scale with the link watch off, so that only the test moves the levels.
struct Window
{
    explicit Window(const QString &scale, const QSize &size = QSize())
    {
        TempSettings::store().setValue("meter_scale", scale);
        TempSettings::store().setValue("signal_timeout_ms", 0);
        w.reset(new MainWindow);
        MainWindowTestAccess::releaseTimer(*w)->stop();
        if (!size.isValid())
            return;
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->resize(size);
        QTRY_COMPARE(MainWindowTestAccess::windowSize(*w), size);
        w->repaint();
    }
    ZelPPMMeter *progLeft() { return MainWindowTestAccess::ui(*w)->ProgLeft; }
    void tickTo(double level) // one release tick towards every meter's target
    {
        MainWindowTestAccess::targetLevels(*w).fill(level);
        MainWindowTestAccess::meterRelease(*w);
    }
    QImage background() // the window alone, without the widgets on it
    {
        QImage image(w->size(), QImage::Format_RGB32);
        w->render(&image, QPoint(), QRegion(w->rect()), QWidget::RenderFlags());
        return image;
    }
    std::unique_ptr<MainWindow> w;
};

} // namespace

class TestMeterScales : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        temp.reset(new TempSettings);
        TempSettings::useApplicationNames();
    }
    void cleanup() { temp.reset(); }
    void barEndsOnItsMark_data();
    void barEndsOnItsMark();
    void linearScalesSpaceStepsEqually_data();
    void linearScalesSpaceStepsEqually();
    void fallTakesTheReturnTime_data();
    void fallTakesTheReturnTime();
    void chosenInTheFileAndTheDialog();

private:
    QScopedPointer<TempSettings> temp;
};

// Levels in the frames' dB at AL - 12, AL and AL + 12 where the scale has marks there (its nearest
// numbered marks otherwise) and at the scale's ends.
void TestMeterScales::barEndsOnItsMark_data()
{
    QTest::addColumn<QString>("scale");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QVector<double>>("levels");
    const QVector<std::pair<const char *, QVector<double>>> scales = {
        {"din", {5, 0, -10, -20, -50}},                    // 5, 0, 10, 20, 50
        {"nordic", {Al + 9, Al, Al - 12, Al - 36}},        // +9, TEST, -12, -36
        {"bbc", {Al + 12, Al + 8, Al, Al - 8, Al - 14}},   // 7, 6, 4, 2, 1
        {"ebu", {Al + 12, Al + 8, Al, Al - 12}},           // +12, +8, TEST, -12
        {"dbfs", {Al + 18, Al + 12, Al, Al - 12, -50.0}}}; // 0, -6, -18, -30, -60 dBFS
    for (const auto &[scale, levels] : scales)
        for (const QSize &size : {QSize(986, 580), QSize(1920, 1080)})
            QTest::addRow("%s %dx%d", scale, size.width(), size.height()) << QString(scale) << size << levels;
}

void TestMeterScales::barEndsOnItsMark()
{
    QFETCH(QString, scale);
    QFETCH(QSize, size);
    QFETCH(QVector<double>, levels);
    Window window(scale, size);
    ZelPPMMeter *meter = window.progLeft();
    const QImage image = window.background();
    const LayoutScaling::Fit fit = LayoutScaling::fitToWindow(size);
    const int x = int(TickColumnX * fit.scaleFactor) + fit.offsetX;
    // DIN's artwork is scaled as a whole, its rows with it.
    const int tolerance = scale == "din" ? int(std::ceil(DinRowsOff * fit.scaleFactor)) : 1;
    QVector<int> markRows;
    std::sort(levels.begin(), levels.end()); // the bar rises at once, but falls step by step
    for (const double level : levels) {
        window.tickTo(level);
        const int barTop = meter->y() + meter->height() - meter->barLength();
        const int row = tickRow(image, x, barTop);
        QVERIFY2(
            row >= 0 && std::abs(row - barTop) <= tolerance,
            qPrintable(
                QString("%1 dB: the bar ends on row %2, the mark is on %3").arg(level).arg(barTop).arg(row)));
        markRows << row;
    }
    // DIN's own marks are gone where the scale has none.
    for (const int dinRow : DinRows)
        if (scale != "din" && size == QSize(986, 580) &&
            std::none_of(markRows.begin(), markRows.end(),
                         [&](int row) { return std::abs(row - dinRow) < 8; }))
            QVERIFY2(tickRow(image, x, dinRow) < 0 || std::abs(tickRow(image, x, dinRow) - dinRow) > 2,
                     qPrintable(QString("DIN's mark on row %1").arg(dinRow)));
}

// From the lower to the upper level in 1 dB steps, the bar grows by the same pixels (give or take
// the one of truncation) on a programme meter.
void TestMeterScales::linearScalesSpaceStepsEqually_data()
{
    QTest::addColumn<int>("scale");
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    QTest::newRow("nordic") << int(MeterScale::Nordic) << Al - 36 << Al + 9;
    QTest::newRow("bbc, marks 2 to 7") << int(MeterScale::Bbc) << Al - 8 << Al + 12;
    QTest::newRow("ebu") << int(MeterScale::Ebu) << Al - 12 << Al + 12;
    QTest::newRow("dbfs, -20 to 0 dBFS") << int(MeterScale::Dbfs) << Al - 2 << Al + 18;
}

void TestMeterScales::linearScalesSpaceStepsEqually()
{
    QFETCH(int, scale);
    QFETCH(double, lower);
    QFETCH(double, upper);
    ZelPPMMeter meter;
    meter.resize(12, 415);
    meter.setScale(MeterScale::Id(scale));
    QVector<int> lengths;
    for (double level = lower; level <= upper; level += 1.0) {
        meter.setRawdBPosition(level);
        meter.calcPosition();
        lengths << meter.barLength();
    }
    QVector<int> steps;
    for (int i = 1; i < lengths.size(); ++i)
        steps << lengths[i] - lengths[i - 1];
    const auto [shortest, longest] = std::minmax_element(steps.begin(), steps.end());
    QVERIFY2(*longest - *shortest <= 1 && *shortest > 0,
             qPrintable(QString("steps of %1 to %2 px").arg(*shortest).arg(*longest)));
    QCOMPARE(lengths.last(), 415);
}

// The return of each scale: a fall of so many dB from its permitted maximum (EBU's is 24 dB from
// the top, its whole scale) takes so long, counted in the release's own ticks. Then a level just
// below the top leaves the over lamp out, one just above lights it.
void TestMeterScales::fallTakesTheReturnTime_data()
{
    QTest::addColumn<QString>("scale");
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("top");
    QTest::addColumn<double>("fallDb");
    QTest::addColumn<double>("seconds");
    QTest::newRow("din") << "din" << 0.0 << 5.0 << 20.0 << 1.5;
    QTest::newRow("nordic") << "nordic" << Al + 9 << Al + 9 << 20.0 << 1.7;
    QTest::newRow("bbc") << "bbc" << Al + 8 << Al + 12 << 24.0 << 2.8;
    QTest::newRow("ebu") << "ebu" << Al + 12 << Al + 12 << 24.0 << 2.8;
    QTest::newRow("dbfs") << "dbfs" << Al + 9 << Al + 18 << 20.0 << 1.7;
}

void TestMeterScales::fallTakesTheReturnTime()
{
    QFETCH(QString, scale);
    QFETCH(double, from);
    QFETCH(double, top);
    QFETCH(double, fallDb);
    QFETCH(double, seconds);
    TempSettings::store().setValue("over_indicator", true);
    Window window(scale);
    ZelPPMMeter *meter = window.progLeft();
    window.tickTo(from);
    QCOMPARE(meter->dBPosition(), from);
    int ticks = 0;
    while (meter->dBPosition() > from - fallDb + 1e-4 && ticks < 10000) {
        window.tickTo(-50.0);
        ++ticks;
    }
    const double taken = ticks * MainWindowTestAccess::releaseTimer(*window.w)->interval() / 1000.0;
    QVERIFY2(std::abs(taken - seconds) <= 0.05 * seconds, qPrintable(QString("%1 s").arg(taken)));
    window.tickTo(top - 0.5);
    QVERIFY(!meter->overLit());
    window.tickTo(top + 0.5);
    QVERIFY(meter->overLit());
}

// The key in any case gives its scale and anything else DIN; a store without the key keeps it
// absent. Choosing EBU in the display options moves the bars, the fall and the marks at once.
void TestMeterScales::chosenInTheFileAndTheDialog()
{
    const QList<std::tuple<QVariant, MeterScale::Id, QVariant>> stored = {
        {QVariant(), MeterScale::Din, QVariant()},
        {" BBC", MeterScale::Bbc, "bbc"},
        {"nordic", MeterScale::Nordic, "nordic"},
        {"vu", MeterScale::Din, "din"},
        {42, MeterScale::Din, "din"},
        {QStringList{"ebu", "dbfs"}, MeterScale::Din, "din"}};
    for (const auto &[value, id, written] : stored) {
        if (value.isValid())
            TempSettings::store().setValue("meter_scale", value);
        {
            MainWindow w;
            QCOMPARE(MainWindowTestAccess::ui(w)->CrmRight->scale(), id);
        }
        QCOMPARE(TempSettings::store().value("meter_scale"), written);
    }

    Window window("din", QSize(986, 580));
    const QImage din = window.background();
    window.tickTo(Al);
    QTimer::singleShot(0, [] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->findChild<QComboBox *>("comboBox_scale")->setCurrentIndex(MeterScale::Ebu);
        QTest::mouseClick(dialog->findChild<QPushButton *>("pushButton_ok"), Qt::LeftButton);
    });
    window.w->findChild<WallDisplay *>()->menu()->displayOptions->trigger();
    ZelPPMMeter *meter = window.progLeft();
    QCOMPARE(meter->barLength(), 415 / 2); // TEST is the middle of the EBU scale
    window.w->repaint();
    QVERIFY(window.background() != din);
    window.tickTo(-50.0);
    QVERIFY(qAbs(meter->dBPosition() - (Al - 0.24 / 2.8)) < 1e-4); // 24 dB in 2.8 s, a tick of 10 ms
}

QTEST_MAIN(TestMeterScales)
#include "tst_meterscales.moc"
