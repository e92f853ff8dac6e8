#include "mainwindow.h"

#include "mylabel.h"
#include "screenplacement.h"
#include "settingsstore.h"

#include <QGuiApplication>
#include <QScreen>
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

    myLabel *const captions[] = {labelMeter1, labelMeter2, labelMeter3};
    for (int i = 0; i < 3; ++i) {
        const QString captionKey = key(CaptionKeys[i].key);
        // Only an absent key gets the default: a caption stored empty stays empty.
        if (settings.contains(captionKey))
            captions[i]->setText(settings.value(captionKey).toString());
        else
            captions[i]->setText(QString::fromLatin1(CaptionKeys[i].defaultText));
    }

    const QList<QScreen *> screens = QGuiApplication::screens();
    if (!screens.isEmpty()) {
        const int primary = qMax(0, screens.indexOf(QGuiApplication::primaryScreen()));
        const int index = ScreenPlacement::validScreenIndex(settings.value(key("current_screen")).toInt(),
                                                            screens.size(), primary);
        move(screens.at(index)->geometry().topLeft());
    }

    const QByteArray geometry = settings.value(key("geometry")).toByteArray();
    if (ScreenPlacement::isCompleteGeometry(geometry))
        restoreGeometry(geometry);
}

void MainWindow::writeSettings()
{
    SettingsStore settings;
    settings.setValue(key("is_server"), linkSettings.is_server);
    settings.setValue(key("use_udp"), linkSettings.use_udp);
    settings.setValue(key("serialport"), linkSettings.serialport);
    settings.setValue(key("server_host"), linkSettings.server_host);
    settings.setValue(key("server_port"), linkSettings.server_port);
    settings.setValue(key("client_host"), linkSettings.client_host);
    settings.setValue(key("client_port"), linkSettings.client_port);
    settings.setValue(key("current_screen"), currentScreen());
    settings.setValue(key("geometry"), saveGeometry());
    settings.setValue(key("labelMeter1"), labelMeter1->text());
    settings.setValue(key("labelMeter2"), labelMeter2->text());
    settings.setValue(key("labelMeter3"), labelMeter3->text());
}

int MainWindow::currentScreen() const
{
    QVector<QRect> available;
    const QList<QScreen *> screens = QGuiApplication::screens();
    available.reserve(screens.size());
    for (const QScreen *screen : screens)
        available.append(screen->availableGeometry());
    return ScreenPlacement::screenIndexAt(pos().x(), isMaximized(), available);
}
