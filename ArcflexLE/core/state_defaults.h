// The module state's defaults, assigned in the order of the start-up, and
// the release of every Python object the state holds.
#pragma once

namespace arcflex {

// The key-name table, then the block of defaults: every variable of the
// state that the start-up assigns before the settings load, including the
// flags and table constants set between the function definitions. Leaves
// root, mutex and the folder strings (set by earlier start-up steps) alone.
void assign_defaults();

// The applied options that both the block of defaults and the settings
// load set: pitch, distance mode, percentages, frame time and the toggles.
void assign_option_defaults();

// Builds key_binds_dict: Windows virtual-key codes to key names, 98 entries.
void build_key_binds_dict();

// After the settings load: the active and inactive schemes, dim_tkscheme,
// the entry colours (set_entry_colors) and the five fonts.
void derive_colours_and_fonts();

// The undo (revert_) and redo (redo_) snapshots, each member an
// independent deep copy of the current applied state.
void take_initial_snapshots();

// The meter-link and speed-display state, just before the window is shown.
void assign_meter_link_defaults();

// Drops every Python object held in module state (part of the exit path).
void release_state_objects();

}  // namespace arcflex
