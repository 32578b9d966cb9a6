// Tool windows that this edition builds withdrawn and never opens: the
// tooltip, the frameless Scaling Percentage window with the scale factor,
// and the "DPI & Scaling" window with the two curve tools; their show, hide,
// focus and Return handlers.
#pragma once

#include <string>

#include "pyrt.h"

namespace arcflex {

// The tooltip and the Scaling Percentage window, and the four scale buttons
// of the main window's right frame (never placed).
void build_tip_and_scale_windows();
// The "DPI & Scaling" window with its entries and buttons.
void build_dpi_window();

// ---- tooltip ----------------------------------------------------------------
// Sets the tip's text; when the tip is hidden, schedules show_tip in 1000 ms
// (replacing a showing already pending).
void tt_enter(py::handle event, const std::string& message);
// Shows the tip 25 pixels right of and 10 below the pointer, raised.
void show_tip();
// Hides the tip and cancels a pending showing.
void tt_leave(py::handle event);
// The geometry text "+x+y" for a window at (x, y), "+-40+5" for (-40, 5).
std::string position_text(int x, int y);

// ---- Scaling Percentage window ----------------------------------------------
// Shows the window raised beside the pointer, with the keyboard focus.
void show_scale_window(py::handle event = py::none());
// Reads the entry as scale_factor (above 1; else 1.04, with a box when it
// was a number) and hides the window.
void hide_scale_window(py::handle event = py::none());
void scale_entry_focus_in(py::handle event = py::none());

// ---- DPI & Scaling window ---------------------------------------------------
void show_dpi_window();
void hide_dpi_window();
void old_dpi_entry_focus_in(py::handle event = py::none());
void new_dpi_entry_focus_in(py::handle event = py::none());
void dpi_entries_focus_out(py::handle event = py::none());
void dpi_entries_return(py::handle event = py::none());
void scale_x_entry_focus_in(py::handle event = py::none());
void scale_y_entry_focus_in(py::handle event = py::none());
void scale_xy_entries_focus_out(py::handle event = py::none());
void scale_xy_entries_return(py::handle event = py::none());

}  // namespace arcflex
