#include "profile_keys.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <filesystem>
#include <stdexcept>

#include "appearance.h"
#include "key_input.h"
#include "link_windows.h"
#include "settings_files.h"
#include "state.h"
#include "state_profiles.h"
#include "toggle_window.h"
#include "widgets.h"

namespace arcflex {

namespace fs = std::filesystem;
using namespace py::literals;

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n'; }

// Whether the number written as digits `mantissa` (a point allowed) times
// ten to `exponent` is at least 1 in magnitude; for values that a double
// cannot hold.
bool at_least_one(const std::string& mantissa, long long exponent) {
  long long int_digits = 0, lead = 0;
  bool seen_point = false, seen_nonzero = false;
  for (char c : mantissa) {
    if (c == '.') {
      seen_point = true;
      continue;
    }
    if (!seen_nonzero && c == '0') {
      if (seen_point) ++lead;
      continue;
    }
    if (!seen_nonzero) seen_nonzero = true;
    if (!seen_point) ++int_digits;
  }
  if (!seen_nonzero) return false;
  // The first significant digit stands at 10^(int_digits - 1), or at
  // 10^-(lead + 1) when the number is below 1.
  long long first = int_digits > 0 ? int_digits - 1 : -(lead + 1);
  return first + exponent >= 0;
}

int saturate(double v) {
  if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(std::trunc(v));
}

std::vector<std::string> split_blanks(const std::string& line) {
  std::vector<std::string> tokens;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && is_blank(line[i])) ++i;
    size_t start = i;
    while (i < line.size() && !is_blank(line[i])) ++i;
    if (i > start) tokens.push_back(line.substr(start, i - start));
  }
  return tokens;
}

// The first `count` lines of text; "\n", "\r\n" and "\r" each end a line.
std::vector<std::string> first_lines(const std::string& text, size_t count) {
  std::vector<std::string> lines;
  std::string current;
  size_t i = 0;
  for (; i < text.size() && lines.size() < count; ++i) {
    char c = text[i];
    if (c == '\n' || c == '\r') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lines.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (lines.size() < count && !current.empty()) lines.push_back(current);
  return lines;
}

std::vector<int>* key_list(size_t n) {
  std::vector<int>* lists[] = {&profile_hotkeys, &profile_hotkey_modes, &shift_req, &ctrl_req, &alt_req};
  return lists[n];
}

void set_entry_readonly_text(py::handle entry, const std::string& text) {
  entry.attr("configure")("state"_a = "normal");
  entry.attr("delete")(0, "end");
  if (!text.empty()) entry.attr("insert")(0, text);
  entry.attr("configure")("state"_a = "readonly");
}

// Each list has at least one value per slot.
void pad_lists() {
  for (size_t n = 0; n < 5; ++n) {
    std::vector<int>* l = key_list(n);
    if (l->size() < profile_slots) l->resize(profile_slots, 0);
  }
}

py::object slot_label(int i) {
  return scheme_label(profile_window, "Profile " + std::to_string(i + 1));
}

}  // namespace

std::optional<int> parse_profile_key_value(const std::string& token) {
  // sign, then digits with an optional point and fraction (or a point and
  // digits), then an optional exponent; nothing else.
  size_t i = 0;
  bool negative = false;
  if (i < token.size() && (token[i] == '+' || token[i] == '-')) negative = token[i++] == '-';
  const size_t mantissa_start = i;
  size_t digits = 0;
  while (i < token.size() && is_digit(token[i])) ++i, ++digits;
  if (i < token.size() && token[i] == '.') {
    ++i;
    while (i < token.size() && is_digit(token[i])) ++i, ++digits;
  }
  if (digits == 0) return std::nullopt;
  const std::string mantissa = token.substr(mantissa_start, i - mantissa_start);
  long long exponent = 0;
  if (i < token.size() && (token[i] == 'e' || token[i] == 'E')) {
    ++i;
    bool exp_negative = false;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) exp_negative = token[i++] == '-';
    size_t exp_digits = 0;
    for (; i < token.size() && is_digit(token[i]); ++i, ++exp_digits) {
      if (exponent < 1000000000LL) exponent = exponent * 10 + (token[i] - '0');
    }
    if (exp_digits == 0) return std::nullopt;
    if (exp_negative) exponent = -exponent;
  }
  if (i != token.size()) return std::nullopt;

  double value = 0;
  const char* first = token.data() + mantissa_start;
  auto [end, ec] = std::from_chars(first, token.data() + token.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Too large or too small for a double: saturate, or truncate to 0.
    if (!at_least_one(mantissa, exponent)) return 0;
    return negative ? INT_MIN : INT_MAX;
  }
  if (ec != std::errc() || end != token.data() + token.size() || !std::isfinite(value)) return std::nullopt;
  return saturate(negative ? -value : value);
}

