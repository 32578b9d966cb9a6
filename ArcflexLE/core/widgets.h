// The tool windows' widgets in the editor's shared styles: a label, a
// number entry and a button take their colours and fonts from the scheme.
#pragma once

#include <string>

#include "pyrt.h"

namespace arcflex {

// A tkinter class by name ("Label", "Toplevel", "BooleanVar" ...).
py::object tk_class(const char* name);

// A label in the main colour on the background, in the text font.
py::object scheme_label(py::handle parent, const std::string& text);

// An entry with the entry colours, font and border; `width` in characters.
// A read-only entry keeps the entry background.
py::object scheme_entry(py::handle parent, int width);

// A button's width, border and colours at rest and under the pointer.
void style_button(py::handle button, int width);

}  // namespace arcflex
