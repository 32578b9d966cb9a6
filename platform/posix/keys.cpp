#include <platform/keys.h>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <cstring>
#include <map>

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
      {47, 'V'},  {48, 'B'},  {49, 'N'},  {50, 'M'},  {51, 188},  {52, 190},  {53, 191},  {86, 226}};
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

}  // namespace

int virtual_key(int tk_keycode, const std::string& keysym) {
  if (keysym.size() == 1) {
    char c = keysym[0];
    if (c >= 'a' && c <= 'z') return c - 'a' + 'A';
    if (c >= 'A' && c <= 'Z') return c;
    if (c >= '0' && c <= '9') return c;
  }
  static const std::map<std::string, int> named{
      {"BackSpace", 8},    {"Tab", 9},           {"Return", 13},       {"Shift_L", 16},      {"Shift_R", 16},
      {"Control_L", 17},   {"Control_R", 17},    {"Alt_L", 18},        {"Alt_R", 18},        {"Pause", 19},
      {"Caps_Lock", 20},   {"Escape", 27},       {"space", 32},        {"Prior", 33},        {"Next", 34},
      {"End", 35},         {"Home", 36},         {"Left", 37},         {"Up", 38},           {"Right", 39},
      {"Down", 40},        {"Insert", 45},       {"Delete", 46},       {"plus", 187},        {"equal", 187},
      {"minus", 189},      {"underscore", 189},  {"comma", 188},       {"period", 190},      {"semicolon", 186},
      {"slash", 191},      {"grave", 192},       {"bracketleft", 219}, {"backslash", 220},   {"bracketright", 221},
      {"apostrophe", 222}, {"F1", 112},          {"F2", 113},          {"F3", 114},          {"F4", 115},
      {"F5", 116},         {"F6", 117},          {"F7", 118},          {"F8", 119},          {"F9", 120},
      {"F10", 121},        {"F11", 122},         {"F12", 123}};
  auto it = named.find(keysym);
  if (it != named.end()) return it->second;
  // X key codes start at 8; below that the event came from no key.
  return tk_keycode >= 8 ? code_at_place(tk_keycode - 8) : 0;
}

bool set_presses_only_repeat(std::uintptr_t tcl_interp, bool on) {
  if (!tcl_interp) return false;
  void* tk = loaded_tk();
  if (!tk) return false;
  using MainWindowFn = void* (*)(void*);
  auto main_window = reinterpret_cast<MainWindowFn>(dlsym(tk, "Tk_MainWindow"));
  void* window = main_window ? main_window(reinterpret_cast<void*>(tcl_interp)) : nullptr;
  dlclose(tk);
  if (!window) return false;
  // A Tk window record starts with its Display pointer (Tk_Display()).
  Display* display = *static_cast<Display**>(window);
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
