// Module state of the tooltip, the Scaling Percentage window and the
// "DPI & Scaling" window: built withdrawn at start-up; every py::object
// here starts as a null handle and is dropped by release_scale_objects().
#pragma once

#include "pyrt.h"

namespace arcflex {

// Tooltip: the pending show timer (None when none was scheduled), the
// frameless window and its label.
inline py::object tts, tt_window, tt_label;

// Scaling Percentage window; scale_factor itself lives with the main
// window's state.
inline py::object scale_window, scale_percent_label, scale_entry;
// The "+" and "-" buttons of the main window's scale frames, never placed.
inline py::object scale_x_up_button, scale_x_down_button, scale_y_up_button, scale_y_down_button;

// "DPI & Scaling" window.
inline py::object dpi_window;
inline py::object old_dpi_label, old_dpi_entry, new_dpi_label, new_dpi_entry, convert_button;
inline py::object scale_x_label, scale_x_entry, scale_y_label, scale_y_entry, scale_button;

// The edited curve (x and y lists, edge flags) as it stood before a DPI
// conversion that waits for its confirmation: a revert gives it back.
inline py::object dpi_edit_x, dpi_edit_y, dpi_edit_corners;

inline void release_scale_objects() {
  for (py::object* o : {&dpi_edit_x, &dpi_edit_y, &dpi_edit_corners, &tts, &tt_window, &tt_label, &scale_window, &scale_percent_label, &scale_entry,
                        &scale_x_up_button, &scale_x_down_button, &scale_y_up_button, &scale_y_down_button,
                        &dpi_window, &old_dpi_label, &old_dpi_entry, &new_dpi_label, &new_dpi_entry,
                        &convert_button, &scale_x_label, &scale_x_entry, &scale_y_label, &scale_y_entry,
                        &scale_button}) {
    *o = py::object();
  }
}

}  // namespace arcflex
