#include "webreports.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace WebReports {

const char *const MeterNames[WebSnapshot::MeterCount] = {"prog_left", "prog_right", "sub_left",
                                                         "sub_right", "crm_left",   "crm_right"};

const char *lampName(WebSnapshot::Lamp lamp)
{
    switch (lamp) {
    case WebSnapshot::Lamp::Green:
        return "green";
    case WebSnapshot::Lamp::Amber:
        return "amber";
    case WebSnapshot::Lamp::Red:
        return "red";
    case WebSnapshot::Lamp::Grey:
        break;
    }
    return "grey";
}

namespace {

constexpr WebSnapshot::Lamp AllLamps[] = {WebSnapshot::Lamp::Grey, WebSnapshot::Lamp::Green,
                                          WebSnapshot::Lamp::Amber, WebSnapshot::Lamp::Red};
// Shares of the height in ten-thousandths: finer than a pixel on any screen, and short as text.
constexpr double PositionSteps = 10000.0;

double tenths(double value)
{
    return std::round(value * 10.0) / 10.0;
}

QString lamp(WebSnapshot::Lamp state)
{
    return QString::fromLatin1(lampName(state));
}

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// A label value as the exposition format wants it; ours are fixed names, so only the quotes matter.
void gaugePerState(QByteArray &out, const char *name, const char *help, WebSnapshot::Lamp state)
{
    out += QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + " gauge\n";
    for (const WebSnapshot::Lamp each : AllLamps)
        out += QByteArray(name) + "{state=\"" + lampName(each) + "\"} " + (each == state ? "1" : "0") + '\n';
}

void single(QByteArray &out, const char *name, const char *type, const char *help, const QByteArray &value)
{
    out += QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n' + name + ' ' +
           value + '\n';
}

} // namespace

QByteArray statusJson(const WebSnapshot &s, const Process &process)
{
    QJsonObject levels;
    for (int i = 0; i < WebSnapshot::MeterCount; ++i)
        levels[QLatin1String(MeterNames[i])] = tenths(s.levelsDb[size_t(i)]);
    const QJsonObject link{
        {QStringLiteral("source"), s.linkSource},
        {QStringLiteral("lamp"), lamp(s.linkLamp)},
        {QStringLiteral("frames_per_second"), s.framesPerSecond},
        {QStringLiteral("ms_since_last_frame"),
         s.msSinceLastFrame < 0 ? QJsonValue() : QJsonValue(double(s.msSinceLastFrame))},
        {QStringLiteral("frames_received"), double(s.framesReceived)},
        {QStringLiteral("signal_lost_count"), double(s.signalLosses)},
    };
    const QJsonObject silence{
        {QStringLiteral("enabled"), s.silenceAlarmEnabled},
        {QStringLiteral("on"), s.silenceAlarmOn},
        {QStringLiteral("since_ms"),
         s.silenceAlarmOn ? QJsonValue(double(s.silenceAlarmSinceMs)) : QJsonValue()},
    };
    const QJsonObject timeSync{
        {QStringLiteral("state"), lamp(s.timeSync)},
        {QStringLiteral("estimated_error_ms"),
         s.timeSyncEstimatedErrorUs < 0 ? QJsonValue() : QJsonValue(s.timeSyncEstimatedErrorUs / 1000.0)},
    };
    const QJsonObject status{
        {QStringLiteral("version"), process.version},
        {QStringLiteral("uptime_s"), tenths(process.uptimeSeconds)},
        {QStringLiteral("link"), link},
        {QStringLiteral("silence_alarm"), silence},
        {QStringLiteral("time_sync"), timeSync},
        {QStringLiteral("levels_db"), levels},
        {QStringLiteral("scale"), s.scale.key},
    };
    return QJsonDocument(status).toJson(QJsonDocument::Indented);
}

QByteArray metricsText(const WebSnapshot &s, const Process &process)
{
    QByteArray out;
    single(out, "kolvane_frames_received_total", "counter", "Valid level frames received since the start.",
           QByteArray::number(s.framesReceived));
    single(out, "kolvane_signal_losses_total", "counter", "Times the frames stopped or the link failed.",
           QByteArray::number(s.signalLosses));
    gaugePerState(out, "kolvane_link_state", "The link lamp: 1 for its colour.", s.linkLamp);
    gaugePerState(out, "kolvane_time_sync_state", "The time-sync lamp: 1 for its colour.", s.timeSync);
    single(out, "kolvane_silence_alarm", "gauge", "1 while the silence alarm is on.",
           s.silenceAlarmOn ? "1" : "0");
    out += "# HELP kolvane_level_db The level each meter shows, in the frames' dB.\n"
           "# TYPE kolvane_level_db gauge\n";
    for (int i = 0; i < WebSnapshot::MeterCount; ++i)
        out += QByteArray("kolvane_level_db{meter=\"") + MeterNames[i] + "\"} " +
               QByteArray::number(tenths(s.levelsDb[size_t(i)])) + '\n';
    single(out, "kolvane_process_start_time_seconds", "gauge", "Start time of the process since the epoch.",
           QByteArray::number(process.startTimeMs / 1000.0, 'f', 3));
    return out;
}

QByteArray helloMessage(const WebSnapshot &s, const QString &version)
{
    QJsonArray marks;
    for (const WebSnapshot::Mark &mark : s.scale.marks)
        marks.append(QJsonArray{std::round(mark.position * PositionSteps), mark.label});
    const QJsonObject scale{{QStringLiteral("key"), s.scale.key},
                            {QStringLiteral("name"), s.scale.name},
                            {QStringLiteral("red"), std::round(s.scale.redFrom * PositionSteps)},
                            {QStringLiteral("marks"), marks}};
    return compact({{QStringLiteral("t"), QStringLiteral("hello")},
                    {QStringLiteral("version"), version},
                    {QStringLiteral("steps"), PositionSteps},
                    {QStringLiteral("scale"), scale},
                    {QStringLiteral("captions"), QJsonArray::fromStringList(s.captions)}});
}

QByteArray levelsMessage(const WebSnapshot &s)
{
    QByteArray out = "{\"t\":\"l\",\"v\":[";
    for (int i = 0; i < WebSnapshot::MeterCount; ++i) {
        if (i > 0)
            out += ',';
        out += QByteArray::number(qint64(std::round(s.positions[size_t(i)] * PositionSteps)));
    }
    return out + "]}";
}

QByteArray stateMessage(const WebSnapshot &s)
{
    return compact({{QStringLiteral("t"), QStringLiteral("s")},
                    {QStringLiteral("link"), lamp(s.linkLamp)},
                    {QStringLiteral("alarm"), s.silenceAlarmOn},
                    {QStringLiteral("sync"), lamp(s.timeSync)}});
}

QByteArray timeMessage(qint64 serverMs)
{
    return "{\"t\":\"time\",\"ms\":" + QByteArray::number(serverMs) + '}';
}

} // namespace WebReports
