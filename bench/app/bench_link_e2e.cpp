// End-to-end figures of the console link: frame-to-repaint latency through a pseudo-terminal, the
// shipped program's CPU time at idle, at 50 frames/s, at line rate and on a link gone quiet after
// frames (the signal watch's cost), the display's responsiveness
// in a UDP flood on loopback, and frames lost at line rate.
// Runs on the offscreen platform; prints one "BENCH|figure|value|unit|goal" line per figure.
//
// Options: --frames N       latency samples (default 2000)
//          --lost-frames N  frames sent for the loss count (default 100000, about 139 s at line rate)
//          --cpu-seconds S  measuring time per rate (default 5)
//          --flood-datagrams N  datagrams in the flood (default 100000)
//          --option-rounds N  off/on rounds of the options comparison (default 3)
//          --only LIST      comma-separated sections out of latency,cpu,options,flood,loss (default all)
//
// The options section compares the program's CPU at 50 frames/s of programme with the peak hold
// and over lamps off and on, in alternating rounds.

#include "levelframe.h"
#include "mainwindow.h"
#include "programmeaudio.h"
#include "pty.h"
#include "tempsettings.h"
#include "zelppmmeter.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#ifdef Q_OS_UNIX
#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

// 115200 baud with 10 bits a byte (start, 8 data, stop) carries 720 frames of 16 bytes a second.
constexpr int LineRateFramesPerSecond = 720;
constexpr int ProgrammeFramesPerSecond = 50;
constexpr int LatencyWarmUpFrames = 60;
constexpr int PaintTimeoutMs = 200;
constexpr double RaisedLevelDb = 0.0;
constexpr int LargestChunk = 2 * LevelFrame::Size;
constexpr quint16 RelayPort = 5600;
// Before a CPU figure is taken: a second for the rate to settle; after the frames stop, the
// signal timeout (2 s) and the meters' fall from the top of the scale (under 5 s) as well.
constexpr int SettleSeconds = 1;
constexpr int SettleAfterLossSeconds = 8;

using Clock = std::chrono::steady_clock;

void report(const QString &figure, double value, const QString &unit, const QString &goal)
{
    QTextStream(stdout) << "BENCH|" << figure << '|' << QString::number(value, 'f', value < 10 ? 2 : 1) << '|'
                        << unit << '|' << goal << Qt::endl;
}

void reportCount(const QString &figure, qint64 value, const QString &unit, const QString &goal)
{
    QTextStream(stdout) << "BENCH|" << figure << '|' << value << '|' << unit << '|' << goal << Qt::endl;
}

void note(const QString &text)
{
    QTextStream(stderr) << text << Qt::endl;
}

// A valid frame numbered k whose bytes are never CR or LF: the console's line discipline would
// turn an LF into CR LF, which is not what is measured here.
QByteArray countedFrame(int k)
{
    LevelFrame::Words words{};
    for (int j = 0; j < LevelFrame::LevelCount; ++j) {
        const int base = k * LevelFrame::LevelCount + j;
        words[size_t(j)] = quint16((0x20 + (base / 200) % 200) << 8 | (0x20 + base % 200));
    }
    return LevelFrame::encode(words);
}

// Writes frames to the console side of a pseudo-terminal at a steady rate, on a thread of its own.
// With chunking the byte stream is cut at random places, as a serial driver may deliver it.
class PacedWriter
{
public:
    using FrameSource = std::function<QByteArray(int)>;

    PacedWriter(Pty &console, int framesPerSecond, bool chunked, int frameLimit = -1,
                FrameSource frameAt = countedFrame)
        : console(console), framesPerSecond(framesPerSecond), chunked(chunked), frameLimit(frameLimit),
          frameAt(std::move(frameAt))
    {}
    ~PacedWriter() { stop(); }
    PacedWriter(const PacedWriter &) = delete;
    PacedWriter &operator=(const PacedWriter &) = delete;

