#include "graph.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "curve.h"
#include "state.h"

namespace arcflex {

using namespace py::literals;

namespace {

constexpr const char* kArrowStyle = "simple, tail_width=0.5, head_width=4, head_length=6";

py::tuple rgb(const Rgb& c, double f = 1.0) { return py::make_tuple(c[0] * f, c[1] * f, c[2] * f); }
py::tuple grey(double v) { return py::make_tuple(v, v, v); }

py::object mpl(const char* module, const char* name) { return py::module_::import(module).attr(name); }
py::object Line2D() { return mpl("matplotlib.lines", "Line2D"); }
py::object FancyArrowPatch() { return mpl("matplotlib.patches", "FancyArrowPatch"); }
py::object Polygon() { return mpl("matplotlib.patches", "Polygon"); }
py::object Text() { return mpl("matplotlib.text", "Text"); }
py::object builtins() { return py::module_::import("builtins"); }

py::object py_round(py::handle v, int places) { return builtins().attr("round")(v, places); }

// The marker texts' font: Ebrima where it is installed, else matplotlib's
// default sans-serif (asking for a missing family makes matplotlib warn on
// every draw).
py::object marker_font_family() {
  try {
    py::object fm = py::module_::import("matplotlib.font_manager");
    fm.attr("findfont")(fm.attr("FontProperties")("family"_a = "Ebrima"), "fallback_to_default"_a = false);
    return py::str("Ebrima");
  } catch (py::error_already_set&) {
    return py::str("sans-serif");
  }
}

// A FancyArrowPatch works its outline out afresh on every draw (the head
// is placed by bisection, in Python): the dearest part of a speed-display
// frame, though the tail arrows seldom move. Each tail arrow keeps its last
// outline with every input it was made from (its ends on the screen, the
// styles, sizes and shrinks) and uses it again while they are the same.
// The arrow is held weakly, so the kept outline does not keep it alive.
void keep_arrow_outline(const py::object& arrow) {
  py::object cls = py::type::of(arrow);
  if (!py::hasattr(cls, "_get_path_in_displaycoord") || !py::hasattr(arrow, "_posA_posB")) return;
  py::object compute = cls.attr("_get_path_in_displaycoord");
  py::object ref = py::module_::import("weakref").attr("ref")(arrow);
  struct Kept {
    py::object inputs, outline;
  };
  auto kept = std::make_shared<Kept>();
  arrow.attr("_get_path_in_displaycoord") = py::cpp_function([compute, ref, kept]() -> py::object {
    py::object self = ref();
    py::object ends = self.attr("_posA_posB");
    if (ends.is_none()) return compute(self);
    py::object a = self.attr("_convert_xy_units")(ends[py::int_(0)]);
    py::object b = self.attr("_convert_xy_units")(ends[py::int_(1)]);
    py::object on_screen = self.attr("get_transform")().attr("transform")(py::make_tuple(a, b));
    py::tuple inputs = py::make_tuple(on_screen.attr("tobytes")(), self.attr("_dpi_cor"),
                                      self.attr("get_mutation_scale")(), self.attr("get_linewidth")(),
                                      self.attr("get_mutation_aspect")(), self.attr("get_connectionstyle")(),
                                      self.attr("get_arrowstyle")(), self.attr("shrinkA"), self.attr("shrinkB"),
                                      self.attr("patchA"), self.attr("patchB"));
    if (!kept->inputs || !inputs.equal(kept->inputs)) {
      kept->outline = compute(self);
      kept->inputs = inputs;
    }
    return kept->outline;
  });
}

py::object tail_arrow(py::handle from, py::handle to, py::tuple colour) {
  py::object arrow = FancyArrowPatch()(from, to, "arrowstyle"_a = kArrowStyle, "color"_a = colour, "shrinkA"_a = 0,
                                       "shrinkB"_a = 8, "animated"_a = true);
  keep_arrow_outline(arrow);
  return arrow;
}

py::object text_artist(py::handle x0, py::handle y0, const std::string& text) {
  return Text()(x0, y0, text, "color"_a = grey(0.8), "fontweight"_a = "bold", "fontfamily"_a = marker_font_family(),
                "horizontalalignment"_a = "left", "backgroundcolor"_a = bg_scheme, "animated"_a = true,
                "visible"_a = false);
}

std::vector<double> data_of(py::handle artist, const char* getter) {
  return artist.attr(getter)().cast<std::vector<double>>();
}

py::object item(py::handle seq, long i) { return seq[py::int_(i)]; }

// The control point the hover label shows: its index and the coordinates
// written in the label (index -1: none).
struct LabelledPoint {
  long index = -1;
  double x = 0, y = 0;
};
LabelledPoint labelled;

// Whether the edited curve still has the labelled point where the label
// says it is.
bool labelled_point_present() {
  if (labelled.index < 0) return true;
  py::object lx = line.attr("get_xdata")(), ly = line.attr("get_ydata")();
  if (labelled.index >= static_cast<long>(std::min(py::len(lx), py::len(ly)))) return false;
  return item(lx, labelled.index).cast<double>() == labelled.x && item(ly, labelled.index).cast<double>() == labelled.y;
}

// Runs `before` (with the text) each time the text is painted, whichever
// path paints it (a full draw, the live speed display's blit); the text is
// painted when it returns true. Held weakly: the text goes with its axes.
void before_each_draw(const py::object& text, bool (*before)(const py::object&)) {
  py::object draw = py::type::of(text).attr("draw");
  py::object ref = py::module_::import("weakref").attr("ref")(text);
  text.attr("draw") = py::cpp_function([draw, ref, before](py::object renderer) {
    py::object self = ref();
    if (!self.is_none() && before(self)) draw(self, renderer);
  });
}

// The hover label goes with its point: a label whose point was deleted or
// replaced (a preset, a load, undo) is hidden instead of painted.
void hide_label_without_its_point(const py::object& text) {
  before_each_draw(text, [](const py::object& self) {
    if (!self.attr("get_visible")().cast<bool>() || labelled_point_present()) return true;
    self.attr("set_visible")(false);
    labelled.index = -1;
    return false;
  });
}

// The axes clip what they hold: a text placed near an edge of the graph is
// moved in, with its background box, until it lies whole inside the axes
// (the left and bottom edges win in a graph too small for it). A label that
// would pass the top edge is put on the other side of its point (at screen
// height point_y) first: moved down, it would cover the point. A label that
// would cross the line `avoid` (a path on the screen, or none) goes to the
// other side of its point too, where the graph leaves it room there.
void keep_inside_axes(const py::object& text, double point_y, py::handle avoid = py::none()) {
  py::object renderer = canvas.attr("get_renderer")();
  text.attr("update_bbox_position_size")(renderer);
  py::object patch = text.attr("get_bbox_patch")();
  py::object box = patch.is_none() ? text.attr("get_window_extent")(renderer)
                                   : patch.attr("get_window_extent")(renderer);
  py::object inside = ax.attr("bbox");
  // The whole move of the box along one axis: `by`, then in from the edges.
  auto shift = [&](const char* lo, const char* hi, double by) {
    double d = 0;
    double b_lo = box.attr(lo).cast<double>() + by, b_hi = box.attr(hi).cast<double>() + by;
    // A pixel in from each edge: the move goes through the data coordinates
    // and back, and the edge pixels are blended.
    double a_lo = inside.attr(lo).cast<double>() + 1, a_hi = inside.attr(hi).cast<double>() - 1;
    if (b_hi > a_hi) d = a_hi - b_hi;
    if (b_lo + d < a_lo) d = a_lo - b_lo;
    return by + d;
  };
  // Reflected about the point's height: as far below it as it was above.
  const double y0 = box.attr("y0").cast<double>(), y1 = box.attr("y1").cast<double>();
  const bool over_top = y1 > inside.attr("y1").cast<double>() - 1;
  double dx = shift("x0", "x1", 0), dy = shift("y0", "y1", over_top ? 2 * point_y - y0 - y1 : 0);
  // The line counts as crossed within a few pixels: its arrow head is wider.
  auto crosses = [&](double by) {
    return avoid.attr("intersects_bbox")(box.attr("translated")(dx, by).attr("padded")(3)).cast<bool>();
  };
  if (!avoid.is_none() && crosses(dy)) {
    const double other = shift("y0", "y1", over_top ? 0 : 2 * point_y - y0 - y1);
    if (!crosses(other)) dy = other;
  }
  if (dx == 0 && dy == 0) return;
  py::object to_screen = text.attr("get_transform")();
  std::vector<double> at = to_screen.attr("transform")(text.attr("get_position")()).cast<std::vector<double>>();
  std::vector<double> moved = to_screen.attr("inverted")()
                                  .attr("transform")(py::make_tuple(at[0] + dx, at[1] + dy))
                                  .cast<std::vector<double>>();
  text.attr("set_x")(moved[0]);
  text.attr("set_y")(moved[1]);
}

// Where draw_marker anchors the value marker's text, and the height of the
// curve it reads out, in data coordinates (the text goes below that height
// at the top of the view).
struct MarkerAnchor {
  double x = 0, y = 0, point_y = 0;
};
MarkerAnchor marker_anchor;

// The value marker's text is kept inside the axes as they are when it is
// painted, from its anchor each time: draw_marker places it before a view
// change reaches the axes, and a pan or a resize moves the axes under it.
void keep_marker_text_inside(const py::object& text) {
  before_each_draw(text, [](const py::object& self) {
    if (!self.attr("get_visible")().cast<bool>()) return true;
    self.attr("set_x")(marker_anchor.x);
    self.attr("set_y")(marker_anchor.y);
    py::object point = ax.attr("transData").attr("transform")(py::make_tuple(marker_anchor.x, marker_anchor.point_y));
    keep_inside_axes(self, point[py::int_(1)].cast<double>());
    return true;
  });
}

py::list list1(py::handle v) {
  py::list l;
  l.append(v);
  return l;
}

}  // namespace

void build_figure() {
  // A figure of its own, with the default size and one subplot, as pyplot
  // would give it, but without pyplot's figure manager: that brings
  // matplotlib's own keyboard shortcuts and a second, hidden Tk interpreter
  // (a twelfth of the start-up), and the graph wants neither.
  fig = mpl("matplotlib.figure", "Figure")();
  ax = fig.attr("add_subplot")();
  fig.attr("patch").attr("set_facecolor")(bg_scheme);
  ax.attr("set_facecolor")(bg_scheme);

  ax.attr("set_xlabel")("Dots per millisecond", "weight"_a = "semibold");
  ax.attr("set_ylabel")("Sensitivity", "weight"_a = "semibold");
  ax.attr("xaxis").attr("label").attr("set_size")(8);
  ax.attr("yaxis").attr("label").attr("set_size")(8);
  ax.attr("xaxis").attr("label").attr("set_color")(grey(0.8));
  ax.attr("yaxis").attr("label").attr("set_color")(grey(0.8));

  canvas = mpl("matplotlib.backends.backend_tkagg", "FigureCanvasTkAgg")(fig, "master"_a = rgframe);
  py::object widget = canvas.attr("get_tk_widget")();
  widget.attr("pack")("side"_a = "top", "fill"_a = "both", "expand"_a = 1);
  widget.attr("configure")("takefocus"_a = 0, "bg"_a = bg_scheme);

  graph_background = canvas.attr("copy_from_bbox")(fig.attr("bbox"));

  canvas.attr("mpl_connect")("draw_event", py::cpp_function([](py::object e) { draw_callback(e); }));
  // The pointer, button, key and wheel handlers of the graph are connected
  // here, in that order, as they are built.

  line = Line2D()(x, y, "linestyle"_a = "--", "linewidth"_a = 1, "color"_a = grey(0.4), "marker"_a = "o",
                  "markersize"_a = 6, "markerfacecolor"_a = rgb(scheme), "pickradius"_a = 12, "animated"_a = true);
  point_marker_line = Line2D()(x, y, "linestyle"_a = "", "linewidth"_a = 0, "marker"_a = "o", "markersize"_a = 6,
                               "markerfacecolor"_a = grey(0.84), "markeredgewidth"_a = 1, "color"_a = grey(0.4),
                               "pickradius"_a = 12, "animated"_a = true);
  edge_marker_line = Line2D()(x, y, "linestyle"_a = "", "linewidth"_a = 0, "marker"_a = "D", "markersize"_a = 5,
                              "markerfacecolor"_a = grey(0.84), "markeredgewidth"_a = 1, "color"_a = grey(0.4),
                              "pickradius"_a = 12, "animated"_a = true);
  set_line_markers();

  py::list pts;
  py::object lx = line.attr("get_xdata")(), ly = line.attr("get_ydata")();
  for (size_t i = 0; i < py::len(lx); ++i) pts.append(py::make_tuple(item(lx, i), item(ly, i)));
  xy = pts;
  enforce_boundaries();
  numverts = static_cast<int>(py::len(line.attr("get_xdata")())) - 1;

  arrow = tail_arrow(item(xy, numverts - 1), item(xy, numverts), rgb(scheme));

  SplineSize size = spline_size(numverts, corners);
  samples = size.samples;
  sample_balance = size.balance;
  u3 = param_values(size);
  t = knot_vector(size);
  tck = get_tck(line, corners, t, numverts);
  out = evaluate_spline(u3, tck);

  spline = Line2D()(item(out, 0), item(out, 1), "linestyle"_a = "-", "linewidth"_a = 1.5, "color"_a = rgb(scheme),
                    "animated"_a = true);
}

void build_applied_curves() {
  py::object deepcopy = py::module_::import("copy").attr("deepcopy");
  py::object np_ = np();

  active_xy = deepcopy(xy);
  active_pitch = pitch;
  active_line = Line2D()(x, y);
  active_numverts = numverts;
  active_corners = deepcopy(corners);
  active_out = deepcopy(out);
  active_spline = Line2D()(item(active_out, 0), item(active_out, 1), "linestyle"_a = "-", "linewidth"_a = 1.5,
                           "color"_a = rgb(active_scheme), "animated"_a = true);
  active_arrow = tail_arrow(item(active_xy, active_numverts - 1), item(active_xy, active_numverts),
                            rgb(active_scheme));

  {
    std::vector<double> X = data_of(active_line, "get_xdata"), Y = data_of(active_line, "get_ydata");
    int n = active_numverts;
    double dx = X[n] - X[n - 1];
    slope = dx == 0 ? 0.0 : (Y[n] - Y[n - 1]) / dx;
  }

  py::object xs = np_.attr("asarray")(item(out, 0));
  fuc = ax.attr("fill_between")(xs, 0, item(out, 1), "where"_a = xs.attr("__lt__")(currentmousespeed),
                                "snap"_a = true, "facecolor"_a = rgb(active_scheme, 0.5), "alpha"_a = 0.5,
                                "interpolate"_a = true, "animated"_a = true);
  py::list verts;
  for (int i = 0; i < 4; ++i) verts.append(py::make_tuple(0, 0));
  arrowverts = verts;
  auto fill_polygon = [&] {
    return Polygon()(arrowverts, "snap"_a = true, "facecolor"_a = rgb(active_scheme, 0.5), "alpha"_a = 0.5,
                     "animated"_a = true);
  };
  fua = fill_polygon();
  fud = fill_polygon();

  horizontal_line = Line2D()(horizontal_x, horizontal_y);
  vertical_line = Line2D()(vertical_x, vertical_y);
  auto axis_spline = [&] {
    return Line2D()(py::make_tuple(0, 0), py::make_tuple(0, 0), "linestyle"_a = "-", "linewidth"_a = 1.5,
                    "color"_a = rgb(active_scheme), "animated"_a = true);
  };
  horizontal_spline = axis_spline();
  vertical_spline = axis_spline();
  horizontal_arrow = tail_arrow(py::make_tuple(0, 0), py::make_tuple(0, 0), rgb(active_scheme));
  vertical_arrow = tail_arrow(py::make_tuple(0, 0), py::make_tuple(0, 0), rgb(active_scheme));

  inactive_spline = Line2D()(item(active_out, 0), item(active_out, 1), "linestyle"_a = "-", "linewidth"_a = 1.5,
                             "color"_a = rgb(inactive_scheme), "animated"_a = true);
  inactive_arrow = tail_arrow(item(active_xy, active_numverts - 1), item(active_xy, active_numverts),
                              rgb(inactive_scheme));

  double last_x = item(x, static_cast<long>(py::len(x)) - 1).cast<double>();
  double last_y = item(y, static_cast<long>(py::len(y)) - 1).cast<double>();
  xbounds = {0.0, last_x};
  ybounds = {0.0, last_y};
  double yviewsize = ybounds.second - ybounds.first;

  edit_marker_y = py_round(find_y_given(py::int_(0)), 6);
  edit_marker = Line2D()(list1(py::int_(0)), list1(edit_marker_y), "linestyle"_a = "", "marker"_a = "v",
                         "markersize"_a = 7, "markerfacecolor"_a = grey(0.84), "markeredgewidth"_a = 0,
                         "color"_a = grey(0.84), "animated"_a = true, "visible"_a = false);
  py::str dpms("sens: {}\ndpms: {}"), dpu("sens: {}\ndpu: {}");
  edit_marker_text = text_artist(py::int_(0), py::float_(edit_marker_y.cast<double>() + 0.1 * yviewsize),
                                 dpms.format(edit_marker_y, 0).cast<std::string>());
  edit_marker_text.attr("set_text")((maxFrameTime == 1 ? dpu : dpms).format(edit_marker_y, 0));
  ax.attr("add_line")(edit_marker);
  ax.attr("add_artist")(edit_marker_text);
  point_value_text = text_artist(py::int_(0), py::int_(0), py::str("({}, {})").format(0, 0).cast<std::string>());
  labelled = {};
  hide_label_without_its_point(point_value_text);
  keep_marker_text_inside(edit_marker_text);
  ax.attr("add_artist")(point_value_text);

  ax.attr("add_patch")(fud);
  ax.attr("add_patch")(fua);
  ax.attr("add_line")(inactive_spline);
  ax.attr("add_patch")(inactive_arrow);
  ax.attr("add_line")(active_spline);
  ax.attr("add_patch")(active_arrow);
  ax.attr("add_line")(spline);
  ax.attr("add_line")(line);
  ax.attr("add_patch")(arrow);
  ax.attr("add_line")(point_marker_line);
  ax.attr("add_line")(edge_marker_line);

  ax.attr("grid")(true, "which"_a = "major", "color"_a = "dimgrey", "linewidth"_a = 0.5, "linestyle"_a = "-");
  ax.attr("set_frame_on")(false);
  ax.attr("tick_params")("axis"_a = "both", "left"_a = false, "bottom"_a = false, "labelcolor"_a = grey(0.9));

  py::tuple dark = rgb(scheme, 0.5);
  xaxis = Line2D()(py::make_tuple(0, upperbound), py::make_tuple(0, 0), "color"_a = dark, "linewidth"_a = 1);
  yaxis = Line2D()(py::make_tuple(0, 0), py::make_tuple(0, upperbound), "color"_a = dark, "linewidth"_a = 1);
  ax.attr("add_line")(xaxis);
  ax.attr("add_line")(yaxis);
  xup = Line2D()(py::make_tuple(upperbound, upperbound), py::make_tuple(0, upperbound), "color"_a = grey(0.7),
                 "linewidth"_a = 1, "linestyle"_a = "--");
  yup = Line2D()(py::make_tuple(0, upperbound), py::make_tuple(upperbound, upperbound), "color"_a = grey(0.7),
                 "linewidth"_a = 1, "linestyle"_a = "--");
  ax.attr("add_line")(xup);
  ax.attr("add_line")(yup);
}

void rescale_view() {
  if (shift_key) {
    std::vector<double> X = data_of(active_line, "get_xdata"), Y = data_of(active_line, "get_ydata");
    xbounds = {0.0, X.back()};
    ybounds = {0.0, *std::max_element(Y.begin(), Y.end())};
  } else {
    std::vector<double> X = data_of(line, "get_xdata"), Y = data_of(line, "get_ydata");
    double ylo = *std::min_element(Y.begin(), Y.end()), yhi = *std::max_element(Y.begin(), Y.end());
    xbounds = {0.0, X.back() * 1.15};
    if (ctrl_key != (zoom_to_location != 0)) {
      ybounds = {ylo - (yhi - ylo) * 0.15, yhi + (yhi - ylo) * 0.15};
      if (ybounds.second - ybounds.first < 0.01) {
        ybounds = {ybounds.first - lowerbound / 2, ybounds.second + lowerbound / 2};
      }
    } else {
      ybounds = {0.0, yhi * 1.25};
    }
  }
  if (xbounds.second < lowerbound) xbounds = {0.0, lowerbound};
  if (ybounds.second < lowerbound) ybounds = {0.0, lowerbound};
  if (show_marker) draw_marker(cursor_last_x);
  check_viewbounds();
}

void check_viewbounds() {
  auto clamp = [](std::pair<double, double> b) {
    double lo = b.first, hi = b.second, size = hi - lo;
    const double ub = upperbound;
    if (size > ub) {
      hi = ub;
      lo = 0;
    } else if (hi > ub) {
      hi = ub;
      lo = ub - size;
    } else if (lo < 0) {
      lo = 0;
      hi = size;
    }
    return std::pair<double, double>{lo, hi};
  };
  xbounds = clamp(xbounds);
  ybounds = clamp(ybounds);
  double x_margin = margin * (xbounds.second - xbounds.first);
  double y_margin = margin * (ybounds.second - ybounds.first);
  ax.attr("set_xlim")(xbounds.first - x_margin, xbounds.second + x_margin);
  ax.attr("set_ylim")(ybounds.first - y_margin, ybounds.second + y_margin);
  // Before the main window is first shown the canvas has no size yet; it
  // gets one as the window is laid out, which draws the graph again anyway
  // (on idle, with this request folded into it).
  if (startup_done)
    canvas.attr("draw")();
  else
    canvas.attr("draw_idle")();
}

void draw_curve_artists() {
  for (py::object* a : {&active_spline, &active_arrow, &spline, &line, &arrow, &point_marker_line,
                        &edge_marker_line, &edit_marker, &edit_marker_text, &point_value_text}) {
    ax.attr("draw_artist")(*a);
  }
}

void draw_callback(py::handle) {
  graph_background = canvas.attr("copy_from_bbox")(fig.attr("bbox"));
  draw_curve_artists();
  canvas.attr("blit")(fig.attr("bbox"));
}

void draw_marker(py::handle xdata) {
  if (!xdata || xdata.is_none()) return;
  double xmax = xbounds.second;
  double xviewsize = xbounds.second - xbounds.first;
  double ymax = ybounds.second;
  double yviewsize = ybounds.second - ybounds.first;
  double xd = xdata.cast<double>();
  py::object edit_marker_x;
  auto snap = [&](double base, int places) {
    return py::float_(py_round(py::float_(std::max(xd * base, 0.0)), places).cast<double>() / base);
  };
  if (xviewsize < 48) {
    if (xviewsize < 12) {
      edit_marker_x = xviewsize < 4 ? snap(1.0, 2) : snap(2.0, 1);
    } else {
      edit_marker_x = snap(1.0, 1);
    }
  } else if (xviewsize > 192) {
    edit_marker_x = py::int_(static_cast<long long>(std::max(xd, 0.0)));
  } else {
    edit_marker_x = snap(2.0, 0);
  }
  edit_marker_y = py_round(find_y_given(edit_marker_x), 6);
  double mx = edit_marker_x.cast<double>(), my = edit_marker_y.cast<double>();
  edit_marker.attr("set_data")(list1(edit_marker_x), list1(py::float_(my + 0.03 * yviewsize)));
  edit_marker.attr("set_visible")(true);
  edit_marker_text.attr("set_visible")(true);
  edit_marker_text.attr("set_text")(py::str("sens: {}\ndpms: {}").format(edit_marker_y, edit_marker_x));
  double tx = mx > xmax - 0.1 * xviewsize ? xmax - 0.1 * xviewsize : mx;
  double ty = my;
  if (ty > ymax) {
    ty = ymax;
  } else if (ty < -0.1 * yviewsize) {
    ty = -0.1 * yviewsize;
  }
  marker_anchor = {tx, ty + 0.1 * yviewsize, ty};
  edit_marker_text.attr("set_x")(marker_anchor.x);
  edit_marker_text.attr("set_y")(marker_anchor.y);
}

void draw_point_values(py::handle, py::handle tvind) {
  double xmax = xbounds.second, xviewsize = xbounds.second - xbounds.first;
  double ymin = ybounds.first, ymax = ybounds.second, yviewsize = ybounds.second - ybounds.first;
  if (py::len(tvind) == 0) {
    point_value_text.attr("set_visible")(false);
    labelled.index = -1;
    return;
  }
  py::object i = tvind[py::int_(0)];
  py::object px = line.attr("get_xdata")()[i], pyv = line.attr("get_ydata")()[i];
  point_value_text.attr("set_text")(py::str("({}, {})").format(py_round(px, 6), py_round(pyv, 6)));
  double xpv = px.cast<double>(), ypv = pyv.cast<double>();
  if (xpv > xmax - 0.2 * xviewsize) xpv = xmax - 0.2 * xviewsize;
  if (ypv > ymax) {
    ypv = ymax;
  } else if (ypv < ymin) {
    ypv = ymin;
  }
  point_value_text.attr("set_x")(xpv);
  point_value_text.attr("set_y")(ypv + 0.074 * yviewsize);
  point_value_text.attr("set_visible")(true);
  labelled = {i.cast<long>(), px.cast<double>(), pyv.cast<double>()};
  py::object to_screen = point_value_text.attr("get_transform")();
  py::object point = to_screen.attr("transform")(py::make_tuple(xpv, ypv));
  // The label of a point at either end of the tail keeps off the tail's line.
  py::object tail = py::none();
  py::object xs = line.attr("get_xdata")(), ys = line.attr("get_ydata")();
  const long n = static_cast<long>(std::min(py::len(xs), py::len(ys)));
  if (n >= 2 && labelled.index >= n - 2) {
    py::list ends;
    for (long k : {n - 2, n - 1}) ends.append(py::make_tuple(item(xs, k), item(ys, k)));
    tail = mpl("matplotlib.path", "Path")(to_screen.attr("transform")(ends));
  }
  keep_inside_axes(point_value_text, point[py::int_(1)].cast<double>(), tail);
}

}  // namespace arcflex
