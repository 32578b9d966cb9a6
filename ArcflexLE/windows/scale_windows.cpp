#include "scale_windows.h"

#include <cmath>

#include "appearance.h"
#include "dialogs.h"
#include "link_windows.h"
#include "scale_tools.h"
#include "state.h"
#include "state_scale.h"
#include "widgets.h"

namespace arcflex {

using namespace py::literals;

namespace {

py::object Tk(const char* cls) { return tk_class(cls); }

py::object label(py::handle parent, const std::string& text) { return scheme_label(parent, text); }

// A number entry of the tool windows: the shared entry colours, keys
// limited to "0123456789.e".
py::object number_entry(py::handle parent, int width) {
  py::object e = scheme_entry(parent, width);
  e.attr("configure")("validate"_a = "key", "validatecommand"_a = py::make_tuple(validate_entry, "%S"));
  return e;
}

py::object tool_button(py::handle parent, const std::string& text, py::cpp_function command) {
  return Tk("Button")(parent, "text"_a = text, "font"_a = button_font, "command"_a = command);
}


void place(py::object& w, int row, int column, int span, int padx, int pady) {
  w.attr("grid")("row"_a = row, "column"_a = column, "columnspan"_a = span, "padx"_a = padx, "pady"_a = pady,
                 "sticky"_a = "n");
}

int pointer(const char* axis) { return root.attr(axis)().cast<int>(); }

void select_all(py::handle entry) { entry.attr("select_range")(0, "end"); }

}  // namespace

std::string position_text(int x, int y) { return "+" + std::to_string(x) + "+" + std::to_string(y); }

void build_tip_and_scale_windows() {
  tts = py::none();
  tt_window = Tk("Toplevel")(root, "takefocus"_a = 0);
  tt_window.attr("wm_withdraw")();
  tt_window.attr("wm_overrideredirect")(1);
  tt_window.attr("bind")("<Leave>", py::cpp_function([](py::object e) { tt_leave(e); }));
  tt_label = Tk("Label")(tt_window, "text"_a = "", "background"_a = "#ffffe0", "relief"_a = "solid",
                         "borderwidth"_a = bd_one, "padx"_a = 8, "pady"_a = 2, "font"_a = scale_button_font);
  tt_label.attr("pack")();

  scale_window = Tk("Toplevel")(root);
  scale_window.attr("wm_withdraw")();
  scale_window.attr("title")("Scaling Percentage");
  scale_window.attr("configure")("bd"_a = 0, "bg"_a = bg_scheme, "relief"_a = "ridge");
  scale_window.attr("wm_overrideredirect")(1);
  scale_window.attr("resizable")(0, 0);
  scale_window.attr("protocol")("WM_DELETE_WINDOW", scale_window.attr("wm_withdraw"));
  scale_percent_label = label(scale_window, "Scale\nFactor");
  scale_percent_label.attr("grid")("row"_a = 2, "column"_a = 2);
  scale_entry = number_entry(scale_window, 4);
  scale_entry.attr("grid")("row"_a = 4, "column"_a = 2, "padx"_a = 2, "pady"_a = 2);
  scale_entry.attr("insert")(0, py_repr(py::float_(scale_factor)));

  rxframe.attr("grid_columnconfigure")(1, "minsize"_a = 16);
  rxframe.attr("grid_columnconfigure")(4, "minsize"_a = 8);
  rxframe.attr("grid_rowconfigure")(4, "minsize"_a = 12);
  ryframe.attr("grid_rowconfigure")(1, "minsize"_a = 10);
  ryframe.attr("grid_rowconfigure")(4, "minsize"_a = 8);
  auto scale_button_in = [](py::handle frame, const char* text) {
    return Tk("Button")(frame, "text"_a = text, "takefocus"_a = 0, "font"_a = scale_button_font);
  };
  scale_x_up_button = scale_button_in(rxframe, "+");
  scale_x_down_button = scale_button_in(rxframe, "-");
  scale_y_up_button = scale_button_in(ryframe, "+");
  scale_y_down_button = scale_button_in(ryframe, "-");
}

void build_dpi_window() {
  dpi_window = Tk("Toplevel")(root);
  dpi_window.attr("wm_withdraw")();
  dpi_window.attr("title")("DPI & Scaling");
  dpi_window.attr("configure")("bd"_a = bd_window, "bg"_a = bg_scheme, "relief"_a = "ridge");
  dpi_window.attr("resizable")(0, 0);
  dpi_window.attr("protocol")("WM_DELETE_WINDOW", py::cpp_function([] { hide_dpi_window(); }));
  for (int r : {0, 6}) dpi_window.attr("grid_rowconfigure")(r, "minsize"_a = 20);
  for (int c : {0, 4, 8}) dpi_window.attr("grid_columnconfigure")(c, "minsize"_a = 40);

  old_dpi_label = label(dpi_window, "Old DPI");
  place(old_dpi_label, 1, 1, 2, 10, 10);
  old_dpi_entry = number_entry(dpi_window, 10);
  place(old_dpi_entry, 1, 3, 1, 6, 6);
  new_dpi_label = label(dpi_window, "New DPI");
  place(new_dpi_label, 2, 1, 2, 10, 10);
  new_dpi_entry = number_entry(dpi_window, 10);
  place(new_dpi_entry, 2, 3, 1, 6, 6);
  convert_button = tool_button(dpi_window, "Convert", py::cpp_function([] { convert_dpi(); }));
  place(convert_button, 3, 3, 1, 6, 10);
  style_button(convert_button, 10);

  scale_x_label = label(dpi_window, "X");
  place(scale_x_label, 1, 5, 2, 10, 10);
  scale_x_entry = number_entry(dpi_window, 10);
  place(scale_x_entry, 1, 7, 1, 6, 6);
  scale_y_label = label(dpi_window, "Y");
  place(scale_y_label, 2, 5, 2, 10, 10);
  scale_y_entry = number_entry(dpi_window, 10);
  place(scale_y_entry, 2, 7, 1, 6, 6);
  scale_button = tool_button(dpi_window, "Scale", py::cpp_function([] { scale_curve(); }));
  place(scale_button, 3, 7, 1, 6, 10);
  style_button(scale_button, 10);
}

// ---- tooltip ----------------------------------------------------------------

void tt_enter(py::handle, const std::string& message) {
  tt_label.attr("configure")("text"_a = message);
  if (py::str(tt_window.attr("state")()).cast<std::string>() != "withdrawn") return;
  // Only the newest showing may stay pending: an older one would show the
  // tip after the pointer has left.
  if (tts && !tts.is_none()) tt_window.attr("after_cancel")(tts);
  tts = tt_window.attr("after")(1000, py::cpp_function([] { show_tip(); }));
}

void show_tip() {
  tt_window.attr("geometry")(position_text(pointer("winfo_pointerx") + 25, pointer("winfo_pointery") + 10));
  tt_window.attr("wm_deiconify")();
  // Above the main window: with no window manager a new mapping stays
  // below the windows that were lifted before it.
  tt_window.attr("lift")();
}

void tt_leave(py::handle) {
  tt_window.attr("wm_withdraw")();
  if (tts && !tts.is_none()) tt_window.attr("after_cancel")(tts);
}

// ---- Scaling Percentage window ----------------------------------------------

void show_scale_window(py::handle) {
  scale_entry.attr("xview_moveto")(0);
  scale_window.attr("update")();
  scale_window.attr("minsize")(scale_window.attr("winfo_width")(), scale_window.attr("winfo_height")());
  scale_window.attr("geometry")(position_text(pointer("winfo_pointerx") + 20, pointer("winfo_pointery")));
  scale_window.attr("wm_deiconify")();
  scale_window.attr("lift")();
  scale_window.attr("focus_force")();
}

void hide_scale_window(py::handle) {
  unlock_profiles();
  scale_entry.attr("xview_moveto")(0);
  rframe.attr("focus")();
  const double fallback = 1.04;
  auto reset_entry = [fallback] {
    scale_entry.attr("delete")(0, "end");
    scale_entry.attr("insert")(0, py_repr(py::float_(fallback)));
  };
  std::optional<double> num = decimal_value(py::str(scale_entry.attr("get")()).cast<std::string>());
  if (!num || !std::isfinite(*num)) {
    num = fallback;
    reset_entry();
  } else if (*num <= 1) {
    num = fallback;
    reset_entry();
    dialogs::show_error("Invalid value", "Scale factor must be greater than 1", root);
  }
  scale_factor = *num;
  scale_window.attr("wm_withdraw")();
}

void scale_entry_focus_in(py::handle) {
  lock_profiles();
  select_all(scale_entry);
}

// ---- DPI & Scaling window ---------------------------------------------------

void show_dpi_window() { show_tool_window(dpi_window); }
void hide_dpi_window() { dpi_window.attr("wm_withdraw")(); }

void old_dpi_entry_focus_in(py::handle) {
  lock_profiles();
  select_all(old_dpi_entry);
}
void new_dpi_entry_focus_in(py::handle) {
  lock_profiles();
  select_all(new_dpi_entry);
}
void dpi_entries_focus_out(py::handle) {
  unlock_profiles();
  old_dpi_entry.attr("xview_moveto")(0);
  new_dpi_entry.attr("xview_moveto")(0);
}
void dpi_entries_return(py::handle) { dpi_window.attr("focus")(); }

void scale_x_entry_focus_in(py::handle) {
  lock_profiles();
  select_all(scale_x_entry);
}
void scale_y_entry_focus_in(py::handle) {
  lock_profiles();
  select_all(scale_y_entry);
}
void scale_xy_entries_focus_out(py::handle) {
  unlock_profiles();
  scale_x_entry.attr("xview_moveto")(0);
  scale_y_entry.attr("xview_moveto")(0);
}
void scale_xy_entries_return(py::handle) { dpi_window.attr("focus")(); }

}  // namespace arcflex
