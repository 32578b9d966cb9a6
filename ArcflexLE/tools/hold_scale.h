// Hold-to-scale tools: scale, relatively scale or shift the edited curve
// once at the start and then again on a timer, by amounts that grow at each
// step, until a step would make the curve invalid or stop_scaling is
// called. They change the edited curve and its drawing only. Nothing in the
// editor starts them yet; each works when called. GUI thread only.
#pragma once

namespace arcflex {

// Delays of the repetition and the growth of its amounts.
inline constexpr int kFirstRepeatDelayMs = 500;
inline constexpr int kRepeatPeriodMs = 15;
inline constexpr double kAmountGrowth = 1.125;
inline constexpr double kFineStepDivisor = 16;

// The first step of the kind the modifier flags choose (ctrl_key: relative
// scaling about the lowest y; else alt_key: inverse relative scaling about
// the highest y; else plain scaling about the origin), Shift making amounts
// above 1 finer. An accepted step arms the kind's repetition after 500 ms.
// Takes no step when an amount is not finite or not above zero, and
// refuses a step whose result is not a valid curve.
void scale_points(double x_amount, double y_amount, bool direction);

// Cancels the pending step of every kind.
void stop_scaling();

// The repeat steps: each grows its amounts, takes one step and, when the
// result is a valid curve, arms itself again after 15 ms.
void keep_scaling(double x_amount, double y_amount, bool direction);
void keep_shifting(double x_amount, double y_amount, bool direction);
void keep_rel_scaling(double x_amount, double y_amount, bool direction);
void keep_rel_scaling_inverse(double x_amount, double y_amount, bool direction);

}  // namespace arcflex
