// The real kolvane-meters as a user runs it: an X server, the console simulator on pseudo-terminals, a
// settings folder of its own, and screenshots of its window checked against a model of the display worked
// out here (the design layout, its scaling, the meters' fourth-root scale and colours).
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <unistd.h>
#include <utility>

// Missing tools or privileges skip a test with the reason, except under CI, where they fail it.
#define KOLVANE_REQUIRE(condition, reason)                                                                   \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            if (qEnvironmentVariable("CI") == "true")                                                        \
                QFAIL(QByteArray("required under CI: ").append(reason).constData());                         \
            QSKIP(QByteArray(reason).constData());                                                           \
        }                                                                                                    \
    } while (false)

namespace {

constexpr int StartTimeoutMs = 10000;
constexpr int SettleTimeoutMs = 10000;

// Joins the parts as qDebug() would print them, for failure messages.
template <typename... Parts> QString say(const Parts &...parts)
{
    QString text;
    (QDebug(&text).noquote().nospace() << ... << parts);
    return text;
}

QString findProgram(const QString &name)
{
    return QStandardPaths::findExecutable(name,
                                          (qEnvironmentVariable("PATH") + ":/usr/sbin:/sbin").split(':'));
}

bool waitUntil(const std::function<bool()> &condition, int timeoutMs = StartTimeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    bool met = false;
    while (!(met = condition()) && timer.elapsed() < timeoutMs)
        QTest::qWait(20);
    return met;
}

QString text(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

// Runs a command to its end; its exit code, or -1 if it could not run or crashed.
int run(const QString &program, const QStringList &arguments, QString *output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool finished = process.waitForFinished(StartTimeoutMs); // else killed on destruction
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// User plus system CPU time of a process so far, in seconds; negative when it cannot be read.
double cpuSeconds(qint64 pid)
{
    // Fields 14 and 15 of stat(5), counted from the last ')' since the command name may hold spaces.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    const QByteArray line = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return fields.size() < 13 ? -1 : (fields[11].toDouble() + fields[12].toDouble()) / sysconf(_SC_CLK_TCK);
}

// The programs under test use the X server, not the test's offscreen platform, and no caller's scaling.
QProcessEnvironment programEnvironment(const QString &display)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"QT_QPA_PLATFORM", "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS",
                             "QT_AUTO_SCREEN_SCALE_FACTOR", "QT_FONT_DPI", "WAYLAND_DISPLAY"})
        env.remove(name);
    env.insert("DISPLAY", display);
    return env;
}

