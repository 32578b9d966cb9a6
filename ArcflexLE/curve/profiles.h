// User profiles: ".afcurve" files that hold the applied horizontal curve,
// saved and loaded from the File menu. A loaded profile is applied through
// the usual write, reload, driver wait and confirm countdown.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "pyrt.h"

namespace arcflex {

// The curve read from a profile's lines: lines 1 to 3 hold x, y and the
// corner flags (each read as a real and truncated to a whole number; only a
// flag of 1 marks an edge point). Reading stops at the first token that is
// not a finite number (or a missing line); what was read before it stays.
struct ProfileCurve {
  std::vector<double> x, y;
  std::vector<int> corners;
};
ProfileCurve parse_profile(const std::vector<std::string>& lines);

// Lines 1 to 3 of a profile file as text: nullopt when it cannot be read (a
// folder, a FIFO, no permission), is not UTF-8 text, or its lines are longer
// than a profile's can be. Line ends CR LF, LF or CR.
std::optional<std::vector<std::string>> read_profile_file(const std::string& path);

// The six lines of a profile of the applied horizontal curve.
std::vector<std::string> profile_lines();

// File > "Save", File > "Load", and the end of the dialog period.
void save_profile();
void load_profile();
void close_dialog();

// After a new applied curve could not be written to "p.dat": both axes'
// applied curves (and the x scale) come back from the undo snapshot, the
// failure is reported and the GUI is given back.
void undo_unwritten_curve(const std::exception& e);

}  // namespace arcflex
