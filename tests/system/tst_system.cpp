// The real kolvane-meters under Xvfb, checked by screenshots against a model of the display worked out here.
#include "program.h"

#include <cmath>
#include <csignal>
#include <unistd.h>

namespace {
const QRect MeterRects[] = {{54, 73, 12, 415},  {143, 73, 12, 415}, {210, 73, 12, 415},
                            {299, 73, 12, 415}, {844, 199, 8, 291}, {907, 199, 8, 291}};
const QRect ProgCaption(44, 502, 121, 31), LinkLamp(876, 33, 15, 15);
const QRect Clocks[] = {{348, 85, 410, 410}, {418, 260, 270, 111}}; // analog, digital text
// The lamp's colours as it paints them: green, amber, red, grey.
const QColor LampGood(40, 200, 60), LampWarning(255, 176, 0), LampFault(230, 30, 30), LampOff(128, 128, 128);
const QString FloorLevels = "-50,-50,-50,-50,-50,-50", ZeroLevels = "0,0,0,0,0,0";
// Six levels apart; then a silent programme, one sub meter above the top and one below it.
const QString FixedLevels = "0,-20,-10,-30,-5,-40", AlarmLevels = "-50,-45,10,4,-10,-20";
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
    "labelMeter1 labelMeter2 labelMeter3 over_indicator peak_hold pixel_shift serialport server_host "
    "server_port signal_timeout_ms silence_alarm silence_delay_s silence_threshold_db use_udp";
const double DinBase = std::pow(10.0, -50 / 80.0), DinSpan = std::pow(10.0, 5 / 80.0) - DinBase;
using Check = std::function<QString(const Shot &)>;
} // namespace

class TestSystem : public QObject, SystemFixture
{
    Q_OBJECT
    Program xvfb{work.filePath("xvfb")};
    static QString titleFor(const QString &port) { return "Kolvane Meters - (" + port + ")"; }
    static double din(double d) { return (std::pow(10, std::clamp(d, -50.0, 5.0) / 80) - DinBase) / DinSpan; }
    static bool near(const QColor &a, const QColor &b, int tolerance)
    {
        return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                         std::abs(a.blue() - b.blue())}) <= tolerance;
    }
    static QColor meanColour(const QImage &image, const QRect &area)
    {
        return image.copy(area).scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).pixel(0, 0);
    }
    static QString stored(const Program &program) // the sorted keys and the captions
    {
        QSettings store(program.ini, QSettings::IniFormat);
        QStringList keys = store.allKeys();
        keys.sort();
        return keys.join(' ') + " / " + store.value("labelMeter1").toString() + "|" +
               store.value("labelMeter2").toString() + "|" + store.value("labelMeter3").toString();
    }
    // User plus system CPU seconds: fields 14 and 15 of /proc/pid/stat, after the name's last ')'.
    static double cpuSeconds(qint64 pid)
    {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        const QByteArray line = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
        const QList<QByteArray> f = line.mid(line.lastIndexOf(')') + 2).split(' ');
        return f.size() < 13 ? -1 : (f[11].toDouble() + f[12].toDouble()) / sysconf(_SC_CLK_TCK);
    }
    // Fitted at the design's aspect ratio and centred; the factor rounded to float as the program does.
    static QRect scaled(const QRect &r, const QSize &window)
    {
        const int w = window.width(), h = window.height();
        const int fw = std::min(w, h * DesignSize.width() / DesignSize.height());
        const int fh = double(w) / h > 1.7 ? h : w * DesignSize.height() / DesignSize.width();
        const double f = float((double(fw) / DesignSize.width() + double(fh) / DesignSize.height()) / 2);
        return QRect(int(r.x() * f) + (w - fw) / 2, int(r.y() * f) + (h - fh) / 2, int(r.width() * f),
                     int(r.height() * f));
    }
    // Bar length, or -1 and why: scans a column and a row 1 px beyond the meter for its exact colours.
    static int readMeter(const QImage &image, const QRect &r, QString *problem)
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
    static Check showing(const QString &levels, int tolerance = 1)
    {
        return [=](const Shot &shot) {
            QString problem;
            for (int i = 0; i < 6; ++i) {
                const QRect rect = scaled(MeterRects[i], shot.geometry.size());
                const int length = readMeter(shot.image, rect, &problem);
                const int expected = int(rect.height() * din(levels.section(',', i, i).toDouble()));
                if (length < 0 || std::abs(length - expected) > tolerance)
                    return say("meter ", i, ": ", length, " px, not ", expected, "; ", problem);
            }
            return QString();
        };
    }
    // The lamp's colour at its centre, then the meters.
    static Check lampAnd(const QColor &colour, const Check &meters)
    {
        return [=](const Shot &shot) {
            const QPoint centre = scaled(LinkLamp, shot.geometry.size()).center();
            const QColor seen = meanColour(shot.image, QRect(centre - QPoint(1, 1), QSize(3, 3)));
            return near(seen, colour, 24) ? meters(shot)
                                          : say("the lamp is ", seen.name(), ", not ", colour.name());
        };
    }
    // At AlarmLevels with every option on: the programme caption's band red, the over lamp lit on the sub
    // meter above the top only, and on the control room meters a peak mark at their levels.
    static QString alarmed(const Shot &s)
    {
        const auto white = [&](int x, int y, int tolerance = 8) {
            return near(s.image.pixel(x, y), Qt::white, tolerance);
        };
        const QColor band = meanColour(s.image, ProgCaption.adjusted(2, 2, -ProgCaption.width() + 8, -2));
        if (!near(band, QColor(204, 0, 0), 30)) // left of the text
            return say("the programme band is ", band.name());
        for (int i : {2, 3})
            if (const QRect r = MeterRects[i];
                white(r.center().x(), r.top() + 3) != (i == 2) || white(r.center().x(), r.top() + 5, 60))
                return say("the over lamp of meter ", i, " is wrong");
        for (int i : {4, 5}) {
            const QRect r = MeterRects[i];
            int top = r.top();
            while (top <= r.bottom() && !white(r.center().x(), top))
                ++top;
            const int markAt = r.bottom() + 1 - top,
                      expected = int(r.height() * din(AlarmLevels.section(',', i, i).toDouble()));
            if (std::abs(markAt - expected) > 1 || !white(r.center().x(), top + 1))
                return say("meter ", i, ": mark ", markAt, " px up, not ", expected);
        }
        return QString();
    }
