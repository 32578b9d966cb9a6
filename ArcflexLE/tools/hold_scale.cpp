#include "hold_scale.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "curve.h"
#include "pyrt.h"
#include "state.h"

namespace arcflex {

namespace {

enum class Kind { plain, relative, inverse, shift };

using StepFn = void (*)(double, double, bool);

struct Points {
  std::vector<double> x, y;
};

// The edited curve as line holds it (x and y may lag behind a drag).
Points read_line() {
  return {line.attr("get_xdata")().cast<std::vector<double>>(),
          line.attr("get_ydata")().cast<std::vector<double>>()};
}

bool all_finite(const std::vector<double>& v) {
  return std::all_of(v.begin(), v.end(), [](double d) { return std::isfinite(d); });
}

// New coordinates for one step of `kind`; false when a value is not finite
// (an overflowing factor, a division by zero), so the step changes nothing.
bool compute(Kind kind, const Points& p, double xa, double ya, bool direction, Points& out) {
  const size_t n = p.x.size();
  out.x.clear();
  out.y.clear();
  if (n == 0 || p.y.size() != n) return false;
  const double m = *std::min_element(p.y.begin(), p.y.end());
  const double big_m = *std::max_element(p.y.begin(), p.y.end());
  for (size_t i = 0; i < n; ++i) {
    const double xi = p.x[i], yi = p.y[i];
    if (kind == Kind::shift) {
      out.x.push_back(i == 0 ? 0.0 : (direction ? xi + xa : xi - xa));
      out.y.push_back(direction ? yi + ya : yi - ya);
      continue;
    }
    out.x.push_back(direction ? xi * xa : xi / xa);
    switch (kind) {
      case Kind::plain:
        out.y.push_back(direction ? yi * ya : yi / ya);
        break;
      case Kind::relative:
        out.y.push_back(direction ? m + (yi - m) * ya : m + (yi - m) / ya);
        break;
      case Kind::inverse:
        out.y.push_back(direction ? big_m - (big_m - yi) / ya : big_m - (big_m - yi) * ya);
        break;
      case Kind::shift:
        break;
    }
  }
  return all_finite(out.x) && all_finite(out.y);
}

py::list float_list(const std::vector<double>& v) {
  py::list l;
  for (double d : v) l.append(py::float_(d));
  return l;
}

// Stores a valid result and redraws; false (nothing changed) otherwise.
bool store_if_valid(const Points& p) {
  py::list nx = float_list(p.x), ny = float_list(p.y);
  if (!points_are_valid(nx, ny, corners)) return false;
  set_xy(nx, ny);
  enforce_boundaries();
  update_spline();
  canvas.attr("draw")();
  return true;
}

// Arms `step` on root's timer and keeps its id in `slot`; the timer the
// slot held is cancelled first, so no repetition runs on out of reach of
// stop_scaling.
void arm(py::object& slot, int delay, StepFn step, double xa, double ya, bool direction) {
  if (slot && PyObject_IsTrue(slot.ptr()) == 1) root.attr("after_cancel")(slot);
  slot = root.attr("after")(delay, py::cpp_function(step), py::float_(xa), py::float_(ya), py::bool_(direction));
}

// Raises a scaling factor to the growth power; false when it leaves the
// finite range.
bool grow_factor(double& a) {
  a = std::pow(a, kAmountGrowth);
  return std::isfinite(a);
}

// One repeat step of a scaling kind: grow, compute, store, re-arm.
void repeat_scaling(Kind kind, py::object& slot, StepFn self, double xa, double ya, bool direction) {
  if (!grow_factor(xa) || !grow_factor(ya)) return;
  Points next;
  if (!compute(kind, read_line(), xa, ya, direction, next)) return;
  if (!store_if_valid(next)) return;
  arm(slot, kRepeatPeriodMs, self, xa, ya, direction);
}

double fine(double amount) { return amount > 1 ? 1 + (amount - 1) / kFineStepDivisor : amount; }

}  // namespace

void scale_points(double x_amount, double y_amount, bool direction) {
  if (!std::isfinite(x_amount) || !std::isfinite(y_amount) || x_amount <= 0 || y_amount <= 0) return;
  if (shift_key) {
    x_amount = fine(x_amount);
    y_amount = fine(y_amount);
  }
  Kind kind = Kind::plain;
  StepFn repeat = keep_scaling;
  py::object* slot = &scale_job;
  if (ctrl_key) {
    kind = Kind::relative;
    repeat = keep_rel_scaling;
    slot = &rel_scale_job;
  } else if (alt_key) {
    kind = Kind::inverse;
    repeat = keep_rel_scaling_inverse;
    slot = &rel_scale_job;
  }
  Points next;
  if (!compute(kind, read_line(), x_amount, y_amount, direction, next)) return;
  if (!store_if_valid(next)) return;
  arm(*slot, kFirstRepeatDelayMs, repeat, x_amount, y_amount, direction);
}

void stop_scaling() {
  for (py::object* slot : {&scale_job, &shift_job, &rel_scale_job}) {
    if (*slot && PyObject_IsTrue(slot->ptr()) == 1) root.attr("after_cancel")(*slot);
  }
}

void keep_scaling(double x_amount, double y_amount, bool direction) {
  repeat_scaling(Kind::plain, scale_job, keep_scaling, x_amount, y_amount, direction);
}

void keep_rel_scaling(double x_amount, double y_amount, bool direction) {
  repeat_scaling(Kind::relative, rel_scale_job, keep_rel_scaling, x_amount, y_amount, direction);
}

void keep_rel_scaling_inverse(double x_amount, double y_amount, bool direction) {
  repeat_scaling(Kind::inverse, rel_scale_job, keep_rel_scaling_inverse, x_amount, y_amount, direction);
}

void keep_shifting(double x_amount, double y_amount, bool direction) {
  x_amount *= kAmountGrowth;
  y_amount *= kAmountGrowth;
  if (!std::isfinite(x_amount) || !std::isfinite(y_amount)) return;
  Points next;
  if (!compute(Kind::shift, read_line(), x_amount, y_amount, direction, next)) return;
  if (!store_if_valid(next)) return;
  arm(shift_job, kRepeatPeriodMs, keep_shifting, x_amount, y_amount, direction);
}

}  // namespace arcflex
