#include "toggle_window.h"

#include <algorithm>
#include <cmath>

#include <platform/keys.h>

#include "appearance.h"
#include "key_input.h"
#include "link_windows.h"
#include "state.h"

namespace arcflex {

using namespace py::literals;

namespace {

void set_readonly_text(py::handle entry, const std::string& text) {
  entry.attr("configure")("state"_a = "normal");
  entry.attr("delete")(0, "end");
  if (!text.empty()) entry.attr("insert")(0, text);
  entry.attr("configure")("state"_a = "readonly");
}

}  // namespace

std::string sens_entry_text(py::handle number) {
  double v = py::float_(py::reinterpret_borrow<py::object>(number)).cast<double>();
  if (std::isinf(v)) return v > 0 ? "1e999" : "-1e999";
  std::string text = py::str(number).cast<std::string>();
  text.erase(std::remove(text.begin(), text.end(), '+'), text.end());
  return text;
}

void set_validated_entry_text(py::handle entry, const std::string& text) {
  py::object validate = entry.attr("cget")("validate");
  py::object state = entry.attr("cget")("state");
  entry.attr("configure")("validate"_a = "none", "state"_a = "normal");
  entry.attr("delete")(0, "end");
  entry.attr("insert")(0, text);
  entry.attr("configure")("validate"_a = validate, "state"_a = state);
}

void set_toggle_key(py::handle event) {
  const int code = tk_virtual_key(event);
  auto it = key_binds_dict.find(code);
  if (it == key_binds_dict.end()) return;
  const std::string& name = it->second;
  if (name == "Tab" || name == "Enter") {
    toggle_window.attr("focus")();
    return;
  }
  if (name == "Esc") {
    set_readonly_text(tog_key_entry, "");
    temp_toggleKey = 0;
    return;
  }
  temp_toggleKey = code;
  set_readonly_text(tog_key_entry, name);
}

void toggleX_focus_in(py::handle) {
  lock_profiles();
  toggle_sensX_entry.attr("select_range")(0, "end");
}

void toggleY_focus_in(py::handle) {
  lock_profiles();
  toggle_sensY_entry.attr("select_range")(0, "end");
}

void toggle_entries_focus_out(py::handle) {
  unlock_profiles();
  toggle_sensX_entry.attr("xview_moveto")(0);
  toggle_sensY_entry.attr("xview_moveto")(0);
}

void tog_key_focus_in(py::handle) { lock_profiles(); }
void tog_key_focus_out(py::handle) { unlock_profiles(); }
void toggle_entries_return(py::handle) { toggle_window.attr("focus")(); }

void rewrite_toggle_window() {
  tmm_variable.attr("set")(MODE_OPTIONS.at(static_cast<size_t>(toggleMode)));
  tbm_variable.attr("set")(BUTTON_OPTIONS.at(static_cast<size_t>(toggleButton)));
  const std::string key_name = get_tog_key_string();
  set_readonly_text(tog_key_entry, key_name);
  // The key the next Apply takes is the one the entry now shows.
  temp_toggleKey = key_name.empty() ? 0 : toggleKey;
  for (py::object* e : {&toggle_sensX_entry, &toggle_sensY_entry}) e->attr("configure")("state"_a = "normal");
  set_validated_entry_text(toggle_sensX_entry, sens_entry_text(toggleSensX));
  set_validated_entry_text(toggle_sensY_entry, sens_entry_text(toggleSensY));
}

}  // namespace arcflex
