#include "simoptions.h"

#include <QCommandLineParser>

#include <cmath>

namespace {

const double HighestLevelDb = LevelFrame::levelFromWord(0xFFFF);
// Above this the pacing timer could only send bursts; no line gets near it.
constexpr double HighestRate = 100000.0;

const char *const Description =
    "Sends a mixing console's level frames the way the console does on its serial line,\n"
    "so that a Kolvane Meters display can be tested without a console.\n"
    "\n"
    "Without --port or --udp it opens a new pseudo-terminal and prints the device path\n"
    "(for example /dev/pts/3) as the first line on standard output: set the display's\n"
    "serial port to that path. With --port it writes to a real serial device instead\n"
    "(115200 baud, 8N1, no flow control), for example a USB adapter cabled to the\n"
    "display's port. With --udp it sends every frame as one UDP datagram, as a display\n"
    "in UDP server mode relays them to its clients.\n"
    "\n"
    "Levels move like programme audio (speech and music, left and right alike, peaks\n"
    "up to +4 dB now and then, quiet passages at the floor of -50 dB) unless --level\n"
    "or --levels fixes them. Meter order: Prog L, Prog R, Sub L, Sub R, CRM L, CRM R.\n"
    "\n"
    "While nobody has the pseudo-terminal open, or the device takes no more bytes,\n"
    "frames that fall due are skipped rather than queued, as a console keeps sending\n"
    "whether anyone listens or not; --count counts only frames actually sent.\n"
    "Stop it with Ctrl+C. Exit status: 0 after --count frames or when stopped,\n"
    "1 when the device fails, 2 for a wrong option.\n"
    "\n"
    "Examples:\n"
    "  console-sim                          programme levels, 50 frames/s\n"
    "  console-sim --port /dev/ttyUSB0      the same on a serial adapter\n"
    "  console-sim --level 0                all six meters at 0 dB\n"
    "  console-sim --levels -50,0,-20,-20,4,-10\n"
    "  console-sim --rate max --chunking random --crlf\n"
    "                                       a hard line for the decoder\n"
    "  console-sim --udp 192.168.1.20:5000  to a display in UDP client mode";

bool parseLevel(const QString &text, double *db, QString *error)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    // Judged by the word it becomes, so the top level written as 15.535 is accepted.
    const double word = std::round((value - LevelFrame::FloorDb) * 1000.0);
    if (!ok || !(word >= 0.0 && word <= 65535.0)) {
        *error = QStringLiteral("level \"%1\" is not a number from %2 to %3 dB")
                     .arg(text)
                     .arg(LevelFrame::FloorDb)
                     .arg(HighestLevelDb);
        return false;
    }
    *db = value;
    return true;
}

bool parseRate(const QString &text, double *rate, QString *error)
{
    if (text == QLatin1String("max")) {
        *rate = LineRateFramesPerSecond;
        return true;
    }
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !(value > 0.0 && value <= HighestRate)) {
        *error = QStringLiteral("--rate wants frames per second above 0 and up to %1, or \"max\"")
                     .arg(HighestRate);
        return false;
    }
    *rate = value;
    return true;
}

bool parseChunking(const QString &text, SimOptions::Chunking *chunking, QString *error)
{
    for (const auto mode : {SimOptions::Chunking::Whole, SimOptions::Chunking::Split,
                            SimOptions::Chunking::Random, SimOptions::Chunking::Coalesced}) {
        if (text == chunkingName(mode)) {
            *chunking = mode;
            return true;
        }
    }
    *error = QStringLiteral("--chunking wants whole, split, random or coalesced, not \"%1\"").arg(text);
    return false;
}

// host:port, with IPv6 addresses in brackets: [::1]:5000.
bool parseHostPort(const QString &text, QString *host, quint16 *port, QString *error)
{
    QString hostPart;
    QString portPart;
    if (text.startsWith(QLatin1Char('['))) {
        const int close = text.indexOf(QLatin1String("]:"));
        if (close > 1) {
            hostPart = text.mid(1, close - 1);
            portPart = text.mid(close + 2);
        }
    } else {
        const int colon = text.lastIndexOf(QLatin1Char(':'));
        if (colon > 0) {
            hostPart = text.left(colon);
            portPart = text.mid(colon + 1);
        }
    }
    bool ok = false;
    const uint value = portPart.toUInt(&ok);
    if (hostPart.isEmpty() || !ok || value == 0 || value > 0xFFFF) {
        *error = QStringLiteral("--udp wants HOST:PORT with a port from 1 to 65535, not \"%1\"").arg(text);
        return false;
    }
    *host = hostPart;
    *port = quint16(value);
    return true;
}

} // namespace

QString chunkingName(SimOptions::Chunking chunking)
{
    switch (chunking) {
    case SimOptions::Chunking::Whole:
        return QStringLiteral("whole");
    case SimOptions::Chunking::Split:
        return QStringLiteral("split");
    case SimOptions::Chunking::Random:
        return QStringLiteral("random");
    case SimOptions::Chunking::Coalesced:
        return QStringLiteral("coalesced");
    }
    return QString();
}

