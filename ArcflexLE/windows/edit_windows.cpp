#include "edit_windows.h"

#include <string>

#include "appearance.h"
#include "graph_edit.h"
#include "key_input.h"
#include "points.h"
#include "state.h"

namespace arcflex {

using namespace py::literals;

namespace {

py::object popup_window(const std::string& title, const std::string& bg) {
  py::object w = tkinter().attr("Toplevel")(root);
  w.attr("withdraw")();
  w.attr("title")(title);
  w.attr("configure")("bd"_a = 0, "bg"_a = bg);
  w.attr("overrideredirect")(1);
  w.attr("resizable")(false, false);
  return w;
}

py::object popup_frame(const py::object& w) {
  py::object f = tkinter().attr("Frame")(w);
  f.attr("pack")("expand"_a = 1, "fill"_a = "none");
  f.attr("configure")("bg"_a = "#777", "bd"_a = bd_one);
  return f;
}

py::object popup_button(const py::object& frame, const std::string& text, py::cpp_function command, int row,
                        py::object* self) {
  py::object b = tkinter().attr("Button")(frame, "text"_a = text, "command"_a = command, "takefocus"_a = 0,
                                          "font"_a = button_font);
  b.attr("grid")("row"_a = row, "column"_a = 0, "padx"_a = 0, "pady"_a = 0, "ipadx"_a = 6, "ipady"_a = 6);
  b.attr("configure")("width"_a = 16, "height"_a = 1, "bd"_a = 0, "bg"_a = bg_scheme, "fg"_a = tkscheme,
                      "activebackground"_a = abg_scheme, "activeforeground"_a = tkscheme);
  b.attr("bind")("<Enter>", py::cpp_function([self](py::object) { self->attr("configure")("bg"_a = "#333"); }));
  b.attr("bind")("<Leave>", py::cpp_function([self](py::object) { self->attr("configure")("bg"_a = bg_scheme); }));
  return b;
}

void hide_marker() {
  edit_marker.attr("set_visible")(false);
  edit_marker_text.attr("set_visible")(false);
}

}  // namespace

void build_point_windows() {
  add_window = popup_window("Add Point", bg_scheme);
  add_window.attr("protocol")("WM_DELETE_WINDOW", py::cpp_function([] { hide_add_window(); }));
  add_window_frame = popup_frame(add_window);
  add_point_button = popup_button(add_window_frame, "Add point", py::cpp_function([] { add_point(gevent, 0); }), 0,
                                  &add_point_button);
  add_edge_button = popup_button(add_window_frame, "Add edge point",
                                 py::cpp_function([] { add_point(gevent, 1); }), 1, &add_edge_button);

  edit_window = popup_window("Point Coordinates", "black");
  edit_window.attr("protocol")("WM_DELETE_WINDOW", py::cpp_function([] { hide_edit_window(); }));
  edit_window.attr("bind")("<KeyRelease>", py::cpp_function([](py::object e) { on_tk_key_release(e); }));
  // Its presses act on nothing, but tell the repeat filter which releases
  // belong to a held key.
  edit_window.attr("bind")("<KeyPress>", py::cpp_function([](py::object e) { note_key_press(e); }));
  try {
    edit_window.attr("attributes")("-transparentcolor", "black");
  } catch (py::error_already_set&) {
    // Only Windows' Tk knows a transparent colour.
  }
  edit_window_frame = popup_frame(edit_window);
  delete_button = popup_button(edit_window_frame, "Delete", py::cpp_function([] { del_point(); }), 0, &delete_button);
}

void release_point_windows() {
  for (py::object* o : {&add_window, &add_window_frame, &add_point_button, &add_edge_button, &edit_window,
                        &edit_window_frame, &delete_button})
    *o = py::object();
}

void show_add_window() {
  add_window.attr("update")();
  add_window.attr("minsize")(add_window.attr("winfo_width")(), add_window.attr("winfo_height")());
  int px = root.attr("winfo_pointerx")().cast<int>() + 2;
  int py_ = root.attr("winfo_pointery")().cast<int>();
  add_window.attr("geometry")("+" + std::to_string(px) + "+" + std::to_string(py_));
  add_window.attr("wm_deiconify")();
  // Without a window manager nothing else puts it above the main window
  // (which every Apply lifts).
  add_window.attr("lift")();
  add_window.attr("focus_force")();
  hide_marker();
}

void hide_add_window(py::handle) {
  if (rframe) rframe.attr("focus")();
  if (add_window) add_window.attr("wm_withdraw")();
}

void show_edit_window(int x, int y) {
  if (numverts <= minverts) return;
  edit_window.attr("update")();
  edit_window.attr("minsize")(edit_window.attr("winfo_width")(), edit_window.attr("winfo_height")());
  edit_window.attr("geometry")("+" + std::to_string(x + 8) + "+" + std::to_string(y + 4));
  edit_window.attr("wm_deiconify")();
  edit_window.attr("lift")();
  edit_window.attr("focus_force")();
  hide_marker();
}

void hide_edit_window(py::handle) {
  unlock_profiles();
  if (rframe) rframe.attr("focus")();
  if (edit_window) edit_window.attr("wm_withdraw")();
}

}  // namespace arcflex
