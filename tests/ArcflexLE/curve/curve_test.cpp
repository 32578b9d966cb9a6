// The curve model against real NumPy, SciPy and matplotlib objects.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

#include "curve.h"
#include "curve_fixture.h"
#include "state.h"

namespace py = pybind11;
using namespace arcflex;
using namespace curvetest;

namespace {

// An ascending curve of n points with no falling y.
Curve ascending(int n) {
  Curve c;
  for (int i = 0; i < n; ++i) {
    c.x.append(10 * i);
    c.y.append(1 + 0.1 * i);
    c.corners.append(0);
  }
  return c;
}

bool valid(const Curve& c) { return points_are_valid(c.x, c.y, c.corners); }
bool neg_valid(const Curve& c) { return neg_points_are_valid(c.x, c.y, c.corners); }

class CurveModel : public ::testing::Test {
 protected:
  void SetUp() override { build_headless_graph(); }
};

}  // namespace

// ---- validity --------------------------------------------------------------

TEST(CurveValidity, DefaultCurveAndPointCountLimits) {
  Curve d = get_default_points();
  EXPECT_TRUE(valid(d));
  EXPECT_TRUE(neg_valid(d));
  EXPECT_TRUE(valid(ascending(32)));   // 31 control points
  EXPECT_FALSE(valid(ascending(33)));  // 32 control points
  EXPECT_FALSE(neg_valid(ascending(33)));
  EXPECT_TRUE(valid(ascending(2)));
  EXPECT_FALSE(valid(ascending(1)));
  Curve empty;  // three empty lists
  EXPECT_FALSE(valid(empty));
  EXPECT_FALSE(neg_valid(empty));
}

TEST(CurveValidity, FallingYNeedsNegativeAcceleration) {
  Curve falling{list_of({0, 10, 20}), list_of({1, 0.5, 0.7}), ints_of({0, 0, 0})};
  negative_accel = 0;
  EXPECT_FALSE(valid(falling));
  EXPECT_TRUE(neg_valid(falling));
  negative_accel = 1;
  EXPECT_TRUE(valid(falling));
  EXPECT_TRUE(neg_valid(falling));

  // The tail end point below the last control point is a fall too.
  Curve low_tail{list_of({0, 10, 20}), list_of({1, 2, 1.5}), ints_of({0, 0, 0})};
  negative_accel = 0;
  EXPECT_FALSE(valid(low_tail));
  EXPECT_TRUE(neg_valid(low_tail));
}

TEST(CurveValidity, BoundsOrderAndLengths) {
  EXPECT_TRUE(valid({list_of({0, 10, 10, 20}), list_of({1, 1, 1, 1}), ints_of({0, 0, 0, 0})}));
  EXPECT_FALSE(valid({list_of({-1, 10, 20}), list_of({1, 1, 1}), ints_of({0, 0, 0})}));
  EXPECT_FALSE(valid({list_of({0, 20, 10}), list_of({1, 1, 1}), ints_of({0, 0, 0})}));
  // Tail end point limits.
  EXPECT_TRUE(valid({list_of({0, 10, 8192}), list_of({1, 1, 8192}), ints_of({0, 0, 0})}));
  EXPECT_FALSE(valid({list_of({0, 10, 8193}), list_of({1, 1, 1}), ints_of({0, 0, 0})}));
  EXPECT_FALSE(valid({list_of({0, 10, 20}), list_of({1, 1, 8193}), ints_of({0, 0, 0})}));
  EXPECT_FALSE(neg_valid({list_of({0, 10, 20}), list_of({1, 1, -1}), ints_of({0, 0, 0})}));
  EXPECT_FALSE(neg_valid({list_of({0, 10, 20}), list_of({-0.5, 1, 1}), ints_of({0, 0, 0})}));
  // A control point's x of 9000 is caught only by the order of x.
  EXPECT_FALSE(valid({list_of({0, 9000, 20}), list_of({1, 1, 1}), ints_of({0, 0, 0})}));
  // Mismatched lengths.
  EXPECT_FALSE(valid({list_of({0, 10, 20}), list_of({1, 1}), ints_of({0, 0, 0})}));
  EXPECT_FALSE(valid({list_of({0, 10, 20}), list_of({1, 1, 1}), ints_of({0, 0})}));
  // Flags of any value leave the verdict alone.
  EXPECT_TRUE(valid({list_of({0, 10, 20}), list_of({1, 1, 1}), ints_of({2, -1, 0})}));
}

