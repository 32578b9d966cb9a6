// The add-point window ("Add Point") and the edit-point window ("Point
// Coordinates"): built withdrawn at start-up, shown at the pointer.
#pragma once

#include "pyrt.h"

namespace arcflex {

inline py::object add_window, add_window_frame, add_point_button, add_edge_button;
inline py::object edit_window, edit_window_frame, delete_button;

void build_point_windows();
void release_point_windows();

void show_add_window();
void hide_add_window(py::handle event = py::none());
void show_edit_window(int x, int y);
void hide_edit_window(py::handle event = py::none());

}  // namespace arcflex
