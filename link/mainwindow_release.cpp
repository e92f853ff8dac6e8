#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "zelppmmeter.h"

void MainWindow::meterRelease()
{
    stepMeter(ui->ProgLeft, targetLevels[0]);
    stepMeter(ui->ProgRight, targetLevels[1]);
    stepMeter(ui->SubLeft, targetLevels[2]);
    stepMeter(ui->SubRight, targetLevels[3]);
    stepMeter(ui->CrmLeft, targetLevels[4]);
    stepMeter(ui->CrmRight, targetLevels[5]);
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
