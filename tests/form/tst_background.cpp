#include <QtTest>

namespace {
// A dB scale: its two tick columns (x from, x to) and the rows of its numbered marks, +5 dB first, then 0 dB.
struct Scale
{
    const char *name;
    int leftFrom, leftTo, rightFrom, rightTo;
    QVector<int> rows;
};
const QVector<int> LargeRows = {75, 145, 182, 215, 256, 302, 341, 375, 404, 452, 486}; // +5, 0, -3 ... -50 dB
const Scale Scales[] = {{"prog", 67, 86, 121, 140, LargeRows},
                        {"sub", 223, 242, 277, 296, LargeRows},
                        {"crm", 853, 866, 891, 904, {200, 249, 327, 488}}}; // +5, 0, -10, -50 dB
} // namespace

// The committed artwork carries the display's marks where the layout expects them.
class BackgroundTest : public QObject
{
    Q_OBJECT
    const QImage background{":/resources/png/KolvaneBackground.png"};
    const QImage backdrop{":/resources/png/KolvaneBackgroundEmpty.png"};
    QRgb at(int x, int y) const { return background.pixel(x, y); }
    static bool isWhite(QRgb p) { return qRed(p) >= 235 && qGreen(p) >= 235 && qBlue(p) >= 235; }
    static bool isRed(QRgb p) { return qRed(p) >= 180 && qGreen(p) <= 80 && qBlue(p) <= 80; }
    static bool isBlack(QRgb p) { return qRed(p) <= 8 && qGreen(p) <= 8 && qBlue(p) <= 8; }
    int whiteRun(int row, int from, int to) const
    {
        int count = 0;
        for (int x = from; x <= to; ++x)
            count += isWhite(at(x, row));
        return count;
    }

private slots:
    void initTestCase()
    {
        QCOMPARE(background.size(), QSize(986, 580));
        QCOMPARE(backdrop.size(), QSize(1024, 580));
    }
    void ticks_data()
    {
        QTest::addColumn<int>("scale");
        QTest::addColumn<int>("row");
        for (int s = 0; s < 3; ++s)
            for (int row : Scales[s].rows)
                QTest::addRow("%s y %d", Scales[s].name, row) << s << row;
    }
    void ticks()
    {
        QFETCH(int, scale);
        QFETCH(int, row);
        const Scale &s = Scales[scale];
        // A long tick fills both columns on its row; two rows down it does not, so it is no white block.
        for (const auto &[from, to] : {std::pair(s.leftFrom, s.leftTo), {s.rightFrom, s.rightTo}}) {
            QCOMPARE(whiteRun(row, from, to), to - from + 1);
            QVERIFY(whiteRun(row + 2, from, to) < to - from + 1);
        }
    }
    void redBesideZeroToPlusFive()
    {
        constexpr int besideDistance = 5; // how far from a tick column a mark still counts as beside it
        for (const Scale &s : Scales) {
            for (int row = s.rows.first(); row <= s.rows.last(); ++row) {
                bool left = false, right = false;
                for (int d = 1; d <= besideDistance; ++d) {
                    left = left || isRed(at(s.leftTo + d, row));
                    right = right || isRed(at(s.rightFrom - d, row));
                }
                // Red on both sides all along from +5 to 0 dB, and none from a few rows below 0 dB down.
                if (row <= s.rows[1] || row > s.rows[1] + 2)
                    QVERIFY2(left == (row <= s.rows[1]) && right == left, qPrintable(QString::number(row)));
            }
        }
    }
    void clockDisc()
    {
        // A disc of diameter 410 filling the analog clock's square (x 348 to 757, y 85 to 494).
        int blackInRow = 0, blackInColumn = 0;
        for (int i = -220; i < 220; ++i) {
            blackInRow += isBlack(at(553 + i, 290));
            blackInColumn += isBlack(at(553, 290 + i));
        }
        QCOMPARE(blackInRow, 410);
        QCOMPARE(blackInColumn, 410);
        QVERIFY(!isBlack(at(358, 95)) && !isBlack(at(747, 484)));
    }
    void panelColour()
    {
        // Mean along the left edge, on the background and on the plain backdrop alike.
        for (const QImage *image : {&background, &backdrop}) {
            int red = 0, green = 0, blue = 0;
            for (int y = 0; y < image->height(); ++y) {
                const QRgb p = image->pixel(0, y);
                red += qRed(p), green += qGreen(p), blue += qBlue(p);
            }
            const QColor mean(red / image->height(), green / image->height(), blue / image->height());
            const int off = qAbs(mean.red() - 114) + qAbs(mean.green() - 112) + qAbs(mean.blue() - 111);
            QVERIFY2(off <= 12, qPrintable(mean.name()));
        }
    }
};

QTEST_MAIN(BackgroundTest)
#include "tst_background.moc"
