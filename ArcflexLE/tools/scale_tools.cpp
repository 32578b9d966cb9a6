#include "scale_tools.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>

#include "apply_cycle.h"
#include "curve.h"
#include "dialogs.h"
#include "meter_link.h"
#include "settings_files.h"
#include "snapshots.h"
#include "state.h"
#include "state_scale.h"
#include "tools.h"
#include "window.h"

namespace arcflex {

using namespace py::literals;

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::string entry_text(py::handle entry) { return py::str(entry.attr("get")()).cast<std::string>(); }

double as_double(py::handle v) { return py::float_(py::reinterpret_borrow<py::object>(v)).cast<double>(); }

// New list of f(v) for every value of a sequence, as Python floats.
py::list mapped(py::handle values, const std::function<double(double)>& f) {
  py::list out;
  for (py::handle v : values) out.append(py::float_(f(as_double(v))));
  return out;
}

// The points of the edited curve's line, as new lists.
py::list line_values(const char* getter) {
  py::list out;
  for (py::handle v : line.attr(getter)()) out.append(v);
  return out;
}

// The applied and edited curves as they were, to put back when a step
// after the acceptance fails before the change is on its way.
struct Curves {
  py::object hx, hy, vx, vy, ex, ey;
  static Curves current() {
    return {horizontal_x, horizontal_y, vertical_x, vertical_y, line_values("get_xdata"), line_values("get_ydata")};
  }
  // Makes the given per-axis lists the applied curves; returns the old ones.
  static Curves replace_axes(py::list thx, py::list thy, py::list tvx, py::list tvy) {
    Curves before = current();
    horizontal_x = thx;
    horizontal_y = thy;
    vertical_x = tvx;
    vertical_y = tvy;
    return before;
  }
  void put_back() const {
    horizontal_x = hx;
    horizontal_y = hy;
    vertical_x = vx;
    vertical_y = vy;
    set_xy(ex, ey);
    update_spline();
    set_axis_mode(py::int_(axis_mode));
  }
};

void boundary_error() { dialogs::show_error("Boundary error", "Cannot scale out of bounds.", root); }

// "p.dat", "load" and the wait for the driver, the common end of both
// tools. A failure before "load" is sent leaves the meter on the old curve:
// the curves go back, the error is shown, and nothing is pending.
bool send_converted(const Curves& before) {
  try {
    write_curve();
  } catch (std::exception& e) {
    dialogs::show_error("Error applying settings", error_text(e), root);
    before.put_back();
    return false;
  }
  load_and_wait_for_driver();
  return true;
}

}  // namespace

std::optional<py::object> dpi_value(const std::string& text) {
  if (text.empty()) return std::nullopt;
  for (char c : text)
    if (!is_digit(c)) return std::nullopt;
  // Built in slices: int() of one long digit string is limited in length.
  py::object builtins = py::module_::import("builtins");
  py::object value = py::int_(0);
  const size_t slice = 1000;
  for (size_t at = 0; at < text.size(); at += slice) {
    std::string part = text.substr(at, slice);
    py::object scale = py::int_(10).attr("__pow__")(py::int_(part.size()));
    value = value * scale + builtins.attr("int")(part);
  }
  return value;
}

