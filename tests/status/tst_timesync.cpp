// The time-sync lamp: what the kernel says of its clock, read every ten seconds.

#include "linktesthelpers.h"
#include "timesync.h"

#include <QtTest>

namespace {

using Clock = std::optional<TimeSync::KernelClock>;
using State = StatusLamp::State;

constexpr int Unsynchronised = 0x0040, HardwareFault = 0x1000, Pll = 0x0001, ClockError = 5;

Clock readClock;

} // namespace

using Lamp = std::tuple<Clock, State, QString>;
Q_DECLARE_METATYPE(Lamp)

class TestTimeSync : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void kernelToLamp_data()
    {
        QTest::addColumn<Lamp>("lamp"); // what the kernel says, the lamp, its tool tip
        const auto kernel = [](int result, int status, qint64 maxErrorUs) {
            return Clock(TimeSync::KernelClock{result, status, maxErrorUs, 800});
        };
        const QString good = "Time synchronised, maximum error %1 ms (estimated 1 ms)";
        const QString aged = "Time synchronised, but the maximum error has grown to %1 ms: "
                             "the time source has not been heard for a while";
        const QString unsynchronised = "Time not synchronised: the system clock follows no time source";
        const QString silent = "The system does not tell whether its time is synchronised";
        QTest::newRow("synchronised") << Lamp{kernel(0, Pll, 12400), State::Good, good.arg(12)};
        QTest::newRow("at the bound") << Lamp{kernel(0, Pll, 100000), State::Good, good.arg(100)};
        QTest::newRow("leap second ahead") << Lamp{kernel(1, Pll, 1000), State::Good, good.arg(1)};
        QTest::newRow("just beyond") << Lamp{kernel(0, Pll, 100001), State::Warning, aged.arg(100)};
        QTest::newRow("source long gone") << Lamp{kernel(0, 0, 15999999), State::Warning, aged.arg(16000)};
        QTest::newRow("unsync bit") << Lamp{kernel(0, Unsynchronised, 1000), State::Fault, unsynchronised};
        QTest::newRow("not synchronised")
            << Lamp{kernel(ClockError, Pll, 1000), State::Fault, unsynchronised};
        QTest::newRow("clock fault") << Lamp{kernel(0, HardwareFault, 1000), State::Fault, unsynchronised};
        QTest::newRow("call failed") << Lamp{kernel(-1, 0, 0), State::Off, silent};
        QTest::newRow("no answer") << Lamp{Clock(), State::Off, silent};
    }
    void kernelToLamp()
    {
        QFETCH(Lamp, lamp);
        const auto &[clock, state, toolTip] = lamp;
        QCOMPARE(TimeSync::stateFor(clock), state);
        QCOMPARE(TimeSync::describe(clock), toolTip);
    }

    // A signal on every new reading that reads differently, a debug line only when the state changes.
    void readsEveryTenSeconds()
    {
        readClock = TimeSync::KernelClock{0, Pll, 2000, 1000};
        TimeSync sync(nullptr, [] { return readClock; });
        QSignalSpy changes(&sync, &TimeSync::changed);
        LinkTest::debugLines().clear();
        const auto timer = sync.findChild<QTimer *>();
        QVERIFY(timer && timer->isActive() && timer->interval() == 10000);
        for (const qint64 maxErrorUs : {2000, 2000, 3000, 300000}) {
            readClock->maxErrorUs = maxErrorUs;
            sync.check();
        }
        readClock.reset();
        sync.check();
        const QStringList lines = LinkTest::debugLines().filter(QStringLiteral("time sync: "));
        QVERIFY(changes.size() == 4 && changes.last().at(0).value<State>() == State::Off &&
                sync.state() == State::Off);
        QVERIFY(lines.size() == 3 && lines.at(1).startsWith("time sync: Warning \"Time synchronised, but"));
#ifdef Q_OS_LINUX
        // Reading this machine's clock works (the window's lamp shows it: tst_mainwindow).
        QVERIFY(TimeSync::readKernel().value_or(TimeSync::KernelClock{-1, 0, 0, 0}).result >= 0);
#endif
    }
};

QTEST_MAIN(TestTimeSync)
#include "tst_timesync.moc"
