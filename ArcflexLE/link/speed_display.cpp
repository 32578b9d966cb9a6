#include "speed_display.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>

#include "appearance.h"
#include "meter_link.h"
#include "state.h"
#include "state_runtime.h"

namespace arcflex {

using namespace py::literals;

namespace {

std::set<std::string> g_reported;

void report_once(const std::string& kind, const std::string& text) {
  if (!g_reported.insert(kind).second) return;
  std::fprintf(stderr, "Exception in the speed update loop:\n%s\n", text.c_str());
  std::fflush(stderr);
}

int slider_value(py::handle slider) {
  if (!slider || slider.is_none()) return 3;
  return py::int_(slider.attr("get")()).cast<int>();
}

void set_fill_alpha() {
  if (fud && !fud.is_none()) fud.attr("set_alpha")(weight_alpha);
  if (fua && !fua.is_none()) fua.attr("set_alpha")(weight_alpha);
}

}  // namespace

void display_speed(py::handle) {
  static const int frames[] = {10, 8, 6, 4, 2};
  static const int samples_[] = {4, 5, 6, 7, 8};
  int f = std::clamp(slider_value(frame_slider), 1, 5);
  int s = std::clamp(slider_value(sample_slider), 1, 5);
  framerate = frames[f - 1];
  samplerate = samples_[s - 1];
}

void update_tick() {
  std::vector<double> result_list{0.0};
  ++smooth_counter;
  int j = 1;
  while (!q.empty()) {
    ++j;
    double num = q.get_nowait();
    if (num < 0) {
      int code = static_cast<int>(-num);
      switch (code) {
        case 20:
          shift_key = true;
          if (scale_snapshot_hook) scale_snapshot_hook();
          break;
        case 21: ctrl_key = true; break;
        case 22: alt_key = true; break;
        case 30: shift_key = false; break;
        case 31: ctrl_key = false; break;
        case 32: alt_key = false; break;
        case 99:
        case 77:
          // Only the answer to the latest load confirms: one that comes late
          // for an earlier load changes nothing.
          if (pending_loads > 0) --pending_loads;
          if (code == 99 && pending_loads == 0) driver_successfully_applied_changes = 1;
          break;
        default: break;
      }
    } else {
      result_list.push_back(num);
      max_list.push_back(*std::max_element(result_list.begin(), result_list.end()));
    }
  }

  double tick_max = *std::max_element(result_list.begin(), result_list.end());
  if (j > 1) {
    weight_fade_timer = 0;
    if (tick_max > 0) {
      if (weight_alpha < 0.5) weight_alpha = std::min(weight_alpha + 0.05, 0.5);
      set_fill_alpha();
    }
  } else {
    if (weight_fade_timer > 5) {
      weight_alpha = weight_alpha * 0.84;
      set_fill_alpha();
    }
    weight_fade_timer = std::min(weight_fade_timer + 1, 50);
  }

  // The window test runs whatever the drawing does, so it is kept out of
  // the drawing's failure path.
  struct WindowEnd {
    ~WindowEnd() {
      if (samplerate > 0 && smooth_counter % samplerate <= 0) {
        smooth_counter = 0;
        old_max = current_max;
        double sum = 0;
        for (double v : max_list) sum += v;
        current_max = sum / std::max(static_cast<double>(max_list.size()) - 1.0, 1.0);
        max_list.assign(1, 0.0);
      }
    }
  };
  if (bpress || mmpause || !ready) {
    max_list.assign(1, 0.0);
    old_max = 0;
    current_max = 0;
    WindowEnd end;
    update_fill(0);
  } else if (current_max + old_max != 0 && !root_window_iconified) {
    double speed = old_max + (current_max - old_max) * smooth_counter / static_cast<double>(samplerate);
    WindowEnd end;
    update_fill(speed);
  } else {
    WindowEnd end;
  }
}

void update() {
  if (meter_dead) {
    meter_died();  // no further tick: the editor is ending
    return;
  }
  try {
    update_tick();
  } catch (py::error_already_set& e) {
    std::string kind = py::str(e.type().attr("__name__")).cast<std::string>();
    report_once(kind, e.what());
  } catch (std::exception& e) {
    report_once(typeid(e).name(), e.what());
  }
  try {
    job1 = root.attr("after")(framerate, py::cpp_function([] { update(); }));
  } catch (py::error_already_set& e) {
    report_once("schedule", e.what());  // the root window is gone
  }
}

void update_fill(double speed) {
  py::object xd = active_line.attr("get_xdata")();
  py::object yd = active_line.attr("get_ydata")();
  double x0 = py::float_(xd[py::int_(0)]).cast<double>();
  py::object y0 = yd[py::int_(0)];
  py::object xt = xd[py::int_(active_numverts - 1)];
  py::object yt = yd[py::int_(active_numverts - 1)];

  double m = x0 < speed ? x0 : speed;
  fud.attr("set_xy")(py::make_tuple(py::make_tuple(0, 0), py::make_tuple(0, y0), py::make_tuple(m, y0),
                                    py::make_tuple(m, 0)));
  // A fill already gone (removed by a redraw elsewhere) is not an error.
  if (fuc && !fuc.is_none()) {
    try {
      fuc.attr("remove")();
    } catch (py::error_already_set&) {
    }
  }

  py::object xs = np().attr("asarray")(active_out[py::int_(0)], "dtype"_a = "float64");
  py::object ys = np().attr("asarray")(active_out[py::int_(1)], "dtype"_a = "float64");
  if (x0 == 0 && py::len(xs) > 1) {
    double first = xs[py::int_(1)].cast<double>();
    if (speed < first && speed > 0.001) speed = first;
  }
  py::slice rest(1, py::len(xs), 1);
  py::object xr = xs[rest], yr = ys[rest];
  Rgb half = half_intensity(active_scheme);
  fuc = ax.attr("fill_between")(xr, 0, yr, "where"_a = xr.attr("__le__")(speed), "snap"_a = true,
                                "facecolor"_a = rgb_tuple(half), "alpha"_a = weight_alpha, "animated"_a = true,
                                "interpolate"_a = true);

  py::list verts;
  double xtd = py::float_(xt).cast<double>();
  if (speed >= xtd) {
    double yarrow = slope * (speed - xtd) + py::float_(yt).cast<double>();
    verts.append(py::make_tuple(xt, 0));
    verts.append(py::make_tuple(xt, yt));
    verts.append(py::make_tuple(speed, yarrow));
    verts.append(py::make_tuple(speed, 0));
  } else {
    for (int i = 0; i < 4; ++i) verts.append(py::make_tuple(0, 0));
  }
  arrowverts = verts;
  fua.attr("set_xy")(arrowverts);

  if (!graph_background || graph_background.is_none()) return;  // no full draw yet
  canvas.attr("restore_region")(graph_background);
  for (py::object* a : {&fud, &fuc, &fua, &active_spline, &active_arrow, &spline, &line, &arrow,
                        &point_marker_line, &edge_marker_line, &edit_marker, &edit_marker_text,
                        &point_value_text}) {
    if (*a && !a->is_none()) ax.attr("draw_artist")(*a);
  }
  canvas.attr("blit")(fig.attr("bbox"));
}

}  // namespace arcflex
