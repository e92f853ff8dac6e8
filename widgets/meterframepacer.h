#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QVector>

class QWidget;
class ZelPPMMeter;

// Repaints what the release moved on the meters, but not more often than the screen shows frames.
// The release moves the meters every tick; when the screen's refresh interval spans two ticks, the
// falls of one tick are repainted together with the next tick's moves. A rise, the last move before
// the meters rest and any repaint of the window for another reason show every move at once, so each
// painted frame shows the bars where the release has put them.
class MeterFramePacer : public QObject
{
public:
    // Watches the window's repaints; the meters are its children.
    MeterFramePacer(QWidget *window, const QVector<ZelPPMMeter *> &meters, int tickMs);

    // After each tick of the release: whether a meter rose, and whether any moved at all.
    void afterTick(bool anyRose, bool anyMoved);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void repaintMoves();

    QWidget *const window;
    const QVector<ZelPPMMeter *> meters;
    const int tickMs;
    QElapsedTimer sinceRepaint;
};