private slots:
    void initTestCase()
    {
        KOLVANE_REQUIRE(hasTools({"Xvfb", "socat"}), "Xvfb, socat and kolvane-screenshot are needed "
                                                     "(Debian: xvfb socat libxcb1-dev)");
        QVERIFY(startX(xvfb, "Xvfb", {"-screen", "0", "2560x1440x24"}));
    }
    void freshStartScaledStoppedAndRestarted();
    void deviceAbsentPausedGoneAndBackThenBarsFall();
    void serverRelaysToAClientWithEveryOption();
    void bbcScaleFromTheSettingsFile();
};

// No settings file and no port: a grey lamp, the design's size, running clocks; at rest after two resizes
// (the other fitting ratio at the second), every key stored at exit; back in its place, with new captions.
void TestSystem::freshStartScaledStoppedAndRestarted()
{
    Program meters(work.filePath("fresh"));
    const QString title = titleFor("");
    const auto first = startMeters(meters, title)
                           ? grabUntil(title, lampAnd(LampOff, showing(FloorLevels, 0)))
                           : std::nullopt;
    QVERIFY2(first && first->title == title && first->geometry.size() == DesignSize, why());
    const auto ticking = [&](const Shot &s) {
        const bool still = s.image.copy(Clocks[0]) == first->image.copy(Clocks[0]) ||
                           s.image.copy(Clocks[1]) == first->image.copy(Clocks[1]);
        return still ? QString("a clock stands still") : QString();
    };
    QVERIFY2(grabUntil(title, ticking), why());
    const auto large = grabUntil(title, showing(FloorLevels, 0), {"--resize", "1920x1080"});
    QVERIFY2(large && large->geometry.size() == QSize(1920, 1080), why());
    // Near the top, where Qt would leave room for a title bar that no manager draws here.
    const QRect placed(30, 10, 1100, 650);
    const auto moved = grabUntil(title, showing(FloorLevels), {"--move", "30,10", "--resize", "1100x650"});
    QVERIFY2(moved && moved->geometry == placed, why());
    QCOMPARE(meters.stop(), 0);
    QCOMPARE(stored(meters), StoredKeys + " / Prog|Sub|CRM");
    meters.writeSettings({"labelMeter1=Studio On Air", "labelMeter2="});
    const auto restored = [&](const Shot &s) {
        return s.geometry == placed ? showing(FloorLevels, 0)(s) : say("the window is at ", s.geometry);
    };
    QVERIFY2(startMeters(meters, title) && grabUntil(title, restored), why());
    QCOMPARE(meters.stop(), 0);
    QCOMPARE(stored(meters), StoredKeys + " / Studio On Air||CRM");
}