    void start()
    {
        if (framesPerSecond <= 0)
            return;
        worker = std::thread([this] { run(); });
    }
    void stop()
    {
        stopping = true;
        if (worker.joinable())
            worker.join();
    }
    bool isDone() const { return done; }
    int framesWritten() const { return written; }

private:
    void run()
    {
        const double bytesPerSecond = double(framesPerSecond) * LevelFrame::Size;
        const Clock::time_point begin = Clock::now();
        QRandomGenerator random(20240611);
        QByteArray pending;
        qint64 bytesSent = 0;
        int frame = 0;
        while (!stopping) {
            if (pending.isEmpty()) {
                if (frameLimit >= 0 && frame >= frameLimit)
                    break;
                pending = frameAt(frame++);
            }
            const int size =
                chunked ? qMin(pending.size(), 1 + int(random.bounded(LargestChunk))) : pending.size();
            // A chunk goes out when the line would have carried its last byte.
            const auto due = begin + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double>((bytesSent + size) / bytesPerSecond));
            std::this_thread::sleep_until(due);
            if (!console.write(pending.left(size)))
                break;
            pending.remove(0, size);
            bytesSent += size;
            if (pending.isEmpty())
                written = frame;
        }
        done = true;
    }

    Pty &console;
    const int framesPerSecond;
    const bool chunked;
    const int frameLimit;
    const FrameSource frameAt;
    std::thread worker;
    std::atomic<bool> stopping{false};
    std::atomic<bool> done{false};
    std::atomic<int> written{0};
};

void waitMs(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void writeLinkSettings(QSettings &store, const QString &port, bool udp, bool server)
{
    store.setValue(QStringLiteral("use_udp"), udp);
    store.setValue(QStringLiteral("is_server"), server);
    store.setValue(QStringLiteral("serialport"), port);
    store.setValue(QStringLiteral("server_host"), QStringLiteral("127.0.0.1"));
    store.setValue(QStringLiteral("server_port"), QString::number(RelayPort));
    store.sync();
}

// ---- latency --------------------------------------------------------------------------------

// Notes the first paint of the watched meter that shows it above the level it had before the frame.
class PaintWatch : public QObject
{
public:
    const QElapsedTimer *clock = nullptr;
    ZelPPMMeter *meter = nullptr;
    QEventLoop *loop = nullptr;
    double levelBefore = 0.0;
    qint64 paintedAt = -1;

    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && object == meter && paintedAt < 0 &&
            meter->dBPosition() > levelBefore) {
            paintedAt = clock->nsecsElapsed();
            loop->quit();
        }
        return false;
    }
};

void benchLatency(int samples)
{
    TempSettings settings;
    Pty console;
    if (!console.isOpen()) {
        note(QStringLiteral("latency: no pseudo-terminal"));
        return;
    }
    {
        QSettings store; // the window's own, in the temporary folder
        writeLinkSettings(store, console.slavePath(), false, false);
    }
    MainWindow window;
    window.show();
    waitMs(500);

    const char *const names[] = {"ProgLeft", "ProgRight", "SubLeft", "SubRight", "CrmLeft", "CrmRight"};
    std::vector<ZelPPMMeter *> meters;
    for (const char *name : names)
        meters.push_back(window.findChild<ZelPPMMeter *>(QString::fromLatin1(name)));
    if (std::count(meters.begin(), meters.end(), nullptr) > 0) {
        note(QStringLiteral("latency: meters not found"));
        return;
    }

    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    PaintWatch watch;
    watch.clock = &clock;
    watch.loop = &loop;
    for (ZelPPMMeter *meter : meters)
        meter->installEventFilter(&watch);

    QRandomGenerator random(7);
    std::vector<double> latenciesMs;
    int missed = 0;
    for (int i = 0; i < LatencyWarmUpFrames + samples; ++i) {
        // Each frame raises one meter, in turn; the other five fall meanwhile. So every frame moves
        // a bar, and the raised meter has fallen long enough since its last frame to move visibly.
        const size_t raised = size_t(i) % meters.size();
        LevelFrame::Levels levels;
        levels.fill(LevelFrame::FloorDb);
        levels[raised] = RaisedLevelDb;
        const QByteArray frame = LevelFrame::encodeLevels(levels);

        watch.meter = meters[raised];
        watch.levelBefore = meters[raised]->dBPosition();
        watch.paintedAt = -1;
        console.write(frame);
        const qint64 writtenAt = clock.nsecsElapsed();
        guard.start(PaintTimeoutMs);
        loop.exec();
        guard.stop();
        if (i >= LatencyWarmUpFrames) {
            if (watch.paintedAt < 0)
                ++missed;
            else
                latenciesMs.push_back(double(watch.paintedAt - writtenAt) / 1e6);
        }
        // Frames arrive at any point of the 10 ms release period.
        guard.start(20 + int(random.bounded(10)));
        loop.exec();
    }
    for (ZelPPMMeter *meter : meters)
        meter->removeEventFilter(&watch);

    if (latenciesMs.empty()) {
        note(QStringLiteral("latency: no repaint seen"));
        return;
    }
    std::sort(latenciesMs.begin(), latenciesMs.end());
    const double median = latenciesMs[latenciesMs.size() / 2];
    const size_t p99Index = size_t(std::ceil(0.99 * double(latenciesMs.size()))) - 1;
    if (missed > 0)
        note(QStringLiteral("latency: %1 frames without a repaint within %2 ms")
                 .arg(missed)
                 .arg(PaintTimeoutMs));
    report(QStringLiteral("frame to repaint median (%1 frames)").arg(latenciesMs.size()), median, "ms",
           "<= 8 ms");
    report(QStringLiteral("frame to repaint p99 (%1 frames)").arg(latenciesMs.size()), latenciesMs[p99Index],
           "ms", "<= 13 ms");
    report(QStringLiteral("frame to repaint max"), latenciesMs.back(), "ms", "-");
}

