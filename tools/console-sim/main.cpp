// console-sim: sends a mixing console's level frames to a display under test.
#include "lineoutput.h"
#include "shutdownsignals.h"
#include "simoptions.h"
#include "simulator.h"

#include <QCoreApplication>
#include <QRandomGenerator>

#include <cstdio>

namespace {

constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

std::unique_ptr<LineOutput> openOutput(const SimOptions &options, QString *error)
{
    if (options.udp)
        return openUdpDestination(options.udpHost, options.udpPort, error);
    if (!options.serialDevice.isEmpty())
        return openSerialDevice(options.serialDevice, error);
    return openPseudoTerminal(error);
}

QString levelsDescription(const SimOptions &options)
{
    if (!options.fixedLevels)
        return QStringLiteral("programme levels");
    QStringList parts;
    for (const double db : options.levels)
        parts.append(QString::number(db));
    return QStringLiteral("levels %1 dB").arg(parts.join(QLatin1Char(',')));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("console-sim"));

    const ParsedOptions parsed = parseSimOptions(QCoreApplication::arguments());
    if (parsed.outcome == ParsedOptions::Outcome::ShowHelp) {
        std::fputs(qPrintable(parsed.message), stdout);
        return 0;
    }
    if (parsed.outcome == ParsedOptions::Outcome::Error) {
        std::fprintf(stderr, "console-sim: %s\nTry console-sim --help.\n", qPrintable(parsed.message));
        return ExitUsage;
    }
    SimOptions options = parsed.options;
    if (!options.seeded)
        options.seed = QRandomGenerator::global()->generate();

    QString error;
    std::unique_ptr<LineOutput> output = openOutput(options, &error);
    if (!output) {
        std::fprintf(stderr, "console-sim: %s\n", qPrintable(error));
        return ExitFailure;
    }
    const QString destination = output->description();
    if (!options.udp && options.serialDevice.isEmpty()) {
        // Scripts read the device path from the first line: it must not wait in a buffer.
        std::printf("%s\n", qPrintable(destination));
        std::fflush(stdout);
    }
    std::fprintf(stderr, "console-sim: %g frames/s, %s, to %s (seed %u)\n", options.framesPerSecond,
                 qPrintable(levelsDescription(options)), qPrintable(destination), options.seed);

    Simulator simulator(options, std::move(output));
    ShutdownSignals stopSignals;
    QObject::connect(&stopSignals, &ShutdownSignals::shutdownRequested, &app,
                     [] { QCoreApplication::exit(0); });
    QObject::connect(&simulator, &Simulator::finished, &app, [](int code) { QCoreApplication::exit(code); });
    simulator.start();
    const int exitCode = app.exec();

    std::fprintf(stderr,
                 "console-sim: %lld frames sent, %lld frame slots skipped (nobody reading or device full)\n",
                 simulator.framesSent(), simulator.slotsSkipped());
    return exitCode;
}