// A program whose output goes to files; stopped by SIGTERM when it goes out of scope.
class Child
{
public:
    explicit Child(const QString &logBase) : base(logBase) {}
    ~Child() { terminate(); }
    bool start(const QString &program, const QStringList &arguments, QString *error,
               const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
    {
        process.setProcessEnvironment(env);
        process.setStandardOutputFile(base + ".out", QIODevice::Append);
        process.setStandardErrorFile(base + ".err", QIODevice::Append);
        process.start(program, arguments);
        if (!process.waitForStarted(StartTimeoutMs))
            *error = say("cannot start ", program, ": ", process.errorString());
        return running();
    }
    bool running() const { return process.state() != QProcess::NotRunning; }
    qint64 pid() const { return process.processId(); }
    // SIGTERM; the exit code, or -1 if it crashed or had to be killed.
    int terminate()
    {
        process.terminate();
        if (!process.waitForFinished(15000) && running()) {
            process.kill();
            process.waitForFinished();
        }
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    // The first line the program prints, once it has printed it (or ended).
    QString firstLine()
    {
        waitUntil([&] { return text(base + ".out").contains('\n') || !running(); });
        return text(base + ".out").section('\n', 0, 0).trimmed();
    }
    QString log() const { return "\n" + text(base + ".err").right(3000) + text(base + ".out").right(3000); }

private:
    QString base;
    QProcess process;
};

// The console simulator; without --port it opens a terminal of its own and prints its path first.
struct Simulator : Child
{
    using Child::Child;
    QString terminal;
    bool start(const QStringList &options, QString *error)
    {
        if (!Child::start(KOLVANE_CONSOLE_SIM_PROGRAM, options, error) || options.contains("--port"))
            return running();
        terminal = firstLine();
        if (!terminal.startsWith('/'))
            *error = "console-sim printed no terminal" + log();
        return terminal.startsWith('/');
    }
};

// Two linked terminals with fixed names (socat): the program opens device, the simulator writes to feed.
// socat removes both names when it ends, as when an adapter is pulled out; starting brings them back.
struct SerialPair : Child
{
    explicit SerialPair(const QString &folder)
        : Child(folder + "/socat"), device(folder + "/console"), feed(folder + "/console-feed")
    {}
    const QString device, feed;
    bool start(QString *error)
    {
        const QStringList links{"-d", "-d", "pty,raw,echo=0,link=" + device, "pty,raw,echo=0,link=" + feed};
        if (Child::start(findProgram("socat"), links, error) &&
            waitUntil([&] { return QFileInfo::exists(device) && QFileInfo::exists(feed); }))
            return true;
        *error += "socat gave no terminals" + log();
        return false;
    }
};

// kolvane-meters with a settings folder of its own, optionally inside a network namespace.
struct Meters : Child
{
    explicit Meters(const QString &folder) : Child(folder + "/meters"), folder(folder)
    {
        QDir().mkpath(folder + "/runtime");
        QFile::setPermissions(folder + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const QString folder, ini = folder + "/Zelvoort/Kolvane Meters.conf";
    void writeSettings(const QVariantMap &values)
    {
        QSettings store(ini, QSettings::IniFormat);
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            store.setValue(it.key(), it.value());
    }
    QString value(const QString &key) { return QSettings(ini, QSettings::IniFormat).value(key).toString(); }
    QStringList keys() const
    {
        QStringList all = QSettings(ini, QSettings::IniFormat).allKeys();
        all.sort();
        return all;
    }
    bool start(const QString &display, QString *error, const QString &networkNamespace = QString())
    {
        QProcessEnvironment env = programEnvironment(display);
        env.insert("XDG_CONFIG_HOME", folder);
        env.insert("XDG_RUNTIME_DIR", folder + "/runtime");
        // ip netns exec runs the program itself (no shell between), so the pid is the program's.
        const QStringList inNamespace{"netns", "exec", networkNamespace, KOLVANE_METERS_PROGRAM};
        return networkNamespace.isEmpty() ? Child::start(KOLVANE_METERS_PROGRAM, {}, error, env)
                                          : Child::start(findProgram("ip"), inNamespace, error, env);
    }
};

struct Shot
{
    QImage image;
    QRect geometry; // the window on the screen
    QString title;
    double grabbedAtMs = 0; // CLOCK_MONOTONIC
};

// kolvane-screenshot on the display: finds, moves or resizes, and grabs the window whose title starts
// with a prefix. Failures leave their reason in error.
struct Screen
{
    QString display;
    QTemporaryDir dir;
    mutable QString error;
    std::optional<Shot> grab(const QString &title, const QStringList &options = {}) const
    {
        QProcess tool;
        tool.setProcessEnvironment(programEnvironment(display));
        const QString file = dir.filePath("shot.png");
        tool.start(KOLVANE_SCREENSHOT_PROGRAM,
                   QStringList{"--title", title, "--settle", "0"} + options << file);
        const bool finished = tool.waitForFinished(3 * StartTimeoutMs); // else killed on destruction
        QHash<QString, QString> values;
        for (const QString &line : QString::fromUtf8(tool.readAllStandardOutput()).split('\n'))
            values.insert(line.section('=', 0, 0), line.section('=', 1));
        const Shot shot{QImage(file).convertToFormat(QImage::Format_RGB32),
                        QRect(values["x"].toInt(), values["y"].toInt(), values["width"].toInt(),
                              values["height"].toInt()),
                        values["title"], values["grab-monotonic-ms"].toDouble()};
        const bool ok = finished && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0 &&
                        !shot.image.isNull();
        error = ok ? QString() : "kolvane-screenshot: " + QString::fromLocal8Bit(tool.readAllStandardError());
        return ok ? std::optional(shot) : std::nullopt;
    }
    std::optional<Shot> waitFor(const QString &title) const { return grab(title, {"--wait", "20000"}); }
    // Grabs until the check, which says what is wrong, passes; when time is up, nullopt, the last
    // complaint and the last screenshot kept in the working folder.
    std::optional<Shot> grabUntil(const QString &title, const std::function<QString(const Shot &)> &check,
                                  int timeoutMs = SettleTimeoutMs) const
    {
        std::optional<Shot> shot;
        if (waitUntil([&] { return (shot = grab(title)) && (error = check(*shot)).isEmpty(); }, timeoutMs))
            return shot;
        const QString kept =
            QDir::current().absoluteFilePath(say("failed-", QTest::currentTestFunction(), ".png"));
        if (shot && shot->image.save(kept))
            error += " (screenshot: " + kept + ")";
        return std::nullopt;
    }
};

// Two network namespaces joined by a veth pair, addresses only inside them; removed on destruction.
class NamespacePair
{
public:
    static constexpr const char *FirstAddress = "10.77.0.1", *SecondAddress = "10.77.0.2";
    const QString pid = QString::number(QCoreApplication::applicationPid());
    const QString first = "kolvane-sys-" + pid + "-a", second = "kolvane-sys-" + pid + "-b";
    ~NamespacePair() { remove(); }
    bool create(QString *error)
    {
        if (findProgram("ip").isEmpty() || geteuid() != 0) {
            *error = "creating network namespaces needs root and ip (Debian: iproute2)";
            return false;
        }
        removeStale();
        created = true;
        // The veth pair is made in the first namespace with its peer in the second, so neither end
        // ever exists in the machine's own namespace. The server relays to 255.255.255.255 from the
        // first address: the route makes that broadcast leave through the veth end.
        const QString script =
            QStringLiteral("PATH=$PATH:/usr/sbin:/sbin && ip netns add %1 && ip netns add %2"
                           " && ip -n %1 link add %3 type veth peer name %4 netns %2"
                           " && ip -n %1 addr add %5/24 dev %3 && ip -n %2 addr add %6/24 dev %4"
                           " && ip -n %1 link set lo up && ip -n %1 link set %3 up"
                           " && ip -n %2 link set lo up && ip -n %2 link set %4 up"
                           " && ip -n %1 route replace 255.255.255.255/32 dev %3")
                .arg(first, second, "kvs" + pid + "a", "kvs" + pid + "b", QLatin1String(FirstAddress),
                     QLatin1String(SecondAddress));
        return run("/bin/sh", {"-c", script}, error) == 0;
    }

private:
    bool created = false;
    void remove()
    {
        // Deleting a namespace destroys the veth end inside it, and with it the peer.
        for (const QString &name : std::exchange(created, false) ? QStringList{first, second} : QStringList())
            run(findProgram("ip"), {"netns", "delete", name});
    }
    // Namespaces left by an earlier run of this test that was killed.
    static void removeStale()
    {
        QString list;
        run(findProgram("ip"), {"netns", "list"}, &list);
        for (const QString &line : list.split('\n')) {
            const auto own = QRegularExpression("^kolvane-sys-(\\d+)-[ab]\\b").match(line);
            if (own.hasMatch() && !QFileInfo::exists("/proc/" + own.captured(1)))
                run(findProgram("ip"), {"netns", "delete", line.section(' ', 0, 0)});
        }
    }
};

constexpr QSize DesignSize(986, 580);
const QRect MeterRects[] = {{54, 73, 12, 415},  {143, 73, 12, 415}, {210, 73, 12, 415},
                            {299, 73, 12, 415}, {844, 199, 8, 291}, {907, 199, 8, 291}};
const QRect Captions[] = {{44, 502, 121, 31}, {194, 502, 131, 31}, {830, 502, 101, 31}};
constexpr QRect AnalogClock(348, 85, 410, 410);
constexpr QRect DigitalClockText(418, 260, 270, 111); // between the analog clock's rim marks
// Levels of the six meters in dB, as the simulator takes them.
const QString FloorLevels = "-50,-50,-50,-50,-50,-50", ZeroLevels = "0,0,0,0,0,0";
const QString FixedLevels = "0,-20,-10,-30,-5,-40";
constexpr double ReleaseDbPerSecond = 13.3;
// A screenshot lands anywhere between two release ticks and a loaded machine delays ticks: allow 1 dB
// either way. A wrong rate is off by several dB.
constexpr double FallToleranceDb = 1.0;
// A bound against a busy loop while the device is gone, not a figure of merit.
constexpr double MaxCpuShareWhileGone = 0.20;
constexpr int CpuWindowMs = 3000;
constexpr int FallToFloorMs = 4500; // 0 dB to the floor at 13.3 dB/s takes 3.8 s
const QString RelayPort = "5500";
const QString TwelveKeys =
    "client_host client_port current_screen geometry is_server labelMeter1 labelMeter2 "
    "labelMeter3 serialport server_host server_port use_udp";

// Scales a design rectangle into the window.
struct Scaling
{
    double f = 1; // rounded to float, as the program computes it
    int dx = 0, dy = 0;
    QRect operator()(const QRect &r) const
    {
        return QRect(int(r.x() * f) + dx, int(r.y() * f) + dy, int(r.width() * f), int(r.height() * f));
    }
};

// Fitted to the window at the design's aspect ratio and centred.
Scaling scalingFor(const QSize &window)
{
    const int w = window.width(), h = window.height();
    const int fittedW = std::min(w, h * DesignSize.width() / DesignSize.height());
    const int fittedH = double(w) / h > 1.7 ? h : w * DesignSize.height() / DesignSize.width();
    return {double(float((double(fittedW) / DesignSize.width() + double(fittedH) / DesignSize.height()) / 2)),
            (w - fittedW) / 2, (h - fittedH) / 2};
}

constexpr double DinBase = 0.23713737056616552; // 10^(-50/80)
constexpr double DinSpan = 0.9176446141232928;  // 10^(5/80) - 10^(-50/80)

int barLength(int height, double db)
{
    return int(height * (std::pow(10.0, std::clamp(db, -50.0, 5.0) / 80.0) - DinBase) / DinSpan);
}

double levelForBarLength(int height, int length)
{
    return 80.0 * std::log10((length + 0.5) * DinSpan / height + DinBase);
}

bool near(const QColor &a, const QColor &b, int tolerance)
{
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                     std::abs(a.blue() - b.blue())}) <= tolerance;
}

// The bar length, or -1 and why the area is no meter showing one level: a column and a row scanned one
// pixel beyond the rectangle find meter colours exactly inside, lit from the bottom, green in the lower
// half with a gradient to red at the top, darker where unlit.
int readMeter(const QImage &image, const QRect &r, QString *problem)
{
    const int column = r.left() + r.width() / 2, half = int(r.height() * 0.5 + 0.5);
    const auto pixel = [&](int x, int y) { return image.valid(x, y) ? image.pixel(x, y) : qRgb(0, 255, 0); };
    int lit = 0;
    while (lit < r.height() && qGray(pixel(column, r.bottom() - lit)) > 60) // bar, not background
        ++lit;
    const auto wrong = [&](int x, int y) {
        const QRgb p = pixel(x, y);
        const double t = std::clamp((half - (y - r.top() + 0.5)) / half, 0.0, 1.0);
        const int full = y > r.bottom() - lit ? 255 : 64, sum = qRed(p) + qGreen(p);
        const bool ok =
            r.contains(x, y)
                ? near(p, QColor(int(std::lround(t * full)), int(std::lround((1 - t) * full)), 0), 12)
                : qBlue(p) > 20 || (std::abs(sum - 255) > 24 && std::abs(sum - 64) > 16);
        if (!ok)
            *problem =
                say("pixel ", QPoint(x, y) - r.topLeft(), " is ", QColor(p).name(), " with ", lit, " lit");
        return !ok;
    };
    for (int y = r.top() - 1; y <= r.bottom() + 1; ++y)
        if (wrong(column, y))
            return -1;
    for (int x = r.left() - 1; x <= r.right() + 1; ++x)
        if (wrong(x, r.top() + r.height() / 2))
            return -1;
    return lit;
}

// Checks that every meter shows its level's bar, within the tolerance, where the window's size puts it.
std::function<QString(const Shot &)> showing(const QString &levels, int tolerance = 1)
{
    return [=](const Shot &shot) {
        QString problem;
        const QStringList db = levels.split(',');
        for (int i = 0; i < 6; ++i) {
            const QRect rect = scalingFor(shot.geometry.size())(MeterRects[i]);
            const int length = readMeter(shot.image, rect, &problem),
                      expected = barLength(rect.height(), db[i].toDouble());
            if (length < 0 || std::abs(length - expected) > tolerance)
                return say("meter ", i, " at ", db[i], " dB shows ", length, " pixels, not ", expected, ": ",
                           problem);
        }
        return QString();
    };
}

// Bounding box of text: near-white pixels.
QRect whiteBox(const QImage &image, const QRect &area)
{
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.valid(x, y) && near(image.pixel(x, y), Qt::white, 55))
                box |= QRect(x, y, 1, 1);
    return box;
}

QColor meanColour(const QImage &image, const QRect &area)
{
    return image.copy(area).scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).pixel(0, 0);
}

