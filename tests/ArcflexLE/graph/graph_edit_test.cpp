// Editing on the graph driven by synthetic matplotlib events through the
// canvas's own callbacks: drags and their bounds, group drags and Shift
// scaling, axis locks, pan and zoom, hover texts, adding and deleting
// points, the pop-ups and the keyboard shortcuts.
#include <gmock/gmock.h>

#include "curve.h"
#include "curve_match.h"
#include "edit_windows.h"
#include "graph.h"
#include "graph_edit.h"
#include "gui_fixture.h"
#include "points.h"
#include "private_xserver.h"

#include <cmath>
#include <cstdlib>

using namespace guitest;
using ::testing::DoubleNear;
using ::testing::ElementsAre;
using ::testing::Pointwise;

namespace {

using Pts = std::vector<std::pair<double, double>>;

void set_curve(std::vector<double> xs, std::vector<double> ys, std::vector<int> cs = {}) {
  using namespace arcflex;
  if (cs.empty()) cs.assign(xs.size(), 0);
  py::list lx, ly, lc;
  for (double v : xs) lx.append(v);
  for (double v : ys) ly.append(v);
  for (int c : cs) lc.append(c);
  corners = lc;
  set_xy(lx, ly);
  set_line_markers();
  redefine_spline();
  update_spline();
}

void view(double x0, double x1, double y0, double y1) {
  arcflex::xbounds = {x0, x1};
  arcflex::ybounds = {y0, y1};
  arcflex::check_viewbounds();
}

// Starts the editor with the default-shaped curve in a fixed view.
void start() {
  start_recorded();
  run(R"(
from matplotlib.backend_bases import MouseEvent, KeyEvent
def mouse(name, x, y, button=None, margin=False):
    px, py = (5.0, 5.0) if margin else ax.transData.transform((x, y))
    ev = MouseEvent(name, canvas, px, py, button=button)
    canvas.callbacks.process(name, ev)
    return ev
def key(name, k, x, y):
    px, py = ax.transData.transform((x, y))
    ev = KeyEvent(name, canvas, k, px, py)
    canvas.callbacks.process(name, ev)
)");
  set_curve({0, 10, 30, 40}, {0.5, 1, 1, 1});
  view(0, 50, 0, 2);
}

void mouse(const char* name, double x, double y, const char* button = "None") {
  run(std::string("mouse('") + name + "', " + std::to_string(x) + ", " + std::to_string(y) + ", " + button + ")");
}
void press(double x, double y, int b = 1) { mouse("button_press_event", x, y, std::to_string(b).c_str()); }
void release(double x, double y, int b = 1) { mouse("button_release_event", x, y, std::to_string(b).c_str()); }
void drag_to(double x, double y) { mouse("motion_notify_event", x, y, "1"); }
void hover(double x, double y) { mouse("motion_notify_event", x, y); }
void key(const char* name, const char* k, double x, double y) {
  run(std::string("key('") + name + "', '" + k + "', " + std::to_string(x) + ", " + std::to_string(y) + ")");
}

Pts points() { return arcflex::xy.cast<Pts>(); }
std::vector<double> xs() {
  std::vector<double> v;
  for (auto& p : points()) v.push_back(p.first);
  return v;
}
std::vector<int> corner_flags() { return arcflex::corners.cast<std::vector<int>>(); }
std::string text_of(const py::object& t) { return t.attr("get_text")().cast<std::string>(); }
bool shown(const py::object& w) { return w.attr("state")().cast<std::string>() == "normal"; }
bool label_shown() { return arcflex::point_value_text.attr("get_visible")().cast<bool>(); }
size_t sounds() {
  size_t n = 0;
  for (auto& r : arcflex::dialogs::recorded()) n += r.kind == "sound";
  return n;
}

#define EXPECT_PT(i, px, py_)                         \
  do {                                                \
    auto p_ = points().at(i);                         \
    EXPECT_NEAR(p_.first, (px), 1e-9) << "x of " << i;  \
    EXPECT_NEAR(p_.second, (py_), 1e-9) << "y of " << i; \
  } while (0)

MATCHER(PtNear, "") {
  auto [a, b] = arg;
  return std::abs(a.first - b.first) < 1e-9 && std::abs(a.second - b.second) < 1e-9;
}

}  // namespace

// ---- single-point drags ----------------------------------------------------

