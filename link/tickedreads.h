#pragma once

#include <QObject>
#include <QPointer>

class QIODevice;
class QSocketNotifier;

// While the meters move, the release tick reads the link instead of every arriving frame waking the
// display: the tick only ever shows the last frame before it, and a console at the line rate sends
// seven frames a tick. The device's read notifier is switched off while ticking, and at each tick the
// device gets the notification the event loop would have given it if anything waits (data, a hang-up
// or an error), so its own read path, errors included, runs as always. At rest the notifier is on
// again and the first frame wakes the tick. Unix only; elsewhere every read wakes the display.
class TickedReads : public QObject
{
public:
    explicit TickedReads(QObject *parent = nullptr);

    // The serial port or UDP socket whose reads the tick takes over, once its readyRead handler is
    // connected; nullptr for none.
    void watch(QIODevice *device);
    // On while the release tick runs.
    void setTicking(bool ticking);
    // At the tick, before the meters step: delivers what waits on the device.
    void readNow();

private:
    QSocketNotifier *readNotifier() const;
    void hold();

    QPointer<QIODevice> device;
    bool ticking = false;
};
