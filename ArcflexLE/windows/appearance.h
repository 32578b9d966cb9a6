// The colour scheme's derived values, the entry colours and the inert
// operations.
#pragma once

#include <string>

#include "pyrt.h"
#include "state.h"

namespace arcflex {

// tkscheme dimmed to seven eighths per channel: "#" and six hex digits in,
// lower-case "#rrggbb" out ("#FFE611" -> "#dfc90e"). Throws
// std::invalid_argument for any other text.
std::string dim_colour(const std::string& tk_colour);

// Each channel times 0.5 (the axis lines and the speed fills).
Rgb half_intensity(const Rgb& c);

// An RGB triple as the tuple matplotlib takes.
py::tuple rgb_tuple(const Rgb& c);

// The entry colours from bg_scheme and tkscheme.
void set_entry_colors();

// Operations that accept their arguments and do nothing; the apply cycle,
// the tool windows and two widgets call them at fixed points.
void lock_profiles();
void unlock_profiles();
void activate_profile_keys();
void set_persist();
void write_profile_keys();
void set_bypass_confirm();
void set_aftask();
void swap_profile(py::handle num);

}  // namespace arcflex
