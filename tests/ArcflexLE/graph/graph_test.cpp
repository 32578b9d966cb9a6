// The graph as the start-up builds it: its artists and layers, the blit
// redraw and its order, the labels, the view fit and its limits, the value
// marker and hover label, and the active curve by axis mode.
#include <gmock/gmock.h>

#include <functional>

#include "graph.h"
#include "gui_fixture.h"
#include "tools.h"

using namespace guitest;
using ::testing::DoubleNear;
using ::testing::ElementsAre;

namespace {

std::vector<double> pair_of(const std::pair<double, double>& p) { return {p.first, p.second}; }
std::vector<double> lims(const char* which) { return eval(std::string("list(ax.get_") + which + "())").cast<std::vector<double>>(); }

// Gives the edited curve's line new points for the view tests.
void set_line(std::vector<double> xs, std::vector<double> ys) { arcflex::line.attr("set_data")(xs, ys); }

std::string text_of(const py::object& t) { return t.attr("get_text")().cast<std::string>(); }
bool visible(const py::object& a) { return a.attr("get_visible")().cast<bool>(); }

}  // namespace

TEST(GraphArtists, CurveArtistsAreAnimatedAndTheStaticLayerIsNot) {
  start_recorded();
  using namespace arcflex;
  for (py::object* a : {&line, &point_marker_line, &edge_marker_line, &spline, &arrow, &active_spline, &active_arrow,
                        &inactive_spline, &inactive_arrow, &fuc, &fua, &fud, &edit_marker, &edit_marker_text,
                        &point_value_text, &horizontal_spline, &vertical_spline, &horizontal_arrow,
                        &vertical_arrow}) {
    EXPECT_TRUE(a->attr("get_animated")().cast<bool>()) << py::repr(*a).cast<std::string>();
  }
  for (py::object* a : {&xaxis, &yaxis, &xup, &yup}) EXPECT_FALSE(a->attr("get_animated")().cast<bool>());
  // Point holders and per-axis curves are never part of the axes.
  py::list lines = ax.attr("lines"), patches = ax.attr("patches");
  for (py::object* a : {&active_line, &horizontal_line, &vertical_line, &horizontal_spline, &vertical_spline}) {
    EXPECT_FALSE(lines.contains(*a));
  }
  EXPECT_FALSE(patches.contains(horizontal_arrow));
  EXPECT_FALSE(patches.contains(vertical_arrow));
  // The axes hold the artists in the order they were added.
  std::vector<py::object> want_lines{edit_marker, inactive_spline, active_spline, spline, line, point_marker_line,
                                     edge_marker_line, xaxis, yaxis, xup, yup};
  ASSERT_EQ(py::len(lines), want_lines.size());
  for (size_t i = 0; i < want_lines.size(); ++i) EXPECT_TRUE(py::object(lines[i]).is(want_lines[i])) << i;
  std::vector<py::object> want_patches{fud, fua, inactive_arrow, active_arrow, arrow};
  ASSERT_EQ(py::len(patches), want_patches.size());
  for (size_t i = 0; i < want_patches.size(); ++i) EXPECT_TRUE(py::object(patches[i]).is(want_patches[i])) << i;
  EXPECT_TRUE(py::list(ax.attr("collections")).contains(fuc));
  // Markers, texts hidden; speed fills degenerate.
  EXPECT_FALSE(visible(edit_marker));
  EXPECT_FALSE(visible(edit_marker_text));
  EXPECT_FALSE(visible(point_value_text));
  // The update loop redraws the fill at speed 0: no area, every vertex at x <= 0.
  for (py::handle path : fuc.attr("get_paths")()) {
    for (py::handle v : path.attr("vertices")) EXPECT_LE(v[py::int_(0)].cast<double>(), 0.0);
  }
  using Verts = std::vector<std::pair<double, double>>;
  EXPECT_EQ(arcflex::arrowverts.cast<Verts>(), Verts(4, {0.0, 0.0}));
}

