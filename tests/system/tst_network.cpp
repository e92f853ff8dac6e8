// Two instances in two network namespaces joined by veth: the UDP server reads the simulator's
// terminal and relays every frame; the UDP client shows the same levels.
#include "displaymodel.h"
#include "systemharness.h"

#include <QtTest>

#include <cmath>

using namespace SystemHarness;
namespace DM = DisplayModel;

namespace {

constexpr int WindowTimeoutMs = 20000;
constexpr int SettleTimeoutMs = 10000;
const QString RelayPort = QStringLiteral("5500");
const QVector<double> FixedLevels{0.0, -10.0, -20.0, -30.0, -5.0, -40.0};

QString checkMeters(const Shot &shot)
{
    const DM::Scaling scaling = DM::scalingFor(shot.geometry.size());
    for (int i = 0; i < DM::MeterCount; ++i) {
        const QRect rect = DM::formWidgetInWindow(DM::Meters[i].design, scaling);
        const DM::MeterReading reading = DM::readMeter(shot.image, rect);
        if (!reading.ok)
            return QStringLiteral("%1: %2").arg(QLatin1String(DM::Meters[i].name), reading.problem);
        const int expected = DM::barLength(rect.height(), FixedLevels.at(i));
        if (std::abs(reading.barLength - expected) > 1) {
            return QStringLiteral("%1 shows a bar of %2 pixels, expected %3 for %4 dB")
                .arg(QLatin1String(DM::Meters[i].name))
                .arg(reading.barLength)
                .arg(expected)
                .arg(FixedLevels.at(i));
        }
    }
    return QString();
}

} // namespace

class TestSystemNetwork : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void clientShowsTheLevelsTheServerRelays();

private:
    std::unique_ptr<XServer> x;
    QTemporaryDir work;
};

void TestSystemNetwork::initTestCase()
{
    KOLVANE_REQUIRE(!findProgram(QStringLiteral("Xvfb")).isEmpty(), "Xvfb is not installed (Debian: xvfb)");
    KOLVANE_REQUIRE(QFileInfo(screenshotProgram()).isExecutable(),
                    "kolvane-screenshot is not built (Debian: libxcb1-dev)");
    QVERIFY2(QFileInfo(metersProgram()).isExecutable(), qPrintable(metersProgram()));
    QVERIFY2(QFileInfo(simulatorProgram()).isExecutable(), qPrintable(simulatorProgram()));
    QVERIFY(work.isValid());
    x = std::make_unique<XServer>();
    QString error;
    QVERIFY2(x->start(&error), qPrintable(error));
}

void TestSystemNetwork::clientShowsTheLevelsTheServerRelays()
{
    // Declared first, so it outlives the programs running inside it.
    NamespacePair network;
    QString error;
    const bool created = network.create(&error);
    KOLVANE_REQUIRE(created, qPrintable(QStringLiteral("no network namespaces: %1").arg(error)));

    QStringList parts;
    for (double level : FixedLevels)
        parts << QString::number(level);
    Simulator sim(work.path());
    QVERIFY2(sim.startOnOwnTerminal({QStringLiteral("--levels=") + parts.join(QLatin1Char(','))}, &error),
             qPrintable(error));

    const QString serverAddress = QString::fromLatin1(NamespacePair::FirstAddress);
    Meters server(QStringLiteral("server"));
    server.writeSettings({{QStringLiteral("use_udp"), true},
                          {QStringLiteral("is_server"), true},
                          {QStringLiteral("serialport"), sim.terminal()},
                          {QStringLiteral("server_host"), serverAddress},
                          {QStringLiteral("server_port"), RelayPort}});
    Meters client(QStringLiteral("client"));
    client.writeSettings({{QStringLiteral("use_udp"), true},
                          {QStringLiteral("is_server"), false},
                          {QStringLiteral("serialport"), QString()},
                          {QStringLiteral("client_host"), serverAddress},
                          {QStringLiteral("client_port"), RelayPort}});
    QVERIFY2(server.start(x->display(), network.first(), &error), qPrintable(error));
    QVERIFY2(client.start(x->display(), network.second(), &error), qPrintable(error));

    const Screen screen(x->display());
    const QString serverTitle = QStringLiteral("Kolvane Meters - (%1)").arg(sim.terminal());
    const QString clientTitle = QStringLiteral("Kolvane Meters - (%1)").arg(RelayPort);
    QVERIFY2(screen.waitForWindow(serverTitle, WindowTimeoutMs, &error),
             qPrintable(error + QLatin1Char('\n') + server.log()));
    QVERIFY2(screen.waitForWindow(clientTitle, WindowTimeoutMs, &error),
             qPrintable(error + QLatin1Char('\n') + client.log()));
    // Side by side, so each screenshot shows one window only.
    QVERIFY2(screen.configure(clientTitle, {QStringLiteral("--move"), QStringLiteral("1100,0")}, &error),
             qPrintable(error));

    QString failure;
    screen.grabUntil(serverTitle, checkMeters, SettleTimeoutMs, &failure);
    QVERIFY2(failure.isEmpty(),
             qPrintable(QStringLiteral("server: ") + failure + QLatin1Char('\n') + server.log()));
    screen.grabUntil(clientTitle, checkMeters, SettleTimeoutMs, &failure);
    QVERIFY2(failure.isEmpty(),
             qPrintable(QStringLiteral("client: ") + failure + QLatin1Char('\n') + client.log()));

    KOLVANE_VERIFY_CLEAN_EXIT(client);
    KOLVANE_VERIFY_CLEAN_EXIT(server);
}

QTEST_GUILESS_MAIN(TestSystemNetwork)
#include "tst_network.moc"
