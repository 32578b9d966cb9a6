#include "startup.h"

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include <platform/mutex.h>
#include <platform/paths.h>
#include <platform/pipe.h>
#include <platform/process.h>
#include <platform/window_errors.h>

#include "device_windows.h"
#include "dialogs.h"
#include "edit_windows.h"
#include "graph_edit.h"
#include "graph.h"
#include "link_windows.h"
#include "menus.h"
#include "profile_keys.h"
#include "runtime_guard.h"
#include "meter_link.h"
#include "speed_display.h"
#include "scale_windows.h"
#include "settings_files.h"
#include "state.h"
#include "state_defaults.h"
#include "tools.h"
#include "window.h"

namespace arcflex {

namespace fs = std::filesystem;
using namespace py::literals;

namespace {

void step(const char* name) { startup_steps.emplace_back(name); }

// The plotting libraries, with the Tk back end chosen before pyplot loads.
void import_libraries() {
  py::module_::import("copy");
  py::module_::import("numpy");
  py::module_::import("scipy.interpolate");
  py::module_::import("psutil");
  py::module_::import("tkinter");
  py::module_::import("tkinter.messagebox");
  py::module_ matplotlib = py::module_::import("matplotlib");
  matplotlib.attr("use")("TkAgg");
  py::module_::import("matplotlib.pyplot");
  py::module_::import("matplotlib.patches");
  py::module_::import("matplotlib.lines");
  py::module_::import("matplotlib.backends.backend_tkagg");
}

// Whether process p talks to the same pipe and mutex as this editor. On
// Windows these are per session; the Linux layer keeps them in the run-time
// folder named by XDG_RUNTIME_DIR, so a meter started under another one is
// not ours to stop.
bool same_run_folder(py::handle p) {
  if (winui::on_windows()) return true;
  try {
    py::object theirs = p.attr("environ")().attr("get")("XDG_RUNTIME_DIR");
    py::object ours = py::module_::import("os").attr("environ").attr("get")("XDG_RUNTIME_DIR");
    return theirs.equal(ours);
  } catch (py::error_already_set&) {
    return false;  // gone, or its environment cannot be read
  }
}

}  // namespace

std::string meter_process_name() { return afp::executable_name("afmeter"); }

void take_single_instance() {
  bool existed = false;
  mutex = afp::NamedMutex::create_owned("Keep_AF_Alive_Mutex", existed);
  if (existed) afp::hard_exit(1);
  if (!mutex) report_startup_failure(mutex_failure());
}

void make_data_folders() {
  settingsdir = data_folder("Arcflex LE", "settings");
  savesdir = data_folder("Arcflex LE", "profiles");
  if (!fs::exists(settingsdir)) {
    fs::create_directories(settingsdir);
    py::module_::import("af_task").attr("unblock_files")();
  }
  if (!fs::exists(savesdir)) fs::create_directories(savesdir);
}

void stop_leftover_meter() {
  py::module_ psutil = py::module_::import("psutil");
  const std::string name = meter_process_name();
  py::object me = psutil.attr("Process")().attr("username")();
  py::list procs;
  std::vector<std::string> names;
  for (py::handle p : psutil.attr("process_iter")(py::make_tuple("name", "username"))) {
    py::object info = p.attr("info");
    py::object pname = info["name"];
    if (pname.is_none() || pname.cast<std::string>() != name) continue;
    if (!py::object(info["username"]).equal(me)) continue;
    if (!same_run_folder(p)) continue;
    procs.append(p);
  }

  if (py::len(procs) > 0) {
    bool sent = false;
    for (int attempt = 0; attempt < 80 && !sent; ++attempt) {
      sent = afp::pipe_send("Arcflex_Pipe", "quit");
      if (!sent) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!sent) {
      dialogs::show_error("Error", "quit operation timed out.\nYou may need to restart the program.", root);
    }
  }

  py::tuple result = psutil.attr("wait_procs")(procs, "timeout"_a = 2);
  for (py::handle p : result[1]) {
    try {
      p.attr("terminate")();
      p.attr("wait")(2);
    } catch (py::error_already_set& e) {
      // A meter that ended on its own meanwhile is what we wanted.
      if (e.matches(psutil.attr("NoSuchProcess"))) continue;
      std::string pname = py::str(p.attr("info")["name"]).cast<std::string>();
      dialogs::show_error("Error", "Error closing process " + pname + ". Try closing it through the task manager.",
                          root);
      afp::hard_exit(1);
    }
  }
}

void close_on_termination_signals() {
  py::module_ signal = py::module_::import("signal");
  py::cpp_function handler([](py::args) {
    // Python runs this between two steps of whatever the signal interrupted;
    // the close itself runs from the event loop.
    if (!startup_done) {
      // A box of the start-up would hold the close until it is answered;
      // closing it ends the editor with 1, and so does the signal.
      if (dialogs::box_open()) end_editor_at_once(1);
      close_pending = true;
      return;
    }
    // An exit already under way (a second signal, or one during a close)
    // ends at once, without waiting for the driver again.
    if (killed || exit_by_signal()) end_editor_at_once(1, false);
    note_exit_by_signal();
    if (!root || root.is_none()) return;
    root.attr("after_idle")(py::cpp_function([] {
      if (!killed) close_main_window();
    }));
  });
  for (const char* name : {"SIGTERM", "SIGHUP", "SIGINT"}) signal.attr("signal")(signal.attr(name), handler);
}

void put_back_kept_curve() {
  const std::string kept = previous_curve_path();
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(kept, ec))) return;
  try {
    if (fs::is_regular_file(fs::symlink_status(kept, ec)) && curve_file_reads(kept)) {
      put_back_previous_curve();
      step("previous_curve");
    } else {
      set_aside_unconfirmed_curve();
      step("previous_curve_set_aside");
    }
  } catch (FileError& e) {
    // Loading "p.dat" now would upload a change nobody confirmed.
    report_startup_failure(StartupFailure(e.verb(), e.path(), e.reason()));
  }
}

