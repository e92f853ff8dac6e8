#pragma once

#include "signalwatch.h"
#include "statuslamp.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

// Answers the engineer's "is this live?": watches the frames of the link in use, shows the
// answer on the link lamp and its tooltip, and reports a signal that went away.
//
// One single-shot timer runs only while frames come, armed once to the watch's deadline; each
// expiry re-checks and re-arms to the new deadline, so frames cost no timer restarts and a quiet
// link no timer at all.
class LinkStatus : public QObject
{
    Q_OBJECT

public:
    LinkStatus(StatusLamp *lamp, QObject *parent);

    int timeout() const { return watch.timeout(); }
    void setTimeout(int ms);

    // A new link, before it is opened: what it reads, for the tooltip and the debug log.
    void watchSerialPort(const QString &portName);
    void watchUdpClient(const QString &port, const QString &serverHost);
    // What came of it: open or bound (amber until the first frame), failed or gone away (red),
    // or nothing to read (grey).
    void linkOpened();
    void linkFailed(const QString &error);
    void nothingToRead();

    void frameArrived();

    SignalWatch::State signalState() const { return watch.state(); }
    bool isDeadlineArmed() const { return deadlineTimer.isActive(); }
    QString toolTipText() const;
    // For monitoring: the link in words, frames since the start, signals lost (no frame for the
    // timeout, or the link failing while frames came), the last second's frames and the time since
    // the last frame (-1 before the first).
    QString sourceName() const { return logSource; }
    quint64 framesReceived() const { return frameCount; }
    quint64 signalLosses() const { return lossCount; }
    int framesPerSecond() const { return watch.framesPerSecond(clock.elapsed()); }
    qint64 msSinceLastFrame() const { return lastFrameMs < 0 ? -1 : clock.elapsed() - lastFrameMs; }
    StatusLamp::State lampNow() const { return lampState(); }

Q_SIGNALS:
    // No frame for the timeout: the levels shown are no longer there.
    void signalLost();
    // The lamp turned to another colour: what depends on a live link follows it.
    void lampChanged(StatusLamp::State state);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class Link
    {
        NothingToRead,
        Failed,
        Open,
    };

    void startLink(const QString &source, const QString &logSource);
    void onDeadline();
    void armDeadline(qint64 nowMs);
    void showState();
    StatusLamp::State lampState() const;

    StatusLamp *const lamp;
    SignalWatch watch;
    QElapsedTimer clock;
    QTimer deadlineTimer;
    Link link = Link::NothingToRead;
    QString source;    // in words, for the tooltip
    QString logSource; // untranslated, for the debug log
    QString lastError;
    quint64 frameCount = 0;
    quint64 lossCount = 0;
    qint64 lastFrameMs = -1;
};
