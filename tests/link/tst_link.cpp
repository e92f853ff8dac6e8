// The console link with real devices: the window's serial port, UDP client and UDP server with the link
// lamp, the release tick's reads, the console simulator. Pseudo-terminals stand in for serial lines; the
// test runs in a network namespace of its own where it may, so no other test shares its UDP ports.

#include "linktesthelpers.h"

#include "pty.h"
#include "tempsettings.h"
#include "tickedreads.h"

#include <QFile>
#include <QHelpEvent>
#include <QLoggingCategory>
#include <QNetworkDatagram>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>
#include <set>

using namespace LinkTest;
using Lamp = StatusLamp::State;

namespace {

constexpr int TimeoutMs = 15000; // for what comes at once on a quiet machine
constexpr int QuietMs = 300;     // for a notification that is on, or a late datagram, to show up
constexpr int ShortSignalTimeoutMs = 200;
bool privateNetwork = false;
enum Mode
{
    Serial,
    Server,
    Client,
    ClientPortInUse,
};

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

// The console's side of either link: a pseudo-terminal behind a device name of the test's own, or a
// UDP sender on loopback.
struct Console
{
    explicit Console(bool udp = false) : udp(udp) {}
    const bool udp;
    quint16 port = freeUdpPort();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ttyConsole"));
    std::unique_ptr<Pty> pty;
    QUdpSocket sender;

    bool plugIn()
    {
        pty = std::make_unique<Pty>();
        QFile::remove(path);
        return QFile::link(pty->slavePath(), path);
    }
    bool send(const QByteArray &bytes)
    {
        return udp ? sender.writeDatagram(bytes, QHostAddress::LocalHost, port) == bytes.size()
                   : pty->write(bytes);
    }
    // Sends a frame and waits until the window's targets hold it.
    bool arrives(MainWindow &window, const QByteArray &frame)
    {
        return send(frame) &&
               QTest::qWaitFor([&] { return targetsText(window) == levelsText(frame); }, TimeoutMs);
    }
};

} // namespace