std::optional<ProfileKeyLists> parse_profile_keys(const std::string& text) {
  ProfileKeyLists lists;
  std::vector<std::string> lines = first_lines(text, lists.size());
  for (size_t n = 0; n < lists.size(); ++n) {
    if (n < lines.size()) {
      for (const std::string& token : split_blanks(lines[n])) {
        std::optional<int> v = parse_profile_key_value(token);
        if (!v) return std::nullopt;
        lists[n].push_back(*v);
      }
    }
    if (lists[n].size() < profile_slots) lists[n].resize(profile_slots, 0);
  }
  return lists;
}

ProfileKeyLists read_profile_keys_file(const std::string& path) {
  ProfileKeyLists zeros;
  for (auto& l : zeros) l.assign(profile_slots, 0);
  try {
    // Five lines of ten numbers: what does not fit in that many number
    // texts is no key file. A folder or FIFO is refused without opening it.
    const std::size_t max_bytes = zeros.size() * profile_slots * (kNumberTextMax + 1);
    std::optional<std::vector<std::string>> lines = read_text_lines(path, zeros.size(), max_bytes);
    if (!lines) return zeros;
    std::string text;
    for (const std::string& line : *lines) text += line + "\n";
    std::optional<ProfileKeyLists> lists = parse_profile_keys(text);
    return lists ? *lists : zeros;
  } catch (std::exception&) {
    return zeros;
  }
}

std::string get_key_string(int i) {
  try {
    const size_t s = static_cast<size_t>(i);
    if (i < 0 || profile_hotkeys.at(s) == 0) return "";
    std::string key_string;
    if (alt_req.at(s) != 0) key_string = "Alt + " + key_string;
    if (ctrl_req.at(s) != 0) key_string = "Ctrl + " + key_string;
    if (shift_req.at(s) != 0) key_string = "Shift + " + key_string;
    auto it = key_binds_dict.find(profile_hotkeys.at(s));
    if (it == key_binds_dict.end()) return "";
    return key_string + it->second;
  } catch (std::exception&) {
    return "";
  }
}

void set_profile_key(py::handle event, int i) {
  if (i < 0 || i >= profile_slots) return;  // no such slot
  const size_t s = static_cast<size_t>(i);
  py::object entry = profile_entries[s];
  try {
    const int code = tk_virtual_key(event);
    auto it = key_binds_dict.find(code);
    if (it == key_binds_dict.end()) throw std::out_of_range("key without a name");
    const std::string key = it->second;
    std::string key_string = key;
    if (key == "Tab" || key == "Enter") {
      profile_window.attr("focus")();
      return;
    }
    pad_lists();
    if (key == "Esc") {
      set_entry_readonly_text(entry, "");
      hotkey_hold[s].attr("set")(false);
      profile_hotkey_modes[s] = 0;
      profile_hotkeys[s] = 0;
      return;
    }
    profile_hotkeys[s] = code;
    entry.attr("configure")("state"_a = "normal");
    entry.attr("delete")(0, "end");
    if (key != "Alt") {
      alt_req[s] = 0;
      if (alt_key) {
        alt_req[s] = 1;
        key_string = "Alt + " + key_string;
      }
    }
    if (key != "Ctrl") {
      ctrl_req[s] = 0;
      if (ctrl_key) {
        ctrl_req[s] = 1;
        key_string = "Ctrl + " + key_string;
      }
    }
    if (key != "Shift") {
      shift_req[s] = 0;
      if (shift_key) {
        shift_req[s] = 1;
        key_string = "Shift + " + key_string;
      }
    }
    if (key == "Shift" || key == "Ctrl" || key == "Alt") {
      // A modifier alone is no hot key.
      profile_hotkeys[s] = 0;
      entry.attr("delete")(0, "end");
    } else {
      entry.attr("insert")(0, key_string);
    }
    current_profile = i + 1;
    if (!fs::exists(settingsdir + "p" + std::to_string(i + 1) + ".dat")) write_curve();
  } catch (std::exception&) {
    // Takes effect only once the entry was made editable above.
    entry.attr("delete")(0, "end");
  }
  entry.attr("configure")("state"_a = "readonly");
}

