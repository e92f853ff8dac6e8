// A UDP client under a flood from a loopback sender: the display keeps running and ends on the last frame.

#include "linktesthelpers.h"
#include "mainwindowtestaccess.h"

#include "tempsettings.h"

#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

#include <atomic>
#include <thread>

#ifdef Q_OS_UNIX
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

using Access = MainWindowTestAccess;
using namespace LinkTest;

#ifdef Q_OS_UNIX
namespace {

constexpr int FloodDatagrams = 100000;
constexpr int FloodTimeoutMs = 60000;
constexpr int DrainTimeoutMs = 10000;
constexpr int ArrivalTimeoutMs = 3000;
// The display must keep its 10 ms tick; this bound only catches a frozen loop, even on a loaded machine.
constexpr qint64 LargestTolerableTickGapMs = 250;
constexpr qint64 TolerableRssGrowthBytes = 20 * 1024 * 1024;

qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    if (fields.size() < 2)
        return -1;
    return fields.at(1).toLongLong() * qint64(sysconf(_SC_PAGESIZE));
}

// Sends valid frames from 127.0.0.1 as fast as the kernel takes them, on a thread of its own.
class FloodSender
{
public:
    explicit FloodSender(quint16 port)
    {
        socketFd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ready = socketFd >= 0 && ::bind(socketFd, reinterpret_cast<sockaddr *>(&local), sizeof local) == 0;
        destination.sin_family = AF_INET;
        destination.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        destination.sin_port = htons(port);
    }
    ~FloodSender()
    {
        if (worker.joinable())
            worker.join();
        if (socketFd >= 0)
            ::close(socketFd);
    }
    FloodSender(const FloodSender &) = delete;
    FloodSender &operator=(const FloodSender &) = delete;

    bool isReady() const { return ready; }
    bool isDone() const { return done; }
    int sentCount() const { return sent; }

    void start()
    {
        worker = std::thread([this] {
            for (int i = 0; i < FloodDatagrams; ++i) {
                const QByteArray frame = numberedFrame(quint16(i % 50000));
                if (::sendto(socketFd, frame.constData(), size_t(frame.size()), 0,
                             reinterpret_cast<const sockaddr *>(&destination),
                             sizeof destination) == LevelFrame::Size)
                    ++sent;
            }
            done = true;
        });
    }

private:
    int socketFd = -1;
    bool ready = false;
    sockaddr_in destination{};
    std::thread worker;
    std::atomic<bool> done{false};
    std::atomic<int> sent{0};
};

} // namespace
#endif

class UdpFloodTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void floodKeepsDisplayRunning();
};

void UdpFloodTest::floodKeepsDisplayRunning()
{
#ifndef Q_OS_UNIX
    QSKIP("needs POSIX sockets and /proc");
#else
    TempSettings settings;
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    const quint16 port = freeUdpPort();
    LinkSettings &link = Access::linkSettings(window);
    link.use_udp = true;
    link.is_server = false;
    link.client_host = QStringLiteral("127.0.0.1");
    link.client_port = QString::number(port);
    Access::setupLink(window);
    QUdpSocket *client = Access::udpSocket(window);
    QVERIFY(client && client->state() == QAbstractSocket::BoundState);

    // The debug line comes once per call; counting it instead of printing it keeps the log small.
    MessageCapture messages;
    QElapsedTimer sinceTick;
    qint64 largestGapMs = 0;
    bool measuring = false;
    int ticksMeasured = 0;
    QObject::connect(Access::releaseTimer(window), &QTimer::timeout, &window, [&] {
        if (measuring) {
            largestGapMs = qMax(largestGapMs, sinceTick.elapsed());
            ++ticksMeasured;
        }
        sinceTick.start();
    });
    QTest::qWait(100);
    const qint64 rssBefore = residentBytes();

    FloodSender sender(port);
    QVERIFY(sender.isReady());
    QElapsedTimer flood;
    flood.start();
    sinceTick.start();
    measuring = true;
    sender.start();
    QVERIFY(QTest::qWaitFor([&] { return sender.isDone(); }, FloodTimeoutMs));
    // The client must read what is left, not stop at its per-call bound.
    QVERIFY(QTest::qWaitFor([&] { return !client->hasPendingDatagrams(); }, DrainTimeoutMs));
    QTest::qWait(50);
    measuring = false;
    const qint64 floodMs = flood.elapsed();
    const qint64 rssAfter = residentBytes();

    QUdpSocket peer;
    QVERIFY(peer.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0));
    const QByteArray last = LevelFrame::encodeLevels({1.0, 2.0, 3.0, 4.0, 5.0, 6.0});
    QCOMPARE(peer.writeDatagram(last, QHostAddress(QStringLiteral("127.0.0.1")), port), qint64(last.size()));
    QTRY_COMPARE_WITH_TIMEOUT(levelsText(Access::targetLevels(window)), levelsText(last), ArrivalTimeoutMs);

    qInfo("flood: %d datagrams sent in %lld ms, %d udpReceive calls, largest tick gap %lld ms, RSS %+lld KiB",
          sender.sentCount(), floodMs, messages.count(QStringLiteral("udpReceive")), largestGapMs,
          (rssAfter - rssBefore) / 1024);
    QVERIFY2(ticksMeasured > 10, "the release tick did not run during the flood");
    QVERIFY2(largestGapMs <= LargestTolerableTickGapMs,
             qPrintable(QStringLiteral("release tick stalled for %1 ms").arg(largestGapMs)));
    QVERIFY(rssBefore > 0 && rssAfter > 0);
    QVERIFY2(rssAfter - rssBefore < TolerableRssGrowthBytes,
             qPrintable(QStringLiteral("RSS grew by %1 KiB").arg((rssAfter - rssBefore) / 1024)));
#endif
}

QTEST_MAIN(UdpFloodTest)
#include "tst_udpflood.moc"
