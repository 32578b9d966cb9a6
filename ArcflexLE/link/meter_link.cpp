#include "meter_link.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include <platform/paths.h>
#include <platform/pipe.h>
#include <platform/process.h>

#include "apply_cycle.h"
#include "dialogs.h"
#include "edit_windows.h"
#include "runtime_guard.h"
#include "driver_prompts.h"
#include "settings_files.h"
#include "snapshots.h"
#include "speed_display.h"
#include "state.h"
#include "state_help.h"
#include "state_profiles.h"
#include "state_scale.h"
#include "state_runtime.h"

namespace arcflex {

namespace {

int g_last_attempts = 0;

bool valid_utf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (len == 0 || i + len > s.size()) return false;
    for (size_t k = 1; k < len; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += len;
  }
  return true;
}

// Reads the meter's output until it ends, then handles the end. Runs on its
// own thread and touches no Python object.
void reader_thread(std::shared_ptr<afp::ChildProcess> p) {
  if (p) {
    for (;;) {
      std::string line = p->read_line();
      if (line.empty()) break;
      // Every line counts, the first one too: the meter writes nothing at
      // start-up, so its first line is already a real report.
      ready = true;
      int mode = std::atomic_ref<int>(axis_mode).load(std::memory_order_relaxed);
      if (auto item = meter_line_item(line, mode)) {
        q.put(*item);
        note_meter_answer(*item);
      }
    }
  }
  // dead_sub: an end the exit function did not cause.
  if (!killed) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    int code = -1;
    if (p) {
      p->terminate();
      if (auto c = p->wait(1000)) {
        p->close_output();
        code = *c;
      }
    }
    meter_exit_code = code;
    meter_dead = true;
  }
  {
    std::lock_guard<std::mutex> lock(thrd1_mutex);
    thrd1_done = true;
  }
  thrd1_cv.notify_all();
}

// Runs one step of the exit; a failure is reported and the exit goes on.
// Whether the step succeeded.
template <class F>
bool guarded(const char* what, F&& f) {
  try {
    f();
    return true;
  } catch (py::error_already_set& e) {
    std::fprintf(stderr, "Exit step '%s' failed: %s\n", what, e.what());
  } catch (std::exception& e) {
    std::fprintf(stderr, "Exit step '%s' failed: %s\n", what, e.what());
  }
  return false;
}

bool meter_running() { return proc && !proc->poll().has_value(); }

}  // namespace

std::optional<double> meter_line_item(std::string_view line, int mode) {
  if (!valid_utf8(line)) return std::nullopt;
  size_t b1 = line.find(' ');
  if (b1 == std::string_view::npos) return std::nullopt;
  size_t b2 = line.find(' ', b1 + 1);
  std::string_view f0 = line.substr(0, b1);
  std::string_view f1 = line.substr(b1 + 1, b2 == std::string_view::npos ? std::string_view::npos : b2 - b1 - 1);
  // Python's float() takes surrounding white space but not an empty field.
  if (f0.empty() || f1.empty() || f0.front() == '\t' || f1.front() == '\t') return std::nullopt;
  auto x = parse_real(f0);
  auto y = parse_real(f1);
  if (!x || !y) return std::nullopt;
  if (*x < 0) return *x;
  if (mode == 0) return *y > *x ? *y : *x;
  if (mode == 1) return *x;
  return *y;
}

void start_sub() {
  if (!meter_enabled) {
    update();
    return;
  }
  std::string program = currentdir + "subps" + afp::path_separator() + afp::executable_name("afmeter");
  std::string error;
  std::unique_ptr<afp::ChildProcess> child = afp::ChildProcess::start(program, {"-u", "-c"}, &error);
  if (child) {
    proc = std::move(child);
  } else {
    dialogs::show_error("Error", "Unable to open afmeter.exe.", root);
  }
  thrd1_done = false;
  thrd1 = std::thread(reader_thread, proc);
  // A daemon: waited for at most 0.25 s at exit, never joined for ever.
  thrd1.detach();
  update();
}

void tell_sub(const std::string& msg) {
  bool sent = false;
  int attempts = 0;
  const int limit = meter_enabled ? 80 : 1;
  while (!sent && attempts < limit) {
    sent = afp::pipe_send("Arcflex_Pipe", msg);
    if (!sent) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ++attempts;
  }
  g_last_attempts = attempts;
  if (sent && msg == "load") ++loads_sent;
  if (sent) return;
  // Without a meter (interface tests) a command that reaches no one is dropped.
  if (!meter_enabled) return;
  // The editor ends after this box: a change it was sending is taken back
  // from "p.dat" first, so an editor that dies with the box open leaves none.
  take_back_pending_change_at_exit();
  show_exit_error("Error", msg + " operation timed out.\nYou may need to restart the program.");
  end_editor_at_once(1);
}

int last_tell_attempts() { return g_last_attempts; }

void restart_sub() {
  mmpause = true;
  tell_sub("load");
  ++pending_loads;
  driver_successfully_applied_changes = 0;
}

bool wait_for_load_answers() {
  auto done = [] { return load_answers.load() >= loads_sent.load() || thrd1_done.load(); };
  const auto end = std::chrono::steady_clock::now() + kExitDriverWait;
  std::unique_lock<std::mutex> lock(thrd1_mutex);
  for (;;) {
    if (thrd1_cv.wait_until(lock, std::min(end, std::chrono::steady_clock::now() + std::chrono::milliseconds(50)),
                            done))
      return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    // A signal's handler may end the process at once: it needs the lock
    // released, and runs only where this thread holds the interpreter.
    lock.unlock();
    run_pending_signal_handlers();
    lock.lock();
  }
}