// ---- CPU of the shipped program -------------------------------------------------------------

// CPU time of all threads of a process, in nanoseconds (scheduler accounting, not clock ticks).
qint64 processCpuNanoseconds(qint64 pid)
{
    qint64 total = 0;
    bool found = false;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile schedstat(tasks.filePath(task + QStringLiteral("/schedstat")));
        if (!schedstat.open(QIODevice::ReadOnly))
            continue;
        total += schedstat.readAll().split(' ').value(0).toLongLong();
        found = true;
    }
    if (found)
        return total;
#ifdef Q_OS_UNIX
    // Without schedstat: user and system time in clock ticks (fields 14 and 15 of stat).
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    const qint64 ticks = fields.value(11).toLongLong() + fields.value(12).toLongLong();
    return ticks * 1000000000LL / sysconf(_SC_CLK_TCK);
#else
    return -1;
#endif
}

bool processHoldsFile(qint64 pid, const QString &path)
{
    const QString wanted = QFileInfo(path).canonicalFilePath();
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QString &fd : fds.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot))
        if (QFileInfo(fds.filePath(fd)).symLinkTarget() == wanted)
            return true;
    return false;
}

void benchCpu(int seconds)
{
#ifndef KOLVANE_METERS_BINARY
    note(QStringLiteral("cpu: the program's path is not known"));
#else
    Pty console;
    QTemporaryDir config;
    if (!console.isOpen() || !config.isValid()) {
        note(QStringLiteral("cpu: no pseudo-terminal or temporary folder"));
        return;
    }
    {
        QSettings store(config.path() + QStringLiteral("/Zelvoort/Kolvane Meters.conf"),
                        QSettings::IniFormat);
        writeLinkSettings(store, console.slavePath(), false, false);
    }

    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    // As installed: no debug lines (a line per chunk would be measured too).
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.debug=false"));
    program.setProcessEnvironment(environment);
    program.setStandardOutputFile(QProcess::nullDevice());
    program.setStandardErrorFile(QProcess::nullDevice());
    program.start(QStringLiteral(KOLVANE_METERS_BINARY), QStringList());
    if (!program.waitForStarted(5000)) {
        note(QStringLiteral("cpu: the program did not start"));
        return;
    }
    const qint64 pid = program.processId();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    if (!processHoldsFile(pid, console.slavePath()))
        note(QStringLiteral("cpu: the program did not open the pseudo-terminal"));

    struct Rate
    {
        int framesPerSecond;
        bool chunked;
        int settleSeconds;
        const char *figure;
        const char *goal;
    };
    const Rate rates[] = {
        {0, false, SettleSeconds, "CPU idle", "<= 0.27 %"},
        {ProgrammeFramesPerSecond, false, SettleSeconds, "CPU at 50 frames/s", "<= 2 %"},
        {LineRateFramesPerSecond, true, SettleSeconds, "CPU at line rate (720 frames/s)", "<= 3.5 %"},
        // The port stays open, the frames stop: the watch has no timer left, the release sleeps.
        {0, false, SettleAfterLossSeconds, "CPU idle, quiet open link after the signal was lost",
         "<= CPU idle (0.27 % before the watch)"}};
    for (const Rate &rate : rates) {
        PacedWriter writer(console, rate.framesPerSecond, rate.chunked);
        writer.start();
        std::this_thread::sleep_for(std::chrono::seconds(rate.settleSeconds));
        const qint64 cpuBefore = processCpuNanoseconds(pid);
        const Clock::time_point wallBefore = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        const qint64 cpuAfter = processCpuNanoseconds(pid);
        const double wallNs =
            double(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - wallBefore).count());
        writer.stop();
        if (cpuBefore < 0 || cpuAfter < 0 || program.state() != QProcess::Running) {
            note(QStringLiteral("cpu: cannot read the program's CPU time"));
            break;
        }
        report(QString::fromLatin1(rate.figure), 100.0 * double(cpuAfter - cpuBefore) / wallNs, "%",
               QString::fromLatin1(rate.goal));
    }

    // The program stores its settings on a stop request; it is the only process this ends.
    program.terminate();
    if (!program.waitForFinished(5000)) {
        program.kill();
        program.waitForFinished(5000);
    }