class TestLink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=true"));
        qRegisterMetaType<QSerialPort::SerialPortError>(); // for the spy on a port's errors
        privateNetwork = ownNetwork();
        if (!privateNetwork)
            qWarning("no network namespace of its own: the test shares the machine's loopback");
        if (!Pty().isOpen())
            QSKIP("no pseudo-terminals on this machine");
        debugLines();
    }

    void linkLivesAndRests_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("serial") << int(Serial);
        // Serial, and each valid frame relayed once as a broadcast from the NIC's address and the port.
        QTest::newRow("UDP server") << int(Server);
        // The port text's full value is reported and shown; the socket uses its low 16 bits.
        QTest::newRow("UDP client, port beyond 16 bits") << int(Client);
        QTest::newRow("UDP client, port in use") << int(ClientPortInUse);
    }

    // Set up (a serial device plugged in later), the first frame (in two reads on the serial line), quiet
    // down to the floor, the next frame, the device away and back, a second set-up, other modes.
    void linkLivesAndRests()
    {
        QFETCH(int, mode);
        const bool udp = mode >= Client, server = mode == Server;
        // A broadcast must never leave from the machine's own network namespace. Where the suite must
        // prove the relay, a missing namespace is a failure, not a skip.
        if (server && !privateNetwork && qEnvironmentVariable("CI") == QLatin1String("true"))
            QFAIL("no network namespace of its own (needs root)");
        if (server && !privateNetwork)
            QSKIP("no network namespace of its own (needs root)");
        TempSettings settings;
        TempSettings::useApplicationNames();
        TempSettings::store().setValue(QStringLiteral("signal_timeout_ms"), ShortSignalTimeoutMs);
        MainWindow window;
        Console console{udp};
        LinkSettings &link = Access::linkSettings(window);
        link.server_host = QStringLiteral("127.0.0.2"); // the NIC, not the address the receiver is bound to
        link.server_port = QString::number(console.port);
        // The port's other user, or the relay's receiver (bound to the broadcast address, so it shares the
        // port with the server's socket on the NIC's address).
        QUdpSocket other;
        QVERIFY((!server && mode != ClientPortInUse) ||
                other.bind(server ? QHostAddress::Broadcast : QHostAddress::AnyIPv4, console.port,
                           QAbstractSocket::DontShareAddress));
        QByteArrayList sent, relayed;
        connect(&other, &QUdpSocket::readyRead, [&] {
            while (other.hasPendingDatagrams()) {
                const QNetworkDatagram datagram = other.receiveDatagram();
                const bool fromServer = datagram.senderAddress() == QHostAddress(link.server_host) &&
                                        datagram.senderPort() == console.port &&
                                        datagram.destinationAddress() == QHostAddress::Broadcast;
                relayed << (fromServer ? datagram.data()
                                       : "not a broadcast from the server: " + datagram.data());
            }
        });
        // writeDatagram() reports its bytes before it returns: the targets then are those at sending.
        QStringList targetsAtSend;
        const auto watchRelay = [&] {
            if (server)
                connect(Access::udpSocket(window), &QIODevice::bytesWritten,
                        [&] { targetsAtSend << targetsText(window); });
        };
        const auto arrives = [&](const QByteArray &frame) {
            return console.arrives(window, (sent << frame).last());
        };
        const QString source = udp ? QString::number(console.port + 65536) : console.path;
        StatusLamp *lamp = Access::linkLamp(window);
        LinkStatus *status = Access::linkStatus(window);
        debugLines().clear();
        useLink(window, udp, source, server);
        watchRelay();
        QCOMPARE(window.windowTitle(), Title.arg(source));
        const QString bound = mode == ClientPortInUse ? "false" : "true";
        QCOMPARE(debugLines().count(QStringLiteral("bind to port  %1  -  %2").arg(source, bound)), int(udp));
        if (mode == ClientPortInUse) { // red, with the socket's own words in the lamp's tooltip
            QCOMPARE(lamp->state(), Lamp::Fault);
            QVERIFY(lamp->toolTip().contains(Access::udpSocket(window)->errorString()));
            return;
        }
        if (udp || server)
            QCOMPARE(Access::udpSocket(window)->localPort(), console.port);
        if (!udp) { // missing at set-up: red until it is plugged in
            QCOMPARE(lamp->state(), Lamp::Fault);
            QVERIFY(console.plugIn());
            QTRY_COMPARE_WITH_TIMEOUT(openLinks(window), 1 + server, TimeoutMs);
        }
        QCOMPARE(lamp->state(), Lamp::Warning); // open, no frame yet
        QVERIFY(!status->isDeadlineArmed());

        // The first part of a frame waits for the rest (a datagram is whole); each serial read is logged.
        const QByteArray first = LevelFrame::encodeLevels({-30.0, -33.0, -36.0, -40.0, -45.0, -28.0});
        if (!udp) {
            QVERIFY(console.send(first.left(5)));
            QTRY_COMPARE_WITH_TIMEOUT(Access::serialStream(window).pendingBytes(), 5, TimeoutMs);
            QVERIFY(debugLines().contains(QStringLiteral("data arrived.. ")));
        }
        sent << first;
        QVERIFY(console.send(first.mid(udp ? 0 : 5)));
        QTRY_COMPARE_WITH_TIMEOUT(targetsText(window), levelsText(first), TimeoutMs);
        QCOMPARE(lamp->state(), Lamp::Good);

        // No more frames, the link still open: the meters fall to the floor and rest there.
        QTRY_COMPARE_WITH_TIMEOUT(targetsText(window), FloorText, TimeoutMs);
        QCOMPARE(lamp->state(), Lamp::Warning);
        QCOMPARE(status->signalState(), SignalWatch::State::Lost);
        QVERIFY(!status->isDeadlineArmed()); // a quiet link keeps no timer running
        QTRY_VERIFY_WITH_TIMEOUT(!Access::releaseTimer(window)->isActive(), TimeoutMs);
        QCOMPARE(Access::ui(window)->ProgLeft->dBPosition(), LevelFrame::FloorDb);
        // The next frames (in one read on the serial line), after one with a broken end marker: the levels
        // are back at once, and the last frame shows.
        QByteArray broken = numberedFrame(60000);
        broken[LevelFrame::Size - 1] = char(0x54);
        QVERIFY(console.send(broken) && console.send((sent << numberedFrame(29000)).last()));
        QVERIFY(arrives(numberedFrame(30000)));
        QCOMPARE(lamp->state(), Lamp::Good);
        QCOMPARE(debugLines().filter(QRegularExpression("^signal lost: ")).size(), 1);
        QCOMPARE(debugLines().filter(QRegularExpression("^signal back: ")).size(), 2);
        // The tooltip is worked out when it is about to show.
        lamp->setToolTip(QStringLiteral("stale"));
        QHelpEvent show(QEvent::ToolTip, QPoint(2, 2), lamp->mapToGlobal(QPoint(2, 2)));
        QCoreApplication::sendEvent(lamp, &show);
        QVERIFY2(lamp->toolTip().contains(source) && lamp->toolTip().contains("Frames in the last second: "),
                 qPrintable(lamp->toolTip()));

        // While the meters move, the release tick takes the reads: what arrives waits for the tick, and all
        // of it comes in the tick's one read. A server's frames go out as they arrive, not a tick later.
        const QByteArray held[] = {numberedFrame(500), numberedFrame(600)};
        status->setTimeout(0); // from here on only the link itself may take the meters down
        Access::processFrame(window, (sent << first).last().constData()); // wakes the tick,
        Access::releaseTimer(window)->stop();                             // which then holds
        QVERIFY(console.send((sent << held[0]).last()) && console.send((sent << held[1]).last()));
        QTest::qWait(QuietMs);
        QCOMPARE(targetsText(window), levelsText(server ? held[1] : first));
        Access::meterRelease(window);
        QCOMPARE(targetsText(window), levelsText(held[1]));
        Access::releaseTimer(window)->start();

        if (!udp) {
            // The device goes away while the tick holds the reads: the hang-up comes with the tick, as
            // the port's own error. An open port on a vanished device would report errors in a busy loop,
            // hundreds of thousands a second; a handled loss reports a few. Counted, not timed.
            QSignalSpy errors(Access::serialPort(window), &QSerialPort::errorOccurred);
            Access::processFrame(window, (sent << first).last().constData()); // the meters rise
            Access::releaseTimer(window)->stop();
            console.pty->closeMaster();
            Access::meterRelease(window);
            QTest::qWait(1000);
            QVERIFY2(errors.count() < 10, qPrintable(QStringLiteral("%1 error reports").arg(errors.count())));
            QCOMPARE(openLinks(window), 0 + server);
            QCOMPARE(targetsText(window), FloorText);
            QCOMPARE(lamp->state(), Lamp::Fault);
            // Back under the same name: picked up by the retry, which then stops.
            QVERIFY(console.plugIn());
            QTRY_COMPARE_WITH_TIMEOUT(openLinks(window), 1 + server, TimeoutMs);
            QVERIFY(!Access::serialRetryTimer(window)->isActive());
            QCOMPARE(lamp->state(), Lamp::Warning);
            QVERIFY(arrives(numberedFrame(2000)));
            QCOMPARE(lamp->state(), Lamp::Good);
        }

        // A second set-up replaces the port and socket: one of each left, and they alone work.
        Access::setupLink(window);
        watchRelay();
        QCOMPARE(openLinks(window), 1 + server);
        QCOMPARE(lamp->state(), Lamp::Warning);
        QVERIFY(arrives(numberedFrame(400)));
        // Each frame relayed once, in order, byte for byte, with the levels on the display; nothing else.
        QTest::qWait(server ? QuietMs : 0);
        QCOMPARE(relayed, server ? sent : QByteArrayList());
        QStringList levels;
        for (const QByteArray &frame : qAsConst(sent))
            levels << levelsText(frame);
        QCOMPARE(targetsAtSend, server ? levels : QStringList());
        if (!udp) {
            QSerialPort *port = Access::serialPort(window);
            QCOMPARE(port->openMode(), QIODevice::ReadWrite);
            QCOMPARE((QVector<int>{port->baudRate(QSerialPort::Input), port->baudRate(QSerialPort::Output),
                                   port->dataBits(), port->parity(), port->stopBits(), port->flowControl()}),
                     (QVector<int>{115200, 115200, QSerialPort::Data8, QSerialPort::NoParity,
                                   QSerialPort::OneStop, QSerialPort::NoFlowControl}));
            useLink(window, true, QStringLiteral("0"));
            QVERIFY(!Access::serialPort(window) && openLinks(window) == 1);
        }
        // Serial mode closes the client: the port is free again. An empty port name is shown as it is,
        // and there is nothing to try again.
        other.close();
        useLink(window, false, QString());
        QVERIFY(!Access::udpSocket(window) && openLinks(window) == 0);
        QVERIFY(QUdpSocket().bind(QHostAddress::Any, console.port, QAbstractSocket::DontShareAddress));
        QCOMPARE(window.windowTitle(), Title.arg(QString()));
        QVERIFY(!Access::serialRetryTimer(window)->isActive());
        QCOMPARE(lamp->state(), Lamp::Off);
    }

    void clientAcceptsOnlyFramesFromServer_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("sender");
        QTest::addColumn<bool>("accepted");
        const QByteArray frame = LevelFrame::encodeLevels({-12.5, -6.0, 0.0, 3.25, -49.0, 10.0});
        const QString server = QStringLiteral("127.0.0.1");
        QTest::newRow("frame from server") << frame << server << true;
        // The whole of 127/8 is loopback on Linux: a second local address stands in for a stranger.
        QTest::newRow("frame from another address") << frame << QStringLiteral("127.0.0.2") << false;
        QTest::newRow("15 bytes") << frame.left(15) << server << false;
        QTest::newRow("17 bytes") << frame + char(0x55) << server << false;
        QTest::newRow("empty datagram") << QByteArray() << server << false;
        // The frame test itself is checked on the stream, with every marker byte.
        QTest::newRow("wrong end marker") << frame.left(15) + char(0x54) << server << false;
    }

    // Two frames of the server wait in the socket ahead of the datagram under test: the one call
    // reads all three in order, and the last frame it accepts wins.
    void clientAcceptsOnlyFramesFromServer()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(QString, sender);
        QFETCH(bool, accepted);
        Console server{true};
        QUdpSocket peer;
        if (!peer.bind(QHostAddress(sender), 0))
            QSKIP("this machine cannot send from that loopback address");
        TempSettings settings;
        MainWindow window;
        useLink(window, true, QStringLiteral("0")); // any port the system gives
        server.port = Access::udpSocket(window)->localPort();
        QVERIFY(server.send(numberedFrame(100)) && server.send(numberedFrame(200)));
        QCOMPARE(peer.writeDatagram(datagram, QHostAddress::LocalHost, server.port), qint64(datagram.size()));
        QThread::msleep(100); // no event processing: all three wait for the call below
        debugLines().clear();
        Access::udpReceive(window);
        QCOMPARE(debugLines().count(QStringLiteral("udpReceive")), 1);
        QVERIFY(!Access::udpSocket(window)->hasPendingDatagrams());
        QCOMPARE(targetsText(window), levelsText(accepted ? datagram : numberedFrame(200)));
    }

    // One call reads a bounded batch, so a burst cannot hold the GUI thread; the rest is read on the next
    // passes (at the release tick), and the last frame shows. How long the tick waits in a flood is a
    // figure of the link benchmark.
    void clientReadsBurstInBatches()
    {
        TempSettings settings;
        MainWindow window;
        Console server{true};
        useLink(window, true, QStringLiteral("0")); // any port the system gives
        server.port = Access::udpSocket(window)->localPort();
        for (int i = 0; i < 100; ++i)
            QVERIFY(server.send(numberedFrame(quint16(i))));
        QThread::msleep(100); // no event processing: all wait for the call below
        Access::udpReceive(window);
        QVERIFY(Access::udpSocket(window)->hasPendingDatagrams());
        QTRY_COMPARE_WITH_TIMEOUT(targetsText(window), levelsText(numberedFrame(99)), TimeoutMs);
        QVERIFY(!Access::udpSocket(window)->hasPendingDatagrams());
    }

    // A device no longer watched is read at once again, even while the tick runs.
    void unwatchedDeviceReadsAtOnce()
    {
        QUdpSocket receiver;
        QVERIFY(receiver.bind(QHostAddress::LocalHost, 0, QAbstractSocket::DontShareAddress));
        QSignalSpy reads(&receiver, &QUdpSocket::readyRead);
        TickedReads ticked;
        ticked.watch(&receiver);
        ticked.setTicking(true);
        ticked.watch(nullptr);
        QUdpSocket().writeDatagram(numberedFrame(1), QHostAddress::LocalHost, receiver.localPort());
        QVERIFY(reads.wait(TimeoutMs));
    }

    void consoleSimDeliversEveryFrame_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("count");
        // The words 0D0A 0A0D 0A0A 0D0D 550A AA0D: CR LF, LF CR, LF LF, CR CR, and markers before an LF.
        const QStringList awkward = {"--levels", "-46.662,-47.427,-47.43,-46.659,-28.23,-6.467"};
        QTest::newRow("programme levels, random cuts")
            << QStringList{"--rate", "max", "--chunking", "random", "--crlf", "--seed", "11"} << 1500;
        for (const char *mode : {"random", "whole", "split", "coalesced"})
            QTest::addRow("awkward words, %s", mode)
                << awkward + QStringList{"--rate", "max", "--crlf", "--chunking", mode} << 300;
        QTest::newRow("default rate") << awkward + QStringList{"--crlf"} << 20;
        QTest::newRow("datagrams") << awkward + QStringList{"--rate", "max", "--udp", "127.0.0.1:"} << 50;
    }

    // Through a real pseudo-terminal into a serial port and the decoder, or one frame per datagram.
    void consoleSimDeliversEveryFrame()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, count);
        const QByteArray awkwardFrame = LevelFrame::encode({0x0D0A, 0x0A0D, 0x0A0A, 0x0D0D, 0x550A, 0xAA0D});
        const QString program = qEnvironmentVariable("KOLVANE_TOOLS_DIR") + "/console-sim/console-sim";
        QUdpSocket receiver;
        QSerialPort port;
        FrameStream stream;
        QByteArrayList frames;
        const bool udp = arguments.contains("--udp");
        if (udp) {
            QVERIFY(receiver.bind(QHostAddress::LocalHost, 0, QAbstractSocket::DontShareAddress));
            arguments.last() += QString::number(receiver.localPort());
            connect(&receiver, &QUdpSocket::readyRead, this, [&] {
                while (receiver.hasPendingDatagrams())
                    frames << receiver.receiveDatagram().data();
            });
        }
        QProcess simulator;
        simulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        simulator.start(program, arguments + QStringList{"--count", QString::number(count)});
        QVERIFY2(simulator.waitForStarted(TimeoutMs), qPrintable(program));
        if (!udp) {
            QTRY_VERIFY_WITH_TIMEOUT(simulator.canReadLine(), TimeoutMs);
            port.setPortName(QString::fromLocal8Bit(simulator.readLine()).trimmed());
            QVERIFY2(port.open(QIODevice::ReadOnly), qPrintable(port.errorString()));
            connect(&port, &QSerialPort::readyRead, this, [&] {
                stream.feed(port.readAll(),
                            [&](const char *frame) { frames << QByteArray(frame, LevelFrame::Size); });
            });
        }
        QTRY_COMPARE_WITH_TIMEOUT(frames.size(), count, 2 * TimeoutMs);
        // It leaves once everything is out, and sends nothing more before that.
        QTRY_COMPARE_WITH_TIMEOUT(simulator.state(), QProcess::NotRunning, 2 * TimeoutMs);
        QVERIFY(simulator.exitStatus() == QProcess::NormalExit && simulator.exitCode() == 0);
        QCOMPARE(frames.size(), count);
        QCOMPARE(frames.count(awkwardFrame), arguments.contains("--levels") ? count : 0);
        // Programme levels stay between the floor and +4 dB and keep moving.
        std::set<double> levels;
        for (const QByteArray &frame : qAsConst(frames))
            for (const double db : LevelFrame::decode(frame.constData()))
                levels.insert(db);
        QVERIFY(arguments.contains("--levels") ||
                (levels.size() > 100 && *levels.begin() >= LevelFrame::FloorDb && *levels.rbegin() <= 4.0));
    }

    // A failed link or a lost signal rests the silence alarm: an alarm on goes off, one coming never comes.
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
        settings.write({{"silence_alarm", 1}, {"silence_delay_s", 1}, {"signal_timeout_ms", 0}});
        MainWindow window;
        Pty console;
        useLink(window, false, console.slavePath());
        SilenceWatch *watch = Access::silenceWatch(window);
        QVERIFY(console.write(LevelFrame::encodeLevels({-50.0, -50.0, 0.0, 0.0, 0.0, 0.0})));
        QTRY_VERIFY_WITH_TIMEOUT(alarmFirst ? watch->isAlarmOn()
                                            : Access::linkLamp(window)->state() == Lamp::Good,
                                 TimeoutMs);
        if (deviceGone)
            console.closeMaster();
        else
            Access::linkStatus(window)->setTimeout(ShortSignalTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(Access::linkLamp(window)->state(), deviceGone ? Lamp::Fault : Lamp::Warning,
                                  TimeoutMs);
        QVERIFY(!watch->isAlarmOn());
        QCOMPARE(watch->state().nextDeadlineMs(), SilenceAlarm::NoDeadline); // nor will it come on
    }
};

QTEST_MAIN(TestLink)
#include "tst_link.moc"
