#pragma once

#include <QObject>

#include <array>

class LinkStatus;
class QLabel;
class WallDisplay;
class WebView;
struct LinkSettings;
struct MeterOptions;

// Stores every setting of the display at once: whenever the user has changed one, and at exit. A wall
// display that loses power or is killed comes back as it was left. QSettings writes through a
// temporary file and a rename, so a crash during a write leaves the previous file whole.
class SettingsWriter : public QObject
{
    Q_OBJECT

public:
    // Where the settings are read from when they are written; all outlive the writer.
    struct Sources
    {
        const LinkSettings *link;
        std::array<const QLabel *, 3> captions; // labelMeter1, labelMeter2, labelMeter3
        const LinkStatus *linkStatus;           // the signal timeout
        const MeterOptions *meterOptions;
        const WallDisplay *wallDisplay; // the window's place, full screen and the display options
        const WebView *webView;         // the web view's port and address
    };

    SettingsWriter(const Sources &sources, QObject *parent);

public slots:
    void write() const;

private:
    const Sources from;
};
