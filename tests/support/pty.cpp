#include "pty.h"

#ifdef Q_OS_UNIX
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

Pty::Pty()
{
    // posix_openpt rather than openpty: no libutil, and no clash with this header's name. The slave
    // needs no settings here: the serial port that opens it makes it raw.
    masterFd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (masterFd >= 0 && ::grantpt(masterFd) == 0 && ::unlockpt(masterFd) == 0)
        slaveName = QString::fromLocal8Bit(::ptsname(masterFd));
    else
        closeMaster();
}

Pty::~Pty()
{
    closeMaster();
}

bool Pty::write(const QByteArray &bytes)
{
    // The writes here are short: the terminal's buffer takes each whole.
    return masterFd >= 0 && ::write(masterFd, bytes.constData(), size_t(bytes.size())) == bytes.size();
}

void Pty::closeMaster()
{
    if (masterFd >= 0)
        ::close(masterFd);
    masterFd = -1;
}
#else
Pty::Pty() = default;
Pty::~Pty() = default;
bool Pty::write(const QByteArray &)
{
    return false;
}
void Pty::closeMaster() {}
#endif
