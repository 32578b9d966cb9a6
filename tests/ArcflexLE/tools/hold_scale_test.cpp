// The hold-to-scale tools called directly: the first step of each kind, the
// repeat steps on their timers, the stop, refused amounts and the bounds.
#include <gmock/gmock.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "curve.h"
#include "gui_fixture.h"
#include "hold_scale.h"

using namespace guitest;
using ::testing::DoubleNear;
using ::testing::ElementsAre;
using ::testing::Pointwise;

namespace {

using Values = std::vector<double>;

Values line_x() { return arcflex::line.attr("get_xdata")().cast<Values>(); }
Values line_y() { return arcflex::line.attr("get_ydata")().cast<Values>(); }
std::vector<int> corner_flags() { return arcflex::corners.cast<std::vector<int>>(); }

// Starts the editor and records every timer a tool arms (calls with the
// three tool arguments only), still handing them to Tk.
void start() {
  start_recorded();
  run(R"(
timer_calls = []
_real_after = root.after
def _after(ms, func=None, *args):
    i = _real_after(ms, func, *args)
    if len(args) == 3 and isinstance(args[2], bool):
        timer_calls.append((ms, func, args, i))
    return i
root.after = _after
def pending(i):
    return str(i) in [str(p) for p in root.tk.splitlist(root.tk.call('after', 'info'))]
)");
}

size_t timer_count() { return eval("len(timer_calls)").cast<size_t>(); }
int last_delay() { return eval("timer_calls[-1][0]").cast<int>(); }
Values last_amounts() { return eval("list(timer_calls[-1][2][:2])").cast<Values>(); }
bool pending(const py::object& id) { return !id.is_none() && eval("pending")(id).cast<bool>(); }
// Runs the step the last timer holds now, as Tk would when it fires.
void fire_last() { run("timer_calls[-1][1](*timer_calls[-1][2])"); }
size_t pending_recorded() { return eval("sum(1 for c in timer_calls if pending(c[3]))").cast<size_t>(); }
// A curve with one edge point, and no timer in any slot.
void reset(const Values& xs, const Values& ys) {
  using namespace arcflex;
  py::list lc;
  for (size_t i = 0; i < xs.size(); ++i) lc.append(i == 1 ? 1 : 0);
  corners = lc;
  set_xy(py::cast(xs), py::cast(ys));
  set_line_markers();
  redefine_spline();
  update_spline();
  scale_job = shift_job = rel_scale_job = py::none();
}

const Values kX{0, 10, 30, 40}, kY{0.5, 1, 1, 1};

}  // namespace

// The first step of each kind, chosen by the modifier flags, in both
// directions, arms its kind's repeat step after 500 ms with its amounts; x
// takes the x amount and y the y amount; with Shift the part of an amount above 1 is sixteen times smaller.
TEST(HoldScale, FirstStepOfEachKind) {
  start();
  using namespace arcflex;
  struct Case {
    bool ctrl, alt, direction;
    Values x, y;
    py::object* slot;
    double xa = 1.04, ya = 1.04;
  };
  const Values up{0, 10.4, 31.2, 41.6}, down{0, 9.615385, 28.846154, 38.461538};
  const std::vector<Case> cases{
      {false, false, true, up, {0.52, 1.04, 1.04, 1.04}, &scale_job},
      {false, false, false, down, {0.480769, 0.961538, 0.961538, 0.961538}, &scale_job},
      {true, false, true, up, {0.5, 1.02, 1.02, 1.02}, &rel_scale_job},
      {true, false, false, down, {0.5, 0.980769, 0.980769, 0.980769}, &rel_scale_job},
      {false, true, true, up, {0.519231, 1, 1, 1}, &rel_scale_job},
      {false, true, false, down, {0.48, 1, 1, 1}, &rel_scale_job},
      {true, true, true, up, {0.5, 1.02, 1.02, 1.02}, &rel_scale_job},  // Ctrl wins
      {false, false, true, up, {0.55, 1.1, 1.1, 1.1}, &scale_job, 1.04, 1.1},
      {false, false, false, down, {0.454545, 0.909091, 0.909091, 0.909091}, &scale_job, 1.04, 1.1},
      {true, false, true, up, {0.5, 1.05, 1.05, 1.05}, &rel_scale_job, 1.04, 1.1},
      {true, false, false, down, {0.5, 0.954545, 0.954545, 0.954545}, &rel_scale_job, 1.04, 1.1},
      {false, true, true, up, {0.545455, 1, 1, 1}, &rel_scale_job, 1.04, 1.1},
      {false, true, false, down, {0.45, 1, 1, 1}, &rel_scale_job, 1.04, 1.1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.ctrl << c.alt << c.direction << " " << c.ya);
    reset(kX, kY);
    ctrl_key = c.ctrl;
    alt_key = c.alt;
    scale_points(c.xa, c.ya, c.direction);
    EXPECT_THAT(line_x(), Pointwise(DoubleNear(1e-6), c.x));
    EXPECT_THAT(line_y(), Pointwise(DoubleNear(1e-6), c.y));
    EXPECT_THAT(corner_flags(), ElementsAre(0, 1, 0, 0));
    EXPECT_EQ(last_delay(), 500);
    EXPECT_THAT(last_amounts(), ElementsAre(c.xa, c.ya));
    EXPECT_EQ(eval("timer_calls[-1][2][2]").cast<bool>(), c.direction);
    for (py::object* slot : {&scale_job, &shift_job, &rel_scale_job}) EXPECT_EQ(pending(*slot), slot == c.slot);
    stop_scaling();
  }
  ctrl_key = alt_key = false;
  shift_key = true;
  for (auto [xa, ya, wx, wy] : {std::tuple{1.04, 0.9, 1.0025, 0.9}, {1.04, 1.0, 1.0025, 1.0}, {1.32, 2.6, 1.02, 1.1}}) {
    reset(kX, kY);
    scale_points(xa, ya, true);
    EXPECT_THAT(last_amounts(), Pointwise(DoubleNear(1e-12), Values{wx, wy}));
    EXPECT_NEAR(line_x()[3], 40 * wx, 1e-9);
    stop_scaling();
  }
}

