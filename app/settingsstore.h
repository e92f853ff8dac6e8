#pragma once

#include <QSettings>

// The program's settings store. On Unix the native store is an INI file, which Qt 6 always writes
// and reads as UTF-8; with this class a Qt 5 build does the same, so captions in any script pass
// unchanged between the two builds. Files with the escapes that Qt 5 wrote before read as ever.
//
// Text holds whole characters only: half of one (an unpaired surrogate, which an escape can carry)
// becomes U+FFFD in its own value, as read and before the store is written. Written as it came, Qt 5
// would carry the half into the next value and Qt 6 would drop it.
class SettingsStore : public QSettings
{
public:
    // Native format, user scope, under the application's organisation and name.
    SettingsStore();
    // An INI file named directly.
    explicit SettingsStore(const QString &iniFile);
    ~SettingsStore() override;

private:
    void useUtf8();
    void mendHalfCharacters();
};
