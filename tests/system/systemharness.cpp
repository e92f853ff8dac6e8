#include "systemharness.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTextStream>

#include <csignal>
#include <ctime>
#include <unistd.h>

namespace SystemHarness {

namespace {

constexpr int StartTimeoutMs = 10000;
constexpr int StopTimeoutMs = 5000;
constexpr int FilePollMs = 20;
constexpr const char *XvfbScreen = "2560x1440x24";

QString firstLine(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray all = file.readAll();
    const int end = all.indexOf('\n');
    return end < 0 ? QString() : QString::fromLocal8Bit(all.left(end)).trimmed();
}

void stopProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(StopTimeoutMs)) {
        process.kill();
        process.waitForFinished(StopTimeoutMs);
    }
}

// The programs under test must use the X server, not the offscreen platform of the test itself,
// and must not pick up scaling or a settings folder from the caller's environment.
QProcessEnvironment programEnvironment(const QString &display)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"QT_QPA_PLATFORM", "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS",
                             "QT_AUTO_SCREEN_SCALE_FACTOR", "QT_FONT_DPI", "WAYLAND_DISPLAY"}) {
        env.remove(QString::fromLatin1(name));
    }
    env.insert(QStringLiteral("DISPLAY"), display);
    return env;
}

QString fromEnvironmentOr(const char *variable, const QString &relative, const QString &fallback)
{
    const QString dir = qEnvironmentVariable(variable);
    if (!dir.isEmpty() && QFileInfo(dir + relative).isExecutable())
        return dir + relative;
    return fallback;
}

} // namespace

bool underCi()
{
    return qEnvironmentVariable("CI") == QLatin1String("true");
}

QString metersProgram()
{
    return QStringLiteral(KOLVANE_METERS_PROGRAM);
}

QString simulatorProgram()
{
    return fromEnvironmentOr("KOLVANE_TOOLS_DIR", QStringLiteral("/console-sim/console-sim"),
                             QStringLiteral(KOLVANE_CONSOLE_SIM_PROGRAM));
}

QString screenshotProgram()
{
    return fromEnvironmentOr("KOLVANE_TOOLS_DIR", QStringLiteral("/screenshot/kolvane-screenshot"),
                             QStringLiteral(KOLVANE_SCREENSHOT_PROGRAM));
}

QString findProgram(const QString &name)
{
    QString found = QStandardPaths::findExecutable(name);
    if (found.isEmpty())
        found = QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    return found;
}

double monotonicMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1.0e6;
}

bool waitUntil(const std::function<bool()> &condition, int timeoutMs, int pollMs)
{
    QElapsedTimer timer;
    timer.start();
    while (true) {
        if (condition())
            return true;
        if (timer.elapsed() >= timeoutMs)
            return false;
        QTest::qWait(pollMs);
    }
}

double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // The command name may hold spaces and parentheses: the fields start after the last ')'.
    const int close = line.lastIndexOf(')');
    if (close < 0)
        return -1;
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    constexpr int UtimeIndex = 11; // field 14 of stat(5); the list starts at field 3
    constexpr int StimeIndex = 12;
    if (fields.size() <= StimeIndex)
        return -1;
    const double ticks = fields.at(UtimeIndex).toDouble() + fields.at(StimeIndex).toDouble();
    return ticks / double(sysconf(_SC_CLK_TCK));
}

QString tail(const QString &path, int lines)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("(no %1)").arg(path);
    const QStringList all = QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'));
    return all.mid(qMax(0, all.size() - lines)).join(QLatin1Char('\n'));
}

int run(const QString &program, const QStringList &arguments, QString *output, int timeoutMs)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted(timeoutMs))
        return -1;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// --- XServer ---

XServer::~XServer()
{
    stopProcess(process);
}

