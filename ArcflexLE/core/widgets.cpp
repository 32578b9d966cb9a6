#include "widgets.h"

#include "state.h"

namespace arcflex {

using namespace py::literals;

py::object tk_class(const char* name) { return tkinter().attr(name); }

py::object scheme_label(py::handle parent, const std::string& text) {
  return tk_class("Label")(parent, "text"_a = text, "bg"_a = bg_scheme, "fg"_a = tkscheme, "font"_a = text_font);
}

py::object scheme_entry(py::handle parent, int width) {
  return tk_class("Entry")(parent, "bd"_a = bd_four, "fg"_a = entry_fg, "bg"_a = entry_bg,
                           "disabledforeground"_a = entry_disabled_fg, "font"_a = entry_font,
                           "disabledbackground"_a = entry_disabled_bg, "insertbackground"_a = entry_cursor,
                           "selectbackground"_a = entry_sbg, "selectforeground"_a = entry_sfg,
                           "readonlybackground"_a = entry_bg, "width"_a = width);
}

void style_button(py::handle button, int width) {
  button.attr("configure")("width"_a = width, "bd"_a = bd_four, "bg"_a = bg_scheme, "fg"_a = tkscheme,
                           "activebackground"_a = abg_scheme, "activeforeground"_a = tkscheme);
}

}  // namespace arcflex
