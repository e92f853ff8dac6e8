#pragma once

// Small pieces shared by the window's link tests.

#include "mainwindowtestaccess.h"

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

// A UDP port that nothing on this machine is bound to right now.
inline quint16 freeUdpPort()
{
    QUdpSocket probe;
    return probe.bind(QHostAddress::Any, 0, QAbstractSocket::DontShareAddress) ? probe.localPort() : 0;
}

// Serial mode on the given port name, or UDP client of 127.0.0.1 at the given port.
inline void useLink(MainWindow &window, bool udp, const QString &port)
{
    LinkSettings &link = Access::linkSettings(window);
    link.use_udp = udp;
    link.is_server = false;
    (udp ? link.client_port : link.serialport) = port;
    link.client_host = QStringLiteral("127.0.0.1");
    Access::setupLink(window);
}

} // namespace LinkTest
