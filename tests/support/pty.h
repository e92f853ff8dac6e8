#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// A pseudo-terminal as a stand-in serial device: the code under test opens slavePath(),
// the test writes the console's bytes on the master side.
class Pty
{
public:
    Pty();
    ~Pty();
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool isOpen() const { return masterFd >= 0; }
    QString slavePath() const { return slaveName; }
    int masterDescriptor() const { return masterFd; }
    // Writes all bytes on the master side (the terminal is raw, as a serial line carries bytes unchanged).
    bool write(const QByteArray &bytes);
    // Closes the master side: the device goes away for whoever holds the slave open.
    void closeMaster();
    // Closes the slave descriptor that keeps the device alive while nobody else has it open.
    void closeKeeper();

private:
    int masterFd = -1;
    int keeperFd = -1;
    QString slaveName;
};
