#pragma once

#include <QObject>

class QTimer;
class QWidget;

// Hides the mouse pointer over the display after a while without mouse movement, and shows it again
// on the next movement. Menus and dialogs are windows of their own and keep their pointer; while one
// is open the pointer is not hidden at all.
class CursorHider : public QObject
{
    Q_OBJECT

public:
    explicit CursorHider(QWidget *window);

    // 0 never hides the pointer.
    void setDelayMs(int delayMs);
    int delayMs() const { return delay; }
    bool isHidden() const { return hidden; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void hide();
    void show();

    QWidget *window;
    QTimer *timer;
    int delay = 0;
    bool hidden = false;
};
