#pragma once

#include "webconfig.h"
#include "websnapshot.h"

#include <QObject>

#include <array>

class LinkStatus;
class QLabel;
class SilenceWatch;
class TimeSync;
class WebServer;
class ZelPPMMeter;
struct MeterOptions;

// The display's side of the web view: reads the display's parts into snapshots for the web server,
// and tells the server's feed when they change. The web part itself knows nothing of the window.
class WebView : public QObject, public WebSource
{
    Q_OBJECT

public:
    // What the page and the monitoring see; all outlive the view.
    struct Parts
    {
        const LinkStatus *link;
        SilenceWatch *silence;
        TimeSync *timeSync;
        std::array<const ZelPPMMeter *, WebSnapshot::MeterCount> meters;
        std::array<const QLabel *, 3> captions;
        const MeterOptions *meterOptions;
    };

    WebView(const Parts &parts, QObject *parent);

    WebSnapshot snapshot() const override;
    const WebConfig &config() const { return current; }
    void apply(const WebConfig &config);
    WebServer *server() const { return web; }

public Q_SLOTS:
    // The meters moved (the release tick); the feed takes what it needs of it.
    void levelsMoved();
    // The scale or a caption changed.
    void lookChanged();

private:
    const Parts parts;
    WebServer *web;
    WebConfig current;
};
