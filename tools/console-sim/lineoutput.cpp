#include "lineoutput.h"

#include <QElapsedTimer>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

QString systemError(const QString &what)
{
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
}

void setNonBlocking(int fd)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// Bytes pass unchanged: no echo, no CR/LF translation, no signals from special characters.
bool makeRaw(int fd, bool serialLine)
{
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        return false;
    ::cfmakeraw(&tio);
    if (serialLine) {
        ::cfsetispeed(&tio, B115200);
        ::cfsetospeed(&tio, B115200);
        tio.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS | CSIZE);
        tio.c_cflag |= CS8 | CLOCAL | CREAD;
        tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    }
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

qint64 writeSome(int fd, const QByteArray &bytes, qint64 offset)
{
    for (;;) {
        const ssize_t n = ::write(fd, bytes.constData() + offset, size_t(bytes.size() - offset));
        if (n >= 0)
            return n;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        return -1;
    }
}

class Descriptor
{
public:
    explicit Descriptor(int fd = -1) : fd(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return fd; }
    void reset(int newFd = -1)
    {
        if (fd >= 0)
            ::close(fd);
        fd = newFd;
    }

private:
    int fd;
};

class PseudoTerminal : public LineOutput
{
public:
    bool open(QString *error)
    {
        int masterFd = -1;
        int slaveFd = -1;
        char name[256] = {};
        if (::openpty(&masterFd, &slaveFd, name, nullptr, nullptr) != 0) {
            *error = systemError(QStringLiteral("cannot open a pseudo-terminal"));
            return false;
        }
        master.reset(masterFd);
        path = QString::fromLocal8Bit(name);
        // The settings stay with the terminal for every later reader; a reader such as a serial
        // port library sets its own anyway.
        const bool raw = makeRaw(slaveFd, false);
        ::close(slaveFd);
        if (!raw) {
            *error = systemError(QStringLiteral("cannot set %1 to raw mode").arg(path));
            return false;
        }
        ::fcntl(master.get(), F_SETFD, FD_CLOEXEC);
        setNonBlocking(master.get());
        return true;
    }

    bool hasReader() override
    {
        pollfd entry{master.get(), POLLIN, 0};
        if (::poll(&entry, 1, 0) < 0)
            return true;
        if (entry.revents & POLLHUP)
            return false;
        if (entry.revents & POLLIN)
            discardInput();
        return true;
    }

    qint64 write(const QByteArray &bytes, qint64 offset) override
    {
        const qint64 n = writeSome(master.get(), bytes, offset);
        // EIO: the last reader closed between the check and the write; the bytes go nowhere.
        if (n < 0 && errno == EIO)
            return bytes.size() - offset;
        return n;
    }

