// The main window: its process-wide display settings, its bindings and
// frames, the bottom panel with the Apply button, and how it is shown.
#pragma once

#include <string>
#include <utility>

#include "pyrt.h"

namespace arcflex {

// Windows user-interface calls of the editor. On Windows they go to the user
// library through ctypes; where there is no such thing (X11) they do nothing
// or ask Tk instead, so the start-up never fails on them.
namespace winui {
void set_process_dpi_aware();
// Width and height of the primary screen in pixels.
std::pair<int, int> screen_size(py::handle root);
// Gives the main window's frame a minimise box and no maximise box.
void set_minimize_only_frame(py::handle root);
// window.wm_attributes(name, value), except for attributes that exist only
// on Windows ("-transparentcolor", "-disabled", "-toolwindow"), which are
// skipped elsewhere instead of raising.
void wm_attribute(py::handle window, const std::string& name, py::handle value);
// Whether the editor runs on Windows.
bool on_windows();
}  // namespace winui

// The Tk scaling (pixels per point) for a text-scaling percentage.
double tk_scaling_for(int gui_scaling_factor);

// Main window settings: DPI awareness, screensize, Tk scaling, close
// request, background and title.
void configure_main_window();
// Window-state bindings, validators, key-state counters and key bindings.
void bind_main_window();
// topframe, rframe, rgframe, rxframe, ryframe and leftframe.
void build_frames();
// The bottom panel: labels and slider never placed, the Apply button shown.
void build_panel();

// Shows the main window once the whole interface exists and fixes its size
// limits.
void show_root();
// Keeps root_window_iconified in step with the main window's state.
void configure_root_window(py::handle event);

// Hover colour of the Apply button.
void apply_button_enter(py::handle event);
void apply_button_leave(py::handle event);

// What the main window's close request runs: ends the main loop by
// destroying the root window.
void close_main_window();

}  // namespace arcflex
