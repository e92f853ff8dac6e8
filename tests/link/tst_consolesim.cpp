#include "framestream.h"

#include <QNetworkDatagram>
#include <QProcess>
#include <QSerialPort>
#include <QUdpSocket>
#include <QtTest>

#include <set>

namespace {

constexpr int StartTimeoutMs = 5000;
constexpr int DeliveryTimeoutMs = 20000;
// The words 0D0A 0A0D 0A0A 0D0D 550A AA0D: CR LF, LF CR, LF LF, CR CR, and markers before an LF.
const QString AwkwardLevels = QStringLiteral("-46.662,-47.427,-47.43,-46.659,-28.23,-6.467");
const QByteArray AwkwardFrame = LevelFrame::encode({0x0D0A, 0x0A0D, 0x0A0A, 0x0D0D, 0x550A, 0xAA0D});

QString simulatorPath()
{
    return qEnvironmentVariable("KOLVANE_TOOLS_DIR") + QStringLiteral("/console-sim/console-sim");
}

} // namespace

class TestConsoleSim : public QObject
{
    Q_OBJECT

private slots:
    void deliversEveryFrame_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("count");
        const QStringList awkward = {"--levels", AwkwardLevels};
        QTest::newRow("programme levels, random cuts")
            << QStringList{"--rate", "max", "--chunking", "random", "--crlf", "--seed", "11"} << 1500;
        for (const char *mode : {"random", "whole", "split", "coalesced"})
            QTest::addRow("awkward words, %s", mode)
                << awkward + QStringList{"--rate", "max", "--crlf", "--chunking", mode} << 300;
        QTest::newRow("default rate") << awkward + QStringList{"--crlf"} << 20;
        QTest::newRow("datagrams") << awkward + QStringList{"--rate", "max", "--udp", "127.0.0.1:"} << 50;
    }

    // Through a real pseudo-terminal into a QSerialPort and the decoder, or one frame per datagram.
    void deliversEveryFrame()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, count);
        QUdpSocket receiver;
        QSerialPort port;
        FrameStream stream;
        QByteArrayList frames;
        const auto collect = [&frames](const char *frame) { frames << QByteArray(frame, LevelFrame::Size); };
        const bool udp = arguments.contains("--udp");
        if (udp) {
            QVERIFY(receiver.bind(QHostAddress::LocalHost, 0));
            arguments.last() += QString::number(receiver.localPort());
            connect(&receiver, &QUdpSocket::readyRead, this, [&] {
                while (receiver.hasPendingDatagrams())
                    frames << receiver.receiveDatagram().data();
            });
        }
        QProcess simulator;
        simulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        simulator.start(simulatorPath(), arguments + QStringList{"--count", QString::number(count)});
        QVERIFY2(simulator.waitForStarted(StartTimeoutMs), qPrintable(simulatorPath()));
        if (!udp) {
            QTRY_VERIFY_WITH_TIMEOUT(simulator.canReadLine(), StartTimeoutMs);
            port.setPortName(QString::fromLocal8Bit(simulator.readLine()).trimmed());
            QVERIFY2(port.open(QIODevice::ReadOnly), qPrintable(port.errorString()));
            connect(&port, &QSerialPort::readyRead, this, [&] { stream.feed(port.readAll(), collect); });
        }
        QTRY_COMPARE_WITH_TIMEOUT(frames.size(), count, DeliveryTimeoutMs);
        // It leaves once everything is out, and sends nothing more before that.
        QTRY_COMPARE_WITH_TIMEOUT(simulator.state(), QProcess::NotRunning, DeliveryTimeoutMs);
        QVERIFY(simulator.exitStatus() == QProcess::NormalExit && simulator.exitCode() == 0);
        QCOMPARE(frames.size(), count);
        QCOMPARE(frames.count(AwkwardFrame), arguments.contains("--levels") ? count : 0);
        if (arguments.contains("--levels"))
            return;
        // Programme levels stay between the floor and +4 dB and keep moving.
        std::set<double> levels;
        for (const QByteArray &frame : qAsConst(frames))
            for (const double db : LevelFrame::decode(frame.constData()))
                levels.insert(db);
        QVERIFY(levels.size() > 100 && *levels.begin() >= LevelFrame::FloorDb && *levels.rbegin() <= 4.0);
    }
};

QTEST_GUILESS_MAIN(TestConsoleSim)
#include "tst_consolesim.moc"
