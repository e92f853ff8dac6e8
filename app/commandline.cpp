#include "commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int CommandLine::answer(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Peak programme meters and studio clock for radio studios.\n"
                       "Levels come from the serial port or the UDP link chosen in the window's menu;\n"
                       "the settings are kept in ~/.config/Zelvoort/Kolvane Meters.conf."));
    // Qt's options are single-dash words (-platform offscreen); read as such they are unknown
    // options here and pass on to Qt instead of being taken apart letter by letter.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.parse(arguments); // unknown options are Qt's, not errors

    if (parser.isSet(version)) {
        std::printf("kolvane-meters %s\n", KOLVANE_VERSION);
        return 0;
    }
    if (!parser.isSet(help) && !parser.isSet(QStringLiteral("help-all")))
        return -1;
    // The help text names the program as it was started, which needs an application object; a
    // core one opens no display. It is gone again before the caller would make its own.
    QCoreApplication application(argc, argv);
    std::printf("%s\nQt's usual options are accepted as well, among them -platform NAME (xcb, wayland,\n"
                "offscreen), -display DISPLAY, -geometry GEOMETRY and -style STYLE.\n",
                qPrintable(parser.helpText()));
    return 0;
}
