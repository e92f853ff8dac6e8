#pragma once

#include <QSettings>

// The program's settings store. On Unix the native store is an INI file, which Qt 6 always writes
// and reads as UTF-8; with this class a Qt 5 build does the same, so captions in any script pass
// unchanged between the two builds. Files with the escapes that Qt 5 wrote before read as ever.
class SettingsStore : public QSettings
{
public:
    // Native format, user scope, under the application's organisation and name.
    SettingsStore();
    // An INI file named directly.
    explicit SettingsStore(const QString &iniFile);

private:
    void useUtf8();
};
