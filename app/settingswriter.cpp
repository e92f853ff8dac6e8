#include "settingswriter.h"

#include "linksettings.h"
#include "linkstatus.h"
#include "meteroptions.h"
#include "settingsstore.h"
#include "walldisplay.h"
#include "webview.h"

#include <QLabel>

SettingsWriter::SettingsWriter(const Sources &sources, QObject *parent) : QObject(parent), from(sources) {}

void SettingsWriter::write() const
{
    SettingsStore settings;
    const LinkSettings &link = *from.link;
    settings.setValue(QStringLiteral("is_server"), link.is_server);
    settings.setValue(QStringLiteral("use_udp"), link.use_udp);
    settings.setValue(QStringLiteral("serialport"), link.serialport);
    settings.setValue(QStringLiteral("server_host"), link.server_host);
    settings.setValue(QStringLiteral("server_port"), link.server_port);
    settings.setValue(QStringLiteral("client_host"), link.client_host);
    settings.setValue(QStringLiteral("client_port"), link.client_port);
    // Absent means broadcast; the TTL is only ever set in the file, which keeps it.
    if (link.multicast_group.isEmpty())
        settings.remove(QStringLiteral("udp_multicast_group"));
    else
        settings.setValue(QStringLiteral("udp_multicast_group"), link.multicast_group);
    for (int i = 0; i < int(from.captions.size()); ++i)
        settings.setValue(QStringLiteral("labelMeter%1").arg(i + 1), from.captions[i]->text());
    from.wallDisplay->writeSettings(settings);
    settings.setValue(QStringLiteral("signal_timeout_ms"), from.linkStatus->timeout());
    from.meterOptions->write(settings);
    from.webView->config().write(settings);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        qWarning("cannot store the settings in %s", qPrintable(settings.fileName()));
}
