#pragma once

#include <QSettings>
#include <QString>
#include <QTemporaryDir>

// Points the user-scope native settings at a fresh temporary folder for as long as it lives,
// so no test ever reads or writes the user's own settings.
class TempSettings
{
public:
    TempSettings();
    ~TempSettings();
    TempSettings(const TempSettings &) = delete;
    TempSettings &operator=(const TempSettings &) = delete;

    QString path() const { return dir.path(); }
    // The file the window's default-constructed QSettings uses ("Zelvoort"/"Kolvane Meters").
    QString settingsFile() const;
    // Opens the store as the window does (the application names must be set).
    static QSettings store();
    // Sets the application names the window sets, so store() finds the same file.
    static void useApplicationNames();

private:
    QTemporaryDir dir;
};
