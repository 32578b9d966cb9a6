// The graph: the matplotlib figure on its Tk canvas with every curve artist,
// the view window and its redraw by blitting, the value marker and the hover
// label.
#pragma once

#include "pyrt.h"

namespace arcflex {

// The figure, its canvas in rgframe, the canvas connections and the
// edited curve's artists and spline.
void build_figure();
// The applied curve, the per-axis and other-axis curves, the speed fills,
// the value marker and hover label, the axis and bound lines, all added to
// the axes in drawing order, and the axes' grid, frame and ticks.
void build_applied_curves();

// Fits the view window to the curve (plain, tight or the active curve by
// the Shift/Ctrl state and the "Zoom to location" option), then shows it.
void rescale_view();
// Brings xbounds/ybounds inside [0, upperbound], sets the axes limits with
// the margin and makes a full draw.
void check_viewbounds();
// After every full draw: saves the background and paints the animated
// artists over it, then blits.
void draw_callback(py::handle event);
// Paints the animated curve artists in their fixed order (no fills).
void draw_curve_artists();

// The value marker at speed xdata (None: nothing changes).
void draw_marker(py::handle xdata);
// The hover label for the first index of tvind; an empty list hides it.
void draw_point_values(py::handle event, py::handle tvind);

}  // namespace arcflex