TEST(GraphDrag, MiddlePointIsClampedAtEachNeighbour) {
  start();
  press(10, 1);
  EXPECT_THAT(arcflex::vind, ElementsAre(1));
  EXPECT_EQ(arcflex::last_index, 1);
  drag_to(35, 1.8);  // beyond the next point: held at (30, 1)
  EXPECT_THAT(points(), Pointwise(PtNear(), Pts{{0, 0.5}, {30, 1}, {30, 1}, {40, 1}}));
  drag_to(-2, 0.1);  // beyond the previous point: held at (0, 0.5)
  EXPECT_THAT(points(), Pointwise(PtNear(), Pts{{0, 0.5}, {0, 0.5}, {30, 1}, {40, 1}}));
  drag_to(20, 0.75);
  release(20, 0.75);
  EXPECT_TRUE(arcflex::vind.empty());
  EXPECT_THAT(points(), Pointwise(PtNear(), Pts{{0, 0.5}, {20, 0.75}, {30, 1}, {40, 1}}));
}

TEST(GraphDrag, NegativeAccelLiftsOnlyTheYLimits) {
  start();
  arcflex::negative_accel = 1;
  press(10, 1);
  drag_to(35, 0.1);
  EXPECT_PT(1, 30, 0.1);
}

TEST(GraphDrag, TailEndPointKeepsRightOfAndAboveTheLastControlPoint) {
  start();
  set_curve({0, 10, 30, 40}, {0.5, 1, 1, 1.5});
  view(0, 50, 0, 2);
  press(40, 1.5);
  EXPECT_THAT(arcflex::vind, ElementsAre(3));
  drag_to(5, 0.2);
  // x at least the last control point's x + 0.00001 * |dy|, y at least its y.
  EXPECT_PT(3, 30 + 0.00001 * 0.5, 1);
  release(5, 0.2);
  arcflex::negative_accel = 1;
  set_curve({0, 10, 30, 40}, {0.5, 1, 1, 1.5});
  view(0, 50, 0, 2);
  press(40, 1.5);
  ASSERT_THAT(arcflex::vind, ElementsAre(3));
  drag_to(45, 0.2);
  EXPECT_PT(3, 45, 0.2);
}

TEST(GraphDrag, AxisLocksKeepOneCoordinate) {
  start();
  arcflex::lock_on_x = true;
  press(10, 1);
  drag_to(20, 0.7);
  EXPECT_PT(1, 20, 1);
  arcflex::lock_on_x = false;
  arcflex::lock_on_y = true;
  drag_to(25, 0.7);
  EXPECT_PT(1, 20, 0.7);
  arcflex::lock_on_x = true;  // both: the X lock wins
  drag_to(22, 0.9);
  EXPECT_PT(1, 22, 0.7);
}

TEST(GraphDrag, ADragEndsWhenTheCurveLostItsPoints) {
  start();
  press(40, 1);
  ASSERT_THAT(arcflex::vind, ElementsAre(3));
  arcflex::last_index = 1;
  arcflex::del_point();
  Pts before = points();
  drag_to(45, 1.5);
  EXPECT_EQ(points(), before);
  EXPECT_TRUE(arcflex::vind.empty());
}

// ---- groups and Shift scaling ----------------------------------------------

TEST(GraphGroup, GMovesTheGrabbedAndEveryLaterPoint) {
  start();
  arcflex::g_pressed = true;
  press(10, 1);
  EXPECT_THAT(arcflex::vind, ElementsAre(1, 2, 3));
  drag_to(15, 1.5);
  EXPECT_THAT(points(), Pointwise(PtNear(), Pts{{0, 0.5}, {15, 1.5}, {35, 1.5}, {45, 1.5}}));
  // The grabbed point stops at the previous point.
  drag_to(-2, 0.2);
  EXPECT_PT(1, 0, 0.5);
}

TEST(GraphGroup, LastControlPointCarriesTheTailAndBPicksTheLowerOfTwo) {
  start();
  press(30, 1);
  drag_to(32, 1.2);
  EXPECT_THAT(arcflex::vind, ElementsAre(2, 3));
  EXPECT_THAT(points(), Pointwise(PtNear(), Pts{{0, 0.5}, {10, 1}, {32, 1.2}, {42, 1.2}}));
  release(32, 1.2);
  set_curve({0, 10, 10, 40}, {0.5, 1, 1, 1});
  view(0, 50, 0, 2);
  press(10, 1);
  EXPECT_THAT(arcflex::vind, ElementsAre(2));
  release(10, 1);
  arcflex::b_pressed = true;
  press(10, 1);
  EXPECT_THAT(arcflex::vind, ElementsAre(1));
}