bool XServer::start(QString *error)
{
    const QString xvfb = findProgram(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty()) {
        *error = QStringLiteral("Xvfb is not installed (Debian: xvfb)");
        return false;
    }
    const QString numberFile = dir.filePath(QStringLiteral("display"));
    process.setStandardOutputFile(numberFile);
    process.setStandardErrorFile(dir.filePath(QStringLiteral("xvfb.log")));
    // -displayfd picks a free display number and writes it to standard output.
    process.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                         QStringLiteral("0"), QString::fromLatin1(XvfbScreen), QStringLiteral("-dpi"),
                         QStringLiteral("96"), QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                         QStringLiteral("-noreset")});
    if (!process.waitForStarted(StartTimeoutMs)) {
        *error = QStringLiteral("Xvfb did not start: %1").arg(process.errorString());
        return false;
    }
    const bool ready =
        waitUntil([&] { return !firstLine(numberFile).isEmpty() || process.state() == QProcess::NotRunning; },
                  StartTimeoutMs, FilePollMs);
    const QString number = firstLine(numberFile);
    if (!ready || number.isEmpty()) {
        *error =
            QStringLiteral("Xvfb gave no display: %1").arg(tail(dir.filePath(QStringLiteral("xvfb.log"))));
        stopProcess(process);
        return false;
    }
    displayName = QLatin1Char(':') + number;
    return true;
}

// --- Screen ---

std::optional<Shot> Screen::window(const QString &titlePrefix, const QStringList &options, bool grabImage,
                                   QString *error) const
{
    QProcess tool;
    tool.setProcessEnvironment(programEnvironment(displayName));
    QStringList arguments{QStringLiteral("--title"), titlePrefix};
    arguments += options;
    QString file;
    if (grabImage) {
        file = dir.filePath(QStringLiteral("shot-%1.png").arg(++shotNumber));
        arguments << file;
    }
    tool.start(screenshotProgram(), arguments);
    if (!tool.waitForFinished(StartTimeoutMs * 3)) {
        tool.kill();
        tool.waitForFinished();
        *error = QStringLiteral("kolvane-screenshot did not finish");
        return std::nullopt;
    }
    if (tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) {
        *error = QString::fromLocal8Bit(tool.readAllStandardError()).trimmed();
        if (error->isEmpty())
            *error = QStringLiteral("kolvane-screenshot failed: %1").arg(tool.errorString());
        return std::nullopt;
    }
    Shot shot;
    QVariantMap values;
    for (const QString &line : QString::fromUtf8(tool.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq > 0)
            values.insert(line.left(eq), line.mid(eq + 1));
    }
    shot.geometry =
        QRect(values.value(QStringLiteral("x")).toInt(), values.value(QStringLiteral("y")).toInt(),
              values.value(QStringLiteral("width")).toInt(), values.value(QStringLiteral("height")).toInt());
    shot.title = values.value(QStringLiteral("title")).toString();
    if (grabImage) {
        shot.grabbedAtMs = values.value(QStringLiteral("grab-monotonic-ms")).toDouble();
        if (!shot.image.load(file)) {
            *error = QStringLiteral("cannot read the screenshot %1").arg(file);
            return std::nullopt;
        }
        shot.image = shot.image.convertToFormat(QImage::Format_RGB32);
        QFile::remove(file);
    }
    return shot;
}

std::optional<Shot> Screen::waitForWindow(const QString &titlePrefix, int timeoutMs, QString *error) const
{
    return window(titlePrefix, {QStringLiteral("--wait"), QString::number(timeoutMs)}, false, error);
}

std::optional<Shot> Screen::grab(const QString &titlePrefix, QString *error) const
{
    return window(titlePrefix, {}, true, error);
}

std::optional<Shot> Screen::configure(const QString &titlePrefix, const QStringList &options,
                                      QString *error) const
{
    return window(titlePrefix, options + QStringList{QStringLiteral("--settle"), QStringLiteral("0")}, false,
                  error);
}

