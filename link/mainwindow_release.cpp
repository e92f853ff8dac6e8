#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "meterframepacer.h"
#include "tickedreads.h"
#include "webview.h"
#include "zelppmmeter.h"

#include <QTimer>

void MainWindow::meterRelease()
{
    ZelPPMMeter *const meters[] = {ui->ProgLeft, ui->ProgRight, ui->SubLeft,
                                   ui->SubRight, ui->CrmLeft,   ui->CrmRight};
    // What the console sent since the last tick: the steps below show its last frame.
    tickedReads->readNow();
    bool anyMoved = false;
    bool anyRose = false;
    for (size_t i = 0; i < targetLevels.size(); ++i) {
        const double before = meters[i]->dBPosition();
        const int barBefore = meters[i]->barLength();
        stepMeter(meters[i], targetLevels[i]);
        // The peak mark and the over lamp keep their time in these ticks; the frame pacer repaints them.
        meters[i]->stepPeakHold(releaseInterval, releaseStep);
        anyMoved = anyMoved || meters[i]->dBPosition() != before || meters[i]->peakHoldPending();
        // A rise that shows: the level itself may creep up by a rounding step after a rise.
        anyRose = anyRose || meters[i]->barLength() > barBefore;
    }
    meterFramePacer->afterTick(anyRose, anyMoved);
    if (anyMoved)
        webView->levelsMoved();
    // A wall display between programme items should cost nothing: once every meter has reached
    // its target, its mark has met the bar and its over lamp is out, the tick sleeps until new
    // targets wake it.
    if (!anyMoved) {
        releaseTimer->stop();
        tickedReads->setTicking(false);
    }
}

void MainWindow::wakeRelease()
{
    if (releaseTimer && !releaseTimer->isActive()) {
        releaseTimer->start(releaseInterval);
        tickedReads->setTicking(true);
    }
}

void MainWindow::stepMeter(ZelPPMMeter *meter, double &targetLevel)
{
    const double current = meter->dBPosition();
    if (current <= LevelFrame::FloorDb && targetLevel <= LevelFrame::FloorDb)
        return;

    // Rise at once, fall by at most one step a tick.
    float difference = float(targetLevel - current);
    const float largestFall = float(releaseStep);
    if (difference < -largestFall)
        difference = -largestFall;
    if (difference == 0.0f)
        return;

    meter->setRawdBPosition(current + double(difference));
    // The meter notes the rows its bar moved across; the frame pacer repaints them.
    meter->calcPosition();
}

void MainWindow::resetLevels()
{
    targetLevels.fill(LevelFrame::FloorDb);
    wakeRelease();
}
