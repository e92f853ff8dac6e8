#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// A session bus of the test's own (dbus-daemon --session) with the fake screen saver service on it;
// both end with this object. Set DBUS_SESSION_BUS_ADDRESS to address() before anything opens the bus.
class PrivateBus
{
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;

    // Empty when the daemon or the service did not start; why() says why.
    QString address() const { return busAddress; }
    QString why() const { return problem; }
    // The service's lines so far ("Inhibit <application> <cookie>", "UnInhibit <cookie>").
    QStringList calls();

private:
    QProcess daemon, service;
    QString busAddress, problem;
    QStringList seen;
};