// The console's device is absent at start (red), plugged in (green), paused with its line open (amber,
// the bars at the floor), resumed, pulled out while it sends (red, at rest) and put back; then the bars
// fall at the release rate between two timed screenshots.
void TestSystem::deviceAbsentPausedGoneAndBackThenBarsFall()
{
    // Linked terminals named in the test's folder, as an adapter's device name comes and goes.
    Program device(work.filePath("socat")), meters(work.filePath("device")), sim(work.filePath("sim"));
    const QString port = device.terminal = work.filePath("tty"), feed = work.filePath("tty-feed");
    const QString title = titleFor(port);
    const auto plugIn = [&] {
        return device.start(which("socat"), {"pty,raw,echo=0,link=" + port, "pty,raw,echo=0,link=" + feed}) &&
               QTest::qWaitFor([&] { return QFileInfo::exists(port) && QFileInfo::exists(feed); }, TimeoutMs);
    };
    const auto send = [&](const QString &db) {
        sim.stop();
        return sim.start(KOLVANE_CONSOLE_SIM_PROGRAM, {"--port", feed, "--levels=" + db});
    };
    meters.writeSettings({"serialport=" + port});
    QVERIFY2(startMeters(meters, title) && grabUntil(title, lampAnd(LampFault, showing(FloorLevels, 0))),
             why());
    QVERIFY2(plugIn() && send(FixedLevels) && grabUntil(title, lampAnd(LampGood, showing(FixedLevels))),
             why());
    const pid_t console = pid_t(sim.process.processId());
    QVERIFY(::kill(console, SIGSTOP) == 0); // its terminal stays open, its frames stop
    QVERIFY2(grabUntil(title, lampAnd(LampWarning, showing(FloorLevels, 0))), why());
    QVERIFY(::kill(console, SIGCONT) == 0);
    QVERIFY2(grabUntil(title, lampAnd(LampGood, showing(FixedLevels))), why());
    device.stop(); // pulled out while the console still sends
    // The CPU window starts only when the bars rest, so repaints (costly in a sanitizer build) do not count.
    QVERIFY2(grabUntil(title, lampAnd(LampFault, showing(FloorLevels))), why());
    const double cpuBefore = cpuSeconds(meters.process.processId());
    QTest::qWait(CpuWindowMs);
    const double share = (cpuSeconds(meters.process.processId()) - cpuBefore) / (CpuWindowMs / 1000.0);
    qInfo("CPU while the device is gone and the bars rest: %.1f %% of one core", share * 100.0);
    QVERIFY(cpuBefore >= 0 && share < MaxCpuShareAtRest && meters.process.state() == QProcess::Running);
    // Back under the same name: frames show again; then at the floor, the bars fall from 0 dB.
    QVERIFY2(plugIn() && send(ZeroLevels) && grabUntil(title, showing(ZeroLevels)) && send(FloorLevels),
             why());
    // The first timed screenshot once every bar has left 0 dB, however long the simulator took to start.
    const auto high = grabUntil(title, [&](const Shot &shot) {
        for (const QRect &rect : MeterRects)
            if (const int lit = readMeter(shot.image, rect, &error);
                lit < 0 || lit >= int(rect.height() * din(-0.5)))
                return QString("the bars have not started to fall");
        return QString();
    });
    QTest::qWait(1500);
    const auto low = grab(title);
    QVERIFY2(high && low, why());
    const double seconds = (low->grabbedAtMs - high->grabbedAtMs) / 1000.0;
    for (const QRect &rect : MeterRects) {
        const int h = rect.height(), before = readMeter(high->image, rect, &error);
        const int after = readMeter(low->image, rect, &error);
        const double from = 80.0 * std::log10((before + 0.5) * DinSpan / h + DinBase);
        const double fastest = from - ReleaseDbPerSecond * seconds - FallToleranceDb;
        const double slowest = from - SlowestFallShare * ReleaseDbPerSecond * seconds + FallToleranceDb;
        QVERIFY2(std::min(before, after) >= 0 && from < -0.5 && after >= int(h * din(fastest)) - 1 &&
                     after <= int(h * din(slowest)) + 1,
                 qPrintable(say(from, " dB fell to ", after, " px in ", seconds, " s; ", error)));
    }
    QCOMPARE(meters.stop(), 0);
}