ParsedOptions parseSimOptions(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(Description));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption rate(QStringLiteral("rate"),
                                  QStringLiteral("Frames per second (default 50). \"max\" paces to the "
                                                 "115200-baud line: 720 frames/s."),
                                  QStringLiteral("N|max"));
    const QCommandLineOption level(
        QStringLiteral("level"), QStringLiteral("All six levels fixed at this level in dB (-50 to 15.535)."),
        QStringLiteral("dB"));
    const QCommandLineOption levels(QStringLiteral("levels"),
                                    QStringLiteral("The six levels fixed, in dB, in meter order."),
                                    QStringLiteral("a,b,c,d,e,f"));
    const QCommandLineOption count(QStringLiteral("count"),
                                   QStringLiteral("Send N frames, then exit once they have been written "
                                                  "(and read from the pseudo-terminal)."),
                                   QStringLiteral("N"));
    const QCommandLineOption chunking(
        QStringLiteral("chunking"),
        QStringLiteral("How frames are cut into writes: whole (one write per frame, the default), "
                       "split (each frame in two halves), random (random cut points, also across "
                       "frames), coalesced (several frames per write)."),
        QStringLiteral("mode"));
    const QCommandLineOption crlf(QStringLiteral("crlf"),
                                  QStringLiteral("Send each LF byte (0x0A) as CR LF, as the console's line "
                                                 "discipline does."));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Write to this serial device instead of a new "
                                                 "pseudo-terminal."),
                                  QStringLiteral("device"));
    const QCommandLineOption udp(QStringLiteral("udp"),
                                 QStringLiteral("Send each frame as one UDP datagram to HOST:PORT instead."),
                                 QStringLiteral("HOST:PORT"));
    const QCommandLineOption seed(QStringLiteral("seed"),
                                  QStringLiteral("Seed for the programme levels and the cut points, "
                                                 "for runs that repeat exactly."),
                                  QStringLiteral("N"));
    parser.addOptions({help, rate, level, levels, count, chunking, crlf, port, udp, seed});

    ParsedOptions result;
    SimOptions &options = result.options;
    QString &error = result.message;
    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return result;
    }
    if (parser.isSet(help)) {
        result.outcome = ParsedOptions::Outcome::ShowHelp;
        result.message = parser.helpText();
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        error = QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().constFirst());
        return result;
    }
    if (parser.isSet(rate) && !parseRate(parser.value(rate), &options.framesPerSecond, &error))
        return result;
    if (parser.isSet(level) && parser.isSet(levels)) {
        error = QStringLiteral("give either --level or --levels");
        return result;
    }
    if (parser.isSet(level)) {
        double db = 0.0;
        if (!parseLevel(parser.value(level), &db, &error))
            return result;
        options.levels.fill(db);
        options.fixedLevels = true;
    }
    if (parser.isSet(levels)) {
        const QStringList parts = parser.value(levels).split(QLatin1Char(','));
        if (parts.size() != LevelFrame::LevelCount) {
            error = QStringLiteral("--levels wants six levels separated by commas");
            return result;
        }
        for (int k = 0; k < LevelFrame::LevelCount; ++k) {
            if (!parseLevel(parts.at(k), &options.levels[k], &error))
                return result;
        }
        options.fixedLevels = true;
    }
    if (parser.isSet(count)) {
        bool ok = false;
        options.count = parser.value(count).toLongLong(&ok);
        if (!ok || options.count < 1) {
            error = QStringLiteral("--count wants a whole number of frames, 1 or more");
            return result;
        }
    }
    if (parser.isSet(chunking) && !parseChunking(parser.value(chunking), &options.chunking, &error))
        return result;
    options.crlf = parser.isSet(crlf);
    options.serialDevice = parser.value(port);
    if (parser.isSet(port) && options.serialDevice.isEmpty()) {
        error = QStringLiteral("--port wants a device path");
        return result;
    }
    if (parser.isSet(udp)) {
        if (parser.isSet(port)) {
            error = QStringLiteral("give either --port or --udp");
            return result;
        }
        // A datagram carries exactly one frame: there is no line to cut or to translate.
        if (parser.isSet(chunking) || options.crlf) {
            error = QStringLiteral("--chunking and --crlf describe a serial line and do not apply to --udp");
            return result;
        }
        if (!parseHostPort(parser.value(udp), &options.udpHost, &options.udpPort, &error))
            return result;
        options.udp = true;
    }
    if (parser.isSet(seed)) {
        bool ok = false;
        options.seed = parser.value(seed).toUInt(&ok);
        if (!ok) {
            error = QStringLiteral("--seed wants a whole number from 0 to 4294967295");
            return result;
        }
        options.seeded = true;
    }
    result.outcome = ParsedOptions::Outcome::Run;
    return result;
}
