// The UDP server as the window runs it: frames read from a pseudo-terminal are broadcast once each.
//
// A broadcast must never leave from the machine's own network namespace, so the test builds two
// namespaces of its own joined by a veth pair, and runs this same program in them in two roles:
// the server (a window reading a pseudo-terminal) in one, a receiver in the other.

#include "linktesthelpers.h"
#include "mainwindowtestaccess.h"

#include "pty.h"
#include "tempsettings.h"

#include <QApplication>
#include <QFileInfo>
#include <QNetworkDatagram>
#include <QProcess>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QtTest>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using Access = MainWindowTestAccess;
using namespace LinkTest;

namespace {

const char *const RoleOption = "--relay-role";
const char *const ServerRole = "server";
const char *const ReceiverRole = "receiver";

const QString ServerAddress = QStringLiteral("10.77.0.1");
const QString ReceiverAddress = QStringLiteral("10.77.0.2");
constexpr quint16 RelayPort = 5500;
constexpr int RelayedFrames = 40;
constexpr int CommandTimeoutMs = 10000;
constexpr int RoleTimeoutMs = 60000;
constexpr int ArrivalTimeoutMs = 3000;
// Time for a late or duplicated datagram to show up before the receiver is stopped.
constexpr int GraceMs = 300;

void printLine(const QByteArray &line)
{
    std::fputs(line.constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int failRole(const QString &why)
{
    std::fprintf(stderr, "%s\n", qPrintable(why));
    return 1;
}

// Server role: a window in UDP server mode on a pseudo-terminal. For every frame it prints the bytes,
// and whether the six targets already held the frame's levels when the datagram went out.
int runServerRole(int argc, char **argv)
{
    QApplication application(argc, argv);
    TempSettings settings;
    MainWindow window;
    Pty console;
    if (!console.isOpen())
        return failRole(QStringLiteral("no pseudo-terminal"));

    LinkSettings &link = Access::linkSettings(window);
    link.use_udp = true;
    link.is_server = true;
    link.serialport = console.slavePath();
    link.server_host = ServerAddress;
    link.server_port = QString::number(RelayPort);
    Access::setupLink(window);

    QUdpSocket *socket = Access::udpSocket(window);
    if (!socket || socket->state() != QAbstractSocket::BoundState)
        return failRole(QStringLiteral("server socket not bound"));
    printLine("BOUND " + socket->localAddress().toString().toLatin1() + ' ' +
              QByteArray::number(socket->localPort()));

    // writeDatagram() reports the bytes it sent before it returns: what the targets hold then
    // is what they held when the datagram left.
    QStringList targetsAtSend;
    QObject::connect(socket, &QIODevice::bytesWritten, &window,
                     [&] { targetsAtSend << levelsText(Access::targetLevels(window)); });

    // A frame with a broken end marker in front of every fifth one: it must not be relayed.
    QByteArray broken = numberedFrame(60000);
    broken[LevelFrame::Size - 1] = char(0x54);
    for (int i = 0; i < RelayedFrames; ++i) {
        const QByteArray frame = numberedFrame(quint16(100 * i));
        if (i % 5 == 0 && !console.write(broken))
            return failRole(QStringLiteral("write failed"));
        if (!console.write(frame))
            return failRole(QStringLiteral("write failed"));
        const QString expected = levelsText(frame);
        if (!QTest::qWaitFor([&] { return levelsText(Access::targetLevels(window)) == expected; },
                             ArrivalTimeoutMs))
            return failRole(QStringLiteral("frame %1 never reached the targets").arg(i));
        const bool storedFirst = targetsAtSend.size() == i + 1 && targetsAtSend.last() == expected;
        printLine("SENT " + frame.toHex() + (storedFirst ? " stored-first" : " not-stored-first"));
    }
    // Anything sent late would show up here.
    QTest::qWait(GraceMs);
    printLine("SENDS " + QByteArray::number(targetsAtSend.size()));
    return 0;
}

// Receiver role: prints every datagram at the relay port until "stop" arrives on its input.
int runReceiverRole(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QUdpSocket socket;
    if (!socket.bind(QHostAddress::AnyIPv4, RelayPort))
        return failRole(QStringLiteral("receiver cannot bind: ") + socket.errorString());
    QObject::connect(&socket, &QUdpSocket::readyRead, [&] {
        while (socket.hasPendingDatagrams()) {
            const QNetworkDatagram datagram = socket.receiveDatagram();
            printLine("GOT " + datagram.data().toHex() + ' ' +
                      datagram.senderAddress().toString().toLatin1() + ' ' +
                      QByteArray::number(datagram.senderPort()) + ' ' +
                      datagram.destinationAddress().toString().toLatin1());
        }
    });
    QSocketNotifier input(fileno(stdin), QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &application, &QCoreApplication::quit);
    QTimer::singleShot(RoleTimeoutMs, &application, &QCoreApplication::quit);
    printLine("READY");
    return application.exec();
}

struct CommandResult
{
    bool ok = false;
    QString printed;
    // The command and what it printed, for a failure message.
    QString output;
};

CommandResult runIp(const QStringList &arguments)
{
    QProcess ip;
    ip.setProcessChannelMode(QProcess::MergedChannels);
    ip.start(QStringLiteral("ip"), arguments);
    CommandResult result;
    if (!ip.waitForFinished(CommandTimeoutMs)) {
        ip.kill();
        ip.waitForFinished(CommandTimeoutMs);
        result.output = QStringLiteral("ip %1: did not finish").arg(arguments.join(QLatin1Char(' ')));
        return result;
    }
    result.ok = ip.exitStatus() == QProcess::NormalExit && ip.exitCode() == 0;
    result.printed = QString::fromLocal8Bit(ip.readAll()).trimmed();
    result.output = QStringLiteral("ip %1: %2").arg(arguments.join(QLatin1Char(' ')), result.printed);
    return result;
}

// Two namespaces joined by a veth pair, removed again (with the pair) when this goes away.
class NamespacePair
{
public:
    NamespacePair()
        : server(QStringLiteral("kvrelay-a-%1").arg(QCoreApplication::applicationPid())),
          receiver(QStringLiteral("kvrelay-b-%1").arg(QCoreApplication::applicationPid()))
    {}
    ~NamespacePair()
    {
        for (const QString &name : created)
            runIp({QStringLiteral("netns"), QStringLiteral("delete"), name});
    }
    NamespacePair(const NamespacePair &) = delete;
    NamespacePair &operator=(const NamespacePair &) = delete;

    // Returns an empty text on success, otherwise why the namespaces could not be made.
    QString create()
    {
#ifdef Q_OS_UNIX
        if (geteuid() != 0)
            return QStringLiteral("network namespaces need root");
#endif
        if (QStandardPaths::findExecutable(QStringLiteral("ip")).isEmpty())
            return QStringLiteral("the ip command (iproute2) is not installed");
        removeLeftovers();
        for (const QString &name : {server, receiver}) {
            const CommandResult added = runIp({QStringLiteral("netns"), QStringLiteral("add"), name});
            if (!added.ok)
                return added.output;
            created << name;
        }
        // Everything below runs inside the two namespaces; the machine's own stays untouched.
        const char *const steps[] = {
            "-n SERVER link add veth-srv type veth peer name veth-rcv netns RECEIVER",
            "-n SERVER addr add SERVER_ADDRESS/24 dev veth-srv",
            "-n RECEIVER addr add RECEIVER_ADDRESS/24 dev veth-rcv",
            "-n SERVER link set lo up",
            "-n RECEIVER link set lo up",
            "-n SERVER link set veth-srv up",
            "-n RECEIVER link set veth-rcv up",
            // The limited broadcast leaves by this interface whatever else the namespace holds.
            "-n SERVER route add 255.255.255.255/32 dev veth-srv",
        };
        for (const char *step : steps) {
            QStringList arguments = QString::fromLatin1(step).split(QLatin1Char(' '));
            for (QString &argument : arguments) {
                argument.replace(QLatin1String("SERVER_ADDRESS"), ServerAddress);
                argument.replace(QLatin1String("RECEIVER_ADDRESS"), ReceiverAddress);
                argument.replace(QLatin1String("SERVER"), server);
                argument.replace(QLatin1String("RECEIVER"), receiver);
            }
            const CommandResult done = runIp(arguments);
            if (!done.ok)
                return done.output;
        }
        return QString();
    }

    // The arguments that run this program with the given role inside a namespace.
    static QStringList roleCommand(const QString &space, const char *role)
    {
        return {QStringLiteral("netns"),
                QStringLiteral("exec"),
                space,
                QCoreApplication::applicationFilePath(),
                QString::fromLatin1(RoleOption),
                QString::fromLatin1(role)};
    }

    const QString server;
    const QString receiver;

private:
    // A run that was killed could not remove its namespaces; its process id tells they are orphans.
    static void removeLeftovers()
    {
        const QRegularExpression ours(QStringLiteral("^kvrelay-[ab]-(\\d+)\\b"));
        const CommandResult list = runIp({QStringLiteral("netns"), QStringLiteral("list")});
        for (const QString &line : list.printed.split(QLatin1Char('\n'))) {
            const QRegularExpressionMatch match = ours.match(line);
            if (match.hasMatch() && !QFileInfo::exists(QStringLiteral("/proc/") + match.captured(1)))
                runIp({QStringLiteral("netns"), QStringLiteral("delete"), match.captured(0)});
        }
    }

    QStringList created;
};

QStringList linesStartingWith(const QByteArray &output, const QByteArray &prefix)
{
    QStringList lines;
    for (const QByteArray &line : output.split('\n'))
        if (line.startsWith(prefix))
            lines << QString::fromLatin1(line.mid(prefix.size()));
    return lines;
}

// Stops a role process that is still running, by its own id only.
void stopProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.kill();
    process.waitForFinished(CommandTimeoutMs);
}

} // namespace

class UdpServerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void relaysEachFrameOnceToAnotherNamespace();
};

