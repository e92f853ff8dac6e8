// The console link with real devices: the window's serial port and UDP client with the link lamp, the
// release tick's reads, the console simulator, the UDP server's relay by multicast across a router.
// Pseudo-terminals stand in for serial lines; the test runs in a network namespace of its own where it may,
// so no other test shares its UDP ports.

#include "linktesthelpers.h"

#include "pty.h"
#include "tempsettings.h"
#include "tickedreads.h"

#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

#include <memory>
#include <set>

using namespace LinkTest;
using Lamp = StatusLamp::State;
using Datagram = std::tuple<QByteArray, QString, bool>;
Q_DECLARE_METATYPE(Datagram)

namespace {

constexpr int TimeoutMs = 15000; // for what comes at once on a quiet machine
constexpr int QuietMs = 300;     // for a notification that is on, or a late datagram, to show up
const QString Title = QStringLiteral("Kolvane Meters - (%1)");
bool privateNetwork = false;
// The relay by multicast: a server and a client on one bridge, a far client on a second bridge behind a
// router namespace.
const QString Group = QStringLiteral("239.255.77.77"), ServerAddress = QStringLiteral("10.77.1.1"),
              Port = QStringLiteral("5600");
// The network namespaces: the one the test started in, then the multicast test's.
constexpr int Router = 1, ServerSpace = 2, NearClient = 3, FarClient = 4, SpaceCount = 5;
constexpr int Serial = 0, Client = 1, ClientPortInUse = 2; // the link test's modes

// Serial ports open and UDP sockets bound: closed ones may only be waiting for deletion.
int openLinks(const QObject &window)
{
    int open = 0;
    for (const QSerialPort *port : window.findChildren<QSerialPort *>())
        open += port->isOpen();
    for (const QUdpSocket *socket : window.findChildren<QUdpSocket *>())
        open += socket->state() == QAbstractSocket::BoundState;
    return open;
}

// Serial mode on the given port name, or UDP client of 127.0.0.1 at the given port.
void useLink(MainWindow &window, bool udp, const QString &port)
{
    LinkSettings &link = Access::linkSettings(window);
    link.use_udp = udp;
    (udp ? link.client_port : link.serialport) = port;
    link.client_host = QStringLiteral("127.0.0.1");
    Access::setupLink(window);
}

} // namespace

class TestLink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qRegisterMetaType<QSerialPort::SerialPortError>(); // for the spy on a port's errors
#ifdef Q_OS_LINUX
        // A network namespace of its own with the loopback up, so the test owns every UDP port: on the
        // machine's loopback a port found free is free only at that moment, and another test's bind to
        // port 0, or its first datagram sent, may take it before the window binds it.
        static NetworkSpaces own;
        privateNetwork = own.make(1) && own.run(1, "link set lo up\n");
