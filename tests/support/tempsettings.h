#pragma once

#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>

// A private settings folder for as long as it lives: this process's settings (the window's own store)
// and its XDG_CONFIG_HOME point there, and a program started with XDG_CONFIG_HOME=path() uses it as
// well. No test ever reads or writes the user's own settings.
class TempSettings
{
public:
    TempSettings();
    ~TempSettings();

    QString path() const { return dir.path(); }
    // The program's settings file in it.
    QString file() const { return dir.path() + QStringLiteral("/Zelvoort/Kolvane Meters.conf"); }
    // Into the file, as an edited file holds them: text, numbers, bytes.
    void write(const QVariantMap &values) const;
    QVariant value(const QString &key) const;
    QStringList keys() const; // sorted
    void clear() const;

private:
    QTemporaryDir dir;
    const QByteArray configHome = qgetenv("XDG_CONFIG_HOME");
};
