#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "zelppmmeter.h"

#include <QTimer>

void MainWindow::meterRelease()
{
    ZelPPMMeter *const meters[] = {ui->ProgLeft, ui->ProgRight, ui->SubLeft, ui->SubRight, ui->CrmLeft, ui->CrmRight};
    bool allResting = true;
    for (size_t i = 0; i < targetLevels.size(); ++i) {
        stepMeter(meters[i], targetLevels[i]);
        allResting = allResting && meters[i]->dBPosition() <= LevelFrame::FloorDb &&
                     targetLevels[i] <= LevelFrame::FloorDb;
    }
    // A silent wall display should cost nothing: the tick sleeps until the next frame wakes it.
    if (allResting)
        releaseTimer->stop();
}

void MainWindow::wakeRelease()
{
    if (releaseTimer && !releaseTimer->isActive())
        releaseTimer->start(releaseInterval);
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
    if (meter->calcPosition())
        meter->update();
}

void MainWindow::resetLevels()
{
    targetLevels.fill(LevelFrame::FloorDb);
}