TEST(GraphArtists, EditCurveStylesAndSpline) {
  start_recorded();
  using namespace arcflex;
  EXPECT_EQ(line.attr("get_linestyle")().cast<std::string>(), "--");
  EXPECT_EQ(point_marker_line.attr("get_marker")().cast<std::string>(), "o");
  EXPECT_EQ(edge_marker_line.attr("get_marker")().cast<std::string>(), "D");
  EXPECT_DOUBLE_EQ(line.attr("get_pickradius")().cast<double>(), 12);
  EXPECT_EQ(numverts, 3);
  // Default curve: 128 parameter values, one leading sample at x = 0.
  EXPECT_EQ(py::len(u3), 128u);
  std::vector<double> xs = out[py::int_(0)].cast<std::vector<double>>(), ys = out[py::int_(1)].cast<std::vector<double>>();
  ASSERT_EQ(xs.size(), 129u);
  EXPECT_EQ(xs[0], 0.0);
  EXPECT_EQ(ys[0], ys[1]);
  EXPECT_EQ(active_numverts, 3);
  EXPECT_EQ(slope, 0.0);
  // The tail arrow stops short of the tail end point.
  EXPECT_DOUBLE_EQ(arrow.attr("shrinkB").cast<double>(), 8);
}

TEST(GraphLabels, AxisLabelsTicksAndBackground) {
  start_recorded();
  auto xl = eval("ax.xaxis.label"), yl = eval("ax.yaxis.label");
  EXPECT_EQ(text_of(xl), "Dots per millisecond");
  EXPECT_EQ(text_of(yl), "Sensitivity");
  for (auto& l : {xl, yl}) {
    EXPECT_DOUBLE_EQ(l.attr("get_size")().cast<double>(), 8);
    EXPECT_EQ(l.attr("get_weight")().cast<std::string>(), "semibold");
    EXPECT_EQ(l.attr("get_color")().cast<std::vector<double>>(), (std::vector<double>{0.8, 0.8, 0.8}));
  }
  EXPECT_FALSE(eval("ax.get_frame_on()").cast<bool>());
  EXPECT_TRUE(eval("ax.xaxis.get_gridlines()[0].get_visible()").cast<bool>());
  EXPECT_EQ(eval("__import__('matplotlib.colors', fromlist=['c']).to_hex(ax.get_facecolor())").cast<std::string>(), "#101010");
  // The canvas is outside keyboard traversal.
  EXPECT_EQ(eval("str(canvas.get_tk_widget().cget('takefocus'))").cast<std::string>(), "0");
}

TEST(GraphRedraw, FullDrawSavesBackgroundThenBlitsTheCurveArtistsInOrder) {
  start_recorded();
  run(R"(
import types
calls = []
def record_artist(self, a):
    calls.append(a)
ax.draw_artist = types.MethodType(record_artist, ax)
blits = []
real_blit = canvas.blit
def record_blit(bbox=None):
    blits.append(bbox)
canvas.blit = record_blit
)");
  py::object before = arcflex::graph_background;
  arcflex::canvas.attr("draw")();
  py::list calls = py::globals()["calls"];
  using namespace arcflex;
  std::vector<py::object> order{active_spline, active_arrow, spline, line, arrow, point_marker_line,
                                edge_marker_line, edit_marker, edit_marker_text, point_value_text};
  ASSERT_EQ(py::len(calls), order.size());
  for (size_t i = 0; i < order.size(); ++i) EXPECT_TRUE(py::object(calls[i]).is(order[i])) << i;
  // The first blit is ours, of the figure's box; the Tk canvas's own draw
  // then shows the whole buffer.
  py::list blits = py::globals()["blits"];
  ASSERT_GE(py::len(blits), 1u);
  EXPECT_TRUE(py::object(blits[0]).is(py::object(fig.attr("bbox"))));
  EXPECT_FALSE(graph_background.is(before));
}

TEST(GraphRedraw, BackgroundHoldsNoCurve) {
  start_recorded();
  // The saved background of the default view is pixel for pixel the same
  // with the curve artists moved far away: they are not in it.
  auto pixels = [] {
    return py::bytes(py::module_::import("numpy").attr("asarray")(arcflex::graph_background).attr("tobytes")());
  };
  py::bytes with_curve = pixels();
  arcflex::line.attr("set_data")(std::vector<double>{0, 1, 2, 3}, std::vector<double>{5000, 5000, 5000, 5000});
  arcflex::canvas.attr("draw")();
  EXPECT_TRUE(with_curve.equal(pixels()));
}

