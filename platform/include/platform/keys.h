// Keyboard events as the editor's shortcuts see them: Windows virtual-key
// codes, and held keys repeating as presses without releases.
#pragma once

#include <string>

namespace afp {

// The virtual-key code of a Tk key event. On Windows Tk's keycode already is
// that code; elsewhere it comes from the keysym: letters give the code of
// the upper-case letter whatever Shift or Caps Lock, digits their character,
// and a few named keys their Windows codes. 0 for a key without a code.
int virtual_key(int tk_keycode, const std::string& keysym);

// Drops the release half of the release/press pairs with which an X server
// repeats a held key, so a held key reads as one press, repeated presses,
// one release. A release is held back (hold_release true), and the next
// press of the same key with the same time stamp marks it as a repeat;
// release_due tells, once the pending events are handled, whether the held
// release still stands. On Windows nothing is held back.
class KeyRepeatFilter {
 public:
  bool hold_release(int code, unsigned long time);
  // A press; true when it is the press half of a repeat pair.
  bool press(int code, unsigned long time);
  bool release_due(int code, unsigned long time);

 private:
  int held_code_ = -1;
  unsigned long held_time_ = 0;
  bool cancelled_ = false;
};

}  // namespace afp
