// The apply transaction and its end: Apply and Apply defaults, the GUI
// suspension, the wait for the driver's confirmation, the confirm window's
// countdown, the revert and the redo, and the two Options check buttons.
#pragma once

#include <string>

namespace arcflex {

// Writes "p.dat" from the applied curve, redraws, sends "load" and takes
// the redo snapshot; the caller then waits for the driver.
void send_applied_curve();
void pressed_apply();
void apply_changes();
void make_changes();
void apply_defaults();

void suspend();
void unsuspend();
void set_zoom_to_location();
void set_show_point_values();
void undo_changes();
void redo_changes();

// Once "p.dat" holds a new applied curve (a preset or a converted curve):
// the meter is told to load it, the undo snapshot becomes the one to
// restore, the GUI is suspended and the driver wait begins.
void load_and_wait_for_driver();
void wait_for_driver(int time_remaining);
void wait_for_driver_to_revert(int time_remaining);
void confirm_changes_popup();
void confirm_countdown(int time_remaining);
// confirmed: OK was pressed, so the curve the change replaced is no longer
// kept (a box says so when it cannot be removed); false after a time-out,
// whose take-back already settled the kept file.
void end_confirm_countdown(bool confirmed = true);
// The countdown stopped and the confirm window withdrawn, nothing decided:
// for an end of the editor that takes the change back itself.
void withdraw_confirm_window();
void revert_settings();
void redo_settings();

// The countdown label for time_remaining ticks of 100 ms.
std::string countdown_text(int time_remaining);
// The confirm window's position string ("+x+y") from the sizes the window
// system reports: the window (w, h), the main window, the screen and the
// pointer's x.
std::string confirm_position(int w, int h, int rx, int ry, int rw, int rh, int sw, int sh, int px);

// Number of flag tests the driver waits have made since start (tests).
int driver_wait_polls();

}  // namespace arcflex
