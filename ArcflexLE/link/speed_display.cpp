#include "speed_display.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <set>
#include <string>
#include <vector>

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

// Colours reach the screen in 8 bits a channel: opacities that round to the
// same step draw the same pixels.
long alpha_step_of(double alpha) { return std::lround(std::clamp(alpha, 0.0, 1.0) * 255.0); }

// Setting an opacity that draws as the polygon's present one changes no
// pixel but costs a colour conversion every tick (a fade-out goes on for
// thousands of ticks); such a set is left out.
void set_fill_alpha() {
  for (py::object* p : {&fud, &fua}) {
    if (!*p || p->is_none()) continue;
    py::object now = p->attr("get_alpha")();
    if (!now.is_none() && alpha_step_of(now.cast<double>()) == alpha_step_of(weight_alpha)) continue;
    p->attr("set_alpha")(weight_alpha);
  }
}

// The fill's extent in data units: from x = 0 to its right end, between
// its lowest and highest point (y = 0 included, the floor it stands on).
// Fills of one curve at two speeds are drawn from the same points up to
// `left` (the last sample under the fill, or where the first polygon or
// the tail polygon starts to depend on the speed): to its left their
// pixels are the same. `tail`: the tail polygon is drawn.
struct FillSpan {
  double right = 0, low = 0, high = 0;
  double left = 0;
  bool tail = false;
  // The span that holds both fills; with only the speed changed, the
  // columns left of both fills' `left` stay as they are.
  FillSpan joined(const FillSpan& o, bool speed_only) const {
    FillSpan j{std::max(right, o.right), std::min(low, o.low), std::max(high, o.high),
               -std::numeric_limits<double>::infinity(), tail || o.tail};
    if (speed_only) {
      j.left = std::min(left, o.left);
      // A tail polygon not drawn is a point at the origin.
      if (tail != o.tail) j.left = std::min(j.left, 0.0);
    }
    return j;
  }
};

// What the last blit of the fill drew from: the saved background it was
// drawn over and every input of the fill's pixels. The view limits and the
// figure's size are not among them: they change only with a full draw,
// which saves a new background. The sampled curve counts by identity: it is
// only ever replaced, never changed in place. A tick whose inputs are the
// same, over the same background, with no drawn artist changed since, would
// draw the same pixels again and is skipped; at rest that is every tick, so
// the test reads plain values and attributes only.
struct DrawnFill {
  py::object background;
  py::object key;
  py::object curve;  // the sampled curve drawn (held, so its identity stays unique)
  py::object looks;  // of the two fill polygons, as patch_look gives them
  FillSpan span;  // of the fill drawn
};
DrawnFill g_drawn;

// The Tcl interpreter the tick command is registered in, so the check that
// it exists is made once per interpreter, not on every tick.
py::object g_tick_tk;

// The artists blitted over the background, bottom to top.
std::vector<py::object*> blitted_artists() {
  return {&fud, &fuc, &fua, &active_spline, &active_arrow, &spline, &line, &arrow,
          &point_marker_line, &edge_marker_line, &edit_marker, &edit_marker_text, &point_value_text};
}

constexpr const char* kTickCommand = "arcflex_speed_tick";

bool present(const py::object& a) { return a && !a.is_none(); }

// 8 bits a channel, as the colour reaches the screen.
py::tuple colour_steps(py::handle rgba) {
  py::list steps;
  for (py::handle c : rgba) steps.append(std::lround(std::clamp(c.cast<double>(), 0.0, 1.0) * 255.0));
  return py::tuple(steps);
}

// What of a fill polygon, besides its vertices, decides its pixels.
py::object patch_look(const py::object& p) {
  if (!present(p)) return py::none();
  return py::make_tuple(colour_steps(p.attr("get_facecolor")()), colour_steps(p.attr("get_edgecolor")()),
                        p.attr("get_linewidth")(), p.attr("get_visible")());
}

py::tuple fill_looks() { return py::make_tuple(patch_look(fud), patch_look(fua)); }

// An artist's attribute behind a property, read from the instance itself
// where the artist keeps it there (the property costs a Python call, and
// the test runs on every tick).
py::object artist_value(const py::object& a, const char* stored, const char* property) {
  PyObject* v = PyObject_GetAttrString(a.ptr(), stored);
  if (v) return py::reinterpret_steal<py::object>(v);
  PyErr_Clear();
  return a.attr(property);
}

