#pragma once

#include <QObject>
#include <QPointer>

#include <memory>

class QWidget;
class QWindow;

// Keeps a Wayland compositor from going idle (blanking, locking, power saving) while the window is
// shown, through its idle-inhibit protocol on Qt's own connection. The compositor honours the
// inhibitor while the window's surface is visible and drops it with the surface; a surface made anew
// (the window hidden and shown again) gets a new one.
class WaylandIdleInhibit : public QObject
{
public:
    // Whether this build speaks the protocol at all.
    static bool isBuiltIn();
    // Null unless the program shows on Wayland and the compositor offers the protocol.
    static std::unique_ptr<WaylandIdleInhibit> start(QWidget *window);
    ~WaylandIdleInhibit() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Protocol;
    WaylandIdleInhibit(QWidget *window, std::unique_ptr<Protocol> protocol);
    // Puts the inhibitor on the surface the window shows now, or takes it off.
    void follow(bool shown);
    void watchHandle();

    QPointer<QWidget> window;
    QPointer<QWindow> handle;
    std::unique_ptr<Protocol> protocol;
};