QString titleFor(const QString &port)
{
    return "Kolvane Meters - (" + port + ")";
}

} // namespace

class TestSystem : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void freshStartScaledStoppedAndRestarted();
    void deviceGoesAndReturnsThenBarsFall();
    void clientShowsTheLevelsTheServerRelays();

private:
    QTemporaryDir work;
    Child xvfb{work.filePath("xvfb")};
    Screen screen;
    QString error;
    // What went wrong, for a failure message: the harness, the screenshots and the program.
    QByteArray why(const Child &c) const { return (error + screen.error + c.log()).toLocal8Bit(); }
};

void TestSystem::initTestCase()
{
    KOLVANE_REQUIRE(!findProgram("Xvfb").isEmpty(), "Xvfb is not installed (Debian: xvfb)");
    KOLVANE_REQUIRE(QFileInfo(KOLVANE_SCREENSHOT_PROGRAM).isExecutable(),
                    "kolvane-screenshot is not built (Debian: libxcb1-dev)");
    // -displayfd picks a free display number and prints it.
    const QStringList options =
        QString("-displayfd 1 -screen 0 2560x1440x24 -dpi 96 -nolisten tcp -noreset").split(' ');
    QVERIFY2(xvfb.start(findProgram("Xvfb"), options, &error), qPrintable(error));
    screen.display = ":" + xvfb.firstLine();
    QVERIFY2(screen.display.size() > 1, why(xvfb));
}

