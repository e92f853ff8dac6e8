#pragma once

// What the program answers on the command line before it opens a display: --help and --version
// print their text and end the program, so that a package check or a station's technician can ask
// without a screen. Every other argument, Qt's own options (-platform, -display, ...) among them,
// is left to the application object.
class CommandLine
{
public:
    // The exit status when the arguments ask only for text (already printed), or -1 to go on.
    static int answer(int argc, char *argv[]);
};