void run_startup() {
  startup_steps.clear();
  startup_done = false;
  close_pending = false;
  // A second editor must leave before it loads or touches anything.
  take_single_instance();
  step("single_instance");

  import_libraries();
  py::module_::import("af_task");
  currentdir = py::module_::import("module_locator").attr("get_path")().cast<std::string>() + afp::path_separator();

  py::module_::import("os").attr("environ")["ARCFLEX"] = "running";
  step("environment");

  // Before Tk opens the display, so Tk's own X error handler passes on to
  // this one only the errors it does not handle itself.
  afp::ignore_errors_about_gone_windows();
  root = tkinter().attr("Tk")();
  // A box or file dialog still open when the editor ends fails inside Tk
  // ("application has been destroyed"): no error once the editor has ended.
  py::setattr(root, "report_callback_exception", py::cpp_function([](py::object exc, py::object val, py::object tb) {
                if (killed) return;
                tkinter().attr("Tk").attr("report_callback_exception")(root, exc, val, tb);
              }));
  root.attr("withdraw")();
  close_on_termination_signals();
  step("root");

  make_data_folders_or_fail();
  step("folders");

  put_back_kept_curve();

  stop_leftover_meter();
  step("leftover_meter");

  assign_defaults();
  step("defaults");
  try {
    initialize_af();
  } catch (FileError& e) {
    // A curve file that cannot be read is not replaced by the default.
    report_startup_failure(StartupFailure(e.verb(), e.path(), e.reason()));
  }
  step("settings_load");
  derive_colours_and_fonts();
  step("colours");

  configure_main_window();
  bind_main_window();
  build_frames();
  step("main_window");

  build_figure();
  build_applied_curves();
  connect_graph_handlers();
  step("graph");

  take_initial_snapshots();
  step("snapshots");

  rescale_view();
  step("rescale_view");
  if (init_err) {
    write_first_curve();
    step("write_curve");
  }

  build_panel();
  step("panel");

  build_tip_and_scale_windows();
  step("tip_and_scale_windows");

  build_point_windows();
  step("point_windows");

  build_link_windows();
  build_devices_window();
  build_profile_window();
  step("link_windows");

  build_menus();
  step("menus");

  // The meter-link state; the meter's start-up record is Windows-only
  // (the platform layer starts the meter without a window).
  display_speed(py::none());
  assign_meter_link_defaults();
  step("meter_prep");

  show_root();
  step("show_root");

  start_sub();
  step("start_sub");

  mmpause = false;
  startup_done = true;
  if (close_pending) root.attr("after_idle")(py::cpp_function([] { close_main_window(); }));
  step("ready");
}

}  // namespace arcflex
