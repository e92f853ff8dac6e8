#pragma once

#include "websnapshot.h"

#include <QByteArray>

// The state of the display as text for others: the monitoring's JSON and Prometheus' exposition
// format, and the feed's messages. Pure functions of a snapshot.
namespace WebReports {

// The meters by name, in the frames' order.
extern const char *const MeterNames[WebSnapshot::MeterCount];
const char *lampName(WebSnapshot::Lamp lamp);

struct Process
{
    QString version;
    double uptimeSeconds = 0;
    qint64 startTimeMs = 0; // milliseconds since the epoch
};

QByteArray statusJson(const WebSnapshot &snapshot, const Process &process);
QByteArray metricsText(const WebSnapshot &snapshot, const Process &process);

// The feed's messages: one JSON object each, named by "t".
QByteArray helloMessage(const WebSnapshot &snapshot, const QString &version);
QByteArray levelsMessage(const WebSnapshot &snapshot);
QByteArray stateMessage(const WebSnapshot &snapshot);
QByteArray timeMessage(qint64 serverMs);

} // namespace WebReports
