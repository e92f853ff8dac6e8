// The real kolvane-meters under Xvfb, checked by screenshots against a model of the display worked out here.
#include "program.h"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <unistd.h>

namespace {
constexpr QSize DesignSize(986, 580);
const QRect MeterRects[] = {{54, 73, 12, 415},  {143, 73, 12, 415}, {210, 73, 12, 415},
                            {299, 73, 12, 415}, {844, 199, 8, 291}, {907, 199, 8, 291}};
const QRect Captions[] = {{44, 502, 121, 31}, {194, 502, 131, 31}, {830, 502, 101, 31}};
const QRect Clocks[] = {{348, 85, 410, 410}, {418, 260, 270, 111}}; // analog, digital text
const QRect LinkLamp(876, 33, 15, 15);
// The lamp's colours as it paints them: green, amber, red, grey.
const QColor LampGood(40, 200, 60), LampWarning(255, 176, 0), LampFault(230, 30, 30), LampOff(128, 128, 128);
const QString FloorLevels = "-50,-50,-50,-50,-50,-50", ZeroLevels = "0,0,0,0,0,0";
const QString FixedLevels = "0,-20,-10,-30,-5,-40";
// Screenshots land between release ticks: 1 dB either way. A busy machine delays ticks, so the bars may
// fall more slowly, never faster; a stuck bar or a wrong step is off by far more than that allows.
constexpr double ReleaseDbPerSecond = 13.3, FallToleranceDb = 1.0, SlowestFallShare = 0.25;
// A port left open on a vanished device reports errors in a busy loop that takes a whole core; at rest
// the display wakes a few times a second (a few per cent of a core, even in a sanitizer build on a busy
// machine). Half a core tells the two apart without depending on the machine's speed.
constexpr double MaxCpuShareAtRest = 0.5;
constexpr int CpuWindowMs = 3000;
const QString RelayPort = "5500", RelayAddress = "10.77.0.1";
const QString StoredKeys =
    "client_host client_port current_screen full_screen geometry hide_cursor_s is_server keep_screen_awake "
    "labelMeter1 labelMeter2 labelMeter3 over_indicator peak_hold serialport server_host server_port "
    "signal_timeout_ms silence_alarm silence_delay_s silence_threshold_db use_udp";
const double DinBase = std::pow(10.0, -50 / 80.0), DinSpan = std::pow(10.0, 5 / 80.0) - DinBase;
using Check = std::function<QString(const Shot &)>;

QString titleFor(const QString &port)
{
    return "Kolvane Meters - (" + port + ")";
}
// User plus system CPU seconds: fields 14 and 15 of /proc/pid/stat, after the name's last ')'.
double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    const QByteArray line = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
    const QList<QByteArray> f = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return f.size() < 13 ? -1 : (f[11].toDouble() + f[12].toDouble()) / sysconf(_SC_CLK_TCK);
}
// Fitted at the design's aspect ratio and centred; the factor rounded to float as the program does.
std::function<QRect(const QRect &)> scaling(const QSize &window)
{
    const int w = window.width(), h = window.height();
    const int fw = std::min(w, h * DesignSize.width() / DesignSize.height());
    const int fh = double(w) / h > 1.7 ? h : w * DesignSize.height() / DesignSize.width();
    const double f = float((double(fw) / DesignSize.width() + double(fh) / DesignSize.height()) / 2);
    return [=, dx = (w - fw) / 2, dy = (h - fh) / 2](const QRect &r) {
        return QRect(int(r.x() * f) + dx, int(r.y() * f) + dy, int(r.width() * f), int(r.height() * f));
    };
}
double din(double d)
{
    return (std::pow(10, std::clamp(d, -50.0, 5.0) / 80) - DinBase) / DinSpan;
}
bool near(const QColor &a, const QColor &b, int tolerance)
{
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                     std::abs(a.blue() - b.blue())}) <= tolerance;
}
QColor meanColour(const QImage &image, const QRect &area)
{
    return image.copy(area).scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).pixel(0, 0);
}
QRect whiteBox(const QImage &image, const QRect &area) // of the text in it
{
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.valid(x, y) && near(image.pixel(x, y), Qt::white, 55))
                box |= QRect(x, y, 1, 1);
    return box;
}
// Bar length, or -1 and why: scans a column and a row 1 px beyond the meter for its exact colours.
int readMeter(const QImage &image, const QRect &r, QString *problem)
{
    const int column = r.left() + r.width() / 2, half = int(r.height() * 0.5 + 0.5);
    if (!image.rect().contains(r.adjusted(-1, -1, 1, 1)))
        return -1;
    int lit = 0;
    while (lit < r.height() && qGray(image.pixel(column, r.bottom() - lit)) > 60)
        ++lit;
    const auto wrong = [&](int x, int y) {
        const QRgb p = image.pixel(x, y);
        const double t = std::clamp((half - (y - r.top() + 0.5)) / half, 0.0, 1.0);
        const int full = y > r.bottom() - lit ? 255 : 64, sum = qRed(p) + qGreen(p);
        const bool ok =
            r.contains(x, y)
                ? near(p, QColor(int(std::lround(t * full)), int(std::lround((1 - t) * full)), 0), 12)
                : qBlue(p) > 20 || (std::abs(sum - 255) > 24 && std::abs(sum - 64) > 16);
        if (!ok)
            *problem = say("pixel ", QPoint(x, y) - r.topLeft(), " is ", QColor(p).name(), ", lit ", lit);
        return !ok;
    };
    for (int i = -1; i <= std::max(r.width(), r.height()); ++i)
        if ((i <= r.height() && wrong(column, r.top() + i)) ||
            (i <= r.width() && wrong(r.left() + i, r.top() + r.height() / 2)))
            return -1;
    return lit;
}
Check showing(const QString &levels, int tolerance = 1)
{
    return [=](const Shot &shot) {
        QString problem;
        const QStringList db = levels.split(',');
        for (int i = 0; i < 6; ++i) {
            const QRect rect = scaling(shot.geometry.size())(MeterRects[i]);
            const int length = readMeter(shot.image, rect, &problem);
            const int expected = int(rect.height() * din(db[i].toDouble()));
            if (length < 0 || std::abs(length - expected) > tolerance)
                return say("meter ", i, ": ", length, " px, not ", expected, "; ", problem);
        }
        return QString();
    };
}
// The lamp's colour at its centre, then the meters.
Check lampAnd(const QColor &colour, const Check &meters)
{
    return [=](const Shot &shot) {
        const QRect lamp = scaling(shot.geometry.size())(LinkLamp);
        const QColor seen = meanColour(shot.image, QRect(lamp.center() - QPoint(1, 1), QSize(3, 3)));
        return near(seen, colour, 24) ? meters(shot)
                                      : say("the lamp is ", seen.name(), ", not ", colour.name());
    };
}
} // namespace

