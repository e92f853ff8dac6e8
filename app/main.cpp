#include "commandline.h"
#include "mainwindow.h"
#include "shutdownsignals.h"

#include <QApplication>

#if defined(Q_OS_LINUX) && defined(__GLIBC__)
#include <malloc.h>
#endif

int main(int argc, char *argv[])
{
    const int answered = CommandLine::answer(argc, argv);
    if (answered >= 0)
        return answered;
#if defined(Q_OS_LINUX) && defined(__GLIBC__)
    // On a large screen the scaling makes and drops pictures of the window's size (tens of MB at
    // 3840 x 2160). Once one was freed, glibc would take the next from its heap and keep the memory
    // when it goes; from this size up each is mapped apart and returned to the system when dropped.
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
#endif
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