TEST(GraphShift, ScalesEarlierPointsWithoutNegativeAccel) {
  start();
  view(0, 100, 0, 3);
  arcflex::shift_key = true;
  press(30, 1);
  EXPECT_THAT(arcflex::vind, ElementsAre(2, 3));
  drag_to(60, 2);
  EXPECT_THAT(points(), Pointwise(PtNear(), Pts{{0, 0.5}, {20, 2}, {60, 2}, {70, 2}}));
  drag_to(60, 0.2);  // below the floor: earlier points flatten to point 0's height
  EXPECT_THAT(points(), Pointwise(PtNear(), Pts{{0, 0.5}, {20, 0.5}, {60, 0.5}, {70, 0.5}}));
}

TEST(GraphShift, ScalesEarlierPointsWithNegativeAccel) {
  start();
  view(0, 100, 0, 3);
  arcflex::negative_accel = 1;
  arcflex::shift_key = true;
  press(30, 1);
  drag_to(60, 0.2);
  EXPECT_THAT(points(), Pointwise(PtNear(), Pts{{0, 0.5}, {20, 0.2}, {60, 0.2}, {70, 0.2}}));
}

TEST(GraphShift, SnapshotWithNothingGrabbedIsEmptyAndStaleOnesEndTheDrag) {
  start();
  arcflex::miny = py::float_(7.0);
  arcflex::vind.clear();
  arcflex::get_scale_snapshot();
  EXPECT_EQ(py::len(arcflex::scale_snapshot), 0u);
  EXPECT_EQ(arcflex::miny.cast<double>(), 7.0);
  // A grabbed index beyond the curve gives no snapshot and no failure.
  arcflex::vind = {9};
  arcflex::get_scale_snapshot();
  EXPECT_EQ(py::len(arcflex::scale_snapshot), 0u);
  // A snapshot of another curve length ends a Shift drag without a move.
  arcflex::shift_key = true;
  press(30, 1);
  set_curve({0, 10, 20, 30, 40}, {0.5, 1, 1, 1, 1});
  view(0, 50, 0, 2);
  arcflex::vind = {3};
  Pts before = points();
  drag_to(35, 1.5);
  EXPECT_EQ(points(), before);
}

// ---- pan and zoom ----------------------------------------------------------

TEST(GraphPanZoom, PanFollowsThePointerEverySecondEvent) {
  start();
  view(20, 60, 0, 2);
  press(40, 1.7);
  EXPECT_TRUE(arcflex::vind.empty());
  drag_to(50, 1.7);  // counted
  EXPECT_DOUBLE_EQ(arcflex::xbounds.first, 20);
  drag_to(50, 1.7);  // pans
  EXPECT_NEAR(arcflex::xbounds.first, 10, 1e-9);
  EXPECT_NEAR(arcflex::xbounds.second, 50, 1e-9);
  release(50, 1.7);
}

TEST(GraphPanZoom, APressInTheMarginAnchorsNoPan) {
  start();
  view(20, 60, 0, 2);
  press(40, 1.7);
  release(40, 1.7);
  run("mouse('button_press_event', 0, 0, 1, margin=True)");
  drag_to(50, 1.7);
  drag_to(50, 1.7);
  EXPECT_DOUBLE_EQ(arcflex::xbounds.first, 20);
  EXPECT_DOUBLE_EQ(arcflex::xbounds.second, 60);
}

