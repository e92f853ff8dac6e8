#include "framecheck.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

// Frames whose words hold the line's special bytes: LF, CR, CR LF, LF CR and the markers' values.
QVector<QByteArray> awkwardFrames(int count)
{
    const quint16 words[] = {0x0D0A, 0x0A0D, 0x0A0A, 0x0D0D, 0xAAAA, 0x5555, 0x000A, 0x0D00, 50000, 0};
    const int wordCount = int(sizeof words / sizeof words[0]);
    QVector<QByteArray> frames;
    for (int i = 0; i < count; ++i) {
        LevelFrame::Words frameWords{};
        for (int k = 0; k < LevelFrame::LevelCount; ++k)
            frameWords[k] = words[(i + 3 * k) % wordCount];
        frames.append(LevelFrame::encode(frameWords));
    }
    return frames;
}

// Plain frames: every word byte is 0x60 to 0x9F, so none is a marker, a CR or an LF and no byte of
// them can start a frame.
QByteArray plainFrame(int i)
{
    const auto safeByte = [](int x) { return quint16(0x60 + x % 0x40); };
    LevelFrame::Words words{};
    for (int k = 0; k < LevelFrame::LevelCount; ++k)
        words[k] = quint16(safeByte(i) << 8 | safeByte(i * LevelFrame::LevelCount + k));
    return LevelFrame::encode(words);
}

QByteArray joined(const QVector<QByteArray> &parts)
{
    QByteArray all;
    for (const QByteArray &part : parts)
        all.append(part);
    return all;
}

void feedInPieces(FrameCollector &collector, const QByteArray &bytes, int pieceSize)
{
    if (pieceSize <= 0) {
        collector.feed(bytes);
        return;
    }
    for (int at = 0; at < bytes.size(); at += pieceSize)
        collector.feed(bytes.mid(at, pieceSize));
}

} // namespace

class TestFrameStream : public QObject
{
    Q_OBJECT

private slots:
    void decodesLevels_data();
    void decodesLevels();
    void removesOneCarriageReturnPerLineFeed_data();
    void removesOneCarriageReturnPerLineFeed();
    void reassemblesWhateverTheCutting_data();
    void reassemblesWhateverTheCutting();
    void pairsCarriageReturnAcrossReads();
    void keepsCarriageReturnNotFollowedByLineFeed();
    void resynchronisesAfterGarbage_data();
    void resynchronisesAfterGarbage();
    void locksOnAfterMidFrameStart();
    void tenAndTenBytesYieldTheFrame();
    void decodesFrameAfterStaleBytes();
    void decodesTwoFramesInOneRead();
    void decodesOneRead();
    void gathersTwoHalves();
    void emptyReadChangesNothing();
    void wrongMarkersYieldNothing_data();
    void wrongMarkersYieldNothing();
    void crLfInsideAFrameAsSentOrAsCorrupted();
    void decodesEveryEmbeddedFrameInOrder_data();
    void decodesEveryEmbeddedFrameInOrder();
    void buffersAtMostFifteenBytes_data();
    void buffersAtMostFifteenBytes();
};

void TestFrameStream::decodesLevels_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QVector<double>>("levels");
    QTest::newRow("floor, zero, top")
        << QByteArray::fromHex("AA AA 00 00 C3 50 FF FF 00 00 00 00 00 00 55 55")
        << QVector<double>{-50.0, 0.0, 15.535, -50.0, -50.0, -50.0};
    QTest::newRow("thousandths") << frameOf(1, 999, 49999, 50001, 54000, 65534)
                                 << QVector<double>{-49.999, -49.001, -0.001, 0.001, 4.0, 15.534};
    QTest::newRow("big-endian words") << frameOf(0x0100, 0x00FF, 0x1234, 30000, 0x8000, 12345)
                                      << QVector<double>{-49.744, -49.745, -45.34, -20.0, -17.232, -37.655};
}

void TestFrameStream::decodesLevels()
{
    QFETCH(QByteArray, frame);
    QFETCH(QVector<double>, levels);
    FrameCollector collector;
    collector.feed(frame);
    QCOMPARE(collector.frames.size(), 1);
    const LevelFrame::Levels decoded = LevelFrame::decode(collector.frames.at(0).constData());
    // Near 0 dB a relative comparison would be too strict for word / 1000.0 - 50.0.
    for (int k = 0; k < LevelFrame::LevelCount; ++k)
        QVERIFY2(qAbs(decoded[k] - levels.at(k)) < 1e-9, qPrintable(QString::number(decoded[k], 'g', 17)));
}

