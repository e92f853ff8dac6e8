// The UDP client as the window runs it, with real sockets on loopback.

#include "linktesthelpers.h"
#include "mainwindowtestaccess.h"

#include "tempsettings.h"

#include <QLoggingCategory>
#include <QPointer>
#include <QThread>
#include <QtTest>

using Access = MainWindowTestAccess;
using namespace LinkTest;

namespace {

constexpr int ArrivalTimeoutMs = 3000;
// The whole of 127/8 is loopback on Linux: a second local address stands in for a stranger.
const QHostAddress Server(QStringLiteral("127.0.0.1"));
const QHostAddress Stranger(QStringLiteral("127.0.0.2"));
const QString UdpReceiveLine = QStringLiteral("udpReceive");

void useClient(MainWindow &window, const QString &port)
{
    LinkSettings &link = Access::linkSettings(window);
    link.use_udp = true;
    link.is_server = false;
    link.client_host = Server.toString();
    link.client_port = port;
    Access::setupLink(window);
}

QByteArray withByte(QByteArray frame, int index, char value)
{
    frame[index] = value;
    return frame;
}

} // namespace

class UdpClientTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void bindLineAndTitle_data();
    void bindLineAndTitle();
    void acceptsOnlyFramesFromServer_data();
    void acceptsOnlyFramesFromServer();
    void drainsQueuedDatagramsInOneCall();
    void serialModeReleasesClientSocket();

private:
    bool canSendFrom(const QHostAddress &address);
};

void UdpClientTest::initTestCase()
{
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=true"));
    QVERIFY(freeUdpPort() != 0);
}

bool UdpClientTest::canSendFrom(const QHostAddress &address)
{
    QUdpSocket probe;
    return probe.bind(address, 0);
}

void UdpClientTest::bindLineAndTitle_data()
{
    QTest::addColumn<uint>("portOffset");
    QTest::addColumn<bool>("portInUse");

    QTest::newRow("free port") << 0u << false;
    // The text's full value is reported and shown; the socket uses its low 16 bits.
    QTest::newRow("port beyond 16 bits") << 65536u << false;
    QTest::newRow("port in use") << 0u << true;
}

void UdpClientTest::bindLineAndTitle()
{
    QFETCH(uint, portOffset);
    QFETCH(bool, portInUse);

    const quint16 port = freeUdpPort();
    QVERIFY(port != 0);
    QUdpSocket holder;
    if (portInUse)
        QVERIFY(holder.bind(QHostAddress::Any, port, QAbstractSocket::DontShareAddress));

    TempSettings settings;
    MainWindow window;
    const uint configured = port + portOffset;
    MessageCapture messages;
    useClient(window, QString::number(configured));

    const QString result = portInUse ? QStringLiteral("false") : QStringLiteral("true");
    QCOMPARE(messages.count(QStringLiteral("bind to port  %1  -  %2").arg(configured).arg(result)), 1);
    QCOMPARE(window.windowTitle(), QStringLiteral("Kolvane Meters - (%1)").arg(configured));
    QUdpSocket *socket = Access::udpSocket(window);
    QVERIFY(socket);
    QCOMPARE(socket->state() == QAbstractSocket::BoundState, !portInUse);
    if (!portInUse)
        QCOMPARE(socket->localPort(), port);
    QVERIFY(!Access::serialPort(window));
}

void UdpClientTest::acceptsOnlyFramesFromServer_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QString>("sender");
    QTest::addColumn<bool>("accepted");

    const QByteArray frame = LevelFrame::encodeLevels({-12.5, -6.0, 0.0, 3.25, -49.0, 10.0});
    const QString server = Server.toString();
    QTest::newRow("frame from server") << frame << server << true;
    QTest::newRow("frame from another address") << frame << Stranger.toString() << false;
    QTest::newRow("15 bytes") << frame.left(15) << server << false;
    QTest::newRow("17 bytes") << frame + QByteArray(1, char(0x55)) << server << false;
    // Carriage-return removal belongs to the serial line: a datagram is taken as it is.
    const QByteArray withLineFeed = LevelFrame::encode({0x010A, 1, 2, 3, 4, 5});
    QTest::newRow("17 bytes holding CR LF") << QByteArray(withLineFeed).insert(3, '\r') << server << false;
    QTest::newRow("empty datagram") << QByteArray() << server << false;
    QTest::newRow("large datagram") << frame.repeated(64) << server << false;
    QTest::newRow("wrong first start marker") << withByte(frame, 0, char(0xAB)) << server << false;
    QTest::newRow("wrong second start marker") << withByte(frame, 1, char(0x00)) << server << false;
    QTest::newRow("wrong first end marker") << withByte(frame, 14, char(0x54)) << server << false;
    QTest::newRow("wrong second end marker") << withByte(frame, 15, char(0xAA)) << server << false;
}