std::optional<double> decimal_value(const std::string& text) {
  size_t i = 0, n = text.size();
  size_t digits = 0;
  while (i < n && is_digit(text[i])) ++i, ++digits;
  if (i < n && text[i] == '.') {
    ++i;
    while (i < n && is_digit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    size_t exp_digits = 0;
    while (i < n && is_digit(text[i])) ++i, ++exp_digits;
    if (exp_digits == 0) return std::nullopt;
  }
  if (i != n) return std::nullopt;
  // The text is plain decimal now; strtod rounds it correctly and gives
  // infinity for an exponent beyond the range.
  errno = 0;
  return std::strtod(text.c_str(), nullptr);
}

void raise_dpi_window() {
  dpi_window.attr("focus_set")();
  dpi_window.attr("lift")();
  winui::wm_attribute(dpi_window, "-topmost", py::bool_(true));
  py::object window = dpi_window;
  dpi_window.attr("after_idle")(
      py::cpp_function([window] { winui::wm_attribute(window, "-topmost", py::bool_(false)); }));
}

void convert_dpi() {
  // A second change while one waits for its confirmation would replace the
  // undo snapshot that the first one's revert needs.
  if (graph_suspended) return;
  std::string old_text = entry_text(old_dpi_entry), new_text = entry_text(new_dpi_entry);
  if (old_text.empty() && new_text.empty()) return;
  std::optional<py::object> old_dpi = dpi_value(old_text), new_dpi;
  if (old_dpi) new_dpi = dpi_value(new_text);
  if (!old_dpi || !new_dpi) {
    dialogs::show_error("Invalid DPI value", "Please enter valid DPI values.", root);
    raise_dpi_window();
    return;
  }
  const py::int_ zero(0);
  if (old_dpi->equal(*new_dpi) || *old_dpi <= zero || *new_dpi <= zero) return;

  // old / new as Python's true division of the two ints rounds it.
  double dpi_scale_factor;
  try {
    dpi_scale_factor = py::module_::import("operator").attr("truediv")(*old_dpi, *new_dpi).cast<double>();
  } catch (py::error_already_set&) {
    dpi_scale_factor = std::numeric_limits<double>::infinity();  // beyond the float range
  }
  std::function<double(double)> to_x = [dpi_scale_factor](double v) { return v / dpi_scale_factor; };
  std::function<double(double)> to_y = [dpi_scale_factor](double v) { return v * dpi_scale_factor; };
  if (dpi_scale_factor == 0.0 || std::isinf(dpi_scale_factor)) {
    // A ratio outside the float range: each value exactly, then rounded.
    py::object Fraction = py::module_::import("fractions").attr("Fraction");
    auto exact = [Fraction](py::object num, py::object den) {
      py::object ratio = Fraction(num, den);
      return [Fraction, ratio](double v) {
        try {
          return py::float_(Fraction(py::float_(v)) * ratio).cast<double>();
        } catch (py::error_already_set&) {
          return std::numeric_limits<double>::infinity();
        }
      };
    };
    to_x = exact(*new_dpi, *old_dpi);
    to_y = exact(*old_dpi, *new_dpi);
  }

  old_dpi_entry.attr("delete")(0, "end");
  new_dpi_entry.attr("delete")(0, "end");
  py::list edit_x = mapped(line.attr("get_xdata")(), to_x);
  py::list edit_y = mapped(line.attr("get_ydata")(), to_y);

  save_state();
  save_redo_state();

  py::list thx = mapped(horizontal_x, to_x), thy = mapped(horizontal_y, to_y);
  py::list tvx = mapped(vertical_x, to_x), tvy = mapped(vertical_y, to_y);
  if (!points_are_valid(thx, thy, horizontal_corners) || !points_are_valid(tvx, tvy, vertical_corners) ||
      !points_are_valid(edit_x, edit_y, corners)) {
    boundary_error();
    raise_dpi_window();
    return;
  }

  Curves before = Curves::replace_axes(thx, thy, tvx, tvy);
  // The edited curve follows, so a later Apply keeps the conversion; a
  // revert gives back the edited curve of before the conversion.
  set_xy(edit_x, edit_y);
  update_spline();
  set_axis_mode(py::int_(axis_mode));
  if (send_converted(before)) {
    dpi_edit_x = before.ex;
    dpi_edit_y = before.ey;
    dpi_edit_corners = py::module_::import("copy").attr("deepcopy")(corners);
    match_on_revert = 2;
  }
  raise_dpi_window();
}

void scale_curve() {
  if (graph_suspended) return;
  std::string x_text = entry_text(scale_x_entry), y_text = entry_text(scale_y_entry);
  if (x_text.empty()) x_text = "1";
  if (y_text.empty()) y_text = "1";
  if (x_text == "1" && y_text == "1") return;
  std::optional<double> scale_x = decimal_value(x_text), scale_y;
  if (scale_x) scale_y = decimal_value(y_text);
  if (!scale_x || !scale_y) {
    dialogs::show_error("Invalid value", "Please enter a number.", root);
    raise_dpi_window();
    return;
  }
  if (*scale_x == 1.0 && *scale_y == 1.0) return;

  scale_x_entry.attr("delete")(0, "end");
  scale_y_entry.attr("delete")(0, "end");
  save_state();
  save_redo_state();

  const double fx = *scale_x, fy = *scale_y;
  auto times_x = [fx](double v) { return v * fx; };
  auto times_y = [fy](double v) { return v * fy; };
  py::list thx = mapped(horizontal_x, times_x), thy = mapped(horizontal_y, times_y);
  py::list tvx = mapped(vertical_x, times_x), tvy = mapped(vertical_y, times_y);
  if (!points_are_valid(thx, thy, horizontal_corners) || !points_are_valid(tvx, tvy, vertical_corners)) {
    boundary_error();
    raise_dpi_window();
    return;
  }

  Curves before = Curves::replace_axes(thx, thy, tvx, tvy);
  set_axis_mode(py::int_(axis_mode));
  // The edited curve keeps what its line shows; its lists and spline are
  // brought in step with it again.
  set_xy(before.ex, before.ey);
  update_spline();
  if (send_converted(before)) match_on_revert = 0;
  raise_dpi_window();
}

}  // namespace arcflex
