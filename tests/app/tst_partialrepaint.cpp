// The window repaints only what changes: after each new second and each move of the meters, what it
// shows equals a whole repaint of the same state, at the design size and on a 3840 x 2160 wall; and its
// background, kept as runs of pixels, paints as the picture it was made from.
#include "fakeclock.h"
#include "mainwindowtestaccess.h"
#include "rowrunimage.h"
#include "tempsettings.h"
#include "timesync.h"

#include <QtTest>
#include <QtWidgets>

#include <cmath>

using Access = MainWindowTestAccess;

// Day and month names in one language whatever the machine's locale; set before the application starts.
[[maybe_unused]] static const bool cLocale = qputenv("LC_ALL", "C");

// The window's size, the time of day, the pixel shift on (a step of it at second 4), the hashes.
using Row = std::tuple<QSize, QTime, bool, QByteArray>;
Q_DECLARE_METATYPE(Row)

class TestPartialRepaint : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each row runs through twelve seconds from its time of day, with a step of the clock; the hash is of
    // every whole picture, as recorded when the window repainted each clock whole every second.
    void sameAsWholeRepaint_data()
    {
        // The hashes with Qt 5 and with Qt 6 (which draws some parts a little otherwise).
        QTest::addColumn<Row>("row");
        QTest::newRow("design, a new hour")
            << Row{{986, 580}, {9, 59, 53}, false, "e4e7d91b1c1d4747 dfc0e023542688c5"};
        QTest::newRow("4K, a new day")
            << Row{{3840, 2160}, {23, 59, 55}, false, "3336acf3f75bc202 40630e0f26bb436c"};
        QTest::newRow("4K, afternoon")
            << Row{{3840, 2160}, {17, 41, 7}, false, "ac753bde170a06c7 ebbed89c87da32fd"};
        QTest::newRow("4K, shifted") << Row{
            {3840, 2160}, {6, 30, 0}, true, "0b945d729c2fe9e9 98dc7c31a613e478"};
    }
    void sameAsWholeRepaint()
    {
        QFETCH(Row, row);
        const auto &[size, time, shift, hash] = row;
        TempSettings settings;
        settings.write({{"pixel_shift", shift}});
        FakeClock fake(QDateTime(QDate(2026, 12, 5), time));
        MainWindow w;
        delete w.findChild<TimeSync *>(); // the machine's own clock must not light the lamp mid-test
        Access::timeSyncLamp(w)->setState(StatusLamp::State::Good);
        w.resize(size);
        QVERIFY(Access::shown(w));
        QCoreApplication::processEvents();
        Ui::MainWindow *ui = Access::ui(w);
        QRandomGenerator random(25);
        QCryptographicHash pictures(QCryptographicHash::Sha1);
        for (int second = 0; second < 12; ++second) {
            if (second == 3) { // as when a window above goes away: its lower edge crosses the tick at 0:08
                const int side = ui->AnalogClock->height(),
                          across = int(side / 200.0 * 94 * std::cos(0.8378));
                ui->AnalogClock->update(0, side / 2 - across, side, side);
                QCoreApplication::processEvents();
            }
            if (shift && second == 4)
                Access::wall(w)->shiftPicture();
            FakeClock::advanceMs(second == 6 ? 437000 : 1000); // the clock set forward once
            for (double &level : Access::targetLevels(w))
                level = -50 + random.bounded(55.0);
            for (int tick = 0; tick < 3; ++tick)
                Access::meterRelease(w);
            for (ZelPPMMeter *meter : w.findChildren<ZelPPMMeter *>())
                meter->updateChangedArea();
            ui->AnalogClock->checkTime();
            ui->DigitalClock->checkTime();
            QCoreApplication::processEvents();
            const auto screen = dynamic_cast<const QImage *>(w.backingStore()->paintDevice());
            QVERIFY(screen);
            const QImage whole = w.grab().toImage().convertToFormat(screen->format());
            QTRY_VERIFY2(screen->copy(w.rect()) == whole, qPrintable(ui->DigitalClock->timeText()));
            pictures.addData(reinterpret_cast<const char *>(whole.constBits()), int(whole.sizeInBytes()));
        }
        QCOMPARE(pictures.result().toHex().left(16), hash.split(' ').at(QT_VERSION_MAJOR - 5));
    }

    // Within the region exactly the picture, and nothing outside it.
    void runsPaintThePicture_data()
    {
        QTest::addColumn<QImage>("picture");
        QTest::addColumn<QRegion>("region");
        QImage noise(300, 40, QImage::Format_RGB888); // no two neighbours alike
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(noise.bits()), noise.sizeInBytes() / 4);
        QImage flat(700, 40, QImage::Format_RGB888); // runs longer than one word holds
        flat.fill(QColor(10, 20, 30));
        for (const int x : {1, 2, 300, 600, 620, 699})
            QPainter(&flat).fillRect(x, 0, 1, 40, QColor(200, 100, x % 256));
        QTest::newRow("noise, beyond its edges") << noise << QRegion(-5, -5, 400, 60);
        QTest::newRow("rows with a hole") << flat << (QRegion(0, 0, 700, 40) - QRegion(100, 5, 300, 20));
        QTest::newRow("pieces across runs") << flat << (QRegion(255, 3, 3, 30) + QRegion(500, 38, 199, 1));
        QTest::newRow("translucent") << noise.convertToFormat(QImage::Format_ARGB32) << QRegion(10, 0, 5, 19);
    }
    void runsPaintThePicture()
    {
        QFETCH(QImage, picture);
        QFETCH(QRegion, region);
        const QPoint at(3, 2);
        QImage expected(picture.size() + QSize(8, 8), QImage::Format_RGB32);
        expected.fill(Qt::magenta);
        QImage painted = expected.copy();
        QPainter expecting(&expected), painting(&painted);
        expecting.setClipRegion(region.translated(at));
        expecting.drawImage(at, picture);
        RowRunImage(picture).paint(painting, at, region.translated(at));
        QCOMPARE(painted, expected);
    }
};

QTEST_MAIN(TestPartialRepaint)
#include "tst_partialrepaint.moc"