void note_meter_answer(double item) {
  if (item != -99 && item != -77) return;
  {
    std::lock_guard<std::mutex> lock(thrd1_mutex);
    ++load_answers;
    (item == -99 ? applied_load : refused_load) = load_answers.load();
  }
  thrd1_cv.notify_all();
}

void note_take_back_load() { take_back_load = loads_sent.load(); }
void note_take_back_lost() { take_back_lost = true; }

bool take_back_applied() { return !take_back_lost.load() && applied_load.load() >= take_back_load.load(); }

bool take_back_answered() {
  wait_for_load_answers();
  return take_back_applied();
}

bool take_back_refused() {
  const int t = take_back_load.load();
  return t > 0 && t == loads_sent.load() && refused_load.load() >= t;
}

std::string take_back_unapplied_text() {
  const int t = take_back_load.load();
  const char* what = take_back_lost.load()              ? "The take-back of the unconfirmed change could not reach the driver."
                     : t > 0 && refused_load.load() >= t ? "The driver refused the take-back of the unconfirmed change."
                                                         : "The driver did not answer the take-back of the unconfirmed change.";
  return std::string(what) + "\nIt may still hold that change until the next start.";
}

namespace {
std::atomic<bool> g_unanswered_said{false};
}

bool take_back_unanswered_said() { return g_unanswered_said.load(); }

void say_take_back_unanswered() {
  if (!g_unanswered_said.exchange(true)) std::fprintf(stderr, "%s\n", take_back_unapplied_text().c_str());
}

void kill_threads() {
  std::unique_lock<std::mutex> lock(thrd1_mutex);
  thrd1_cv.wait_for(lock, std::chrono::milliseconds(250), [] { return thrd1_done.load(); });
}

void kill() {
  killed = true;
  // The countdown and its window go first: nothing of them runs under the
  // exit's box, and no second take-back follows this one.
  guarded("stop the countdown", [] { withdraw_confirm_window(); });
  guarded("withdraw windows", [] {
    for (py::object* w : {&root, &tt_window, &scale_window, &edit_window, &metric_window, &help_window, &about_window,
                          &cpop, &dpi_window, &display_window, &toggle_window, &devices_window, &profile_window}) {
      if (*w && !w->is_none()) guarded("withdraw", [&] { w->attr("wm_withdraw")(); });
    }
  });
  // Whether a change is pending decides, whatever windows are open: after
  // OK (a box may still be open) nothing is taken back.
  bool restored = false;
  guarded("take back the pending change", [&] {
    if (change_pending()) {
      restore_values();
      restored = true;
    }
  });
  guarded("the previous curve file", [&] {
    // Restored above, or not (a profile just chosen, a failed restore):
    // either way no unconfirmed curve stays in "p.dat".
    if (restored) drop_taken_back_change();
    if (!change_pending()) return;
    try {
      if (put_back_previous_curve()) restored = true;
    } catch (FileError& e) {
      end_with_failure_after_close();
      show_exit_error("Error",
                      std::string(e.what()) + "\n\nThe change was not confirmed and could not be taken back.");
    }
  });
  if (proc && persist == 0) {
    guarded("tell the meter", [&] {
      // The driver drops the unconfirmed curve as "p.dat" did; the meter
      // serves one connection at a time, so the reload comes first, and
      // the meter is let go once the driver has answered every load.
      if (!meter_running()) {
        if (!restored) return;  // the meter's end said what the driver holds
        note_take_back_lost();
      } else {
        if (restored) {
          tell_sub("load");
          note_take_back_load();
        }
        const bool answered = take_back_answered();
        tell_sub("quit");
        if (answered) return;
      }
      say_take_back_unanswered();
      end_with_failure_after_close();
      show_exit_error("Error", take_back_unapplied_text());
    });
  }
  if (!guarded("write settings", [] { write_settings(); })) end_with_failure_after_close();
  guarded("wait for the reader", [] { kill_threads(); });
  guarded("destroy the window", [] {
    if (root && !root.is_none()) {
      root.attr("destroy")();
      guarded("quit", [] { root.attr("quit")(); });
    }
  });
}

void meter_died() {
  static bool handled = false;
  if (handled) return;
  handled = true;
  int code = meter_exit_code;
  try {
    if (job1 && !job1.is_none()) root.attr("after_cancel")(job1);
  } catch (py::error_already_set&) {
  }
  auto end_editor = [] { end_editor_at_once(1); };
  // The meter is gone and the editor ends once the box is closed: a change
  // on its way is taken back from "p.dat" before the box says anything, and
  // the confirm window no longer asks about it.
  take_back_pending_change_at_exit();
  guarded("withdraw the confirm window", [] { withdraw_confirm_window(); });
  try {
    if (code == 8) {
      // The editor ends once the installation's last box is closed; the
      // installer is followed on a timer, so this may return first.
      install_driver(end_editor);
      return;
    }
    // Where the take-back did not reach the driver, the one box says so too.
    if (code != -1)
      show_exit_error("Error", take_back_unanswered_said() ? "Subprocess failure.\n\n" + take_back_unapplied_text()
                                                           : std::string("Subprocess failure."));
  } catch (std::exception& e) {
    // A box fails once the main window was closed under it (the exit
    // function destroyed the application): that close is the answer.
    if (!killed) std::fprintf(stderr, "Meter end: %s\n", e.what());
  }
  end_editor();
}

}  // namespace arcflex