void TestSystem::freshStartScaledStoppedAndRestarted()
{
    // The layout's worked example, so the model here scales as the program must.
    const Scaling big = scalingFor(QSize(1920, 1080));
    QCOMPARE(big(MeterRects[0]), QRect(142, 135, 22, 772));

    Simulator quiet(work.filePath("sim-quiet")), fixed(work.filePath("sim-fixed"));
    Meters meters(work.filePath("fresh"));
    QVERIFY2(quiet.start({"--levels=" + FloorLevels}, &error), qPrintable(error));
    meters.writeSettings({{"serialport", quiet.terminal}});
    QString title = titleFor(quiet.terminal);
    QVERIFY2(meters.start(screen.display, &error) && screen.waitFor(title), why(meters));
    const auto first = screen.grabUntil(title, showing(FloorLevels, 0));
    QVERIFY2(first, why(meters));
    QCOMPARE(first->title, title);
    QCOMPARE(first->geometry.size(), DesignSize);
    QVERIFY2(near(meanColour(first->image, QRect(0, 0, 2, 400)), QColor(114, 112, 111), 16),
             "no brushed panel along the background's left edge");
    for (const QRect &label : Captions)
        QVERIFY2(std::abs(whiteBox(first->image, label).center().x() - label.center().x()) <= 4,
                 "a caption is missing or not centred");
    QTest::qWait(1500);
    const auto later = screen.grab(title);
    QVERIFY2(later, why(meters));
    for (const QRect &clock : {AnalogClock, DigitalClockText})
        QVERIFY2(later->image.copy(clock) != first->image.copy(clock), "a clock stands still");

    const auto resized = screen.grab(title, {"--resize", "1920x1080"});
    QVERIFY2(resized && resized->geometry.size() == QSize(1920, 1080), why(meters));
    const auto large = screen.grabUntil(title, showing(FloorLevels, 0));
    QVERIFY2(large, why(meters));
    for (const QRect &label : Captions) {
        const double growth = double(whiteBox(large->image, big(label)).height()) /
                              std::max(1, whiteBox(first->image, label).height());
        QVERIFY2(growth > 1.5 && growth < 2.2, qPrintable(say("a caption grew ", growth, " times")));
    }
    // The background, scaled by the same factor and moved by the same offset: patches all over it look
    // alike in both windows, apart from the clocks' moving parts. A wrong offset or factor matches < 90 %.
    int compared = 0, matching = 0;
    for (int y = 8; y < DesignSize.height() - 8; y += 16) {
        for (int x = 8; x < DesignSize.width() - 8; x += 16, ++compared) {
            const QRect patch(x - 2, y - 2, 5, 5);
            matching += near(meanColour(first->image, patch), meanColour(large->image, big(patch)), 30);
        }
    }
    QVERIFY2(matching >= compared * 9 / 10, qPrintable(say(matching, " of ", compared, " patches match")));

    const QRect placed(30, 40, 1100, 650);
    const Scaling scaling = scalingFor(placed.size());
    const auto moved = screen.grab(title, {"--move", "30,40", "--resize", "1100x650"});
    QVERIFY2(moved && moved->geometry == placed, why(meters));
    const auto before = screen.grabUntil(title, showing(FloorLevels));
    QVERIFY2(before, why(meters));
    const int defaultCaptionWidth = whiteBox(before->image, scaling(Captions[0])).width();
    QVERIFY2(meters.terminate() == 0, why(meters));
    const auto captions = [&] {
        return meters.value("labelMeter1") + "|" + meters.value("labelMeter2") + "|" +
               meters.value("labelMeter3");
    };
    QCOMPARE(meters.keys().join(' '), TwelveKeys);
    QCOMPARE(captions(), QString("Prog|Sub|CRM"));

    // Restarted on another console with changed captions: the old place, the new captions and levels.
    const QString longCaption = "Studio On Air";
    QVERIFY2(fixed.start({"--levels=" + FixedLevels}, &error), qPrintable(error));
    meters.writeSettings({{"serialport", fixed.terminal}, {"labelMeter1", longCaption}, {"labelMeter2", ""}});
    title = titleFor(fixed.terminal);
    QVERIFY2(meters.start(screen.display, &error) && screen.waitFor(title), why(meters));
    const auto restored = screen.grabUntil(title, [&](const Shot &s) {
        if (s.geometry != placed)
            return say("the window came back at ", s.geometry);
        if (whiteBox(s.image, scaling(Captions[0])).width() <= defaultCaptionWidth + 10 ||
            !whiteBox(s.image, scaling(Captions[1])).isEmpty() ||
            whiteBox(s.image, scaling(Captions[2])).isEmpty())
            return QString("the captions are not the stored ones");
        return showing(FixedLevels)(s);
    });
    QVERIFY2(restored, why(meters));
    QVERIFY2(meters.terminate() == 0, why(meters));
    QCOMPARE(meters.keys().join(' '), TwelveKeys);
    QCOMPARE(captions(), longCaption + "||CRM");
}

