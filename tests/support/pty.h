#pragma once

#include <QByteArray>
#include <QString>

// A pseudo-terminal as a stand-in serial device: the code under test opens slavePath(), the test writes
// the console's bytes on the master side.
class Pty
{
public:
    Pty();
    ~Pty();
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool isOpen() const { return masterFd >= 0; }
    QString slavePath() const { return slaveName; }
    bool write(const QByteArray &bytes); // all of them, at once
    // Closes the master side: the device goes away for whoever holds the slave open.
    void closeMaster();

private:
    int masterFd = -1;
    QString slaveName;
};
