#include "pty.h"

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

Pty::Pty()
{
    // posix_openpt rather than openpty: no libutil, and no clash with this header's name.
    masterFd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (masterFd < 0)
        return;
    const char *name =
        (::grantpt(masterFd) == 0 && ::unlockpt(masterFd) == 0) ? ::ptsname(masterFd) : nullptr;
    const int slaveFd = name ? ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
    if (slaveFd < 0) {
        ::close(masterFd);
        masterFd = -1;
        return;
    }
    termios raw{};
    if (::tcgetattr(slaveFd, &raw) == 0) {
        ::cfmakeraw(&raw);
        ::tcsetattr(slaveFd, TCSANOW, &raw);
    }
    keeperFd = slaveFd;
    slaveName = QString::fromLocal8Bit(name);
}

Pty::~Pty()
{
    closeKeeper();
    closeMaster();
}

bool Pty::write(const QByteArray &bytes)
{
    qint64 done = 0;
    while (masterFd >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(masterFd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return masterFd >= 0;
}

void Pty::closeMaster()
{
    if (masterFd >= 0)
        ::close(masterFd);
    masterFd = -1;
}

void Pty::closeKeeper()
{
    if (keeperFd >= 0)
        ::close(keeperFd);
    keeperFd = -1;
}
#else
Pty::Pty() = default;
Pty::~Pty() = default;
bool Pty::write(const QByteArray &)
{
    return false;
}
void Pty::closeMaster() {}
void Pty::closeKeeper() {}
#endif