TEST(GraphPanZoom, WheelZoomsAboutTheOriginOrThePointerWithinLimits) {
  start();
  run("ev = MouseEvent('scroll_event', canvas, *ax.transData.transform((25, 1)), button='up', step=1); "
      "canvas.callbacks.process('scroll_event', ev)");
  EXPECT_NEAR(arcflex::xbounds.second, 45, 1e-9);
  EXPECT_NEAR(arcflex::ybounds.second, 1.8, 1e-9);
  arcflex::graph_suspended = true;
  run("canvas.callbacks.process('scroll_event', ev)");
  EXPECT_NEAR(arcflex::xbounds.second, 45, 1e-9);
  arcflex::graph_suspended = false;
  // Zoom to location: the point under the pointer stays.
  arcflex::zoom_to_location = 1;
  view(0, 40, 0, 2);
  arcflex::zoom_step(true, py::float_(10.0), py::float_(1.0));
  EXPECT_NEAR(arcflex::xbounds.first, 1, 1e-9);
  EXPECT_NEAR(arcflex::xbounds.second, 37, 1e-9);
  // At lowerbound the width stays exactly lowerbound, in the same ratio.
  view(0, 0.016, 0, 2);
  arcflex::zoom_step(true, py::float_(0.004), py::float_(1.0));
  EXPECT_NEAR(arcflex::xbounds.second - arcflex::xbounds.first, arcflex::lowerbound, 1e-12);
  EXPECT_NEAR((0.004 - arcflex::xbounds.first) / arcflex::lowerbound, 0.25, 1e-9);
  // A zero-width window stops the pointer zoom.
  arcflex::xbounds = {5, 5};
  arcflex::ybounds = {0, 10};
  arcflex::zoom_step(true, py::float_(5.0), py::float_(1.0));
  EXPECT_EQ(arcflex::xbounds, std::make_pair(5.0, 5.0));
  // Locks: only the other axis zooms; zoom out keys on release.
  arcflex::zoom_to_location = 0;
  view(0, 40, 0, 2);
  arcflex::lock_on_x = true;
  key("key_release_event", "ctrl+minus", 10, 1);
  EXPECT_NEAR(arcflex::xbounds.second, 40 * 1.1111111111111112, 1e-9);
  EXPECT_NEAR(arcflex::ybounds.second, 2, 1e-9);
}

TEST(GraphPanZoom, HoverLabelAndMarkerTexts) {
  start();
  hover(10, 1);
  EXPECT_TRUE(arcflex::point_value_text.attr("get_visible")().cast<bool>());
  EXPECT_EQ(text_of(arcflex::point_value_text), "(10.0, 1.0)");
  arcflex::canvas.attr("draw")();
  EXPECT_TRUE(label_shown());
  // A curve put in its place (a preset, a load) takes the label with it.
  set_curve({0, 12, 30, 40}, {0.5, 1.1, 1, 1});
  arcflex::draw_curve_artists();
  EXPECT_FALSE(label_shown());
  hover(20, 1.8);
  EXPECT_FALSE(arcflex::point_value_text.attr("get_visible")().cast<bool>());
  arcflex::show_marker = true;
  hover(20, 1.8);
  EXPECT_TRUE(arcflex::edit_marker_text.attr("get_visible")().cast<bool>());
  EXPECT_EQ(text_of(arcflex::edit_marker_text).rfind("sens: ", 0), 0u);
  EXPECT_NEAR(arcflex::cursor_last_x.cast<double>(), 20, 1e-6);
}

// ---- adding and deleting ---------------------------------------------------

TEST(GraphPoints, RightClickOnASegmentOffersAndAddsAPointAtTheClick) {
  start();
  press(20, 1.02, 3);
  release(20, 1.02, 3);
  ASSERT_TRUE(shown(arcflex::add_window));
  int px = arcflex::root.attr("winfo_pointerx")().cast<int>();
  int py_ = arcflex::root.attr("winfo_pointery")().cast<int>();
  EXPECT_EQ(arcflex::add_window.attr("geometry")().cast<std::string>().substr(
                arcflex::add_window.attr("geometry")().cast<std::string>().find('+')),
            "+" + std::to_string(px + 2) + "+" + std::to_string(py_));
  arcflex::add_point_button.attr("invoke")();
  EXPECT_FALSE(shown(arcflex::add_window));
  EXPECT_THAT(points(), Pointwise(PtNear(), Pts{{0, 0.5}, {10, 1}, {20, 1}, {30, 1}, {40, 1}}));
  EXPECT_EQ(arcflex::numverts, 4);
}

TEST(GraphPoints, EdgePointOnTheTailAndTheLeadIn) {
  start();
  key("key_release_event", "e", 35, 1);
  EXPECT_THAT(corner_flags(), ElementsAre(0, 0, 0, 1, 0));
  set_curve({5, 10, 30, 40}, {0.5, 1, 1, 1});
  view(0, 50, 0, 2);
  key("key_release_event", "a", 2, 0.5);
  EXPECT_PT(0, 2, 0.5);
  // A curve starting at x 0: a lead-in add never lands right of the old first point.
  set_curve({0, 10, 30, 40}, {0.5, 1, 1, 1});
  view(0, 50, 0, 2);
  key("key_release_event", "a", 0.3, 0.5);
  std::vector<double> v = xs();
  EXPECT_TRUE(std::is_sorted(v.begin(), v.end()));
  // With a prefix nothing is added.
  size_t n = points().size();
  key("key_release_event", "ctrl+a", 20, 1);
  EXPECT_EQ(points().size(), n);
}

