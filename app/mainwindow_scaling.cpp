#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "layoutscaling.h"
#include "mylabel.h"
#include "scalebackground.h"
#include "statuslamp.h"
#include "zeldigitalclock.h"
#include "zelppmmeter.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QResizeEvent>

namespace {

constexpr int CaptionPointSize = 15;
constexpr int FooterPointSize = 11;
constexpr int TimePointSize = 40;
constexpr int DatePointSize = 24;

} // namespace

void MainWindow::resizeEvent(QResizeEvent *event)
{
    // Only record: the next paint scales once, however many resizes came before it.
    windowSize = event->size();
    resizePending = true;
}

void MainWindow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (resizePending && !background->isNull())
        scaleLayout();
    const int x = (windowSize.width() - scaledBackground->width()) / 2;
    const int y = (windowSize.height() - scaledBackground->height()) / 2;
    backdrop.paint(painter);
    painter.drawPixmap(QPointF(x, y), *scaledBackground);
}

void MainWindow::scaleLayout()
{
    using namespace LayoutScaling;

    // The old copies go first, and the backdrop's full size is dropped before the background is made,
    // so that at most one window-sized picture is held at a time.
    *scaledBackground = QPixmap();
    backdrop.clear();
    // Where the background fills the window, as at the design's aspect ratio, the backdrop would
    // never show: nothing of it is kept.
    const QSize backgroundSize = background->size().scaled(windowSize, Qt::KeepAspectRatio);
    const QPoint backgroundAt((windowSize.width() - backgroundSize.width()) / 2,
                              (windowSize.height() - backgroundSize.height()) / 2);
    backdrop.scale(*backgroundEmpty, windowSize, QRect(backgroundAt, backgroundSize),
                   !background->hasAlphaChannel());
    *scaledBackground = scaleBackground->scaled(windowSize, meterOptions.scale);

    const Fit fit = fitToWindow(windowSize);

    // Each widget with the index of its design rectangle (captured in another order).
    const std::pair<QWidget *, int> scaled[ScaledWidgetCount] = {
        {ui->ProgLeft, 0},     {ui->ProgRight, 1},  {ui->SubLeft, 2},     {ui->SubRight, 3},
        {ui->CrmLeft, 4},      {ui->CrmRight, 5},   {ui->AnalogClock, 6}, {ui->DigitalClock, 7},
        {labelMeter1, 8},      {labelMeter2, 9},    {ui->timelabel, 11},  {labelMeter3, 10},
        {ui->footerlabel, 12}, {settingsLabel, 13}, {linkLamp, 14},       {timeSyncLamp, 15}};
    for (const auto &entry : scaled)
        entry.first->setGeometry(scaledRect(designGeometry[size_t(entry.second)], fit));

    QFont captionFont = labelMeter1->font();
    captionFont.setPointSize(scaledPointSize(CaptionPointSize, fit.scaleFactor));
    for (QWidget *label : {static_cast<QWidget *>(labelMeter1), static_cast<QWidget *>(labelMeter2),
                           static_cast<QWidget *>(ui->timelabel), static_cast<QWidget *>(labelMeter3)})
        label->setFont(captionFont);

    QFont footerFont = ui->footerlabel->font();
    footerFont.setPointSize(scaledPointSize(FooterPointSize, fit.scaleFactor));
    ui->footerlabel->setFont(footerFont);

    QFont timeFont = ui->DigitalClock->timeDisplayFont();
    timeFont.setPointSize(scaledPointSize(TimePointSize, fit.scaleFactor));
    ui->DigitalClock->setTimeDisplayFont(timeFont);

    QFont dateFont = ui->DigitalClock->dateDisplayFont();
    dateFont.setPointSize(scaledPointSize(DatePointSize, fit.scaleFactor));
    ui->DigitalClock->setDateDisplayFont(dateFont);

    for (ZelPPMMeter *meter :
         {ui->ProgLeft, ui->ProgRight, ui->SubLeft, ui->SubRight, ui->CrmLeft, ui->CrmRight})
        meter->calcPosition();

    resizePending = false;
    update();
}