    // Closing the controlling side hangs up the terminal and throws away what the reader has not
    // read yet, so wait until the reader has gone or the terminal's input queue stays empty.
    bool drained() override
    {
        if (probe.get() < 0 && !hasReader())
            return true;
        if (probe.get() < 0) {
            // Fails with EBUSY where the reader asked for exclusive use; then the caller's time
            // limit decides.
            probe.reset(::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
            if (probe.get() < 0)
                return false;
        }
        int queued = 0;
        if (::ioctl(probe.get(), FIONREAD, &queued) != 0)
            return false;
        // Written bytes wait in the kernel's flip buffer until a worker moves them into the queue,
        // which on a busy machine takes a while: the queue must stay empty for some time.
        if (queued > 0) {
            emptyFor.invalidate();
            return false;
        }
        if (!emptyFor.isValid())
            emptyFor.start();
        return emptyFor.hasExpired(QuietBeforeDrainedMs);
    }

    QString description() const override { return path; }

private:
    // Whatever a reader writes back is of no interest, but must not fill the terminal.
    void discardInput()
    {
        char sink[256];
        while (::read(master.get(), sink, sizeof sink) > 0) {
        }
    }

    static constexpr qint64 QuietBeforeDrainedMs = 250;

    Descriptor master;
    Descriptor probe;
    QString path;
    QElapsedTimer emptyFor;
};

class SerialDevice : public LineOutput
{
public:
    bool open(const QString &devicePath, QString *error)
    {
        path = devicePath;
        device.reset(::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        if (device.get() < 0) {
            *error = systemError(QStringLiteral("cannot open %1").arg(path));
            return false;
        }
        if (!makeRaw(device.get(), true)) {
            *error = systemError(QStringLiteral("cannot set %1 to 115200 baud 8N1").arg(path));
            return false;
        }
        return true;
    }

    bool hasReader() override { return true; }
    qint64 write(const QByteArray &bytes, qint64 offset) override
    {
        return writeSome(device.get(), bytes, offset);
    }

    bool drained() override
    {
        // Waits until the last byte has left the UART: at most a few kilobytes at line rate.
        while (::tcdrain(device.get()) != 0 && errno == EINTR) {
        }
        return true;
    }

    QString description() const override { return path; }

private:
    Descriptor device;
    QString path;
};

class UdpDestination : public LineOutput
{
public:
    bool open(const QString &hostName, quint16 portNumber, QString *error)
    {
        host = hostName;
        port = portNumber;
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_DGRAM;
        addrinfo *found = nullptr;
        const QByteArray service = QByteArray::number(port);
        const int status = ::getaddrinfo(host.toLocal8Bit().constData(), service.constData(), &hints, &found);
        if (status != 0 || !found) {
            *error = QStringLiteral("cannot resolve %1: %2")
                         .arg(host, QString::fromLocal8Bit(::gai_strerror(status)));
            return false;
        }
        std::memcpy(&address, found->ai_addr, found->ai_addrlen);
        addressLength = found->ai_addrlen;
        socket.reset(::socket(found->ai_family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        ::freeaddrinfo(found);
        if (socket.get() < 0) {
            *error = systemError(QStringLiteral("cannot open a UDP socket"));
            return false;
        }
        // A display in server mode sends to the broadcast address; allow imitating that.
        const int on = 1;
        ::setsockopt(socket.get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        return true;
    }

    bool hasReader() override { return true; }

    qint64 write(const QByteArray &bytes, qint64 offset) override
    {
        for (;;) {
            const ssize_t n =
                ::sendto(socket.get(), bytes.constData() + offset, size_t(bytes.size() - offset), 0,
                         reinterpret_cast<const sockaddr *>(&address), addressLength);
            if (n >= 0)
                return bytes.size() - offset;
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS)
                return 0;
            // An unreachable network and the like: the datagram is lost, as on a real network;
            // say so once and keep sending.
            if (!warned) {
                warned = true;
                const QString message =
                    systemError(QStringLiteral("sending to %1 failed").arg(description()));
                std::fprintf(stderr, "console-sim: %s\n", qPrintable(message));
            }
            return bytes.size() - offset;
        }
    }

    QString description() const override { return QStringLiteral("%1 port %2 (UDP)").arg(host).arg(port); }

private:
    Descriptor socket;
    sockaddr_storage address{};
    socklen_t addressLength = 0;
    QString host;
    quint16 port = 0;
    bool warned = false;
};

} // namespace

std::unique_ptr<LineOutput> openPseudoTerminal(QString *error)
{
    auto output = std::make_unique<PseudoTerminal>();
    if (!output->open(error))
        return nullptr;
    return output;
}

std::unique_ptr<LineOutput> openSerialDevice(const QString &path, QString *error)
{
    auto output = std::make_unique<SerialDevice>();
    if (!output->open(path, error))
        return nullptr;
    return output;
}

std::unique_ptr<LineOutput> openUdpDestination(const QString &host, quint16 port, QString *error)
{
    auto output = std::make_unique<UdpDestination>();
    if (!output->open(host, port, error))
        return nullptr;
    return output;
}

#else

namespace {
const QString NotHere =
    QStringLiteral("this build of console-sim has no pseudo-terminal, serial or UDP output");
}

std::unique_ptr<LineOutput> openPseudoTerminal(QString *error)
{
    *error = NotHere;
    return nullptr;
}

std::unique_ptr<LineOutput> openSerialDevice(const QString &, QString *error)
{
    *error = NotHere;
    return nullptr;
}

std::unique_ptr<LineOutput> openUdpDestination(const QString &, quint16, QString *error)
{
    *error = NotHere;
    return nullptr;
}

#endif
