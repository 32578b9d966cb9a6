// Module state of the meter link and the apply cycle that needs more than a
// plain value: the meter process, the reader thread and its queue, the
// confirm, Display, Metric and Sensitivity toggle windows with their
// variables, and the update loop's period. Included from state.h; every
// py::object here is dropped by release_link_objects().
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <platform/process.h>

#include "pyrt.h"

namespace arcflex {

// Unbounded FIFO between the reader thread (only producer) and the update
// loop (only consumer). Plain C++: the reader never needs the interpreter.
class SpeedQueue {
 public:
  void put(double item) {
    std::lock_guard<std::mutex> lock(m_);
    items_.push_back(item);
  }
  bool empty() {
    std::lock_guard<std::mutex> lock(m_);
    return items_.empty();
  }
  // Only called after empty() returned false on the consumer side.
  double get_nowait() {
    std::lock_guard<std::mutex> lock(m_);
    double v = items_.front();
    items_.pop_front();
    return v;
  }
  void clear() {
    std::lock_guard<std::mutex> lock(m_);
    items_.clear();
  }

 private:
  std::mutex m_;
  std::deque<double> items_;
};

// The running meter; shared with the reader thread, which keeps its own
// reference, so a reader detached at exit never sees it destroyed.
inline std::shared_ptr<afp::ChildProcess> proc;
// The reader thread; thrd1_done is set as its last step, so the exit can
// wait for it with a time limit and then detach it.
// What the reader uses is never destroyed: a reader detached at exit may
// still put a late line in the queue after the import has returned and the
// process's static destructors run.
inline std::thread thrd1;
inline std::atomic<bool> thrd1_done{true};
inline std::mutex& thrd1_mutex = *new std::mutex;
inline std::condition_variable& thrd1_cv = *new std::condition_variable;
inline SpeedQueue& q = *new SpeedQueue;

// The meter's output ended without an exit request. The reader thread has
// ended the meter and read its exit code (meter_exit_code, -1 when there
// was no meter or no code) and hands the rest, which needs Tk, to the GUI
// thread: the update loop's next tick shows the boxes and ends the process.
inline std::atomic<bool> meter_dead{false};
inline std::atomic<int> meter_exit_code{-1};

// Optional hook other parts of the editor set: the Shift-scaling snapshot
// of the graph.
inline void (*scale_snapshot_hook)() = nullptr;

// false: start_sub starts no meter and no reader thread, only the update
// loop; for tests of the interface that run without a meter and driver.
inline bool meter_enabled = true;

// Update loop period (ms) and averaging window (ticks), set by display_speed.
inline int framerate = 6, samplerate = 6;

// Confirm window.
inline int cpop_time = 120;
inline py::object cpop, cpl1, cpl2, ok_button, cancel_button;

// The menu bar of the main window with its cascades, and the two right-click
// pop-up menus (None until they are built), and the Display Settings window.
inline py::object menubar, fileMenu, editMenu, optionsMenu, presetsMenu, helpMenu, apopup, dpopup;
inline py::object af3_icon;
inline py::object display_window;

// Metric window.
inline py::object metric_window, apply_metric_button, dist_calc_label, dist_calc_variable, dist_calc_menu;
inline py::object ind_percent_variable, ind_percent_label, ind_percent_slider;
inline const std::vector<std::string> DIST_CALC_OPTIONS{"Independent", "Euclidean", "Taxicab"};

// Sensitivity toggle window.
inline int temp_toggleKey = 0;
inline py::object toggle_window, tmm_variable, tbm_variable;
inline py::object tog_mode_label, tog_mode_menu, tog_button_label, tog_button_menu, tog_key_label, tog_key_entry;
inline py::object tog_sensX_label, toggle_sensX_entry, tog_sensY_label, toggle_sensY_entry, toggle_sens_button;
inline const std::vector<std::string> MODE_OPTIONS{"Disabled", "Hold", "Toggle"};
inline const std::vector<std::string> BUTTON_OPTIONS{"---", "Mouse 1", "Mouse 2", "Mouse 3", "Mouse 4", "Mouse 5"};

// Check-button variables of the Options menu (None until the menu exists).
inline py::object zoom_to_loc, hover_point_values;

inline void release_link_objects() {
  for (py::object* o : {&cpop, &cpl1, &cpl2, &ok_button, &cancel_button, &menubar, &fileMenu, &editMenu,
                        &optionsMenu, &presetsMenu, &helpMenu, &apopup, &dpopup, &af3_icon, &display_window,
                        &metric_window, &apply_metric_button, &dist_calc_label, &dist_calc_variable,
                        &dist_calc_menu, &ind_percent_variable, &ind_percent_label, &ind_percent_slider,
                        &toggle_window, &tmm_variable, &tbm_variable, &tog_mode_label, &tog_mode_menu,
                        &tog_button_label, &tog_button_menu, &tog_key_label, &tog_key_entry, &tog_sensX_label,
                        &toggle_sensX_entry, &tog_sensY_label, &toggle_sensY_entry, &toggle_sens_button,
                        &zoom_to_loc, &hover_point_values}) {
    *o = py::object();
  }
}

}  // namespace arcflex
