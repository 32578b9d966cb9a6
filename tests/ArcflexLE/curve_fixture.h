// A headless graph for curve tests: real matplotlib artists on an Agg
// figure and Tk variables on a display-less Tcl interpreter, installed in
// the editor's module state the way the window construction does it.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "curve.h"
#include "pyrt.h"
#include "state.h"

namespace curvetest {

namespace py = pybind11;

inline py::list list_of(std::initializer_list<double> values) {
  py::list l;
  for (double v : values) l.append(v);
  return l;
}
inline py::list ints_of(std::initializer_list<int> values) {
  py::list l;
  for (int v : values) l.append(v);
  return l;
}

inline std::vector<double> doubles(py::handle seq) { return seq.cast<std::vector<double>>(); }
inline std::vector<int> ints(py::handle seq) { return seq.cast<std::vector<int>>(); }

// Builds fig, ax, canvas, the edit-curve artists, the per-axis holders and
// the option variables, all with no display.
inline void build_headless_graph() {
  using namespace arcflex;
  auto mpl = py::module_::import("matplotlib");
  mpl.attr("use")("Agg");
  auto plt = py::module_::import("matplotlib.pyplot");
  auto lines = py::module_::import("matplotlib.lines");
  auto patches = py::module_::import("matplotlib.patches");
  py::tuple fa = plt.attr("subplots")();
  fig = fa[0];
  ax = fa[1];
  canvas = fig.attr("canvas");
  auto new_line = [&]() {
    py::object l = lines.attr("Line2D")(py::list(), py::list());
    ax.attr("add_line")(l);
    return l;
  };
  auto new_arrow = [&]() {
    py::object a = patches.attr("FancyArrowPatch")(py::make_tuple(0, 0), py::make_tuple(1, 1));
    ax.attr("add_patch")(a);
    return a;
  };
  line = new_line();
  point_marker_line = new_line();
  edge_marker_line = new_line();
  spline = new_line();
  arrow = new_arrow();
  active_line = lines.attr("Line2D")(py::list(), py::list());
  horizontal_line = lines.attr("Line2D")(py::list(), py::list());
  vertical_line = lines.attr("Line2D")(py::list(), py::list());
  horizontal_spline = new_line();
  vertical_spline = new_line();
  horizontal_arrow = new_arrow();
  vertical_arrow = new_arrow();

  py::object tcl = tkinter().attr("Tcl")();
  root = tcl;
  negative_accel_enabled = tkinter().attr("BooleanVar")(py::arg("master") = tcl);
  use_dpu = tkinter().attr("BooleanVar")(py::arg("master") = tcl);
  pitch_var = tkinter().attr("BooleanVar")(py::arg("master") = tcl);
}

// Makes (xs, ys, flags) the edited curve and rebuilds its spline, in the
// order every curve change takes.
inline void install_curve(py::list xs, py::list ys, py::list flags) {
  using namespace arcflex;
  corners = flags;
  set_xy(xs, ys);
  set_line_markers();
  redefine_spline();
  update_spline();
}

inline void install_default_curve() {
  arcflex::Curve c = arcflex::get_default_points();
  install_curve(c.x, c.y, c.corners);
}

}  // namespace curvetest
