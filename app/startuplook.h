#pragma once

class ZelAnalogClock;
class ZelDigitalClock;

// The clocks' look on the studio display, shared by the window and the widget gallery.
namespace StartupLook {

void apply(ZelAnalogClock *clock);
void apply(ZelDigitalClock *clock);

} // namespace StartupLook
