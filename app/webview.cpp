#include "webview.h"

#include "linkstatus.h"
#include "meteroptions.h"
#include "silencewatch.h"
#include "timesync.h"
#include "webfeed.h"
#include "webserver.h"
#include "zelppmmeter.h"

#include <QLabel>

namespace {

WebSnapshot::Lamp lampOf(StatusLamp::State state)
{
    switch (state) {
    case StatusLamp::State::Good:
        return WebSnapshot::Lamp::Green;
    case StatusLamp::State::Warning:
        return WebSnapshot::Lamp::Amber;
    case StatusLamp::State::Fault:
        return WebSnapshot::Lamp::Red;
    case StatusLamp::State::Off:
        break;
    }
    return WebSnapshot::Lamp::Grey;
}

} // namespace

WebView::WebView(const Parts &parts, QObject *parent)
    : QObject(parent), parts(parts), web(new WebServer(this, this))
{
    WebFeed *feed = web->feed();
    connect(parts.link, &LinkStatus::lampChanged, feed, &WebFeed::stateChanged);
    connect(parts.silence, &SilenceWatch::alarmShownChanged, feed, &WebFeed::stateChanged);
    connect(parts.timeSync, &TimeSync::changed, feed, &WebFeed::stateChanged);
}

void WebView::apply(const WebConfig &config)
{
    current = config;
    web->start(config);
}

void WebView::levelsMoved()
{
    web->feed()->levelsMoved();
}

void WebView::lookChanged()
{
    web->feed()->lookChanged();
}

WebSnapshot WebView::snapshot() const
{
    WebSnapshot s;
    s.linkSource = parts.link->sourceName();
    s.linkLamp = lampOf(parts.link->lampNow());
    s.framesPerSecond = parts.link->framesPerSecond();
    s.msSinceLastFrame = parts.link->msSinceLastFrame();
    s.framesReceived = parts.link->framesReceived();
    s.signalLosses = parts.link->signalLosses();
    s.silenceAlarmEnabled = parts.silence->isEnabled();
    s.silenceAlarmOn = parts.silence->isAlarmShown();
    s.silenceAlarmSinceMs = parts.silence->alarmShownSinceMs();
    s.timeSync = lampOf(parts.timeSync->state());
    s.timeSyncEstimatedErrorUs = parts.timeSync->estimatedErrorUs().value_or(-1);
    const MeterScale &scale = MeterScale::of(parts.meterOptions->scale);
    for (size_t i = 0; i < s.levelsDb.size(); ++i) {
        s.levelsDb[i] = parts.meters[i]->dBPosition();
        s.positions[i] = scale.position(s.levelsDb[i]);
    }
    for (const QLabel *caption : parts.captions)
        s.captions << caption->text();
    s.scale.key = QString::fromLatin1(scale.key);
    s.scale.name = QString::fromLatin1(scale.name);
    s.scale.redFrom = scale.position(scale.permittedMaximumDb);
    for (const MeterScale::Mark &mark : scale.marks)
        s.scale.marks.append({scale.position(mark.levelDb), QString::fromUtf8(mark.label)});
    return s;
}