// Repeat steps raise the factors to the power 1.125 and scale the curve as
// the step before left it, re-arming every 15 ms, x by the x factor and y by
// the y factor; relative scaling keeps the lowest y, the inverse kind the
// highest, x = 0 stays. Shifting moves the first point to x = 0 and grows its
// offsets by 1.125, in either direction.
TEST(HoldScale, RepeatStepsGrowTheirAmountsEvery15ms) {
  start();
  using namespace arcflex;
  graph_suspended = true;  // a pending apply does not hold the tools back
  for (auto [ctrl, alt] : {std::pair{false, false}, {true, false}, {false, true}}) {
    SCOPED_TRACE(::testing::Message() << ctrl << alt);
    reset(kX, kY);
    ctrl_key = ctrl;
    alt_key = alt;
    scale_points(1.04, 1.1, true);
    for (auto [about, about_y] : {std::pair{1.045111, 1.113184}, {1.050891, 1.128204}, {1.057432, 1.145344}}) {
      const Values bx = line_x(), by = line_y();
      fire_last();
      EXPECT_EQ(last_delay(), 15);
      const double f = last_amounts()[0], fy = last_amounts()[1];
      EXPECT_NEAR(f, about, 1e-6);
      EXPECT_NEAR(fy, about_y, 1e-6);
      const Values ax = line_x(), ay = line_y();
      EXPECT_EQ(ax[0], 0.0);
      EXPECT_NEAR(ax[3] / bx[3], f, 1e-12);
      if (ctrl) {
        EXPECT_EQ(ay[0], by[0]);
      }
      if (alt) {
        EXPECT_EQ(ay[3], by[3]);
      }
      EXPECT_NEAR(ay[3] - ay[0], (by[3] - by[0]) * (alt ? 1 / fy : fy), 1e-12);
      if (!ctrl && !alt) {
        EXPECT_NEAR(ay[0], by[0] * fy, 1e-12);
      }
      EXPECT_EQ(pending_recorded(), 1u);  // the successor replaces the timer that ran
    }
    EXPECT_THAT(corner_flags(), ElementsAre(0, 1, 0, 0));
    stop_scaling();
  }

  reset({4, 10, 30, 40}, kY);
  keep_shifting(1, 1, true);
  EXPECT_THAT(line_x(), ElementsAre(0, 11.125, 31.125, 41.125));
  EXPECT_THAT(line_y(), ElementsAre(1.625, 2.125, 2.125, 2.125));
  EXPECT_EQ(last_delay(), 15);
  fire_last();
  EXPECT_THAT(line_x(), ElementsAre(0, 12.390625, 32.390625, 42.390625));
  EXPECT_THAT(line_y(), ElementsAre(2.890625, 3.390625, 3.390625, 3.390625));

  stop_scaling();
  reset({4, 10, 30, 40}, {0.75, 1, 1, 1});
  keep_shifting(1, 0.25, false);
  EXPECT_THAT(line_x(), ElementsAre(0, 8.875, 28.875, 38.875));
  EXPECT_THAT(line_y(), ElementsAre(0.46875, 0.71875, 0.71875, 0.71875));
  fire_last();
  EXPECT_THAT(line_x(), ElementsAre(0, 7.609375, 27.609375, 37.609375));
  EXPECT_THAT(line_y(), ElementsAre(0.15234375, 0.40234375, 0.40234375, 0.40234375));
  EXPECT_FALSE(eval("timer_calls[-1][2][2]").cast<bool>());
}

