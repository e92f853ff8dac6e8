#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

#include <array>

// What the display should show, worked out independently of the program: the design layout,
// its scaling to a window size, and the meters' fourth-root scale and colours.
namespace DisplayModel {

constexpr QSize DesignSize(986, 580);
// Where the central widget, and with it every form widget, starts in the window: the form's menu bar
// has no menus and takes no height, so form widgets and the window's own labels share one origin.
constexpr int CentralWidgetTop = 0;

struct Meter
{
    const char *name;
    QRect design; // relative to the central widget
};
constexpr int MeterCount = 6;
extern const std::array<Meter, MeterCount> Meters;

// Design rectangles of the window's own labels (relative to the window) and of form widgets
// (relative to the central widget).
constexpr QRect LabelMeter1(44, 502, 121, 31);
constexpr QRect LabelMeter2(194, 502, 131, 31);
constexpr QRect LabelMeter3(830, 502, 101, 31);
constexpr QRect AnalogClock(348, 85, 410, 410);
constexpr QRect DigitalClock(348, 260, 410, 111);

struct Scaling
{
    float factor = 1.0f;
    int offsetX = 0;
    int offsetY = 0;
};
Scaling scalingFor(const QSize &window);
// A design rectangle scaled into its parent's coordinates.
QRect scaled(const QRect &design, const Scaling &scaling);
// A form widget's rectangle in window coordinates.
QRect formWidgetInWindow(const QRect &design, const Scaling &scaling);

// Fourth-root scale from -50 to +5 dB.
int barLength(int height, double levelDb);
// The level in the middle of the range that gives this bar length.
double levelForBarLength(int height, int length);

// Meter colours: bar from MinColor (lower half) through a gradient to MaxColor at the top;
// unlit background from MinBackgroundColor through a gradient to MaxBackgroundColor.
QColor expectedBarColour(int height, int rowFromTop);
QColor expectedBackgroundColour(int height, int rowFromTop);

struct MeterReading
{
    bool ok = false;
    int barLength = -1;
    QString problem; // why the area does not look like a meter showing one level
};
// Reads a meter's bar from a screenshot: checks that exactly the rectangle is painted in meter
// colours (the pixels just outside are not), that the lit part is one run up from the bottom in
// the bar colours and the rest in the background colours.
MeterReading readMeter(const QImage &image, const QRect &meter);

// Bounding box of near-white pixels (text) in an area; empty when there are none.
QRect whiteBox(const QImage &image, const QRect &area);
// Number of pixels in the area within tolerance of the colour.
int countColour(const QImage &image, const QRect &area, const QColor &colour, int tolerance);
// Mean colour of the pixels in an area.
QColor meanColour(const QImage &image, const QRect &area);

} // namespace DisplayModel
