#include "mainwindow.h"
#include "shutdownsignals.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QApplication application(argc, argv);

    // A stop request leaves the event loop, so the window below is destroyed and stores its settings.
    ShutdownSignals shutdownSignals;
    QObject::connect(&shutdownSignals, &ShutdownSignals::shutdownRequested, &application,
                     &QCoreApplication::quit);

    MainWindow window;
    window.show();
    return application.exec();
}
