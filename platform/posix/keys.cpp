#include <platform/keys.h>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

namespace afp {

namespace {

// Windows virtual-key codes of the keys of the main block, by evdev key
// code (the X key code less 8): the key at that place on a US keyboard.
int code_at_place(int evdev) {
  static const std::map<int, int> place{
      {2, '1'},   {3, '2'},   {4, '3'},   {5, '4'},   {6, '5'},   {7, '6'},   {8, '7'},   {9, '8'},
      {10, '9'},  {11, '0'},  {12, 189},  {13, 187},  {16, 'Q'},  {17, 'W'},  {18, 'E'},  {19, 'R'},
      {20, 'T'},  {21, 'Y'},  {22, 'U'},  {23, 'I'},  {24, 'O'},  {25, 'P'},  {26, 219},  {27, 221},
      {30, 'A'},  {31, 'S'},  {32, 'D'},  {33, 'F'},  {34, 'G'},  {35, 'H'},  {36, 'J'},  {37, 'K'},
      {38, 'L'},  {39, 186},  {40, 222},  {41, 192},  {43, 220},  {44, 'Z'},  {45, 'X'},  {46, 'C'},
      {47, 'V'},  {48, 'B'},  {49, 'N'},  {50, 'M'},  {51, 188},  {52, 190},  {53, 191},  {86, 226},
      // F13 to F24, which the X layouts give other names or none.
      {183, 124}, {184, 125}, {185, 126}, {186, 127}, {187, 128}, {188, 129}, {189, 130}, {190, 131},
      {191, 132}, {192, 133}, {193, 134}, {194, 135}};
  auto it = place.find(evdev);
  return it == place.end() ? 0 : it->second;
}

// The libtk already in the process (loaded by tkinter), or null.
void* loaded_tk() {
  std::string path;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* out) {
        const char* name = info->dlpi_name;
        const char* base = name ? std::strrchr(name, '/') : nullptr;
        if (base && std::strncmp(base + 1, "libtk", 5) == 0) {
          *static_cast<std::string*>(out) = name;
          return 1;
        }
        return 0;
      },
      &path);
  if (path.empty()) return nullptr;
  return dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
}

// The X connection of the Tk interpreter at tcl_interp, or null.
Display* tk_display(std::uintptr_t tcl_interp) {
  if (!tcl_interp) return nullptr;
  void* tk = loaded_tk();
  if (!tk) return nullptr;
  using MainWindowFn = void* (*)(void*);
  auto main_window = reinterpret_cast<MainWindowFn>(dlsym(tk, "Tk_MainWindow"));
  void* window = main_window ? main_window(reinterpret_cast<void*>(tcl_interp)) : nullptr;
  dlclose(tk);
  // A Tk window record starts with its Display pointer (Tk_Display()).
  return window ? *static_cast<Display**>(window) : nullptr;
}

}  // namespace

