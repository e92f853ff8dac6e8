#include "pty.h"

#ifdef Q_OS_UNIX
#include <cstdlib>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

Pty::Pty()
{
    // posix_openpt rather than openpty: no libutil, and no clash with this header's name.
    masterFd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    const bool ready = masterFd >= 0 && ::grantpt(masterFd) == 0 && ::unlockpt(masterFd) == 0;
    const char *name = ready ? ::ptsname(masterFd) : nullptr;
    keeperFd = name ? ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
    termios raw{};
    if (keeperFd >= 0 && ::tcgetattr(keeperFd, &raw) == 0) {
        ::cfmakeraw(&raw);
        ::tcsetattr(keeperFd, TCSANOW, &raw);
        slaveName = QString::fromLocal8Bit(name);
    } else {
        closeMaster();
    }
}

Pty::~Pty()
{
    if (keeperFd >= 0)
        ::close(keeperFd);
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