std::optional<Shot> Screen::grabUntil(const QString &titlePrefix,
                                      const std::function<QString(const Shot &)> &check, int timeoutMs,
                                      QString *failure) const
{
    QElapsedTimer timer;
    timer.start();
    std::optional<Shot> last;
    while (true) {
        QString error;
        auto shot = grab(titlePrefix, &error);
        if (shot) {
            last = shot;
            *failure = check(*shot);
            if (failure->isEmpty())
                return last;
        } else {
            *failure = error;
        }
        if (timer.elapsed() >= timeoutMs)
            break;
        QTest::qWait(200);
    }
    if (last) {
        // Keep what the check last saw, for whoever reads the failure.
        const QString kept = QDir::current().absoluteFilePath(
            QStringLiteral("failed-%1.png").arg(QString::fromLatin1(QTest::currentTestFunction())));
        last->image.save(kept);
        *failure += QStringLiteral(" (screenshot: %1)").arg(kept);
    }
    return last;
}

// --- SerialPair ---

SerialPair::SerialPair(const QString &folder)
    : devicePath(folder + QStringLiteral("/console")), feedPath(folder + QStringLiteral("/console-feed")),
      logPath(folder + QStringLiteral("/socat.log"))
{}

SerialPair::~SerialPair()
{
    stop();
}

bool SerialPair::start(QString *error)
{
    const QString socat = findProgram(QStringLiteral("socat"));
    if (socat.isEmpty()) {
        *error = QStringLiteral("socat is not installed (Debian: socat)");
        return false;
    }
    process.setStandardOutputFile(logPath, QIODevice::Append);
    process.setStandardErrorFile(logPath, QIODevice::Append);
    process.start(socat, {QStringLiteral("-d"), QStringLiteral("-d"),
                          QStringLiteral("pty,raw,echo=0,link=%1").arg(devicePath),
                          QStringLiteral("pty,raw,echo=0,link=%1").arg(feedPath)});
    const bool up = process.waitForStarted(StartTimeoutMs) &&
                    waitUntil([&] { return QFileInfo::exists(devicePath) && QFileInfo::exists(feedPath); },
                              StartTimeoutMs, FilePollMs);
    if (!up) {
        *error = QStringLiteral("socat gave no terminals: %1").arg(tail(logPath));
        stop();
        return false;
    }
    return true;
}

void SerialPair::stop()
{
    stopProcess(process);
    // The names go with the device, as the node of an unplugged adapter does.
    QFile::remove(devicePath);
    QFile::remove(feedPath);
}

// --- Simulator ---

int Simulator::instanceCount = 0;

Simulator::Simulator(const QString &dir) : folder(dir), number(++instanceCount)
{
    outputPath = folder + QStringLiteral("/console-sim-%1.log").arg(number);
}

Simulator::~Simulator()
{
    stop();
}

bool Simulator::launch(const QStringList &arguments, QString *error)
{
    const QString program = simulatorProgram();
    if (!QFileInfo(program).isExecutable()) {
        *error = QStringLiteral("the console simulator is not built: %1").arg(program);
        return false;
    }
    process.setStandardOutputFile(outputPath);
    process.setStandardErrorFile(outputPath + QStringLiteral(".err"));
    process.start(program, arguments);
    if (!process.waitForStarted(StartTimeoutMs)) {
        *error = QStringLiteral("console-sim did not start: %1").arg(process.errorString());
        return false;
    }
    return true;
}

bool Simulator::startOnOwnTerminal(const QStringList &options, QString *error)
{
    if (!launch(options, error))
        return false;
    const bool printed =
        waitUntil([&] { return !firstLine(outputPath).isEmpty() || process.state() == QProcess::NotRunning; },
                  StartTimeoutMs, FilePollMs);
    terminalPath = firstLine(outputPath);
    if (!printed || !terminalPath.startsWith(QLatin1Char('/'))) {
        *error = QStringLiteral("console-sim printed no terminal: %1 %2")
                     .arg(terminalPath, tail(outputPath + QStringLiteral(".err")));
        stop();
        return false;
    }
    return true;
}

bool Simulator::startOnPort(const QString &port, const QStringList &options, QString *error)
{
    if (!launch(QStringList{QStringLiteral("--port"), port} + options, error))
        return false;
    QTest::qWait(100);
    if (process.state() == QProcess::NotRunning) {
        *error =
            QStringLiteral("console-sim ended at once: %1").arg(tail(outputPath + QStringLiteral(".err")));
        return false;
    }
    return true;
}

