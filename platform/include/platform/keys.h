// Keyboard events as the editor's shortcuts see them: Windows virtual-key
// codes, and held keys repeating as presses without releases.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace afp {

// The virtual-key code of a key. On Windows Tk's keycode already is that
// code. Elsewhere, from the X key code and a keysym of the key, as Windows
// codes the keys of the layout in use (latin_layout: whether its letter
// keys print Latin letters), in this order:
// - a Latin letter keysym gives the code of the upper-case letter whatever
//   Shift or Caps Lock, a digit its character, so a letter shortcut follows
//   the letter printed on the key (Dvorak, AZERTY);
// - a key that prints nothing (Return, Tab and Shift+Tab, keypad Enter,
//   F1 to F24, the arrows, the modifiers, AltGr as Alt) its code;
// - under a layout of another script (Cyrillic, Greek, Hebrew ...) every
//   key of the main block the code of the key at that place on a US
//   keyboard, from the X key code (evdev numbering), whatever it prints:
//   the "/" key that prints "." under a Russian layout is "/", Shift+4
//   that prints ";" is "4"; under a Latin layout so the digit row (AZERTY)
//   and F13 to F24 (which X layouts name otherwise, or not at all);
// - a US punctuation keysym its code (Dvorak's apostrophe on the Q key);
// - any other keysym (accented letters, dead keys) the code of the key at
//   that place on a US keyboard.
// 0 for a key without a code.
int virtual_key(int tk_keycode, const std::string& keysym, bool latin_layout = true);

// virtual_key of a Tk key event (keycode, keysym, state as Tk's %k, %K,
// %s) on the X connection of the Tk interpreter at `tcl_interp` (tkinter's
// interpaddr()): read with the key's unshifted keysym in the keyboard group
// the event was typed in, and whether that group prints Latin letters, so
// Shift, AltGr and Caps Lock do not change the code. Without the
// connection, virtual_key of the event's own keysym. On Windows the keycode.
int event_virtual_key(std::uintptr_t tcl_interp, int tk_keycode, const std::string& keysym, unsigned state);

// Asks the X server to report a held key of the Tk interpreter at
// `tcl_interp` (tkinter's interpaddr()) as repeated presses and a single
// release, as Windows does. The setting belongs to the X connection Tk reads
// its events from, so it is made on that connection (shared by every Tk
// interpreter of the thread). `on` false restores the server's default of
// release/press pairs. True when held keys now repeat as presses only:
// always on Windows; false when Tk, its display or the server's keyboard
// extension is missing.
bool set_presses_only_repeat(std::uintptr_t tcl_interp, bool on = true);

// Drops the release half of the release/press pairs with which an X server
// repeats a held key, so a held key reads as one press, repeated presses,
// one release. A release is held back (hold_release true), and a following
// press of the same key with the same time stamp marks it as a repeat;
// release_due tells, once the pending events are handled, whether that
// release still stands. Every held release is kept apart, so several pairs
// queued before the first check are all recognised. On Windows nothing is
// held back.
class KeyRepeatFilter {
 public:
  bool hold_release(int code, unsigned long time);
  // A press; true when it is the press half of a repeat pair.
  bool press(int code, unsigned long time);
  bool release_due(int code, unsigned long time);

 private:
  struct Held {
    int code;
    unsigned long time;
    bool repeat;
  };
  std::vector<Held> held_;
};

}  // namespace afp
