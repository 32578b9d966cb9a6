#include "tools.h"

#include <algorithm>
#include <cstdio>

#include "curve.h"
#include "state.h"

namespace arcflex {

using namespace py::literals;

namespace {

bool only_chars(const std::string& input, const std::string& chars) {
  return std::all_of(input.begin(), input.end(), [&](char c) { return chars.find(c) != std::string::npos; });
}

py::tuple rgb(const Rgb& c, double f = 1.0) { return py::make_tuple(c[0] * f, c[1] * f, c[2] * f); }

py::list pairs(py::handle xs, py::handle ys) {
  py::list out;
  size_t n = std::min(py::len(xs), py::len(ys));
  for (size_t i = 0; i < n; ++i) out.append(py::make_tuple(xs[py::int_(i)], ys[py::int_(i)]));
  return out;
}

void set_arrow(py::handle arrow_patch, py::handle from_xy, int from, int to) {
  arrow_patch.attr("set_positions")(from_xy[py::int_(from)], from_xy[py::int_(to)]);
}

}  // namespace

bool nums_only(const std::string& input) { return only_chars(input, "0123456789.e"); }
bool nums_neg(const std::string& input) { return only_chars(input, "0123456789.-e"); }

void set_axis_mode(py::handle mode) {
  py::object builtins = py::module_::import("builtins");
  axis_mode = builtins.attr("int")(mode).cast<int>();
  axis_slider.attr("set")(axis_mode);
  if (axis_mode == 0) axes_label.attr("configure")("text"_a = "Both axes");
  if (axis_mode == 1) axes_label.attr("configure")("text"_a = "Horizontal axis");
  if (axis_mode == 2) axes_label.attr("configure")("text"_a = "Vertical axis");

  set_vertical_line();
  set_horizontal_line();

  py::object deepcopy = py::module_::import("copy").attr("deepcopy");
  bool horizontal_front = axis_mode < 2;
  active_scheme = horizontal_front ? horizontal_scheme : vertical_scheme;
  inactive_scheme = horizontal_front ? vertical_scheme : horizontal_scheme;
  active_tkscheme = horizontal_front ? horizontal_tkscheme : vertical_tkscheme;
  inactive_tkscheme = horizontal_front ? vertical_tkscheme : horizontal_tkscheme;
  py::object fx = horizontal_front ? horizontal_x : vertical_x;
  py::object fy = horizontal_front ? horizontal_y : vertical_y;
  py::object fc = horizontal_front ? horizontal_corners : vertical_corners;
  py::object back_out = horizontal_front ? vertical_out : horizontal_out;
  py::object back_xy = horizontal_front ? vertical_xy : horizontal_xy;
  int back_n = horizontal_front ? vertical_numverts : horizontal_numverts;

  active_xy = pairs(fx, fy);
  py::list ax_x, ax_y;
  for (auto p : active_xy) {
    ax_x.append(p[py::int_(0)]);
    ax_y.append(p[py::int_(1)]);
  }
  active_line.attr("set_data")(ax_x, ax_y);
  active_corners = deepcopy(fc);
  inactive_spline.attr("set_data")(back_out[py::int_(0)], back_out[py::int_(1)]);
  set_arrow(inactive_arrow, back_xy, back_n - 1, back_n);

  active_numverts = static_cast<int>(py::len(active_line.attr("get_xdata")())) - 1;
  set_arrow(active_arrow, active_xy, active_numverts - 1, active_numverts);

  active_spline.attr("set_color")(rgb(active_scheme));
  active_arrow.attr("set_color")(rgb(active_scheme));
  inactive_spline.attr("set_color")(rgb(inactive_scheme));
  inactive_arrow.attr("set_color")(rgb(inactive_scheme));
  fud.attr("set_facecolor")(rgb(active_scheme, 0.5));
  fua.attr("set_facecolor")(rgb(active_scheme, 0.5));

  SplineSize size = spline_size(active_numverts, active_corners);
  py::object grid = param_values(size);
  py::object knots = knot_vector(size);
  py::list active_tck = get_tck(active_line, active_corners, knots, active_numverts);
  active_out = evaluate_spline(grid, active_tck);
  active_spline.attr("set_data")(active_out[py::int_(0)], active_out[py::int_(1)]);
  find_slope();

  bool no_hotkeys = profile_hotkeys.size() == 10 &&
                    std::all_of(profile_hotkeys.begin(), profile_hotkeys.end(), [](int k) { return k == 0; });
  std::string profile_text;
  if (!no_hotkeys) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "Profile %d", current_profile);
    profile_text = buf;
  }
  current_profile_label.attr("configure")("text"_a = profile_text);
  canvas.attr("draw")();
}

void cycle_axis_view() {
  set_axis_mode(py::int_(axis_mode >= 0 && axis_mode < 2 ? axis_mode + 1 : 0));
}

}  // namespace arcflex
