// Module state of the editor: every module-level variable under its own
// name, grouped by the part of the editor that owns it. Python objects held
// here are released by clear_python_state() before the interpreter ends.
#pragma once

#include "pyrt.h"

namespace arcflex {

// ---- curve model -----------------------------------------------------------

// ---- settings and files ----------------------------------------------------

// ---- start-up, process and window ------------------------------------------

// ---- graph view ------------------------------------------------------------

// ---- meter link and apply cycle --------------------------------------------

// ---- curve tools -----------------------------------------------------------

// ---- appearance and tool windows -------------------------------------------

}  // namespace arcflex
