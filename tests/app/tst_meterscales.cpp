// The meter scales in the window: each bar ends on its scale's drawn mark at the design size and at
// 1920 x 1080, linear scales space equal steps equally, the release falls at each scale's return
// time, the over lamp lights above the top, and the settings file and the display options choose
// the scale, at once. That DIN's marks give way to another scale's is seen in the system test.
#include "mainwindowtestaccess.h"

#include "displaymenu.h"
#include "layoutscaling.h"
#include "tempsettings.h"
#include "walldisplay.h"
#include "zelppmmeter.h"

#include <QtTest>
#include <QtWidgets>

namespace {

// Alignment in the frames' dB; the scales label it 4, TEST or -18 dBFS.
constexpr double Al = -9.0;
// Inside the programme meters' left tick column, where every long and no short tick reaches.
constexpr int TickColumnX = 79;
// DIN's marks are in the committed artwork, where the layout fixes them up to 2 rows from the bar's end.
constexpr int DinRowsOff = 2;

// The centre row of the white tick within 6 rows of `around`, or -1.
int tickRow(const QImage &image, int x, int around)
{
    int first = -1, last = -1;
    for (int y = around - 6; y <= around + 6; ++y)
        if (qGray(image.pixel(x, y)) >= 200)
            last = y, first = first < 0 ? y : first;
    return first < 0 ? -1 : (first + last) / 2;
}

// A window on the scale with the over lamps on and the link watch off: only the test moves levels.
struct Window
{
    Window(const QString &scale, const QSize &size)
    {
        QSettings store = TempSettings::store();
        store.setValue("meter_scale", scale);
        store.setValue("signal_timeout_ms", 0);
        store.setValue("over_indicator", true);
        store.sync();
        w.reset(new MainWindow);
        MainWindowTestAccess::releaseTimer(*w)->stop();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->resize(size);
        QTRY_COMPARE(MainWindowTestAccess::windowSize(*w), size);
        w->repaint();
    }
    ZelPPMMeter *progLeft() { return MainWindowTestAccess::ui(*w)->ProgLeft; }
    void tickTo(double level) // one release tick towards the level
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
    void initTestCase() { TempSettings::useApplicationNames(); }
    void eachScale_data();
    void eachScale();
    void chosenInTheFileAndTheDialog();

private:
    TempSettings settings;
};

// In the frames' dB: levels of marks, the top first (AL - 12, AL and AL + 12 where the scale marks
// them, its nearest numbered marks otherwise, and its ends); a range linear in dB; the return, a
// fall of so many dB in so many seconds from the scale's permitted maximum (EBU's from its top, as
// 24 dB below its maximum lie under its bottom).
void TestMeterScales::eachScale_data()
{
    using Levels = QVector<double>;
    QTest::addColumn<QString>("scale");
    QTest::addColumn<Levels>("marks");
    QTest::addColumn<Levels>("linear");
    QTest::addColumn<Levels>("fall"); // from, dB, seconds
    QTest::newRow("din") << "din" << Levels{5, 0, -10, -20, -50} << Levels{} << Levels{0, 20, 1.5};
    QTest::newRow("nordic") << "nordic" << Levels{Al + 9, Al, Al - 12, Al - 36} << Levels{Al - 36, Al + 9}
                            << Levels{Al + 9, 20, 1.7};
    QTest::newRow("bbc 7, 6, 4, 2, 1") << "bbc" << Levels{Al + 12, Al + 8, Al, Al - 8, Al - 14}
                                       << Levels{Al - 8, Al + 12} << Levels{Al + 8, 24, 2.8};
    QTest::newRow("ebu") << "ebu" << Levels{Al + 12, Al + 8, Al, Al - 12} << Levels{Al - 12, Al + 12}
                         << Levels{Al + 12, 24, 2.8};
    QTest::newRow("dbfs 0, -6, -18, -30, -60") << "dbfs" << Levels{Al + 18, Al + 12, Al, Al - 12, -50}
                                               << Levels{Al - 2, Al + 18} << Levels{Al + 9, 20, 1.7};
}

void TestMeterScales::eachScale()
{
    QFETCH(QString, scale);
    QFETCH(QVector<double>, marks);
    QFETCH(QVector<double>, linear);
    QFETCH(QVector<double>, fall);
    for (const QSize &size : {QSize(1920, 1080), QSize(986, 580)}) {
        Window window(scale, size);
        ZelPPMMeter *meter = window.progLeft();
        const QImage image = window.background();
        const LayoutScaling::Fit fit = LayoutScaling::fitToWindow(size);
        const int x = int(TickColumnX * fit.scaleFactor) + fit.offsetX;
        // DIN's artwork is scaled as a whole, its rows with it.
        const int tolerance = scale == "din" ? int(std::ceil(DinRowsOff * fit.scaleFactor)) : 1;
        for (auto level = marks.rbegin(); level != marks.rend(); ++level) { // rising, in single ticks
            window.tickTo(*level);
            const int barTop = meter->y() + meter->height() - meter->barLength(),
                      row = tickRow(image, x, barTop);
            QVERIFY2(
                row >= 0 && std::abs(row - barTop) <= tolerance,
                qPrintable(
                    QString("%1 dB: the bar to row %2, the mark on %3").arg(*level).arg(barTop).arg(row)));
        }
        if (fit.scaleFactor != 1.0f)
            continue;

        QVector<int> lengths; // in 1 dB steps up from the floor: equal, give or take a pixel of truncation
        meter->setRawdBPosition(-50.0);
        for (double level = linear.value(0); level <= linear.value(1) && !linear.isEmpty(); ++level)
            window.tickTo(level), lengths << meter->barLength();
        for (int i = 2; i < lengths.size(); ++i)
            QVERIFY2(std::abs(lengths[i] - lengths[i - 1] - lengths[1] + lengths[0]) <= 1 &&
                         lengths[i] > lengths[i - 1],
                     qPrintable(QString("%1 dB").arg(linear[0] + i)));

        window.tickTo(marks.first() - 0.5); // the top
        QVERIFY(!meter->overLit());
        window.tickTo(marks.first() + 0.5);
        QVERIFY(meter->overLit());
        meter->setRawdBPosition(fall[0]);
        int ticks = 0;
        while (meter->dBPosition() > fall[0] - fall[1] + 1e-4 && ticks < 10000)
            window.tickTo(-50.0), ++ticks;
        const double seconds = ticks * MainWindowTestAccess::releaseTimer(*window.w)->interval() / 1000.0;
        QVERIFY2(std::abs(seconds - fall[2]) <= 0.05 * fall[2], qPrintable(QString("%1 s").arg(seconds)));
    }
}

// The key in any case gives its scale, anything else DIN; a store without the key keeps it absent.
// EBU chosen in the display options moves the bars, the fall and the marks at once.
void TestMeterScales::chosenInTheFileAndTheDialog()
{
    const QList<std::tuple<QVariant, MeterScale::Id, QVariant>> stored = {
        {QVariant(), MeterScale::Din, QVariant()},
        {" BBC", MeterScale::Bbc, "bbc"},
        {QStringList{"ebu", "dbfs"}, MeterScale::Din, "din"}};
    for (const auto &[value, id, written] : stored) {
        value.isValid() ? TempSettings::store().setValue("meter_scale", value)
                        : TempSettings::store().remove("meter_scale");
        QCOMPARE(MainWindowTestAccess::ui(*std::make_unique<MainWindow>())->CrmRight->scale(), id);
        QCOMPARE(TempSettings::store().value("meter_scale"), written);
    }

    Window window("din", QSize(986, 580));
    const QImage din = window.background();
    window.tickTo(Al);
    QTimer::singleShot(0, [] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        dialog->findChild<QComboBox *>("comboBox_scale")->setCurrentIndex(MeterScale::Ebu);
        QTest::mouseClick(dialog->findChild<QPushButton *>("pushButton_ok"), Qt::LeftButton);
    });
    window.w->findChild<WallDisplay *>()->menu()->displayOptions->trigger();
    QCOMPARE(window.progLeft()->barLength(), 415 / 2); // TEST is the middle of the EBU scale
    window.w->repaint();
    QVERIFY(window.background() != din);
    window.tickTo(-50.0);
    QVERIFY(qAbs(window.progLeft()->dBPosition() - (Al - 0.24 / 2.8)) < 1e-4); // 24 dB in 2.8 s
}

QTEST_MAIN(TestMeterScales)
#include "tst_meterscales.moc"
