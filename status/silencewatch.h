#pragma once

#include "silencealarm.h"
#include "statuslamp.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class QLabel;
class QTimer;

// Puts the silence alarm on the display: the programme caption's band turns red while it is on.
// Fed with the programme levels of every valid frame; a single-shot timer at the alarm's next
// deadline lets it change while no frames come (a console that sends only on change).
class SilenceWatch : public QObject
{
    Q_OBJECT

public:
    SilenceWatch(QLabel *band, QObject *parent);

    // Off: the band as it was, and nothing to do per frame.
    void setEnabled(bool enabled);
    void setThresholdDb(double db);
    void setDelayMs(qint64 ms);
    bool isEnabled() const { return enabled; }
    bool isAlarmOn() const { return alarm.isOn(); }
    const SilenceAlarm &state() const { return alarm; }
    // What the band shows, and since when (milliseconds since the epoch; -1 while off).
    bool isAlarmShown() const { return shown; }
    qint64 alarmShownSinceMs() const { return shownSinceMs; }

    void frame(double leftDb, double rightDb);

Q_SIGNALS:
    void alarmShownChanged(bool on);

public Q_SLOTS:
    // While the signal is lost the alarm stays out.
    void setSignalPresent(bool present);
    // The link lamp: only green means frames are coming. Red (the link failed), amber (no frames) or
    // grey (nothing to read) is the link's business, not this alarm's.
    void followLinkLamp(StatusLamp::State lamp);

private:
    void follow();
    void showAlarm(bool on);
    void checkDeadline();

    QLabel *band;
    QString bandStyle; // the caption's own look, given back when the alarm clears
    QTimer *deadlineTimer;
    QElapsedTimer clock;
    SilenceAlarm alarm;
    qint64 armedDeadline = SilenceAlarm::NoDeadline;
    bool enabled = false;
    bool signalPresent = true;
    bool shown = false;
    qint64 shownSinceMs = -1;
};
