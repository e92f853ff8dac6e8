#include "framecheck.h"

#include <QNetworkDatagram>
#include <QProcess>
#include <QSerialPort>
#include <QUdpSocket>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

namespace {

constexpr int StartTimeoutMs = 5000;
constexpr int DeliveryTimeoutMs = 20000;
constexpr int ExitTimeoutMs = 10000;

QString simulatorPath()
{
    return qEnvironmentVariable("KOLVANE_TOOLS_DIR") + QStringLiteral("/console-sim/console-sim");
}

// Words with the line's awkward bytes: CR LF, LF CR, LF LF, CR CR, and markers before an LF.
const LevelFrame::Words AwkwardWords = {0x0D0A, 0x0A0D, 0x0A0A, 0x0D0D, 0x550A, 0xAA0D};

QString levelsArgument(const LevelFrame::Words &words)
{
    QStringList levels;
    for (const quint16 word : words)
        levels.append(QString::number(LevelFrame::levelFromWord(word), 'f', 3));
    return levels.join(QLatin1Char(','));
}

// Starts the simulator on its own pseudo-terminal and returns the device path it prints first.
QString startOnPty(QProcess &simulator, const QStringList &arguments)
{
    simulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    simulator.start(simulatorPath(), arguments);
    if (!simulator.waitForStarted(StartTimeoutMs))
        return QString();
    QElapsedTimer waited;
    waited.start();
    while (!simulator.canReadLine() && waited.elapsed() < StartTimeoutMs)
        simulator.waitForReadyRead(100);
    return QString::fromLocal8Bit(simulator.readLine()).trimmed();
}

bool openAsConsolePort(QSerialPort &port, const QString &path)
{
    port.setPortName(path);
    if (!port.open(QIODevice::ReadOnly))
        return false;
    return port.setBaudRate(QSerialPort::Baud115200) && port.setDataBits(QSerialPort::Data8) &&
           port.setParity(QSerialPort::NoParity) && port.setStopBits(QSerialPort::OneStop) &&
           port.setFlowControl(QSerialPort::NoFlowControl);
}

} // namespace

class TestConsoleSim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void deliversEveryFrameThroughASerialPort_data();
    void deliversEveryFrameThroughASerialPort();
    void waitsForAReader();
    void stopsCleanlyOnSignal_data();
    void stopsCleanlyOnSignal();
    void sendsOneFramePerDatagram();
    void rejectsWrongOptions_data();
    void rejectsWrongOptions();
};

void TestConsoleSim::initTestCase()
{
    QVERIFY2(QFileInfo(simulatorPath()).isExecutable(), qPrintable(simulatorPath()));
#ifndef Q_OS_UNIX
    QSKIP("the simulator's pseudo-terminal needs a POSIX system");
#endif
}

void TestConsoleSim::deliversEveryFrameThroughASerialPort_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("fixedLevels");
    const QString awkward = levelsArgument(AwkwardWords);
    QTest::newRow("random cuts, CR LF, programme levels")
        << QStringList{"--rate", "max", "--chunking", "random", "--crlf", "--seed", "11"} << 1500 << false;
    QTest::newRow("random cuts, CR LF, awkward words")
        << QStringList{"--rate", "max", "--chunking", "random", "--crlf", "--seed", "12", "--levels", awkward}
        << 600 << true;
    for (const char *mode : {"whole", "split", "coalesced"}) {
        QTest::addRow("%s, CR LF, awkward words", mode)
            << QStringList{"--rate", "max", "--chunking", mode, "--crlf", "--seed", "13", "--levels", awkward}
            << 300 << true;
    }
    QTest::newRow("default rate") << QStringList{"--crlf", "--levels", awkward} << 20 << true;
}

void TestConsoleSim::deliversEveryFrameThroughASerialPort()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, count);
    QFETCH(bool, fixedLevels);
    QProcess simulator;
    const QString path = startOnPty(simulator, arguments + QStringList{"--count", QString::number(count)});
    QVERIFY2(path.startsWith(QLatin1String("/dev/")), qPrintable(path));

    QSerialPort port;
    QVERIFY2(openAsConsolePort(port, path), qPrintable(port.errorString()));
    FrameCollector collector;
    connect(&port, &QSerialPort::readyRead, this, [&] { collector.feed(port.readAll()); });

    QTRY_COMPARE_WITH_TIMEOUT(collector.frames.size(), count, DeliveryTimeoutMs);
    // It leaves once the terminal has been read empty, and sends nothing more before that.
    QTRY_COMPARE_WITH_TIMEOUT(simulator.state(), QProcess::NotRunning, ExitTimeoutMs);
    QCOMPARE(simulator.exitStatus(), QProcess::NormalExit);
    QCOMPARE(simulator.exitCode(), 0);
    QCOMPARE(collector.frames.size(), count);
    QVERIFY(collector.mostPending <= 15);

    if (fixedLevels) {
        const QByteArray expected = LevelFrame::encode(AwkwardWords);
        for (const QByteArray &frame : qAsConst(collector.frames))
            QCOMPARE(frame.toHex(' '), expected.toHex(' '));
        return;
    }
    // Programme levels stay between the floor and +4 dB and keep moving.
    QSet<quint16> words;
    for (const QByteArray &frame : qAsConst(collector.frames)) {
        for (const double db : LevelFrame::decode(frame.constData())) {
            QVERIFY2(db >= LevelFrame::FloorDb && db <= 4.0, qPrintable(QString::number(db)));
            words.insert(LevelFrame::wordFromLevel(db));
        }
    }
    QVERIFY2(words.size() > 100, qPrintable(QString::number(words.size())));
}

