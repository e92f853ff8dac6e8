#include "webfeed.h"

#include "webreports.h"
#include "websnapshot.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QWebSocket>

namespace {
constexpr qint64 LogEveryMs = 60000;
constexpr int SendBufferBytes = 64 * 1024;
constexpr int HandshakeMs = 10000;
} // namespace

WebFeed::WebFeed(const WebSource *source, QString version, QObject *parent)
    : QObject(parent), source(source), version(std::move(version)),
      server(QStringLiteral("Kolvane Meters"), QWebSocketServer::NonSecureMode)
{
    connect(&server, &QWebSocketServer::newConnection, this, &WebFeed::onNewConnection);
    pace.setSingleShot(true);
    connect(&pace, &QTimer::timeout, this, &WebFeed::sendLevels);
    clock.setInterval(ClockIntervalMs);
    connect(&clock, &QTimer::timeout, this, [this] {
        broadcast(QString::fromUtf8(WebReports::timeMessage(QDateTime::currentMSecsSinceEpoch())));
    });
}

WebFeed::~WebFeed()
{
    // The clients first: they refer to the server.
    qDeleteAll(clients.keys());
}

void WebFeed::take(QTcpSocket *socket)
{
    // Its WebSocket owns it once the handshake is done; until then the feed does.
    socket->setParent(this);
    // The kernel keeps a bounded queue of its own, so what a client leaves unread shows here, in
    // bytesToWrite, and meets the bound.
    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, SendBufferBytes);
    handshaking.append(socket);
    server.handleConnection(socket);
    // Should Qt turn the handshake down all the same, the socket is not left behind.
    QTimer::singleShot(HandshakeMs, this, [this, socket = QPointer<QTcpSocket>(socket)] {
        if (socket && handshaking.removeAll(socket) > 0) {
            socket->abort();
            socket->deleteLater();
        }
    });
}

void WebFeed::onNewConnection()
{
    while (QWebSocket *client = server.nextPendingConnection()) {
        client->setParent(this);
        // Qt's WebSocket does not delete the socket it was made from: it goes with its WebSocket.
        handshaking.removeAll(nullptr);
        QTcpSocket *under = nullptr;
        for (const QPointer<QTcpSocket> &socket : qAsConst(handshaking)) {
            if (socket->peerPort() == client->peerPort() && socket->peerAddress() == client->peerAddress() &&
                socket->localPort() == client->localPort()) {
                under = socket;
                under->setParent(client);
                handshaking.removeOne(socket);
                break;
            }
        }
        clients.insert(client, under);
        client->setMaxAllowedIncomingFrameSize(MaxIncomingBytes);
        client->setMaxAllowedIncomingMessageSize(MaxIncomingBytes);
        connect(client, &QWebSocket::textMessageReceived, this,
                [this, client](const QString &message) { onMessage(client, message); });
        connect(client, &QWebSocket::disconnected, this, [this, client] {
            clients.remove(client);
            client->deleteLater();
            if (clients.isEmpty())
                clock.stop();
        });
        const WebSnapshot now = source->snapshot();
        const QByteArray time = WebReports::timeMessage(QDateTime::currentMSecsSinceEpoch());
        for (const QByteArray &message :
             {WebReports::helloMessage(now, version), WebReports::stateMessage(now),
              WebReports::levelsMessage(now), time}) {
            if (!send(client, QString::fromUtf8(message)))
                break;
        }
        if (!clock.isActive())
            clock.start();
    }
}

void WebFeed::onMessage(QWebSocket *client, const QString &message)
{
    // The page's clock ping: its own time comes back with the server's, so it can take the network's
    // delay out of the offset. Anything else is ignored.
    const QJsonObject ping = QJsonDocument::fromJson(message.toUtf8()).object();
    if (ping.value(QStringLiteral("t")).toString() != QLatin1String("ping"))
        return;
    const QJsonObject pong{{QStringLiteral("t"), QStringLiteral("pong")},
                           {QStringLiteral("c"), ping.value(QStringLiteral("c")).toDouble()},
                           {QStringLiteral("s"), double(QDateTime::currentMSecsSinceEpoch())}};
    send(client, QString::fromUtf8(QJsonDocument(pong).toJson(QJsonDocument::Compact)));
}

void WebFeed::levelsMoved()
{
    if (clients.isEmpty() || pace.isActive())
        return;
    // Sent from the feed's own timer, never inside the display's tick, whose timing must not change
    // with the number of clients.
    const qint64 wait = sinceLevels.isValid() ? MinLevelIntervalMs - sinceLevels.elapsed() : 0;
    pace.start(int(qMax<qint64>(0, wait)));
}

void WebFeed::sendLevels()
{
    const QByteArray levels = WebReports::levelsMessage(source->snapshot());
    if (levels == lastLevels)
        return;
    lastLevels = levels;
    sinceLevels.start();
    broadcast(QString::fromUtf8(levels));
}

void WebFeed::stateChanged()
{
    if (clients.isEmpty())
        return;
    const QByteArray state = WebReports::stateMessage(source->snapshot());
    if (state == lastState)
        return;
    lastState = state;
    broadcast(QString::fromUtf8(state));
}

void WebFeed::lookChanged()
{
    if (clients.isEmpty())
        return;
    const WebSnapshot now = source->snapshot();
    broadcast(QString::fromUtf8(WebReports::helloMessage(now, version)));
    broadcast(QString::fromUtf8(WebReports::levelsMessage(now)));
}

void WebFeed::broadcast(const QString &message)
{
    // A copy: a client that is dropped leaves the list.
    const QList<QWebSocket *> all = clients.keys();
    for (QWebSocket *client : all)
        send(client, message);
}

bool WebFeed::send(QWebSocket *client, const QString &message)
{
    client->sendTextMessage(message);
    // Written now rather than at the socket's next write notification: one wake-up of the event loop
    // less for each client and message, and what is left is what the client did not take.
    if (QTcpSocket *under = clients.value(client))
        under->flush();
    if (client->bytesToWrite() <= maxPendingBytes)
        return true;
    drop(client);
    return false;
}

void WebFeed::drop(QWebSocket *client)
{
    if (!sinceDropLogged.isValid() || sinceDropLogged.elapsed() >= LogEveryMs) {
        qInfo("web view: dropped a feed client that stopped reading (%lld bytes unsent)",
              static_cast<long long>(client->bytesToWrite()));
        sinceDropLogged.start();
    }
    clients.remove(client);
    if (clients.isEmpty())
        clock.stop();
    // Its queue goes with it: no close handshake that would wait behind the unsent bytes.
    client->disconnect(this);
    client->abort();
    client->deleteLater();
}
