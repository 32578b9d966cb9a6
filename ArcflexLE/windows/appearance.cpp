#include "appearance.h"

#include <cstdio>
#include <stdexcept>

namespace arcflex {

namespace {

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The one body the inert operations share.
void inert() {}

}  // namespace

std::string dim_colour(const std::string& tk_colour) {
  if (tk_colour.size() != 7 || tk_colour[0] != '#') {
    throw std::invalid_argument("not a #rrggbb colour: " + tk_colour);
  }
  std::string result = "#";
  for (int pair = 0; pair < 3; ++pair) {
    const int hi = hex_digit(tk_colour[1 + 2 * pair]);
    const int lo = hex_digit(tk_colour[2 + 2 * pair]);
    if (hi < 0 || lo < 0) throw std::invalid_argument("not a #rrggbb colour: " + tk_colour);
    const int v = hi * 16 + lo;
    const int dimmed = static_cast<int>(static_cast<double>(v) / 8 * 7);
    char buf[3];
    std::snprintf(buf, sizeof buf, "%02x", dimmed);
    result += buf;
  }
  return result;
}

Rgb half_intensity(const Rgb& c) { return {c[0] * 0.5, c[1] * 0.5, c[2] * 0.5}; }

py::tuple rgb_tuple(const Rgb& c) { return py::make_tuple(c[0], c[1], c[2]); }

void set_entry_colors() {
  entry_bg = bg_scheme;
  entry_fg = "#BBB";
  entry_readonly_bg = bg_scheme;
  entry_readonly_fg = "#777";
  entry_disabled_bg = bg_scheme;
  entry_disabled_fg = "#777";
  entry_error_bg = "#E00";
  entry_error_fg = bg_scheme;
  entry_sbg = tkscheme;
  entry_sfg = bg_scheme;
  entry_error_sbg = bg_scheme;
  entry_error_sfg = "#BBB";
  entry_cursor = tkscheme;
  entry_error_cursor = bg_scheme;
}

void lock_profiles() { inert(); }
void unlock_profiles() { inert(); }
void activate_profile_keys() { inert(); }
void set_persist() { inert(); }
void write_profile_keys() { inert(); }
void set_bypass_confirm() { inert(); }
void set_aftask() { inert(); }
void swap_profile(py::handle) { inert(); }

}  // namespace arcflex