// The tail arrows keep their outline between draws; after any change of
// what the outline is made from, the kept one must be the outline worked
// out afresh, and while nothing changes it is the very same one.
TEST(GraphArtists, TailArrowsKeepTheirOutlineOnlyWhileItsInputsStay) {
  start_recorded();
  py::object arrow = arcflex::arrow;
  py::object fresh = py::type::of(arrow).attr("_get_path_in_displaycoord");
  py::object np = py::module_::import("numpy");
  auto same_outline = [&](py::object a, py::object b) {
    py::object pa = a[py::int_(0)], pb = b[py::int_(0)];
    if (!py::isinstance<py::list>(pa)) pa = py::make_tuple(pa), pb = py::make_tuple(pb);
    if (py::len(pa) != py::len(pb)) return false;
    for (size_t i = 0; i < py::len(pa); ++i) {
      if (!np.attr("array_equal")(pa[py::int_(i)].attr("vertices"), pb[py::int_(i)].attr("vertices")).cast<bool>())
        return false;
    }
    return a[py::int_(1)].equal(b[py::int_(1)]);
  };
  struct Change {
    const char* what;
    std::function<void()> apply;
  };
  const std::vector<Change> changes{
      {"its ends", [&] { arrow.attr("set_positions")(py::make_tuple(5, 0.5), py::make_tuple(25, 0.9)); }},
      {"the view", [] { arcflex::ax.attr("set_xlim")(-3, 70); }},
      {"the head's scale", [&] { arrow.attr("set_mutation_scale")(2.5); }},
      {"the line width", [&] { arrow.attr("set_linewidth")(3); }},
      {"the arrow style", [&] { arrow.attr("set_arrowstyle")("fancy"); }},
      {"the shrink", [&] { arrow.attr("shrinkB") = 2; }},
      {"the resolution", [&] { arrow.attr("_dpi_cor") = 2.0; }},
  };
  py::object first = arrow.attr("_get_path_in_displaycoord")();
  EXPECT_TRUE(arrow.attr("_get_path_in_displaycoord")().is(first)) << "kept while nothing changes";
  for (const Change& c : changes) {
    c.apply();
    py::object kept = arrow.attr("_get_path_in_displaycoord")();
    EXPECT_TRUE(same_outline(kept, fresh(arrow))) << c.what;
    EXPECT_TRUE(arrow.attr("_get_path_in_displaycoord")().is(kept)) << c.what;
  }
}

TEST(GraphShortcuts, MatplotlibKeyShortcutsDoNothing) {
  start_recorded();
  run(R"(
from matplotlib.backend_bases import KeyEvent
for key in ["g", "G", "l", "k", "L", "s", "f", "h", "r", "p", "o", "c", "q", "ctrl+w"]:
    for name in ("key_press_event", "key_release_event"):
        canvas.callbacks.process(name, KeyEvent(name, canvas, key, 300, 200))
)");
  EXPECT_EQ(eval("ax.get_yscale()").cast<std::string>(), "linear");
  EXPECT_EQ(eval("ax.get_xscale()").cast<std::string>(), "linear");
  EXPECT_TRUE(eval("ax.xaxis.get_gridlines()[0].get_visible()").cast<bool>());
  EXPECT_TRUE(eval("ax.yaxis.get_gridlines()[0].get_visible()").cast<bool>());
  EXPECT_TRUE(eval("bool(root.winfo_exists())").cast<bool>());
  EXPECT_TRUE(arcflex::dialogs::recorded().empty());
  // pyplot's own figure window (a hidden second Tk root) is gone.
  EXPECT_EQ(eval("__import__('matplotlib._pylab_helpers', fromlist=['x']).Gcf.get_num_fig_managers()").cast<int>(), 0);
  EXPECT_TRUE(eval("canvas.manager is None").cast<bool>());
}

TEST(GraphView, StartupFitsTheDefaultCurve) {
  start_recorded();
  EXPECT_THAT(pair_of(arcflex::xbounds), ElementsAre(0.0, DoubleNear(46, 1e-12)));
  EXPECT_THAT(pair_of(arcflex::ybounds), ElementsAre(0.0, 1.25));
  EXPECT_THAT(lims("xlim"), ElementsAre(DoubleNear(-2.875, 1e-12), DoubleNear(48.875, 1e-12)));
  EXPECT_THAT(lims("ylim"), ElementsAre(-0.078125, 1.328125));
}

