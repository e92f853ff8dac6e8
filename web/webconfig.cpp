#include "webconfig.h"

#include <QSettings>

namespace {

const QString PortKey = QStringLiteral("web_port");
const QString BindKey = QStringLiteral("web_bind");
const QString MaxConnectionsKey = QStringLiteral("web_max_connections");

// A whole number from an INI file (text) or a native store (a number); anything else is invalid.
qlonglong wholeNumber(const QVariant &value, bool *ok)
{
    *ok = false;
    switch (value.userType()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return value.toLongLong(ok);
    case QMetaType::QString:
        return value.toString().trimmed().toLongLong(ok);
    default:
        return 0;
    }
}

} // namespace

WebConfig WebConfig::read(const QSettings &settings)
{
    WebConfig config;
    bool ok = false;
    const qlonglong port = wholeNumber(settings.value(PortKey), &ok);
    if (ok && port >= 1 && port <= 65535)
        config.port = quint16(port);
    const QVariant bind = settings.value(BindKey);
    if (bind.userType() == QMetaType::QString && !bind.toString().trimmed().isEmpty())
        config.bind = bind.toString().trimmed();
    const qlonglong most = wholeNumber(settings.value(MaxConnectionsKey), &ok);
    if (ok && most >= DefaultMaxConnections && most <= MostConnections)
        config.maxConnections = int(most);
    return config;
}

void WebConfig::write(QSettings &settings) const
{
    const WebConfig defaults;
    if (port != defaults.port || settings.contains(PortKey))
        settings.setValue(PortKey, port);
    if (bind != defaults.bind || settings.contains(BindKey))
        settings.setValue(BindKey, bind);
}
