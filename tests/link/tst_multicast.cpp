// The relay by multicast, with every socket in network namespaces of the test's own: a server and two
// clients on one bridge, a third client on a second bridge behind a router namespace that runs smcroute.

#include "linktesthelpers.h"

#include "pty.h"
#include "tempsettings.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QProcess>
#include <QtTest>

#include <fcntl.h>
#include <memory>
#include <sched.h>
#include <unistd.h>

using namespace LinkTest;

namespace {

const QString Group = QStringLiteral("239.255.77.77"), Server = QStringLiteral("10.77.1.1");
const QString Port = QStringLiteral("5600");
constexpr int TimeoutMs = 10000, GraceMs = 300;
// The network namespaces: the machine's own, then the test's.
constexpr int Own = 0, Router = 1, ServerSpace = 2, Client1 = 3, Client2 = 4, RoutedClient = 5,
              SpaceCount = 6;

// Namespaces without names, entered by descriptor: they go with the last socket and process in them,
// so nothing is left behind even when the test is killed.
class Spaces
{
public:
    ~Spaces()
    {
        if (fds.size() > 1 && !enter(Own))
            qFatal("cannot return to the machine's own network namespace");
        for (const int fd : qAsConst(fds))
            ::close(fd);
    }
    bool make()
    {
        fds << current();
        while (fds.size() < SpaceCount && ::unshare(CLONE_NEWNET) == 0)
            fds << current();
        return fds.size() == SpaceCount && enter(Own);
    }
    bool enter(int space) { return ::setns(fds.at(space), CLONE_NEWNET) == 0; }
    QString path(int space) const
    {
        return QStringLiteral("/proc/%1/fd/%2").arg(::getpid()).arg(fds.at(space));
    }
    // Runs ip's commands, one a line, in the namespace: its output, or a null string if one failed.
    QString ip(int space, const QString &commands)
    {
        QProcess ip;
        ip.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        if (!enter(space))
            return QString();
        ip.start(QStringLiteral("ip"), {QStringLiteral("-batch"), QStringLiteral("-")});
        ip.write(commands.toLatin1());
        ip.closeWriteChannel();
        const bool done =
            ip.waitForFinished(TimeoutMs) && ip.exitStatus() == QProcess::NormalExit && ip.exitCode() == 0;
        return done ? QString::fromLatin1(ip.readAllStandardOutput()) + ' ' : QString();
    }
    bool run(int space, const QString &commands) { return !ip(space, commands).isNull(); }

private:
    static int current() { return ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC); }
    QVector<int> fds;
};

} // namespace

class MulticastTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The keys as a file may hold them: only a group in 224.0.0.0/4 counts, only a whole TTL from 1 to
    // 255; anything else is the default, and a group not in use leaves the file.
    void storedKeys_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("ttl");
        QTest::addColumn<QString>("used");
        for (const char *row : {"239.255.77.77|2|239.255.77.77 2", " 224.0.0.1 |255|224.0.0.1 255", "|x| 1",
                                "223.1.2.3|0| 1", "ff02::1|256| 1", "studio|-1| 1", "240.0.0.0|2.5| 1"})
            QTest::newRow(row) << QString(row).section('|', 0, 0) << QString(row).section('|', 1, 1)
                               << QString(row).section('|', 2);
    }
    void storedKeys()
    {
        QFETCH(QString, group);
        QFETCH(QString, ttl);
        QFETCH(QString, used);
        TempSettings settings;
        TempSettings::store().setValue("udp_multicast_group", group);
        TempSettings::store().setValue("udp_multicast_ttl", ttl);
        {
            MainWindow window;
            const LinkSettings &link = Access::linkSettings(window);
            QCOMPARE(link.multicast_group + ' ' + QString::number(link.multicast_ttl), used);
        }
        QCOMPARE(TempSettings::store().value("udp_multicast_group").toString(), used.section(' ', 0, 0));
    }
    void relaysToTheGroupAcrossTheRouter()
    {
        debugLines();
        TempSettings settings;
        Pty console;
        Spaces spaces;
        // Both bridges in the router's namespace: server and two clients on br1, the routed client on br2.
        const QString port = "link add p%1 type veth peer name eth0 netns %2\nlink set p%1 master br%3 up\n";
        const QString host = "link set lo up\naddr add 10.77.%1/24 dev eth0\nlink set eth0 up\n";
        QString bridges = "link set lo up\n";
        for (const int bridge : {1, 2})
            bridges +=
                QString("link add br%1 type bridge mcast_snooping 0\naddr add 10.77.%1.254/24 dev br%1\n"
                        "link set br%1 up\n")
                    .arg(bridge);
        const bool made =
            spaces.make() &&
            spaces.run(Router, bridges + port.arg(ServerSpace).arg(spaces.path(ServerSpace)).arg(1) +
                                   port.arg(Client1).arg(spaces.path(Client1)).arg(1) +
                                   port.arg(Client2).arg(spaces.path(Client2)).arg(1) +
                                   port.arg(RoutedClient).arg(spaces.path(RoutedClient)).arg(2)) &&
            spaces.run(ServerSpace, host.arg("1.1")) && spaces.run(Client1, host.arg("1.2")) &&
            spaces.run(Client2, host.arg("1.3")) &&
            spaces.run(RoutedClient, host.arg("2.2") + "route add default via 10.77.2.254\n");
        if (!made) {
            const QString why = "cannot make network namespaces (needs root, iproute2)";
            if (qEnvironmentVariable("CI") == QLatin1String("true"))
                QFAIL(qPrintable(why));
            QSKIP(qPrintable(why));
        }
        // The router forwards the group from the server's bridge to the other, where the kernel can.
        const bool routed = QFile::exists("/proc/net/ip_mr_vif");
        QTemporaryDir smcroute;
        QProcess router; // smcrouted (Debian: smcroute)
        const auto stopRouter = qScopeGuard([&] {
            router.kill();
            router.waitForFinished();
        });
        if (routed) {
            QVERIFY(spaces.enter(Router));
            router.setProcessChannelMode(QProcess::ForwardedChannels);
            // The folder as the script's $0: its name may hold blanks (the application's name).
            router.start("sh",
                         {"-c",
                          QString("echo 'mroute from br1 source %1 group %2 to br2' >\"$0/conf\" && exec "
                                  "smcrouted -n -f \"$0/conf\" -u \"$0/sock\" -P \"$0/pid\"")
                              .arg(Server, Group),
                          smcroute.path()});
            QTRY_VERIFY_WITH_TIMEOUT(spaces.ip(Router, "mroute show\n").contains(Group), TimeoutMs);
        }
        // On the server's bridge, the hops left in what the server sends.
        QVERIFY(spaces.enter(Router));
        QUdpSocket probe;
        QList<int> hops;
        QVERIFY(probe.bind(QHostAddress::AnyIPv4, Port.toUShort()) &&
                probe.joinMulticastGroup(QHostAddress(Group), QNetworkInterface::interfaceFromName("br1")));
        connect(&probe, &QUdpSocket::readyRead, [&] { hops << probe.receiveDatagram().hopLimit(); });

        const auto setUp = [&](MainWindow &window, int space, int ttl) {
            LinkSettings &link = Access::linkSettings(window);
            link = {space == ServerSpace, true, console.slavePath(), Server, Port, Server, Port};
            link.multicast_group = Group;
            link.multicast_ttl = ttl;
            Access::linkStatus(window)->setTimeout(0); // the levels stay as the last frame left them
            if (!spaces.enter(space))                  // never a link in the machine's own namespace
                return false;
            Access::setupLink(window);
            return true;
        };
        MainWindow server, client1, routedClient;
        auto client2 = std::make_unique<MainWindow>();
        QVERIFY(setUp(server, ServerSpace, 2) && setUp(client1, Client1, 2) && setUp(*client2, Client2, 2) &&
                setUp(routedClient, RoutedClient, 2));
        const auto joined = [&](int space) {
            return spaces.ip(space, "maddr show dev eth0\n").contains(Group);
        };
        // On the server's subnet the client joins where the server is; behind the router, everywhere.
        QVERIFY(joined(Client1) && joined(Client2) && joined(RoutedClient));

        const QByteArray first = numberedFrame(100), second = numberedFrame(200);
        QVERIFY(console.write(first));
        for (MainWindow *client : {&client1, client2.get(), routed ? &routedClient : nullptr})
            if (client)
                QTRY_COMPARE_WITH_TIMEOUT(targetsText(*client), levelsText(first), TimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(hops, QList<int>{2}, TimeoutMs);

        // With a TTL of 1 the group stays on the server's bridge.
        QVERIFY(setUp(server, ServerSpace, 1));
        QVERIFY(console.write(second));
        QTRY_COMPARE_WITH_TIMEOUT(targetsText(client1), levelsText(second), TimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(targetsText(*client2), levelsText(second), TimeoutMs);
        QTest::qWait(GraceMs);
        QCOMPARE(hops, (QList<int>{2, 1}));
        QCOMPARE(targetsText(routedClient), routed ? levelsText(first) : FloorText);

        // A new link set-up leaves the group; one that cannot join says so once, on the lamp as in the log.
        QVERIFY(spaces.run(Client1, "link set eth0 down\n"));
        QVERIFY(spaces.enter(Client1));
        Access::setupLink(client1);
        QVERIFY(!joined(Client1));
        QCOMPARE(Access::linkLamp(client1)->state(), StatusLamp::State::Fault);
        QVERIFY(Access::linkStatus(client1)->toolTipText().contains("cannot join multicast group " + Group));
        QCOMPARE(debugLines().filter("multicast: cannot join").size(), 1);
        // The program's end leaves it too.
        client2.reset();
        QVERIFY(!joined(Client2));
        if (!routed)
            QSKIP("the routed client was not tried: this kernel has no multicast routing (CONFIG_IP_MROUTE)");
    }
};

QTEST_MAIN(MulticastTest)
#include "tst_multicast.moc"
