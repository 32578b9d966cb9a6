// Module state of the Devices window and the Profiles window (the hot keys
// of the ten profile slots). The hot-key lists themselves live in state.h.
// Every py::object here is dropped by release_profile_objects().
#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

#include "pyrt.h"

namespace arcflex {

// ---- Devices window ----------------------------------------------------------

// List position -> text to list; nothing fills it in this edition.
inline std::map<int, std::string> device_list;
inline std::vector<std::string> excluded_devices;
inline py::object devices_window, device_label, device_listbox, exclude_label, exclude_listbox;
inline py::object exclude_devices_button;

// ---- Profiles window ---------------------------------------------------------

inline constexpr int profile_slots = 10;

inline py::object profile_window, profile_key_label, profile_mode_label, save_profile_keys_button;
// Slot 0..9 -> its label, read-only hot-key entry, "Hold" check box and the
// check box's Tk BooleanVar.
inline std::array<py::object, profile_slots> profile_labels, profile_entries, hotkey_mode_box, hotkey_hold;

inline void release_profile_objects() {
  for (py::object* o : {&devices_window, &device_label, &device_listbox, &exclude_label, &exclude_listbox,
                        &exclude_devices_button, &profile_window, &profile_key_label, &profile_mode_label,
                        &save_profile_keys_button}) {
    *o = py::object();
  }
  for (auto* slots : {&profile_labels, &profile_entries, &hotkey_mode_box, &hotkey_hold}) {
    for (py::object& o : *slots) o = py::object();
  }
}

}  // namespace arcflex
