// The UDP client as the window runs it, with real sockets on loopback, also under a flood.

#include "linktesthelpers.h"

#include "tempsettings.h"

#include <QFile>
#include <QLoggingCategory>
#include <QPointer>
#include <QRegularExpression>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <memory>

using namespace LinkTest;

namespace {

constexpr int ArrivalTimeoutMs = 10000;
const QString UdpReceiveLine = QStringLiteral("udpReceive");
constexpr int FloodDatagrams = 100000;
constexpr int FloodTimeoutMs = 60000;
// The display must keep its 10 ms tick. A loop that drained the whole flood would freeze it for the
// seconds the flood lasts; a bounded one leaves gaps of tens of ms, even in a sanitizer build on a busy
// machine. The bound sits between the two.
constexpr qint64 LargestTolerableTickGapMs = 1000;
constexpr qint64 TolerableRssGrowthKiB = 20 * 1024;
#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer keeps freed memory in quarantine, so the resident size says nothing about leaks.
constexpr bool RssMeansMemoryUse = false;
#else
constexpr bool RssMeansMemoryUse = true;
#endif

// Resident set size from /proc, or -1 where there is none.
qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    const QRegularExpressionMatch rss =
        QRegularExpression(QStringLiteral("VmRSS:\\s*(\\d+) kB"))
            .match(status.open(QIODevice::ReadOnly) ? status.readAll() : QString());
    return rss.hasMatch() ? rss.captured(1).toLongLong() : -1;
}

} // namespace

class UdpClientTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLoggingCategory::setFilterRules(QStringLiteral("default.debug=true")); }

    void bindLineAndTitle_data()
    {
        QTest::addColumn<uint>("portOffset");
        QTest::addColumn<bool>("portInUse");
        QTest::newRow("free port") << 0u << false;
        // The text's full value is reported and shown; the socket uses its low 16 bits.
        QTest::newRow("port beyond 16 bits") << 65536u << false;
        QTest::newRow("port in use") << 0u << true;
    }

    void bindLineAndTitle()
    {
        QFETCH(uint, portOffset);
        QFETCH(bool, portInUse);
        const quint16 port = freeUdpPort();
        QUdpSocket holder;
        QVERIFY(!portInUse || holder.bind(QHostAddress::Any, port, QAbstractSocket::DontShareAddress));
        TempSettings settings;
        MainWindow window;
        debugLines().clear();
        const QString configured = QString::number(port + portOffset);
        useLink(window, true, configured);
        const QString bindLine =
            QStringLiteral("bind to port  %1  -  %2").arg(configured, portInUse ? "false" : "true");
        QCOMPARE(debugLines().count(bindLine), 1);
        QCOMPARE(window.windowTitle(), Title.arg(configured));
        QPointer<QUdpSocket> socket = Access::udpSocket(window);
        QVERIFY(socket && !Access::serialPort(window));
        QCOMPARE(socket->state() == QAbstractSocket::BoundState && socket->localPort() == port, !portInUse);
        // A failed bind shows red, with the socket's own words in the lamp's tooltip.
        QCOMPARE(Access::linkLamp(window)->state(),
                 portInUse ? StatusLamp::State::Fault : StatusLamp::State::Warning);
        QCOMPARE(Access::linkLamp(window)->toolTip().contains(socket->errorString()), portInUse);

        // Serial mode closes the client: the former server's frames reach nobody, the port is free again.
        useLink(window, false, QString());
        QVERIFY(!Access::udpSocket(window) &&
                (!socket || socket->state() == QAbstractSocket::UnconnectedState));
        QVERIFY(portInUse || holder.bind(QHostAddress::Any, port, QAbstractSocket::DontShareAddress));
    }

    void acceptsOnlyFramesFromServer_data()
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
        QTest::newRow("frames in one datagram") << frame.repeated(64) << server << false;
        for (const int index : {0, 1, 14, 15}) {
            QByteArray broken = frame;
            broken[index] = char(broken[index] ^ 0x01);
            QTest::addRow("wrong marker byte %d", index) << broken << server << false;
        }
    }

    // Two frames of the server wait in the socket ahead of the datagram under test: the one call
    // reads all three in order, and the last frame it accepts wins.
    void acceptsOnlyFramesFromServer()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(QString, sender);
        QFETCH(bool, accepted);
        QUdpSocket server;
        QUdpSocket peer;
        if (!peer.bind(QHostAddress(sender), 0))
            QSKIP("this machine cannot send from that loopback address");
        TempSettings settings;
        MainWindow window;
        const quint16 port = freeUdpPort();
        useLink(window, true, QString::number(port));
        for (const quint16 seed : {100, 200})
            server.writeDatagram(numberedFrame(seed), QHostAddress::LocalHost, port);
        QCOMPARE(peer.writeDatagram(datagram, QHostAddress::LocalHost, port), qint64(datagram.size()));
        QThread::msleep(100); // no event processing: all three wait for the call below
        debugLines().clear();
        Access::udpReceive(window);
        QCOMPARE(debugLines().count(UdpReceiveLine), 1);
        QVERIFY(!Access::udpSocket(window)->hasPendingDatagrams());
        QCOMPARE(targetsText(window), levelsText(accepted ? datagram : numberedFrame(200)));
    }

    // One call reads a bounded batch, so a burst cannot hold the GUI thread. Then 100,000 datagrams
    // from a loopback sender: the display keeps running and ends on the last frame.
    void floodKeepsDisplayRunning()
    {
        if (residentKiB() < 0)
            QSKIP("needs /proc to watch the memory");
        TempSettings settings;
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const quint16 port = freeUdpPort();
        useLink(window, true, QString::number(port));
        QUdpSocket burst;
        for (int i = 0; i < 100; ++i)
            burst.writeDatagram(numberedFrame(quint16(i)), QHostAddress::LocalHost, port);
        QThread::msleep(100); // no event processing: all wait for the call below
        Access::udpReceive(window);
        QVERIFY(Access::udpSocket(window)->hasPendingDatagrams());
        debugLines().clear(); // counting the line once per call instead of printing it keeps the log small
        const qint64 rssBefore = residentKiB();

        std::atomic<int> sent{0};
        const std::unique_ptr<QThread> sender(QThread::create([&] {
            QUdpSocket socket;
            for (int i = 0; i < FloodDatagrams; ++i)
                sent += socket.writeDatagram(numberedFrame(quint16(i % 50000)), QHostAddress::LocalHost,
                                             port) > 0;
        }));
        QElapsedTimer sinceTick;
        qint64 largestGapMs = 0;
        int ticks = 0;
        const QMetaObject::Connection ticking = connect(Access::releaseTimer(window), &QTimer::timeout, [&] {
            largestGapMs = qMax(largestGapMs, sinceTick.restart());
            ++ticks;
        });
        sinceTick.start();
        sender->start();
        QVERIFY(QTest::qWaitFor([&] { return sender->isFinished(); }, FloodTimeoutMs));
        // The client must read what is left, not stop at its per-call bound.
        QVERIFY(QTest::qWaitFor([&] { return !Access::udpSocket(window)->hasPendingDatagrams(); },
                                ArrivalTimeoutMs));
        disconnect(ticking);
        const qint64 rssGrowth = residentKiB() - rssBefore;

        // A distinct frame a moment later is what the targets then hold.
        const QByteArray last = LevelFrame::encodeLevels({1.0, 2.0, 3.0, 4.0, 5.0, 6.0});
        QUdpSocket().writeDatagram(last, QHostAddress::LocalHost, port);
        QTRY_COMPARE_WITH_TIMEOUT(targetsText(window), levelsText(last), ArrivalTimeoutMs);

        qInfo("%d datagrams sent, %d udpReceive calls, largest tick gap %lld ms, RSS %+lld KiB", int(sent),
              int(debugLines().count(UdpReceiveLine)), largestGapMs, rssGrowth);
        QVERIFY2(ticks > 10, "the release tick did not run during the flood");
        QVERIFY2(largestGapMs <= LargestTolerableTickGapMs, "the release tick stalled");
        QVERIFY2(!RssMeansMemoryUse || rssGrowth < TolerableRssGrowthKiB, "the memory grew");
    }
};

QTEST_MAIN(UdpClientTest)
#include "tst_udpclient.moc"
