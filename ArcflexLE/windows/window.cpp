#include "window.h"

#include <algorithm>
#include <cstdio>

#include "appearance.h"
#include "meter_link.h"
#include "state.h"
#include "tools.h"

namespace arcflex {

using namespace py::literals;

namespace winui {

bool on_windows() {
#ifdef _WIN32
  return true;
#else
  return false;
#endif
}

namespace {
py::object user32() { return py::module_::import("ctypes").attr("windll").attr("user32"); }
}  // namespace

void set_process_dpi_aware() {
  if (on_windows()) user32().attr("SetProcessDPIAware")();
}

std::pair<int, int> screen_size(py::handle root) {
  if (on_windows()) {
    py::object u = user32();
    return {u.attr("GetSystemMetrics")(0).cast<int>(), u.attr("GetSystemMetrics")(1).cast<int>()};
  }
  return {root.attr("winfo_screenwidth")().cast<int>(), root.attr("winfo_screenheight")().cast<int>()};
}

void set_minimize_only_frame(py::handle root) {
  if (!on_windows()) return;
  constexpr int GWL_STYLE = -16;
  constexpr long long WS_MINIMIZEBOX = 0x20000, WS_MAXIMIZEBOX = 0x10000;
  constexpr int SWP_NOZORDER = 4, SWP_NOMOVE = 2, SWP_NOSIZE = 1, SWP_FRAMECHANGED = 0x20;
  py::object u = user32();
  py::object hwnd = u.attr("GetParent")(root.attr("winfo_id")());
  long long old_style = u.attr("GetWindowLongW")(hwnd, GWL_STYLE).cast<long long>();
  long long new_style = (old_style & ~WS_MAXIMIZEBOX) | WS_MINIMIZEBOX;
  u.attr("SetWindowLongW")(hwnd, GWL_STYLE, new_style);
  u.attr("SetWindowPos")(hwnd, 0, 0, 0, 0, 0, SWP_NOZORDER | SWP_NOMOVE | SWP_NOSIZE | SWP_FRAMECHANGED);
}

void wm_attribute(py::handle window, const std::string& name, py::handle value) {
  if (!on_windows() && (name == "-transparentcolor" || name == "-disabled" || name == "-toolwindow")) return;
  window.attr("wm_attributes")(name, value);
}

}  // namespace winui

double tk_scaling_for(int factor) { return static_cast<double>(factor) / 100.0 * 1.34; }

void configure_main_window() {
  winui::set_process_dpi_aware();
  screensize = winui::screen_size(root);
  root.attr("tk").attr("call")("tk", "scaling", "-displayof", ".", tk_scaling_for(gui_scaling_factor));
  root.attr("protocol")("WM_DELETE_WINDOW", py::cpp_function([] { close_main_window(); }));
  root.attr("configure")("bg"_a = bg_scheme, "bd"_a = 0);
  root.attr("title")("Arcflex LE");
}

void bind_main_window() {
  py::cpp_function on_state([](py::object event) { configure_root_window(event); });
  root.attr("bind")("<Unmap>", on_state);
  root.attr("bind")("<Configure>", on_state);
  validate_entry = root.attr("register")(py::cpp_function([](std::string s) { return nums_only(s); }))
                       .cast<std::string>();
  validate_entry_neg = root.attr("register")(py::cpp_function([](std::string s) { return nums_neg(s); }))
                           .cast<std::string>();
  pan_counter = 0;
  key_pressed = 0;
  // The graph's keyboard shortcuts and the middle-button rescale are bound
  // here on the root window ("<KeyPress>", "<KeyRelease>", "<Button-2>")
  // once their handlers exist.
  undone = 1;
  redone = 1;
}

void build_frames() {
  py::module_& tk = tkinter();
  auto frame = [&](py::handle parent) { return tk.attr("Frame")(parent, "bg"_a = bg_scheme, "bd"_a = 0); };
  topframe = frame(root);
  topframe.attr("pack")("side"_a = "top", "fill"_a = "both", "expand"_a = 1);
  rframe = frame(topframe);
  rframe.attr("pack")("side"_a = "right", "fill"_a = "both", "expand"_a = 1);
  rframe.attr("grid_rowconfigure")(2, "weight"_a = 1);
  rframe.attr("grid_columnconfigure")(4, "weight"_a = 1);
  rgframe = frame(rframe);
  rgframe.attr("grid")("row"_a = 2, "column"_a = 4, "sticky"_a = "nsew");
  rxframe = frame(rframe);
  rxframe.attr("grid")("row"_a = 4, "column"_a = 4, "sticky"_a = "n");
  ryframe = frame(rframe);
  ryframe.attr("grid")("row"_a = 2, "column"_a = 2, "sticky"_a = "e");
  leftframe = frame(root);
  leftframe.attr("pack")("side"_a = "bottom", "fill"_a = "both", "expand"_a = 0, "padx"_a = 50, "pady"_a = 10);
  leftframe.attr("grid_rowconfigure")(5, "minsize"_a = 8);
  scale_job = py::none();
  shift_job = py::none();
  rel_scale_job = py::none();
  scale_factor = 1.04;
}

void build_panel() {
  py::module_& tk = tkinter();
  dialog_open = false;

  bool no_hotkeys = std::all_of(profile_hotkeys.begin(), profile_hotkeys.end(), [](int k) { return k == 0; }) &&
                    profile_hotkeys.size() == 10;
  std::string profile_text;
  if (!no_hotkeys) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "Profile %d", current_profile);
    profile_text = buf;
  }
  current_profile_label = tk.attr("Label")(leftframe, "text"_a = profile_text, "bg"_a = bg_scheme,
                                           "fg"_a = tkscheme, "font"_a = text_font);
  axes_label = tk.attr("Label")(leftframe, "text"_a = "Both axes", "bg"_a = bg_scheme, "fg"_a = tkscheme,
                                "font"_a = text_font);
  axis_slider = tk.attr("Scale")(
      leftframe, "from_"_a = 0, "to"_a = 2, "orient"_a = "horizontal", "showvalue"_a = 0, "bg"_a = bg_scheme,
      "troughcolor"_a = bg_scheme, "highlightbackground"_a = bg_scheme, "fg"_a = tkscheme, "relief"_a = "flat",
      "bd"_a = 4, "length"_a = 64, "width"_a = 24, "sliderlength"_a = 24, "font"_a = text_font,
      "command"_a = py::cpp_function([](py::object value) { set_axis_mode(value); }));
  persist_enabled = tk.attr("BooleanVar")("value"_a = persist != 0);
  persist_box = tk.attr("Checkbutton")(leftframe, "text"_a = "Persistent settings", "font"_a = text_font,
                                       "variable"_a = persist_enabled, "onvalue"_a = true, "offvalue"_a = false,
                                       "command"_a = py::cpp_function([] { set_persist(); }));
  apply_button = tk.attr("Button")(leftframe, "text"_a = "Apply", "font"_a = button_font, "padx"_a = 0,
                                   "pady"_a = 3);
  apply_button.attr("configure")("width"_a = 10, "bd"_a = bd_four, "bg"_a = bg_scheme, "fg"_a = tkscheme,
                                 "activebackground"_a = abg_scheme, "activeforeground"_a = tkscheme,
                                 "takefocus"_a = tk.attr("OFF"));
  // The Apply transaction becomes the button's command when it exists.
  apply_button.attr("bind")("<Enter>", py::cpp_function([](py::object e) { apply_button_enter(e); }));
  apply_button.attr("bind")("<Leave>", py::cpp_function([](py::object e) { apply_button_leave(e); }));
  apply_button.attr("grid")("row"_a = 4, "column"_a = 1, "columnspan"_a = 2, "sticky"_a = "n");
}

