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

void set_curve(const Values& xs, const Values& ys) {
  using namespace arcflex;
  py::list lx, ly, lc;
  for (double v : xs) lx.append(v);
  for (double v : ys) ly.append(v);
  for (size_t i = 0; i < xs.size(); ++i) lc.append(i == 1 ? 1 : 0);  // one edge point
  corners = lc;
  set_xy(lx, ly);
  set_line_markers();
  redefine_spline();
  update_spline();
}

Values line_x() { return arcflex::line.attr("get_xdata")().cast<Values>(); }
Values line_y() { return arcflex::line.attr("get_ydata")().cast<Values>(); }
std::vector<int> corner_flags() { return arcflex::corners.cast<std::vector<int>>(); }

// Starts the editor and records every timer a tool arms or cancels (calls
// with the three tool arguments only), still handing them to Tk.
void start() {
  start_recorded();
  run(R"(
timer_calls = []
cancelled = []
_real_after = root.after
_real_cancel = root.after_cancel
def _after(ms, func=None, *args):
    i = _real_after(ms, func, *args)
    if len(args) == 3 and isinstance(args[2], bool):
        timer_calls.append((ms, func, args, i))
    return i
def _cancel(i):
    cancelled.append(i)
    _real_cancel(i)
root.after = _after
root.after_cancel = _cancel
def pending(i):
    return str(i) in [str(p) for p in root.tk.splitlist(root.tk.call('after', 'info'))]
)");
}

size_t timer_count() { return eval("len(timer_calls)").cast<size_t>(); }
int last_delay() { return eval("timer_calls[-1][0]").cast<int>(); }
Values last_amounts() {
  return {eval("timer_calls[-1][2][0]").cast<double>(), eval("timer_calls[-1][2][1]").cast<double>()};
}
bool last_direction() { return eval("timer_calls[-1][2][2]").cast<bool>(); }
bool pending(const py::object& id) { return !id.is_none() && eval("pending")(id).cast<bool>(); }
// Runs the step the last timer holds now, as Tk would when it fires.
void fire_last() { run("timer_calls[-1][1](*timer_calls[-1][2])"); }
size_t pending_recorded() {
  return eval("sum(1 for c in timer_calls if pending(c[3]))").cast<size_t>();
}
void reset_slots() {
  arcflex::scale_job = py::none();
  arcflex::shift_job = py::none();
  arcflex::rel_scale_job = py::none();
}

const Values kX{0, 10, 30, 40}, kY{0.5, 1, 1, 1};

}  // namespace

// The first step of each kind, chosen by the modifier flags, in both
// directions; it arms its kind's repeat step after 500 ms with its amounts.
TEST(HoldScale, FirstStepOfEachKindAndItsRepetition) {
  start();
  using namespace arcflex;
  struct Case {
    bool ctrl, alt, direction;
    Values x, y;
    py::object* slot;
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
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "ctrl " << c.ctrl << " alt " << c.alt << " direction " << c.direction);
    set_curve(kX, kY);
    reset_slots();
    ctrl_key = c.ctrl;
    alt_key = c.alt;
    const size_t timers_before = timer_count();
    scale_points(1.04, 1.04, c.direction);
    EXPECT_THAT(line_x(), Pointwise(DoubleNear(1e-6), c.x));
    EXPECT_THAT(line_y(), Pointwise(DoubleNear(1e-6), c.y));
    EXPECT_THAT(x.cast<Values>(), Pointwise(DoubleNear(1e-6), c.x));
    EXPECT_THAT(corner_flags(), ElementsAre(0, 1, 0, 0));
    ASSERT_EQ(timer_count(), timers_before + 1);
    EXPECT_EQ(last_delay(), 500);
    EXPECT_THAT(last_amounts(), ElementsAre(1.04, 1.04));
    EXPECT_EQ(last_direction(), c.direction);
    EXPECT_TRUE(pending(*c.slot));
    for (py::object* other : {&scale_job, &shift_job, &rel_scale_job}) {
      if (other != c.slot) EXPECT_TRUE(other->is_none());
    }
    stop_scaling();
    EXPECT_FALSE(pending(*c.slot));
  }
}

