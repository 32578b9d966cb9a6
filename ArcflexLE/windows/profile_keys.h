// The Profiles window: ten profile slots, each with a hot key (a key with
// optional Shift, Ctrl and Alt) and a "Hold" flag; the capture of a slot's
// hot key; and the hot-key file "keys.dat", which closing the window reads.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "pyrt.h"

namespace arcflex {

// The five lists of "keys.dat" in file order: profile_hotkeys,
// profile_hotkey_modes, shift_req, ctrl_req, alt_req.
using ProfileKeyLists = std::array<std::vector<int>, 5>;

// One value of "keys.dat": a decimal number (sign, digits, point, fraction,
// exponent) truncated toward zero; beyond the int range it saturates, so it
// keeps its zero/non-zero meaning and names no key. nullopt for anything
// else, "inf" and "nan" included.
std::optional<int> parse_profile_key_value(const std::string& token);

// The lists from the text of "keys.dat": its first five lines (a missing
// line is an empty list), each padded with zeros to ten values; a longer
// line keeps all its values. nullopt when any value is not a number.
std::optional<ProfileKeyLists> parse_profile_keys(const std::string& text);

// The lists from the file at path: ten zeros each when it is missing,
// unreadable, not a regular file, malformed, or when its first five lines
// take more than five lines of ten number texts can.
ProfileKeyLists read_profile_keys_file(const std::string& path);

void build_profile_window();
void show_profile_window();
// Close request: re-reads the lists from settingsdir + "keys.dat", refills
// the ten rows and withdraws the window.
void hide_profile_window();

// The text shown for slot i: "" without a hot key (or with a key that has
// no name), else "Shift + ", "Ctrl + ", "Alt + " as required and the name.
std::string get_key_string(int i);

// Hot-key capture of slot i from a Tk key event; the modifiers come from
// the meter's reports (shift_key, ctrl_key, alt_key), not from the event.
void set_profile_key(py::handle event, int i);

// The "Hold" boxes' command: every slot's mode from its box.
void set_hotkey_mode();

}  // namespace arcflex