class TestSystem : public QObject, SystemFixture
{
    Q_OBJECT
    Program xvfb{work.filePath("xvfb")};
    QByteArray why(Program &p) const { return (error + p.process.readAllStandardOutput()).toLocal8Bit(); }
private slots:
    void initTestCase()
    {
        KOLVANE_REQUIRE(!which("Xvfb").isEmpty(), "Xvfb is not installed (Debian: xvfb)");
        KOLVANE_REQUIRE(QFileInfo(KOLVANE_SCREENSHOT_PROGRAM).isExecutable(),
                        "kolvane-screenshot is not built (Debian: libxcb1-dev)");
        QVERIFY2(startX(xvfb, "Xvfb", {"-screen", "0", "2560x1440x24"}), why(xvfb));
    }
    void freshStartScaledStoppedAndRestarted();
    void deviceAbsentPausedGoneAndBackThenBarsFall();
    void clientShowsTheLevelsTheServerRelays();
    void silenceAlarmOverLampsAndPeakMarks();
};

// No settings file and no port: a grey lamp, the design's size and look, running clocks; scaled at two
// aspect ratios, every key stored at exit; restarted on a console with changed captions.
void TestSystem::freshStartScaledStoppedAndRestarted()
{
    Program fixed(work.filePath("console-fixed")), meters(work.filePath("fresh"));
    QString title = titleFor("");
    QVERIFY2(startMeters(meters, title), why(meters));
    const auto first = grabUntil(title, lampAnd(LampOff, showing(FloorLevels, 0)));
    QVERIFY2(first, why(meters));
    QCOMPARE(first->title, title);
    QCOMPARE(first->geometry.size(), DesignSize);
    QVERIFY2(near(meanColour(first->image, {0, 0, 2, 400}), QColor(114, 112, 111), 16), "no brushed panel");
    for (const QRect &label : Captions)
        QVERIFY2(qAbs(whiteBox(first->image, label).center().x() - label.center().x()) <= 4, "off centre");
    QVERIFY2(grabUntil(title,
                       [&](const Shot &s) {
                           for (const QRect &clock : Clocks)
                               if (s.image.copy(clock) == first->image.copy(clock))
                                   return QString("a clock stands still");
                           return QString();
                       }),
             why(meters));
    const auto big = scaling(QSize(1920, 1080));
    const auto large = grabUntil(title, showing(FloorLevels, 0), {"--resize", "1920x1080"});
    QVERIFY2(large && large->geometry.size() == QSize(1920, 1080), why(meters));
    for (const QRect &label : Captions) {
        const double growth = double(whiteBox(large->image, big(label)).height()) /
                              std::max(1, whiteBox(first->image, label).height());
        QVERIFY2(growth > 1.5 && growth < 2.2, qPrintable(say("a caption grew ", growth, " times")));
    }
    // Background patches all over look alike at both sizes; a wrong offset or factor matches < 90 %.
    int compared = 0, matching = 0;
    for (int y = 8; y < DesignSize.height() - 8; y += 16)
        for (int x = 8; x < DesignSize.width() - 8; x += 16, ++compared) {
            const QRect patch(x - 2, y - 2, 5, 5);
            matching += near(meanColour(first->image, patch), meanColour(large->image, big(patch)), 30);
        }
    QVERIFY2(matching >= compared * 9 / 10, qPrintable(say(matching, " of ", compared, " patches match")));
    const QRect placed(30, 40, 1100, 650);
    const auto scaled = scaling(placed.size());
    const auto before = grabUntil(title, showing(FloorLevels), {"--move", "30,40", "--resize", "1100x650"});
    QVERIFY2(before && before->geometry == placed, why(meters));
    const int defaultCaptionWidth = whiteBox(before->image, scaled(Captions[0])).width();
    QVERIFY2(meters.stop() == 0, why(meters));
    QCOMPARE(meters.stored(), StoredKeys + " / Prog|Sub|CRM");
    // Restarted on a console with changed captions: the old place, the new captions and levels.
    QVERIFY2(fixed.simulate(FixedLevels), why(fixed));
    meters.writeSettings({"serialport=" + fixed.terminal, "labelMeter1=Studio On Air", "labelMeter2="});
    title = titleFor(fixed.terminal);
    QVERIFY2(startMeters(meters, title), why(meters));
    const auto restored = grabUntil(title, [&](const Shot &s) {
        if (s.geometry != placed)
            return say("the window came back at ", s.geometry);
        if (whiteBox(s.image, scaled(Captions[0])).width() <= defaultCaptionWidth + 10 ||
            !whiteBox(s.image, scaled(Captions[1])).isEmpty() ||
            whiteBox(s.image, scaled(Captions[2])).isEmpty())
            return QString("the captions are not the stored ones");
        return showing(FixedLevels)(s);
    });
    QVERIFY2(restored, why(meters));
    QVERIFY2(meters.stop() == 0, why(meters));
    QCOMPARE(meters.stored(), StoredKeys + " / Studio On Air||CRM");
}