// Repeat steps raise the factors to the power 1.125, scale the curve as the
// step before left it and re-arm every 15 ms; relative scaling keeps the
// lowest y, the inverse kind the highest, and x = 0 stays.
TEST(HoldScale, RepeatStepsGrowTheirFactorsEvery15ms) {
  start();
  using namespace arcflex;
  struct Case {
    bool ctrl, alt;
    py::object* slot;
  };
  graph_suspended = true;  // a pending apply does not hold the tools back
  for (const Case& c : {Case{false, false, &scale_job}, Case{true, false, &rel_scale_job},
                        Case{false, true, &rel_scale_job}}) {
    SCOPED_TRACE(::testing::Message() << "ctrl " << c.ctrl << " alt " << c.alt);
    set_curve(kX, kY);
    reset_slots();
    ctrl_key = c.ctrl;
    alt_key = c.alt;
    scale_points(1.04, 1.04, true);
    const Values factors{1.045111, 1.050891, 1.057432};
    for (double f : factors) {  // about
      const Values bx = line_x(), by = line_y();
      fire_last();
      EXPECT_EQ(last_delay(), 15);
      EXPECT_NEAR(last_amounts()[0], f, 1e-6);
      EXPECT_NEAR(last_amounts()[1], f, 1e-6);
      f = last_amounts()[0];  // the exact factor of this step
      const Values ax = line_x(), ay = line_y();
      EXPECT_EQ(ax[0], 0.0);
      EXPECT_NEAR(ax[3] / bx[3], f, 1e-12);
      if (c.ctrl) {
        EXPECT_EQ(ay[0], by[0]);
        EXPECT_NEAR(ay[3] - ay[0], (by[3] - by[0]) * f, 1e-9);
      } else if (c.alt) {
        EXPECT_EQ(ay[3], by[3]);
        EXPECT_NEAR(ay[3] - ay[0], (by[3] - by[0]) / f, 1e-9);
      } else {
        EXPECT_NEAR(ay[0] / by[0], f, 1e-12);
      }
      // The timer that ran is replaced by exactly one pending successor.
      EXPECT_EQ(pending_recorded(), 1u);
      EXPECT_TRUE(pending(*c.slot));
    }
    EXPECT_THAT(corner_flags(), ElementsAre(0, 1, 0, 0));
    stop_scaling();
    EXPECT_EQ(pending_recorded(), 0u);
  }
}

// Shifting: the first point goes to x = 0, the offsets grow by 1.125 per
// step; a step that would put the second point left of 0 ends it.
TEST(HoldScale, ShiftingStepsMoveByGrowingOffsets) {
  start();
  using namespace arcflex;
  set_curve({4, 10, 30, 40}, kY);
  keep_shifting(1, 1, true);
  EXPECT_THAT(line_x(), ElementsAre(0, 11.125, 31.125, 41.125));
  EXPECT_THAT(line_y(), ElementsAre(1.625, 2.125, 2.125, 2.125));
  EXPECT_EQ(last_delay(), 15);
  EXPECT_THAT(last_amounts(), ElementsAre(1.125, 1.125));
  EXPECT_TRUE(pending(shift_job));
  fire_last();
  EXPECT_THAT(line_x(), ElementsAre(0, 12.390625, 32.390625, 42.390625));
  EXPECT_THAT(line_y(), ElementsAre(2.890625, 3.390625, 3.390625, 3.390625));
  stop_scaling();

  set_curve({0, 2, 30, 40}, {1.5, 2, 2, 2});
  keep_shifting(1, 1, false);
  EXPECT_THAT(line_x(), ElementsAre(0, 0.875, 28.875, 38.875));
  EXPECT_THAT(line_y(), ElementsAre(0.375, 0.875, 0.875, 0.875));
  const size_t timers = timer_count();
  // On Tk's timer the next step would take x[1] to 0.875 - 1.265625: it
  // changes nothing and arms nothing.
  ASSERT_TRUE(pump_until([] { return !pending(arcflex::shift_job); }));
  EXPECT_THAT(line_x(), ElementsAre(0, 0.875, 28.875, 38.875));
  EXPECT_THAT(line_y(), ElementsAre(0.375, 0.875, 0.875, 0.875));
  EXPECT_EQ(timer_count(), timers);
}

// Several kinds running at once all end with one stop; a second start of
// the same kind replaces the repetition in its slot instead of leaving one
// out of reach.
TEST(HoldScale, OneStopEndsEveryRunningRepetition) {
  start();
  using namespace arcflex;
  stop_scaling();  // before any start: nothing to cancel
  EXPECT_EQ(eval("len(cancelled)").cast<int>(), 0);
  set_curve(kX, kY);
  scale_points(1.04, 1, true);
  py::object first = scale_job;
  scale_points(1.04, 1, true);
  EXPECT_FALSE(pending(first));
  EXPECT_TRUE(pending(scale_job));
  ctrl_key = true;
  scale_points(1, 1.04, true);
  ctrl_key = false;
  keep_shifting(0, 0, true);
  EXPECT_TRUE(pending(scale_job));
  EXPECT_TRUE(pending(rel_scale_job));
  EXPECT_TRUE(pending(shift_job));
  EXPECT_EQ(pending_recorded(), 3u);
  const Values bx = line_x(), by = line_y();
  stop_scaling();
  EXPECT_EQ(pending_recorded(), 0u);
  stop_scaling();  // again: no effect
  for (int i = 0; i < 20; ++i) root.attr("update")();
  EXPECT_EQ(line_x(), bx);
  EXPECT_EQ(line_y(), by);
}

