#include "displaymenu.h"
#include "linktesthelpers.h"
#include "tempsettings.h"

#include "meterscale.h"
#include "webfeed.h"
#include "webserver.h"

#include <QWebSocket>
#include <QtNetwork>
#include <QtWidgets>

#include <cmath>

using Access = MainWindowTestAccess;

namespace {

constexpr int TimeoutMs = 20000;

quint16 freePort(QAbstractSocket &&probe)
{
    return probe.bind(QHostAddress::LocalHost, 0) ? probe.localPort() : 0;
}

// The whole answer to one request: the server closes after it.
QByteArray fetch(quint16 port, const QByteArray &request)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    // Written once connected; refused, it ends with no answer.
    socket.write(request);
    const bool ended =
        QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, TimeoutMs);
    return ended ? socket.readAll() : "still open";
}

// The body of the answer to a GET, or the whole answer.
QByteArray get(quint16 port, const char *path, bool whole = false)
{
    const QByteArray answer = fetch(port, QByteArray("GET ") + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    return whole ? answer : answer.mid(answer.indexOf("\r\n\r\n") + 4);
}

const QByteArray Upgrade = "GET /feed HTTP/1.1\r\nHost: h\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                           "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";

} // namespace

class TestWeb : public QObject
{
    Q_OBJECT

private:
    TempSettings settings;
    std::unique_ptr<MainWindow> window;
    quint16 udpPort = freePort(QUdpSocket());
    quint16 webPort = freePort(QTcpSocket());
    QUdpSocket console;
    WebConfig base;

    WebServer *server() { return Access::webView(*window)->server(); }
    quint16 port() { return server()->port(); }
    void send(const LevelFrame::Levels &levels)
    {
        console.writeDatagram(LevelFrame::encodeLevels(levels), QHostAddress::LocalHost, udpPort);
    }
    QJsonValue status() { return QJsonDocument::fromJson(get(port(), "/status")).object(); }

private Q_SLOTS:
    void initTestCase()
    {
        // Without a usable port nothing listens.
        settings.write({{"web_port", 70000}});
        window = std::make_unique<MainWindow>();
        QVERIFY(!server()->isListening());
        window.reset();
        const QVariantMap used{{"web_port", webPort},    {"web_max_connections", "many"},
                               {"use_udp", "true"},      {"client_host", "127.0.0.1"},
                               {"client_port", udpPort}, {"signal_timeout_ms", 500},
                               {"silence_alarm", true},  {"silence_delay_s", 1}};
        settings.write(used);
        window = std::make_unique<MainWindow>();
        base = Access::webView(*window)->config();
    }
    // Every connection ends, whatever ended it.
    void cleanup()
    {
        QTRY_COMPARE_WITH_TIMEOUT(server()->connectionCount(), 0, TimeoutMs);
        Access::webView(*window)->apply(base);
    }

    // The display options move the server to another port, and the store keeps it.
    void dialog()
    {
        const int other = freePort(QTcpSocket());
        Access::onNextDialog([&](QDialog *dialog) {
            dialog->findChild<QSpinBox *>("spinBox_webport")->setValue(other);
            QTest::mouseClick(dialog->findChild<QPushButton *>("pushButton_ok"), Qt::LeftButton);
        });
        Access::wall(*window)->menu()->displayOptions->trigger();
        QCOMPARE(int(port()), other);
        QCOMPARE(settings.value("web_port").toInt(), other);
    }

