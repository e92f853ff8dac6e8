#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "layoutscaling.h"
#include "mylabel.h"
#include "scalebackground.h"
#include "statuslamp.h"
#include "walldisplay.h"
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
    // The next paint lays out once, however many resizes came before it.
    windowSize = event->size();
    resizePending = true;
    // The pictures are made here, not in that paint: Qt grows the backing store to the new size only
    // after this event, so the window-sized picture the scaling goes through (32 MB at 3840 x 2160)
    // is never held beside the grown store (33 MB more). A hidden window gets its resizes as one,
    // when it is shown; a shown one is repainted after each.
    if (!background->isNull())
        scalePictures();
}

void MainWindow::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    if (resizePending && !background->isNull())
        scaleLayout(event->region());
    const QRect area = wallDisplay->pictureArea(windowSize);
    const QPoint at(area.x() + (area.width() - scaledBackground.width()) / 2,
                    area.y() + (area.height() - scaledBackground.height()) / 2);
    backdrop.paint(painter, event->region());
    scaledBackground.paint(painter, at, event->region());
}

void MainWindow::scaleLayout(const QRegion &painting)
{
    using namespace LayoutScaling;

    scalePictures();
    const QRect area = wallDisplay->pictureArea(windowSize);
    Fit fit = fitToWindow(area.size());
    fit.offsetX += area.x();
    fit.offsetY += area.y();

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
    // A pass in a repaint of part of the window (a clock's new second came first) leaves the rest
    // to a whole one.
    if (painting.boundingRect() != rect())
        update();
}

void MainWindow::scalePictures()
{
    // The picture area: the window, or less the pixel shift's reach. A step of the shift only moves
    // the picture: its pixmaps stay, and the clocks and meters are not held up by scaling them again.
    const QRect area = wallDisplay->pictureArea(windowSize);
    if (scaledFor != std::pair(windowSize, area.size())) {
        scaledFor = {windowSize, area.size()};
        // The old copies go first, and the backdrop's full size is dropped before the background is
        // made, so that at most one window-sized picture is held at a time.
        scaledBackground = RowRunImage();
        backdrop.clear();
        // The backdrop is kept wherever the background may leave the window bare: beside it, and with
        // the pixel shift, the reach's margin along its edges. Where the background fills the window,
        // as at the design's aspect ratio, nothing of it is kept.
        const int reach = (windowSize.width() - area.width()) / 2;
        const QSize backgroundSize = background->size().scaled(area.size(), Qt::KeepAspectRatio);
        const QPoint backgroundAt((windowSize.width() - backgroundSize.width()) / 2,
                                  (windowSize.height() - backgroundSize.height()) / 2);
        backdrop.scale(
            *backgroundEmpty, windowSize,
            QRect(backgroundAt, backgroundSize).marginsRemoved(QMargins(reach, reach, reach, reach)),
            !background->hasAlphaChannel());
        scaledBackground = scaleBackground->scaled(area.size(), meterOptions.scale);
    }
}