// Amounts that are not finite or not above zero start nothing; a first or
// repeat step whose result is invalid or not finite changes nothing.
TEST(HoldScale, RefusedAmountsAndStepsChangeNothing) {
  start();
  using namespace arcflex;
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  set_curve(kX, kY);
  const std::vector<std::pair<double, double>> refused{{0, 1.04},  {1.04, 0}, {-1.04, 1.04}, {1.04, -2},
                                                       {nan, 1.04}, {1, inf},  {inf, inf},    {-inf, 1}};
  for (auto [xa, ya] : refused) {
    for (bool direction : {true, false}) {
      scale_points(xa, ya, direction);
      EXPECT_EQ(line_x(), kX) << xa << " " << ya;
      EXPECT_EQ(line_y(), kY) << xa << " " << ya;
    }
  }
  // Repeat steps given amounts they cannot use.
  keep_scaling(1e300, 1e300, false);       // the factor overflows
  keep_scaling(0, 0, false);               // division by zero
  keep_rel_scaling(nan, 1.04, true);
  keep_rel_scaling_inverse(1.04, -2, true);
  keep_shifting(1e308, 1e308, true);       // the offset overflows
  EXPECT_EQ(line_x(), kX);
  EXPECT_EQ(line_y(), kY);
  EXPECT_EQ(timer_count(), 0u);
  EXPECT_TRUE(scale_job.is_none() && shift_job.is_none() && rel_scale_job.is_none());

  // A first step that would leave the bounds is refused whole.
  set_curve({0, 10, 30, 8000}, kY);
  scale_points(1.04, 1, true);
  EXPECT_EQ(line_x(), Values({0, 10, 30, 8000}));
  alt_key = true;  // inverse relative scaling pushing y below 0
  set_curve(kX, {0.2, 1, 1, 1});
  scale_points(1, 1.5, false);
  EXPECT_EQ(line_y(), Values({0.2, 1, 1, 1}));
  EXPECT_EQ(timer_count(), 0u);
}

// With Shift held the part of an amount above 1 is sixteen times smaller.
TEST(HoldScale, ShiftMakesAmountsAboveOneFiner) {
  start();
  using namespace arcflex;
  shift_key = true;
  for (auto [xa, ya, wx, wy] : {std::tuple{1.04, 0.9, 1.0025, 0.9}, std::tuple{1.04, 1.0, 1.0025, 1.0},
                                 std::tuple{1.32, 2.6, 1.02, 1.1}}) {
    set_curve(kX, kY);
    scale_points(xa, ya, true);
    EXPECT_NEAR(last_amounts()[0], wx, 1e-12);
    EXPECT_NEAR(last_amounts()[1], wy, 1e-12);
    EXPECT_NEAR(line_x()[3], 40 * wx, 1e-9);
    stop_scaling();
  }
}

// On Tk's own timers a growing repetition runs until its next step would
// leave the bounds, and the curve stays valid as the last step left it.
TEST(HoldScale, RepetitionEndsByItselfAtTheBounds) {
  start();
  using namespace arcflex;
  struct Case {
    bool alt;
    double xa, ya;
    bool direction;
  };
  for (const Case& c : {Case{false, 2, 1, true}, Case{true, 1, 1.5, false}}) {
    SCOPED_TRACE(c.alt);
    alt_key = c.alt;
    set_curve(kX, kY);
    reset_slots();
    run("timer_calls.clear()");
    scale_points(c.xa, c.ya, c.direction);
    py::object* slot = c.alt ? &rel_scale_job : &scale_job;
    ASSERT_TRUE(pump_until([&] { return !pending(*slot); }));
    EXPECT_TRUE(points_are_valid(py::cast(line_x()), py::cast(line_y()), corners));
    EXPECT_THAT(corner_flags(), ElementsAre(0, 1, 0, 0));
    EXPECT_EQ(eval("timer_calls[0][0]").cast<int>(), 500);
    EXPECT_EQ(eval("all(c[0] == 15 for c in timer_calls[1:])").cast<bool>(), true);
    const double next = std::pow(last_amounts()[c.alt ? 1 : 0], 1.125);
    if (!c.alt) {
      EXPECT_GT(timer_count(), 2u);
      EXPECT_LE(line_x()[3], upperbound);
      EXPECT_GT(line_x()[3] * next, upperbound);  // the step that was not taken
      EXPECT_EQ(line_y(), kY);
    } else {
      const Values ys = line_y();
      EXPECT_EQ(ys[3], 1.0);
      EXPECT_GE(ys[0], 0.0);
      EXPECT_LT(1 - (1 - ys[0]) * next, 0.0);
    }
  }
}
