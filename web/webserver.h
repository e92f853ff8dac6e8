#pragma once

#include "webconfig.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

#include <array>

class QTcpServer;
class QTcpSocket;
class WebFeed;
class WebSource;

namespace HttpHead {
struct Request;
}

// The display on the network, read-only: the page, its live feed, and the state for monitoring.
// Runs on the event loop of the thread that made it; the answers are built from a WebSource's snapshot
// and are small, so the display's own work keeps its timing.
class WebServer : public QObject
{
    Q_OBJECT

public:
    WebServer(const WebSource *source, QObject *parent);
    ~WebServer() override;

    // Listens as the configuration says, after closing what listened before. A port of 0 listens on
    // nothing; an address or port that cannot be used gives one log line and nothing listens.
    bool start(const WebConfig &config);
    bool isListening() const;
    quint16 port() const;
    // Open connections, the feed's included.
    int connectionCount();
    WebFeed *feed() const { return liveFeed; }

private:
    enum Cause
    {
        Refused,
        BadHead,
        CauseCount
    };

    void onNewConnection();
    void readHead(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const HttpHead::Request &request);
    void respond(QTcpSocket *socket, int status, const QByteArray &type = QByteArray(),
                 const QByteArray &body = QByteArray(), const QByteArray &host = QByteArray());
    // At most one line a minute for each cause: a flood must not fill the log.
    void logOnce(Cause cause, const char *line);

    const WebSource *source;
    const QString version;
    QTcpServer *server;
    WebFeed *liveFeed;
    WebConfig config;
    // Counted by watching the sockets themselves: the feed's WebSockets take their signals over.
    QList<QPointer<QTcpSocket>> open;
    QElapsedTimer started;
    qint64 startedAtMs;
    std::array<QElapsedTimer, CauseCount> logged;
};
