// The meter's pixels: every bar length looks exactly as recorded, a bar moved by the release and
// repainted in part looks as if painted whole, and at any device pixel ratio every edge lies on a
// whole device pixel. Also registered at one and a half device pixels to the logical pixel.

#include "zelppmmeter.h"

#include <QBackingStore>
#include <QCryptographicHash>
#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>

namespace {

// Gradient background, gradient bar: the main window shows both; the other modes as switched.
using Mode = std::pair<bool, bool>;
const Mode gradients{true, true}, solid{false, false};
const QColor translucentRed(255, 0, 0, 150), translucentGreen(0, 255, 0, 100);

void setUp(ZelPPMMeter &meter, const QSize &size, const Mode &mode, bool translucent)
{
    meter.resize(size);
    meter.setGradientBackground(mode.first);
    meter.setGradientForground(mode.second);
    if (translucent) {
        meter.setMaxColor(translucentRed);
        meter.setMinColor(translucentGreen);
    }
}

QImage render(QWidget &widget, qreal devicePixelRatio = 1)
{
    QImage image(widget.size() * devicePixelRatio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::blue); // a colour no fill of these tests has
    widget.render(&image);
    return image;
}

} // namespace

Q_DECLARE_METATYPE(Mode)

class TestMeterPixels : public QObject
{
    Q_OBJECT

private slots:
    // Hashes recorded from the meter as first shipped; a changed hash means a changed picture.
    // Gradient colours depend on where in the window a meter sits, so each is painted in its place.
    void everyBarLength_data()
    {
        QTest::addColumn<QRect>("place");
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<bool>("translucent");
        QTest::addColumn<QByteArray>("hash");
        const QRect origin(0, 0, 12, 415), progLeft(54, 73, 12, 415), crmLeft(844, 199, 8, 291);
        // At 1920 x 1080.
        const QRect progLeftHd(142, 135, 22, 772), crmLeftHd(1613, 370, 14, 541);
        QTest::newRow("12x415 at the origin")
            << origin << gradients << false << QByteArray("3b8a67ce8bdec16e");
        QTest::newRow("12x415 gradients") << progLeft << gradients << false << QByteArray("1b5c03df26e41c4d");
        QTest::newRow("12x415 solid") << progLeft << solid << false << QByteArray("2e42d1f065020676");
        QTest::newRow("12x415 gradient bar")
            << progLeft << Mode(false, true) << false << QByteArray("bba7ede95e6a0a30");
        QTest::newRow("12x415 gradient background")
            << progLeft << Mode(true, false) << false << QByteArray("2fb931ad0e5b7c06");
        // The background shows through a translucent bar.
        QTest::newRow("12x415 gradients, translucent")
            << progLeft << gradients << true << QByteArray("46bb8ff7510abcfb");
        QTest::newRow("12x415 solid, translucent")
            << progLeft << solid << true << QByteArray("c55e667ec91d8809");
        QTest::newRow("8x291 gradients") << crmLeft << gradients << false << QByteArray("ae64aa9c1f74ecf9");
        QTest::newRow("8x291 solid") << crmLeft << solid << false << QByteArray("819876d2657b863b");
        QTest::newRow("22x772 gradients")
            << progLeftHd << gradients << false << QByteArray("8b081f18f0cc70d7");
        QTest::newRow("22x772 solid") << progLeftHd << solid << false << QByteArray("b48a42b58ff156eb");
        QTest::newRow("14x541 gradients")
            << crmLeftHd << gradients << false << QByteArray("400bb1e437a2b424");
        QTest::newRow("14x541 solid") << crmLeftHd << solid << false << QByteArray("e3df7543c5e89804");
    }
    void everyBarLength()
    {
        QFETCH(QRect, place);
        QFETCH(Mode, mode);
        QFETCH(bool, translucent);
        QFETCH(QByteArray, hash);
        if (qApp->devicePixelRatio() != 1)
            QSKIP("recorded at one device pixel to the logical pixel");
        ZelPPMMeter meter;
        setUp(meter, place.size(), mode, translucent);
        QImage window(place.right() + 1, place.bottom() + 1, QImage::Format_ARGB32_Premultiplied);
        QCryptographicHash pictures(QCryptographicHash::Sha1);
        int lengths = 0;
        // Steps far finer than a pixel, so that every length from empty to full is painted once.
        for (int step = 0; step <= 20000; ++step) {
            meter.setRawdBPosition(-50.0 + 55.0 * step / 20000);
            if (!meter.calcPosition() && step > 0)
                continue;
            QPainter(&window).fillRect(place, Qt::blue); // a colour no fill of these tests has
            meter.render(&window, place.topLeft());
            const QImage image = window.copy(place);
            pictures.addData(reinterpret_cast<const char *>(image.constBits()), int(image.sizeInBytes()));
            ++lengths;
        }
        QCOMPARE(lengths, place.height() + 1);
        QCOMPARE(pictures.result().toHex().left(16), hash);
    }

