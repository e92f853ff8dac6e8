// The serial link as the window runs it, on real pseudo-terminals.

#include "linktesthelpers.h"

#include "pty.h"
#include "tempsettings.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace LinkTest;

namespace {

constexpr int ArrivalTimeoutMs = 10000;
// The window retries a lost port once a second; a few periods are plenty.
constexpr int ReopenTimeoutMs = 10000;

// Long enough for a busy loop to report errors by the thousand.
constexpr int WatchMs = 1000;

// Closed ports may only be waiting for deletion.
int openSerialPortCount(const QWidget &window)
{
    const QList<QSerialPort *> ports = window.findChildren<QSerialPort *>();
    return int(
        std::count_if(ports.begin(), ports.end(), [](const QSerialPort *port) { return port->isOpen(); }));
}

// Writes a frame on the device and waits until the window's targets hold it.
bool arrives(MainWindow &window, Pty &device, const QByteArray &frame)
{
    return device.write(frame) &&
           QTest::qWaitFor([&] { return targetsText(window) == levelsText(frame); }, ArrivalTimeoutMs);
}

} // namespace

class SerialLinkTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (!Pty().isOpen())
            QSKIP("no pseudo-terminals on this machine");
    }

    void readsPseudoTerminalWithConsoleLineSettings()
    {
        TempSettings settings;
        MainWindow window;
        Pty pty;
        useLink(window, false, pty.slavePath());
        QSerialPort *port = Access::serialPort(window);
        QVERIFY(port && port->openMode() == QIODevice::ReadWrite);
        QCOMPARE((QVector<int>{port->baudRate(QSerialPort::Input), port->baudRate(QSerialPort::Output),
                               port->dataBits(), port->parity(), port->stopBits(), port->flowControl()}),
                 (QVector<int>{115200, 115200, QSerialPort::Data8, QSerialPort::NoParity,
                               QSerialPort::OneStop, QSerialPort::NoFlowControl}));
        QCOMPARE(window.windowTitle(), Title.arg(pty.slavePath()));
        QCOMPARE(Access::linkLamp(window)->state(), StatusLamp::State::Warning);

        // The window keeps the first part of a frame until the rest arrives; each read is logged.
        const QByteArray frame = numberedFrame(20000);
        QTest::ignoreMessage(QtDebugMsg, "data arrived.. ");
        QVERIFY(pty.write(frame.left(5)));
        QTRY_COMPARE_WITH_TIMEOUT(Access::serialStream(window).pendingBytes(), 5, ArrivalTimeoutMs);
        QVERIFY(pty.write(frame.mid(5)));
        QTRY_COMPARE_WITH_TIMEOUT(targetsText(window), levelsText(frame), ArrivalTimeoutMs);
        QCOMPARE(Access::linkLamp(window)->state(), StatusLamp::State::Good);

        // A second set-up replaces the port: one port left, and it alone reads.
        Access::setupLink(window);
        QCOMPARE(openSerialPortCount(window), 1);
        QVERIFY(arrives(window, pty, numberedFrame(400)));

        useLink(window, true, QString::number(freeUdpPort()));
        QVERIFY(!Access::serialPort(window) && openSerialPortCount(window) == 0);
        // An empty name is shown as it is, and there is nothing to try again.
        useLink(window, false, QString());
        QCOMPARE(window.windowTitle(), Title.arg(QString()));
        QVERIFY(!Access::serialPort(window)->isOpen() && !Access::serialRetryTimer(window)->isActive());
        QCOMPARE(Access::linkLamp(window)->state(), StatusLamp::State::Off);
    }

    // A device missing at set-up, plugged in, gone with the port open, and back under the same name.
    void followsDeviceAwayAndBack()
    {
        TempSettings settings;
        MainWindow window;
        QTemporaryDir dir;
        const QString portPath = dir.filePath(QStringLiteral("ttyConsole"));
        useLink(window, false, portPath);
        QCOMPARE(window.windowTitle(), Title.arg(portPath));
        QCOMPARE(Access::linkLamp(window)->state(), StatusLamp::State::Fault);
        auto device = std::make_unique<Pty>();
        QVERIFY(QFile::link(device->slavePath(), portPath));
        QTRY_COMPARE_WITH_TIMEOUT(openSerialPortCount(window), 1, ReopenTimeoutMs);
        QVERIFY(arrives(window, *device, numberedFrame(1000)));

        // An open port on a vanished device would report errors in a busy loop, hundreds of thousands a
        // second; a handled loss reports a few. Counted, not timed, so machine speed does not matter.
        QSignalSpy errors(Access::serialPort(window), &QSerialPort::errorOccurred);
        device->closeMaster();
        QTest::qWait(WatchMs);
        QVERIFY2(errors.count() < 10, qPrintable(QStringLiteral("%1 error reports").arg(errors.count())));
        QCOMPARE(openSerialPortCount(window), 0);
        QCOMPARE(targetsText(window), FloorText);
        QCOMPARE(Access::linkLamp(window)->state(), StatusLamp::State::Fault);

        device = std::make_unique<Pty>();
        QVERIFY(QFile::remove(portPath) && QFile::link(device->slavePath(), portPath));
        QTRY_COMPARE_WITH_TIMEOUT(openSerialPortCount(window), 1, ReopenTimeoutMs);
        QVERIFY(!Access::serialRetryTimer(window)->isActive());
        QCOMPARE(Access::linkLamp(window)->state(), StatusLamp::State::Warning);
        QVERIFY(arrives(window, *device, numberedFrame(2000)));
        QCOMPARE(Access::linkLamp(window)->state(), StatusLamp::State::Good);
    }
};

QTEST_MAIN(SerialLinkTest)
#include "tst_seriallink.moc"
