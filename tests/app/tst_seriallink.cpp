// The serial link as the window runs it, on real pseudo-terminals.

#include "linktesthelpers.h"
#include "mainwindowtestaccess.h"

#include "pty.h"
#include "tempsettings.h"

#include <QFile>
#include <QLoggingCategory>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

using Access = MainWindowTestAccess;
using namespace LinkTest;

namespace {

constexpr int ArrivalTimeoutMs = 3000;
// The window retries a lost port once a second; a few periods are plenty.
constexpr int ReopenTimeoutMs = 5000;
const QString LostLine = QStringLiteral("serial port lost:");

void useSerial(MainWindow &window, const QString &portName)
{
    LinkSettings &link = Access::linkSettings(window);
    link.use_udp = false;
    link.is_server = false;
    link.serialport = portName;
    Access::setupLink(window);
}

QString titleFor(const QString &endpoint)
{
    return QStringLiteral("Kolvane Meters - (") + endpoint + QLatin1Char(')');
}

#ifdef Q_OS_UNIX
double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
#endif

// Points a fixed path at a pseudo-terminal: the device can come back under the same name.
bool pointLinkAt(const QString &link, const QString &target)
{
    QFile::remove(link);
    return QFile::link(target, link);
}

} // namespace

class SerialLinkTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void opensPortWithConsoleLineSettings();
    void framesMoveTargets();
    void titleNamesPort_data();
    void titleNamesPort();
    void twoSetUpsLeaveOneOpenPort();
    void clientModeClosesPort();
    void vanishedDeviceIsReopened();
    void deviceAppearingAfterSetUpIsOpened();
};

void SerialLinkTest::initTestCase()
{
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=true"));
    qRegisterMetaType<QSerialPort::SerialPortError>();
    Pty probe;
    if (!probe.isOpen())
        QSKIP("no pseudo-terminals on this machine");
}

void SerialLinkTest::opensPortWithConsoleLineSettings()
{
    TempSettings settings;
    MainWindow window;
    Pty pty;
    useSerial(window, pty.slavePath());

    QSerialPort *port = Access::serialPort(window);
    QVERIFY(port);
    QVERIFY(port->isOpen());
    QCOMPARE(port->openMode(), QIODevice::ReadWrite);
    QCOMPARE(port->baudRate(QSerialPort::Input), 115200);
    QCOMPARE(port->baudRate(QSerialPort::Output), 115200);
    QCOMPARE(port->dataBits(), QSerialPort::Data8);
    QCOMPARE(port->parity(), QSerialPort::NoParity);
    QCOMPARE(port->stopBits(), QSerialPort::OneStop);
    QCOMPARE(port->flowControl(), QSerialPort::NoFlowControl);
    QCOMPARE(port->parent(), &window);
    QVERIFY(!Access::serialRetryTimer(window)->isActive());
}

void SerialLinkTest::framesMoveTargets()
{
    TempSettings settings;
    MainWindow window;
    Pty pty;
    useSerial(window, pty.slavePath());
    QCOMPARE(levelsText(Access::targetLevels(window)), floorText());

    const QByteArray whole = LevelFrame::encodeLevels({-40.0, -30.0, -20.0, -10.0, 0.0, 5.0});
    QVERIFY(pty.write(whole));
    QTRY_COMPARE_WITH_TIMEOUT(levelsText(Access::targetLevels(window)), levelsText(whole), ArrivalTimeoutMs);

    // A frame split over two reads: the window must hold the first part until the rest arrives.
    const QByteArray split = numberedFrame(20000);
    QVERIFY(pty.write(split.left(5)));
    QTRY_COMPARE_WITH_TIMEOUT(Access::serialStream(window).pendingBytes(), 5, ArrivalTimeoutMs);
    QCOMPARE(levelsText(Access::targetLevels(window)), levelsText(whole));
    QVERIFY(pty.write(split.mid(5)));
    QTRY_COMPARE_WITH_TIMEOUT(levelsText(Access::targetLevels(window)), levelsText(split), ArrivalTimeoutMs);
    QCOMPARE(Access::serialStream(window).pendingBytes(), 0);
}

void SerialLinkTest::titleNamesPort_data()
{
    QTest::addColumn<QString>("portName");
    QTest::addColumn<bool>("usePty");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<bool>("retries");

    QTest::newRow("empty name") << QString() << false << false << false;
    QTest::newRow("missing device") << QStringLiteral("/dev/kolvane-no-such-port") << false << false << true;
    QTest::newRow("pseudo-terminal") << QString() << true << true << false;
}

void SerialLinkTest::titleNamesPort()
{
    QFETCH(QString, portName);
    QFETCH(bool, usePty);
    QFETCH(bool, opens);
    QFETCH(bool, retries);

    TempSettings settings;
    MainWindow window;
    Pty pty;
    if (usePty)
        portName = pty.slavePath();
    useSerial(window, portName);

    QCOMPARE(window.windowTitle(), titleFor(portName));
    QVERIFY(Access::serialPort(window));
    QCOMPARE(Access::serialPort(window)->isOpen(), opens);
    // A port that fails to open is tried again later, unless there is no name to try.
    QCOMPARE(Access::serialRetryTimer(window)->isActive(), retries);
}

