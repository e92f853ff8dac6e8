#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

// Where the frames go: a new pseudo-terminal, a serial device or a UDP destination.
// All writes are non-blocking, so pacing never stalls on a full device.
class LineOutput
{
public:
    virtual ~LineOutput() = default;

    // False while nobody could receive what is written (a pseudo-terminal that nobody has open).
    virtual bool hasReader() = 0;
    // Writes what the device takes now: the number of bytes taken (0 when it is full), -1 on failure.
    virtual qint64 write(const QByteArray &bytes, qint64 offset) = 0;
    // After the last write: true once the bytes are on their way (or have been read), so that
    // closing loses nothing. Called every few milliseconds until it returns true or the caller
    // gives up.
    virtual bool drained() { return true; }
    // What to show the user: the device path, or the destination.
    virtual QString description() const = 0;
};

// A new pseudo-terminal in raw mode. The simulator keeps no descriptor of the terminal side
// open, so the hang-up that the controlling side reports tells whether anyone is reading.
std::unique_ptr<LineOutput> openPseudoTerminal(QString *error);
// A serial device at 115200 baud, 8N1, no flow control.
std::unique_ptr<LineOutput> openSerialDevice(const QString &path, QString *error);
// A UDP socket that sends each write as one datagram to host:port.
std::unique_ptr<LineOutput> openUdpDestination(const QString &host, quint16 port, QString *error);