    // Not an address, or a port taken: a log line, and the display runs on.
    void unusable()
    {
        QTcpServer other;
        QVERIFY(other.listen(QHostAddress::LocalHost, 0));
        for (const WebConfig &config : {WebConfig{base.port, "studio-wall"}, WebConfig{other.serverPort()}}) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^web view: "));
            Access::webView(*window)->apply(config);
            QVERIFY(!server()->isListening());
        }
    }

    void heads_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<int>("code");
        const QByteArray host = "Host: 127.0.0.1\r\n";
        QTest::newRow("script, bare LF, HTTP/1.0") << QByteArray("GET /meters.js HTTP/1.0\n\n") << 200;
        QTest::newRow("status with a query") << "GET /status?x=1 HTTP/1.1\r\n" + host + "\r\n" << 200;
        QTest::newRow("feed, HTTP/1.0") << QByteArray(Upgrade).replace("HTTP/1.1", "HTTP/1.0") << 400;
        QTest::newRow("feed, no upgrade") << "GET /feed HTTP/1.1\r\n" + host + "\r\n" << 400;
        QTest::newRow("unknown path") << "GET /etc/passwd HTTP/1.1\r\n" + host + "\r\n" << 404;
        QTest::newRow("POST") << "POST /status HTTP/1.1\r\n" + host + "Content-Length: 0\r\n\r\n" << 405;
        QTest::newRow("DELETE") << "DELETE / HTTP/1.1\r\n" + host + "\r\n" << 405;
        QTest::newRow("no Host in 1.1") << QByteArray("GET / HTTP/1.1\r\n\r\n") << 400;
        QTest::newRow("two Hosts") << "GET / HTTP/1.1\r\n" + host + host + "\r\n" << 400;
        QTest::newRow("garbage") << QByteArray("\x16\x03\x01\x02\x01\r\n\r\n") << 400;
        QTest::newRow("HTTP/2") << "GET / HTTP/2.0\r\n" + host + "\r\n" << 400;
        QTest::newRow("absolute target") << "GET http://x/ HTTP/1.1\r\n" + host + "\r\n" << 400;
        QTest::newRow("no colon") << "GET / HTTP/1.1\r\n" + host + "Broken\r\n\r\n" << 400;
        QTest::newRow("blank before colon") << "GET / HTTP/1.1\r\n" + host + "X : a\r\n\r\n" << 400;
        QTest::newRow("1 MiB header") << "GET / HTTP/1.1\r\nX: " + QByteArray(1 << 20, 'a') << 431;
        const QByteArray fields = "GET / HTTP/1.1\r\n" + host + QByteArray("X: y\r\n").repeated(99);
        QTest::newRow("100 headers") << fields + "\r\n" << 200;
        QTest::newRow("101 headers") << fields + "X: y\r\n\r\n" << 431;
    }
    void heads()
    {
        QFETCH(QByteArray, head);
        QFETCH(int, code);
        const QByteArray answer = fetch(port(), head);
        QCOMPARE(answer.left(answer.indexOf("\r\n")).split(' ').value(1).toInt(), code);
        QVERIFY(answer.contains("\r\nCache-Control: no-store\r\n") &&
                answer.contains("\r\nContent-Security-Policy: default-src 'none'; script-src 'self';"));
    }

    // Frames through the real UDP link, then silence: what monitoring reads and the feed follow.
    void reports()
    {
        QWebSocket client;
        QList<QJsonObject> messages;
        connect(&client, &QWebSocket::textMessageReceived,
                [&](const QString &text) { messages << QJsonDocument::fromJson(text.toUtf8()).object(); });
        const auto has = [&](const std::function<bool(const QJsonObject &)> &test) {
            return QTest::qWaitFor([&] { return std::any_of(messages.cbegin(), messages.cend(), test); },
                                   TimeoutMs);
        };
        client.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/feed").arg(port())));
        QVERIFY(has([](const QJsonObject &m) { return m["t"] == "hello" && m["scale"]["key"] == "din"; }));
        QVERIFY(has([](const QJsonObject &m) { return m["t"] == "time" && m["ms"].toDouble() > 1.7e12; }));
        send({-9, -9, 0, 0, -21, -21});
        QJsonValue now;
        QTRY_VERIFY_WITH_TIMEOUT((now = status())["link"]["frames_received"] == 1, TimeoutMs);
        const QJsonObject levels{{"prog_left", -9}, {"prog_right", -9}, {"sub_left", 0},
                                 {"sub_right", 0},  {"crm_left", -21},  {"crm_right", -21}};
        QCOMPARE(now["levels_db"].toObject(), levels);
        QVERIFY(now["link"]["lamp"] == "green" && now["scale"] == "din" &&
                now["version"] == KOLVANE_TEST_VERSION && now["silence_alarm"]["enabled"] == true &&
                now["time_sync"]["state"].isString());
        const double expected = std::round(MeterScale::of(MeterScale::Din).position(-9) * 10000);
        QVERIFY(has([&](const QJsonObject &m) { return m["t"] == "l" && m["v"][0] == expected; }));
        QVERIFY(has([](const QJsonObject &m) { return m["t"] == "s" && m["link"] == "green"; }));
        client.sendTextMessage(QStringLiteral("{\"t\":\"ping\",\"c\":42}"));
        QVERIFY(has([](const QJsonObject &m) { return m["t"] == "pong" && m["c"] == 42; }));
        // The floor after the signal timeout reaches the page too.
        QVERIFY(has([](const QJsonObject &m) { return m["t"] == "l" && m["v"][0] == 0; }));
        QTRY_VERIFY_WITH_TIMEOUT(status()["link"]["signal_lost_count"] == 1, TimeoutMs);

        QVERIFY(get(port(), "/metrics", true).contains("\r\nContent-Type: text/plain; version=0.0.4"));
        const QString metrics = QString::fromUtf8(get(port(), "/metrics"));
        // The exposition format, strictly: each family's TYPE, then only samples of that family.
        const QRegularExpression format(
            "^((# HELP kolvane_[a-z_]+ .+\n)?# TYPE (kolvane_[a-z_]+) (counter|gauge)\n"
            "(\\3(\\{[a-z]+=\"[a-z_]+\"\\})? -?[0-9.]+(e[+-][0-9]+)?\n)+)+$");
        QVERIFY(format.match(metrics).hasMatch());
        for (const char *sample :
             {"\nkolvane_frames_received_total 1\n", "\nkolvane_signal_losses_total 1\n",
              "\nkolvane_link_state{state=\"amber\"} 1\n", "\nkolvane_link_state{state=\"green\"} 0\n",
              "\nkolvane_silence_alarm 0\n", "\nkolvane_level_db{meter=\"crm_right\"} "})
            QVERIFY2(metrics.contains(sample), sample);
        const auto start = QRegularExpression("\nkolvane_process_start_time_seconds (.+)\n").match(metrics);
        QVERIFY(qAbs(start.captured(1).toDouble() - QDateTime::currentSecsSinceEpoch()) < 3600);
    }

    // One too many is closed at once; the others stay.
    void connectionLimit()
    {
        QTcpSocket open[65];
        for (int i = 0; i < 65; ++i) {
            open[i].connectToHost(QHostAddress::LocalHost, port());
            QTRY_COMPARE_WITH_TIMEOUT(server()->connectionCount(), std::min(i + 1, 64), TimeoutMs);
        }
        QTRY_COMPARE_WITH_TIMEOUT(open[64].state(), QAbstractSocket::UnconnectedState, TimeoutMs);
        QVERIFY(std::all_of(open, open + 64, [](auto &s) { return s.state() == s.ConnectedState; }));
    }

    void slowHeadClosed()
    {
        // The same server, with heads due within 200 ms.
        Access::webView(*window)->apply({base.port, base.bind, base.maxConnections, 200});
        QCOMPARE(fetch(port(), "GET / HTT"), QByteArray());
    }

    // A feed client that sends pings but reads nothing: its answers pile up until it is dropped.
    void slowReaderDropped()
    {
        QTcpSocket reader;
        reader.setReadBufferSize(16); // Qt takes no more off the kernel's queue
        reader.connectToHost(QHostAddress::LocalHost, port());
        reader.write(Upgrade);
        QTRY_COMPARE_WITH_TIMEOUT(server()->feed()->clientCount(), 1, TimeoutMs);
        // A masked text frame of 18 bytes (a mask of zeros leaves the text as it is).
        const QByteArray ping("\x81\x92\0\0\0\0{\"t\":\"ping\",\"c\":1}", 24);
        reader.write(ping.repeated(40000));
        QTRY_COMPARE_WITH_TIMEOUT(server()->feed()->clientCount(), 0, TimeoutMs);
    }

    void page_data()
    {
        QTest::addColumn<QString>("host");
        QTest::newRow("loopback") << "127.0.0.1";
        // Another machine of the studio network: the display and the browser each in a network
        // namespace of the test's own, joined by a veth pair.
        QTest::newRow("another namespace") << "10.78.0.1";
    }
    // The page in a real browser, beside the display fed the same frames.
    void page()
    {
        QFETCH(QString, host);
        const QString dir = QStringLiteral(KOLVANE_WEB_TEST_DIR);
        if (!QFile::exists("/usr/bin/chromium") || !QFile::exists(dir + "/node_modules/puppeteer-core"))
            QSKIP("chromium or puppeteer-core is missing (apt-get install chromium; npm ci in tests/web)");
        bool ready = host == "127.0.0.1";
#ifdef Q_OS_LINUX
        LinkTest::NetworkSpaces spaces; // 1 the display's, 2 the browser's; back in 0 at the end
        const auto home = qScopeGuard([&] { spaces.fds.isEmpty() || spaces.enter(0); });
        const QString side = "link set lo up\naddr add 10.78.0.%1/24 dev eth0\nlink set eth0 up\n";
        if (!ready && spaces.make(2) &&
            spaces.run(2, side.arg(2).prepend("link add eth0 type veth peer name eth0 netns " +
                                              spaces.path(1) + "\n")) &&
            spaces.run(1, side.arg(1))) {
            Access::webView(*window)->apply({base.port, host});
            ready = server()->isListening() && spaces.enter(2);
        }
#endif
        if (!ready)
            QSKIP("no network namespaces of the test's own (needs Linux, root and iproute2)");
        LevelFrame::Levels levels{-9, -9, 0, 0, -21, -21};
        QTimer console;
        connect(&console, &QTimer::timeout, [&] { send(levels); });
        console.start(40);
        QProcess browser;
        // Ended by SIGTERM, on which puppeteer closes the browser, never by the kill of QProcess's end.
        const auto end = qScopeGuard([&] { browser.terminate(), browser.waitForFinished(30000); });
        browser.start(QStringLiteral("node"),
                      {dir + "/page_check.mjs", QStringLiteral("http://%1:%2/").arg(host).arg(port())});
        const auto step = [&] {
            // A browser that says nothing in a minute gives an empty answer, which fails below.
            if (!QTest::qWaitFor(
                    [&] { return browser.canReadLine() || browser.state() == QProcess::NotRunning; }, 60000))
                return QJsonObject();
            browser.write("next\n");
            return QJsonDocument::fromJson(browser.readLine()).object();
        };
        const QJsonObject shown = step();
        QVERIFY2(!shown.isEmpty() && shown["problems"].toArray().isEmpty(),
                 browser.readAllStandardError() + QJsonDocument(shown["problems"].toArray()).toJson());
        const QList<ZelPPMMeter *> meters = window->findChildren<ZelPPMMeter *>(); // in the form's order
        for (int i = 0; i < WebSnapshot::MeterCount; ++i)
            QVERIFY2(qAbs(shown["bars"][i].toInt() - meters[i]->barLength()) <= 1,
                     qPrintable(meters[i]->objectName()));
        QCOMPARE(shown["lamp"].toArray(), (QJsonArray{40, 200, 60}));
        const int lag = QTime::fromString(shown["time"].toString()).secsTo(QTime::currentTime());
        QVERIFY2(qAbs(lag) <= 2 || qAbs(lag) >= 86398, qPrintable(shown["time"].toString()));
        // Programme levels below the silence alarm's threshold.
        levels.fill(-50);
        QCOMPARE(step()["band"].toArray(), (QJsonArray{204, 0, 0}));
        console.stop();
        const QJsonObject lost = step();
        QCOMPARE(lost["lamp"].toArray(), (QJsonArray{255, 176, 0}));
        // A phone's window: the whole display, as wide as the window, in the middle.
        QCOMPARE(lost["canvas"].toArray(), (QJsonArray{0, 308, 390, 229}));
    }
};

QTEST_MAIN(TestWeb)
#include "tst_web.moc"