TEST(GraphPoints, FullCurveOnlySoundsAndDeleteRules) {
  start();
  std::vector<double> x, y;
  for (int i = 0; i < 32; ++i) {
    x.push_back(i);
    y.push_back(1);
  }
  set_curve(x, y);
  view(0, 40, 0, 2);
  size_t before = sounds();
  key("key_release_event", "a", 5.5, 1);
  EXPECT_EQ(points().size(), 32u);
  EXPECT_EQ(sounds(), before + 1);
  // Deleting the tail end point leaves the last control point as tail, flag 0.
  set_curve({0, 10, 30, 40}, {0.5, 1, 1, 1}, {0, 0, 1, 0});
  view(0, 50, 0, 2);
  arcflex::last_index = 3;
  arcflex::del_point();
  EXPECT_THAT(corner_flags(), ElementsAre(0, 0, 0));
  // An index no longer in the curve deletes nothing.
  arcflex::last_index = 7;
  arcflex::del_point();
  EXPECT_EQ(points().size(), 3u);
  // D with G held deletes the point under the pointer, not the tail.
  arcflex::g_pressed = true;
  hover(10, 1);
  key("key_press_event", "d", 10, 1);
  EXPECT_THAT(xs(), ElementsAre(0, 30));
  EXPECT_FALSE(label_shown());
  arcflex::g_pressed = false;
  before = sounds();
  key("key_press_event", "d", 30, 1);
  EXPECT_EQ(points().size(), 2u);
  EXPECT_EQ(sounds(), before + 1);
}

TEST(GraphPoints, RightClickOnAPointOpensTheEditWindowBesideThePointer) {
  start();
  hover(30, 1);
  press(30, 1, 3);
  release(30, 1, 3);
  ASSERT_TRUE(shown(arcflex::edit_window));
  EXPECT_FALSE(shown(arcflex::add_window));
  int px = arcflex::root.attr("winfo_pointerx")().cast<int>();
  int py_ = arcflex::root.attr("winfo_pointery")().cast<int>();
  std::string g = arcflex::edit_window.attr("geometry")().cast<std::string>();
  EXPECT_EQ(g.substr(g.find('+')), "+" + std::to_string(px + 8) + "+" + std::to_string(py_ + 4));
  arcflex::delete_button.attr("invoke")();
  EXPECT_FALSE(shown(arcflex::edit_window));
  EXPECT_THAT(xs(), ElementsAre(0, 10, 40));
  EXPECT_FALSE(label_shown());
  // A press on the graph hides an open pop-up.
  press(20, 1.8, 3);
  release(20, 1.8, 3);
  press(20, 1.7, 1);
  EXPECT_FALSE(shown(arcflex::add_window));
}

// ---- shortcuts -------------------------------------------------------------

TEST(GraphKeys, HeldModesAndLatches) {
  start();
  using namespace arcflex;
  press_key(88);
  EXPECT_TRUE(lock_on_x);
  release_key(88);
  EXPECT_FALSE(lock_on_x);
  ctrl_key = true;
  press_key(88);
  ctrl_key = false;
  release_key(88);
  EXPECT_TRUE(lock_on_x);  // latched
  press_key(89);           // Y ends the x lock at once
  EXPECT_FALSE(lock_on_x);
  EXPECT_TRUE(lock_on_y);
  release_key(89);
  EXPECT_FALSE(lock_on_y);
  press_key(90);
  EXPECT_EQ(z_i_f, 0.75);
  release_key(90);
  EXPECT_EQ(z_i_f, 0.9166666666666666);
  EXPECT_EQ(z_o_f, 1.0909090909090908);
  press_key(71);
  EXPECT_TRUE(g_pressed);
  EXPECT_EQ(key_pressed, 4);
  release_key(71);
  EXPECT_FALSE(g_pressed);
  EXPECT_EQ(key_pressed, 0);
  // N with Ctrl keeps the curve hidden; the next N shows it at release.
  ctrl_key = true;
  press_key(78);
  ctrl_key = false;
  release_key(78);
  EXPECT_FALSE(show_line);
  EXPECT_EQ(ctrl_n, 1);
  press_key(74);  // J does nothing while the curve is hidden
  EXPECT_FALSE(j_pressed);
  press_key(78);
  release_key(78);
  EXPECT_TRUE(show_line);
  EXPECT_TRUE(show_points);
  // J shows the marker until its release unless latched.
  press_key(74);
  EXPECT_TRUE(show_marker);
  release_key(74);
  EXPECT_FALSE(show_marker);
  // H hides the points while held; the curve stays.
  press_key(72);
  EXPECT_FALSE(show_points);
  EXPECT_TRUE(spline.attr("get_visible")().cast<bool>());
  press(10, 1);
  EXPECT_TRUE(vind.empty());  // no pick while the points are hidden
  release(10, 1);
  release_key(72);
  EXPECT_TRUE(show_points);
}

