// The UDP server as the window runs it: frames read from a pseudo-terminal are broadcast once each.
// A broadcast must never leave from the machine's own network namespace: the server's socket and a
// receiver's socket are made in two namespaces of the test's own, joined by a veth pair.

#include "linktesthelpers.h"

#include "pty.h"
#include "tempsettings.h"

#include <QNetworkDatagram>
#include <QProcess>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

using namespace LinkTest;

namespace {

const QString ServerAddress = QStringLiteral("10.77.0.1");
constexpr quint16 RelayPort = 5500;
constexpr int RelayedFrames = 40;
constexpr int CommandTimeoutMs = 10000;
constexpr int ArrivalTimeoutMs = 10000;
constexpr int GraceMs = 300; // for a late or duplicated datagram to show up
constexpr int ShortSignalTimeoutMs = 200;

// Runs one ip command in this thread's network namespace; its complaints go to the test's log.
bool ip(const QString &command)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(QStringLiteral("ip"), command.split(QLatin1Char(' ')));
    return process.waitForFinished(CommandTimeoutMs) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// This thread's trip through network namespaces without names: they go away with the last socket
// and descriptor in them, so nothing is left behind even when the test is killed.
class NamespaceTrip
{
public:
    ~NamespaceTrip()
    {
        if (spaces.size() > 1 && !enter(spaces.first()))
            qFatal("cannot return to the machine's own network namespace");
        for (const int space : qAsConst(spaces))
            ::close(space);
    }
    bool enter(int space) { return ::setns(space, CLONE_NEWNET) == 0; }
    // Moves this thread into a new namespace; returns its descriptor, or -1.
    int enterNew() { return ::unshare(CLONE_NEWNET) == 0 ? (spaces << current()).last() : -1; }

private:
    static int current() { return ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC); }
    QVector<int> spaces{current()};
};

} // namespace

class UdpServerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void relaysEachFrameOnceToAnotherNamespace()
    {
        TempSettings settings;
        MainWindow window;
        Pty console;
        LinkSettings &link = Access::linkSettings(window);
        link.use_udp = link.is_server = true;
        link.serialport = console.slavePath();
        link.server_host = ServerAddress;
        link.server_port = QString::number(RelayPort);

        NamespaceTrip trip;
        QUdpSocket receiver;
        const int serverSpace = trip.enterNew();
        const QString peerPath = QStringLiteral("/proc/%1/fd/%2").arg(::getpid()).arg(serverSpace);
        if (serverSpace < 0 || trip.enterNew() < 0 || !receiver.bind(QHostAddress::AnyIPv4, RelayPort) ||
            !ip("link add veth-rcv type veth peer name veth-srv netns " + peerPath) ||
            !ip("link set veth-rcv up") || !trip.enter(serverSpace) ||
            !ip("addr add " + ServerAddress + "/24 dev veth-srv") || !ip("link set veth-srv up")) {
            const QString why = QStringLiteral("cannot make network namespaces (needs root, iproute2): ") +
                                std::strerror(errno);
            // Where the suite must prove the relay, a missing namespace is a failure, not a skip.
            if (qEnvironmentVariable("CI") == QLatin1String("true"))
                QFAIL(qPrintable(why));
            QSKIP(qPrintable(why));
        }
        Access::linkStatus(window)->setTimeout(ShortSignalTimeoutMs);
        Access::setupLink(window); // in the server's namespace
        QUdpSocket *socket = Access::udpSocket(window);
        QVERIFY(socket && socket->state() == QAbstractSocket::BoundState);

        // writeDatagram() reports its bytes before it returns: the targets then are those at sending.
        QStringList targetsAtSend;
        connect(socket, &QIODevice::bytesWritten, [&] { targetsAtSend << targetsText(window); });
        QByteArrayList received;
        int broadcastsFromServer = 0;
        connect(&receiver, &QUdpSocket::readyRead, [&] {
            while (receiver.hasPendingDatagrams()) {
                const QNetworkDatagram datagram = receiver.receiveDatagram();
                received << datagram.data();
                broadcastsFromServer += datagram.senderAddress() == QHostAddress(ServerAddress) &&
                                        datagram.senderPort() == RelayPort &&
                                        datagram.destinationAddress() == QHostAddress::Broadcast;
            }
        });

        // A frame with a broken end marker before every fifth one: it must not be relayed.
        QByteArray broken = numberedFrame(60000);
        broken[LevelFrame::Size - 1] = char(0x54);
        QByteArrayList frames;
        QStringList levels;
        for (int i = 0; i < RelayedFrames; ++i) {
            frames << numberedFrame(quint16(100 * i));
            levels << levelsText(frames.last());
            QVERIFY(console.write((i % 5 == 0 ? broken : QByteArray()) + frames.last()));
        }
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), RelayedFrames, ArrivalTimeoutMs);
        QTest::qWait(GraceMs);
        // Each frame once, in order, byte for byte, broadcast from the server's address and port.
        QCOMPARE(received, frames);
        QCOMPARE(targetsAtSend, levels);
        QCOMPARE(broadcastsFromServer, RelayedFrames);

        // The server watches its own serial frames: quiet, it falls to the floor and relays nothing.
        QTRY_COMPARE_WITH_TIMEOUT(targetsText(window), FloorText, ArrivalTimeoutMs);
        QCOMPARE(Access::linkLamp(window)->state(), StatusLamp::State::Warning);
        QTest::qWait(GraceMs);
        QCOMPARE(received.size(), RelayedFrames);
    }
};

QTEST_MAIN(UdpServerTest)
#include "tst_udpserver.moc"
