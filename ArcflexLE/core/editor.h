// Entry points of the editor: what importing ArcflexLE runs.
#pragma once

namespace arcflex {

// Runs the start-up sequence up to (not into) the Tk main loop. Tests call
// this and then drive Tk with root.update().
void start_editor();

// Enters the Tk main loop; returns when the main window has closed, after
// every Python object held in module state has been released.
void run_mainloop();

// Releases every Python object held in module state.
void clear_python_state();

}  // namespace arcflex