TEST(GraphKeys, RescaleOncePerPressCtrlDAndMatch) {
  start();
  using namespace arcflex;
  view(0, 500, 0, 20);
  press_key(82);
  EXPECT_LT(xbounds.second, 500);
  view(0, 500, 0, 20);
  press_key(82);  // a repeat of the held key
  EXPECT_EQ(xbounds.second, 500);
  release_key(82);
  press_key(82);
  EXPECT_LT(xbounds.second, 500);
  set_curve({0, 12, 30, 45}, {0.5, 1, 1, 1});
  press_key(68);  // D without Ctrl: no shortcut
  EXPECT_THAT(xs(), ElementsAre(0, 12, 30, 45));
  ctrl_key = true;
  press_key(68);
  ctrl_key = false;
  EXPECT_THAT(xs(), ElementsAre(0, 10, 30, 40));
  release_key(68);
  // M copies the active curve into the edited one.
  set_curve({0, 5, 40}, {0.5, 1, 1});
  release_key(77);
  std::vector<double> ax_ = active_line.attr("get_xdata")().cast<std::vector<double>>();
  EXPECT_EQ(xs(), ax_);
}

// ---- real pointer events ---------------------------------------------------

namespace {

// Screen position of a data point on the shown canvas.
std::pair<int, int> screen_of(double x, double y) {
  py::object w = arcflex::canvas.attr("get_tk_widget")();
  std::vector<double> d = eval("list(ax.transData.transform((" + std::to_string(x) + ", " + std::to_string(y) + ")))")
                              .cast<std::vector<double>>();
  int h = w.attr("winfo_height")().cast<int>();
  return {w.attr("winfo_rootx")().cast<int>() + static_cast<int>(std::lround(d[0])),
          w.attr("winfo_rooty")().cast<int>() + h - static_cast<int>(std::lround(d[1]))};
}

// Runs xdotool, then lets Tk handle what the X server sent.
void xdo(const std::string& args) {
  ASSERT_EQ(std::system(("xdotool " + args).c_str()), 0) << args;
  pump_rounds(20, 10);
}

}  // namespace

TEST(GraphPointer, XTestDragMovesAPointAndRightClickOffersDelete) {
  // Real pointer events go to whatever window is on top: on the shared X
  // server that may be another test's. The server lives until the process
  // ends, after the editor's windows are gone.
  static aftest::PrivateXServer x_server("1600x1000x24");
  ASSERT_FALSE(x_server.name().empty()) << "no private X server";
  setenv("DISPLAY", x_server.name().c_str(), 1);
  start();
  arcflex::root.attr("geometry")("+0+0");
  pump_rounds(30, 10);
  view(0, 50, 0, 2);
  auto [sx, sy] = screen_of(10, 1);
  auto [tx, ty] = screen_of(20, 0.8);
  xdo("mousemove " + std::to_string(sx) + " " + std::to_string(sy));
  EXPECT_EQ(text_of(arcflex::point_value_text), "(10.0, 1.0)");
  xdo("mousedown 1");
  EXPECT_THAT(arcflex::vind, ElementsAre(1));
  for (int k = 1; k <= 4; ++k)
    xdo("mousemove " + std::to_string(sx + (tx - sx) * k / 4) + " " + std::to_string(sy + (ty - sy) * k / 4));
  xdo("mouseup 1");
  EXPECT_TRUE(arcflex::vind.empty());
  Pts p = points();
  EXPECT_NEAR(p[1].first, 20, 0.2);
  EXPECT_NEAR(p[1].second, 0.8, 0.02);
  // A right click on the moved point opens the Delete window.
  auto [dx, dy] = screen_of(p[1].first, p[1].second);
  xdo("mousemove " + std::to_string(dx) + " " + std::to_string(dy) + " click 3");
  EXPECT_TRUE(shown(arcflex::edit_window));
  if (const char* shot = std::getenv("AF_EDIT_SHOT")) std::system(("import -window root " + std::string(shot)).c_str());
}
