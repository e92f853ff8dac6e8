#pragma once

// Small pieces shared by the window's link tests.

#include "mainwindowtestaccess.h"

#ifdef Q_OS_LINUX
#include <cstring>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

using Access = MainWindowTestAccess;

namespace LinkTest {

// Levels as exact text, so a failed comparison shows all six values.
inline QString levelsText(const LevelFrame::Levels &levels)
{
    QStringList parts;
    for (const double level : levels)
        parts << QString::number(level, 'g', 17);
    return parts.join(QLatin1String(", "));
}
inline QString levelsText(const QByteArray &frame)
{
    return levelsText(LevelFrame::decode(frame.constData()));
}
inline QString targetsText(MainWindow &window)
{
    return levelsText(Access::targetLevels(window));
}
inline const QString FloorText = levelsText(LevelFrame::encode({}));
inline const QString Title = QStringLiteral("Kolvane Meters - (%1)");

// A valid frame whose six words all differ from one seed to the next.
inline QByteArray numberedFrame(quint16 seed)
{
    const auto word = [seed](int k) { return quint16(seed + 1000 * k + 1); };
    return LevelFrame::encode({word(0), word(1), word(2), word(3), word(4), word(5)});
}

// The debug lines written since the first call; other messages go on to the test's log.
inline QStringList &debugLines()
{
    static QStringList lines;
    static const QtMessageHandler testLog =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &message) {
            if (type == QtDebugMsg)
                lines << message;
            else if (testLog)
                testLog(type, context, message);
        });
    return lines;
}

// Moves the calling thread, and the threads and programs it starts later, into a network namespace of
// its own with the loopback up, so the test owns every UDP port. On the machine's loopback a port found
// free is free only at that moment: another test's bind to port 0, or its first datagram sent, may take
// it before the window binds it. Needs root; false where that is not allowed.
inline bool ownNetwork()
{
#ifdef Q_OS_LINUX
    ifreq lo{};
    std::strcpy(lo.ifr_name, "lo");
    const int fd = ::unshare(CLONE_NEWNET) == 0 ? ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0) : -1;
    const bool up = fd >= 0 && ::ioctl(fd, SIOCGIFFLAGS, &lo) == 0 &&
                    (lo.ifr_flags |= IFF_UP, ::ioctl(fd, SIOCSIFFLAGS, &lo) == 0);
    if (fd >= 0)
        ::close(fd);
    return up;
#else
    return false;
#endif
}

// A UDP port that nothing on this machine (or in this test's own network) is bound to right now.
inline quint16 freeUdpPort()
{
    QUdpSocket probe;
    return probe.bind(QHostAddress::Any, 0, QAbstractSocket::DontShareAddress) ? probe.localPort() : 0;
}

// Serial mode on the given port name (relayed as UDP server if asked), or UDP client of 127.0.0.1 at the
// given port.
inline void useLink(MainWindow &window, bool udp, const QString &port, bool server = false)
{
    LinkSettings &link = Access::linkSettings(window);
    link.use_udp = udp || server;
    link.is_server = server;
    (udp ? link.client_port : link.serialport) = port;
    link.client_host = QStringLiteral("127.0.0.1");
    Access::setupLink(window);
}

} // namespace LinkTest
