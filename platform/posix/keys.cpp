#include <platform/keys.h>

#include <map>

namespace afp {

int virtual_key(int, const std::string& keysym) {
  if (keysym.size() == 1) {
    char c = keysym[0];
    if (c >= 'a' && c <= 'z') return c - 'a' + 'A';
    if (c >= 'A' && c <= 'Z') return c;
    if (c >= '0' && c <= '9') return c;
  }
  static const std::map<std::string, int> named{
      {"BackSpace", 8},   {"Tab", 9},         {"Return", 13},   {"Shift_L", 16},    {"Shift_R", 16},
      {"Control_L", 17},  {"Control_R", 17},  {"Alt_L", 18},    {"Alt_R", 18},      {"Pause", 19},
      {"Caps_Lock", 20},  {"Escape", 27},     {"space", 32},    {"Prior", 33},      {"Next", 34},
      {"End", 35},        {"Home", 36},       {"Left", 37},     {"Up", 38},         {"Right", 39},
      {"Down", 40},       {"Insert", 45},     {"Delete", 46},   {"plus", 187},      {"equal", 187},
      {"minus", 189},     {"underscore", 189}, {"comma", 188},  {"period", 190},    {"F1", 112},
      {"F2", 113},        {"F3", 114},        {"F4", 115},      {"F5", 116},        {"F6", 117},
      {"F7", 118},        {"F8", 119},        {"F9", 120},      {"F10", 121},       {"F11", 122},
      {"F12", 123}};
  auto it = named.find(keysym);
  return it == named.end() ? 0 : it->second;
}

bool KeyRepeatFilter::hold_release(int code, unsigned long time) {
  held_code_ = code;
  held_time_ = time;
  cancelled_ = false;
  return true;
}

bool KeyRepeatFilter::press(int code, unsigned long time) {
  if (held_code_ == code && held_time_ == time && !cancelled_) {
    cancelled_ = true;
    return true;
  }
  return false;
}

bool KeyRepeatFilter::release_due(int code, unsigned long time) {
  bool due = !(held_code_ == code && held_time_ == time && cancelled_);
  if (held_code_ == code && held_time_ == time) held_code_ = -1;
  return due;
}

}  // namespace afp
