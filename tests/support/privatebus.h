#pragma once

#include <QtTest>

// A session bus of the test's own (dbus-daemon --session) with the fake screen saver service on it;
// both end with this object. Set DBUS_SESSION_BUS_ADDRESS to address() before anything opens the bus.
class PrivateBus
{
public:
    PrivateBus()
    {
        daemon.start("dbus-daemon", {"--session", "--nofork", "--nopidfile", "--print-address=1"});
        const QString address = lineFrom(daemon);
        service.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        service.start(KOLVANE_FAKE_SCREENSAVER, {address});
        if (lineFrom(service) == "ready")
            busAddress = address;
        else
            problem =
                "no bus of its own (Debian: dbus-daemon), or no fake screen saver on it; dbus-daemon: " +
                daemon.errorString();
    }
    ~PrivateBus()
    {
        for (QProcess *process : {&service, &daemon}) { // killed by QProcess if they linger
            process->terminate();
            process->waitForFinished(10000);
        }
    }
    // Empty when the daemon or the service did not start; why() says why.
    QString address() const { return busAddress; }
    QString why() const { return problem; }
    // The service's lines so far ("Inhibit <application> <cookie>", "UnInhibit <cookie>").
    QStringList calls()
    {
        while (service.canReadLine())
            seen.append(QString::fromLocal8Bit(service.readLine()).trimmed());
        return seen;
    }

private:
    static QString lineFrom(QProcess &process)
    {
        const auto ready = [&] { return process.canReadLine() || process.state() == QProcess::NotRunning; };
        return QTest::qWaitFor(ready, 10000) ? QString::fromLocal8Bit(process.readLine()).trimmed()
                                             : QString();
    }
    QProcess daemon, service;
    QString busAddress, problem;
    QStringList seen;
};
