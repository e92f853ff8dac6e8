#include "mainwindow.h"

#include "kiosk.h"
#include "linkstatus.h"
#include "mylabel.h"
#include "settingsstore.h"
#include "settingswriter.h"
#include "walldisplay.h"
#include "webview.h"

#include <QSettings>

namespace {

struct CaptionKey
{
    const char *key;
    const char *defaultText;
};

constexpr CaptionKey CaptionKeys[] = {
    {"labelMeter1", "Prog"}, {"labelMeter2", "Sub"}, {"labelMeter3", "CRM"}};

QString key(const char *name)
{
    return QString::fromLatin1(name);
}

// A whole number of milliseconds from 0 (watch off) up to ten minutes; anything else is a mistake
// in the store and gets the default.
int signalTimeoutFrom(const QVariant &stored)
{
    bool isNumber = false;
    int ms = -1;
    switch (stored.userType()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::QString:
    case QMetaType::QByteArray:
        ms = stored.toString().toInt(&isNumber);
        break;
    default:
        break;
    }
    return isNumber && ms >= 0 && ms <= SignalWatch::LongestTimeoutMs ? ms : SignalWatch::DefaultTimeoutMs;
}

} // namespace

void MainWindow::readSettings()
{
    SettingsStore settings;
    linkSettings.is_server = settings.value(key("is_server")).toBool();
    linkSettings.use_udp = settings.value(key("use_udp")).toBool();
    linkSettings.serialport = settings.value(key("serialport")).toString();
    linkSettings.server_host = settings.value(key("server_host")).toString();
    linkSettings.server_port = settings.value(key("server_port")).toString();
    linkSettings.client_host = settings.value(key("client_host")).toString();
    linkSettings.client_port = settings.value(key("client_port")).toString();
    linkSettings.multicast_group = UdpMulticast::groupFrom(settings.value(key("udp_multicast_group")));
    linkSettings.multicast_ttl = UdpMulticast::ttlFrom(settings.value(key("udp_multicast_ttl")));
    linkStatus->setTimeout(signalTimeoutFrom(settings.value(key("signal_timeout_ms"))));
    meterOptions = MeterOptions::read(settings);
    webView->apply(WebConfig::read(settings));

    myLabel *const captions[] = {labelMeter1, labelMeter2, labelMeter3};
    for (int i = 0; i < 3; ++i) {
        const QString captionKey = key(CaptionKeys[i].key);
        // Only an absent key gets the default: a caption stored empty stays empty.
        if (settings.contains(captionKey))
            captions[i]->setText(settings.value(captionKey).toString());
        else
            captions[i]->setText(QString::fromLatin1(CaptionKeys[i].defaultText));
    }

    // The window's place, full screen and the display options.
    wallDisplay->readSettings(settings);
}

// Every key, as the user left it; also stored at once whenever the user changes one.
void MainWindow::writeSettings()
{
    settingsWriter->write();
}

int MainWindow::currentScreen() const
{
    return wallDisplay->kiosk()->screenIndex();
}