void SerialLinkTest::twoSetUpsLeaveOneOpenPort()
{
    TempSettings settings;
    MainWindow window;
    Pty pty;
    useSerial(window, pty.slavePath());
    QSerialPort *first = Access::serialPort(window);
    Access::setupLink(window);
    QSerialPort *second = Access::serialPort(window);

    QVERIFY(second);
    QVERIFY(second != first);
    QVERIFY(second->isOpen());
    QCOMPARE(openSerialPortCount(window), 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(window.findChildren<QSerialPort *>().size(), 1);

    // Only the port created last reads, so each frame is handled once.
    const QByteArray frame = numberedFrame(300);
    QVERIFY(pty.write(frame));
    QTRY_COMPARE_WITH_TIMEOUT(levelsText(Access::targetLevels(window)), levelsText(frame), ArrivalTimeoutMs);
}

void SerialLinkTest::clientModeClosesPort()
{
    TempSettings settings;
    MainWindow window;
    Pty pty;
    useSerial(window, pty.slavePath());
    QCOMPARE(openSerialPortCount(window), 1);

    LinkSettings &link = Access::linkSettings(window);
    link.use_udp = true;
    link.is_server = false;
    link.client_host = QStringLiteral("127.0.0.1");
    link.client_port = QString::number(freeUdpPort());
    Access::setupLink(window);

    QVERIFY(!Access::serialPort(window));
    QCOMPARE(openSerialPortCount(window), 0);
    QVERIFY(!Access::serialRetryTimer(window)->isActive());
}

void SerialLinkTest::vanishedDeviceIsReopened()
{
#ifndef Q_OS_UNIX
    QSKIP("needs pseudo-terminals");
#else
    TempSettings settings;
    MainWindow window;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString portPath = dir.filePath(QStringLiteral("ttyConsole"));
    auto device = std::make_unique<Pty>();
    QVERIFY(pointLinkAt(portPath, device->slavePath()));
    useSerial(window, portPath);

    QSerialPort *port = Access::serialPort(window);
    QVERIFY(port && port->isOpen());
    const QByteArray before = numberedFrame(1000);
    QVERIFY(device->write(before));
    QTRY_COMPARE_WITH_TIMEOUT(levelsText(Access::targetLevels(window)), levelsText(before), ArrivalTimeoutMs);

    // The device goes away while the port is open, as when an adapter is pulled.
    QSignalSpy errors(port, &QSerialPort::errorOccurred);
    MessageCapture messages;
    const double cpuBefore = processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    device->closeMaster();
    QTest::qWait(1000);
    const double cpuSeconds = processCpuSeconds() - cpuBefore;
    const double wallSeconds = wall.elapsed() / 1000.0;

    // A port left open on a vanished device reports errors in a busy loop and burns a core.
    QVERIFY2(errors.count() < 10, qPrintable(QStringLiteral("%1 error reports").arg(errors.count())));
    QVERIFY2(cpuSeconds < 0.5 * wallSeconds,
             qPrintable(QStringLiteral("%1 s of CPU in %2 s").arg(cpuSeconds).arg(wallSeconds)));
    QCOMPARE(messages.countStartingWith(LostLine), 1);
    QCOMPARE(openSerialPortCount(window), 0);
    QCOMPARE(levelsText(Access::targetLevels(window)), floorText());
    QCOMPARE(window.windowTitle(), titleFor(portPath));
    QVERIFY(Access::serialRetryTimer(window)->isActive());

    // The device comes back under the same name: reading resumes without any set-up.
    device = std::make_unique<Pty>();
    QVERIFY(pointLinkAt(portPath, device->slavePath()));
    QTRY_COMPARE_WITH_TIMEOUT(openSerialPortCount(window), 1, ReopenTimeoutMs);
    QSerialPort *reopened = Access::serialPort(window);
    QVERIFY(reopened && reopened->isOpen());
    QCOMPARE(reopened->baudRate(), 115200);
    QVERIFY(!Access::serialRetryTimer(window)->isActive());

    const QByteArray after = numberedFrame(2000);
    QVERIFY(device->write(after));
    QTRY_COMPARE_WITH_TIMEOUT(levelsText(Access::targetLevels(window)), levelsText(after), ArrivalTimeoutMs);
    QCOMPARE(window.windowTitle(), titleFor(portPath));
#endif
}

void SerialLinkTest::deviceAppearingAfterSetUpIsOpened()
{
    TempSettings settings;
    MainWindow window;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString portPath = dir.filePath(QStringLiteral("ttyLate"));
    useSerial(window, portPath);
    QCOMPARE(openSerialPortCount(window), 0);
    QCOMPARE(window.windowTitle(), titleFor(portPath));

    // An adapter plugged in after start.
    Pty device;
    QVERIFY(pointLinkAt(portPath, device.slavePath()));
    QTRY_COMPARE_WITH_TIMEOUT(openSerialPortCount(window), 1, ReopenTimeoutMs);
    const QByteArray frame = numberedFrame(4000);
    QVERIFY(device.write(frame));
    QTRY_COMPARE_WITH_TIMEOUT(levelsText(Access::targetLevels(window)), levelsText(frame), ArrivalTimeoutMs);
}

QTEST_MAIN(SerialLinkTest)
#include "tst_seriallink.moc"
