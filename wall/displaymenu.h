#pragma once

#include <QObject>

class QAction;
class QMenu;
class QWidget;

// The display's context menu and its shortcuts. The actions belong to the window as well, so their
// shortcuts work without the menu; what they do is wired by the caller.
class DisplayMenu : public QObject
{
    Q_OBJECT

public:
    explicit DisplayMenu(QWidget *window);

    QMenu *menu() const { return contextMenu; }

    QAction *const communicationSettings;
    QAction *const displayOptions;
    QAction *const fullScreen; // checkable, F11
    QAction *const about;
    QAction *const quit; // Ctrl+Q
    // Escape, not in the menu: only enabled while the window is full screen.
    QAction *const leaveFullScreen;

private:
    QMenu *contextMenu;
};
