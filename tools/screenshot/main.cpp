// kolvane-screenshot: prints where a window is and saves a PNG of what the X display shows of it.
#include "xdisplay.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTextStream>
#include <QThread>

#include <ctime>
#include <optional>

namespace {

constexpr int PollIntervalMs = 50;
constexpr int ConfigureTimeoutMs = 3000;
constexpr int DefaultSettleAfterConfigureMs = 500;

enum ExitCode
{
    Ok = 0,
    NotFound = 1,
    Usage = 2,
    Failed = 3
};

// The clock QElapsedTimer uses on Linux, so a caller can relate the grab to its own timings.
double monotonicMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1.0e6;
}

std::optional<QPoint> parsePoint(const QString &text)
{
    const auto m = QRegularExpression(QStringLiteral("^(-?\\d+),(-?\\d+)$")).match(text);
    if (!m.hasMatch())
        return std::nullopt;
    return QPoint(m.captured(1).toInt(), m.captured(2).toInt());
}

std::optional<QSize> parseSize(const QString &text)
{
    const auto m = QRegularExpression(QStringLiteral("^(\\d+)x(\\d+)$")).match(text);
    if (!m.hasMatch() || m.captured(1).toInt() <= 0 || m.captured(2).toInt() <= 0)
        return std::nullopt;
    return QSize(m.captured(1).toInt(), m.captured(2).toInt());
}

void printWindow(QTextStream &out, const XDisplay::Window &w)
{
    out << "id=0x" << QString::number(w.id, 16) << '\n'
        << "x=" << w.geometry.x() << '\n'
        << "y=" << w.geometry.y() << '\n'
        << "width=" << w.geometry.width() << '\n'
        << "height=" << w.geometry.height() << '\n'
        << "title=" << w.title << '\n';
    out.flush();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kolvane-screenshot"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Saves a PNG of an X window, or of the whole screen, as the display shows it.\n"
                       "Prints the window's id, position, size and title (key=value lines), and the\n"
                       "CLOCK_MONOTONIC time of the grab in milliseconds (grab-monotonic-ms)."));
    parser.addHelpOption();
    const QCommandLineOption titleOption(QStringLiteral("title"),
                                         QStringLiteral("The topmost window whose title starts with <text>."),
                                         QStringLiteral("text"));
    const QCommandLineOption waitOption(QStringLiteral("wait"),
                                        QStringLiteral("Wait up to <ms> for that window to be shown."),
                                        QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption moveOption(
        QStringLiteral("move"), QStringLiteral("Move the window to <x,y> first."), QStringLiteral("x,y"));
    const QCommandLineOption resizeOption(
        QStringLiteral("resize"), QStringLiteral("Resize the window to <WxH> first."), QStringLiteral("WxH"));
    const QCommandLineOption raiseOption(QStringLiteral("raise"),
                                         QStringLiteral("Raise the window above the others first."));
    const QCommandLineOption settleOption(
        QStringLiteral("settle"),
        QStringLiteral("Wait <ms> before the grab (default 500 after a move, resize or raise, else 0)."),
        QStringLiteral("ms"));
    parser.addOptions({titleOption, waitOption, moveOption, resizeOption, raiseOption, settleOption});
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("PNG file to write; without it nothing is grabbed."),
                                 QStringLiteral("[file]"));
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        err << "kolvane-screenshot: at most one file\n";
        return Usage;
    }
    std::optional<QPoint> position;
    std::optional<QSize> size;
    if (parser.isSet(moveOption) && !(position = parsePoint(parser.value(moveOption)))) {
        err << "kolvane-screenshot: --move takes x,y\n";
        return Usage;
    }
    if (parser.isSet(resizeOption) && !(size = parseSize(parser.value(resizeOption)))) {
        err << "kolvane-screenshot: --resize takes WxH\n";
        return Usage;
    }
    const bool changesWindow = position || size || parser.isSet(raiseOption);
    if (changesWindow && !parser.isSet(titleOption)) {
        err << "kolvane-screenshot: --move, --resize and --raise need --title\n";
        return Usage;
    }
    bool numberOk = true;
    const int waitMs = parser.value(waitOption).toInt(&numberOk);
    const int settleMs = parser.isSet(settleOption) ? parser.value(settleOption).toInt(&numberOk)
                                                    : (changesWindow ? DefaultSettleAfterConfigureMs : 0);
    if (!numberOk || waitMs < 0 || settleMs < 0) {
        err << "kolvane-screenshot: --wait and --settle take milliseconds\n";
        return Usage;
    }

    XDisplay display;
    QString error;
    if (!display.open(&error)) {
        err << "kolvane-screenshot: " << error << '\n';
        return Failed;
    }

    XDisplay::Window target = display.root();
    if (parser.isSet(titleOption)) {
        const QString prefix = parser.value(titleOption);
        QElapsedTimer waited;
        waited.start();
        std::optional<XDisplay::Window> found = display.findByTitle(prefix);
        while (!found && waited.elapsed() < waitMs) {
            QThread::msleep(PollIntervalMs);
            found = display.findByTitle(prefix);
        }
        if (!found) {
            err << "kolvane-screenshot: no window shown whose title starts with \"" << prefix << "\"\n";
            return NotFound;
        }
        target = *found;
    }

    if (changesWindow) {
        display.configure(target.id, position, size);
        if (parser.isSet(raiseOption))
            display.raise(target.id);
        // The window changes when its client has handled the request; poll for it.
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < ConfigureTimeoutMs) {
            const auto now = display.refresh(target.id);
            if (!now) {
                err << "kolvane-screenshot: the window went away\n";
                return NotFound;
            }
            target = *now;
            if ((!position || target.geometry.topLeft() == *position) &&
                (!size || target.geometry.size() == *size))
                break;
            QThread::msleep(PollIntervalMs);
        }
    }
    if (settleMs > 0)
        QThread::msleep(ulong(settleMs));
    if (const auto now = display.refresh(target.id))
        target = *now;
    printWindow(out, target);

    if (files.isEmpty())
        return Ok;
    const double grabbedAt = monotonicMs();
    const QImage image = display.grab(target.geometry, &error);
    if (image.isNull()) {
        err << "kolvane-screenshot: " << error << '\n';
        return Failed;
    }
    if (!image.save(files.first(), "PNG")) {
        err << "kolvane-screenshot: cannot write " << files.first() << '\n';
        return Failed;
    }
    out << "grab-monotonic-ms=" << QString::number(grabbedAt, 'f', 3) << '\n'
        << "file=" << files.first() << '\n';
    return Ok;
}
