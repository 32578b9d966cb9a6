#include "presets.h"

#include "apply_cycle.h"
#include "curve.h"
#include "curve_match.h"
#include "graph.h"
#include "meter_link.h"
#include "profiles.h"
#include "settings_files.h"
#include "snapshots.h"
#include "state.h"
#include "tools.h"

namespace arcflex {

using namespace py::literals;

namespace {

// A value of the preset table: a whole number or a real, written as such.
struct Num {
  double v;
  bool real;
};
constexpr Num I(double v) { return {v, false}; }
constexpr Num R(double v) { return {v, true}; }

struct Preset {
  std::vector<Num> x, y;
};

// Index 0..8 are the menu's presets; the last row is the default curve.
const std::vector<Preset>& table() {
  static const std::vector<Preset> t{
      {{I(30), I(40)}, {I(1), I(1)}},
      {{I(0), I(7), I(21), I(28)}, {R(0.34), I(1), I(1), I(1)}},
      {{R(0.0), I(20), I(25)}, {R(0.5), I(1), I(1)}},
      {{R(0.0), I(10), I(20), I(25)}, {R(0.5), R(0.5), I(1), I(1)}},
      {{I(4), I(20), I(25)}, {R(0.5), I(1), I(1)}},
      {{I(0), I(10), I(10), I(20), I(25)}, {R(0.5), R(0.5), I(1), I(1), I(1)}},
      {{I(0), I(25)}, {R(0.5), R(0.75)}},
      {{I(0), I(0), I(0), I(50), I(60)}, {I(0), I(1), I(1), I(1), I(1)}},
      {{I(0), I(25), I(25), I(25), I(30)}, {I(1), I(1), I(1), R(1.4), R(1.4)}},
      {{I(0), I(10), I(30), I(40)}, {R(0.5), I(1), I(1), I(1)}},
  };
  return t;
}

const Preset& row(int c) {
  const auto& t = table();
  return (c >= 0 && c <= 8) ? t[static_cast<size_t>(c)] : t.back();
}

py::object number(const Num& n) {
  if (n.real) return py::float_(n.v);
  return py::int_(static_cast<long long>(n.v));
}

py::list to_list(const std::vector<Num>& values) {
  py::list l;
  for (const Num& n : values) l.append(number(n));
  return l;
}

py::list zeros(size_t n) {
  py::list l;
  for (size_t i = 0; i < n; ++i) l.append(0);
  return l;
}

// Each value times 2^(d-1), keeping its kind, in a new list.
py::list scaled(py::handle values, int d) {
  // 2 ** (d - 1): an int for the menu's steps 1 to 4.
  py::object factor =
      py::reinterpret_steal<py::object>(PyNumber_Power(py::int_(2).ptr(), py::int_(d - 1).ptr(), Py_None));
  if (!factor) throw py::error_already_set();
  py::list out;
  for (py::handle v : values) out.append(py::reinterpret_borrow<py::object>(v) * factor);
  return out;
}

}  // namespace

const std::vector<std::string>& preset_labels() {
  static const std::vector<std::string> labels{"1: Natural",         "2: Capped linear", "3: Quadratic",
                                               "4: Offset linear",    "5: S-shaped",      "6: Uncapped linear",
                                               "7: Precision",        "8: Jump"};
  return labels;
}

const std::vector<std::string>& preset_dpi_labels() {
  static const std::vector<std::string> labels{"800", "1600", "3200", "6400"};
  return labels;
}

py::list preset_x(int c, int d) { return scaled(to_list(row(c).x), d); }
py::list preset_y(int c) { return to_list(row(c).y); }

void selectPreset(int c, int d) {
  // A second change while one is pending would replace its undo snapshot.
  if (graph_suspended) return;
  save_state();
  save_redo_state();

  const Preset& p = row(c);
  x = to_list(p.x);
  horizontal_x = to_list(p.x);
  vertical_x = to_list(p.x);
  y = to_list(p.y);
  horizontal_y = to_list(p.y);
  vertical_y = to_list(p.y);
  corners = zeros(p.x.size());
  horizontal_corners = zeros(p.x.size());
  vertical_corners = zeros(p.x.size());

  x = scaled(x, d);
  set_xy(x, y);
  set_line_markers();
  redefine_spline();
  update_spline();
  horizontal_x = scaled(horizontal_x, d);
  vertical_x = scaled(vertical_x, d);

  root.attr("deiconify")();
  root.attr("focus_set")();
  root.attr("lift")();
  root.attr("wm_attributes")("-topmost", true);
  root.attr("after_idle")(root.attr("wm_attributes"), "-topmost", false);

  set_axis_mode(py::int_(0));
  try {
    write_curve();
  } catch (const std::exception& e) {
    // The meter keeps the curve it has, so the applied curves must too.
    undo_unwritten_curve(e);
    return;
  }
  load_and_wait_for_driver();
  match_active_curve();
  rescale_view();
  match_on_revert = 1;
}

}  // namespace arcflex
