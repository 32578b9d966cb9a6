// The preset curves of the Presets menu and the operation that applies
// one through the usual write, reload, driver wait and confirm countdown.
#pragma once

#include <string>
#include <vector>

#include "pyrt.h"

namespace arcflex {

// The menu labels of presets 1 to 8 ("1: Natural" ...), and the four DPI
// entries of each preset's cascade.
const std::vector<std::string>& preset_labels();
const std::vector<std::string>& preset_dpi_labels();

// Preset c's x and y values at DPI step d (x times 2^(d-1)), as new Python
// lists whose values keep their kinds (whole numbers stay int, 0.0 stays a
// float). A c outside 0..8 gives the default curve.
py::list preset_x(int c, int d);
py::list preset_y(int c);

// Replaces the edited curve and both axes' applied curves with preset c at
// DPI step d, raises the main window and applies the preset: "p.dat", the
// meter's reload, the suspension and the driver wait, after which the
// confirm countdown keeps or reverts it.
void selectPreset(int c, int d);

}  // namespace arcflex
