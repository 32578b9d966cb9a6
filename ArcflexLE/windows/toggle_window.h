// The Sensitivity toggle window's key capture and entry handlers, the key
// code of a Tk key event, and the rewrite of the window after a revert.
// (The window itself is built with the other apply-cycle windows.)
#pragma once

#include <string>

#include "pyrt.h"

namespace arcflex {

// A number as the sensitivity entries show it: Python's text of it in a
// form their key validation accepts, so the user can edit or delete it
// ("1e+16" -> "1e16", infinity -> "1e999"), and that reads back as the
// same number.
std::string sens_entry_text(py::handle number);

// Replaces the whole text of an entry that has a key validation, with the
// validation off around the change, so the program's own texts ("1e+16")
// are never refused; the entry's state and validation are kept.
void set_validated_entry_text(py::handle entry, const std::string& text);

// Key capture of the key entry: a named key becomes temp_toggleKey and the
// entry's text, Esc clears both, Tab and Enter move the focus to the
// window, a key without a name changes nothing.
void set_toggle_key(py::handle event);

// Focus and Return handlers of the window's entries (the event is unused).
void toggleX_focus_in(py::handle event);
void toggleY_focus_in(py::handle event);
void toggle_entries_focus_out(py::handle event);
void tog_key_focus_in(py::handle event);
void tog_key_focus_out(py::handle event);
void toggle_entries_return(py::handle event);

// After a revert or redo: the menus, the key entry and the two sensitivity
// entries show the applied values again; the sensitivity entries stay
// editable and temp_toggleKey takes the applied key the entry shows.
void rewrite_toggle_window();

}  // namespace arcflex