void Simulator::stop()
{
    stopProcess(process);
}

// --- Meters ---

Meters::Meters(const QString &instanceName) : name(instanceName) {}

Meters::~Meters()
{
    if (isRunning())
        terminate();
}

QString Meters::settingsFile() const
{
    return dir.filePath(QStringLiteral("Zelvoort/Kolvane Meters.conf"));
}

void Meters::writeSettings(const QVariantMap &values)
{
    QSettings store(settingsFile(), QSettings::IniFormat);
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        store.setValue(it.key(), it.value());
    store.sync();
}

QVariantMap Meters::readSettings() const
{
    QSettings store(settingsFile(), QSettings::IniFormat);
    QVariantMap values;
    for (const QString &key : store.allKeys())
        values.insert(key, store.value(key));
    return values;
}

QStringList Meters::storedKeys() const
{
    QSettings store(settingsFile(), QSettings::IniFormat);
    QStringList keys = store.allKeys();
    keys.sort();
    return keys;
}

bool Meters::start(const QString &display, const QString &networkNamespace, QString *error)
{
    const QString program = metersProgram();
    if (!QFileInfo(program).isExecutable()) {
        *error = QStringLiteral("kolvane-meters is not built: %1").arg(program);
        return false;
    }
    QProcessEnvironment env = programEnvironment(display);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path());
    const QString runtime = dir.filePath(QStringLiteral("runtime"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardOutputFile(dir.filePath(QStringLiteral("%1.log").arg(name)), QIODevice::Append);
    if (networkNamespace.isEmpty()) {
        process.start(program, QStringList());
    } else {
        // ip netns exec runs the program itself in the namespace (no shell between), so the pid is the
        // program's.
        process.start(findProgram(QStringLiteral("ip")),
                      {QStringLiteral("netns"), QStringLiteral("exec"), networkNamespace, program});
    }
    if (!process.waitForStarted(StartTimeoutMs)) {
        *error = QStringLiteral("kolvane-meters did not start: %1").arg(process.errorString());
        return false;
    }
    return true;
}

int Meters::terminate(int timeoutMs)
{
    if (process.state() == QProcess::NotRunning)
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    process.terminate();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(StopTimeoutMs);
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QString Meters::log() const
{
    return tail(dir.filePath(QStringLiteral("%1.log").arg(name)));
}

// --- NamespacePair ---

namespace {

const QRegularExpression OwnNamespace(QStringLiteral("^kolvane-sys-(\\d+)-[ab]$"));

QString ip()
{
    return findProgram(QStringLiteral("ip"));
}

bool ipOk(const QStringList &arguments, QString *error)
{
    QString output;
    const int code = run(ip(), arguments, &output);
    if (code != 0) {
        *error = QStringLiteral("ip %1: %2").arg(arguments.join(QLatin1Char(' ')), output.trimmed());
        return false;
    }
    return true;
}

// Namespaces left by an earlier run of this test that was killed.
void removeStaleNamespaces()
{
    QString list;
    if (run(ip(), {QStringLiteral("netns"), QStringLiteral("list")}, &list) != 0)
        return;
    for (const QString &line : list.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString name = line.section(QLatin1Char(' '), 0, 0);
        const auto m = OwnNamespace.match(name);
        if (m.hasMatch() && !QFileInfo::exists(QStringLiteral("/proc/") + m.captured(1)))
            run(ip(), {QStringLiteral("netns"), QStringLiteral("delete"), name});
    }
}

} // namespace

NamespacePair::NamespacePair()
{
    const QString pid = QString::number(QCoreApplication::applicationPid());
    namespaceA = QStringLiteral("kolvane-sys-%1-a").arg(pid);
    namespaceB = QStringLiteral("kolvane-sys-%1-b").arg(pid);
    linkA = QStringLiteral("kvs%1a").arg(pid);
    linkB = QStringLiteral("kvs%1b").arg(pid);
}

NamespacePair::~NamespacePair()
{
    remove();
}

bool NamespacePair::create(QString *error)
{
    if (ip().isEmpty()) {
        *error = QStringLiteral("ip is not installed (Debian: iproute2)");
        return false;
    }
    if (geteuid() != 0) {
        *error = QStringLiteral("creating network namespaces needs root");
        return false;
    }
    removeStaleNamespaces();
    created = true; // from here on, remove() cleans up whatever part exists
    const QString a = namespaceA;
    const QString b = namespaceB;
    const QString addressA = QString::fromLatin1(FirstAddress) + QStringLiteral("/24");
    const QString addressB = QString::fromLatin1(SecondAddress) + QStringLiteral("/24");
    // The veth pair is made inside the first namespace with its peer in the second, so neither end
    // ever exists in the machine's own namespace.
    const bool ok = ipOk({QStringLiteral("netns"), QStringLiteral("add"), a}, error) &&
                    ipOk({QStringLiteral("netns"), QStringLiteral("add"), b}, error) &&
                    ipOk({QStringLiteral("-n"), a, QStringLiteral("link"), QStringLiteral("add"), linkA,
                          QStringLiteral("type"), QStringLiteral("veth"), QStringLiteral("peer"),
                          QStringLiteral("name"), linkB, QStringLiteral("netns"), b},
                         error) &&
                    ipOk({QStringLiteral("-n"), a, QStringLiteral("addr"), QStringLiteral("add"), addressA,
                          QStringLiteral("dev"), linkA},
                         error) &&
                    ipOk({QStringLiteral("-n"), b, QStringLiteral("addr"), QStringLiteral("add"), addressB,
                          QStringLiteral("dev"), linkB},
                         error) &&
                    ipOk({QStringLiteral("-n"), a, QStringLiteral("link"), QStringLiteral("set"),
                          QStringLiteral("lo"), QStringLiteral("up")},
                         error) &&
                    ipOk({QStringLiteral("-n"), b, QStringLiteral("link"), QStringLiteral("set"),
                          QStringLiteral("lo"), QStringLiteral("up")},
                         error) &&
                    ipOk({QStringLiteral("-n"), a, QStringLiteral("link"), QStringLiteral("set"), linkA,
                          QStringLiteral("up")},
                         error) &&
                    ipOk({QStringLiteral("-n"), b, QStringLiteral("link"), QStringLiteral("set"), linkB,
                          QStringLiteral("up")},
                         error);
    if (!ok) {
        remove();
        return false;
    }
    // The relay sends to 255.255.255.255 from a socket bound to the first address: that broadcast must
    // leave through the veth end. Add a route for it if the kernel would not pick that interface.
    const QStringList routeQuery{QStringLiteral("-n"),
                                 a,
                                 QStringLiteral("route"),
                                 QStringLiteral("get"),
                                 QStringLiteral("255.255.255.255"),
                                 QStringLiteral("from"),
                                 QString::fromLatin1(FirstAddress)};
    QString route;
    if (run(ip(), routeQuery, &route) != 0 || !route.contains(QStringLiteral("dev ") + linkA)) {
        if (!ipOk({QStringLiteral("-n"), a, QStringLiteral("route"), QStringLiteral("add"),
                   QStringLiteral("255.255.255.255/32"), QStringLiteral("dev"), linkA},
                  error)) {
            remove();
            return false;
        }
        if (run(ip(), routeQuery, &route) != 0 || !route.contains(QStringLiteral("dev ") + linkA)) {
            *error = QStringLiteral("the limited broadcast would not leave through %1: %2").arg(linkA, route);
            remove();
            return false;
        }
    }
    return true;
}

void NamespacePair::remove()
{
    if (!created)
        return;
    created = false;
    // Deleting a namespace destroys the veth end inside it, and with it the peer.
    run(ip(), {QStringLiteral("netns"), QStringLiteral("delete"), namespaceA});
    run(ip(), {QStringLiteral("netns"), QStringLiteral("delete"), namespaceB});
}

} // namespace SystemHarness