TEST(CurveValidity, NonFiniteValuesAreInvalid) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (double bad : {nan, inf, -inf}) {
    EXPECT_FALSE(neg_valid({list_of({0, bad, 20}), list_of({1, 1, 1}), ints_of({0, 0, 0})}));
    EXPECT_FALSE(neg_valid({list_of({0, 10, 20}), list_of({1, bad, 1}), ints_of({0, 0, 0})}));
    EXPECT_FALSE(valid({list_of({0, 10, 20}), list_of({1, 1, bad}), ints_of({0, 0, 0})}));
    EXPECT_FALSE(valid({list_of({bad, 10, 20}), list_of({1, 1, 1}), ints_of({0, 0, 0})}));
  }
}

TEST(CurveValidity, XWithoutLengthRaisesOtherErrorsAreSwallowed) {
  EXPECT_THROW(points_are_valid(py::int_(3), py::list(), py::list()), py::error_already_set);
  // Values that cannot be compared end the tests without an exception.
  py::list xs = list_of({0, 10});
  xs.append("a");
  EXPECT_NO_THROW(points_are_valid(xs, list_of({1, 1, 1}), ints_of({0, 0, 0})));
}

TEST(CurveDefaults, FreshListsWithWholeAndRealNumbers) {
  Curve a = get_default_points();
  Curve b = get_default_points();
  EXPECT_FALSE(a.x.is(b.x));
  a.x[0] = 5;
  EXPECT_EQ(py_repr(b.x), "[0, 10, 30, 40]");
  EXPECT_EQ(py_repr(b.y), "[0.5, 1, 1, 1]");
  EXPECT_EQ(py_repr(b.corners), "[0, 0, 0, 0]");
}

// ---- set_xy ----------------------------------------------------------------

TEST_F(CurveModel, SetXyKeepsTheListsAndTrimsPairsToTheShorterList) {
  py::list xs = list_of({0, 10, 20}), ys = list_of({1, 2});
  set_xy(xs, ys);
  EXPECT_TRUE(x.is(xs));
  EXPECT_TRUE(y.is(ys));
  EXPECT_EQ(py::len(xy), 2u);
  for (py::object artist : {line, point_marker_line, edge_marker_line}) {
    EXPECT_EQ(doubles(artist.attr("get_xdata")()), (std::vector<double>{0, 10}));
    EXPECT_EQ(doubles(artist.attr("get_ydata")()), (std::vector<double>{1, 2}));
  }
}

// ---- spline sizes ----------------------------------------------------------

struct SizeCase {
  int control_points;
  int edge_index;  // -1: no edge point
  int samples, knots, polygon, degree, params;
};

TEST_F(CurveModel, SplineSizesFollowControlPointsAndEdgePoints) {
  const SizeCase cases[] = {
      {1, -1, 0, 6, 3, 2, 128},  {1, 0, 0, 6, 3, 2, 128},   {2, -1, 3, 9, 6, 3, 224},
      {3, -1, 0, 6, 3, 2, 128},  {3, 1, 3, 9, 5, 3, 192},   {4, -1, 2, 8, 4, 3, 160},
      {4, 2, 4, 10, 6, 3, 224},  {31, -1, 29, 35, 31, 3, 1024},
  };
  for (const SizeCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.control_points << " control points, edge " << c.edge_index);
    Curve curve = ascending(c.control_points + 1);
    if (c.edge_index >= 0) curve.corners[c.edge_index] = 1;
    install_curve(curve.x, curve.y, curve.corners);
    EXPECT_EQ(numverts, c.control_points);
    EXPECT_EQ(samples, c.samples);
    EXPECT_EQ(py::len(t), static_cast<size_t>(c.knots));
    EXPECT_EQ(py::len(tck[py::int_(1)][py::int_(0)]), static_cast<size_t>(c.polygon));
    EXPECT_EQ(tck[py::int_(2)].cast<int>(), c.degree);
    EXPECT_EQ(py::len(u3), static_cast<size_t>(c.params));
    std::vector<double> xs = doubles(out[py::int_(0)]), ys = doubles(out[py::int_(1)]);
    ASSERT_EQ(xs.size(), static_cast<size_t>(c.params + 1));
    EXPECT_EQ(xs[0], 0.0);
    EXPECT_EQ(ys[0], ys[1]);
    // The samples run from the first to the last control point.
    EXPECT_NEAR(xs[1], 0.0, 1e-9);
    EXPECT_NEAR(xs.back(), 10.0 * (c.control_points - 1), 1e-9);
  }
}

