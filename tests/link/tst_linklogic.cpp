// The link's pure parts, fed with bytes and times: the level frame, the stream decoder, the signal
// watch and the silence alarm.

#include "framestream.h"
#include "signalwatch.h"
#include "silencealarm.h"

#include <QtTest>

using State = SignalWatch::State;
using List = QByteArrayList;
using Times = QVector<qint64>;
using Watch = std::tuple<int, Times, Times, State, qint64, int, int>;
// Events "<ms><kind>" (see alarmFollowsEvents), the alarm after each, the deadline after the last, the
// threshold, the delay and the start.
struct Alarm
{
    const char *events, *states;
    qint64 deadline = SilenceAlarm::NoDeadline;
    double threshold = -40.0;
    qint64 delay = 10000, start = 0;
};
using Stream = std::tuple<List, List, int>; // reads; the frames out; the bytes that wait after them
Q_DECLARE_METATYPE(Watch)
Q_DECLARE_METATYPE(Stream)
Q_DECLARE_METATYPE(Alarm)

namespace {

// Reads of pieceSize bytes.
List cut(const QByteArray &bytes, int pieceSize)
{
    List pieces;
    for (int at = 0; at < bytes.size(); at += pieceSize)
        pieces << bytes.mid(at, pieceSize);
    return pieces;
}

// Every word byte is 0x60 to 0x9F: no marker, CR or LF, so no false frame can start inside.
QByteArray plainFrame(int i)
{
    const auto word = [i](int k) { return quint16((0x60 + i % 0x40) << 8 | (0x60 + (i * 6 + k) % 0x40)); };
    return LevelFrame::encode({word(0), word(1), word(2), word(3), word(4), word(5)});
}

// Frame times every intervalMs from firstMs up to and including lastMs.
Times every(qint64 intervalMs, qint64 firstMs, qint64 lastMs)
{
    Times times;
    for (qint64 t = firstMs; t <= lastMs; t += intervalMs)
        times << t;
    return times;
}

} // namespace

