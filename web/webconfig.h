#pragma once

#include <QString>
#include <QtGlobal>

class QSettings;

// Where the web view listens and how much it takes. Off unless web_port is set.
struct WebConfig
{
    static constexpr int DefaultMaxConnections = 64;
    static constexpr int MostConnections = 4096;

    quint16 port = 0; // 0: off
    QString bind = QStringLiteral("127.0.0.1");
    int maxConnections = DefaultMaxConnections;
    // Not settings: bounds a test may shorten.
    int headTimeoutMs = 10000;           // a request head must be complete within this
    qint64 maxPendingBytes = 256 * 1024; // a feed client with more unsent is dropped

    // web_port 1 to 65535 (anything else is off), web_bind as written (checked when listening),
    // web_max_connections from the default up to MostConnections (anything else is the default).
    static WebConfig read(const QSettings &settings);
    // Only keys that differ from their defaults, or are there already: a store without the web view
    // stays as it was.
    void write(QSettings &settings) const;
};
