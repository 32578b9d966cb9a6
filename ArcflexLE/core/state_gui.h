// Module state of the editor's window and graph that only the interface
// code uses: widgets, Tk variables, graph artists beyond the curve artists,
// and the view window. Included at the end of state.h; py::object members
// start as null handles and are dropped by release_gui_objects().
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <platform/mutex.h>

#include "pyrt.h"

namespace arcflex {

// ---- start-up, process and window ------------------------------------------

// The owned "Keep_AF_Alive_Mutex"; held until the process ends.
inline std::unique_ptr<afp::NamedMutex> mutex;

// Names of the start-up steps in the order they ran (read by tests).
inline std::vector<std::string> startup_steps;

// The start-up has finished; a close request before that waits for it.
inline bool startup_done = false;
inline bool close_pending = false;

// Screen width and height in pixels.
inline std::pair<int, int> screensize{0, 0};

// Tk command names of the registered entry validators.
inline std::string validate_entry, validate_entry_neg;

inline int pan_counter = 0;
inline int key_pressed = 0;
inline int undone = 1, redone = 1;
inline double scale_factor = 1.04;
inline bool dialog_open = false;

// Frames of the main window.
inline py::object topframe, rframe, rgframe, rxframe, ryframe, leftframe;
// Repeat-scaling timer ids, None while none runs.
inline py::object scale_job, shift_job, rel_scale_job;
// Bottom panel.
inline py::object current_profile_label, axes_label, axis_slider;
inline py::object persist_enabled, persist_box, apply_button;

// ---- graph view ------------------------------------------------------------

// The figure without its animated artists, saved after every full draw.
inline py::object graph_background;
// Visible data window (low, high) of each axis, before the margin.
inline std::pair<double, double> xbounds{0.0, 0.0}, ybounds{0.0, 0.0};
// Speed fills, value marker and hover label.
inline py::object fuc, fua, fud;
inline py::object edit_marker, edit_marker_text, point_value_text;
inline py::object edit_marker_y;  // Python float
// Shift-scaling snapshot of the grabbed curve and its y floor.
inline py::object scale_snapshot, miny;

// Drops every Python object above.
inline void release_gui_objects() {
  for (py::object* o : {&topframe, &rframe, &rgframe, &rxframe, &ryframe, &leftframe, &scale_job,
                        &shift_job, &rel_scale_job, &current_profile_label, &axes_label,
                        &axis_slider, &persist_enabled, &persist_box, &apply_button,
                        &graph_background, &fuc, &fua, &fud, &edit_marker, &edit_marker_text,
                        &point_value_text, &edit_marker_y, &scale_snapshot, &miny}) {
    *o = py::object();
  }
}

}  // namespace arcflex