    // The release repaints only what a move changed; on screen that must equal a whole repaint.
    void partRepaintsMatchWholeOnes_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<bool>("translucent");
        QTest::newRow("12x415 gradients") << QSize(12, 415) << gradients << false;
        QTest::newRow("12x415 solid") << QSize(12, 415) << solid << false;
        QTest::newRow("22x772 gradients") << QSize(22, 772) << gradients << false;
        QTest::newRow("14x541 gradient bar") << QSize(14, 541) << Mode(false, true) << false;
        // Translucent fills paint the overlap of the solid and gradient bar parts twice.
        QTest::newRow("8x291 gradients, translucent") << QSize(8, 291) << gradients << true;
        QTest::newRow("8x290 solid, translucent") << QSize(8, 290) << solid << true;
    }
    void partRepaintsMatchWholeOnes()
    {
        QFETCH(QSize, size);
        QFETCH(Mode, mode);
        QFETCH(bool, translucent);
        ZelPPMMeter meter;
        setUp(meter, size, mode, translucent);
        meter.show();
        QVERIFY(QTest::qWaitForWindowExposed(&meter));
        QCoreApplication::processEvents();

        // Programme-like: rises to random peaks, falls in steps, now and then drops to the floor.
        QRandomGenerator random(15);
        double level = -50;
        for (int step = 0; step < 400; ++step) {
            const int kind = random.bounded(10);
            level = kind == 0 ? -50 : kind < 3 ? -50 + random.bounded(55.0) : level - random.bounded(2.0);
            if (step == 200)
                meter.setDINCurve(false); // repaints at once; 0 dB moves with the next calcPosition()
            meter.setRawdBPosition(level);
            if (!meter.calcPosition())
                continue;
            meter.updateChangedArea();
            QCoreApplication::processEvents();
            const auto screen = dynamic_cast<const QImage *>(meter.backingStore()->paintDevice());
            QVERIFY(screen);
            const QImage whole = meter.grab().toImage().convertToFormat(screen->format());
            QVERIFY2(screen->copy(QRect(QPoint(0, 0), whole.size())) == whole,
                     qPrintable(QString("step %1, bar length %2").arg(step).arg(meter.barLength())));
            level = meter.dBPosition();
        }
    }

    // No soft edges: in each device row every pixel has the same colour, either a bar colour
    // (red + green = 255) or a background colour (red + green = 64), never a blend of the two.
    void wholeDevicePixels_data()
    {
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<Mode>("mode");
        for (const qreal ratio : {1.25, 1.5, 1.75, 2.0}) {
            QTest::addRow("%g gradients", ratio) << ratio << gradients;
            QTest::addRow("%g solid", ratio) << ratio << solid;
        }
    }
    void wholeDevicePixels()
    {
        QFETCH(qreal, ratio);
        QFETCH(Mode, mode);
        ZelPPMMeter meter;
        setUp(meter, QSize(13, 415), mode, false);
        for (const double level : {-50.0, -31.7, -12.1, -0.5, 0.0, 2.9, 5.0}) {
            meter.setRawdBPosition(level);
            meter.calcPosition();
            const QImage image = render(meter, ratio);
            int softRow = -1;
            for (int y = 0; y < image.height() && softRow < 0; ++y) {
                const QRgb *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
                const int redGreen = qRed(row[0]) + qGreen(row[0]);
                if (!(qAbs(redGreen - 64) <= 1 || redGreen >= 254) ||
                    std::count(row, row + image.width(), row[0]) != image.width())
                    softRow = y;
            }
            QVERIFY2(softRow < 0, qPrintable(QString("level %1, row %2").arg(level).arg(softRow)));
        }
    }
};

QTEST_MAIN(TestMeterPixels)
#include "tst_meterpixels.moc"
