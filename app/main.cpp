#include "commandline.h"
#include "mainwindow.h"
#include "shutdownsignals.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    const int answered = CommandLine::answer(argc, argv);
    if (answered >= 0)
        return answered;
    // The display paints with the raster engine only; on X11 this spares loading the OpenGL
    // drivers, about half of the program's memory.
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    // The meters repaint thin strips some fifty times a second. Sent over the X connection they cost
    // less than through a shared-memory image, which makes each repaint wait for the X server first.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
#else
    // Qt 6 always scales; rounding the factor to whole numbers as Qt 5 does keeps the window's
    // logical size the same with either build.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::Round);
#endif
    QApplication application(argc, argv);

    // A stop request leaves the event loop, so the window below is destroyed and stores its settings.
    ShutdownSignals shutdownSignals;
    QObject::connect(&shutdownSignals, &ShutdownSignals::shutdownRequested, &application,
                     &QCoreApplication::quit);

    MainWindow window;
    window.show();
    return application.exec();
}
