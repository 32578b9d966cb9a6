// Module state of the editor's run-time guards: the meter's unanswered
// loads, a running uninstall, and whether the editor is live in this process.
#pragma once

#include <atomic>

namespace arcflex {

// "load" commands sent to the meter that it has not answered yet (with
// "-99 -99" or "-77 -77"). The meter answers each load once, in order, so
// only the answer that brings this to 0 is the answer to the latest load:
// an earlier one arriving late confirms nothing.
inline int pending_loads = 0;

// Every "load" that reached the meter's pipe, and every answer to one that
// the reader thread has seen; an exit waits for the one to catch up with
// the other before it lets the meter go (the reader notifies thrd1_cv).
inline std::atomic<int> loads_sent{0};
inline std::atomic<int> load_answers{0};
// The number (as loads_sent counts) of the latest load that takes a change
// back from the driver, 0 for none; and of the latest load the meter
// answered with "-99 -99" (applied). An exit with the one past the other
// tells the user that the driver may still hold the unconfirmed change.
inline std::atomic<int> take_back_load{0};
inline std::atomic<int> applied_load{0};
// The latest load the meter answered with "-77 -77" (refused), 0 for none;
// and whether a take-back was written to "p.dat" with no meter to load it.
inline std::atomic<int> refused_load{0};
inline std::atomic<bool> take_back_lost{false};

// True while an installer started by "Uninstall driver" still runs.
inline bool uninstall_running = false;

// True from the start of the editor until its Python objects are released;
// while it holds, an exit() from inside a library (Xlib on a lost display or
// a destroyed main window) ends the process at once instead of running the
// static destructors.
inline std::atomic<bool> editor_live{false};

}  // namespace arcflex
