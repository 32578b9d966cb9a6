#include "link_windows.h"

#include <algorithm>
#include <cmath>

#include "apply_cycle.h"
#include "appearance.h"
#include "dialogs.h"
#include "help_windows.h"
#include "meter_link.h"
#include "scale_windows.h"
#include "settings_files.h"
#include "snapshots.h"
#include "speed_display.h"
#include "state.h"
#include "toggle_window.h"
#include "widgets.h"

namespace arcflex {

using namespace py::literals;

namespace {

py::object Tk(const char* cls) { return tk_class(cls); }

py::object label(py::handle parent, const std::string& text) { return scheme_label(parent, text); }

py::object option_menu(py::handle parent, py::handle variable, const std::vector<std::string>& items,
                       py::object command = py::none()) {
  py::list args;
  args.append(parent);
  args.append(variable);
  for (const auto& s : items) args.append(s);
  py::dict kw;
  if (!command.is_none()) kw["command"] = command;
  py::object m = Tk("OptionMenu")(*py::tuple(args), **kw);
  m.attr("config")("activebackground"_a = abg_scheme, "highlightbackground"_a = bg_scheme,
                   "activeforeground"_a = tkscheme, "width"_a = 12, "bd"_a = bd_four, "bg"_a = bg_scheme,
                   "fg"_a = tkscheme, "font"_a = text_font);
  m["menu"].attr("config")("activebackground"_a = abg_scheme, "selectcolor"_a = tkscheme, "bg"_a = bg_scheme,
                           "fg"_a = tkscheme, "font"_a = text_font);
  return m;
}

py::object entry(py::handle parent) { return scheme_entry(parent, 10); }

// A Display window scale at least `length` pixels long. Tk draws the label
// half the font's ascent in from the scale's left end and cuts it at the
// right, so large text sizes need a longer scale: half an ascent is kept on
// either side of the label.
py::object slider(const char* text, int from, int to, int step, int length, py::object command) {
  py::object tk = display_window.attr("tk");
  const int label_width = tk.attr("call")("font", "measure", text_font, "-displayof", display_window, text).cast<int>();
  const int ascent = tk.attr("call")("font", "metrics", text_font, "-displayof", display_window, "-ascent").cast<int>();
  length = std::max(length, label_width + ascent);
  py::dict kw("orient"_a = "horizontal", "bg"_a = bg_scheme, "troughcolor"_a = bg_scheme,
              "highlightbackground"_a = bg_scheme, "fg"_a = tkscheme, "activebackground"_a = abg_scheme,
              "relief"_a = "flat", "bd"_a = 2, "width"_a = 20, "sliderlength"_a = 16, "showvalue"_a = 1,
              "font"_a = text_font, "label"_a = text, "from_"_a = from, "to"_a = to, "resolution"_a = step,
              "length"_a = length);
  if (!command.is_none()) kw["command"] = command;
  return Tk("Scale")(display_window, **kw);
}

}  // namespace

void show_tool_window(py::handle window) {
  window.attr("update")();
  window.attr("wm_deiconify")();
  window.attr("minsize")(window.attr("winfo_width")(), window.attr("winfo_height")());
  // Above the main window, which every Apply lifts: on X11 a window shown
  // again keeps its old place in the stacking order.
  window.attr("lift")();
}
void show_display_window() { show_tool_window(display_window); }
void show_metric_window() { show_tool_window(metric_window); }
void hide_metric_window() { metric_window.attr("wm_withdraw")(); }
void show_toggle_window() { show_tool_window(toggle_window); }
void hide_toggle_window() { toggle_window.attr("wm_withdraw")(); }

void build_metric_window() {
  metric_window = Tk("Toplevel")(root);
  metric_window.attr("wm_withdraw")();
  metric_window.attr("title")("Metric");
  metric_window.attr("configure")("bd"_a = bd_window, "bg"_a = bg_scheme, "relief"_a = "ridge");
  metric_window.attr("resizable")(0, 0);
  metric_window.attr("protocol")("WM_DELETE_WINDOW", metric_window.attr("wm_withdraw"));
  int rows[][2] = {{1, 10}, {3, 0}, {5, 20}, {7, 10}};
  for (auto& r : rows) metric_window.attr("grid_rowconfigure")(r[0], "minsize"_a = r[1]);
  int cols[][2] = {{1, 10}, {3, 20}, {5, 10}};
  for (auto& c : cols) metric_window.attr("grid_columnconfigure")(c[0], "minsize"_a = c[1]);

  apply_metric_button = Tk("Button")(metric_window, "text"_a = "Apply", "font"_a = button_font,
                                     "command"_a = py::cpp_function([] { apply_metric(); }));
  style_button(apply_metric_button, 10);
  apply_metric_button.attr("grid")("row"_a = 6, "column"_a = 2, "columnspan"_a = 3, "sticky"_a = "n");
  dist_calc_label = label(metric_window, "Metric");
  dist_calc_label.attr("grid")("row"_a = 2, "column"_a = 2);
  dist_calc_variable = Tk("StringVar")(metric_window);
  dist_calc_variable.attr("set")(DIST_CALC_OPTIONS.at(static_cast<size_t>(distCalcMode)));
  dist_calc_menu = option_menu(metric_window, dist_calc_variable, DIST_CALC_OPTIONS,
                               py::cpp_function([](py::object v) { set_distCalcMode(v); }));
  dist_calc_menu.attr("grid")("row"_a = 4, "column"_a = 2, "sticky"_a = "s");
  ind_percent_variable = Tk("IntVar")(metric_window);
  ind_percent_label = label(metric_window, "Independence factor");
  ind_percent_label.attr("grid")("row"_a = 2, "column"_a = 4);
  ind_percent_slider = Tk("Scale")(
      metric_window, "variable"_a = ind_percent_variable, "from_"_a = 0, "to"_a = 100, "orient"_a = "horizontal",
      "bg"_a = bg_scheme, "fg"_a = tkscheme, "bd"_a = 4, "troughcolor"_a = bg_scheme, "length"_a = 160,
      "width"_a = 10, "sliderlength"_a = 16, "showvalue"_a = 1, "highlightbackground"_a = bg_scheme,
      "relief"_a = "flat", "font"_a = text_font);
  ind_percent_slider.attr("grid")("row"_a = 4, "column"_a = 4, "padx"_a = 0, "pady"_a = 0, "sticky"_a = "w");
  ind_percent_variable.attr("set")(static_cast<int>(std::trunc((1 - indPercent) * 100)));
}

void build_confirm_window() {
  cpop_time = 120;
  graph_suspended = false;
  cpop = Tk("Toplevel")(root);
  cpop.attr("wm_withdraw")();
  cpop.attr("overrideredirect")(1);
  cpop.attr("resizable")(0, 0);
  cpop.attr("protocol")("WM_DELETE_WINDOW", py::cpp_function([] { revert_settings(); }));
  cpop.attr("configure")("bg"_a = bg_scheme, "bd"_a = bd_two, "relief"_a = "ridge");
  cpop.attr("title")("Confirm changes");
  cpop.attr("bind")("<Escape>", py::cpp_function([](py::object) { revert_settings(); }));
  cpl1 = label(cpop, "Click OK to confirm changes");
  cpl1.attr("grid")("row"_a = 1, "column"_a = 1, "columnspan"_a = 2, "padx"_a = 10, "pady"_a = 10, "sticky"_a = "n");
  ok_button = Tk("Button")(cpop, "text"_a = "OK", "font"_a = button_font, "takefocus"_a = tkinter().attr("OFF"),
                           "command"_a = py::cpp_function([] { end_confirm_countdown(); }));
  style_button(ok_button, 6);
  ok_button.attr("grid")("row"_a = 2, "column"_a = 1, "padx"_a = 6, "pady"_a = 10, "sticky"_a = "e");
  cancel_button = Tk("Button")(cpop, "text"_a = "Cancel", "font"_a = button_font,
                               "takefocus"_a = tkinter().attr("OFF"),
                               "command"_a = py::cpp_function([] { revert_settings(); }));
  style_button(cancel_button, 6);
  cancel_button.attr("grid")("row"_a = 2, "column"_a = 2, "padx"_a = 6, "pady"_a = 10, "sticky"_a = "w");
  cpl2 = label(cpop, countdown_text(cpop_time * 10));
  cpl2.attr("grid")("row"_a = 3, "column"_a = 1, "columnspan"_a = 2, "padx"_a = 10, "pady"_a = 10, "sticky"_a = "n");
}

void build_display_window() {
  display_window = Tk("Toplevel")(root);
  display_window.attr("wm_withdraw")();
  display_window.attr("title")("Display Settings");
  display_window.attr("configure")("bd"_a = bd_window, "bg"_a = bg_scheme, "relief"_a = "ridge");
  display_window.attr("resizable")(0, 0);
  display_window.attr("protocol")("WM_DELETE_WINDOW", display_window.attr("wm_withdraw"));
  for (int i : {0, 7}) {
    display_window.attr("grid_columnconfigure")(i, "minsize"_a = 20);
    display_window.attr("grid_rowconfigure")(i, "minsize"_a = 20);
  }
  py::cpp_function on_change([](py::object v) { display_speed(v); });
  frame_slider = slider("Rate", 1, 5, 1, 128, on_change);
  sample_slider = slider("Smoothness", 1, 5, 1, 128, on_change);
  gui_scale_slider = slider("Text scaling", 25, 250, 25, 192, py::none());
  frame_slider.attr("grid")("row"_a = 3, "column"_a = 1, "columnspan"_a = 3, "padx"_a = 20, "pady"_a = 10,
                            "sticky"_a = "n");
  frame_slider.attr("set")(fslider);
  sample_slider.attr("grid")("row"_a = 3, "column"_a = 4, "columnspan"_a = 3, "padx"_a = 20, "pady"_a = 10,
                             "sticky"_a = "n");
  sample_slider.attr("set")(sslider);
  gui_scale_slider.attr("grid")("row"_a = 5, "column"_a = 1, "columnspan"_a = 6, "padx"_a = 20, "pady"_a = 10,
                                "sticky"_a = "n");
  gui_scale_slider.attr("set")(gui_scaling_factor);
  gui_scale_slider.attr("bind")("<ButtonRelease-1>", py::cpp_function([](py::object e) { gui_scaling(e); }));
}

std::string get_tog_key_string() {
  if (toggleKey == 0) return "";
  auto it = key_binds_dict.find(toggleKey);
  return it == key_binds_dict.end() ? "" : it->second;
}

void build_toggle_window() {
  temp_toggleKey = 0;
  toggle_window = Tk("Toplevel")(root);
  toggle_window.attr("wm_withdraw")();
  toggle_window.attr("title")("Sensitivity toggle");
  toggle_window.attr("configure")("bd"_a = bd_window, "bg"_a = bg_scheme, "relief"_a = "ridge");
  toggle_window.attr("resizable")(0, 0);
  toggle_window.attr("protocol")("WM_DELETE_WINDOW", py::cpp_function([] { hide_toggle_window(); }));
  for (int r : {0, 4, 7, 10}) toggle_window.attr("grid_rowconfigure")(r, "minsize"_a = 20);
  for (int c : {0, 4}) toggle_window.attr("grid_columnconfigure")(c, "minsize"_a = 40);
  tmm_variable = Tk("StringVar")(toggle_window);
  tmm_variable.attr("set")(MODE_OPTIONS.at(static_cast<size_t>(toggleMode)));
  tbm_variable = Tk("StringVar")(toggle_window);
  tbm_variable.attr("set")(BUTTON_OPTIONS.at(static_cast<size_t>(toggleButton)));

  auto place = [](py::object& w, int row, int col, int span, py::dict extra) {
    py::dict kw("row"_a = row, "column"_a = col, "columnspan"_a = span, "sticky"_a = "n");
    for (auto kv : extra) kw[kv.first] = kv.second;
    w.attr("grid")(**kw);
  };
  tog_mode_label = label(toggle_window, "Mode");
  place(tog_mode_label, 2, 1, 1, py::dict("pady"_a = 2));
  tog_mode_menu = option_menu(toggle_window, tmm_variable, MODE_OPTIONS);
  place(tog_mode_menu, 3, 1, 1, py::dict());
  tog_button_label = label(toggle_window, "Button");
  place(tog_button_label, 2, 3, 1, py::dict("pady"_a = 2));
  tog_button_menu = option_menu(toggle_window, tbm_variable, BUTTON_OPTIONS);
  place(tog_button_menu, 3, 3, 1, py::dict());
  tog_key_label = label(toggle_window, "Key");
  place(tog_key_label, 5, 1, 3, py::dict("pady"_a = 2, "sticky"_a = "s"));
  tog_key_entry = entry(toggle_window);
  tog_key_entry.attr("insert")(0, get_tog_key_string());
  tog_key_entry.attr("configure")("state"_a = "readonly");
  place(tog_key_entry, 6, 1, 3, py::dict("padx"_a = 6, "pady"_a = 0));
  tog_sensX_label = label(toggle_window, "Horizontal");
  place(tog_sensX_label, 8, 1, 1, py::dict("pady"_a = 2));
  py::tuple vcmd = py::make_tuple(validate_entry_neg, "%S");
  toggle_sensX_entry = entry(toggle_window);
  toggle_sensX_entry.attr("configure")("validate"_a = "key", "validatecommand"_a = vcmd);
  set_validated_entry_text(toggle_sensX_entry, sens_entry_text(toggleSensX));
  place(toggle_sensX_entry, 9, 1, 1, py::dict("padx"_a = 6, "pady"_a = 0));
  tog_sensY_label = label(toggle_window, "Vertical");
  place(tog_sensY_label, 8, 3, 1, py::dict("pady"_a = 2));
  toggle_sensY_entry = entry(toggle_window);
  toggle_sensY_entry.attr("configure")("validate"_a = "key", "validatecommand"_a = vcmd);
  set_validated_entry_text(toggle_sensY_entry, sens_entry_text(toggleSensY));
  place(toggle_sensY_entry, 9, 3, 1, py::dict("padx"_a = 6, "pady"_a = 0));
  toggle_sens_button = Tk("Button")(toggle_window, "text"_a = "Save changes", "font"_a = button_font,
                                    "command"_a = py::cpp_function([] { set_toggle_sens(); }));
  style_button(toggle_sens_button, 12);
  place(toggle_sens_button, 11, 1, 3, py::dict("pady"_a = 16));
}

void build_link_windows() {
  // The option variables every Apply reads; the Options menu takes them
  // over when it is built.
  if (!use_dpu || use_dpu.is_none()) use_dpu = Tk("BooleanVar")("value"_a = maxFrameTime == 1);
  if (!pitch_var || pitch_var.is_none()) pitch_var = Tk("BooleanVar")("value"_a = active_pitch < 0);
  build_metric_window();
  build_help_windows();
  build_confirm_window();
  build_dpi_window();
  build_display_window();
  build_toggle_window();
  apply_button.attr("configure")("command"_a = py::cpp_function([] { pressed_apply(); }));
}

void gui_scaling(py::handle) {
  gui_scaling_factor = py::int_(gui_scale_slider.attr("get")()).cast<int>();
  root.attr("after")(20, py::cpp_function([] { show_gui_scaling_message(); }));
}

void show_gui_scaling_message() {
  dialogs::show_info("Restart required", "You must restart the GUI for these changes to take effect.",
                     display_window);
}

void set_toggle_sens() { apply_changes(); }

void set_distCalcMode(py::handle mode) {
  distCalcMode = 0;
  if (!py::isinstance<py::str>(mode)) return;
  std::string m = mode.cast<std::string>();
  for (size_t i = 0; i < DIST_CALC_OPTIONS.size(); ++i) {
    if (m == DIST_CALC_OPTIONS[i]) distCalcMode = static_cast<int>(i);
  }
}

void set_indPercent(py::handle percent) {
  indPercent = (100 - py::float_(py::reinterpret_borrow<py::object>(percent)).cast<double>()) / 100;
}

void apply_metric() {
  // A second change while one is pending would replace its undo snapshot.
  if (graph_suspended) return;
  applied_with_metric = 1;
  lock_profiles();
  save_state();
  set_distCalcMode(dist_calc_variable.attr("get")());
  set_indPercent(ind_percent_variable.attr("get")());
  send_applied_curve();
  suspend();
  wait_for_driver(35);
}

}  // namespace arcflex
