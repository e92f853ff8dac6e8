#pragma once

#include <QObject>
#include <QRect>

#include <functional>

class QScreen;
class QWidget;

// Full screen for the display's window, under a window manager and on a bare X server alike. A
// manager acts on the window's full-screen state; without one (a kiosk started with xinit) nobody
// does, so the window then covers its screen itself and goes back to its own geometry after.
class Kiosk : public QObject
{
    Q_OBJECT

public:
    explicit Kiosk(QWidget *window);

    bool isFullScreen() const;
    // On the given screen, or on the one the window is on.
    void setFullScreen(bool on, QScreen *screen = nullptr);
    void toggleFullScreen() { setFullScreen(!isFullScreen()); }

    // Call after QWidget::restoreGeometry with the same data. Without a window manager there is no
    // title bar, yet Qt keeps a restored window 20 px below the top of its screen to leave room for
    // one: such a window is put back exactly where it was. A restored full-screen state is dropped;
    // setFullScreen decides it.
    void restorePlacement(const QByteArray &storedGeometry);

    // The window's saveGeometry() as it is to be stored: while the window covers a screen itself, its
    // own geometry and the full-screen flag, as Qt stores a full-screen window.
    QByteArray savedGeometry(const QByteArray &windowGeometry) const;

    // Whether a window manager handles full screen and title bars; tests replace it.
    using ManagerProbe = std::function<bool()>;
    static void setManagerProbe(ManagerProbe probe);

signals:
    void fullScreenChanged(bool on);

private:
    static bool windowManaged();

    QWidget *window;
    QRect normalGeometry; // the window's own, while it covers a screen itself
    bool coveringItself = false;
};
