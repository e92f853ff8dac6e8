#include "framestream.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

// Feeds reads into a FrameStream and keeps what came out, plus the largest buffer seen between reads.
struct FrameCollector
{
    FrameStream stream;
    QByteArrayList frames;
    int mostPending = 0;

    void feed(const QByteArrayList &reads)
    {
        for (const QByteArray &read : reads) {
            stream.feed(read, [this](const char *frame) { frames << QByteArray(frame, LevelFrame::Size); });
            mostPending = qMax(mostPending, stream.pendingBytes());
        }
    }
};

// Reads of pieceSize bytes, or of 0 to 48 bytes at random (empty reads included).
QByteArrayList cut(const QByteArray &bytes, int pieceSize, QRandomGenerator *random = nullptr)
{
    QByteArrayList pieces;
    for (int at = 0, size = 0; at < bytes.size(); at += size)
        pieces << bytes.mid(at, size = random ? int(random->bounded(49)) : pieceSize);
    return pieces;
}

// Every word byte is 0x60 to 0x9F: no marker, CR or LF, so no false frame can start inside.
QByteArray plainFrame(int i)
{
    const auto word = [i](int k) { return quint16((0x60 + i % 0x40) << 8 | (0x60 + (i * 6 + k) % 0x40)); };
    return LevelFrame::encode({word(0), word(1), word(2), word(3), word(4), word(5)});
}

constexpr int WholeLine = 1 << 30;
constexpr int RandomCuts = 0;
using List = QByteArrayList;

} // namespace

class TestFrameStream : public QObject
{
    Q_OBJECT

private slots:
    void decodesLevels_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QVector<double>>("levels");
        QTest::newRow("floor, zero, top") << QByteArray::fromHex("AAAA0000C350FFFF0000000000005555")
                                          << QVector<double>{-50.0, 0.0, 15.535, -50.0, -50.0, -50.0};
        QTest::newRow("thousandths") << LevelFrame::encode({1, 999, 49999, 50001, 54000, 0x1234})
                                     << QVector<double>{-49.999, -49.001, -0.001, 0.001, 4.0, -45.34};
    }

    void decodesLevels()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QVector<double>, levels);
        const LevelFrame::Levels decoded = LevelFrame::decode(frame.constData());
        // An absolute bound: near 0 dB a relative comparison is too strict for word / 1000.0 - 50.0.
        for (int k = 0; k < LevelFrame::LevelCount; ++k)
            QVERIFY2(qAbs(decoded[k] - levels[k]) < 1e-9, qPrintable(QString::number(decoded[k], 'g', 17)));
    }

    void decodesStream_data()
    {
        QTest::addColumn<QByteArrayList>("reads");
        QTest::addColumn<QByteArrayList>("frames");
        QTest::addColumn<int>("pending");
        const QByteArray a = plainFrame(1);
        const QByteArray b = plainFrame(2);
        const QByteArray lf = LevelFrame::encode({0x0D0A, 1, 2, 3, 4, 5});
        const QByteArray sent = lf.left(2) + '\r' + lf.mid(2); // the console's CR LF: AA AA 0D 0D 0A
        QTest::newRow("one read") << List{a} << List{a} << 0;
        QTest::newRow("10 + 10") << List{a.left(10), a.mid(10) + b.left(4)} << List{a} << 4;
        QTest::newRow("5 stale bytes") << List{a.left(5), b} << List{b} << 0;
        QTest::newRow("two frames in one read") << List{a + b} << List{a, b} << 0;
        QTest::newRow("held CR, empty read") << List{sent.left(4), {}, sent.mid(4)} << List{lf} << 0;
        QTest::newRow("LF without its CR, frame") << List{lf, b} << List{b} << 0;
        for (const int index : {0, 1, 14, 15}) {
            QByteArray broken = a;
            broken[index] = 0;
            QTest::addRow("wrong marker byte %d", index) << List{broken, b} << List{b} << 0;
        }
        const QByteArrayList frames = {a, b, plainFrame(3)};
        const auto afterGarbage = [&frames](const char *name, const QByteArray &garbage) {
            QTest::newRow(name) << List{garbage, frames.join()} << frames << 0;
        };
        afterGarbage("start markers, short", QByteArray::fromHex("AAAA0102"));
        afterGarbage("CR and LF", "\r\n\r\r\n\n");
        afterGarbage("1000 CRs", QByteArray(1000, '\r'));
        afterGarbage("1000 start markers", QByteArray(1000, char(0xAA)));
        afterGarbage("noise", QByteArray::fromHex("0123456789ABCDEF55AA5501FE").repeated(9));
        afterGarbage("frames failing at the last byte",
                     (QByteArray::fromHex("AAAA") + QByteArray(12, '\x01') + "\x55\x01").repeated(60));
        for (int offset = 1; offset < LevelFrame::Size; ++offset)
            QTest::addRow("start at byte %d", offset) << List{a.mid(offset) + frames.join()} << frames << 0;
    }

    // However the reads are cut, the same frames come out and the same bytes wait.
    void decodesStream()
    {
        QFETCH(QByteArrayList, reads);
        QFETCH(QByteArrayList, frames);
        QFETCH(int, pending);
        for (const QByteArrayList &cutting : {reads, cut(reads.join(), 1), cut(reads.join(), 7)}) {
            FrameCollector collector;
            collector.feed(cutting);
            QCOMPARE(collector.frames, frames);
            QCOMPARE(collector.stream.pendingBytes(), pending);
            QVERIFY2(collector.mostPending <= 15, qPrintable(QString::number(collector.mostPending)));
        }
    }

    void decodesEveryEmbeddedFrameInOrder_data()
    {
        QTest::addColumn<int>("pieceSize");
        QTest::newRow("random reads") << RandomCuts;
        QTest::newRow("one read") << WholeLine;
        for (const int size : {1, 2, 3, 5, 8, 15, 16, 17, 33})
            QTest::addRow("%d bytes per read", size) << size;
    }

    // Runs of random frames with runs of one garbage byte between them (never 0xAA, so no false
    // frame can start in them), CR LF translated, cut into reads.
    void decodesEveryEmbeddedFrameInOrder()
    {
        QFETCH(int, pieceSize);
        QRandomGenerator random(20240607);
        // Half the words hold CR, LF or marker bytes, so the line's awkward runs are common.
        const quint16 awkward[] = {0x0D0A, 0x0D0D, 0x0A0D, 0x0A0A, 0xAA55, 0x55AA, 0x0DAA, 0x550A};
        QByteArrayList embedded;
        QByteArray stream;
        while (embedded.size() < 5000) {
            stream.append(QByteArray(random.bounded(41), char(random.bounded(0xAA))));
            for (int run = 1 + random.bounded(40); run > 0; --run) {
                LevelFrame::Words words{};
                for (quint16 &word : words)
                    word = random.bounded(2) ? awkward[random.bounded(8)] : quint16(random.bounded(65536));
                embedded.append(LevelFrame::encode(words));
                stream.append(embedded.constLast());
            }
        }
        // The console's line discipline sends every LF as CR LF; one CR before each LF undoes it.
        QByteArray line = QByteArray(stream).replace('\n', "\r\n");
        FrameCollector collector;
        collector.feed(cut(line, pieceSize, pieceSize == RandomCuts ? &random : nullptr));
        FrameStream::removeCarriageReturns(line);
        QCOMPARE(line, stream);
        QCOMPARE(collector.frames, embedded);
        QVERIFY(collector.mostPending <= 15);
    }
};

QTEST_APPLESS_MAIN(TestFrameStream)
#include "tst_framestream.moc"