// A server in one network namespace relays its console's frames to a client in another, which shows them
// with the silence alarm, over lamps and peak marks switched on through its settings file.
void TestSystem::serverRelaysToAClientWithEveryOption()
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
    QVERIFY(sim.simulate(AlarmLevels));
    server.writeSettings({"use_udp=true", "is_server=true", "server_host=" + RelayAddress,
                          "server_port=" + RelayPort, "serialport=" + sim.terminal});
    client.writeSettings({"use_udp=true", "is_server=false", "client_host=" + RelayAddress,
                          "client_port=" + RelayPort, "serialport=", "silence_alarm=true",
                          "silence_delay_s=1", "peak_hold=true", "over_indicator=true"});
    const QString serverTitle = titleFor(sim.terminal), clientTitle = titleFor(RelayPort);
    QVERIFY2(startMeters(server, serverTitle, "disabled:", first), why());
    QVERIFY2(startMeters(client, clientTitle, "disabled:", second), why());
    QVERIFY2(grab(clientTitle, {"--move", "1100,0"}), why()); // side by side: one window per screenshot
    QVERIFY2(grabUntil(serverTitle, showing(AlarmLevels)) && grabUntil(clientTitle, alarmed), why());
    QVERIFY(client.stop() == 0 && server.stop() == 0);
}

// Another scale from the file: BBC marks 1 to 7 instead of DIN's, and a frame at the alignment level on
// mark 4.
void TestSystem::bbcScaleFromTheSettingsFile()
{
    Program sim(work.filePath("sim-bbc")), meters(work.filePath("bbc"));
    QVERIFY(sim.simulate("-9,-9,-9,-9,-9,-9"));
    meters.writeSettings({"serialport=" + sim.terminal, "meter_scale=bbc"});
    const QString title = titleFor(sim.terminal);
    QVERIFY2(startMeters(meters, title), why());
    const int tickX = 79, dinRows[] = {145, 302, 404}; // DIN's 0, 15 and 30, far from any BBC mark
    const auto shot = grabUntil(title, [&](const Shot &s) {
        QString problem;
        for (const QRect &r : MeterRects)
            if (std::abs(readMeter(s.image, r, &problem) - r.height() * 4 / 7) > 1)
                return say("a bar is not on mark 4: ", readMeter(s.image, r, &problem), " px; ", problem);
        for (int mark = 1; mark <= 7; ++mark)
            if (!near(s.image.pixel(tickX, 488 - 415 * mark / 7), Qt::white, 30))
                return say("no mark ", mark);
        for (int row : dinRows)
            if (near(s.image.pixel(tickX, row), Qt::white, 60))
                return say("DIN's mark on row ", row);
        return QString();
    });
    QVERIFY2(shot, why());
    QCOMPARE(meters.stop(), 0);
}

QTEST_GUILESS_MAIN(TestSystem)
#include "tst_system.moc"