// The console's device is absent at start (red), plugged in (green), paused with its line open (amber,
// the bars at the floor), resumed, pulled out while it sends (red, at rest) and put back; then the bars
// fall at the release rate between two timed screenshots.
void TestSystem::deviceAbsentPausedGoneAndBackThenBarsFall()
{
    const QString socat = which("socat");
    KOLVANE_REQUIRE(!socat.isEmpty(), "socat is not installed (Debian: socat)");
    // Linked terminals named in the test's folder, as an adapter's device name comes and goes.
    Program device(work.filePath("socat")), meters(work.filePath("device"));
    Program loud(work.filePath("sim-loud")), back(work.filePath("sim-back")),
        quiet(work.filePath("sim-floor"));
    const QString port = device.terminal = work.filePath("tty"), feed = work.filePath("tty-feed");
    const QString title = titleFor(port);
    const auto plugIn = [&] {
        return device.start(socat, {"pty,raw,echo=0,link=" + port, "pty,raw,echo=0,link=" + feed}) &&
               QTest::qWaitFor([&] { return QFileInfo::exists(port) && QFileInfo::exists(feed); }, TimeoutMs);
    };
    const auto send = [&](Program &sim, const QString &db) {
        return sim.start(KOLVANE_CONSOLE_SIM_PROGRAM, {"--port", feed, "--levels=" + db});
    };
    meters.writeSettings({"serialport=" + port});
    QVERIFY2(startMeters(meters, title) && grabUntil(title, lampAnd(LampFault, showing(FloorLevels, 0))),
             why(meters));
    QVERIFY2(plugIn() && send(loud, ZeroLevels) && grabUntil(title, lampAnd(LampGood, showing(ZeroLevels))),
             why(meters));
    const pid_t console = pid_t(loud.process.processId());
    QVERIFY(::kill(console, SIGSTOP) == 0); // its terminal stays open, its frames stop
    QVERIFY2(grabUntil(title, lampAnd(LampWarning, showing(FloorLevels, 0))), why(meters));
    QVERIFY(::kill(console, SIGCONT) == 0);
    QVERIFY2(grabUntil(title, lampAnd(LampGood, showing(ZeroLevels))), why(meters));
    device.stop(); // pulled out while the console still sends
    loud.stop();
    // The CPU window starts only when the bars rest, so repaints (costly in a sanitizer build) do not count.
    QVERIFY2(grabUntil(title, lampAnd(LampFault, showing(FloorLevels))), why(meters));
    const double cpuBefore = cpuSeconds(meters.process.processId());
    QTest::qWait(CpuWindowMs);
    const double share = (cpuSeconds(meters.process.processId()) - cpuBefore) / (CpuWindowMs / 1000.0);
    qInfo("CPU while the device is gone and the bars rest: %.1f %% of one core", share * 100.0);
    QVERIFY2(cpuBefore >= 0 && share < MaxCpuShareAtRest && meters.running(), why(meters));
    // Back under the same name: frames show again, then the bars fall from 0 dB.
    QVERIFY2(plugIn() && send(back, ZeroLevels) && grabUntil(title, showing(ZeroLevels)), why(meters));
    back.stop();
    QVERIFY2(send(quiet, FloorLevels), why(quiet));
    // The first timed screenshot once every bar has left 0 dB, however long the simulator took to start.
    const auto high = grabUntil(title, [&](const Shot &shot) {
        for (const QRect &rect : MeterRects) {
            const int lit = readMeter(shot.image, rect, &error);
            if (lit < 0 || lit >= int(rect.height() * din(-0.5)))
                return QString("the bars have not started to fall");
        }
        return QString();
    });
    QTest::qWait(1500);
    const auto low = grab(title);
    QVERIFY2(high && low, why(meters));
    const double seconds = (low->grabbedAtMs - high->grabbedAtMs) / 1000.0;
    for (const QRect &rect : MeterRects) {
        const int h = rect.height(), before = readMeter(high->image, rect, &error);
        const int after = readMeter(low->image, rect, &error);
        const double from = 80.0 * std::log10((before + 0.5) * DinSpan / h + DinBase);
        const double to = from - ReleaseDbPerSecond * seconds;
        const double slowest = from - SlowestFallShare * ReleaseDbPerSecond * seconds;
        QVERIFY2(std::min(before, after) >= 0 && from < -0.5 &&
                     after >= int(h * din(to - FallToleranceDb)) - 1 &&
                     after <= int(h * din(slowest + FallToleranceDb)) + 1,
                 qPrintable(say(from, " dB fell to ", after, " px in ", seconds, " s; ", error)));
    }
    QVERIFY2(meters.stop() == 0, why(meters));
}

