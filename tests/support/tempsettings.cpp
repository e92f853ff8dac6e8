#include "tempsettings.h"

#include <QCoreApplication>
#include <QDir>

TempSettings::TempSettings()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
}

TempSettings::~TempSettings()
{
    // Later stores in the same process must not fall back to the user's folder either.
    const QString unused = QDir::tempPath() + QStringLiteral("/kolvane-test-settings-unused");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, unused);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, unused);
}

QString TempSettings::settingsFile() const
{
    return dir.path() + QStringLiteral("/Zelvoort/Kolvane Meters.conf");
}

QSettings TempSettings::store()
{
    useApplicationNames();
    return QSettings();
}

void TempSettings::useApplicationNames()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Zelvoort"));
    QCoreApplication::setApplicationName(QStringLiteral("Kolvane Meters"));
}
