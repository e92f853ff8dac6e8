// The signal watch and the link lamp as the window runs them: a console that goes quiet on a
// pseudo-terminal left open, and a UDP server whose datagrams stop.

#include "linktesthelpers.h"

#include "pty.h"
#include "tempsettings.h"

#include <QHelpEvent>
#include <QtTest>

#include <memory>

using namespace LinkTest;
using Lamp = StatusLamp::State;

namespace {

constexpr int ShortTimeoutMs = 200;
// Loss after the timeout, then the release down to the floor (3.8 s from 0 dB), on a busy machine.
constexpr int FloorTimeoutMs = 15000;
constexpr int ArrivalTimeoutMs = 3000;

int linesStartingWith(const QString &start)
{
    const QStringList &lines = debugLines();
    return int(std::count_if(lines.begin(), lines.end(),
                             [&](const QString &line) { return line.startsWith(start); }));
}

// The console's side of either link: a pseudo-terminal, or a UDP sender on loopback.
struct Console
{
    std::unique_ptr<Pty> pty;
    QUdpSocket sender;
    quint16 port = 0;
    bool send(const QByteArray &frame)
    {
        return pty ? pty->write(frame)
                   : sender.writeDatagram(frame, QHostAddress::LocalHost, port) == LevelFrame::Size;
    }
};

} // namespace

class LinkStatusTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { debugLines(); }

    void quietLinkFallsToFloorAndComesBack_data()
    {
        QTest::addColumn<bool>("udp");
        QTest::newRow("serial") << false;
        QTest::newRow("UDP client") << true;
    }

    void quietLinkFallsToFloorAndComesBack()
    {
        QFETCH(bool, udp);
        TempSettings settings;
        TempSettings::useApplicationNames();
        TempSettings::store().setValue(QStringLiteral("signal_timeout_ms"), ShortTimeoutMs);
        MainWindow window;
        Console console;
        if (udp)
            console.port = freeUdpPort();
        else
            console.pty = std::make_unique<Pty>();
        const QString source = udp ? QString::number(console.port) : console.pty->slavePath();
        useLink(window, udp, source);
        StatusLamp *lamp = Access::linkLamp(window);
        LinkStatus *status = Access::linkStatus(window);
        QCOMPARE(lamp->state(), Lamp::Warning); // set up, no frame yet
        QVERIFY(!status->isDeadlineArmed());
        debugLines().clear();

        const QByteArray first = LevelFrame::encodeLevels({0.0, -3.0, -6.0, -10.0, -20.0, 2.0});
        QVERIFY(console.send(first));
        QTRY_COMPARE_WITH_TIMEOUT(targetsText(window), levelsText(first), ArrivalTimeoutMs);
        QCOMPARE(lamp->state(), Lamp::Good);

        // No more frames, the link still open: the meters fall to the floor and rest there.
        QTRY_COMPARE_WITH_TIMEOUT(targetsText(window), FloorText, FloorTimeoutMs);
        QCOMPARE(lamp->state(), Lamp::Warning);
        QCOMPARE(status->signalState(), SignalWatch::State::Lost);
        QVERIFY(!status->isDeadlineArmed()); // a quiet link keeps no timer running
        QTRY_VERIFY_WITH_TIMEOUT(!Access::releaseTimer(window)->isActive(), FloorTimeoutMs);
        QCOMPARE(Access::ui(window)->ProgLeft->dBPosition(), LevelFrame::FloorDb);

        // The next frame restores the levels at once.
        const QByteArray next = numberedFrame(30000);
        QVERIFY(console.send(next));
        QTRY_COMPARE_WITH_TIMEOUT(targetsText(window), levelsText(next), ArrivalTimeoutMs);
        QCOMPARE(lamp->state(), Lamp::Good);
        QCOMPARE(linesStartingWith(QStringLiteral("signal lost: ")), 1);
        QCOMPARE(linesStartingWith(QStringLiteral("signal back: ")), 2);

        // The tooltip is worked out when it is about to show.
        lamp->setToolTip(QStringLiteral("stale"));
        QHelpEvent show(QEvent::ToolTip, QPoint(2, 2), lamp->mapToGlobal(QPoint(2, 2)));
        QCoreApplication::sendEvent(lamp, &show);
        QVERIFY2(lamp->toolTip().contains(source) &&
                     lamp->toolTip().contains(QStringLiteral("Frames in the last second: ")),
                 qPrintable(lamp->toolTip()));
    }

    // Dead air is the programme's alarm, a dead link the lamp's: the silence alarm rests while the lamp
    // is red or amber, and one already on goes off.
    void silenceAlarmRestsWithTheLink_data()
    {
        QTest::addColumn<bool>("deviceGone"); // else the frames stop for the signal timeout
        QTest::addColumn<bool>("alarmFirst");
        for (const bool gone : {true, false})
            for (const bool first : {false, true})
                QTest::addRow("%s, alarm %s", gone ? "device gone" : "signal lost", first ? "on" : "coming")
                    << gone << first;
    }
    void silenceAlarmRestsWithTheLink()
    {
        QFETCH(bool, deviceGone);
        QFETCH(bool, alarmFirst);
        TempSettings settings;
        TempSettings::useApplicationNames();
        for (const auto &[key, value] :
             {std::pair("silence_alarm", 1), {"silence_delay_s", 1}, {"signal_timeout_ms", 0}})
            TempSettings::store().setValue(QLatin1String(key), value);
        MainWindow window;
        Pty console;
        useLink(window, false, console.slavePath());
        SilenceWatch *watch = Access::silenceWatch(window);
        QVERIFY(console.write(LevelFrame::encodeLevels({-50.0, -50.0, 0.0, 0.0, 0.0, 0.0})));
        QTRY_VERIFY_WITH_TIMEOUT(alarmFirst ? watch->isAlarmOn()
                                            : Access::linkLamp(window)->state() == Lamp::Good,
                                 FloorTimeoutMs);
        if (deviceGone)
            console.closeMaster();
        else
            Access::linkStatus(window)->setTimeout(ShortTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(Access::linkLamp(window)->state(), deviceGone ? Lamp::Fault : Lamp::Warning,
                                  ArrivalTimeoutMs);
        QVERIFY(!watch->isAlarmOn());
        QCOMPARE(watch->state().nextDeadlineMs(), SilenceAlarm::NoDeadline); // nor will it come on
    }
};

QTEST_MAIN(LinkStatusTest)
#include "tst_linkstatus.moc"
