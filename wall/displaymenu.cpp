#include "displaymenu.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QWidget>

namespace {
// The texts belong to the window they act on.
QString text(const char *source)
{
    return QCoreApplication::translate("MainWindow", source);
}
} // namespace

DisplayMenu::DisplayMenu(QWidget *window)
    : QObject(window), communicationSettings(new QAction(text("Communication settings\u2026"), this)),
      displayOptions(new QAction(text("Display options\u2026"), this)),
      fullScreen(new QAction(text("Full screen"), this)),
      about(new QAction(text("About Kolvane Meters"), this)), quit(new QAction(text("Quit"), this)),
      leaveFullScreen(new QAction(text("Leave full screen"), this)), contextMenu(new QMenu(window))
{
    fullScreen->setCheckable(true);
    fullScreen->setShortcut(QKeySequence(Qt::Key_F11));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    leaveFullScreen->setShortcut(QKeySequence(Qt::Key_Escape));
    leaveFullScreen->setEnabled(false);
    connect(fullScreen, &QAction::toggled, leaveFullScreen, &QAction::setEnabled);

    contextMenu->addAction(communicationSettings);
    contextMenu->addAction(displayOptions);
    contextMenu->addSeparator();
    contextMenu->addAction(fullScreen);
    contextMenu->addSeparator();
    contextMenu->addAction(about);
    contextMenu->addAction(quit);
    window->addActions({communicationSettings, displayOptions, fullScreen, about, quit, leaveFullScreen});
}