class TestLinkLogic : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Thousandths of a dB above -50 dB, big-endian. The line discipline's rule on its own: each LF loses at
    // most one CR right before it.
    void decodesLevelsAndLines()
    {
        const QByteArray frame = QByteArray::fromHex("AAAA000103E7C350FFFFD2F012345555");
        QStringList levels;
        for (const double level : LevelFrame::decode(frame.constData()))
            levels << QString::number(level, 'f', 3);
        QByteArray line("\r\r\n\n\r\n\r\xAA\n");
        FrameStream::removeCarriageReturns(line);
        QVERIFY(frame == LevelFrame::encode({1, 999, 50000, 65535, 54000, 0x1234}) &&
                line == QByteArray("\r\n\n\n\r\xAA\n"));
        QCOMPARE(levels.join(' '), QString("-49.999 -49.001 0.000 15.535 4.000 -45.340"));
    }

    void decodesStream_data()
    {
        QTest::addColumn<Stream>("row");
        const QByteArray a = plainFrame(1), b = plainFrame(2);
        const QByteArray lf = LevelFrame::encode({0x0D0A, 1, 2, 3, 4, 5});
        const QByteArray sent = lf.left(2) + '\r' + lf.mid(2); // the console's CR LF: AA AA 0D 0D 0A
        QTest::newRow("one read") << Stream{{a}, {a}, 0};
        QTest::newRow("10 + 10") << Stream{{a.left(10), a.mid(10) + b.left(4)}, {a}, 4};
        QTest::newRow("5 stale bytes") << Stream{{a.left(5), b}, {b}, 0};
        QTest::newRow("two frames in one read") << Stream{{a + b}, {a, b}, 0};
        QTest::newRow("held CR, empty read") << Stream{{sent.left(4), {}, sent.mid(4)}, {lf}, 0};
        QTest::newRow("LF without its CR, frame") << Stream{{lf, b}, {b}, 0};
        for (const int index : {0, 1, 14, 15}) {
            QByteArray broken = a;
            broken[index] = 0;
            QTest::addRow("wrong marker byte %d", index) << Stream{{broken, b}, {b}, 0};
        }
        const List frames = {a, b, plainFrame(3)};
        for (const auto &[name, bytes] :
             {std::pair("start markers, short", QByteArray::fromHex("AAAA0102")),
              {"CR and LF", "\r\n\r\r\n\n"},
              {"1000 CRs", QByteArray(1000, '\r')},
              {"1000 start markers", QByteArray(1000, char(0xAA))},
              {"noise", QByteArray::fromHex("0123456789ABCDEF55AA5501FE").repeated(9)},
              {"frames failing at the last byte",
               (QByteArray::fromHex("AAAA") + QByteArray(12, '\x01') + "\x55\x01").repeated(60)}})
            QTest::newRow(name) << Stream{{bytes, frames.join()}, frames, 0};
        for (int offset = 1; offset < LevelFrame::Size; ++offset)
            QTest::addRow("start at byte %d", offset) << Stream{{a.mid(offset) + frames.join()}, frames, 0};
        // A frame whose first word is a start marker, its end markers and two more bytes: a frame test one
        // byte further would pass. Words with CR, LF and marker bytes, every LF sent as CR LF.
        const QByteArray inner = LevelFrame::encode({0xAAAA, 1, 2, 3, 4, 5}) + "\x55\x55";
        const List awkward = {LevelFrame::encode({0x0D0A, 0x0D0D, 0x0A0D, 0x0A0A, 0xAA55, 0x55AA}),
                              LevelFrame::encode({0x0DAA, 0x550A, 0x0D0A, 0x550D, 0xAA0A, 0x0A55})};
        QTest::newRow("false frame one byte on") << Stream{{inner}, {inner.left(16)}, 2};
        QTest::newRow("awkward words, CR LF") << Stream{
            {QByteArray(awkward.join() + "\r\xAA\n").replace('\n', "\r\n") + a}, awkward + List{a}, 0};
    }

    // However the reads are cut, the same frames come out and the same bytes wait.
    void decodesStream()
    {
        QFETCH(Stream, row);
        const auto &[reads, frames, pending] = row;
        // Also the most bytes it holds between reads.
        for (const List &cutting : {reads, cut(reads.join(), 1), cut(reads.join(), 2), cut(reads.join(), 7),
                                    cut(reads.join(), 17)}) {
            FrameStream stream;
            List out;
            int mostPending = 0;
            for (const QByteArray &read : cutting) {
                stream.feed(read, [&](const char *frame) { out << QByteArray(frame, LevelFrame::Size); });
                mostPending = qMax(mostPending, stream.pendingBytes());
            }
            QCOMPARE(out, frames);
            QVERIFY(stream.pendingBytes() == pending && mostPending <= 15);
        }
    }

    // Timeout; frame times; check() at these, in time order with the frames; after the last event: the state,
    // the deadline, the frames per second and how many calls reported a change of state.
    void signalWatchFollowsFrames_data()
    {
        QTest::addColumn<Watch>("watch");
        const qint64 none = SignalWatch::NoDeadline;
        const Times fifty = every(20, 1000, 1980); // 50/s, the last frame at 1980
        QTest::newRow("no frame yet") << Watch{2000, {}, {5000}, State::Waiting, none, 0, 0};
        QTest::newRow("50/s") << Watch{2000, every(20, 1000, 2980), {3000}, State::Receiving, 4980, 50, 1};
        // Counted at a frame: the current bucket is not yet a full one.
        QTest::newRow("at a frame") << Watch{2000, every(20, 1000, 2980), {}, State::Receiving, 4980, 50, 1};
        QTest::newRow("half a second missing")
            << Watch{2000, fifty + every(20, 2500, 2980), {3000}, State::Receiving, 4980, 25, 1};
        QTest::newRow("gap just under the timeout")
            << Watch{2000, fifty, {3979}, State::Receiving, 3980, 0, 1};
        QTest::newRow("gap of the timeout") << Watch{2000, fifty, {3980}, State::Lost, none, 0, 2};
        QTest::newRow("gap just over the timeout") << Watch{2000, fifty, {3981}, State::Lost, none, 0, 2};
        QTest::newRow("lost once, checked again")
            << Watch{200, fifty, {2180, 2500, 9000}, State::Lost, none, 0, 2};
        QTest::newRow("timeout 0: watch off") << Watch{0, fifty, {61980}, State::Receiving, none, 0, 1};
        // Nothing of the frames before the gap may stay in the count.
        QTest::newRow("burst after a long gap") << Watch{
            2000, fifty + every(1, 100000, 100099), {50000, 100150}, State::Receiving, 102099, 100, 3};
    }

    void signalWatchFollowsFrames()
    {
        QFETCH(Watch, watch);
        const auto &[timeout, frameTimes, checkTimes, state, deadline, fps, changes] = watch;
        SignalWatch signal(timeout);
        signal.restart();
        int changed = 0;
        qint64 now = 0;
        for (int f = 0, c = 0; f < frameTimes.size() || c < checkTimes.size();) {
            const bool frameFirst =
                c == checkTimes.size() || (f < frameTimes.size() && frameTimes[f] <= checkTimes[c]);
            now = frameFirst ? frameTimes[f++] : checkTimes[c++];
            changed += frameFirst ? signal.frameArrived(now) : signal.check(now);
        }
        QVERIFY(signal.state() == state && signal.deadline() == deadline && changed == changes);
        QCOMPARE(signal.framesPerSecond(now), fps);
        QCOMPARE(signal.isLostAt(now + qMax(timeout, 1) * 10), state == State::Receiving && timeout > 0);
        signal.restart();
        QVERIFY(signal.state() == State::Waiting && signal.framesPerSecond(now) == 0);
    }

    void alarmFollowsEvents_data()
    {
        QTest::addColumn<Alarm>("alarmRow");
        const qint64 none = SilenceAlarm::NoDeadline;
        QTest::newRow("fires after the delay") << Alarm{"0q 5000q 9999q 10000q", "0001"};
        QTest::newRow("quiet counts from the first frame") << Alarm{"3000q 12999q 13000q", "001"};
        QTest::newRow("one loud side restarts the count") << Alarm{"0q 5000h 9000q 18999q 19000q", "00001"};
        QTest::newRow("at the threshold is not quiet") << Alarm{"0e 20000e", "00"};
        QTest::newRow("threshold -20: -30 is quiet") << Alarm{"0m 1000m", "01", none, -20.0, 1000};
        QTest::newRow("recovery: 2 s of level") << Alarm{"0q 10000q 11000L 12999L 13000L", "01110"};
        QTest::newRow("a quiet frame restarts the recovery")
            << Alarm{"0q 10000q 11000L 12000q 13000L 14999L 15000L", "0111110"};
        QTest::newRow("cleared: a full delay again")
            << Alarm{"0q 10000q 11000L 13000L 14000q 23999q 24000q", "0110001"};
        QTest::newRow("lost signal clears and holds it off")
            << Alarm{"0q 10000q 11000x 11000q 30000c 31000b 31000q 40999q 41000q", "010000001"};
        QTest::newRow("fires and clears without frames")
            << Alarm{"0q 9999c 10000c 11000L 12999c 13000c", "001110"};
        QTest::newRow("waiting: the deadline") << Alarm{"0q 4000q", "00", 10000};
        QTest::newRow("recovering: the deadline") << Alarm{"0q 10000q 11000L 11500L", "0111", 13000};
        // Nothing fires within the first delay after start, however long the quiet before; a restart
        // starts it again.
        QTest::newRow("start at 5 s")
            << Alarm{"0q 14999c 15000c 20000r 20000q 29999c 30000c", "0010001", -1, -40.0, 10000, 5000};
    }

    // Events: q both quiet (-50 dB), h one side loud (-50, -10), e one side at the threshold (-40, -50),
    // m both at -30, L both loud (-10), x signal lost, b signal back, c time passes without a frame,
    // r restart.
    void alarmFollowsEvents()
    {
        QFETCH(Alarm, alarmRow);
        const auto &[events, states, deadline, threshold, delay, start] = alarmRow;
        SilenceAlarm alarm(start);
        alarm.setThresholdDb(threshold);
        alarm.setDelayMs(delay);
        const QString levelKinds = QStringLiteral("qhemL");
        const double left[] = {-50, -50, -40, -30, -10}, right[] = {-50, -10, -50, -30, -10};
        QString seen;
        for (const QString &event : QString(events).split(' ')) {
            const qint64 at = event.chopped(1).toLongLong();
            const QChar kind = event.back();
            const bool before = alarm.isOn();
            bool changed = false;
            if (levelKinds.contains(kind))
                changed = alarm.frame(at, left[levelKinds.indexOf(kind)], right[levelKinds.indexOf(kind)]);
            else if (kind == 'x' || kind == 'b')
                changed = alarm.setSignalPresent(at, kind == 'b');
            else if (kind == 'r')
                alarm.restart(at);
            else
                changed = alarm.check(at);
            QVERIFY2(changed == (before != alarm.isOn()) || kind == 'r', qPrintable(event));
            seen += alarm.isOn() ? '1' : '0';
        }
        QCOMPARE(seen, QString(states));
        QCOMPARE(alarm.nextDeadlineMs(), deadline);
    }
};

QTEST_APPLESS_MAIN(TestLinkLogic)
#include "tst_linklogic.moc"
