// Prints "BENCH|figure|value|unit|goal" lines for the frame stream decoder:
//   frames decoded per second on one core (random cuts, CR LF translated), and
//   frames lost out of --frames sent by console-sim through a pseudo-terminal at line rate.
// Exits 0 when the figures were measured, whatever they are, and 1 when a run could not be made.
#include "framestream.h"
#include "levelframe.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QRandomGenerator>
#include <QSerialPort>
#include <QTimer>
#include <QVector>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int DecodeFrames = 200000;
constexpr int DecodeRounds = 5;
constexpr int LongestRead = 64;
// A hundred times the line rate: decoding then costs at most 1% of a core.
constexpr double DecodeGoal = 72000.0;
constexpr double LineRate = 720.0;

void printFigure(const char *figure, const QString &value, const char *unit, const char *goal)
{
    std::printf("BENCH|%s|%s|%s|%s\n", figure, qPrintable(value), unit, goal);
    std::fflush(stdout);
}

QByteArray withCrBeforeLf(const QByteArray &bytes)
{
    QByteArray out;
    out.reserve(bytes.size() + bytes.size() / 64);
    for (const char byte : bytes) {
        if (byte == '\n')
            out.append('\r');
        out.append(byte);
    }
    return out;
}

double decodedFramesPerSecond(quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray stream;
    stream.reserve(DecodeFrames * LevelFrame::Size);
    for (int i = 0; i < DecodeFrames; ++i) {
        LevelFrame::Words words{};
        for (quint16 &word : words)
            word = quint16(random.bounded(65536));
        stream.append(LevelFrame::encode(words));
    }
    const QByteArray line = withCrBeforeLf(stream);
    QVector<QByteArray> reads;
    for (int at = 0; at < line.size();) {
        const int size = 1 + random.bounded(LongestRead);
        reads.append(line.mid(at, size));
        at += size;
    }

    double best = 0.0;
    for (int round = 0; round < DecodeRounds; ++round) {
        FrameStream decoder;
        qint64 frames = 0;
        double levelSum = 0.0; // uses the decoded levels, so nothing is optimised away
        QElapsedTimer timer;
        timer.start();
        for (const QByteArray &read : qAsConst(reads)) {
            decoder.feed(read, [&](const char *frame) {
                ++frames;
                levelSum += LevelFrame::decode(frame)[0];
            });
        }
        const double seconds = timer.nsecsElapsed() / 1e9;
        if (frames != DecodeFrames || levelSum == 1.0) {
            std::fprintf(stderr, "bench_decoder: decoded %lld of %d frames\n", frames, DecodeFrames);
            return 0.0;
        }
        best = std::max(best, frames / seconds);
    }
    return best;
}

QString simulatorPath()
{
    const QString tools = qEnvironmentVariable("KOLVANE_TOOLS_DIR");
    if (!tools.isEmpty())
        return tools + QStringLiteral("/console-sim/console-sim");
    return QStringLiteral(KOLVANE_CONSOLE_SIM);
}

// Frames lost, or -1 when the run could not be made.
qint64 framesLostThroughPty(qint64 count, quint32 seed)
{
    QProcess simulator;
    simulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    simulator.start(simulatorPath(), {"--count", QString::number(count), "--rate", "max", "--chunking",
                                      "random", "--crlf", "--seed", QString::number(seed)});
    if (!simulator.waitForStarted(5000)) {
        std::fprintf(stderr, "bench_decoder: cannot start %s\n", qPrintable(simulatorPath()));
        return -1;
    }
    QElapsedTimer waited;
    waited.start();
    while (!simulator.canReadLine() && waited.elapsed() < 5000)
        simulator.waitForReadyRead(100);
    const QString path = QString::fromLocal8Bit(simulator.readLine()).trimmed();

    QSerialPort port(path);
    if (!port.open(QIODevice::ReadOnly) || !port.setBaudRate(QSerialPort::Baud115200) ||
        !port.setDataBits(QSerialPort::Data8) || !port.setParity(QSerialPort::NoParity) ||
        !port.setStopBits(QSerialPort::OneStop) || !port.setFlowControl(QSerialPort::NoFlowControl)) {
        std::fprintf(stderr, "bench_decoder: cannot open %s: %s\n", qPrintable(path),
                     qPrintable(port.errorString()));
        simulator.kill();
        simulator.waitForFinished();
        return -1;
    }
    FrameStream decoder;
    qint64 received = 0;
    QObject::connect(&port, &QSerialPort::readyRead,
                     [&] { decoder.feed(port.readAll(), [&](const char *) { ++received; }); });

    QEventLoop loop;
    QObject::connect(&simulator, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop,
                     &QEventLoop::quit);
    // Half as long again as the line takes, and some time to start and stop.
    QTimer::singleShot(int(count / LineRate * 1500.0) + 30000, &loop, &QEventLoop::quit);
    loop.exec();
    if (simulator.state() != QProcess::NotRunning || simulator.exitCode() != 0) {
        std::fprintf(stderr, "bench_decoder: console-sim did not finish cleanly\n");
        simulator.kill();
        simulator.waitForFinished();
        return -1;
    }
    decoder.feed(port.readAll(), [&](const char *) { ++received; });
    if (received > count)
        std::fprintf(stderr, "bench_decoder: %lld frames more than were sent\n", received - count);
    return std::max<qint64>(0, count - received);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Measures the frame stream decoder."));
    parser.addHelpOption();
    const QCommandLineOption framesOption(
        QStringLiteral("frames"),
        QStringLiteral("Frames to send through a pseudo-terminal at line rate "
                       "(default 100000, about 139 s; 0 skips it)."),
        QStringLiteral("N"), QStringLiteral("100000"));
    const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("Seed for levels and cuts."),
                                        QStringLiteral("N"), QStringLiteral("1"));
    parser.addOptions({framesOption, seedOption});
    parser.process(app);
    bool ok = false;
    const qint64 frames = parser.value(framesOption).toLongLong(&ok);
    if (!ok || frames < 0)
        parser.showHelp(2);
    const quint32 seed = parser.value(seedOption).toUInt();

    const double rate = decodedFramesPerSecond(seed);
    printFigure("frames decoded per second, one core (random reads, CR LF)", QString::number(rate, 'f', 0),
                "frames/s", qPrintable(QStringLiteral(">= %1").arg(DecodeGoal)));
    bool failed = rate <= 0.0;

    if (frames > 0) {
        const qint64 lost = framesLostThroughPty(frames, seed);
        const QByteArray figure = QByteArrayLiteral("frames lost of ") + QByteArray::number(frames) +
                                  " through a pty (console-sim --rate max --chunking random --crlf)";
        printFigure(figure.constData(), lost < 0 ? QStringLiteral("n/a") : QString::number(lost), "frames",
                    "0");
        failed = failed || lost < 0;
    }
    return failed ? 1 : 0;
}