TEST(GraphView, RescaleRules) {
  start_recorded();
  using arcflex::ctrl_key, arcflex::zoom_to_location, arcflex::shift_key;
  set_line({0, 10, 30, 80}, {0.5, 2, 1, 1});
  arcflex::rescale_view();
  EXPECT_THAT(pair_of(arcflex::xbounds), ElementsAre(0.0, DoubleNear(92, 1e-12)));
  EXPECT_THAT(pair_of(arcflex::ybounds), ElementsAre(0.0, 2.5));
  EXPECT_THAT(lims("xlim"), ElementsAre(DoubleNear(-5.75, 1e-12), DoubleNear(97.75, 1e-12)));
  EXPECT_THAT(lims("ylim"), ElementsAre(-0.15625, 2.65625));

  // Tight fit: Ctrl held with the option off, or the option on without Ctrl.
  set_line({0, 10, 30, 40}, {0.9, 1.1, 1, 1});
  ctrl_key = true;
  arcflex::rescale_view();
  EXPECT_THAT(pair_of(arcflex::ybounds), ElementsAre(DoubleNear(0.87, 1e-12), DoubleNear(1.13, 1e-12)));
  ctrl_key = false;
  zoom_to_location = 1;
  arcflex::rescale_view();
  EXPECT_THAT(pair_of(arcflex::ybounds), ElementsAre(DoubleNear(0.87, 1e-12), DoubleNear(1.13, 1e-12)));
  // Both: the plain rescale.
  ctrl_key = true;
  arcflex::rescale_view();
  EXPECT_THAT(pair_of(arcflex::ybounds), ElementsAre(0.0, DoubleNear(1.375, 1e-12)));
  ctrl_key = false;

  set_line({0, 10, 30, 40}, {1, 1, 1, 1});
  arcflex::rescale_view();
  EXPECT_THAT(pair_of(arcflex::ybounds), ElementsAre(0.9921875, 1.0078125));
  set_line({0, 10, 30, 40}, {0.1, 2, 1, 1});
  arcflex::rescale_view();
  EXPECT_THAT(pair_of(arcflex::ybounds), ElementsAre(0.0, DoubleNear(2.47, 1e-12)));
  zoom_to_location = 0;

  // Smallest window.
  set_line({0, 0.002, 0.005, 0.01}, {0.5, 1, 1, 1});
  arcflex::rescale_view();
  EXPECT_THAT(pair_of(arcflex::xbounds), ElementsAre(0.0, 0.015625));

  // Shift: the active curve exactly, whatever the edited curve is.
  arcflex::active_line.attr("set_data")(std::vector<double>{0, 20, 30, 50}, std::vector<double>{0.2, 1.5, 1, 1});
  shift_key = true;
  arcflex::rescale_view();
  shift_key = false;
  EXPECT_THAT(pair_of(arcflex::xbounds), ElementsAre(0.0, 50.0));
  EXPECT_THAT(pair_of(arcflex::ybounds), ElementsAre(0.0, 1.5));
}

TEST(GraphView, CheckViewboundsKeepsTheWindowInsideTheBounds) {
  start_recorded();
  struct Case {
    std::pair<double, double> in, want;
  };
  for (const Case& c : {Case{{-10, 9000}, {0, 8192}}, Case{{8000, 8300}, {7892, 8192}}, Case{{-5, 20}, {0, 25}},
                        Case{{3, 20}, {3, 20}}, Case{{0, 8192}, {0, 8192}}}) {
    arcflex::xbounds = c.in;
    arcflex::ybounds = c.in;
    arcflex::check_viewbounds();
    EXPECT_THAT(pair_of(arcflex::xbounds), ElementsAre(c.want.first, c.want.second)) << c.in.first;
    EXPECT_THAT(pair_of(arcflex::ybounds), ElementsAre(c.want.first, c.want.second)) << c.in.first;
  }
  arcflex::xbounds = {-10, 9000};
  arcflex::check_viewbounds();
  EXPECT_THAT(lims("xlim"), ElementsAre(-512.0, 8704.0));
  // A full draw each time, also when nothing changed.
  run("draws = []\ncanvas.mpl_connect('draw_event', lambda e: draws.append(1))");
  arcflex::check_viewbounds();
  EXPECT_EQ(py::len(py::globals()["draws"]), 1u);
}

