#pragma once

#include <QObject>
#include <QRect>
#include <QVector>

#include <functional>
#include <memory>
#include <optional>

class QScreen;
class QWidget;
namespace X11Display {
class ManagerWatch;
}

// Full screen for the display's window, and the one place that knows whether the window is. Under a
// window manager the manager acts on the window's full-screen state, and whatever state the window is
// given (also by the manager on its own, from a key binding) is followed. Without one (a kiosk started
// with xinit) nobody acts: the window covers its screen itself, follows that screen's size and its
// coming and going, takes the keyboard itself, and goes back to its own geometry after.
class Kiosk : public QObject
{
    Q_OBJECT

public:
    explicit Kiosk(QWidget *window);
    ~Kiosk() override;

    bool isFullScreen() const { return on; }
    // On the given screen, or on the one the window is on.
    void setFullScreen(bool on, QScreen *screen = nullptr);
    void toggleFullScreen() { setFullScreen(!isFullScreen()); }

    // Puts the window back as stored, before it is shown: on the stored screen (the primary one when
    // that has gone), at the stored geometry fitted to today's screens, and full screen there when
    // fullScreen says so or, without that option, when the geometry was stored full screen. A stored
    // screen name that is still there wins over the index.
    void restore(const QByteArray &storedGeometry, std::optional<bool> fullScreen, int storedScreen,
                 const QString &storedScreenName = QString());
    // The window's geometry as it is to be stored: while the window covers a screen itself, its own
    // geometry and the full-screen flag, as Qt stores a full-screen window.
    QByteArray savedGeometry() const;
    // The index of the screen the window is on, taken from its left edge; under Wayland, where every
    // window is at 0,0, from the output it is on.
    int screenIndex() const;
    // Under Wayland the name of that output, which stays the same when outputs are numbered anew;
    // elsewhere empty.
    QString outputName() const;

    // Whether a window manager handles full screen and title bars; tests replace it.
    using ManagerProbe = std::function<bool()>;
    static void setManagerProbe(ManagerProbe probe);

signals:
    void fullScreenChanged(bool on);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    static bool windowManaged();
    void setOn(bool now);
    void managerGone();
    void cover(QScreen *screen);
    void followScreens();
    void watch(QScreen *screen);

    QWidget *window;
    QRect normalGeometry; // the window's own, to go back to
    QString screenName;   // the screen full screen belongs on
    // The geometries this class gave the window lately: the X server may confirm an earlier one after
    // a later request, and that is no one else's doing.
    QVector<QRect> ownGeometries;
    bool on = false;
    bool coveringItself = false;
    // While a manager holds the window full screen: a manager that ends puts the window back.
    std::unique_ptr<X11Display::ManagerWatch> managerWatch;
};
