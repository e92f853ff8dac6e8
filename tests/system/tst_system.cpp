// The real kolvane-meters under Xvfb, checked by screenshots against a model of the display worked out here.
#include "program.h"

#include <QtTest>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <functional>
#include <optional>
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
constexpr int TimeoutMs = 20000, CpuWindowMs = 3000;
const QString RelayPort = "5500", RelayAddress = "10.77.0.1";
const QStringList SearchPath = (qEnvironmentVariable("PATH") + ":/usr/sbin:/sbin").split(':');
const QString StoredKeys =
    "client_host client_port current_screen full_screen geometry hide_cursor_s is_server keep_screen_awake "
    "labelMeter1 labelMeter2 labelMeter3 over_indicator peak_hold serialport server_host server_port "
    "signal_timeout_ms silence_alarm silence_delay_s silence_threshold_db use_udp";
const double DinBase = std::pow(10.0, -50 / 80.0), DinSpan = std::pow(10.0, 5 / 80.0) - DinBase;
struct Shot
{
    QImage image;
    QRect geometry;
    QString title;
    double grabbedAtMs = 0; // CLOCK_MONOTONIC
};
} // namespace

class TestSystem : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void freshStartScaledStoppedAndRestarted();
    void deviceGoesAndReturnsThenBarsFall();
    void clientShowsTheLevelsTheServerRelays();
    void lampTellsTheLinkApart();
    void silenceAlarmOverLampsAndPeakMarks();
    void clocksFollowASetSystemClock();
    void bbcScaleFromTheSettingsFile();

private:
    template <typename... P> static QString say(const P &...parts)
    {
        QString text;
        (QDebug(&text).noquote().nospace() << ... << parts);
        return text;
    }
    QTemporaryDir work;
    Program xvfb{work.filePath("xvfb")};
    QString error;
    static QString which(const QString &name) { return QStandardPaths::findExecutable(name, SearchPath); }
    static QString titleFor(const QString &port) { return "Kolvane Meters - (" + port + ")"; }
    QByteArray why(Program &p) const { return (error + p.process.readAllStandardOutput()).toLocal8Bit(); }
    // User plus system CPU seconds: fields 14 and 15 of /proc/pid/stat, after the name's last ')'.
    static double cpuSeconds(qint64 pid)
    {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        const QByteArray line = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
        const QList<QByteArray> f = line.mid(line.lastIndexOf(')') + 2).split(' ');
        return f.size() < 13 ? -1 : (f[11].toDouble() + f[12].toDouble()) / sysconf(_SC_CLK_TCK);
    }
    // ip netns exec runs the program itself (no shell between), so the pid is the program's.
    bool startMeters(Program &meters, const QString &title, const QString &netns = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", meters.folder);
        env.insert("XDG_RUNTIME_DIR", meters.runtime.path());
        const QStringList inNetns{"netns", "exec", netns, KOLVANE_METERS_PROGRAM};
        return (netns.isEmpty() ? meters.start(KOLVANE_METERS_PROGRAM, {}, env)
                                : meters.start(which("ip"), inNetns, env)) &&
               grab(title, {"--wait", "20000"});
    }
    // kolvane-screenshot finds, moves or resizes, and grabs the window whose title starts so.
    std::optional<Shot> grab(const QString &title, const QStringList &options = {})
    {
        QProcess tool;
        const QString file = work.filePath("shot.png");
        tool.start(KOLVANE_SCREENSHOT_PROGRAM,
                   QStringList{"--title", title, "--settle", "0"} + options << file);
        const bool finished = tool.waitForFinished(3 * TimeoutMs);
        QHash<QString, QString> v;
        for (const QString &line : QString::fromUtf8(tool.readAllStandardOutput()).split('\n'))
            v.insert(line.section('=', 0, 0), line.section('=', 1));
        const Shot shot{QImage(file).convertToFormat(QImage::Format_RGB32),
                        QRect(v["x"].toInt(), v["y"].toInt(), v["width"].toInt(), v["height"].toInt()),
                        v["title"], v["grab-monotonic-ms"].toDouble()};
        const bool ok = finished && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0 &&
                        !shot.image.isNull();
        error = ok ? QString() : "kolvane-screenshot: " + QString::fromLocal8Bit(tool.readAllStandardError());
        return ok ? std::optional(shot) : std::nullopt;
    }
    std::optional<Shot> grabUntil(const QString &title, const std::function<QString(const Shot &)> &check)
    {
        std::optional<Shot> shot;
        const auto good = [&] { return (shot = grab(title)) && (error = check(*shot)).isEmpty(); };
        return QTest::qWaitFor(good, TimeoutMs) ? shot : std::nullopt;
    }
    // Fitted at the design's aspect ratio and centred; the factor rounded to float as the program does.
    static std::function<QRect(const QRect &)> scaling(const QSize &window)
    {
        const int w = window.width(), h = window.height();
        const int fw = std::min(w, h * DesignSize.width() / DesignSize.height());
        const int fh = double(w) / h > 1.7 ? h : w * DesignSize.height() / DesignSize.width();
        const double f = float((double(fw) / DesignSize.width() + double(fh) / DesignSize.height()) / 2);
        return [=, dx = (w - fw) / 2, dy = (h - fh) / 2](const QRect &r) {
            return QRect(int(r.x() * f) + dx, int(r.y() * f) + dy, int(r.width() * f), int(r.height() * f));
        };
    }
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
    static QRect whiteBox(const QImage &image, const QRect &area) // of the text in it
    {
        QRect box;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (image.valid(x, y) && near(image.pixel(x, y), Qt::white, 55))
                    box |= QRect(x, y, 1, 1);
        return box;
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
    // The lamp's colour at its centre, then the meters.
    static std::function<QString(const Shot &)> lampAnd(const QColor &colour,
                                                        const std::function<QString(const Shot &)> &meters)
    {
        return [=](const Shot &shot) {
            const QRect lamp = scaling(shot.geometry.size())(LinkLamp);
            const QColor seen = meanColour(shot.image, QRect(lamp.center() - QPoint(1, 1), QSize(3, 3)));
            return near(seen, colour, 24) ? meters(shot)
                                          : say("the lamp is ", seen.name(), ", not ", colour.name());
        };
    }
    static std::function<QString(const Shot &)> showing(const QString &levels, int tolerance = 1)
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
};