TEST(GraphMarker, StartTextsAndGrids) {
  start_recorded();
  using namespace arcflex;
  EXPECT_EQ(text_of(edit_marker_text), "sens: 0.5\ndpms: 0");
  EXPECT_EQ(text_of(point_value_text), "(0, 0)");
  EXPECT_DOUBLE_EQ(edit_marker_y.cast<double>(), 0.5);

  // Nothing changes without a value.
  draw_marker(py::none());
  EXPECT_FALSE(visible(edit_marker));

  auto marker_at = [](double view, double speed) {
    xbounds = {0, view};
    draw_marker(py::float_(speed));
    return text_of(edit_marker_text);
  };
  EXPECT_THAT(marker_at(100, 0.25), ::testing::EndsWith("\ndpms: 0.0"));
  EXPECT_THAT(marker_at(100, 0.75), ::testing::EndsWith("\ndpms: 1.0"));
  EXPECT_THAT(marker_at(300, 57.9), ::testing::EndsWith("\ndpms: 57"));
  EXPECT_THAT(marker_at(8, 3.14), ::testing::EndsWith("\ndpms: 3.15"));
  EXPECT_THAT(marker_at(4, 3.14), ::testing::EndsWith("\ndpms: 3.15"));   // exactly 4: the 0.05 grid
  EXPECT_THAT(marker_at(3.9, 3.14), ::testing::EndsWith("\ndpms: 3.14"));
  EXPECT_THAT(marker_at(12, 3.14), ::testing::EndsWith("\ndpms: 3.1"));   // exactly 12: the 0.1 grid
  EXPECT_THAT(marker_at(192, 3.3), ::testing::EndsWith("\ndpms: 3.5"));   // 0.5 grid up to 192
  EXPECT_THAT(marker_at(50, -2), ::testing::EndsWith("\ndpms: 0.0"));
  EXPECT_THAT(marker_at(500, -2), ::testing::EndsWith("\ndpms: 0"));
  EXPECT_TRUE(visible(edit_marker));
  EXPECT_TRUE(visible(edit_marker_text));
  EXPECT_EQ(marker_at(100, 40), "sens: 1.0\ndpms: 40.0");

  // Near the right edge the text is pulled in, the triangle is not.
  ybounds = {0, 2};
  marker_at(40, 39);
  EXPECT_DOUBLE_EQ(edit_marker_text.attr("get_position")()[py::int_(0)].cast<double>(), 36.0);
  EXPECT_DOUBLE_EQ(edit_marker.attr("get_xdata")()[py::int_(0)].cast<double>(), 39.0);
  EXPECT_NEAR(edit_marker.attr("get_ydata")()[py::int_(0)].cast<double>(), 1.0 + 0.06, 1e-12);
  EXPECT_NEAR(edit_marker_text.attr("get_position")()[py::int_(1)].cast<double>(), 1.2, 1e-12);
  // A value above the view: the text sits at ymax + 0.1 of the height.
  ybounds = {0, 0.5};
  marker_at(40, 20);
  EXPECT_NEAR(edit_marker_text.attr("get_position")()[py::int_(1)].cast<double>(), 0.55, 1e-12);
}

