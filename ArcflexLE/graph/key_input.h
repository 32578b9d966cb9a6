// Key events as the shortcuts read them on every keyboard layout and every
// X server: the virtual-key code and time stamp of a Tk key event, the
// canvas's key names with the Latin letter of a non-Latin letter key, and
// the canvas's own auto-repeat filter for servers that send release/press
// pairs for a held key.
#pragma once

#include <platform/keys.h>

#include <string>

#include "pyrt.h"

namespace arcflex {

// Whether the X server reports a held key as repeated presses and one
// release (always so on Windows); set when the key handlers are connected.
inline bool presses_only_repeat = false;

// Asks for presses-only repeat on Tk's display connection (or gives it up,
// `on` false) and records the outcome in presses_only_repeat.
void use_presses_only_repeat(bool on = true);

// The virtual-key code and the time stamp of a Tk key event (0 when the
// event lacks them); the code as the layout the key was typed in gives it.
int tk_virtual_key(py::handle tk_event);
unsigned long tk_event_time(py::handle tk_event);

// The graph library's key name of a canvas key event, with a letter of
// another script (a Cyrillic, Greek, Hebrew ... layout) replaced by the
// Latin letter of its key in the same case, modifier prefixes kept: "ф" or
// "cyrillic_ef" on the A key reads "a", "ctrl+Ф" reads "ctrl+A". Empty when
// the event has no name.
std::string canvas_key_name(py::handle event);

// The canvas's key events as connected at start-up. Presses always reach
// key_press_callback; on a server with release/press pairs a release is
// handled once the pending events are, and only when no press of the same
// key with the same time stamp followed it.
void on_canvas_key_press(py::handle event);
void on_canvas_key_release(py::handle event);

// The auto-repeat filter of the main window's and the edit-point window's
// Tk key events.
afp::KeyRepeatFilter& window_key_filter();

// A Tk key press in a window whose presses have no shortcut of their own
// (the edit-point window): only marks the release it follows as a repeat.
void note_key_press(py::handle tk_event);

}  // namespace arcflex