void TestSystem::clientShowsTheLevelsTheServerRelays()
{
    const QString ip = which("ip"), pid = QString::number(QCoreApplication::applicationPid());
    const QString first = "kolvane-sys-" + pid + "-a", second = "kolvane-sys-" + pid + "-b";
    // Made before the programs, so it outlives them; deleting a namespace takes its veth end with it.
    const auto removeNamespaces = qScopeGuard([&] {
        for (const QString &name : {first, second})
            QProcess::execute(ip, {"netns", "delete", name});
    });
    // The veth pair lives inside the namespaces only; the route sends the relay broadcast through it.
    const QString script =
        QStringLiteral("PATH=$PATH:/usr/sbin:/sbin && ip netns add %1 && ip netns add %2"
                       " && ip -n %1 link add %3 type veth peer name %4 netns %2"
                       " && ip -n %1 addr add %5/24 dev %3 && ip -n %2 addr add 10.77.0.2/24 dev %4"
                       " && ip -n %1 link set lo up && ip -n %1 link set %3 up"
                       " && ip -n %2 link set lo up && ip -n %2 link set %4 up"
                       " && ip -n %1 route replace 255.255.255.255/32 dev %3")
            .arg(first, second, "kvs" + pid + "a", "kvs" + pid + "b", RelayAddress);
    KOLVANE_REQUIRE(geteuid() == 0 && QProcess::execute("/bin/sh", {"-c", script}) == 0,
                    "network namespaces need root and ip (Debian: iproute2)");
    Program sim(work.filePath("sim-relay")), server(work.filePath("server")), client(work.filePath("client"));
    QVERIFY2(sim.simulate(FixedLevels), why(sim));
    server.writeSettings({"use_udp=true", "is_server=true", "server_host=" + RelayAddress,
                          "server_port=" + RelayPort, "serialport=" + sim.terminal});
    client.writeSettings({"use_udp=true", "is_server=false", "client_host=" + RelayAddress,
                          "client_port=" + RelayPort, "serialport="});
    const QString serverTitle = titleFor(sim.terminal), clientTitle = titleFor(RelayPort);
    QVERIFY2(startMeters(server, serverTitle, "disabled:", first), why(server));
    QVERIFY2(startMeters(client, clientTitle, "disabled:", second), why(client));
    QVERIFY2(grab(clientTitle, {"--move", "1100,0"}), why(client)); // side by side: one window per screenshot
    QVERIFY2(grabUntil(serverTitle, showing(FixedLevels)), why(server));
    QVERIFY2(grabUntil(clientTitle, showing(FixedLevels)), why(client));
    QVERIFY2(client.stop() == 0 && server.stop() == 0, why(server));
}

