#include "webserver.h"

#include "httphead.h"
#include "webfeed.h"
#include "webreports.h"
#include "websnapshot.h"

#include <QDateTime>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

// Resources live in a static library, so they are registered explicitly.
static void initWebResources()
{
    Q_INIT_RESOURCE(web);
}

namespace {

constexpr qint64 LogEveryMs = 60000;

struct Page
{
    const char *path;
    const char *resource;
    const char *type;
};
// The page, the two files it loads, and the program's icon (from the program's own resources, when it
// has them) that browsers ask for; nothing else is served.
constexpr Page Pages[] = {
    {"/", ":/web/index.html", "text/html; charset=utf-8"},
    {"/meters.js", ":/web/meters.js", "text/javascript; charset=utf-8"},
    {"/meters.css", ":/web/meters.css", "text/css; charset=utf-8"},
    {"/favicon.ico", ":/resources/ico/KolvaneIcon256x256Border.ico", "image/x-icon"},
};

QByteArray reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 431:
        return "Request Header Fields Too Large";
    default:
        return "Error";
    }
}

// The Host header as the browser sent it, if it is a plain host name or address with a port: it goes
// into the policy's connect-src, so nothing else may pass.
QByteArray safeHost(const QByteArray &host)
{
    if (host.isEmpty() || host.size() > 255)
        return QByteArray();
    for (const char c : host) {
        const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        c == '.' || c == '-' || c == ':' || c == '[' || c == ']';
        if (!ok)
            return QByteArray();
    }
    return host;
}

} // namespace

WebServer::WebServer(const WebSource *source, QObject *parent)
    : QObject(parent), source(source), version(QStringLiteral(KOLVANE_VERSION)), server(new QTcpServer(this)),
      liveFeed(new WebFeed(source, this->version, this)), startedAtMs(QDateTime::currentMSecsSinceEpoch())
{
    initWebResources();
    started.start();
    connect(server, &QTcpServer::newConnection, this, &WebServer::onNewConnection);
}

WebServer::~WebServer() = default;

bool WebServer::start(const WebConfig &wanted)
{
    // Listening again on the same address keeps the connections that are open.
    server->close();
    config = wanted;
    liveFeed->setMaxPendingBytes(config.maxPendingBytes);
    if (config.port == 0)
        return false;
    QHostAddress address;
    if (!address.setAddress(config.bind)) {
        qWarning("web view: \"%s\" is not an address to listen on", qPrintable(config.bind));
        return false;
    }
    if (!server->listen(address, config.port)) {
        qWarning("web view: cannot listen on %s port %u: %s", qPrintable(config.bind), unsigned(config.port),
                 qPrintable(server->errorString()));
        return false;
    }
    return true;
}

bool WebServer::isListening() const
{
    return server->isListening();
}

quint16 WebServer::port() const
{
    return server->serverPort();
}

int WebServer::connectionCount()
{
    open.removeAll(nullptr);
    return int(open.size());
}

void WebServer::logOnce(Cause cause, const char *line)
{
    QElapsedTimer &last = logged[size_t(cause)];
    if (last.isValid() && last.elapsed() < LogEveryMs)
        return;
    last.start();
    qInfo("web view: %s", line);
}

void WebServer::onNewConnection()
{
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        if (connectionCount() >= config.maxConnections) {
            logOnce(Refused, "refused a connection: too many open");
            socket->abort();
            socket->deleteLater();
            continue;
        }
        open.append(socket);
        // The head is peeked, not read, so that the feed's handshake finds it; the socket holds no
        // more than the longest head allowed and one byte to tell that it is longer.
        socket->setReadBufferSize(HttpHead::MaxHeadBytes + 1);
        auto *deadline = new QTimer(socket);
        deadline->setObjectName(QStringLiteral("deadline"));
        deadline->setSingleShot(true);
        connect(deadline, &QTimer::timeout, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        deadline->start(config.headTimeoutMs);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readHead(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void WebServer::readHead(QTcpSocket *socket)
{
    const HttpHead::Request request = HttpHead::parse(socket->peek(HttpHead::MaxHeadBytes + 1));
    if (!request.complete && request.error == 0)
        return;
    // One request a connection: from here on what the client sends is not read.
    socket->disconnect(this);
    if (request.error != 0) {
        logOnce(BadHead, "answered a malformed request head");
        respond(socket, request.error);
        return;
    }
    answer(socket, request);
}

void WebServer::answer(QTcpSocket *socket, const HttpHead::Request &request)
{
    const QByteArray host = safeHost(request.field("host"));
    if (request.method != "GET") {
        respond(socket, 405, "text/plain; charset=utf-8", "Only GET: nothing here can be changed.\n", host);
        return;
    }
    if (request.path == "/feed") {
        // Only a well-formed upgrade goes to the feed, so that its handshake cannot fail and leave
        // the socket to no one.
        if (request.version != "HTTP/1.1" || request.field("upgrade").toLower() != "websocket" ||
            !request.field("connection").toLower().contains("upgrade") ||
            request.field("sec-websocket-key").isEmpty() || request.field("sec-websocket-version") != "13") {
            respond(socket, 400, "text/plain; charset=utf-8", "The feed is a WebSocket.\n", host);
            return;
        }
        delete socket->findChild<QTimer *>(QStringLiteral("deadline"));
        disconnect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        socket->setReadBufferSize(0);
        liveFeed->take(socket);
        return;
    }
    const WebReports::Process process{version, started.elapsed() / 1000.0, startedAtMs};
    if (request.path == "/status") {
        respond(socket, 200, "application/json", WebReports::statusJson(source->snapshot(), process), host);
        return;
    }
    if (request.path == "/metrics") {
        respond(socket, 200, "text/plain; version=0.0.4; charset=utf-8",
                WebReports::metricsText(source->snapshot(), process), host);
        return;
    }
    for (const Page &page : Pages) {
        QFile file(QString::fromLatin1(page.resource));
        if (request.path == page.path && file.open(QIODevice::ReadOnly)) {
            respond(socket, 200, page.type, file.readAll(), host);
            return;
        }
    }
    respond(socket, 404, "text/plain; charset=utf-8", "Not found.\n", host);
}

void WebServer::respond(QTcpSocket *socket, int status, const QByteArray &type, const QByteArray &body,
                        const QByteArray &host)
{
    // The page loads its own script and style only, and talks only to its own feed.
    QByteArray policy = "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
                        "connect-src 'self'";
    if (!host.isEmpty())
        policy += " ws://" + host;
    policy += "; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status) + "\r\n";
    if (!type.isEmpty())
        head += "Content-Type: " + type + "\r\n";
    if (status == 405)
        head += "Allow: GET\r\n";
    head +=
        "Content-Length: " + QByteArray::number(body.size()) +
        "\r\nCache-Control: no-store\r\nContent-Security-Policy: " + policy +
        "\r\nX-Content-Type-Options: nosniff\r\nReferrer-Policy: no-referrer\r\nConnection: close\r\n\r\n";
    socket->write(head + body);
    // What the client still sends is read and thrown away, so that closing does not reset the
    // connection before it has the answer; the deadline still ends a client that never takes it.
    socket->setReadBufferSize(0);
    connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
    socket->readAll();
    socket->disconnectFromHost();
}
