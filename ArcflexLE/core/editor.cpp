#include "editor.h"

#include "edit_windows.h"

#include "pyrt.h"
#include "runtime_guard.h"
#include "speed_display.h"
#include "startup.h"
#include "state.h"
#include "state_help.h"
#include "state_scale.h"
#include "state_defaults.h"
#include "state_profiles.h"

namespace arcflex {

void start_editor() {
  guard_process_end();
  try {
    run_startup();
  } catch (...) {
    // The failure reaches the importer; nothing of ours may outlive the
    // interpreter.
    clear_python_state();
    throw;
  }
}

void run_mainloop() {
  if (root) root.attr("mainloop")();
  clear_python_state();
  end_if_closed_from_outside();
}

void clear_python_state() {
  release_point_windows();
  release_gui_objects();
  release_speed_display();
  release_link_objects();
  release_help_objects();
  release_profile_objects();
  release_scale_objects();
  release_state_objects();
  release_runtime_refs();
  editor_released();
}

}  // namespace arcflex
