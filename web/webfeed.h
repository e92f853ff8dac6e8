#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWebSocketServer>

class QTcpSocket;
class QWebSocket;
class WebSource;

// The live feed of the web page: a WebSocket per browser, through Qt WebSockets. The levels go out
// as the display moves them, at most every MinLevelIntervalMs and only when they changed; the lamps
// when they change; the server's time once a second, and an answer to the page's clock pings.
//
// Messages are small JSON objects: a browser reads them with JSON.parse and no code of ours, they
// can be read in a browser's developer tools or by a script, and at fifty a second of about 60 bytes
// a binary form would save nothing that matters.
class WebFeed : public QObject
{
    Q_OBJECT

public:
    static constexpr int MinLevelIntervalMs = 20; // 50 a second
    static constexpr int ClockIntervalMs = 1000;
    // A page sends only pings, a few dozen bytes.
    static constexpr quint64 MaxIncomingBytes = 1024;

    WebFeed(const WebSource *source, QString version, QObject *parent);
    ~WebFeed() override;

    void setMaxPendingBytes(qint64 bytes) { maxPendingBytes = bytes; }
    // A socket whose request head asked for /feed, with the head still unread in its buffer.
    void take(QTcpSocket *socket);
    int clientCount() const { return int(clients.size()); }

public Q_SLOTS:
    void levelsMoved();
    void stateChanged();
    // The scale or the captions: the pages draw the meters again.
    void lookChanged();

private:
    void onNewConnection();
    void onMessage(QWebSocket *client, const QString &message);
    void sendLevels();
    void broadcast(const QString &message);
    // False when the client was dropped for not reading.
    bool send(QWebSocket *client, const QString &message);
    void drop(QWebSocket *client);

    const WebSource *source;
    const QString version;
    QWebSocketServer server;
    // Each client with the socket under it, which is flushed after each message.
    QHash<QWebSocket *, QTcpSocket *> clients;
    QList<QPointer<QTcpSocket>> handshaking;
    QTimer pace;
    QTimer clock;
    QElapsedTimer sinceLevels;
    QByteArray lastLevels;
    QByteArray lastState;
    qint64 maxPendingBytes = 256 * 1024;
    QElapsedTimer sinceDropLogged;
};