#endif
}

// ---- CPU with peak hold and over lamps ------------------------------------------------------

constexpr quint32 ProgrammeSeed = 20260105;
// The programme model peaks at +1 to +4 dB; raised a little, its peaks pass the meters' +5 dB top
// now and then, so the over lamps light as they would on a hot programme.
constexpr double ProgrammeGainDb = 2.0;
constexpr double FrameSeconds = 1.0 / ProgrammeFramesPerSecond;

// CPU per wall second of the shipped program over `seconds` of programme at 50 frames/s, with the
// peak hold and over lamps switched as given; -1 when it cannot be measured.
double programmeCpuPercent(bool metering, int seconds)
{
#ifndef KOLVANE_METERS_BINARY
    Q_UNUSED(metering)
    Q_UNUSED(seconds)
    return -1;
#else
    Pty console;
    QTemporaryDir config;
    if (!console.isOpen() || !config.isValid())
        return -1;
    {
        QSettings store(config.path() + QStringLiteral("/Zelvoort/Kolvane Meters.conf"),
                        QSettings::IniFormat);
        writeLinkSettings(store, console.slavePath(), false, false);
        store.setValue(QStringLiteral("peak_hold"), metering);
        store.setValue(QStringLiteral("over_indicator"), metering);
    }
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.debug=false"));
    program.setProcessEnvironment(environment);
    program.setStandardOutputFile(QProcess::nullDevice());
    program.setStandardErrorFile(QProcess::nullDevice());
    program.start(QStringLiteral(KOLVANE_METERS_BINARY), QStringList());
    if (!program.waitForStarted(5000))
        return -1;
    std::this_thread::sleep_for(std::chrono::seconds(2));

    ProgrammeAudio programme(ProgrammeSeed); // the same programme in every round
    PacedWriter writer(console, ProgrammeFramesPerSecond, false, -1, [&](int) {
        LevelFrame::Levels levels = programme.next(FrameSeconds);
        for (double &level : levels)
            level += ProgrammeGainDb; // clamped to the word's range by the encoder
        return LevelFrame::encodeLevels(levels);
    });
    writer.start();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const qint64 pid = program.processId();
    const qint64 cpuBefore = processCpuNanoseconds(pid);
    const Clock::time_point wallBefore = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const qint64 cpuAfter = processCpuNanoseconds(pid);
    const double wallNs =
        double(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - wallBefore).count());
    writer.stop();
    const bool measured = cpuBefore >= 0 && cpuAfter >= 0 && program.state() == QProcess::Running;
    program.terminate();
    if (!program.waitForFinished(5000)) {
        program.kill();
        program.waitForFinished(5000);
    }
    return measured ? 100.0 * double(cpuAfter - cpuBefore) / wallNs : -1;
