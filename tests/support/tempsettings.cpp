#include "tempsettings.h"

#include <QCoreApplication>
#include <QDir>

#include <memory>

TempSettings::TempSettings()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    QCoreApplication::setOrganizationName(QStringLiteral("Zelvoort"));
    QCoreApplication::setApplicationName(QStringLiteral("Kolvane Meters"));
}

TempSettings::~TempSettings()
{
    // Later stores in the same process must not fall back to the user's folder either.
    const QString unused = QDir::tempPath() + QStringLiteral("/kolvane-test-settings-unused");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, unused);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, unused);
    if (configHome.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", configHome);
}

namespace {

// As the program writes it, in UTF-8. Every QSettings on a file shares what one of them last read from
// it, so each reads it this way.
std::unique_ptr<QSettings> reader(const QString &file)
{
    auto store = std::make_unique<QSettings>(file, QSettings::IniFormat);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    store->setIniCodec("UTF-8");
#endif
    return store;
}

} // namespace

void TempSettings::write(const QVariantMap &values) const
{
    reader(file())->sync();
    // Qt 5 writes text beyond ASCII as escapes (its UTF-8 would lose characters beyond U+FFFF), and
    // every build reads those.
    QSettings store(file(), QSettings::IniFormat);
    for (auto i = values.cbegin(); i != values.cend(); ++i)
        store.setValue(i.key(), i.value());
}

QVariant TempSettings::value(const QString &key) const
{
    return reader(file())->value(key);
}

QStringList TempSettings::keys() const
{
    QStringList keys = reader(file())->allKeys();
    keys.sort();
    return keys;
}

void TempSettings::clear() const
{
    reader(file())->clear();
}