int virtual_key(int tk_keycode, const std::string& keysym, bool latin_layout) {
  if (keysym.size() == 1) {
    char c = keysym[0];
    if (c >= 'a' && c <= 'z') return c - 'a' + 'A';
    if (c >= 'A' && c <= 'Z') return c;
    if (c >= '0' && c <= '9') return c;
  }
  // Keys that print nothing, by name, as Windows codes them: Shift+Tab is
  // Tab, keypad Enter is Enter, AltGr and Meta (Shift+Alt) are Alt.
  static const std::map<std::string, int> named = [] {
    std::map<std::string, int> m{
        {"BackSpace", 8},   {"Tab", 9},        {"ISO_Left_Tab", 9}, {"Return", 13},     {"KP_Enter", 13},
        {"Shift_L", 16},    {"Shift_R", 16},   {"Control_L", 17},   {"Control_R", 17},  {"Alt_L", 18},
        {"Alt_R", 18},      {"Meta_L", 18},    {"Meta_R", 18},      {"ISO_Level3_Shift", 18},
        {"Pause", 19},      {"Caps_Lock", 20}, {"Escape", 27},      {"space", 32},      {"Prior", 33},
        {"Next", 34},       {"End", 35},       {"Home", 36},        {"Left", 37},       {"Up", 38},
        {"Right", 39},      {"Down", 40},      {"Insert", 45},      {"Delete", 46}};
    for (int n = 1; n <= 24; ++n) m["F" + std::to_string(n)] = 111 + n;  // F1 112 ... F24 135
    return m;
  }();
  if (auto it = named.find(keysym); it != named.end()) return it->second;
  // X key codes start at 8; below that the event came from no key.
  const int place = tk_keycode >= 8 ? code_at_place(tk_keycode - 8) : 0;
  // A layout of another script keeps the US codes of every key: "/" under
  // a Russian layout prints "." and is the "/" key. On a Latin layout the
  // digit row and F13 to F24 keep theirs (AZERTY's "-" on 6 is "6").
  const bool digit_or_f = (place >= '0' && place <= '9') || (place >= 124 && place <= 135);
  if (place && (!latin_layout || digit_or_f)) return place;
  // A Latin layout's own punctuation (Dvorak's apostrophe on Q) by name.
  static const std::map<std::string, int> punctuation{
      {"plus", 187},      {"equal", 187},     {"minus", 189},       {"underscore", 189}, {"comma", 188},
      {"period", 190},    {"semicolon", 186}, {"slash", 191},       {"grave", 192},      {"bracketleft", 219},
      {"backslash", 220}, {"bracketright", 221}, {"apostrophe", 222}};
  if (auto it = punctuation.find(keysym); it != punctuation.end()) return it->second;
  // Any other keysym (letters of other scripts, accented letters, dead
  // keys): the key at that place on a US keyboard.
  return place;
}

int event_virtual_key(std::uintptr_t tcl_interp, int tk_keycode, const std::string& keysym, unsigned state) {
  // Cached: Tk keeps one connection for the life of its interpreter.
  static std::uintptr_t cached_interp = 0;
  static Display* display = nullptr;
  if (tcl_interp != cached_interp) {
    display = tk_display(tcl_interp);
    cached_interp = tcl_interp;
  }
  if (!display || tk_keycode < 8 || tk_keycode > 255) return virtual_key(tk_keycode, keysym);
  // The group the key was typed in (state bits 13 and 14), as Tk reads the
  // keysym; its key with the US letter A tells the script.
  const int group = static_cast<int>((state >> 13) & 3);
  const KeySym a = XkbKeycodeToKeysym(display, 8 + 30, group, 0);
  const bool latin = (a >= XK_a && a <= XK_z) || (a >= XK_A && a <= XK_Z);
  // The key's own unshifted symbol: Windows codes a key the same with
  // Shift, AltGr or Caps Lock.
  const KeySym base = XkbKeycodeToKeysym(display, static_cast<KeyCode>(tk_keycode), group, 0);
  const char* base_name = base != NoSymbol ? XKeysymToString(base) : nullptr;
  return virtual_key(tk_keycode, base_name ? std::string(base_name) : keysym, latin);
}

bool set_presses_only_repeat(std::uintptr_t tcl_interp, bool on) {
  Display* display = tk_display(tcl_interp);
  if (!display) return false;
  Bool supported = False;
  Bool now = XkbSetDetectableAutoRepeat(display, on ? True : False, &supported);
  return supported && on && now;
}

bool KeyRepeatFilter::hold_release(int code, unsigned long time) {
  // Releases whose check never came (the window went away) must not pile up.
  if (held_.size() >= 64) held_.erase(held_.begin());
  held_.push_back({code, time, false});
  return true;
}

bool KeyRepeatFilter::press(int code, unsigned long time) {
  for (Held& h : held_) {
    if (h.code == code && h.time == time && !h.repeat) {
      h.repeat = true;
      return true;
    }
  }
  return false;
}

bool KeyRepeatFilter::release_due(int code, unsigned long time) {
  auto it = std::find_if(held_.begin(), held_.end(), [&](const Held& h) { return h.code == code && h.time == time; });
  if (it == held_.end()) return true;
  bool due = !it->repeat;
  held_.erase(it);
  return due;
}

}  // namespace afp