#endif
}

// Rounds alternate off and on, so a change in the machine's load touches both alike.
void benchMeteringOptions(int seconds, int rounds)
{
    std::vector<double> off, on;
    for (int round = 0; round < rounds; ++round)
        for (bool metering : {false, true}) {
            const double percent = programmeCpuPercent(metering, seconds);
            if (percent < 0) {
                note(QStringLiteral("options: cannot measure the program's CPU"));
                return;
            }
            note(QStringLiteral("options: round %1, %2: %3 %")
                     .arg(round + 1)
                     .arg(QLatin1String(metering ? "on" : "off"))
                     .arg(percent, 0, 'f', 2));
            (metering ? on : off).push_back(percent);
        }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    };
    const double without = median(off), with = median(on);
    report(QStringLiteral("CPU at 50 frames/s of programme, peak hold and over off"), without, "%", "-");
    report(QStringLiteral("CPU at 50 frames/s of programme, peak hold and over on"), with, "%", "-");
    report(QStringLiteral("CPU rise with peak hold and over on (median of %1 rounds)").arg(rounds),
           100.0 * (with - without) / without, "%", "<= 10 %");
}

// ---- UDP flood ------------------------------------------------------------------------------

#ifdef Q_OS_UNIX
// Sends valid frames from 127.0.0.1 to the port as fast as the kernel takes them.
void floodLoopback(quint16 port, int datagrams, std::atomic<bool> *done)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    destination.sin_port = htons(port);
    for (int i = 0; fd >= 0 && i < datagrams; ++i) {
        const QByteArray frame = countedFrame(i);
        ::sendto(fd, frame.constData(), size_t(frame.size()), 0,
                 reinterpret_cast<const sockaddr *>(&destination), sizeof destination);
    }
    if (fd >= 0)
        ::close(fd);
    *done = true;
}
#endif

// The largest gap between the ticks of a 10 ms timer on the GUI thread, as the window's release
// timer sees them, while a UDP client takes a flood of datagrams.
void benchFlood(int datagrams)
{
#ifndef Q_OS_UNIX
    Q_UNUSED(datagrams)
    note(QStringLiteral("flood: needs POSIX sockets"));
#else
    quint16 port = 0;
    {
        QUdpSocket probe;
        if (probe.bind(QHostAddress::Any, 0, QAbstractSocket::DontShareAddress))
            port = probe.localPort();
    }
    TempSettings settings;
    {
        QSettings store; // the window's own, in the temporary folder
        writeLinkSettings(store, QString(), true, false);
        store.setValue(QStringLiteral("client_host"), QStringLiteral("127.0.0.1"));
        store.setValue(QStringLiteral("client_port"), QString::number(port));
        store.sync();
    }
    MainWindow window;
    window.show();
    waitMs(500);

    QElapsedTimer sinceTick;
    qint64 largestGapNs = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        largestGapNs = qMax(largestGapNs, sinceTick.nsecsElapsed());
        sinceTick.start();
    });
    sinceTick.start();
    tick.start(10);

    std::atomic<bool> done{false};
    QElapsedTimer flood;
    flood.start();
    std::thread sender(floodLoopback, port, datagrams, &done);
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done)
            loop.quit();
    });
    poll.start(20);
    loop.exec();
    sender.join();
    const double floodMs = double(flood.nsecsElapsed()) / 1e6;
    waitMs(100);
    tick.stop();

    report(QStringLiteral("largest 10 ms tick gap in a %1-datagram UDP flood").arg(datagrams),
           double(largestGapNs) / 1e6, "ms", "<= 100 ms");
    report(QStringLiteral("UDP flood duration (%1 datagrams)").arg(datagrams), floodMs, "ms", "-");
#endif
}

// ---- frames lost at line rate ---------------------------------------------------------------