// Switched on through the settings file: silent programme turns its caption's band red after the
// 1 s delay, levels above the top light the sub meters' over lamps, and every bar carries its mark.
void TestSystem::silenceAlarmOverLampsAndPeakMarks()
{
    Program sim(work.filePath("sim-alarm")), meters(work.filePath("alarm"));
    QVERIFY2(sim.simulate("-50,-50,10,10,-10,-10"), why(sim));
    meters.writeSettings({"serialport=" + sim.terminal, "silence_alarm=true", "silence_delay_s=1",
                          "peak_hold=true", "over_indicator=true"});
    const QString title = titleFor(sim.terminal);
    QVERIFY2(startMeters(meters, title), why(meters));
    const auto shot = grabUntil(title, [&](const Shot &s) {
        const QImage &image = s.image;
        const QRect band = Captions[0].adjusted(2, 2, -Captions[0].width() + 8, -2); // left of the text
        if (!near(meanColour(image, band), QColor(204, 0, 0), 30))
            return say("the programme band is ", QColor(meanColour(image, band)).name());
        for (int i : {2, 3}) {
            const QRect r = MeterRects[i];
            const QPoint lamp(r.center().x(), r.top() + 3), below(r.center().x(), r.top() + 5);
            if (!near(image.pixel(lamp), Qt::white, 8) || near(image.pixel(below), Qt::white, 60))
                return say("no over lamp on meter ", i);
        }
        for (int i : {4, 5}) {
            const QRect r = MeterRects[i];
            int top = r.top();
            while (top <= r.bottom() && !near(image.pixel(r.center().x(), top), Qt::white, 8))
                ++top;
            const int markAt = r.bottom() + 1 - top, expected = int(r.height() * din(-10));
            if (std::abs(markAt - expected) > 1 || !near(image.pixel(r.center().x(), top + 1), Qt::white, 8))
                return say("meter ", i, ": mark ", markAt, " px up, not ", expected);
        }
        return QString();
    });
    QVERIFY2(shot, why(meters));
    QVERIFY2(meters.stop() == 0, why(meters));
}

QTEST_GUILESS_MAIN(TestSystem)
#include "tst_system.moc"