#endif
        // Where the suite must prove the relays (CI), a missing namespace is a failure, not a skip.
        QVERIFY2(privateNetwork || qEnvironmentVariable("CI") != QLatin1String("true"),
                 "no network namespace of its own (needs root and iproute2)");
        debugLines();
    }

    void linkLivesAndRests_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("serial") << Serial;
        // The port text's full value is reported and shown; the socket uses its low 16 bits.
        QTest::newRow("UDP client, port beyond 16 bits") << Client;
        QTest::newRow("UDP client, port in use") << ClientPortInUse;
    }

    // Set up (a serial device plugged in later), the first frame (in two reads on the serial line), quiet
    // down to the floor, the next frame, the device away and back, a second set-up, other modes.
    void linkLivesAndRests()
    {
        QFETCH(int, mode);
        const bool udp = mode >= Client;
        TempSettings settings;
        settings.write({{"signal_timeout_ms", 200}, {"silence_alarm", 1}, {"silence_delay_s", 1}});
        MainWindow window;
        // The console: a UDP sender to a port that nothing was bound to when it was picked (but the port's
        // other user, where it is in use), or a pseudo-terminal behind a device name of the test's own.
        QUdpSocket other;
        QVERIFY(other.bind(QHostAddress::AnyIPv4, 0, QAbstractSocket::DontShareAddress));
        const quint16 port = other.localPort();
        if (mode != ClientPortInUse)
            other.close();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ttyConsole"));
        std::unique_ptr<Pty> pty;
        const auto plugIn = [&] {
            pty = std::make_unique<Pty>();
            QFile::remove(path);
            return QFile::link(pty->slavePath(), path);
        };
        const auto send = [&](const QByteArray &bytes) {
            return udp ? QUdpSocket().writeDatagram(bytes, QHostAddress::LocalHost, port) == bytes.size()
                       : pty->write(bytes);
        };
        const auto arrives = [&](const QByteArray &frame) {
            return send(frame) &&
                   QTest::qWaitFor([&] { return targetsText(window) == levelsText(frame); }, TimeoutMs);
        };
        const QString source = udp ? QString::number(port + 65536) : path;
        StatusLamp *lamp = Access::linkLamp(window);
        LinkStatus *status = Access::linkStatus(window);
        SilenceWatch *silence = Access::silenceWatch(window);
        // A lost signal or a failed link rests the silence alarm: on, it goes off; coming, it never comes.
        const auto silenceRests = [&] {
            return !silence->isAlarmOn() && silence->state().nextDeadlineMs() == SilenceAlarm::NoDeadline;
        };
        debugLines().clear();
        useLink(window, udp, source);
        const QString bound = mode == ClientPortInUse ? "false" : "true";
        QVERIFY(window.windowTitle() == Title.arg(source) &&
                debugLines().count(QStringLiteral("bind to port  %1  -  %2").arg(source, bound)) == int(udp));
        if (mode == ClientPortInUse) { // red, with the socket's own words in the lamp's tooltip
            QVERIFY(lamp->state() == Lamp::Fault &&
                    lamp->toolTip().contains(Access::udpSocket(window)->errorString()));
            return;
        }
        if (!udp) { // missing at set-up: red until it is plugged in
            QVERIFY(lamp->state() == Lamp::Fault && plugIn());
            QTRY_COMPARE_WITH_TIMEOUT(openLinks(window), 1, TimeoutMs);
        }
        QVERIFY(lamp->state() == Lamp::Warning && !status->isDeadlineArmed()); // open, no frame yet

        // The first part of a frame waits for the rest (a datagram is whole); each serial read is logged. The
        // programme is quiet: the silence alarm is coming.
        const QByteArray first = LevelFrame::encodeLevels({-45.0, -42.0, -36.0, -40.0, -45.0, -28.0});
        if (!udp) {
            QVERIFY(send(first.left(5)));
            QTRY_COMPARE_WITH_TIMEOUT(Access::serialStream(window).pendingBytes(), 5, TimeoutMs);
            QVERIFY(debugLines().contains(QStringLiteral("data arrived.. ")));
        }
        QVERIFY(send(first.mid(udp ? 0 : 5)));
        QTRY_COMPARE_WITH_TIMEOUT(targetsText(window), levelsText(first), TimeoutMs);
        QCOMPARE(lamp->state(), Lamp::Good);

        // No more frames, the link still open: the meters fall to the floor and rest there.
        QTRY_COMPARE_WITH_TIMEOUT(targetsText(window), FloorText, TimeoutMs);
        // A quiet link keeps no timer running.
        QVERIFY(lamp->state() == Lamp::Warning && status->signalState() == SignalWatch::State::Lost &&
                silenceRests() && !status->isDeadlineArmed());
        // The next frames (in one read on the serial line): the levels are back at once, the last one shows.
        QVERIFY(send(numberedFrame(29000)) && arrives(numberedFrame(30000)));
        QVERIFY(lamp->state() == Lamp::Good &&
                debugLines().filter(QRegularExpression("^signal lost: ")).size() == 1 &&
                debugLines().filter(QRegularExpression("^signal back: ")).size() == 2);
        // The tooltip is worked out when it is about to show.
        lamp->setToolTip(QStringLiteral("stale"));
        QHelpEvent show(QEvent::ToolTip, QPoint(2, 2), lamp->mapToGlobal(QPoint(2, 2)));
        QCoreApplication::sendEvent(lamp, &show);
        QVERIFY(lamp->toolTip().contains(source) && lamp->toolTip().contains("Frames in the last second: "));

        // While the meters move, the release tick takes the reads: what arrives waits for the tick, and all
        // of it comes in the tick's one read. The programme stays quiet: the silence alarm is coming, or on
        // after a second.
        status->setTimeout(0); // from here on only the link itself may take the meters down
        Access::processFrame(window, first.constData()); // wakes the tick,
        Access::releaseTimer(window)->stop();            // which then holds
        QVERIFY(send(numberedFrame(500)) && send(numberedFrame(600)));
        QTest::qWait(QuietMs);
        QCOMPARE(targetsText(window), levelsText(first));
        Access::meterRelease(window);
        QCOMPARE(targetsText(window), levelsText(numberedFrame(600)));
        Access::releaseTimer(window)->start();

        if (!udp) {
            // The device goes away while the tick holds the reads: the hang-up comes with the tick, as
            // the port's own error. An open port on a vanished device would report errors in a busy loop,
            // hundreds of thousands a second; a handled loss reports a few. Counted, not timed.
            QSignalSpy errors(Access::serialPort(window), &QSerialPort::errorOccurred);
            Access::processFrame(window, first.constData()); // the meters rise
            Access::releaseTimer(window)->stop();
            pty->closeMaster();
            Access::meterRelease(window);
            QTest::qWait(1000);
            QVERIFY(errors.count() < 10 && openLinks(window) == 0 && lamp->state() == Lamp::Fault &&
                    silenceRests() && targetsText(window) == FloorText);
            // Back under the same name: picked up by the retry, which then stops.
            QVERIFY(plugIn());
            QTRY_COMPARE_WITH_TIMEOUT(openLinks(window), 1, TimeoutMs);
            QVERIFY(!Access::serialRetryTimer(window)->isActive() && lamp->state() == Lamp::Warning);
            QVERIFY(arrives(numberedFrame(2000)) && lamp->state() == Lamp::Good);
        }

        // A second set-up replaces the port and socket: one of each left, and they alone work.
        Access::setupLink(window);
        QVERIFY(openLinks(window) == 1 && lamp->state() == Lamp::Warning && arrives(numberedFrame(400)));
        if (!udp) {
            const QSerialPort *port = Access::serialPort(window);
            QVERIFY(port->openMode() == QIODevice::ReadWrite &&
                    port->baudRate(QSerialPort::Input) == 115200 &&
                    port->baudRate(QSerialPort::Output) == 115200 && port->dataBits() == QSerialPort::Data8 &&
                    port->parity() == QSerialPort::NoParity && port->stopBits() == QSerialPort::OneStop &&
                    port->flowControl() == QSerialPort::NoFlowControl);
            useLink(window, true, QStringLiteral("0"));
            QVERIFY(!Access::serialPort(window) && openLinks(window) == 1);
        }
        // Serial mode closes the client: the port is free again. An empty port name is shown as it is,
        // and there is nothing to try again.
        useLink(window, false, QString());
        QVERIFY(!Access::udpSocket(window) && openLinks(window) == 0 &&
                !Access::serialRetryTimer(window)->isActive() && lamp->state() == Lamp::Off &&
                window.windowTitle() == Title.arg(QString()));
        QVERIFY(QUdpSocket().bind(QHostAddress::Any, port, QAbstractSocket::DontShareAddress));
    }

    void clientAcceptsOnlyFramesFromServer_data()
    {
        QTest::addColumn<Datagram>("datagram"); // its bytes, its sender, whether the meters take it
        const QByteArray frame = LevelFrame::encodeLevels({-12.5, -6.0, 0.0, 3.25, -49.0, 10.0});
        const QString server = QStringLiteral("127.0.0.1");
        QTest::newRow("frame from server") << Datagram{frame, server, true};
        // The whole of 127/8 is loopback on Linux: a second local address stands in for a stranger.
        QTest::newRow("frame from another address") << Datagram{frame, "127.0.0.2", false};
        QTest::newRow("15 bytes") << Datagram{frame.left(15), server, false};
        QTest::newRow("17 bytes") << Datagram{frame + char(0x55), server, false};
        QTest::newRow("empty datagram") << Datagram{QByteArray(), server, false};
        // The frame test itself is checked on the stream, with every marker byte.
        QTest::newRow("wrong end marker") << Datagram{frame.left(15) + char(0x54), server, false};
    }

    // A burst of the server's frames waits in the socket ahead of the datagram under test. One call reads
    // a bounded batch, so a burst cannot hold the GUI thread; the rest is read on the next passes (at the
    // release tick), in order, and the last frame accepted wins. How long the tick waits in a flood is a
    // figure of the link benchmark.
    void clientAcceptsOnlyFramesFromServer()
    {
        QFETCH(Datagram, datagram);
        const auto &[bytes, sender, accepted] = datagram;
        QUdpSocket peer;
        if (!peer.bind(QHostAddress(sender), 0))
            QSKIP("this machine cannot send from that loopback address");
        TempSettings settings;
        MainWindow window;
        useLink(window, true, QStringLiteral("0")); // any port the system gives
        const quint16 port = Access::udpSocket(window)->localPort();
        for (int i = 0; i < 100; ++i)
            QUdpSocket().writeDatagram(numberedFrame(quint16(i)), QHostAddress::LocalHost, port);
        QCOMPARE(peer.writeDatagram(bytes, QHostAddress::LocalHost, port), qint64(bytes.size()));
        QThread::msleep(100); // no event processing: all of them wait for the call below
        debugLines().clear();
        Access::udpReceive(window);
        QVERIFY(debugLines().count(QStringLiteral("udpReceive")) == 1 &&
                Access::udpSocket(window)->hasPendingDatagrams() &&
                targetsText(window) != levelsText(numberedFrame(0)));
        QTRY_VERIFY_WITH_TIMEOUT(!Access::udpSocket(window)->hasPendingDatagrams(), TimeoutMs);
        QCOMPARE(targetsText(window), levelsText(accepted ? bytes : numberedFrame(99)));
    }

    void consoleSimDeliversEveryFrame_data()
    {
        QTest::addColumn<QString>("arguments");
        // The words 0D0A 0A0D 0A0A 0D0D 550A AA0D: CR LF, LF CR, LF LF, CR CR, and markers before an LF.
        const QString awkward = "--levels=-46.662,-47.427,-47.43,-46.659,-28.23,-6.467 ";
        QTest::newRow("programme levels, random cuts")
            << "--rate max --chunking random --crlf --seed 11 --count 1500";
        for (const char *mode : {"random", "whole", "split", "coalesced"})
            QTest::addRow("awkward words, %s", mode)
                << awkward + "--rate max --crlf --count 300 --chunking " + mode;
        QTest::newRow("default rate") << awkward + "--crlf --count 20";
        QTest::newRow("datagrams") << awkward + "--rate max --count 50 --udp 127.0.0.1:";
    }

    // Through a real pseudo-terminal into a serial port and the decoder, or one frame per datagram.
    void consoleSimDeliversEveryFrame()
    {
        QFETCH(QString, arguments);
        const bool udp = arguments.contains("--udp"), awkward = arguments.contains("--levels");
        const int count = arguments.section("--count ", 1).section(' ', 0, 0).toInt();
        QUdpSocket receiver;
        QSerialPort port;
        FrameStream stream;
        QByteArrayList frames;
        QVERIFY(receiver.bind(QHostAddress::LocalHost, 0, QAbstractSocket::DontShareAddress));
        // Watched by a ticking release tick, then no longer: it is read at once again.
        TickedReads unwatched;
        unwatched.watch(&receiver);
        unwatched.setTicking(true);
        unwatched.watch(nullptr);
        arguments += udp ? QString::number(receiver.localPort()) : QString();
        connect(&receiver, &QUdpSocket::readyRead, this, [&] {
            while (receiver.hasPendingDatagrams())
                frames << receiver.receiveDatagram().data();
        });
        connect(&port, &QSerialPort::readyRead, this, [&] {
            stream.feed(port.readAll(),
                        [&](const char *frame) { frames << QByteArray(frame, LevelFrame::Size); });
        });
        QProcess simulator;
        simulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        simulator.start(qEnvironmentVariable("KOLVANE_TOOLS_DIR") + "/console-sim/console-sim",
                        arguments.split(' '));
        QVERIFY(simulator.waitForStarted(TimeoutMs));
        if (!udp) {
            QTRY_VERIFY_WITH_TIMEOUT(simulator.canReadLine(), TimeoutMs);
            port.setPortName(QString::fromLocal8Bit(simulator.readLine()).trimmed());
            QVERIFY2(port.open(QIODevice::ReadOnly), qPrintable(port.errorString()));
        }
        QTRY_COMPARE_WITH_TIMEOUT(frames.size(), count, 2 * TimeoutMs);
        // It leaves once everything is out, and sends nothing more before that.
        QTRY_COMPARE_WITH_TIMEOUT(simulator.state(), QProcess::NotRunning, 2 * TimeoutMs);
        QVERIFY(simulator.exitStatus() == QProcess::NormalExit && simulator.exitCode() == 0 &&
                frames.size() == count);
        const QByteArray awkwardFrame = LevelFrame::encode({0x0D0A, 0x0A0D, 0x0A0A, 0x0D0D, 0x550A, 0xAA0D});
        QCOMPARE(frames.count(awkwardFrame), awkward ? count : 0);
        // Programme levels stay at most +4 dB (a frame has none below the floor) and keep moving.
        std::set<double> levels;
        for (const QByteArray &frame : qAsConst(frames))
            for (const double db : LevelFrame::decode(frame.constData()))
                levels.insert(db);
        QVERIFY(awkward || (levels.size() > 100 && *levels.rbegin() <= 4.0));
    }

    // The keys as a file may hold them: only a group in 224.0.0.0/4 counts, only a whole TTL from 1 to
    // 255; anything else is the default, and a group not in use leaves the file.
    void storedKeys_data()
    {
        QTest::addColumn<QStringList>("groupTtlUsed");
        for (const char *row : {"239.255.77.77|2|239.255.77.77 2", " 224.0.0.1 |255|224.0.0.1 255", "|x| 1",
                                "223.1.2.3|0| 1", "ff02::1|256| 1", "studio|-1| 1", "240.0.0.0|2.5| 1"})
            QTest::newRow(row) << QString(row).split('|');
    }
    void storedKeys()
    {
        QFETCH(QStringList, groupTtlUsed);
        TempSettings settings;
        settings.write({{"udp_multicast_group", groupTtlUsed[0]}, {"udp_multicast_ttl", groupTtlUsed[1]}});
        auto window = std::make_unique<MainWindow>();
        const LinkSettings &link = Access::linkSettings(*window);
        QCOMPARE(link.multicast_group + ' ' + QString::number(link.multicast_ttl), groupTtlUsed[2]);
        window.reset(); // which stores the settings
        QCOMPARE(settings.value("udp_multicast_group").toString(), groupTtlUsed[2].section(' ', 0, 0));
    }
    // The relay by multicast, with every socket in network namespaces of the test's own. A group is routed
    // only where a router forwards it: the TTL says how far it may go.
    void relaysToTheGroupAcrossTheRouter()
    {
#ifndef Q_OS_LINUX
        QSKIP("network namespaces are Linux's");
#else
        TempSettings settings;
        Pty console;
        NetworkSpaces spaces;
        // Both bridges in the router's namespace: server and a client on br1, the far client on br2.
        const QString port = "link add p%1 type veth peer name eth0 netns %2\nlink set p%1 master br%3 up\n";
        const QString host = "link set lo up\naddr add 10.77.%1/24 dev eth0\nlink set eth0 up\n";
        QString bridges = "link set lo up\n";
        for (const int bridge : {1, 2})
            bridges +=
                QString("link add br%1 type bridge mcast_snooping 0\naddr add 10.77.%1.254/24 dev br%1\n"
                        "link set br%1 up\n")
                    .arg(bridge);
        const bool made =
            spaces.make(SpaceCount - 1) &&
            spaces.run(Router, bridges + port.arg(ServerSpace).arg(spaces.path(ServerSpace)).arg(1) +
                                   port.arg(NearClient).arg(spaces.path(NearClient)).arg(1) +
                                   port.arg(FarClient).arg(spaces.path(FarClient)).arg(2)) &&
            spaces.run(ServerSpace, host.arg("1.1")) && spaces.run(NearClient, host.arg("1.2")) &&
            spaces.run(FarClient, host.arg("2.2") + "route add default via 10.77.2.254\n");
        QVERIFY2(made || !privateNetwork, "cannot make network namespaces");
        if (!made)
            QSKIP("cannot make network namespaces (needs root, iproute2)");
        // On the server's bridge, what the server sends and the hops left in it.
        QUdpSocket probe;
        QList<int> hops;
        QByteArrayList relayed;
        QVERIFY(spaces.enter(Router) && probe.bind(QHostAddress::AnyIPv4, Port.toUShort()) &&
                probe.joinMulticastGroup(QHostAddress(Group), QNetworkInterface::interfaceFromName("br1")));
        connect(&probe, &QUdpSocket::readyRead, [&] {
            const QNetworkDatagram got = probe.receiveDatagram();
            const bool fromServer =
                got.senderAddress() == QHostAddress(ServerAddress) && got.senderPort() == Port.toUShort();
            relayed << (fromServer ? got.data() : "not from the server: " + got.data());
            hops << got.hopLimit();
        });
        // writeDatagram() reports its bytes before it returns: the targets then are those at sending.
        QStringList targetsAtSend;

        const auto setUp = [&](MainWindow &window, int space, int ttl) {
            LinkSettings &link = Access::linkSettings(window);
            link = {space == ServerSpace, true, console.slavePath(), ServerAddress, Port,
                    ServerAddress,        Port};
            link.multicast_group = Group;
            link.multicast_ttl = ttl;
            Access::linkStatus(window)->setTimeout(0); // the levels stay as the last frame left them
            if (!spaces.enter(space))                  // never a link in the machine's own namespace
                return false;
            Access::setupLink(window);
            if (space == ServerSpace)
                connect(Access::udpSocket(window), &QIODevice::bytesWritten,
                        [&targetsAtSend, at = &window] { targetsAtSend << targetsText(*at); });
            return true;
        };
        MainWindow server, near;
        auto far = std::make_unique<MainWindow>();
        QVERIFY(setUp(server, ServerSpace, 2) && setUp(near, NearClient, 2) && setUp(*far, FarClient, 2));
        const auto joined = [&](int space) {
            return spaces.ip(space, "maddr show dev eth0\n").contains(Group);
        };
        // On the server's subnet the client joins where the server is; behind the router, everywhere.
        QVERIFY(joined(NearClient) && joined(FarClient));
        const QByteArray first = numberedFrame(100), second = numberedFrame(200);
        QVERIFY(console.write(first));
        QTRY_COMPARE_WITH_TIMEOUT(targetsText(near), levelsText(first), TimeoutMs);
        // A new set-up replaces the server's port and socket. Its serial reads are not the release tick's:
        // its frames go out as they arrive, each once, in order, byte for byte, with its levels on show.
        QVERIFY(setUp(server, ServerSpace, 1) && openLinks(server) == 2);
        QTRY_VERIFY_WITH_TIMEOUT(!Access::releaseTimer(server)->isActive(), TimeoutMs); // at rest
        Access::processFrame(server, first.constData());                                // wakes the tick,
        Access::releaseTimer(server)->stop();                                           // which then holds
        QVERIFY(console.write(second));
        QTRY_COMPARE_WITH_TIMEOUT(targetsText(near), levelsText(second), TimeoutMs);
        QTest::qWait(QuietMs);
        QCOMPARE(relayed, (QByteArrayList{first, first, second}));
        QCOMPARE(hops, (QList<int>{2, 1, 1}));
        QCOMPARE(targetsAtSend, (QStringList{levelsText(first), levelsText(first), levelsText(second)}));

        // A new link set-up leaves the group; one that cannot join says so once, on the lamp as in the log.
        QVERIFY(spaces.run(NearClient, "link set eth0 down\n") && spaces.enter(NearClient));
        Access::setupLink(near);
        QVERIFY(!joined(NearClient) && Access::linkLamp(near)->state() == StatusLamp::State::Fault);
        QVERIFY(Access::linkStatus(near)->toolTipText().contains("cannot join multicast group " + Group));
        QCOMPARE(debugLines().filter("multicast: cannot join").size(), 1);
        far.reset(); // the program's end leaves it too
        QVERIFY(!joined(FarClient));
#endif
    }
};

QTEST_MAIN(TestLink)
#include "tst_link.moc"
