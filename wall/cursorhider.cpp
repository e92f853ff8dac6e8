#include "cursorhider.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

CursorHider::CursorHider(QWidget *window) : QObject(window), window(window), timer(new QTimer(this))
{
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, &CursorHider::hide);
    // Pointer movement over a widget without mouse tracking reaches only the application's filters.
    qApp->installEventFilter(this);
}

void CursorHider::setDelayMs(int delayMs)
{
    if (delayMs == delay)
        return;
    delay = delayMs;
    show();
}

bool CursorHider::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
    case QEvent::TabletMove:
        show();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void CursorHider::hide()
{
    if (QApplication::activePopupWidget() || QApplication::activeModalWidget()) {
        timer->start();
        return;
    }
    hidden = true;
    window->setCursor(Qt::BlankCursor);
}

void CursorHider::show()
{
    if (hidden) {
        hidden = false;
        window->unsetCursor();
    }
    if (delay > 0)
        timer->start(delay);
    else
        timer->stop();
}