// Kinds running side by side all end with one stop; a second start of a
// kind replaces its running repetition instead of leaving it out of reach.
TEST(HoldScale, OneStopEndsEveryRunningRepetition) {
  start();
  using namespace arcflex;
  stop_scaling();  // before any start: nothing to cancel
  reset(kX, kY);
  scale_points(1.04, 1, true);
  py::object first = scale_job;
  scale_points(1.04, 1, true);
  EXPECT_FALSE(pending(first));
  ctrl_key = true;
  scale_points(1, 1.04, true);
  keep_shifting(0, 0, true);
  for (py::object* slot : {&scale_job, &shift_job, &rel_scale_job}) EXPECT_TRUE(pending(*slot));
  EXPECT_EQ(pending_recorded(), 3u);
  const Values bx = line_x(), by = line_y();
  stop_scaling();
  stop_scaling();  // again: no effect
  EXPECT_EQ(pending_recorded(), 0u);
  pump_rounds(20);
  EXPECT_EQ(line_x(), bx);
  EXPECT_EQ(line_y(), by);
}

// Amounts that are not finite or not above zero start nothing; a first or
// repeat step whose result is invalid or not finite changes nothing.
TEST(HoldScale, RefusedAmountsAndStepsChangeNothing) {
  start();
  using namespace arcflex;
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  reset(kX, kY);
  for (auto [xa, ya] : std::vector<std::pair<double, double>>{
           {0, 1.04}, {1.04, 0}, {-1.04, 1.04}, {1.04, -2}, {nan, 1.04}, {1, inf}, {inf, inf}, {-inf, 1}}) {
    scale_points(xa, ya, true);
    scale_points(xa, ya, false);
  }
  keep_scaling(1e300, 1e300, false);  // the factor overflows
  keep_scaling(0, 0, false);          // division by zero
  keep_rel_scaling(nan, 1.04, true);
  keep_rel_scaling_inverse(1.04, -2, true);
  keep_shifting(1e308, 1e308, true);  // the offset overflows
  EXPECT_EQ(line_x(), kX);
  EXPECT_EQ(line_y(), kY);
  reset({0, 10, 30, 8000}, kY);
  scale_points(1.04, 1, true);  // beyond upperbound
  EXPECT_EQ(line_x(), Values({0, 10, 30, 8000}));
  alt_key = true;
  reset(kX, {0.2, 1, 1, 1});
  scale_points(1, 1.5, false);  // y below 0
  EXPECT_EQ(line_y(), Values({0.2, 1, 1, 1}));
  EXPECT_EQ(timer_count(), 0u);
}

// On Tk's own timers a growing repetition runs until its next step would
// leave the bounds; the curve stays valid as the last step left it.
TEST(HoldScale, RepetitionEndsByItselfAtTheBounds) {
  start();
  using namespace arcflex;
  reset(kX, kY);
  scale_points(2, 1, true);
  ASSERT_TRUE(pump_until([&] { return !pending(scale_job); }));
  EXPECT_TRUE(points_are_valid(py::cast(line_x()), py::cast(line_y()), corners));
  EXPECT_TRUE(eval("timer_calls[0][0] == 500 and all(c[0] == 15 for c in timer_calls[1:])").cast<bool>());
  EXPECT_GT(timer_count(), 2u);
  EXPECT_GT(line_x()[3] * std::pow(last_amounts()[0], 1.125), upperbound);  // the step not taken
  EXPECT_EQ(line_y(), kY);
}
