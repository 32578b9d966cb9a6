#include "editor.h"

#include "pyrt.h"
#include "state_defaults.h"

namespace arcflex {

void start_editor() {}

void run_mainloop() { clear_python_state(); }

void clear_python_state() {
  release_state_objects();
  release_runtime_refs();
}

}  // namespace arcflex