#ifdef Q_OS_UNIX
// The relay's datagrams count the decoded frames. They are broadcasts, so they go out only inside
// a network namespace of this process's own that holds nothing but its loopback interface.
bool enterPrivateNetwork(QString *why)
{
    if (::unshare(CLONE_NEWNET) != 0) {
        *why = QStringLiteral("cannot create a network namespace (needs root): ") +
               QString::fromLocal8Bit(strerror(errno));
        return false;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    ifreq request{};
    qstrncpy(request.ifr_name, "lo", IFNAMSIZ);
    const bool up = fd >= 0 && ::ioctl(fd, SIOCGIFFLAGS, &request) == 0 &&
                    ((request.ifr_flags |= IFF_UP), ::ioctl(fd, SIOCSIFFLAGS, &request) == 0);
    if (fd >= 0)
        ::close(fd);
    if (!up)
        *why = QStringLiteral("cannot bring up the namespace's loopback interface");
    return up;
}
#endif

void benchLoss(int frames)
{
#ifndef Q_OS_UNIX
    Q_UNUSED(frames)
    note(QStringLiteral("loss: needs a network namespace"));
#else
    QString why;
    if (!enterPrivateNetwork(&why)) {
        note(QStringLiteral("loss: ") + why);
        return;
    }
    TempSettings settings;
    Pty console;
    if (!console.isOpen()) {
        note(QStringLiteral("loss: no pseudo-terminal"));
        return;
    }
    {
        QSettings store; // the window's own, in the temporary folder
        writeLinkSettings(store, console.slavePath(), true, true);
    }
    MainWindow window;
    window.show();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QUdpSocket *relay = nullptr;
    for (QUdpSocket *socket : window.findChildren<QUdpSocket *>())
        if (socket->state() == QAbstractSocket::BoundState)
            relay = socket;
    if (!relay) {
        note(QStringLiteral("loss: the relay socket is not bound"));
        return;
    }
    int decoded = 0;
    int sendErrors = 0;
    QObject::connect(relay, &QIODevice::bytesWritten, [&] { ++decoded; });
    QObject::connect(relay, &QAbstractSocket::errorOccurred, [&] { ++sendErrors; });
    waitMs(500);

    PacedWriter writer(console, LineRateFramesPerSecond, true, frames);
    writer.start();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (writer.isDone())
            loop.quit();
    });
    poll.start(100);
    loop.exec();
    writer.stop();
    waitMs(500);

    if (writer.framesWritten() != frames)
        note(QStringLiteral("loss: only %1 of %2 frames written").arg(writer.framesWritten()).arg(frames));
    if (sendErrors > 0)
        note(QStringLiteral("loss: %1 relay send errors").arg(sendErrors));
    reportCount(QStringLiteral("frames lost of %1 at line rate, random chunks").arg(frames),
                writer.framesWritten() - decoded, "frames", "0");
#endif
}

int optionValue(const QStringList &arguments, const QString &name, int fallback)
{
    const int at = arguments.indexOf(name);
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1).toInt() : fallback;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    QApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const int samples = optionValue(arguments, QStringLiteral("--frames"), 2000);
    const int lostFrames = optionValue(arguments, QStringLiteral("--lost-frames"), 100000);
    const int cpuSeconds = optionValue(arguments, QStringLiteral("--cpu-seconds"), 5);
    const int floodDatagrams = optionValue(arguments, QStringLiteral("--flood-datagrams"), 100000);
    const int optionRounds = optionValue(arguments, QStringLiteral("--option-rounds"), 3);
    const int onlyAt = arguments.indexOf(QStringLiteral("--only"));
    const QStringList sections =
        onlyAt >= 0 && onlyAt + 1 < arguments.size()
            ? arguments.at(onlyAt + 1).split(QLatin1Char(','))
            : QStringList{QStringLiteral("latency"), QStringLiteral("cpu"), QStringLiteral("options"),
                          QStringLiteral("flood"), QStringLiteral("loss")};

    if (sections.contains(QStringLiteral("latency")))
        benchLatency(samples);
    if (sections.contains(QStringLiteral("cpu")))
        benchCpu(cpuSeconds);
    if (sections.contains(QStringLiteral("options")))
        benchMeteringOptions(cpuSeconds, optionRounds);
    if (sections.contains(QStringLiteral("flood")))
        benchFlood(floodDatagrams);
    // Last: it moves this process into a network namespace of its own.
    if (sections.contains(QStringLiteral("loss")))
        benchLoss(lostFrames);
    return 0;
}
