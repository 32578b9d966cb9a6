#include "driver_prompts.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include <platform/paths.h>
#include <platform/process.h>

#include "dialogs.h"
#include "state.h"
#include "state_runtime.h"

namespace arcflex {

namespace {

// How one installer run ended: `started` with the installer's exit code
// (0 when the shell gave no handle to follow), or not started with the
// shell's result.
struct Outcome {
  bool started;
  int code;
};

struct InstallerRun {
  std::unique_ptr<afp::ChildProcess> process;
  std::function<void(const Outcome&)> report;   // the result box
  std::function<void(const std::string&)> fail;  // the box for a failure
  std::function<void()> finished;
};

// Shows the result (or, when showing it fails, the failure box), then runs
// `finished`. A failing failure box is only written to standard error.
void conclude(const std::shared_ptr<InstallerRun>& run, const std::optional<Outcome>& outcome,
              const std::string& failure) {
  try {
    try {
      if (!outcome) throw std::runtime_error(failure);
      run->report(*outcome);
    } catch (std::exception& e) {
      run->fail(error_text(e));
    }
  } catch (std::exception& e) {
    std::fprintf(stderr, "Driver installation: %s\n", error_text(e).c_str());
  }
  if (run->finished) run->finished();
}

void poll_installer(std::shared_ptr<InstallerRun> run) {
  std::optional<int> code;
  try {
    code = run->process->poll();
    if (!code) {
      root.attr("after")(kInstallerPollMs, py::cpp_function([run] { poll_installer(run); }));
      return;
    }
  } catch (std::exception& e) {
    conclude(run, std::nullopt, error_text(e));
    return;
  }
  conclude(run, Outcome{true, *code}, "");
}

void run_installer(const std::string& parameters, std::shared_ptr<InstallerRun> run) {
  try {
    std::string folder = currentdir + "AF_Driver";
    afp::ElevatedStart started =
        afp::start_elevated(afp::executable_name("AF_Driver_Installer"), parameters, folder);
    if (started.result > 32 && started.process) {
      run->process = std::move(started.process);
      root.attr("after")(kInstallerPollMs, py::cpp_function([run] { poll_installer(run); }));
      return;
    }
    bool ok = started.result > 32;
    conclude(run, Outcome{ok, ok ? 0 : started.result}, "");
  } catch (std::exception& e) {
    conclude(run, std::nullopt, error_text(e));
  }
}

const char* const kRebootTitle = "Reboot required";
const char* const kRebootText = "You must reboot for the changes to take effect.";

}  // namespace

void install_driver(std::function<void()> finished) {
  py::module_::import("af_task").attr("unblock_files")();
  if (!dialogs::ask_yes_no("Missing driver", "Arcflex Driver required.  Would you like to install now?", root)) {
    dialogs::show_info("Closing program", "You must install the driver to continue.", root);
    if (finished) finished();
    return;
  }
  auto run = std::make_shared<InstallerRun>();
  run->report = [](const Outcome& o) {
    if (o.started && o.code == 0) {
      dialogs::show_info(kRebootTitle, kRebootText, root);
    } else {
      dialogs::show_info("Install failed", "There was an error installing the driver: " + std::to_string(o.code),
                         root);
    }
  };
  run->fail = [](const std::string& what) {
    dialogs::show_error("Installation failed!", "The driver was not installed. " + what, root);
  };
  run->finished = std::move(finished);
  run_installer("/I", run);
}

void uninstall_driver() {
  // One run at a time: a second installer would fight the first over the
  // same service and filter list, and only one result would be shown.
  if (uninstall_running) {
    dialogs::system_sound_asterisk();
    return;
  }
  uninstall_running = true;
  bool yes = false;
  try {
    yes = dialogs::ask_yes_no("Uninstall driver", "Uninstall the Arcflex Driver?", root);
  } catch (...) {
    uninstall_running = false;
    throw;
  }
  if (!yes) {
    uninstall_running = false;
    return;
  }
  auto run = std::make_shared<InstallerRun>();
  run->finished = [] { uninstall_running = false; };
  run->report = [](const Outcome& o) {
    if (o.started && o.code == 0) {
      dialogs::show_info(kRebootTitle, kRebootText, root);
    } else {
      dialogs::show_error("Uninstall failed!",
                          "There was an error uninstalling the driver: " + std::to_string(o.code), root);
    }
  };
  run->fail = [](const std::string& what) {
    dialogs::show_error("Uninstall failed!", "Unable to uninstall driver. " + what, root);
  };
  run_installer("/U", run);
}

int is_admin() {
  try {
    return afp::user_is_admin().value_or(0);
  } catch (std::exception&) {
    return 0;
  }
}

}  // namespace arcflex