void set_hotkey_mode() {
  pad_lists();
  for (size_t i = 0; i < profile_slots; ++i) {
    profile_hotkey_modes[i] = hotkey_hold[i].attr("get")().cast<bool>() ? 1 : 0;
  }
}

void show_profile_window() { show_tool_window(profile_window); }

void hide_profile_window() {
  ProfileKeyLists lists = read_profile_keys_file(settingsdir + "keys.dat");
  for (size_t n = 0; n < lists.size(); ++n) *key_list(n) = lists[n];
  for (int i = 0; i < profile_slots; ++i) {
    const size_t s = static_cast<size_t>(i);
    set_entry_readonly_text(profile_entries[s], get_key_string(i));
    hotkey_hold[s].attr("set")(profile_hotkey_modes[s] != 0);
  }
  profile_window.attr("wm_withdraw")();
}

void build_profile_window() {
  py::object tk = tkinter();
  profile_window = tk.attr("Toplevel")(root);
  profile_window.attr("wm_withdraw")();
  profile_window.attr("title")("Profiles");
  profile_window.attr("configure")("bd"_a = bd_window, "bg"_a = bg_scheme, "relief"_a = "ridge");
  profile_window.attr("resizable")(0, 0);
  profile_window.attr("protocol")("WM_DELETE_WINDOW", py::cpp_function([] { hide_profile_window(); }));

  auto header = [&](const char* text, int column) {
    py::object l = scheme_label(profile_window, text);
    l.attr("grid")("row"_a = 0, "column"_a = column, "padx"_a = 6, "pady"_a = 6, "sticky"_a = "n");
    return l;
  };
  profile_key_label = header("Key", 4);
  profile_mode_label = header("Hold", 6);

  pad_lists();
  py::cpp_function mode_command([] { set_hotkey_mode(); });
  for (int i = 0; i < profile_slots; ++i) {
    const size_t s = static_cast<size_t>(i);
    profile_labels[s] = slot_label(i);
    profile_labels[s].attr("grid")("row"_a = i + 2, "column"_a = 2, "padx"_a = 6, "pady"_a = 6, "sticky"_a = "n");

    profile_entries[s] = scheme_entry(profile_window, 28);
    profile_entries[s].attr("grid")("row"_a = i + 2, "column"_a = 4, "padx"_a = 6, "pady"_a = 6, "sticky"_a = "n");
    profile_entries[s].attr("insert")(0, get_key_string(i));
    profile_entries[s].attr("configure")("state"_a = "readonly");

    hotkey_hold[s] = tk.attr("BooleanVar")(profile_window);
    hotkey_mode_box[s] = tk.attr("Checkbutton")(profile_window, "onvalue"_a = true, "offvalue"_a = false,
                                                "variable"_a = hotkey_hold[s], "command"_a = mode_command);
    hotkey_mode_box[s].attr("configure")("height"_a = 2, "bg"_a = bg_scheme, "activebackground"_a = bg_scheme,
                                         "fg"_a = tkscheme, "activeforeground"_a = tkscheme, "selectcolor"_a = "#222");
    hotkey_mode_box[s].attr("grid")("row"_a = i + 2, "column"_a = 6, "padx"_a = 16);
    hotkey_hold[s].attr("set")(profile_hotkey_modes[s] != 0);
  }

  save_profile_keys_button = tk.attr("Button")(profile_window, "text"_a = "Save changes",
                                               "command"_a = py::cpp_function([] { activate_profile_keys(); }),
                                               "font"_a = button_font);
  save_profile_keys_button.attr("grid")("row"_a = 14, "column"_a = 4, "padx"_a = 6, "pady"_a = 8, "sticky"_a = "n");
  style_button(save_profile_keys_button, 12);
}

}  // namespace arcflex
