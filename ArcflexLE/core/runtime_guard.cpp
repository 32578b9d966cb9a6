#include "runtime_guard.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <platform/files.h>
#include <platform/pipe.h>
#include <platform/process.h>
#include <platform/rundir.h>

#include "dialogs.h"
#include "meter_link.h"
#include "settings_files.h"
#include "startup.h"
#include "state.h"
#include "state_runtime.h"

namespace arcflex {

namespace fs = std::filesystem;

namespace {

bool g_close_failed = false;

// Runs before the static destructors registered earlier (atexit order).
void end_live_editor_at_once() {
  if (!editor_live.load()) return;
  end_editor_at_once(1);
}

}  // namespace

void take_back_pending_change_at_exit(bool wait_for_driver) {
  if (!change_pending()) {  // OK was pressed: the change stays
    remove_confirmed_kept_file();
  } else {
    try {
      if (!put_back_previous_curve()) return;
    } catch (FileError& e) {
      std::fprintf(stderr, "The unconfirmed change could not be taken back: %s\n", e.what());
      return;
    }
    if (proc && !proc->poll().has_value() && afp::pipe_send("Arcflex_Pipe", "load")) {
      ++loads_sent;
      note_take_back_load();
    } else if (proc) {
      note_take_back_lost();  // the meter is gone: the driver keeps the change
    }
  }
  // The process ends once the driver has the curve back, or once it has
  // had the driver wait to answer (this take-back or one sent before).
  // Said once: a close that said it ends through here too.
  if (!proc || take_back_unanswered_said()) return;
  if (!(wait_for_driver ? take_back_answered() : take_back_applied())) say_take_back_unanswered();
}

void end_editor_at_once(int code, bool wait_for_driver) {
  take_back_pending_change_at_exit(wait_for_driver);
  std::fflush(nullptr);
  afp::hard_exit(code);
}

namespace {
std::atomic<bool> g_exit_by_signal{false};
}

void note_exit_by_signal() { g_exit_by_signal = true; }
bool exit_by_signal() { return g_exit_by_signal.load(); }

void show_exit_error(const std::string& title, const std::string& message) {
  if (exit_by_signal()) {
    dialogs::show_error_closing(title, message, root, kExitBoxTimeMs);
  } else {
    dialogs::show_error(title, message, root);
  }
}

void run_pending_signal_handlers() {
  if (!Py_IsInitialized() || PyGILState_Check() == 0) return;
  if (PyErr_CheckSignals() != 0) PyErr_Clear();
}

void guard_process_end() {
  static const bool registered = std::atexit(end_live_editor_at_once) == 0;
  (void)registered;
  editor_live = true;
}

void editor_released() { editor_live = false; }

void end_with_failure_after_close() { g_close_failed = true; }

void end_if_closed_from_outside() {
  if (killed && !g_close_failed) return;
  end_editor_at_once(1);
}

StartupFailure::StartupFailure(const std::string& what_failed, const std::string& path, const std::string& reason)
    : std::runtime_error(what_failed), path_(path), reason_(reason) {}

std::string startup_failure_text(const StartupFailure& f) {
  return std::string(f.what()) + " \"" + f.path() + "\":\n" + f.reason();
}

void report_startup_failure(const StartupFailure& f) {
  const std::string text = startup_failure_text(f);
  try {
    // Before the main window exists the box gets a window of its own.
    dialogs::show_error("Error", text, root && !root.is_none() ? py::handle(root) : py::handle(py::none()));
  } catch (std::exception& e) {
    // No display for the box: the terminal is the only place left.
    std::fprintf(stderr, "Error: %s\n(%s)\n", text.c_str(), error_text(e).c_str());
  }
  std::fflush(nullptr);
  afp::hard_exit(1);
}

std::string write_failure_reason(const std::string& path, const std::string& fallback) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) return std::make_error_code(std::errc::is_a_directory).message();
  // A FIFO, a socket or a device: opening it would wait or fail for its own
  // reasons.
  if (fs::exists(path, ec) && !fs::is_regular_file(path, ec)) return "Not a regular file";
  const fs::path folder = fs::path(path).parent_path();
  if (!fs::is_directory(folder, ec)) {
    return (fs::exists(folder, ec) ? std::make_error_code(std::errc::not_a_directory)
                                   : std::make_error_code(std::errc::no_such_file_or_directory))
        .message();
  }
  if (fs::exists(path, ec)) {
    // Opened for update without truncating: the file is left as it is.
    std::FILE* f = std::fopen(path.c_str(), "r+b");
    if (!f) return std::strerror(errno);
    std::fclose(f);
  }
  // A trial file beside it, with a few kilobytes, tells a folder that
  // refuses new files or a full disk.
  const std::string trial = path + ".trial";
  static const char block[8192] = {};
  const int err = afp::write_new_file(trial, std::string_view(block, sizeof block));
  if (err != 0) return afp::error_text(err);
  fs::remove(trial, ec);
  return fallback;
}

StartupFailure mutex_failure() {
  std::string folder, reason;
  if (afp::run_dir_problem(folder, reason)) return StartupFailure("Cannot use the run-time folder", folder, reason);
  return StartupFailure("Cannot create the mutex", "Keep_AF_Alive_Mutex", "the system refused it");
}

FolderFault folder_fault(const fs::path& wanted, const std::error_code& code) {
  fs::path folder = wanted;
  if (!folder.has_filename()) folder = folder.parent_path();  // "a/b/" is the folder "a/b"
  fs::path below = folder;
  for (fs::path at = folder;; below = at, at = at.parent_path()) {
    std::error_code ec;
    const fs::file_status st = fs::status(at, ec);
    if (fs::exists(st)) {
      if (!fs::is_directory(st)) return {at.string(), std::make_error_code(std::errc::not_a_directory).message()};
      if (at == folder) break;  // nothing in the way: the folder itself
      return {below.string(), code.message()};
    }
    if (!at.has_relative_path()) break;
  }
  return {folder.string(), code.message()};
}

void make_data_folders_or_fail() {
  try {
    make_data_folders();
  } catch (fs::filesystem_error& e) {
    const FolderFault f = folder_fault(e.path1(), e.code());
    report_startup_failure(StartupFailure("Cannot create the folder", f.item, f.reason));
  }
  for (const std::string* folder : {&settingsdir, &savesdir}) {
    std::error_code ec;
    if (!fs::is_directory(*folder, ec)) {
      const FolderFault f = folder_fault(*folder, std::make_error_code(std::errc::not_a_directory));
      report_startup_failure(StartupFailure("Cannot use the folder", f.item, f.reason));
    }
  }
}

void write_first_curve() {
  try {
    write_curve();
    set_aside_kept_file();
  } catch (FileError& e) {
    report_startup_failure(StartupFailure(e.verb(), e.path(), e.reason()));
  } catch (std::exception& e) {
    const std::string path = settingsdir + "p.dat";
    report_startup_failure(StartupFailure("Cannot write", path, write_failure_reason(path, error_text(e))));
  }
}

}  // namespace arcflex