TEST(GraphMarker, HoverLabel) {
  start_recorded();
  using namespace arcflex;
  xbounds = {0, 46};
  ybounds = {0, 1.25};
  py::list one;
  one.append(1);
  one.append(2);
  draw_point_values(py::none(), one);
  EXPECT_EQ(text_of(point_value_text), "(10, 1)");
  EXPECT_TRUE(visible(point_value_text));
  EXPECT_NEAR(point_value_text.attr("get_position")()[py::int_(1)].cast<double>(), 1 + 0.074 * 1.25, 1e-12);
  py::list tail;
  tail.append(3);
  draw_point_values(py::none(), tail);
  EXPECT_NEAR(point_value_text.attr("get_position")()[py::int_(0)].cast<double>(), 46 - 0.2 * 46, 1e-12);
  // A long label by the right edge, and one at the top, are moved in whole
  // (the axes clip what passes their edges), and off their point's pixel
  // (the label's text gives the point).
  py::globals()["label"] = point_value_text;
  const char* whole = "label.update_bbox_position_size(canvas.get_renderer()) or (lambda e: ax.bbox.contains(e.x0, "
                      "e.y0) and ax.bbox.contains(e.x1, e.y1) and not e.contains(*ax.transData.transform(eval("
                      "label.get_text()))))(label.get_bbox_patch().get_window_extent())";
  set_line({0, 10, 30, 40.047001}, {0.5, 1, 1.25, 0.812345});
  draw_point_values(py::none(), py::eval("[3]"));
  EXPECT_TRUE(eval(whole).cast<bool>()) << text_of(point_value_text);
  draw_point_values(py::none(), py::eval("[2]"));
  EXPECT_TRUE(eval(whole).cast<bool>()) << text_of(point_value_text);
  set_line({0, 10, 30, 46}, {0.5, 1, 1.25, 1.25});  // the tail at the top right
  draw_point_values(py::none(), py::eval("[3]"));
  EXPECT_TRUE(eval(whole).cast<bool>()) << text_of(point_value_text);
  set_line({0, 10, 30, 40}, {0.5, 1, 1, 1.2});  // a rising tail: a label above its first point covers it
  draw_point_values(py::none(), py::eval("[2]"));
  EXPECT_TRUE(eval(std::string(whole) + " and not __import__('matplotlib').path.Path(ax.transData.transform([(30, 1), "
                   "(40, 1.2)])).intersects_bbox(label.get_bbox_patch().get_window_extent())").cast<bool>());
  draw_point_values(py::none(), py::list());
  EXPECT_FALSE(visible(point_value_text));
  // The value marker's text at the top of the view stays inside the axes,
  // also when the view reaches the axes after the marker moved (a zoom).
  ybounds = {0, 1};
  draw_marker(py::float_(35.0));
  check_viewbounds();
  EXPECT_TRUE(eval("lambda t: t.update_bbox_position_size(canvas.get_renderer()) or "
                   "t.get_bbox_patch().get_window_extent().y1 < ax.bbox.y1")(edit_marker_text).cast<bool>());
}

TEST(GraphAxisMode, ModesLabelsAndColours) {
  start_recorded();
  using namespace arcflex;
  auto colour = [](const py::object& a) {
    return py::module_::import("matplotlib.colors").attr("to_rgb")(a.attr("get_color")()).cast<std::vector<double>>();
  };
  auto label = [] { return axes_label.attr("cget")("text").cast<std::string>(); };
  std::vector<double> h(horizontal_scheme.begin(), horizontal_scheme.end());
  std::vector<double> v(vertical_scheme.begin(), vertical_scheme.end());

  // Give the vertical curve its own shape so the modes can be told apart.
  vertical_x = py::eval("[0, 5, 20, 60]");
  vertical_y = py::eval("[0.2, 0.4, 1.5, 2.0]");
  vertical_corners = py::eval("[0, 1, 0, 0]");

  set_axis_mode(py::int_(0));
  EXPECT_EQ(label(), "Both axes");
  EXPECT_EQ(colour(active_spline), h);
  EXPECT_EQ(colour(inactive_spline), v);
  EXPECT_EQ(active_line.attr("get_xdata")().cast<std::vector<double>>(), (std::vector<double>{0, 10, 30, 40}));
  EXPECT_EQ(py::len(active_out[py::int_(0)]), 129u);
  EXPECT_EQ(fud.attr("get_facecolor")().cast<std::vector<double>>()[1], h[1] * 0.5);

  set_axis_mode(py::int_(1));
  EXPECT_EQ(label(), "Horizontal axis");
  EXPECT_EQ(colour(active_spline), h);

  set_axis_mode(py::str("2"));
  EXPECT_EQ(axis_mode, 2);
  EXPECT_EQ(label(), "Vertical axis");
  EXPECT_EQ(colour(active_spline), v);
  EXPECT_EQ(active_line.attr("get_xdata")().cast<std::vector<double>>(), (std::vector<double>{0, 5, 20, 60}));
  EXPECT_NEAR(slope, 0.5 / 40, 1e-15);
  // Three control points with one edge point: 192 grid values + 1.
  EXPECT_EQ(py::len(active_out[py::int_(0)]), 193u);

  set_axis_mode(py::int_(5));
  EXPECT_EQ(label(), "Vertical axis");
  EXPECT_EQ(colour(active_spline), v);
  set_axis_mode(py::int_(-1));
  EXPECT_EQ(label(), "Vertical axis");
  EXPECT_EQ(colour(active_spline), h);

  // The active flags are a copy.
  active_corners.attr("append")(7);
  EXPECT_EQ(py::len(horizontal_corners), 4u);
  EXPECT_THROW(set_axis_mode(py::str("x")), py::error_already_set);
}
