#include "privatebus.h"

#include <QStandardPaths>
#include <QtTest>

namespace {
constexpr int StartTimeoutMs = 10000;

QString lineFrom(QProcess &process)
{
    const bool ready = QTest::qWaitFor(
        [&] { return process.canReadLine() || process.state() == QProcess::NotRunning; }, StartTimeoutMs);
    if (!ready)
        return QString();
    return QString::fromLocal8Bit(process.readLine()).trimmed();
}
} // namespace

PrivateBus::PrivateBus()
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (program.isEmpty()) {
        problem = QStringLiteral("dbus-daemon is not installed (Debian: dbus-daemon)");
        return;
    }
    daemon.start(program, {"--session", "--nofork", "--nopidfile", "--print-address=1"});
    const QString address = lineFrom(daemon);
    if (address.isEmpty()) {
        problem = QStringLiteral("dbus-daemon gave no address: ") + daemon.readAllStandardError();
        return;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    service.setProcessEnvironment(env);
    service.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    service.start(QStringLiteral(KOLVANE_FAKE_SCREENSAVER), QStringList());
    if (lineFrom(service) != QLatin1String("ready")) {
        problem = QStringLiteral("the fake screen saver service did not start");
        return;
    }
    busAddress = address;
}

PrivateBus::~PrivateBus()
{
    for (QProcess *process : {&service, &daemon}) {
        process->terminate();
        if (!process->waitForFinished(StartTimeoutMs))
            process->kill();
        process->waitForFinished();
    }
}

QStringList PrivateBus::calls()
{
    while (service.canReadLine())
        seen.append(QString::fromLocal8Bit(service.readLine()).trimmed());
    return seen;
}