void TestFrameStream::removesOneCarriageReturnPerLineFeed_data()
{
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("CR LF") << QByteArray("\r\n") << QByteArray("\n");
    QTest::newRow("CR CR LF") << QByteArray("\r\r\n") << QByteArray("\r\n");
    QTest::newRow("CR LF CR LF") << QByteArray("\r\n\r\n") << QByteArray("\n\n");
    QTest::newRow("LF first") << QByteArray("\nab") << QByteArray("\nab");
    QTest::newRow("CR last") << QByteArray("ab\r") << QByteArray("ab\r");
    QTest::newRow("LF CR") << QByteArray("\n\r") << QByteArray("\n\r");
    QTest::newRow("CR LF LF") << QByteArray("\r\n\n") << QByteArray("\n\n");
    QTest::newRow("between bytes") << QByteArray("a\r\nb\rc") << QByteArray("a\nb\rc");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestFrameStream::removesOneCarriageReturnPerLineFeed()
{
    QFETCH(QByteArray, chunk);
    QFETCH(QByteArray, expected);
    FrameStream::removeCarriageReturns(chunk);
    QCOMPARE(chunk, expected);
}

void TestFrameStream::reassemblesWhateverTheCutting_data()
{
    QTest::addColumn<int>("pieceSize");
    for (const int size : {1, 2, 3, 5, 7, 8, 15, 16, 17, 18, 31, 32, 33, 100})
        QTest::addRow("%d bytes per read", size) << size;
    QTest::newRow("one read") << 0;
}

void TestFrameStream::reassemblesWhateverTheCutting()
{
    QFETCH(int, pieceSize);
    const QVector<QByteArray> frames = awkwardFrames(40);
    FrameCollector collector;
    feedInPieces(collector, withCrBeforeLf(joined(frames)), pieceSize);
    QCOMPARE(collector.frames, frames);
    QVERIFY(collector.mostPending <= 15);
    QCOMPARE(collector.stream.pendingBytes(), 0);
    QVERIFY(!collector.stream.holdsCarriageReturn());
}

// Every place a read boundary can fall, including between a CR and its LF.
void TestFrameStream::pairsCarriageReturnAcrossReads()
{
    const QVector<QByteArray> frames = {frameOf(0x0D0A, 0x0D0D, 0x0A0A, 0x0A0D, 0x0D0A, 0x0A0D),
                                        frameOf(0x000D, 0x0A00, 0x0D0A, 0, 0, 0x0A0A)};
    const QByteArray line = withCrBeforeLf(joined(frames));
    for (int cut = 0; cut <= line.size(); ++cut) {
        FrameCollector collector;
        collector.feed(line.left(cut));
        collector.feed(line.mid(cut));
        QVERIFY2(collector.frames == frames, qPrintable(QStringLiteral("cut after byte %1").arg(cut)));
    }

    // The pair 0D 0A of a word arrives as 0D 0D 0A; a read ending in the middle holds the CR back.
    FrameCollector collector;
    const QByteArray first = line.left(3); // AA AA 0D
    collector.feed(first);
    QVERIFY(collector.stream.holdsCarriageReturn());
    QCOMPARE(collector.stream.pendingBytes(), 2);
    collector.feed(line.mid(3, 1)); // the second CR: the first one was no pair
    QVERIFY(collector.stream.holdsCarriageReturn());
    QCOMPARE(collector.stream.pendingBytes(), 3);
    collector.feed(line.mid(4));
    QCOMPARE(collector.frames, frames);
}

void TestFrameStream::keepsCarriageReturnNotFollowedByLineFeed()
{
    const QByteArray frame = frameOf(0x0D00, 0x0D0D, 0xD0D0, 0x000D, 0x0DAA, 0x550D);
    FrameCollector collector;
    for (int at = 0; at < frame.size(); ++at)
        collector.feed(frame.mid(at, 1));
    QCOMPARE(collector.frames, QVector<QByteArray>{frame});
}

void TestFrameStream::resynchronisesAfterGarbage_data()
{
    QTest::addColumn<QByteArray>("garbage");
    QTest::newRow("zeros") << QByteArray(7, '\0');
    QTest::newRow("one start marker") << QByteArray::fromHex("AA");
    QTest::newRow("start markers, short") << QByteArray::fromHex("AAAA0102");
    QTest::newRow("end markers") << QByteArray::fromHex("555555");
    QTest::newRow("frame without its last byte") << plainFrame(99).left(15);
    QTest::newRow("frame without its first byte") << plainFrame(98).mid(1);
    QTest::newRow("CR and LF") << QByteArray("\r\n\r\r\n\n");
    QTest::newRow("long noise") << QByteArray::fromHex("0123456789ABCDEF55AA5501FE").repeated(9);
}

void TestFrameStream::resynchronisesAfterGarbage()
{
    QFETCH(QByteArray, garbage);
    const QVector<QByteArray> frames = {plainFrame(1), plainFrame(2), plainFrame(3)};
    const QByteArray line = withCrBeforeLf(garbage + joined(frames));
    for (const int pieceSize : {0, 1, 5}) {
        FrameCollector collector;
        feedInPieces(collector, line, pieceSize);
        QCOMPARE(collector.frames, frames);
        QVERIFY(collector.mostPending <= 15);
    }
}

void TestFrameStream::locksOnAfterMidFrameStart()
{
    const QVector<QByteArray> frames = {plainFrame(1), plainFrame(2), plainFrame(3)};
    for (int offset = 1; offset < LevelFrame::Size; ++offset) {
        FrameCollector collector;
        feedInPieces(collector, plainFrame(0).mid(offset) + joined(frames), 4);
        QVERIFY2(collector.frames == frames, qPrintable(QStringLiteral("start at byte %1").arg(offset)));
    }
}

void TestFrameStream::tenAndTenBytesYieldTheFrame()
{
    const QByteArray a = plainFrame(1);
    const QByteArray b = plainFrame(2);
    FrameCollector collector;
    collector.feed(a.left(10));
    QVERIFY(collector.frames.isEmpty());
    QCOMPARE(collector.stream.pendingBytes(), 10);
    collector.feed(a.mid(10) + b.left(4));
    QCOMPARE(collector.frames, QVector<QByteArray>{a});
    QCOMPARE(collector.stream.pendingBytes(), 4);
    collector.feed(b.mid(4));
    QCOMPARE(collector.frames, (QVector<QByteArray>{a, b}));
    QCOMPARE(collector.stream.pendingBytes(), 0);
}

void TestFrameStream::decodesFrameAfterStaleBytes()
{
    FrameCollector collector;
    collector.feed(plainFrame(1).left(5)); // an interrupted frame
    QCOMPARE(collector.stream.pendingBytes(), 5);
    const QByteArray frame = plainFrame(2);
    collector.feed(frame);
    QCOMPARE(collector.frames, QVector<QByteArray>{frame});
    QCOMPARE(collector.stream.pendingBytes(), 0);
}

void TestFrameStream::decodesTwoFramesInOneRead()
{
    const QVector<QByteArray> frames = {plainFrame(1), plainFrame(2)};
    FrameCollector collector;
    collector.feed(joined(frames));
    QCOMPARE(collector.frames, frames);
    QCOMPARE(collector.stream.pendingBytes(), 0);
}

void TestFrameStream::decodesOneRead()
{
    FrameCollector collector;
    collector.feed(plainFrame(1));
    QCOMPARE(collector.frames, QVector<QByteArray>{plainFrame(1)});
    QCOMPARE(collector.stream.pendingBytes(), 0);
}

void TestFrameStream::gathersTwoHalves()
{
    const QByteArray frame = plainFrame(1);
    FrameCollector collector;
    collector.feed(frame.left(8));
    QVERIFY(collector.frames.isEmpty());
    QCOMPARE(collector.stream.pendingBytes(), 8);
    collector.feed(frame.mid(8));
    QCOMPARE(collector.frames, QVector<QByteArray>{frame});
    QCOMPARE(collector.stream.pendingBytes(), 0);
}

void TestFrameStream::emptyReadChangesNothing()
{
    const QByteArray frame = frameOf(0x0D0A, 1, 2, 3, 4, 5);
    const QByteArray line = withCrBeforeLf(frame); // AA AA 0D 0D 0A ...
    FrameCollector collector;
    collector.feed(line.left(4));
    QCOMPARE(collector.stream.pendingBytes(), 3);
    QVERIFY(collector.stream.holdsCarriageReturn());
    collector.feed(QByteArray());
    QCOMPARE(collector.stream.pendingBytes(), 3);
    QVERIFY(collector.stream.holdsCarriageReturn());
    QVERIFY(collector.frames.isEmpty());
    collector.feed(line.mid(4));
    QCOMPARE(collector.frames, QVector<QByteArray>{frame});
}

void TestFrameStream::wrongMarkersYieldNothing_data()
{
    QTest::addColumn<int>("brokenByte");
    for (const int index : {0, 1, 14, 15})
        QTest::addRow("marker byte %d", index) << index;
}

// No frame comes of it, and it does not cost the frame that follows.
void TestFrameStream::wrongMarkersYieldNothing()
{
    QFETCH(int, brokenByte);
    QByteArray broken = plainFrame(1);
    broken[brokenByte] = char(0x00);
    FrameCollector collector;
    collector.feed(broken);
    QVERIFY(collector.frames.isEmpty());
    QVERIFY(collector.stream.pendingBytes() <= 15);
    collector.feed(plainFrame(2));
    QCOMPARE(collector.frames, QVector<QByteArray>{plainFrame(2)});
}

void TestFrameStream::crLfInsideAFrameAsSentOrAsCorrupted()
{
    const QByteArray frame = frameOf(0x0D0A, 1, 2, 3, 4, 5);

    // As the console sends it: 17 bytes with one CR LF pair are the frame.
    FrameCollector sent;
    sent.feed(withCrBeforeLf(frame));
    QCOMPARE(sent.frames, QVector<QByteArray>{frame});

    // Without the line discipline's CR the pair shrinks to LF: the frame is lost, the next one is not.
    FrameCollector raw;
    raw.feed(frame);
    QVERIFY(raw.frames.isEmpty());
    QCOMPARE(raw.stream.pendingBytes(), 15);
    raw.feed(plainFrame(2));
    QCOMPARE(raw.frames, QVector<QByteArray>{plainFrame(2)});
}

void TestFrameStream::decodesEveryEmbeddedFrameInOrder_data()
{
    QTest::addColumn<quint32>("seed");
    for (const quint32 seed : {1u, 20240607u, 0xC0FFEEu})
        QTest::addRow("seed %u", seed) << seed;
}

// Many frames in runs, random garbage between the runs, the whole line CR LF translated and cut at
// random. The garbage never holds 0xAA, so no false frame can start in it: the decoder must
// deliver exactly the embedded frames.
void TestFrameStream::decodesEveryEmbeddedFrameInOrder()
{
    QFETCH(quint32, seed);
    QRandomGenerator random(seed);
    QVector<QByteArray> embedded;
    QByteArray stream;
    while (embedded.size() < 5000) {
        QByteArray garbage(random.bounded(41), '\0');
        for (char &byte : garbage) {
            byte = char(random.bounded(256));
            if (uchar(byte) == 0xAA)
                byte = 0x55;
        }
        stream.append(garbage);
        const int run = 1 + random.bounded(40);
        for (int i = 0; i < run; ++i) {
            LevelFrame::Words words{};
            for (quint16 &word : words)
                word = quint16(random.bounded(65536));
            embedded.append(LevelFrame::encode(words));
            stream.append(embedded.constLast());
        }
    }
    const QByteArray line = withCrBeforeLf(stream);

    FrameCollector cut;
    for (int at = 0; at < line.size();) {
        const int size = random.bounded(49); // empty reads included
        cut.feed(line.mid(at, size));
        at += size;
    }
    QCOMPARE(cut.frames.size(), embedded.size());
    QCOMPARE(cut.frames, embedded);
    QVERIFY(cut.mostPending <= 15);

    FrameCollector whole;
    whole.feed(line);
    QCOMPARE(whole.frames, embedded);
}

void TestFrameStream::buffersAtMostFifteenBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("pieceSize");
    const QByteArray starts(1000, char(0xAA));
    // Start markers and a body, failing only at the last byte, again and again.
    const QByteArray nearFrames =
        (QByteArray::fromHex("AAAA") + QByteArray(12, '\x01') + "\x55\x01").repeated(60);
    const QByteArray carriageReturns(1000, '\r');
    for (const int size : {1, 7, 1000}) {
        QTest::addRow("start markers, %d per read", size) << starts << size;
        QTest::addRow("near frames, %d per read", size) << nearFrames << size;
        QTest::addRow("carriage returns, %d per read", size) << carriageReturns << size;
    }
}

void TestFrameStream::buffersAtMostFifteenBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, pieceSize);
    FrameCollector collector;
    feedInPieces(collector, bytes, pieceSize);
    QVERIFY(collector.frames.isEmpty());
    QVERIFY2(collector.mostPending <= 15, qPrintable(QString::number(collector.mostPending)));
}

QTEST_APPLESS_MAIN(TestFrameStream)
#include "tst_framestream.moc"
