// Guards of the editor's process: a quiet end when a library calls exit()
// while the editor runs, and the error box for a folder or file the
// start-up cannot use.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <string>

namespace arcflex {

// Marks the editor live and, once per process, registers the exit hook that
// ends a live editor at once (exit code 1). Xlib calls exit() from inside
// the main loop when the display goes away or the main window is destroyed
// from outside; the module's Python objects must not be released then, as
// the interpreter lock is not held.
void guard_process_end();
// The editor's Python objects are gone: a later exit() is an ordinary one.
void editor_released();
// After the main loop: when the exit function did not end it (the main
// window was destroyed from outside and Tk took that calmly), the editor
// ends with exit code 1 as it does when Xlib ends it.
void end_if_closed_from_outside();
// The exit function could not take a pending change back (and said so):
// the editor ends with exit code 1 once its main loop returns.
void end_with_failure_after_close();

// Before an exit that runs no exit function (a hard exit, or one Xlib
// forces): a change still waiting for its confirmation is taken back from
// "p.dat" (the file it replaced is put back), and a meter still running is
// asked once to load that file; the call returns once the driver has
// answered (at most the driver wait). When the driver has not applied the
// latest take-back (this one or one sent before), stderr says so. Needs no
// Python.
// With wait_for_driver false (a second signal), what the driver has
// answered so far decides, without waiting.
void take_back_pending_change_at_exit(bool wait_for_driver = true);
// That, then the end of the process with `code`, at once.
[[noreturn]] void end_editor_at_once(int code, bool wait_for_driver = true);

// An exit begun by a termination signal (a logout, a service stop, Ctrl-C)
// may have nobody to answer its boxes: they close themselves after
// kExitBoxTime, and a further signal ends the process at once.
inline constexpr int kExitBoxTimeMs = 3000;
void note_exit_by_signal();
bool exit_by_signal();
// An error box of an exit: one that closes itself when a signal began it.
void show_exit_error(const std::string& title, const std::string& message);
// Runs the signal handlers that Python holds back until the interpreter
// runs again, where this thread holds the interpreter; their errors are
// dropped. Lets a second signal end an exit that waits in C++.
void run_pending_signal_handlers();

// A folder or file the start-up needs and cannot use: what it is and the
// system's reason.
class StartupFailure : public std::runtime_error {
 public:
  StartupFailure(const std::string& what_failed, const std::string& path, const std::string& reason);
  const std::string& path() const { return path_; }
  const std::string& reason() const { return reason_; }

 private:
  std::string path_, reason_;
};

// The text of the box for a start-up failure.
std::string startup_failure_text(const StartupFailure& f);

// Shows the failure in an error box (a box of its own when the main window
// does not exist yet), then ends the process with exit code 1.
[[noreturn]] void report_startup_failure(const StartupFailure& f);

// Why a file could not be written at `path`: the system's reason found by
// trying it ("Is a directory", "Permission denied", "No space left on
// device"), or `fallback` when the trial succeeds.
std::string write_failure_reason(const std::string& path, const std::string& fallback);

// The item at fault when the folder `wanted` could not be made or used
// (`code` the system's reason): something that is no folder in its place
// or above it (reason "Not a directory"), else the topmost folder that
// could not be made, else the folder itself (reason `code`).
struct FolderFault {
  std::string item, reason;
};
FolderFault folder_fault(const std::filesystem::path& wanted, const std::error_code& code);

// The start-up's uses of the run-time folder, the data folders and the
// first "p.dat"; each one that fails shows its box and ends the process.
// Why the single-instance mutex could not be made.
StartupFailure mutex_failure();
// make_data_folders(), and the settings folder must be a folder.
void make_data_folders_or_fail();
// write_curve() of a start-up that found no usable "p.dat", then the kept
// file that was no curve moved aside (set_aside_kept_file).
void write_first_curve();

}  // namespace arcflex
