#include "curve.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "graph.h"
#include "state.h"

namespace arcflex {

namespace {

// A new list holding the items of any sequence (never the same object).
py::list new_list(py::handle seq) {
  PyObject* l = PySequence_List(seq.ptr());
  if (!l) throw py::error_already_set();
  return py::reinterpret_steal<py::list>(l);
}

py::object item(py::handle seq, Py_ssize_t i) {
  PyObject* o = PySequence_GetItem(seq.ptr(), i);
  if (!o) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(o);
}

bool compare(py::handle a, py::handle b, int op) {
  int r = PyObject_RichCompareBool(a.ptr(), b.ptr(), op);
  if (r < 0) throw py::error_already_set();
  return r == 1;
}
bool gt(py::handle a, py::handle b) { return compare(a, b, Py_GT); }
bool lt(py::handle a, py::handle b) { return compare(a, b, Py_LT); }

double num(py::handle h) { return h.cast<double>(); }

Py_ssize_t length(py::handle h) { return static_cast<Py_ssize_t>(py::len(h)); }

// True when h is a number whose value is NaN or infinite.
bool non_finite(py::handle h) {
  if (!PyNumber_Check(h.ptr())) return false;
  PyObject* f = PyNumber_Float(h.ptr());
  if (!f) {
    PyErr_Clear();
    return false;
  }
  double v = PyFloat_AsDouble(f);
  Py_DECREF(f);
  return !std::isfinite(v);
}

std::vector<double> doubles(py::handle seq) { return seq.cast<std::vector<double>>(); }

py::list pairs(py::handle xs, py::handle ys) {
  py::list result;
  Py_ssize_t n = std::min(length(xs), length(ys));
  for (Py_ssize_t i = 0; i < n; ++i) result.append(py::make_tuple(item(xs, i), item(ys, i)));
  return result;
}

// Gives the point pairs to a line artist as its x list and y list.
void set_line_data(py::handle artist, py::handle point_pairs) {
  py::list xs, ys;
  for (py::handle p : point_pairs) {
    xs.append(item(p, 0));
    ys.append(item(p, 1));
  }
  artist.attr("set_data")(xs, ys);
}

bool validity(py::handle x, py::handle y, py::handle corners, bool order_rule) {
  const Py_ssize_t n_points = length(x);  // raises to the caller
  const Py_ssize_t nverts = n_points - 1;
  bool valid = true;
  try {
    valid = length(x) == length(y);
    if (valid) valid = length(x) == length(corners);
    // NaN passes every comparison below: refuse non-finite values first.
    for (py::handle seq : {x, y}) {
      for (py::handle v : seq) {
        if (non_finite(v)) valid = false;
      }
    }
    const py::int_ ub(upperbound), zero(0);
    if (nverts > maxverts) {
      valid = false;
    } else if (nverts < minverts) {
      valid = false;
    } else if (valid) {
      const bool order = order_rule && negative_accel == 0;
      for (Py_ssize_t i = 0; i < nverts; ++i) {
        py::object xi = item(x, i), yi = item(y, i);
        if (gt(xi, item(x, i + 1)) || gt(yi, ub) || lt(yi, zero) ||
            (order && gt(yi, item(y, i + 1)))) {
          valid = false;
        }
      }
    }
    if (lt(item(x, 0), zero)) valid = false;
    py::object x_last = item(x, nverts), y_last = item(y, nverts);
    if (gt(x_last, ub) || gt(y_last, ub) || lt(y_last, zero)) valid = false;
  } catch (const py::error_already_set&) {
  } catch (const std::exception&) {
  }
  return valid;
}

py::object linspace(int count) { return np().attr("linspace")(0, 1, count); }

py::list xs_of(py::handle artist) { return new_list(artist.attr("get_xdata")()); }
py::list ys_of(py::handle artist) { return new_list(artist.attr("get_ydata")()); }

// One applied per-axis curve: pairs, holder line, spline and tail arrow.
void rebuild_axis_curve(py::handle cx, py::handle cy, py::handle ccorners, py::object& cxy,
                        py::handle cline, int& cnumverts, py::object& cout,
                        py::handle cspline, py::handle carrow) {
  cxy = pairs(cx, cy);
  set_line_data(cline, cxy);
  cnumverts = static_cast<int>(length(cline.attr("get_xdata")())) - 1;
  SplineSize size = spline_size(cnumverts, ccorners);
  py::object cu = param_values(size);
  py::object ct = knot_vector(size);
  py::list ctck = get_tck(cline, ccorners, ct, cnumverts);
  cout = evaluate_spline(cu, ctck);
  cspline.attr("set_data")(item(cout, 0), item(cout, 1));
  carrow.attr("set_positions")(item(cxy, cnumverts - 1), item(cxy, cnumverts));
}

}  // namespace

// ---- points and validation -------------------------------------------------

void set_xy(py::object tx, py::object ty) {
  x = tx;
  y = ty;
  xy = pairs(tx, ty);
  set_line_data(line, xy);
  set_line_data(point_marker_line, xy);
  set_line_data(edge_marker_line, xy);
}

bool points_are_valid(py::handle x_, py::handle y_, py::handle corners_) {
  return validity(x_, y_, corners_, true);
}

bool neg_points_are_valid(py::handle x_, py::handle y_, py::handle corners_) {
  return validity(x_, y_, corners_, false);
}

Curve get_default_points() {
  Curve c;
  for (int v : {0, 10, 30, 40}) c.x.append(v);
  c.y.append(0.5);
  for (int i = 0; i < 3; ++i) c.y.append(1);
  for (int i = 0; i < 4; ++i) c.corners.append(0);
  return c;
}

// ---- spline and sampling ---------------------------------------------------

bool is_edge_flag(py::handle flag) { return compare(flag, py::int_(1), Py_EQ); }

SplineSize spline_size(int n, py::handle corners_) {
  int edges = 0;
  for (py::handle f : corners_) {
    if (is_edge_flag(f)) ++edges;
  }
  if (n == 1 || (n == 3 && edges == 0)) return {0, 0};
  if (n == 2) return {3, 0};
  return {n - 2 + 2 * edges, 1};
}

py::object param_values(const SplineSize& size) {
  return linspace(128 + 32 * (size.samples - size.balance));
}

py::object knot_vector(const SplineSize& size) {
  py::list head, tail;
  for (int i = 0; i < 3; ++i) {
    head.append(0.0);
    tail.append(1.0);
  }
  return np().attr("concatenate")(py::make_tuple(head, linspace(size.samples), tail));
}

py::list tck_from_points(py::handle px, py::handle py_, py::handle corners_, py::handle t_,
                         int numverts_) {
  py::list all_x = new_list(px), all_y = new_list(py_);
  py::list xs, ys;
  for (Py_ssize_t i = 0; i + 1 < length(all_x); ++i) xs.append(all_x[i]);
  for (Py_ssize_t i = 0; i + 1 < length(all_y); ++i) ys.append(all_y[i]);

  py::list flags = new_list(corners_);
  Py_ssize_t i = 0;
  for (Py_ssize_t f = 0; f + 1 < length(flags); ++f) {
    if (is_edge_flag(flags[f]) || numverts_ < 3) {
      py::object vx = item(xs, i), vy = item(ys, i);
      xs.insert(i + 1, vx);
      xs.insert(i + 1, vx);
      ys.insert(i + 1, vy);
      ys.insert(i + 1, vy);
      i += 2;
    }
    i += 1;
  }
  Py_ssize_t k = length(xs) - 1;
  k = std::clamp<Py_ssize_t>(k, 2, 3);
  py::list coeffs;
  coeffs.append(xs);
  coeffs.append(ys);
  py::list result;
  result.append(t_);
  result.append(coeffs);
  result.append(py::int_(k));
  return result;
}

py::list get_tck(py::handle line_, py::handle corners_, py::handle t_, int numverts_) {
  return tck_from_points(line_.attr("get_xdata")(), line_.attr("get_ydata")(), corners_, t_,
                         numverts_);
}

py::list evaluate_spline(py::handle u, py::handle tck_) {
  const Py_ssize_t knots = length(item(tck_, 0));
  const Py_ssize_t degree = item(tck_, 2).cast<Py_ssize_t>();
  const Py_ssize_t needed = knots - degree - 1;
  for (py::handle c : item(tck_, 1)) {
    const Py_ssize_t have = length(c);
    if (have < needed) {
      throw std::runtime_error("spline control polygon has " + std::to_string(have) +
                               " coefficients, its " + std::to_string(knots) +
                               " knots of degree " + std::to_string(degree) + " need " +
                               std::to_string(needed));
    }
  }
  py::object res = splev_fn()(u, tck_);
  py::object xs = item(res, 0), ys = item(res, 1);
  py::list result;
  result.append(np().attr("insert")(xs, 0, 0));
  result.append(np().attr("insert")(ys, 0, item(ys, 0)));
  return result;
}

void redefine_spline() {
  numverts = static_cast<int>(length(line.attr("get_xdata")())) - 1;
  SplineSize size = spline_size(numverts, corners);
  samples = size.samples;
  sample_balance = size.balance;
  u3 = param_values(size);
  t = knot_vector(size);
}

void update_spline() {
  tck = get_tck(line, corners, t, numverts);
  out = evaluate_spline(u3, tck);
  spline.attr("set_data")(item(out, 0), item(out, 1));
  arrow.attr("set_positions")(item(xy, numverts - 1), item(xy, numverts));
}

py::list eval_spline_list(py::handle samples_xy) {
  const std::vector<double> xs = doubles(item(samples_xy, 0));
  const std::vector<double> ys = doubles(item(samples_xy, 1));
  py::list yvals;
  if (ys.empty()) return yvals;
  yvals.append(py::float_(ys[0]));
  long j = 1;
  std::size_t i = 1;
  while (i < xs.size() && i < ys.size()) {
    if (xs[i] >= static_cast<double>(j)) {
      double ratio = 0.0;
      if (xs[i] - xs[i - 1] > 0) ratio = (static_cast<double>(j) - xs[i - 1]) / (xs[i] - xs[i - 1]);
      yvals.append(py::float_(ys[i - 1] + ratio * (ys[i] - ys[i - 1])));
      ++j;
    } else {
      ++i;
    }
  }
  return yvals;
}

py::object find_y_given(py::handle xval) {
  const double xv = num(xval);
  const std::vector<double> xs = doubles(item(out, 0));
  const std::vector<double> ys = doubles(item(out, 1));
  if (xs.empty() || xv > xs.back() || numverts < 2) {
    py::list lx = xs_of(line), ly = ys_of(line);
    py::object x0 = item(lx, numverts - 1), x1 = item(lx, numverts);
    py::object y0 = item(ly, numverts - 1), y1 = item(ly, numverts);
    if (compare(x0, x1, Py_EQ)) return y0;
    const double tslope = (num(y1) - num(y0)) / (num(x1) - num(x0));
    return py::float_(tslope * (xv - num(x0)) + num(y0));
  }
  std::size_t above = 0;
  bool found = false;
  for (std::size_t i = 0; i < xs.size(); ++i) {
    if (xs[i] == xv) return py::float_(ys[i]);
    if (xs[i] > xv) {
      above = i;
      found = true;
      break;
    }
  }
  // Left of the leading sample (x below 0) the curve is the flat lead-in.
  if (!found || above == 0) return py::float_(ys[0]);
  const std::size_t below = above - 1;
  if (xs[above] - xs[below] <= 0) return py::float_(ys[below]);
  const double ratio = (xv - xs[below]) / (xs[above] - xs[below]);
  return py::float_(ys[below] + ratio * (ys[above] - ys[below]));
}

void set_horizontal_line() {
  rebuild_axis_curve(horizontal_x, horizontal_y, horizontal_corners, horizontal_xy,
                     horizontal_line, horizontal_numverts, horizontal_out, horizontal_spline,
                     horizontal_arrow);
}

void set_vertical_line() {
  rebuild_axis_curve(vertical_x, vertical_y, vertical_corners, vertical_xy, vertical_line,
                     vertical_numverts, vertical_out, vertical_spline, vertical_arrow);
}

// ---- tail and markers ------------------------------------------------------

void set_line_markers() {
  const Py_ssize_t n = length(corners);
  py::list tail_point, edge_points, reg_points;
  tail_point.append(n - 1);
  for (Py_ssize_t i = 0; i + 1 < n; ++i) {
    if (is_edge_flag(item(corners, i))) {
      edge_points.append(i);
    } else {
      reg_points.append(i);
    }
  }
  line.attr("set_markevery")(tail_point);
  point_marker_line.attr("set_markevery")(reg_points);
  edge_marker_line.attr("set_markevery")(edge_points);
}

void find_slope() {
  py::list xs = xs_of(active_line), ys = ys_of(active_line);
  const int n = active_numverts;
  const double dx = num(item(xs, n)) - num(item(xs, n - 1));
  if (dx == 0) {
    slope = 0.0;
  } else {
    slope = (num(item(ys, n)) - num(item(ys, n - 1))) / dx;
  }
}

namespace {

// A coordinate of the moved tail end point: a computed real, or a value
// taken over as it is (so a whole number stays whole).
struct Coord {
  double v = 0.0;
  py::object same;  // set when the value is an existing object
  void set(double value) {
    v = value;
    same = py::object();
  }
  void take(py::object o) {
    v = num(o);
    same = std::move(o);
  }
  py::object obj() const { return same ? same : py::float_(v); }
};

}  // namespace

bool align_tail() {
  const std::vector<double> sx = doubles(item(out, 0));
  const std::vector<double> sy = doubles(item(out, 1));
  double tslope = 0.0;
  const std::size_t m = std::min(sx.size(), sy.size());
  if (m >= 2 && sx[m - 1] != sx[m - 2]) tslope = (sy[m - 1] - sy[m - 2]) / (sx[m - 1] - sx[m - 2]);

  py::list tx = xs_of(line), ty = ys_of(line);
  const Py_ssize_t n = length(tx);
  if (n < 3) return false;
  py::object prev_x_obj = item(tx, n - 2), prev_y_obj = item(ty, n - 2);
  const double prev_x = num(prev_x_obj), prev_y = num(prev_y_obj);

  const double angle = std::atan(tslope);
  const double radius = 0.25 * std::max(prev_x, prev_y);
  Coord last_x, last_y;
  last_x.set(prev_x + radius * std::cos(angle));
  last_y.set(prev_y + radius * std::sin(angle));

  const double s = std::sin(angle);
  if (s == 0 || std::fabs(s) == 1) {
    last_y.take(prev_y_obj);
    if (prev_x == 0) {
      last_x.take(py::int_(1));
    } else {
      last_x.set(1.25 * prev_x);
    }
  } else {
    if (last_x.v > 1.25 * prev_x) {
      last_x.set(1.25 * prev_x);
      last_y.set((last_x.v - prev_x) * tslope + prev_y);
    }
    if (std::fabs(last_y.v - prev_y) > 0.25 * prev_y) {
      last_y.set(tslope > 0 ? 1.25 * prev_y : 0.8 * prev_y);
      last_x.set((last_y.v - prev_y) / tslope + prev_x);
    }
  }

  // Clamps along the tangent line; one that would divide by a zero slope
  // leaves the curve as it was.
  const double ub = upperbound;
  if (last_x.v > ub) {
    last_x.take(py::int_(upperbound));
    last_y.set((last_x.v - prev_x) * tslope + prev_y);
  }
  if (last_y.v > ub) {
    if (tslope == 0) return false;
    last_y.take(py::int_(upperbound));
    last_x.set((last_y.v - prev_y) / tslope + prev_x);
  }
  if (last_y.v < 0) {
    if (tslope == 0) return false;
    last_y.take(py::int_(0));
    last_x.set((last_y.v - prev_y) / tslope + prev_x);
  }
  if (last_x.v < prev_x) last_x.take(prev_x_obj);

  tx[n - 1] = last_x.obj();
  ty[n - 1] = last_y.obj();
  set_xy(tx, ty);
  update_spline();
  return true;
}

void align_tail_redraw() {
  if (align_tail()) canvas.attr("draw")();
}

// ---- option rules ----------------------------------------------------------

namespace {
void set_x_label(const char* text) {
  ax.attr("set_xlabel")(text, py::arg("weight") = "semibold");
}
}  // namespace

void allow_negative_accel() {
  if (negative_accel_enabled.attr("get")().cast<bool>()) {
    negative_accel = 1;
    return;
  }
  negative_accel = 0;
  enforce_boundaries();
  redefine_spline();
  update_spline();
  canvas.attr("draw")();
}

void enforce_boundaries() {
  py::list xs = xs_of(line), ys = ys_of(line);
  if (negative_accel == 0) {
    for (Py_ssize_t i = 1; i < length(ys); ++i) {
      py::object before = item(ys, i - 1);
      if (lt(item(ys, i), before)) ys[i] = before;
    }
  }
  set_xy(xs, ys);
}

void check_use_dpu() {
  if (use_dpu.attr("get")().cast<bool>()) {
    maxFrameTime = 1;
    set_x_label("Dots per update");
  } else {
    maxFrameTime = 100;
    set_x_label("Dots per millisecond");
  }
}

void set_use_dpu(double mft) {
  if (mft > 1) {
    use_dpu.attr("set")(false);
    set_x_label("Dots per millisecond");
  } else {
    use_dpu.attr("set")(true);
    set_x_label("Dots per update");
  }
}

void check_pitch_var() { active_pitch = pitch_var.attr("get")().cast<bool>() ? -1 : 1; }

void set_pitch_var(double p) { pitch_var.attr("set")(p < 0); }

void set_upper_bound(int limit) {
  py::list xs = xs_of(line), ys = ys_of(line);
  const py::int_ lim(limit), old(upperbound);
  const Py_ssize_t n = length(xs);
  if (n > 0 && (gt(item(xs, n - 1), lim) || gt(item(ys, n - 1), lim))) {
    for (py::list* l : {&xs, &ys}) {
      for (Py_ssize_t i = 0; i < length(*l); ++i) {
        py::object v = item(*l, i) * lim / old;
        (*l)[i] = gt(v, lim) ? py::object(lim) : v;
      }
    }
    set_xy(xs, ys);
    redefine_spline();
    update_spline();
  }
  upperbound = limit;
  xup.attr("set_data")(py::make_tuple(limit, limit), py::make_tuple(0, limit));
  yup.attr("set_data")(py::make_tuple(limit, 0), py::make_tuple(limit, limit));
  check_viewbounds();
}

}  // namespace arcflex