TEST_F(CurveModel, KnotVectorsOfTheSamplingRule) {
  Curve c = ascending(4);
  c.corners[1] = 1;  // three control points, one edge point
  install_curve(c.x, c.y, c.corners);
  EXPECT_EQ(doubles(t), (std::vector<double>{0, 0, 0, 0, 0.5, 1, 1, 1, 1}));
  install_curve(ascending(5).x, ascending(5).y, ascending(5).corners);
  EXPECT_EQ(doubles(t), (std::vector<double>{0, 0, 0, 0, 1, 1, 1, 1}));
  install_default_curve();
  EXPECT_EQ(doubles(t), (std::vector<double>{0, 0, 0, 1, 1, 1}));
}

TEST_F(CurveModel, DefaultCurveSamples) {
  install_default_curve();
  EXPECT_EQ(numverts, 3);
  EXPECT_EQ(py::len(u3), 128u);
  std::vector<double> xs = doubles(out[py::int_(0)]), ys = doubles(out[py::int_(1)]);
  ASSERT_EQ(xs.size(), 129u);
  EXPECT_EQ(xs[0], 0.0);
  EXPECT_EQ(ys[0], 0.5);
  EXPECT_DOUBLE_EQ(xs.back(), 30.0);
  EXPECT_DOUBLE_EQ(ys.back(), 1.0);
  // The spline data and the tail arrow follow.
  EXPECT_EQ(doubles(spline.attr("get_xdata")()).size(), 129u);
  EXPECT_EQ(py_repr(arrow.attr("_posA_posB")), "[(30, 1), (40, 1)]");
}

TEST_F(CurveModel, EdgeFlagOnTheTailEndPointIsAClearError) {
  Curve c = ascending(5);
  c.corners[4] = 1;  // counted by the sample rule, absent from the polygon
  corners = c.corners;
  set_xy(c.x, c.y);
  redefine_spline();
  try {
    update_spline();
    FAIL() << "a polygon too short for its knots was evaluated";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("coefficients"), std::string::npos);
  }
}

TEST_F(CurveModel, OnlyFlagsEqualToOneMakeEdgePoints) {
  Curve c = ascending(5);
  c.corners[1] = 2;
  c.corners[2] = -1;
  install_curve(c.x, c.y, c.corners);
  EXPECT_EQ(samples, 2);  // as with no edge point
  EXPECT_EQ(py::len(tck[py::int_(1)][py::int_(0)]), 4u);
}

// ---- lookup values ---------------------------------------------------------

TEST(CurveLookup, WholeXValuesByLinearInterpolation) {
  py::list pair;
  pair.append(list_of({0, 0, 50, 200}));
  pair.append(list_of({2, 2, 4, 10}));
  py::list v = eval_spline_list(pair);
  ASSERT_EQ(py::len(v), 201u);
  std::vector<double> vals = doubles(v);
  EXPECT_EQ(vals[0], 2.0);
  EXPECT_DOUBLE_EQ(vals[25], 3.0);
  EXPECT_DOUBLE_EQ(vals[50], 4.0);
  EXPECT_DOUBLE_EQ(vals[125], 7.0);
  EXPECT_DOUBLE_EQ(vals[200], 10.0);
  EXPECT_EQ(py_repr(v[py::int_(50)]), "4.0");  // reals, never whole numbers

  // A last sample just below a whole x leaves that x out.
  py::list step;
  step.append(list_of({0, 1, 1, 2.999}));
  step.append(list_of({5, 6, 9, 9}));
  EXPECT_EQ(doubles(eval_spline_list(step)), (std::vector<double>{5, 6, 9}));
  // A step of negative width gives the left sample's y.
  py::list back;
  back.append(list_of({5, 2}));
  back.append(list_of({7, 9}));
  EXPECT_EQ(doubles(eval_spline_list(back)), (std::vector<double>{7, 7, 7}));
}