void show_root() {
  winui::set_minimize_only_frame(root);
  root.attr("update")();
  root.attr("wm_deiconify")();
  root.attr("update")();
  int w = std::max(topframe.attr("winfo_width")().cast<int>(), 647);
  int h = std::max(topframe.attr("winfo_height")().cast<int>(), 547);
  root.attr("minsize")(w, h);
  root.attr("maxsize")(screensize.first * 2, screensize.second * 2);
  root.attr("geometry")(std::to_string(root.attr("winfo_width")().cast<int>()) + "x" +
                        std::to_string(root.attr("winfo_height")().cast<int>()));
}

void configure_root_window(py::handle) {
  if (root.attr("wm_state")().cast<std::string>() == "withdrawn") {
    root_window_iconified = true;
    return;
  }
  root_window_iconified = root.attr("wm_state")().cast<std::string>() == "iconic";
}

void apply_button_enter(py::handle) {
  if (py::str(apply_button.attr("cget")("state")).cast<std::string>() == "normal") {
    apply_button.attr("configure")("bg"_a = "#333");
  }
}

void apply_button_leave(py::handle) { apply_button.attr("configure")("bg"_a = bg_scheme); }

void close_main_window() {
  if (!startup_done) {
    // Tk may deliver the close request while the start-up brings the shown
    // window up to date; it is carried out once the main loop runs.
    close_pending = true;
    return;
  }
  kill();
}

}  // namespace arcflex
