// kolvane-gallery: the meters, the analog clock and the digital clock as the main window sets
// them up at start, on a dark ground, laid out like the window. Run by hand:
//   kolvane-gallery                    live window; the clocks follow the system clock
//   kolvane-gallery --screenshot F.png  writes one picture of the gallery and exits

#include "startuplook.h"
#include "zelanalogclock.h"
#include "zeldigitalclock.h"
#include "zelppmmeter.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLabel>
#include <QPalette>
#include <QWidget>

namespace {

const QColor ground(24, 24, 28);
const QSize gallerySize(986, 580);

struct MeterSample
{
    QRect geometry;
    double level;
};

// Programme and sub meters at the window's design size, the control-room pair smaller, at a
// spread of levels below, at and above half height and 0 dB.
const MeterSample meterSamples[] = {
    {QRect(54, 73, 12, 415), -40.0}, {QRect(143, 73, 12, 415), -20.0}, {QRect(210, 73, 12, 415), 0.0},
    {QRect(299, 73, 12, 415), 5.0},  {QRect(844, 199, 8, 291), -10.0}, {QRect(907, 199, 8, 291), -50.0},
};

void addMeter(QWidget *parent, const MeterSample &sample)
{
    auto *meter = new ZelPPMMeter(parent);
    meter->setGeometry(sample.geometry);
    meter->setGradientForground(true);
    meter->setRawdBPosition(sample.level);
    meter->calcPosition();

    auto *caption = new QLabel(QString("%1 dB").arg(sample.level), parent);
    caption->setStyleSheet("color: rgb(255, 255, 255);");
    caption->setAlignment(Qt::AlignCenter);
    const QRect g = sample.geometry;
    caption->setGeometry(g.center().x() - 30, g.bottom() + 8, 60, 20);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("The Kolvane Meters display widgets with their start-up look.");
    parser.addHelpOption();
    const QCommandLineOption screenshot("screenshot", "Write a picture of the gallery to <file> and exit.",
                                        "file");
    parser.addOption(screenshot);
    parser.process(app);

    QWidget gallery;
    gallery.setWindowTitle("Kolvane Meters widget gallery");
    gallery.setFixedSize(gallerySize);
    QPalette palette = gallery.palette();
    palette.setColor(QPalette::Window, ground);
    gallery.setPalette(palette);
    gallery.setAutoFillBackground(true);

    for (const MeterSample &sample : meterSamples)
        addMeter(&gallery, sample);
    // As in the window: the digital clock lies under the analog clock's centre.
    auto *digitalClock = new ZelDigitalClock(&gallery);
    digitalClock->setGeometry(348, 260, 410, 111);
    StartupLook::apply(digitalClock);
    auto *analogClock = new ZelAnalogClock(&gallery);
    analogClock->setGeometry(348, 85, 410, 410);
    StartupLook::apply(analogClock);

    if (parser.isSet(screenshot)) {
        analogClock->checkTime();
        digitalClock->checkTime();
        const QString file = parser.value(screenshot);
        if (!gallery.grab().save(file)) {
            qCritical("Cannot write %s", qPrintable(file));
            return 1;
        }
        return 0;
    }

    gallery.show();
    return app.exec();
}
