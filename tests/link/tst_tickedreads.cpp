// The release tick takes over the link's reads while the meters move: real serial ports on
// pseudo-terminals and real UDP sockets on loopback.

#include "pty.h"
#include "tickedreads.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QSerialPort>
#include <QTest>
#include <QUdpSocket>

namespace {

// Long enough for the event loop to deliver a notification that is on.
constexpr int QuietMs = 100;

} // namespace

class TstTickedReads : public QObject
{
    Q_OBJECT

private slots:
    // While ticking, bytes wait for the tick and all of them arrive there in one read; at rest
    // they wake the reader at once.
    void serialBytesWaitForTheTick()
    {
        Pty pty;
        QVERIFY(pty.isOpen());
        QSerialPort port(pty.slavePath());
        QByteArray received;
        connect(&port, &QSerialPort::readyRead, [&] { received += port.readAll(); });
        QVERIFY(port.open(QIODevice::ReadOnly));
        TickedReads reads;
        reads.watch(&port);
        reads.setTicking(true);

        for (int frame = 0; frame < 7; ++frame) {
            QVERIFY(pty.write(QByteArray(16, char('a' + frame))));
            QTest::qWait(QuietMs / 7);
        }
        QTest::qWait(QuietMs);
        QVERIFY(received.isEmpty());
        reads.readNow();
        QCOMPARE(received.size(), 7 * 16);
        QVERIFY(received.endsWith(QByteArray(16, 'g')));
        // Nothing waits: the next tick reads nothing.
        received.clear();
        reads.readNow();
        QVERIFY(received.isEmpty());

        reads.setTicking(false);
        QVERIFY(pty.write("rest"));
        QTRY_COMPARE(received, QByteArray("rest"));
    }

    // A device that goes away while ticking is noticed at the next tick, through the port's own
    // error, as it would be at rest.
    void serialHangUpArrivesAtTheTick()
    {
        Pty pty;
        QSerialPort port(pty.slavePath());
        QList<QSerialPort::SerialPortError> errors;
        connect(&port, &QSerialPort::errorOccurred,
                [&](QSerialPort::SerialPortError error) { errors << error; });
        QVERIFY(port.open(QIODevice::ReadOnly));
        pty.closeKeeper();
        TickedReads reads;
        reads.watch(&port);
        reads.setTicking(true);
        pty.closeMaster();
        reads.readNow();
        QVERIFY(errors.contains(QSerialPort::ResourceError) || errors.contains(QSerialPort::ReadError));
    }

    // Datagrams wait for the tick as well; a device no longer watched reads as before.
    void datagramsWaitForTheTick()
    {
        QUdpSocket receiver;
        QVERIFY(receiver.bind(QHostAddress::LocalHost, 0));
        int datagrams = 0;
        connect(&receiver, &QUdpSocket::readyRead, [&] {
            while (receiver.hasPendingDatagrams()) {
                receiver.receiveDatagram();
                ++datagrams;
            }
        });
        TickedReads reads;
        reads.watch(&receiver);
        reads.setTicking(true);
        QUdpSocket sender;
        for (int i = 0; i < 5; ++i)
            sender.writeDatagram(QByteArray(16, 'x'), QHostAddress::LocalHost, receiver.localPort());
        QTest::qWait(QuietMs);
        QCOMPARE(datagrams, 0);
        reads.readNow();
        QCOMPARE(datagrams, 5);

        reads.watch(nullptr);
        sender.writeDatagram(QByteArray(16, 'y'), QHostAddress::LocalHost, receiver.localPort());
        QTRY_COMPARE(datagrams, 6);
    }
};

QTEST_GUILESS_MAIN(TstTickedReads)
#include "tst_tickedreads.moc"
