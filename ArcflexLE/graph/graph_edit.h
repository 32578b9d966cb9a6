// Editing on the graph: picking points, the mouse buttons, dragging single
// points and groups, Shift scaling, zoom and pan, the keys on the canvas and
// the main window's keyboard shortcuts.
#pragma once

#include <vector>

#include "pyrt.h"

namespace arcflex {

// The points of the edited curve under the event (display pixels), by the
// G, B and Shift rules; empty while the graph is suspended.
std::vector<int> select_verts(py::handle event);
// The Shift-scaling snapshot of the grabbed curve (scale_snapshot, miny).
void get_scale_snapshot();

void button_press_callback(py::handle event);
void button_release_callback(py::handle event);
void motion_notify_callback(py::handle event);
void scroll_callback(py::handle event);
void key_press_callback(py::handle event);
void key_release_callback(py::handle event);

// One zoom step in (true) or out about the pointer or the origin.
void zoom_step(bool zoom_in, py::handle xdata, py::handle ydata);
void pan(double xpress, double ypress, double event_x, double event_y);

// Main-window shortcuts, by virtual-key code.
void press_key(int keycode);
void release_key(int keycode);
void press_mouse_wheel();
void release_modifiers();

// Hides the edited curve's dashed line, its point markers and the hover
// label (the spline stays).
void hide_edit_curve_points();

// Connects the canvas handlers (after the draw handler) and binds the
// main window's keys and middle button.
void connect_graph_handlers();
// Tk key events of the main window and the edit-point window; on X11 the
// release half of an auto-repeat pair is dropped.
void on_tk_key_press(py::handle event);
void on_tk_key_release(py::handle event);

}  // namespace arcflex
