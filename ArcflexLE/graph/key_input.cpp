#include "key_input.h"

#include "graph_edit.h"
#include "state.h"

namespace arcflex {

namespace {

afp::KeyRepeatFilter window_filter;
afp::KeyRepeatFilter canvas_filter;

}  // namespace

void use_presses_only_repeat(bool on) {
  auto interp = root.attr("tk").attr("interpaddr")().cast<std::uintptr_t>();
  presses_only_repeat = afp::set_presses_only_repeat(interp, on);
}

int tk_virtual_key(py::handle tk_event) {
  int code = 0;
  try {
    code = tk_event.attr("keycode").cast<int>();
  } catch (py::cast_error&) {
  }
  std::string sym;
  try {
    sym = py::str(tk_event.attr("keysym")).cast<std::string>();
  } catch (py::error_already_set&) {
  }
  // Read in the keyboard group of the event's state where Tk tells it.
  try {
    const auto state = tk_event.attr("state").cast<unsigned>();
    if (root) {
      auto interp = root.attr("tk").attr("interpaddr")().cast<std::uintptr_t>();
      return afp::event_virtual_key(interp, code, sym, state);
    }
  } catch (py::error_already_set&) {
  } catch (py::cast_error&) {
  }
  return afp::virtual_key(code, sym);
}

unsigned long tk_event_time(py::handle tk_event) {
  try {
    return tk_event.attr("time").cast<unsigned long>();
  } catch (py::cast_error&) {
    return 0;
  }
}

std::string canvas_key_name(py::handle event) {
  py::object k = event.attr("key");
  if (k.is_none()) return "";
  std::string key = py::str(k).cast<std::string>();
  // The name after the last "+" of a prefix ("ctrl++" names the plus key).
  size_t split = 0;
  if (key.size() > 1 && key.back() == '+') {
    split = key.size() - 1;
  } else if (size_t p = key.rfind('+'); p != std::string::npos && key.size() > 1) {
    split = p + 1;
  }
  std::string prefix = key.substr(0, split), bare = key.substr(split);
  py::object gui = py::getattr(event, "guiEvent", py::none());
  if (bare.empty() || gui.is_none()) return key;
  std::string sym;
  try {
    sym = py::str(gui.attr("keysym")).cast<std::string>();
  } catch (py::error_already_set&) {
    return key;
  }
  // The graph library names a letter key by its character (a press) or by
  // its keysym in lower case (a release, which carries no character).
  py::str bare_s(bare);
  bool upper = false;
  if (static_cast<unsigned char>(bare[0]) >= 0x80 && py::len(bare_s) == 1 &&
      bare_s.attr("isalpha")().cast<bool>()) {
    upper = bare_s.attr("isupper")().cast<bool>();
  } else if (sym.size() > 1 && py::str(sym).attr("lower")().cast<std::string>() == bare) {
    upper = py::str(sym.substr(sym.rfind('_') + 1)).attr("isupper")().cast<bool>();
  } else {
    return key;
  }
  int vk = tk_virtual_key(gui);
  if (vk < 'A' || vk > 'Z') return key;
  return prefix + static_cast<char>(upper ? vk : vk - 'A' + 'a');
}

void on_canvas_key_press(py::handle event) {
  py::object gui = py::getattr(event, "guiEvent", py::none());
  if (!presses_only_repeat && !gui.is_none()) canvas_filter.press(tk_virtual_key(gui), tk_event_time(gui));
  key_press_callback(event);
}

void on_canvas_key_release(py::handle event) {
  py::object gui = py::getattr(event, "guiEvent", py::none());
  if (presses_only_repeat || gui.is_none()) {
    key_release_callback(event);
    return;
  }
  int vk = tk_virtual_key(gui);
  unsigned long t = tk_event_time(gui);
  if (!canvas_filter.hold_release(vk, t)) {
    key_release_callback(event);
    return;
  }
  auto ev = py::reinterpret_borrow<py::object>(event);
  root.attr("after_idle")(py::cpp_function([vk, t, ev] {
    if (canvas_filter.release_due(vk, t)) key_release_callback(ev);
  }));
}

afp::KeyRepeatFilter& window_key_filter() { return window_filter; }

void note_key_press(py::handle tk_event) { window_filter.press(tk_virtual_key(tk_event), tk_event_time(tk_event)); }

}  // namespace arcflex
