// Colour scheme tools: applying the current scheme to every widget and plot
// artist, the hue rotation behind the combined picker, and the pickers that
// choose a colour in Tk's colour dialog. Nothing in the editor reaches the
// pickers yet; each one works when called. GUI thread only.
#pragma once

#include <array>
#include <string>

#include "pyrt.h"

namespace arcflex {

// Applies the colour globals to every artist and widget that shows the
// scheme, derives dim_tkscheme and the entry colours again, and redraws the
// graph. An error (a widget that is gone, a tkscheme that is not
// "#rrggbb") ends it where it happens and reaches the caller; the steps
// before it stay applied.
void select_scheme();

// One colour channel back to an integer from 0 to 255, halves rounded up.
int clamp_rgb(double v);

// Fills `matrix` with the rotation of hue by `degrees` about the grey axis.
void set_hue_rotation(double degrees);

// The channels r, g, b (0 to 255) through `matrix`, each clamped.
std::array<int, 3> rotate_hue(double r, double g, double b);

// "#" and the two-digit lower-case hex of each channel times 0.8, truncated.
std::string darkened_tk_colour(double r, double g, double b);

// Chooses the main colour and derives both axis colours from it: the
// horizontal one darkened to 0.8, the vertical one turned by -30 degrees of
// hue and darkened to 0.8. A cancelled dialog changes nothing.
void pick_color();

// Each chooses one colour of the scheme and changes no other.
void pick_main_color();
void pick_horizontal_color();
void pick_vertical_color();

}  // namespace arcflex
