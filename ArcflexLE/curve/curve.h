// The curve model: validity of a curve, the default curve, the clamped
// B-spline built from the control points and sampled with SciPy, the lookup
// values and single values read off the samples, the per-axis applied
// curves, the tail and its alignment, the point markers and the option rules.
//
// A curve is three equal-length Python lists (x, y, corner flags), tail end
// point last; the points before it are the spline's control points. Every
// function here runs on the GUI thread and works on the state in state.h.
#pragma once

#include "pyrt.h"

namespace arcflex {

struct AF_HIDDEN Curve {
  py::list x, y, corners;
};

// ---- points and validation -------------------------------------------------

// Makes tx, ty (the list objects themselves) the edited curve's x and y,
// rebuilds xy and gives the points to line, point_marker_line and
// edge_marker_line. Touches neither corners nor the spline.
void set_xy(py::object tx, py::object ty);

// The rule set of an ordinary curve; y may fall only while negative_accel
// is 1. Never raises once x has a length: an error inside ends the tests
// and the verdict reached so far is returned. NaN or an infinite x or y
// makes the curve invalid.
bool points_are_valid(py::handle x, py::handle y, py::handle corners);
// The same rules without the order of y.
bool neg_points_are_valid(py::handle x, py::handle y, py::handle corners);

// x [0, 10, 30, 40], y [0.5, 1, 1, 1], corners [0, 0, 0, 0]; new lists on
// every call.
Curve get_default_points();

// ---- spline and sampling ---------------------------------------------------

// True when a corner flag marks an edge point: only a flag equal to 1 does.
bool is_edge_flag(py::handle flag);

// Knot and sample sizing for n control points and the corner flags.
struct SplineSize {
  int samples = 0;
  int balance = 0;
};
SplineSize spline_size(int n, py::handle corners);
py::object param_values(const SplineSize& size);  // the u3 array
py::object knot_vector(const SplineSize& size);   // the t array

// [t, [xs, ys], k] from a curve's points (tail end point last), its flags,
// a knot vector and its control-point count: edge points tripled (every
// point when numverts < 3), degree from the polygon's length clamped to 2..3.
py::list tck_from_points(py::handle px, py::handle py_, py::handle corners, py::handle t,
                         int numverts);
// The same for a point artist (its x and y data).
py::list get_tck(py::handle line, py::handle corners, py::handle t, int numverts);

// splev of tck at u, with the leading sample at x = 0 put in front:
// [xs, ys]. Raises std::runtime_error when the control polygon holds fewer
// coefficients than the knot vector needs (SciPy would read past it).
py::list evaluate_spline(py::handle u, py::handle tck);

// numverts, samples, sample_balance, u3, t from line and corners.
void redefine_spline();
// tck and out from line, corners, t, numverts, u3; spline data; arrow
// from xy[numverts - 1] to xy[numverts]. Draws nothing.
void update_spline();

// The y at x = 0, 1, 2, ... by linear interpolation of the samples [xs, ys].
py::list eval_spline_list(py::handle samples_xy);

// The edited curve's y at xval: interpolated between samples, along the
// tail line beyond the last sample (or while numverts < 2), the first
// sample's y left of x = 0.
py::object find_y_given(py::handle xval);

// Rebuild everything derived from one applied per-axis curve.
void set_horizontal_line();
void set_vertical_line();

// ---- tail and markers ------------------------------------------------------

// Markers: line on the tail end point, point_marker_line on plain control
// points, edge_marker_line on edge points.
void set_line_markers();
// slope of the active curve's tail; 0 when the tail is vertical.
void find_slope();
// Moves the tail end point along the direction in which the spline ends,
// bounded. Returns false, changing nothing, when the curve has fewer than
// three points or a bound would need a division by a zero slope.
bool align_tail();
// align_tail(), then a full draw of the canvas when the curve changed.
void align_tail_redraw();

// ---- option rules ----------------------------------------------------------

void allow_negative_accel();
void enforce_boundaries();
void check_use_dpu();
void set_use_dpu(double mft);
void check_pitch_var();
void set_pitch_var(double p);

// Makes limit the largest coordinate: a tail end point beyond it scales the
// curve down by limit / upperbound first; then the bound lines move and the
// view is brought within the new bound (check_viewbounds).
void set_upper_bound(int limit);

}  // namespace arcflex
