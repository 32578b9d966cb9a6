// Curve tools: which applied curve is shown in front (axis mode) and the
// key validators of the tool windows' number entries.
#pragma once

#include <string>

#include "pyrt.h"

namespace arcflex {

// Makes `mode` (anything int() takes: an int, or the slider's text) the axis
// mode and rebuilds the active and inactive curves from the per-axis curves,
// their colours, the mode and profile labels, then one full draw.
void set_axis_mode(py::handle mode);

// The next axis mode in the order 0, 1, 2, 0 (a mode outside 0..2 goes to
// 0), shown through set_axis_mode.
void cycle_axis_view();

// True when every character of input is one of "0123456789.e".
bool nums_only(const std::string& input);
// The same with the minus sign allowed.
bool nums_neg(const std::string& input);

}  // namespace arcflex