py::object mpl_bbox() { return py::module_::import("matplotlib.transforms").attr("Bbox"); }

// What a tick changes since the last draw: nothing, the speed alone, the
// fill alone (its opacity or look as well), or more (a full blit).
enum class Change { none, speed, fill, all };

// Positions in the key of the inputs that move the fill alone.
constexpr std::size_t kSpeedAt = 0, kAlphaAt = 6;

Change change_since_drawn(const py::tuple& key) {
  if (!present(g_drawn.key) || !g_drawn.background.is(graph_background)) return Change::all;
  if (!g_drawn.curve.is(active_out)) return Change::all;
  py::tuple drawn = g_drawn.key;
  bool fill_inputs_same = true, speed_only = true;
  for (std::size_t i = 0; i < py::len(key); ++i) {
    bool same = key[i].equal(drawn[i]);
    if (same) continue;
    if (i != kSpeedAt && i != kAlphaAt) return Change::all;
    fill_inputs_same = false;
    if (i != kSpeedAt) speed_only = false;
  }
  // A fill removed elsewhere is drawn anew.
  if (!present(fuc) || artist_value(fuc, "_axes", "axes").is_none()) return Change::all;
  // Matplotlib marks an artist stale when any of its properties is set. The
  // two fill polygons are stale after a fade's tick sets their opacity:
  // when stale, their look is compared instead.
  bool polygons_stale = false;
  for (py::object* a : blitted_artists()) {
    if (!present(*a) || !PyObject_IsTrue(artist_value(*a, "_stale", "stale").ptr())) continue;
    if (a != &fud && a != &fua) return Change::all;
    polygons_stale = true;
  }
  if (polygons_stale && !fill_looks().equal(g_drawn.looks)) return Change::fill;
  if (fill_inputs_same) return Change::none;
  return speed_only ? Change::speed : Change::fill;
}

// The part of the canvas a fill-only change can touch, in display pixels:
// the span of the previous and the new fill together, widened by the
// edges' antialiasing and snapping. Nothing else differs from the last
// frame. The whole figure when the view gives no such part.
py::object fill_region(const FillSpan& span) {
  constexpr double pad = 4.0;
  py::tuple xl = ax.attr("get_xlim")(), yl = ax.attr("get_ylim")();
  double x0 = xl[0].cast<double>(), x1 = xl[1].cast<double>();
  double y0 = yl[0].cast<double>(), y1 = yl[1].cast<double>();
  py::tuple b = ax.attr("bbox").attr("bounds");
  double bx = b[0].cast<double>(), by = b[1].cast<double>(), bw = b[2].cast<double>(), bh = b[3].cast<double>();
  if (!(x1 > x0) || !(y1 > y0) || !std::isfinite(span.right) || !std::isfinite(span.low) ||
      !std::isfinite(span.high)) {
    return fig.attr("bbox");
  }
  auto px = [&](double x) { return std::clamp(bx + (x - x0) / (x1 - x0) * bw, bx, bx + bw); };
  auto py_ = [&](double y) { return std::clamp(by + (y - y0) / (y1 - y0) * bh, by, by + bh); };
  double left = std::isfinite(span.left) ? px(span.left) : bx;
  return mpl_bbox().attr("from_extents")(left - pad, py_(span.low) - pad, px(span.right) + pad,
                                         py_(span.high) + pad);
}

// The points of a float64 array (any strides).
std::vector<double> values_of(const py::object& a) {
  py::buffer_info info = py::buffer(a).request();
  std::vector<double> v(static_cast<std::size_t>(info.size));
  const char* base = static_cast<const char*>(info.ptr);
  const py::ssize_t stride = info.strides.empty() ? static_cast<py::ssize_t>(sizeof(double)) : info.strides[0];
  for (std::size_t i = 0; i < v.size(); ++i) {
    v[i] = *reinterpret_cast<const double*>(base + stride * static_cast<py::ssize_t>(i));
  }
  return v;
}

