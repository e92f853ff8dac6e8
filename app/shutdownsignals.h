#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the main thread, so that a program stopped
// by the session manager, a service manager or Ctrl+C leaves the event loop normally and stores
// what it must (a display its settings). The handler itself only writes one byte into a socket pair.
class ShutdownSignals : public QObject
{
    Q_OBJECT

public:
    explicit ShutdownSignals(QObject *parent = nullptr);
    ~ShutdownSignals() override;

    // False where the handlers could not be installed (or on platforms without these signals).
    bool isActive() const { return notifier != nullptr; }

Q_SIGNALS:
    void shutdownRequested(int signalNumber);

private:
    void readSignal();

    QSocketNotifier *notifier = nullptr;
};
