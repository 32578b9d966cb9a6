#include <platform/keys.h>

namespace afp {

// Tk on Windows reports the virtual-key code itself, and a held key repeats
// as presses only.
int virtual_key(int tk_keycode, const std::string&, bool) { return tk_keycode; }

int event_virtual_key(std::uintptr_t, int tk_keycode, const std::string&, unsigned) { return tk_keycode; }

bool set_presses_only_repeat(std::uintptr_t, bool) { return true; }

bool KeyRepeatFilter::hold_release(int, unsigned long) { return false; }
bool KeyRepeatFilter::press(int, unsigned long) { return false; }
bool KeyRepeatFilter::release_due(int, unsigned long) { return true; }

}  // namespace afp