TEST_F(CurveModel, DefaultCurveLookupValues) {
  install_default_curve();
  std::vector<double> vals = doubles(eval_spline_list(out));
  ASSERT_EQ(vals.size(), 31u);  // x 0 to 30
  EXPECT_EQ(vals[0], 0.5);
  EXPECT_NEAR(vals[30], 1.0, 1e-12);
  for (size_t i = 1; i < vals.size(); ++i) EXPECT_GE(vals[i], vals[i - 1]);
  EXPECT_DOUBLE_EQ(vals[0], find_y_given(py::int_(0)).cast<double>());
  EXPECT_NEAR(vals[17], find_y_given(py::int_(17)).cast<double>(), 1e-12);
}

// ---- single values ---------------------------------------------------------

TEST_F(CurveModel, FindYGivenOnLeadInInsideAndBeyond) {
  install_curve(list_of({5, 10, 30, 40}), list_of({0.5, 1, 1.5, 2}), ints_of({0, 0, 0, 0}));
  std::vector<double> xs = doubles(out[py::int_(0)]), ys = doubles(out[py::int_(1)]);
  // The flat lead-in, and left of 0 the first sample's y.
  EXPECT_EQ(find_y_given(py::int_(0)).cast<double>(), ys[0]);
  EXPECT_EQ(find_y_given(py::float_(2.5)).cast<double>(), ys[0]);
  EXPECT_EQ(find_y_given(py::int_(-3)).cast<double>(), ys[0]);
  // A sample's own x, and halfway between two samples.
  EXPECT_EQ(find_y_given(py::float_(xs[40])).cast<double>(), ys[40]);
  const double mid = (xs[40] + xs[41]) / 2;
  EXPECT_NEAR(find_y_given(py::float_(mid)).cast<double>(), (ys[40] + ys[41]) / 2, 1e-12);
  // Beyond the last sample: the tail line through (30, 1.5) and (40, 2).
  EXPECT_DOUBLE_EQ(find_y_given(py::int_(50)).cast<double>(), 2.5);
}

TEST_F(CurveModel, FindYGivenWithVerticalTailAndOneControlPoint) {
  install_curve(list_of({0, 10, 30, 30}), ints_of({1, 2, 3, 5}), ints_of({0, 0, 0, 0}));
  py::object v = find_y_given(py::int_(100));
  EXPECT_EQ(py_repr(v), "3");  // the last control point's y as it is

  install_curve(list_of({4, 20}), list_of({1, 3}), ints_of({0, 0}));
  EXPECT_DOUBLE_EQ(find_y_given(py::int_(12)).cast<double>(), 2.0);
  EXPECT_DOUBLE_EQ(find_y_given(py::int_(0)).cast<double>(), 0.5);
}

// ---- applied per-axis curves -----------------------------------------------

TEST_F(CurveModel, AxisCurvesAreRebuiltFromTheirLists) {
  horizontal_x = list_of({0, 10, 30, 40});
  horizontal_y = list_of({0.5, 1, 1, 1});
  horizontal_corners = ints_of({0, 0, 0, 0});
  vertical_x = list_of({0, 20, 40});
  vertical_y = list_of({1, 2, 3});
  vertical_corners = ints_of({0, 0, 0});
  set_horizontal_line();
  set_vertical_line();
  EXPECT_EQ(horizontal_numverts, 3);
  EXPECT_EQ(vertical_numverts, 2);
  EXPECT_EQ(doubles(horizontal_spline.attr("get_xdata")()).size(), 129u);
  EXPECT_EQ(doubles(vertical_spline.attr("get_xdata")()).size(), 225u);
  EXPECT_EQ(py_repr(vertical_arrow.attr("_posA_posB")), "[(20.0, 2.0), (40.0, 3.0)]");
  EXPECT_EQ(py::len(horizontal_xy), 4u);
  EXPECT_DOUBLE_EQ(doubles(horizontal_out[py::int_(1)]).back(), 1.0);
}

// ---- markers and slope -----------------------------------------------------