void TestSystem::initTestCase()
{
    KOLVANE_REQUIRE(!which("Xvfb").isEmpty(), "Xvfb is not installed (Debian: xvfb)");
    KOLVANE_REQUIRE(QFileInfo(KOLVANE_SCREENSHOT_PROGRAM).isExecutable(),
                    "kolvane-screenshot is not built (Debian: libxcb1-dev)");
    // The programs use the X server, not the offscreen platform, and no caller's scaling.
    for (const char *name : {"QT_QPA_PLATFORM", "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS",
                             "QT_AUTO_SCREEN_SCALE_FACTOR", "QT_FONT_DPI", "WAYLAND_DISPLAY"})
        qunsetenv(name);
    // -displayfd picks a free display number and prints it.
    const QString options = "-displayfd 1 -screen 0 2560x1440x24 -dpi 96 -nolisten tcp -noreset";
    QVERIFY2(xvfb.start(which("Xvfb"), options.split(' ')), why(xvfb));
    const QString display = xvfb.firstLine();
    QVERIFY2(!display.isEmpty() && qputenv("DISPLAY", ":" + display.toLocal8Bit()), why(xvfb));
}

void TestSystem::freshStartScaledStoppedAndRestarted()
{
    const auto big = scaling(QSize(1920, 1080));
    QCOMPARE(big(MeterRects[0]), QRect(142, 135, 22, 772));
    Program quiet(work.filePath("quiet")), fixed(work.filePath("fixed")), meters(work.filePath("fresh"));
    QVERIFY2(quiet.simulate({"--levels=" + FloorLevels}), why(quiet));
    meters.writeSettings({"serialport=" + quiet.terminal});
    QString title = titleFor(quiet.terminal);
    QVERIFY2(startMeters(meters, title), why(meters));
    const auto first = grabUntil(title, showing(FloorLevels, 0));
    QVERIFY2(first, why(meters));
    QCOMPARE(first->title, title);
    QCOMPARE(first->geometry.size(), DesignSize);
    QVERIFY2(near(meanColour(first->image, {0, 0, 2, 400}), QColor(114, 112, 111), 16), "no brushed panel");
    for (const QRect &label : Captions)
        QVERIFY2(qAbs(whiteBox(first->image, label).center().x() - label.center().x()) <= 4, "off centre");
    QTest::qWait(1500);
    const auto later = grab(title);
    for (const QRect &clock : Clocks)
        QVERIFY2(later && later->image.copy(clock) != first->image.copy(clock), "a clock stands still");
    const auto resized = grab(title, {"--resize", "1920x1080"});
    QVERIFY2(resized && resized->geometry.size() == QSize(1920, 1080), why(meters));
    const auto large = grabUntil(title, showing(FloorLevels, 0));
    QVERIFY2(large, why(meters));
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
    const auto moved = grab(title, {"--move", "30,40", "--resize", "1100x650"});
    QVERIFY2(moved && moved->geometry == placed, why(meters));
    const auto before = grabUntil(title, showing(FloorLevels));
    QVERIFY2(before, why(meters));
    const int defaultCaptionWidth = whiteBox(before->image, scaled(Captions[0])).width();
    QVERIFY2(meters.stop() == 0, why(meters));
    QCOMPARE(meters.stored(), StoredKeys + " / Prog|Sub|CRM");
    // Restarted on another console with changed captions: the old place, the new captions and levels.
    QVERIFY2(fixed.simulate({"--levels=" + FixedLevels}), why(fixed));
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

void TestSystem::deviceGoesAndReturnsThenBarsFall()
{
    const QString socat = which("socat");
    KOLVANE_REQUIRE(!socat.isEmpty(), "socat is not installed (Debian: socat)");
    // Linked terminals with fixed names; socat removes both when it ends, as when an adapter is pulled out.
    Program device(work.filePath("socat")), meters(work.filePath("device"));
    const QString port = work.filePath("tty"), feed = work.filePath("tty-feed"), title = titleFor(port);
    const auto toFeed = [&](const QString &db) { return QStringList{"--port", feed, "--levels=" + db}; };
    const auto plugIn = [&] {
        return device.start(socat, {"pty,raw,echo=0,link=" + port, "pty,raw,echo=0,link=" + feed}) &&
               QTest::qWaitFor([&] { return QFileInfo::exists(port) && QFileInfo::exists(feed); }, TimeoutMs);
    };
    meters.writeSettings({"serialport=" + port});
    QVERIFY2(plugIn() && startMeters(meters, title), why(meters));
    {
        Program loud(work.filePath("sim-loud"));
        QVERIFY2(loud.simulate(toFeed(ZeroLevels)) && grabUntil(title, showing(ZeroLevels)), why(meters));
        device.stop(); // pulled out while the console still sends
    }
    // The bars fall to the floor first; the CPU window starts only when they rest, so repaints (costly in
    // a sanitizer build) do not count.
    QVERIFY2(grabUntil(title, showing(FloorLevels)), why(meters));
    const double cpuBefore = cpuSeconds(meters.process.processId());
    QTest::qWait(CpuWindowMs);
    const double share = (cpuSeconds(meters.process.processId()) - cpuBefore) / (CpuWindowMs / 1000.0);
    qInfo("CPU while the device is gone and the bars rest: %.1f %% of one core", share * 100.0);
    QVERIFY2(cpuBefore >= 0 && share < MaxCpuShareAtRest && meters.running(), why(meters));
    // Back under the same name: frames show again, then the bars fall between two timed screenshots.
    {
        Program back(work.filePath("sim-back"));
        QVERIFY2(plugIn() && back.simulate(toFeed(ZeroLevels)) && grabUntil(title, showing(ZeroLevels)),
                 why(meters));
    }
    Program quiet(work.filePath("sim-floor"));
    QVERIFY2(quiet.simulate(toFeed(FloorLevels)), why(quiet));
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
    QVERIFY2(sim.simulate({"--levels=" + FixedLevels}), why(sim));
    server.writeSettings({"use_udp=true", "is_server=true", "server_host=" + RelayAddress,
                          "server_port=" + RelayPort, "serialport=" + sim.terminal});
    client.writeSettings({"use_udp=true", "is_server=false", "client_host=" + RelayAddress,
                          "client_port=" + RelayPort, "serialport="});
    const QString serverTitle = titleFor(sim.terminal), clientTitle = titleFor(RelayPort);
    QVERIFY2(startMeters(server, serverTitle, first), why(server));
    QVERIFY2(startMeters(client, clientTitle, second), why(client));
    QVERIFY2(grab(clientTitle, {"--move", "1100,0"}), why(client)); // side by side: one window per screenshot
    QVERIFY2(grabUntil(serverTitle, showing(FixedLevels)), why(server));
    QVERIFY2(grabUntil(clientTitle, showing(FixedLevels)), why(client));
    QVERIFY2(client.stop() == 0 && server.stop() == 0, why(server));
}

// A console that goes quiet with its line still open: amber and the bars at the floor, then green
// again; a port that is not there shows red, no port at all grey.
void TestSystem::lampTellsTheLinkApart()
{
    Program sim(work.filePath("sim-paused")), meters(work.filePath("lamp"));
    QVERIFY2(sim.simulate({"--levels=" + ZeroLevels}), why(sim));
    meters.writeSettings({"serialport=" + sim.terminal, "signal_timeout_ms=500"});
    const QString title = titleFor(sim.terminal);
    QVERIFY2(startMeters(meters, title), why(meters));
    QVERIFY2(grabUntil(title, lampAnd(LampGood, showing(ZeroLevels))), why(meters));
    const pid_t console = pid_t(sim.process.processId());
    QVERIFY(::kill(console, SIGSTOP) == 0); // its terminal stays open, its frames stop
    const auto resume = qScopeGuard([&] { ::kill(console, SIGCONT); });
    QVERIFY2(grabUntil(title, lampAnd(LampWarning, showing(FloorLevels, 0))), why(meters));
    QVERIFY(::kill(console, SIGCONT) == 0);
    QVERIFY2(grabUntil(title, lampAnd(LampGood, showing(ZeroLevels))), why(meters));
    QVERIFY2(meters.stop() == 0 && sim.stop() == 0, why(meters));

    for (const auto &[port, colour] :
         {std::pair(work.filePath("no-such-tty"), LampFault), {QString(), LampOff}}) {
        meters.writeSettings({"serialport=" + port});
        QVERIFY2(startMeters(meters, titleFor(port)) &&
                     grabUntil(titleFor(port), lampAnd(colour, showing(FloorLevels, 0))),
                 why(meters));
        QVERIFY2(meters.stop() == 0, why(meters));
    }
}

// Switched on through the settings file: silent programme turns its caption's band red after the
// 1 s delay, levels above the top light the sub meters' over lamps, and every bar carries its mark.
void TestSystem::silenceAlarmOverLampsAndPeakMarks()
{
    Program sim(work.filePath("sim-alarm")), meters(work.filePath("alarm"));
    QVERIFY2(sim.simulate({"--levels=-50,-50,10,10,-10,-10"}), why(sim));
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

// Setting the real system clock would set it for the whole machine. Linux time namespaces offset only
// the monotonic and boot-time clocks, so no namespace of the test's own can give the program another
// wall clock; the widget test sets the time through the clocks' seam instead.
void TestSystem::clocksFollowASetSystemClock()
{
    QSKIP(
        "the wall clock cannot be set in a namespace of the test's own (time namespaces cover only "
        "CLOCK_MONOTONIC and CLOCK_BOOTTIME); clock steps are tested through the clock seam in tst_widgets");
}

// meter_scale=bbc in the settings file: BBC's marks 1 to 7, evenly spaced up the programme meter, in
// place of DIN's, and a frame at alignment (-9 dB) puts every bar on mark 4, four sevenths up.
void TestSystem::bbcScaleFromTheSettingsFile()
{
    Program sim(work.filePath("sim-bbc")), meters(work.filePath("bbc"));
    QVERIFY2(sim.simulate({"--level=-9"}), why(sim));
    meters.writeSettings({"serialport=" + sim.terminal, "meter_scale=bbc"});
    const QString title = titleFor(sim.terminal);
    QVERIFY2(startMeters(meters, title), why(meters));
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
    QVERIFY2(shot, why(meters));
    QVERIFY2(meters.stop() == 0, why(meters));
}

QTEST_GUILESS_MAIN(TestSystem)
#include "tst_system.moc"