void UdpClientTest::acceptsOnlyFramesFromServer()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QString, sender);
    QFETCH(bool, accepted);

    const QHostAddress senderAddress(sender);
    if (!canSendFrom(senderAddress))
        QSKIP("this machine cannot send from that loopback address");

    TempSettings settings;
    MainWindow window;
    const quint16 port = freeUdpPort();
    useClient(window, QString::number(port));
    QUdpSocket *client = Access::udpSocket(window);
    QVERIFY(client && client->state() == QAbstractSocket::BoundState);

    QUdpSocket peer;
    QVERIFY(peer.bind(senderAddress, 0));
    QCOMPARE(peer.writeDatagram(datagram, Server, port), qint64(datagram.size()));

    // waitForReadyRead() emits readyRead(), so the window handles the datagram right here.
    MessageCapture messages;
    QVERIFY(client->waitForReadyRead(ArrivalTimeoutMs));
    QCOMPARE(messages.count(UdpReceiveLine), 1);
    QCOMPARE(levelsText(Access::targetLevels(window)), accepted ? levelsText(datagram) : floorText());
    // An ignored datagram is read and dropped, never left waiting in the socket.
    QVERIFY(!client->hasPendingDatagrams());
}

void UdpClientTest::drainsQueuedDatagramsInOneCall()
{
    TempSettings settings;
    MainWindow window;
    const quint16 port = freeUdpPort();
    useClient(window, QString::number(port));
    QUdpSocket *client = Access::udpSocket(window);
    QVERIFY(client && client->state() == QAbstractSocket::BoundState);

    QUdpSocket peer;
    QVERIFY(peer.bind(Server, 0));
    const QByteArray frames[] = {numberedFrame(100), numberedFrame(200), numberedFrame(300)};
    for (const QByteArray &frame : frames)
        QCOMPARE(peer.writeDatagram(frame, Server, port), qint64(LevelFrame::Size));

    // No event processing here, so all three wait in the socket until the one call below.
    for (int attempt = 0; attempt < 100 && !client->hasPendingDatagrams(); ++attempt)
        QThread::msleep(10);
    QThread::msleep(50);
    QVERIFY(client->hasPendingDatagrams());

    MessageCapture messages;
    Access::udpReceive(window);
    QCOMPARE(messages.count(UdpReceiveLine), 1);
    QVERIFY(!client->hasPendingDatagrams());
    // The last one read wins: in arrival order that is the third.
    QCOMPARE(levelsText(Access::targetLevels(window)), levelsText(frames[2]));
}

void UdpClientTest::serialModeReleasesClientSocket()
{
    TempSettings settings;
    MainWindow window;
    const quint16 port = freeUdpPort();
    useClient(window, QString::number(port));
    QPointer<QUdpSocket> former = Access::udpSocket(window);
    QVERIFY(former && former->state() == QAbstractSocket::BoundState);

    LinkSettings &link = Access::linkSettings(window);
    link.use_udp = false;
    link.serialport.clear();
    Access::setupLink(window);

    QVERIFY(!Access::udpSocket(window));
    QVERIFY(!former || former->state() == QAbstractSocket::UnconnectedState);

    // Frames of the former server no longer reach the meters next to the serial ones.
    QUdpSocket peer;
    QVERIFY(peer.bind(Server, 0));
    const QByteArray frame = numberedFrame(500);
    peer.writeDatagram(frame, Server, port);
    QTest::qWait(200);
    QCOMPARE(levelsText(Access::targetLevels(window)), floorText());

    // The port is free again for anybody else.
    QUdpSocket successor;
    QVERIFY(successor.bind(QHostAddress::Any, port, QAbstractSocket::DontShareAddress));
}

QTEST_MAIN(UdpClientTest)
#include "tst_udpclient.moc"