void TestSystem::deviceGoesAndReturnsThenBarsFall()
{
    KOLVANE_REQUIRE(!findProgram("socat").isEmpty(), "socat is not installed (Debian: socat)");
    SerialPair device(work.path());
    Meters meters(work.filePath("device"));
    meters.writeSettings({{"serialport", device.device}});
    const QString title = titleFor(device.device);
    QVERIFY2(device.start(&error) && meters.start(screen.display, &error) && screen.waitFor(title),
             why(meters));
    const auto send = [&](Simulator &sim, const QString &levels) {
        return sim.start({"--port", device.feed, "--levels=" + levels}, &error);
    };
    {
        Simulator loud(work.filePath("sim-loud"));
        QVERIFY2(send(loud, ZeroLevels) && screen.grabUntil(title, showing(ZeroLevels)), why(meters));
        device.terminate(); // pulled out while the console still sends
    }
    QTest::qWait(500);
    const double cpuBefore = cpuSeconds(meters.pid());
    QTest::qWait(CpuWindowMs);
    const double share = (cpuSeconds(meters.pid()) - cpuBefore) / (CpuWindowMs / 1000.0);
    qInfo("CPU while the device is gone: %.1f %% of one core", share * 100.0);
    QVERIFY2(cpuBefore >= 0 && share < MaxCpuShareWhileGone && meters.running(), why(meters));
    QTest::qWait(FallToFloorMs - CpuWindowMs - 500);
    QVERIFY2(screen.grabUntil(title, showing(FloorLevels)), why(meters));

    // Back under the same name on a new terminal: frames show again by themselves, then the bars fall
    // between two screenshots a known time apart.
    {
        Simulator back(work.filePath("sim-back"));
        QVERIFY2(device.start(&error) && send(back, ZeroLevels) &&
                     screen.grabUntil(title, showing(ZeroLevels)),
                 why(meters));
    }
    Simulator quiet(work.filePath("sim-floor"));
    QVERIFY2(send(quiet, FloorLevels), why(quiet));
    QTest::qWait(300);
    const auto high = screen.grab(title);
    QTest::qWait(1500);
    const auto low = screen.grab(title);
    QVERIFY2(high && low, why(meters));
    const double seconds = (low->grabbedAtMs - high->grabbedAtMs) / 1000.0;
    for (const QRect &rect : MeterRects) {
        const int h = rect.height(), before = readMeter(high->image, rect, &error);
        const int after = readMeter(low->image, rect, &error);
        const double from = levelForBarLength(h, before), to = from - ReleaseDbPerSecond * seconds;
        QVERIFY2(before >= 0 && after >= 0, qPrintable(error));
        QVERIFY2(
            from < -0.5 && after >= barLength(h, to - FallToleranceDb) - 1 &&
                after <= barLength(h, to + FallToleranceDb) + 1,
            qPrintable(say("from ", from, " dB to ", after, " pixels in ", seconds, " s, not ", to, " dB")));
    }
    QVERIFY2(meters.terminate() == 0, why(meters));
}

