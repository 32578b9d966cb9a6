// The live speed display: the update loop that drains the meter's queue,
// sets the key and confirmation flags and smooths the speed, and the fill
// that paints that speed under the active curve by blitting.
#pragma once

#include "pyrt.h"

namespace arcflex {

// framerate and samplerate from the Rate and Smoothness sliders.
void display_speed(py::handle event);
// One tick of the update loop; schedules the next one in job1. An error in
// a tick is reported once per kind and the next tick still runs.
void update();
// The body of one tick without the scheduling (tests drive ticks with it).
void update_tick();
// The shaded area from x = 0 to speed under the active curve.
// Skips the drawing when it would give the pixels already on screen.
void update_fill(double speed);
// Drops the record of the last fill drawn (its Python objects).
void release_speed_display();

}  // namespace arcflex