void UdpServerTest::relaysEachFrameOnceToAnotherNamespace()
{
    NamespacePair spaces;
    const QString why = spaces.create();
    if (!why.isEmpty()) {
        // Where the suite must prove the relay, a missing namespace is a failure, not a skip.
        if (qEnvironmentVariable("CI") == QLatin1String("true"))
            QFAIL(qPrintable(QStringLiteral("cannot create network namespaces: ") + why));
        QSKIP(
            qPrintable(QStringLiteral("cannot create network namespaces (needs root and iproute2): ") + why));
    }

    QProcess receiver;
    receiver.start(QStringLiteral("ip"), NamespacePair::roleCommand(spaces.receiver, ReceiverRole));
    QVERIFY(receiver.waitForStarted(CommandTimeoutMs));
    QByteArray received;
    QVERIFY2(QTest::qWaitFor(
                 [&] {
                     received += receiver.readAllStandardOutput();
                     return received.contains("READY\n") || receiver.state() == QProcess::NotRunning;
                 },
                 CommandTimeoutMs),
             "receiver did not start");
    QVERIFY2(received.contains("READY\n"), receiver.readAllStandardError().constData());

    QProcess server;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    server.setProcessEnvironment(environment);
    server.start(QStringLiteral("ip"), NamespacePair::roleCommand(spaces.server, ServerRole));
    QVERIFY(server.waitForStarted(CommandTimeoutMs));
    const bool serverFinished = server.waitForFinished(RoleTimeoutMs);
    stopProcess(server);
    const QByteArray serverOutput = server.readAllStandardOutput();
    const QByteArray serverErrors = server.readAllStandardError();

    QTest::qWait(GraceMs);
    receiver.write("stop\n");
    receiver.closeWriteChannel();
    receiver.waitForFinished(CommandTimeoutMs);
    stopProcess(receiver);
    received += receiver.readAllStandardOutput();

    QVERIFY2(serverFinished, "server role did not finish");
    QVERIFY2(server.exitStatus() == QProcess::NormalExit && server.exitCode() == 0, serverErrors.constData());
    QCOMPARE(linesStartingWith(serverOutput, "BOUND "),
             QStringList{QStringLiteral("%1 %2").arg(ServerAddress).arg(RelayPort)});

    const QStringList sent = linesStartingWith(serverOutput, "SENT ");
    QCOMPARE(sent.size(), RelayedFrames);
    QStringList sentFrames;
    for (const QString &line : sent) {
        const QStringList fields = line.split(QLatin1Char(' '));
        QCOMPARE(fields.size(), 2);
        QVERIFY2(fields.at(1) == QLatin1String("stored-first"),
                 qPrintable(QStringLiteral("datagram sent before the targets were stored: ") + line));
        sentFrames << fields.at(0);
    }
    // One send per accepted frame, none for the broken ones.
    QCOMPARE(linesStartingWith(serverOutput, "SENDS "), QStringList{QString::number(RelayedFrames)});

    // Each frame exactly once, in order, byte for byte, from the server's address and port.
    QStringList receivedFrames;
    const QStringList got = linesStartingWith(received, "GOT ");
    if (!got.isEmpty())
        qInfo("first datagram: %s", qPrintable(got.first()));
    for (const QString &line : got) {
        const QStringList fields = line.split(QLatin1Char(' '));
        QVERIFY2(fields.size() >= 3, qPrintable(line));
        QCOMPARE(fields.at(1), ServerAddress);
        QCOMPARE(fields.at(2), QString::number(RelayPort));
        // The destination is known where the platform reports it.
        if (fields.size() > 3 && !fields.at(3).isEmpty())
            QCOMPARE(fields.at(3), QStringLiteral("255.255.255.255"));
        receivedFrames << fields.at(0);
    }
    qInfo("%d frames relayed from %s:%d, %d received in the other namespace", int(sentFrames.size()),
          qPrintable(ServerAddress), RelayPort, int(receivedFrames.size()));
    QCOMPARE(receivedFrames, sentFrames);
}

int main(int argc, char **argv)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (qstrcmp(argv[i], RoleOption) != 0)
            continue;
        if (qstrcmp(argv[i + 1], ServerRole) == 0)
            return runServerRole(argc, argv);
        if (qstrcmp(argv[i + 1], ReceiverRole) == 0)
            return runReceiverRole(argc, argv);
    }
    QApplication application(argc, argv);
    UdpServerTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_udpserver.moc"
