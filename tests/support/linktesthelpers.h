#pragma once

// Small pieces shared by the window's link tests.

#include "mainwindowtestaccess.h"

#include <QProcess>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <sched.h>
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

#ifdef Q_OS_LINUX
// Network namespaces of the test's own (root needed), without names and entered by descriptor: they go
// with the last socket and process in them, so nothing is left behind even when the test is killed.
// Space 0 is the one the thread started in; the thread, and the threads and programs it starts later,
// stay in the one entered last.
struct NetworkSpaces
{
    QVector<int> fds;
    // Makes count of them.
    bool make(int count)
    {
        do
            fds << ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        while (fds.size() <= count && ::unshare(CLONE_NEWNET) == 0);
        return fds.size() == count + 1;
    }
    bool enter(int space) { return ::setns(fds.at(space), CLONE_NEWNET) == 0; }
    QString path(int space) const
    {
        return QStringLiteral("/proc/%1/fd/%2").arg(::getpid()).arg(fds.at(space));
    }
    // Runs ip's commands, one a line, in the namespace: its output, or a null string if one failed.
    QString ip(int space, const QString &commands)
    {
        QProcess ip;
        if (!enter(space))
            return QString();
        ip.start(QStringLiteral("ip"), {QStringLiteral("-batch"), QStringLiteral("-")});
        ip.write(commands.toLatin1());
        ip.closeWriteChannel();
        const bool done =
            ip.waitForFinished(30000) && ip.exitStatus() == QProcess::NormalExit && ip.exitCode() == 0;
        return done ? QString::fromLatin1(ip.readAllStandardOutput()) + ' ' : QString();
    }
    bool run(int space, const QString &commands) { return !ip(space, commands).isNull(); }
};
#endif

} // namespace LinkTest