TEST_F(CurveModel, MarkersFollowTheCornerFlags) {
  install_curve(list_of({0, 1, 2, 3, 4}), list_of({1, 1, 1, 1, 1}), ints_of({1, 0, 1, 0, 0}));
  EXPECT_EQ(ints(line.attr("get_markevery")()), (std::vector<int>{4}));
  EXPECT_EQ(ints(point_marker_line.attr("get_markevery")()), (std::vector<int>{1, 3}));
  EXPECT_EQ(ints(edge_marker_line.attr("get_markevery")()), (std::vector<int>{0, 2}));
  corners = ints_of({2, 0, -1, 1, 0});  // only 1 marks an edge point
  set_line_markers();
  EXPECT_EQ(ints(point_marker_line.attr("get_markevery")()), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(ints(edge_marker_line.attr("get_markevery")()), (std::vector<int>{3}));
}

TEST_F(CurveModel, SlopeOfTheActiveTail) {
  active_line.attr("set_data")(list_of({0, 10, 30}), list_of({1, 2, 6}));
  active_numverts = 2;
  find_slope();
  EXPECT_DOUBLE_EQ(slope, 0.2);
  active_line.attr("set_data")(list_of({0, 10, 10}), list_of({1, 2, 6}));
  find_slope();
  EXPECT_EQ(slope, 0.0);
}

// ---- tail alignment --------------------------------------------------------

namespace {
// Replaces the samples so that the spline ends with the slope tslope.
void set_end_slope(double tslope) {
  py::list pair;
  pair.append(list_of({0, 1, 2}));
  pair.append(list_of({0, 0, tslope}));
  out = pair;
}
std::pair<std::string, std::string> tail_end() {
  py::list xs = line.attr("get_xdata")(), ys = line.attr("get_ydata")();
  return {py_repr(xs[py::len(xs) - 1]), py_repr(ys[py::len(ys) - 1])};
}
}  // namespace

TEST_F(CurveModel, AlignTailFlatAndTooFewPoints) {
  install_curve(list_of({0, 10}), list_of({1, 2}), ints_of({0, 0}));
  set_end_slope(0.0);
  EXPECT_FALSE(align_tail());
  EXPECT_EQ(tail_end(), std::make_pair(std::string("10.0"), std::string("2.0")));

  install_curve(list_of({0, 8, 20}), list_of({1, 2, 5}), ints_of({0, 0, 0}));
  set_end_slope(0.0);
  ASSERT_TRUE(align_tail());
  EXPECT_EQ(tail_end(), std::make_pair(std::string("10.0"), std::string("2.0")));
  EXPECT_EQ(py_repr(x[py::int_(2)]), "10.0");  // x and y follow through set_xy

  py::list xs = ints_of({0, 0, 20}), ys = ints_of({1, 3, 5});
  install_curve(xs, ys, ints_of({0, 0, 0}));
  set_end_slope(0.0);
  ASSERT_TRUE(align_tail());
  EXPECT_EQ(tail_end(), std::make_pair(std::string("1"), std::string("3")));
}

TEST_F(CurveModel, AlignTailRisingAndFallingStepsAreBounded) {
  install_curve(list_of({0, 50, 100, 150}), list_of({1, 2, 4, 9}), ints_of({0, 0, 0, 0}));
  set_end_slope(1.0);
  ASSERT_TRUE(align_tail());
  // A quarter of prev y at most: y 5, back on the tangent line.
  EXPECT_EQ(tail_end(), std::make_pair(std::string("101.0"), std::string("5.0")));

  negative_accel = 1;
  install_curve(list_of({0, 50, 100, 150}), list_of({1, 2, 4, 1}), ints_of({0, 0, 0, 0}));
  set_end_slope(-1.0);
  ASSERT_TRUE(align_tail());
  auto [tx, ty] = tail_end();
  EXPECT_DOUBLE_EQ(std::stod(ty), 3.2);
  EXPECT_DOUBLE_EQ(std::stod(tx), 100.8);
}

TEST_F(CurveModel, AlignTailClampsAtTheUpperBound) {
  install_curve(list_of({0, 4000, 8000, 8100}), list_of({1, 4000, 8000, 8100}),
                ints_of({0, 0, 0, 0}));
  set_end_slope(2.0);
  ASSERT_TRUE(align_tail());
  EXPECT_EQ(tail_end(), std::make_pair(std::string("8096.0"), std::string("8192")));
  // The spline was rebuilt from the new points.
  EXPECT_EQ(py_repr(arrow.attr("_posA_posB")), "[(8000.0, 8000.0), (8096.0, 8192)]");
}

TEST_F(CurveModel, AlignTailWithZeroSlopeThatWouldDivideChangesNothing) {
  install_curve(list_of({0, 10, 20}), list_of({1, 9000, 9000}), ints_of({0, 0, 0}));
  set_end_slope(0.0);
  EXPECT_FALSE(align_tail());
  EXPECT_EQ(tail_end(), std::make_pair(std::string("20.0"), std::string("9000.0")));
  EXPECT_NO_THROW(align_tail_redraw());
}

// ---- option rules ----------------------------------------------------------

TEST_F(CurveModel, SwitchingNegativeAccelerationOffStraightensTheCurve) {
  negative_accel = 1;
  negative_accel_enabled.attr("set")(true);
  install_curve(list_of({0, 10, 20, 30}), list_of({1.0, 0.6, 0.8, 0.9}), ints_of({0, 0, 0, 0}));
  allow_negative_accel();  // checked: nothing changes
  EXPECT_EQ(negative_accel, 1);
  EXPECT_EQ(py_repr(line.attr("get_ydata")()), "[1.0, 0.6, 0.8, 0.9]");

  negative_accel_enabled.attr("set")(false);
  allow_negative_accel();
  EXPECT_EQ(negative_accel, 0);
  EXPECT_EQ(py_repr(y), "[1.0, 1.0, 1.0, 1.0]");
  EXPECT_EQ(py_repr(line.attr("get_ydata")()), "[1.0, 1.0, 1.0, 1.0]");
  for (double v : doubles(out[py::int_(1)])) EXPECT_NEAR(v, 1.0, 1e-12);
}

TEST_F(CurveModel, EnforceBoundariesStoresThePointsEvenWhenAllowed) {
  negative_accel = 1;
  install_curve(list_of({0, 10, 20}), list_of({2, 1, 3}), ints_of({0, 0, 0}));
  py::object before = x;
  enforce_boundaries();
  EXPECT_FALSE(x.is(before));  // stored again
  EXPECT_EQ(py_repr(y), "[2.0, 1.0, 3.0]");
}

TEST_F(CurveModel, SpeedUnitAndPitchOptions) {
  set_use_dpu(1);
  EXPECT_TRUE(use_dpu.attr("get")().cast<bool>());
  EXPECT_EQ(ax.attr("get_xlabel")().cast<std::string>(), "Dots per update");
  EXPECT_EQ(ax.attr("xaxis").attr("label").attr("get_weight")().cast<std::string>(), "semibold");
  check_use_dpu();
  EXPECT_EQ(maxFrameTime, 1);
  set_use_dpu(100);
  EXPECT_FALSE(use_dpu.attr("get")().cast<bool>());
  EXPECT_EQ(ax.attr("get_xlabel")().cast<std::string>(), "Dots per millisecond");
  check_use_dpu();
  EXPECT_EQ(maxFrameTime, 100);

  set_pitch_var(-1);
  check_pitch_var();
  EXPECT_EQ(active_pitch, -1);
  set_pitch_var(0);
  check_pitch_var();
  EXPECT_EQ(active_pitch, 1);
}

TEST_F(CurveModel, UpperBoundScalesACurveBeyondIt) {
  auto lines = py::module_::import("matplotlib.lines");
  xup = lines.attr("Line2D")(py::list(), py::list());
  yup = lines.attr("Line2D")(py::list(), py::list());
  install_curve(ints_of({0, 1024, 4096, 8192}), ints_of({1, 2, 4096, 8192}), ints_of({0, 0, 0, 0}));
  xbounds = {0, 8192};
  ybounds = {0, 8192};
  set_upper_bound(4096);
  EXPECT_EQ(upperbound, 4096);
  EXPECT_EQ(py_repr(x), "[0.0, 512.0, 2048.0, 4096.0]");
  EXPECT_EQ(py_repr(y), "[0.5, 1.0, 2048.0, 4096.0]");
  EXPECT_EQ(doubles(xup.attr("get_xdata")()), (std::vector<double>{4096, 4096}));
  EXPECT_EQ(doubles(yup.attr("get_ydata")()), (std::vector<double>{4096, 4096}));
  EXPECT_DOUBLE_EQ(doubles(out[py::int_(0)]).back(), 2048.0);  // spline rebuilt
  // The view is brought within the new bound, with its margin.
  EXPECT_EQ(py_repr(ax.attr("get_xlim")()), "(-256.0, 4352.0)");

  // A curve within the new bound keeps its points.
  set_upper_bound(8192);
  EXPECT_EQ(py_repr(x), "[0.0, 512.0, 2048.0, 4096.0]");
  EXPECT_EQ(upperbound, 8192);
}
