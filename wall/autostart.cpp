#include "autostart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>

namespace {

#ifdef Q_OS_WIN
const QString RunKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
const QString RunValue = QStringLiteral("Kolvane Meters");

QString quotedProgram()
{
    return QLatin1Char('"') + QDir::toNativeSeparators(QCoreApplication::applicationFilePath()) +
           QLatin1Char('"');
}
#else
// The desktop entry's quoting of an argument: inside double quotes these four take a backslash, a
// per cent sign is doubled (Exec expands field codes), and the value as a whole escapes backslashes.
QString execArgument(const QString &path)
{
    QString quoted;
    for (const QChar c : path) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        if (c == QLatin1Char('%'))
            quoted += QLatin1Char('%');
        quoted += c;
    }
    quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString desktopEntry()
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Kolvane Meters\n"
                          "Comment=Studio level display, started at log-in\n"
                          "Exec=%1\n"
                          "Icon=kolvane-meters\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(execArgument(QCoreApplication::applicationFilePath()));
}
#endif

} // namespace

namespace Autostart {

QString location()
{
#ifdef Q_OS_WIN
    return RunKey + QLatin1Char('\\') + RunValue;
#else
    // $XDG_CONFIG_HOME, or ~/.config without it.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/kolvane-meters.desktop");
#endif
}

bool isEnabled()
{
#ifdef Q_OS_WIN
    return QSettings(RunKey, QSettings::NativeFormat).contains(RunValue);
#else
    return QFile::exists(location());
#endif
}

bool setEnabled(bool on)
{
#ifdef Q_OS_WIN
    QSettings run(RunKey, QSettings::NativeFormat);
    if (on)
        run.setValue(RunValue, quotedProgram());
    else
        run.remove(RunValue);
    run.sync();
    return run.status() == QSettings::NoError;
#else
    const QString path = location();
    if (!on)
        return !QFile::exists(path) || QFile::remove(path);
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    file.write(desktopEntry().toUtf8());
    return file.commit();
#endif
}

} // namespace Autostart