// The span of the fill drawn from the samples (xs, ys), with the first
// polygon of height y0 and width m (x0: the curve's first point) and, at
// or past the last point xt, the tail polygon's corners.
FillSpan fill_span(const std::vector<double>& sx, const std::vector<double>& sy, double y0, double m, double x0,
                   double speed, double xt, const py::list& tail_corners) {
  FillSpan span{std::max({m, speed, 0.0}), std::min(0.0, y0), std::max(0.0, y0), 0.0, speed >= xt};
  auto height = [&](double h) {
    span.low = std::min(span.low, h);
    span.high = std::max(span.high, h);
  };
  // Every run of samples under the fill with its neighbours on both sides
  // (an interpolated end lies on the segment to them).
  auto under = [&](std::size_t i) { return i >= 1 && i < sx.size() && sx[i] <= speed; };
  bool rising = true;
  for (std::size_t i = 1; i < sx.size(); ++i) {
    if (i > 1 && !(sx[i] > sx[i - 1])) rising = false;
    if (under(i) || under(i - 1) || under(i + 1)) {
      height(sy[i]);
      span.right = std::max(span.right, sx[i]);
    }
  }
  // Along a curve whose samples only rise, the fills at two speeds share
  // every segment up to the last sample under the smaller one.
  span.left = -std::numeric_limits<double>::infinity();
  if (rising) {
    span.left = sx.size() > 1 ? sx[1] : 0.0;
    for (std::size_t i = 1; under(i); ++i) span.left = sx[i];
  }
  if (m < x0) span.left = std::min(span.left, m);
  if (span.tail) {
    span.left = std::min(span.left, xt);
    for (py::handle v : tail_corners) height(py::float_(v[py::int_(1)]).cast<double>());
  }
  return span;
}
}  // namespace

void release_speed_display() {
  g_drawn = DrawnFill{};
  g_tick_tk = py::object();
}

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
    // One Tcl command serves every tick: Tkinter's own after() would make,
    // register and delete a new one each time, at a rate of up to 500/s.
    py::object tk = root.attr("tk");
    if (!g_tick_tk.is(tk)) {
      if (py::len(tk.attr("call")("info", "commands", kTickCommand)) == 0) {
        tk.attr("createcommand")(kTickCommand, py::cpp_function([] { update(); }));
      }
      g_tick_tk = tk;
    }
    job1 = tk.attr("call")("after", framerate, kTickCommand);
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
  Rgb half = half_intensity(active_scheme);

  py::tuple key = py::make_tuple(speed, x0, y0, xt, yt, slope, alpha_step_of(weight_alpha), rgb_tuple(half));
  Change change = present(graph_background) ? change_since_drawn(key) : Change::all;
  if (change == Change::none) return;
  const FillSpan drawn_span = g_drawn.span;
  g_drawn = DrawnFill{};
  py::object xs = np().attr("asarray")(active_out[py::int_(0)], "dtype"_a = "float64");
  py::object ys = np().attr("asarray")(active_out[py::int_(1)], "dtype"_a = "float64");

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

  if (x0 == 0 && py::len(xs) > 1) {
    double first = xs[py::int_(1)].cast<double>();
    if (speed < first && speed > 0.001) speed = first;
  }
  py::slice rest(1, py::len(xs), 1);
  py::object xr = xs[rest], yr = ys[rest];
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
  std::vector<py::object*> artists = blitted_artists();
  // A polygon of no area and no visible edge draws no pixel: the first one
  // while the curve starts at x = 0, the tail one below the last point.
  auto draws_nothing = [](const py::object& p, bool no_area) {
    return no_area && py::float_(p.attr("get_edgecolor")()[py::int_(3)]).cast<double>() == 0.0;
  };
  const double y0d = py::float_(y0).cast<double>();
  const bool skip_fud = draws_nothing(fud, m == 0 || y0d == 0);
  const bool skip_fua = draws_nothing(fua, !(speed > xtd));
  for (py::object* a : artists) {
    if (!present(*a) || (a == &fud && skip_fud) || (a == &fua && skip_fua)) continue;
    ax.attr("draw_artist")(*a);
  }
  // Every artist is drawn again over the restored background, so the
  // buffer is whole; only the part that can differ goes to the screen.
  const FillSpan span = fill_span(values_of(xs), values_of(ys), y0d, m, x0, speed, xtd, arrowverts);
  const bool partial = change == Change::speed || change == Change::fill;
  canvas.attr("blit")(partial ? fill_region(span.joined(drawn_span, change == Change::speed)) : fig.attr("bbox"));
  // Drawing leaves visible artists fresh; hidden ones are fresh too, since
  // showing them again marks them stale.
  for (py::object* a : artists) {
    if (present(*a)) a->attr("stale") = false;
  }
  g_drawn = DrawnFill{graph_background, key, active_out, fill_looks(), span};
}

}  // namespace arcflex
