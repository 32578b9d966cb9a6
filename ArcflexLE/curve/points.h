// Adding and deleting control points of the edited curve, and the two
// right-click pop-ups that lead to them.
#pragma once

#include "pyrt.h"

namespace arcflex {

// A point at the event's data position on the lead-in or on the hit segment
// of the control polygon; is_corner 1 makes it an edge point.
void add_point(py::handle event, int is_corner);
// Deletes the point last_index (when it is a point of the curve and more
// than minverts control points remain), then withdraws the edit window.
void del_point();
void do_apopup(int x, int y, py::handle event);
void do_dpopup(int x, int y);

}  // namespace arcflex
