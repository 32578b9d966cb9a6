// The ArcflexLE extension module: importing it runs the editor until its
// main window closes.
#include <pybind11/pybind11.h>

#include "editor.h"

PYBIND11_MODULE(ArcflexLE, m) {
  (void)m;
  arcflex::start_editor();
  arcflex::run_mainloop();
}