// Nobody has the terminal open for a while: the simulator keeps going and then sends all its
// frames to the late reader, starting at a frame boundary.
void TestConsoleSim::waitsForAReader()
{
    const int count = 200;
    QProcess simulator;
    const QString path =
        startOnPty(simulator, {"--rate", "max", "--crlf", "--chunking", "random", "--count",
                               QString::number(count), "--levels", levelsArgument(AwkwardWords)});
    QVERIFY(!path.isEmpty());
    QTest::qWait(500);
    QCOMPARE(simulator.state(), QProcess::Running);

    QSerialPort port;
    QVERIFY2(openAsConsolePort(port, path), qPrintable(port.errorString()));
    QByteArray received;
    connect(&port, &QSerialPort::readyRead, this, [&] { received.append(port.readAll()); });
    QTRY_COMPARE_WITH_TIMEOUT(simulator.state(), QProcess::NotRunning, DeliveryTimeoutMs);
    QCOMPARE(simulator.exitCode(), 0);

    QVERIFY(received.startsWith(withCrBeforeLf(LevelFrame::encode(AwkwardWords))));
    FrameCollector collector;
    collector.feed(received);
    QCOMPARE(collector.frames.size(), count);
}

void TestConsoleSim::stopsCleanlyOnSignal_data()
{
#ifdef Q_OS_UNIX
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
#endif
}

void TestConsoleSim::stopsCleanlyOnSignal()
{
#ifdef Q_OS_UNIX
    QFETCH(int, signalNumber);
    QProcess simulator;
    const QString path = startOnPty(simulator, {"--rate", "50"});
    QVERIFY(!path.isEmpty());
    QSerialPort port;
    QVERIFY(openAsConsolePort(port, path));
    QTRY_VERIFY_WITH_TIMEOUT(port.bytesAvailable() > 0, DeliveryTimeoutMs);

    QCOMPARE(::kill(pid_t(simulator.processId()), signalNumber), 0);
    QTRY_COMPARE_WITH_TIMEOUT(simulator.state(), QProcess::NotRunning, ExitTimeoutMs);
    QCOMPARE(simulator.exitStatus(), QProcess::NormalExit);
    QCOMPARE(simulator.exitCode(), 0);
#endif
}

void TestConsoleSim::sendsOneFramePerDatagram()
{
    const int count = 50;
    QUdpSocket receiver;
    QVERIFY(receiver.bind(QHostAddress::LocalHost, 0));
    QVector<QByteArray> datagrams;
    connect(&receiver, &QUdpSocket::readyRead, this, [&] {
        while (receiver.hasPendingDatagrams())
            datagrams.append(receiver.receiveDatagram().data());
    });

    QProcess simulator;
    simulator.start(simulatorPath(),
                    {"--udp", QStringLiteral("127.0.0.1:%1").arg(receiver.localPort()), "--rate", "max",
                     "--count", QString::number(count), "--levels", "-50,0,15.535,-20,3.5,-10"});
    QTRY_COMPARE_WITH_TIMEOUT(datagrams.size(), count, DeliveryTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(simulator.state(), QProcess::NotRunning, ExitTimeoutMs);
    QCOMPARE(simulator.exitCode(), 0);
    QCOMPARE(simulator.readAllStandardOutput(), QByteArray());

    const LevelFrame::Levels expected = {-50.0, 0.0, 15.535, -20.0, 3.5, -10.0};
    for (const QByteArray &datagram : qAsConst(datagrams)) {
        QCOMPARE(datagram.size(), LevelFrame::Size);
        QVERIFY(LevelFrame::isValid(datagram.constData()));
        const LevelFrame::Levels levels = LevelFrame::decode(datagram.constData());
        for (int k = 0; k < LevelFrame::LevelCount; ++k)
            QCOMPARE(levels[k], expected[k]);
    }
}

void TestConsoleSim::rejectsWrongOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("rate zero") << QStringList{"--rate", "0"};
    QTest::newRow("rate not a number") << QStringList{"--rate", "fast"};
    QTest::newRow("level above the top") << QStringList{"--level", "16"};
    QTest::newRow("level below the floor") << QStringList{"--level", "-60"};
    QTest::newRow("three levels") << QStringList{"--levels", "1,2,3"};
    QTest::newRow("level and levels") << QStringList{"--level", "0", "--levels", "0,0,0,0,0,0"};
    QTest::newRow("count zero") << QStringList{"--count", "0"};
    QTest::newRow("unknown chunking") << QStringList{"--chunking", "bytes"};
    QTest::newRow("udp without port") << QStringList{"--udp", "localhost"};
    QTest::newRow("udp with crlf") << QStringList{"--udp", "127.0.0.1:5000", "--crlf"};
    QTest::newRow("port and udp") << QStringList{"--port", "/dev/null", "--udp", "127.0.0.1:5000"};
    QTest::newRow("unknown option") << QStringList{"--baud", "9600"};
}

// A mistyped option ends the run at once with a message, before any device is opened.
void TestConsoleSim::rejectsWrongOptions()
{
    QFETCH(QStringList, arguments);
    QProcess simulator;
    simulator.start(simulatorPath(), arguments);
    QVERIFY(simulator.waitForFinished(ExitTimeoutMs));
    QCOMPARE(simulator.exitStatus(), QProcess::NormalExit);
    QCOMPARE(simulator.exitCode(), 2);
    QCOMPARE(simulator.readAllStandardOutput(), QByteArray());
    QVERIFY(simulator.readAllStandardError().contains("--help"));
}

QTEST_GUILESS_MAIN(TestConsoleSim)
#include "tst_consolesim.moc"
