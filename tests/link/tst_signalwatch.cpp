#include "signalwatch.h"

#include <QtTest>

using State = SignalWatch::State;
Q_DECLARE_METATYPE(State)

namespace {

// Frames every intervalMs from firstMs up to and including lastMs.
QVector<qint64> frames(qint64 firstMs, qint64 lastMs, qint64 intervalMs)
{
    QVector<qint64> times;
    for (qint64 t = firstMs; t <= lastMs; t += intervalMs)
        times << t;
    return times;
}

const QVector<qint64> FiftyPerSecond = frames(1000, 1980, 20); // last frame at 1980

} // namespace

class TestSignalWatch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void followsTheFrames_data();
    void followsTheFrames();
};

void TestSignalWatch::followsTheFrames_data()
{
    QTest::addColumn<int>("timeout");
    QTest::addColumn<QVector<qint64>>("frameTimes");
    QTest::addColumn<QVector<qint64>>("checkTimes"); // check() runs at these, in time order with the frames
    QTest::addColumn<State>("state");                // after the last event
    QTest::addColumn<qint64>("deadline");
    QTest::addColumn<int>("fps");     // at the last event
    QTest::addColumn<int>("changes"); // calls that reported a change of state

    const qint64 none = SignalWatch::NoDeadline;
    QTest::newRow("no frame yet") << 2000 << QVector<qint64>{} << QVector<qint64>{5000} << State::Waiting
                                  << none << 0 << 0;
    QTest::newRow("50/s") << 2000 << frames(1000, 2980, 20) << QVector<qint64>{3000} << State::Receiving
                          << qint64(4980) << 50 << 1;
    QTest::newRow("half a second missing")
        << 2000 << (FiftyPerSecond + frames(2500, 2980, 20)) << QVector<qint64>{3000} << State::Receiving
        << qint64(4980) << 25 << 1;
    QTest::newRow("gap just under the timeout")
        << 2000 << FiftyPerSecond << QVector<qint64>{3979} << State::Receiving << qint64(3980) << 0 << 1;
    QTest::newRow("gap of the timeout")
        << 2000 << FiftyPerSecond << QVector<qint64>{3980} << State::Lost << none << 0 << 2;
    QTest::newRow("gap just over the timeout")
        << 2000 << FiftyPerSecond << QVector<qint64>{3981} << State::Lost << none << 0 << 2;
    QTest::newRow("lost once, checked again")
        << 200 << FiftyPerSecond << QVector<qint64>{2180, 2500, 9000} << State::Lost << none << 0 << 2;
    QTest::newRow("timeout 0: watch off")
        << 0 << FiftyPerSecond << QVector<qint64>{61980} << State::Receiving << none << 0 << 1;
    // Nothing of the frames before the gap may stay in the count.
    QTest::newRow("burst after a long gap")
        << 2000 << (FiftyPerSecond + frames(100000, 100099, 1)) << QVector<qint64>{50000, 100150}
        << State::Receiving << qint64(102099) << 100 << 3;
}

void TestSignalWatch::followsTheFrames()
{
    QFETCH(int, timeout);
    QFETCH(QVector<qint64>, frameTimes);
    QFETCH(QVector<qint64>, checkTimes);
    QFETCH(State, state);
    QFETCH(qint64, deadline);
    QFETCH(int, fps);
    QFETCH(int, changes);

    SignalWatch watch(timeout);
    watch.restart();
    int changed = 0;
    qint64 now = 0;
    for (int f = 0, c = 0; f < frameTimes.size() || c < checkTimes.size();) {
        const bool frameFirst =
            c == checkTimes.size() || (f < frameTimes.size() && frameTimes[f] <= checkTimes[c]);
        now = frameFirst ? frameTimes[f++] : checkTimes[c++];
        changed += frameFirst ? watch.frameArrived(now) : watch.check(now);
    }
    QCOMPARE(watch.state(), state);
    QCOMPARE(watch.deadline(), deadline);
    QCOMPARE(watch.framesPerSecond(now), fps);
    QCOMPARE(changed, changes);
    QCOMPARE(watch.isLostAt(now + qMax(timeout, 1) * 10), state == State::Receiving && timeout > 0);

    watch.restart();
    QCOMPARE(watch.state(), State::Waiting);
    QCOMPARE(watch.framesPerSecond(now), 0);
}

QTEST_APPLESS_MAIN(TestSignalWatch)
#include "tst_signalwatch.moc"
