// Curve tools of the "DPI & Scaling" window: converting both per-axis
// curves from one mouse DPI to another, and scaling them by an x and a y
// factor. Each takes its numbers from the window's entries, checks the
// result and sends it through the apply cycle (undo snapshot, "p.dat",
// "load", driver wait, confirm countdown).
#pragma once

#include <optional>
#include <string>

#include "pyrt.h"

namespace arcflex {

// A DPI text: one or more ASCII digits, leading zeros allowed, any length,
// as an exact Python int. Nothing for any other text (empty included).
std::optional<py::object> dpi_value(const std::string& text);

// A factor text by Python's float() grammar for what the entries admit:
// digits with at most one point and at least one digit, then optionally an
// exponent ("e" or "E", an optional sign, digits). No blanks, sign, "inf",
// "nan", underscores or hexadecimal. An exponent too large gives infinity.
std::optional<double> decimal_value(const std::string& text);

// "Convert": x times new/old (as x / (old/new)) and y times old/new for
// every point of both per-axis curves and of the edited curve; refused
// with "Boundary error" when a result leaves the bounds. Does nothing while
// a change is pending.
void convert_dpi();

// "Scale": every x of both per-axis curves times the X factor, every y
// times the Y factor (an empty entry stands for 1). The edited curve keeps
// its points. Does nothing while a change is pending.
void scale_curve();

// Gives dpi_window the focus and raises it, topmost until Tk is next idle.
void raise_dpi_window();

}  // namespace arcflex