void TestSystem::clientShowsTheLevelsTheServerRelays()
{
    NamespacePair network; // first, so it outlives the programs inside it
    KOLVANE_REQUIRE(network.create(&error), qPrintable("no network namespaces: " + error));
    Simulator sim(work.filePath("sim-relay"));
    QVERIFY2(sim.start({"--levels=" + FixedLevels}, &error), qPrintable(error));
    Meters server(work.filePath("server")), client(work.filePath("client"));
    const QString address = NamespacePair::FirstAddress;
    server.writeSettings(
        {{"use_udp", true}, {"is_server", true}, {"server_host", address}, {"server_port", RelayPort}});
    client.writeSettings(
        {{"use_udp", true}, {"is_server", false}, {"client_host", address}, {"client_port", RelayPort}});
    server.writeSettings({{"serialport", sim.terminal}});
    client.writeSettings({{"serialport", ""}});
    const QString serverTitle = titleFor(sim.terminal), clientTitle = titleFor(RelayPort);
    QVERIFY2(server.start(screen.display, &error, network.first) && screen.waitFor(serverTitle), why(server));
    QVERIFY2(client.start(screen.display, &error, network.second) && screen.waitFor(clientTitle),
             why(client));
    // Side by side, so each screenshot shows one window only.
    QVERIFY2(screen.grab(clientTitle, {"--move", "1100,0"}), why(client));
    QVERIFY2(screen.grabUntil(serverTitle, showing(FixedLevels)), why(server));
    QVERIFY2(screen.grabUntil(clientTitle, showing(FixedLevels)), why(client));
    QVERIFY2(client.terminate() == 0, why(client));
    QVERIFY2(server.terminate() == 0, why(server));
}

QTEST_GUILESS_MAIN(TestSystem)
#include "tst_system.moc"
