// Helpers for the editor's interface tests: start the editor the way the
// import does (up to the main loop) with dialogs recorded, run Python
// snippets against the editor's objects, and fake meter processes.
#pragma once

#include <gtest/gtest.h>
#include <pybind11/embed.h>

#include <fcntl.h>
#include <linux/close_range.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <platform/registry.h>

#include "af_test_env.h"
#include "dialogs.h"
#include "editor.h"
#include "pyrt.h"
#include "state.h"

extern char** environ;

namespace guitest {

namespace py = pybind11;
namespace fs = std::filesystem;
using namespace py::literals;

// Settings and profiles folders of the isolated LOCALAPPDATA.
inline fs::path data_root() { return fs::path(std::getenv("LOCALAPPDATA")) / "Arcflex LE"; }
inline fs::path settings_folder() { return data_root() / "settings"; }

// Replaces the af_task stand-in by one that counts unblock_files() calls.
inline void count_unblock_calls() {
  py::exec(R"(
import sys, types
m = types.ModuleType("af_task")
m.calls = 0
def unblock_files():
    m.calls += 1
m.unblock_files = unblock_files
sys.modules["af_task"] = m
)");
}
inline int unblock_calls() { return py::module_::import("af_task").attr("calls").cast<int>(); }

inline void start_recorded() {
  arcflex::dialogs::set_recording(true);
  arcflex::meter_enabled = false;  // no driver here: the meter would end at once
  arcflex::start_editor();
  arcflex::root.attr("update")();
}

// The mouse class's upper filter list on this test's stand-in machine: its
// bytes ("" when unreadable), and a seed for it.
inline const std::u16string kMouseClassKey =
    u"SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e96f-e325-11ce-bfc1-08002be10318}";
inline std::string mouse_filters() {
  std::uint32_t type = 0, size = 0;
  if (afp::reg_get_value(kMouseClassKey, u"UpperFilters", afp::regrt::multi_sz, &type, nullptr, &size) != 0) return "";
  std::string data(size, '\0');
  if (afp::reg_get_value(kMouseClassKey, u"UpperFilters", afp::regrt::multi_sz, &type, data.data(), &size) != 0)
    return "";
  data.resize(size);
  return data;
}
// A REG_MULTI_SZ holding "mouclass" alone, written as the list.
inline std::string seed_mouclass_filters() {
  const std::string list = afp::reg_string_bytes(u"mouclass") + std::string(2, '\0');
  EXPECT_EQ(afp::reg_set_key_value(kMouseClassKey, u"UpperFilters", afp::regtype::multi_sz, list.data(),
                                   static_cast<std::uint32_t>(list.size())),
            0u);
  return list;
}

// Starts the staged stand-in driver with `args`. It ends with this process,
// also when that ends without running its destructors (a hard exit), and
// keeps none of its descriptors, so a death test's output ends with it.
inline pid_t start_standin_driver(const std::vector<std::string>& args) {
  std::vector<std::string> argv_s{
      (fs::path(aftest::env_or("AF_STAGE_DIR", ".")).parent_path() / "standins" / "afmouse" / "afmouse").string()};
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_s) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(1);
    const int null = open("/dev/null", O_RDWR);
    for (int fd = 0; fd < 3; ++fd) dup2(null, fd);
    close_range(3, ~0U, 0);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

// Waits until the stand-in driver accepts connections on its port (not just
// until the socket file exists): a bounded number of tries, 10 ms apart.
inline bool wait_for_driver_port() {
  const std::string port =
      (fs::path(std::getenv("XDG_RUNTIME_DIR")) / "arcflex" / "AF_D_UserKernelCommPort").string();
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  port.copy(addr.sun_path, sizeof addr.sun_path - 1);
  for (int i = 0; i < 3000; ++i) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool up = fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    if (fd >= 0) close(fd);
    if (up) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// The case's own time limit (ctest's TIMEOUT, from the build).
#ifndef AF_CASE_TIMEOUT
#define AF_CASE_TIMEOUT 120
#endif

// Runs Tk until pred holds: at most `rounds` rounds 5 ms apart, and however
// slow each round is no longer than three quarters of the case's time limit,
// so that a wait that never ends fails here and not by ctest's kill.
template <class P>
bool pump_until(P pred, int rounds = 4000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(AF_CASE_TIMEOUT * 3 / 4);
  for (int i = 0; i < rounds && std::chrono::steady_clock::now() < end; ++i) {
    if (pred()) return true;
    arcflex::root.attr("update")();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return pred();
}

// Lets Tk handle what came: `rounds` rounds `ms` apart, no longer than 30 s.
inline void pump_rounds(int rounds, int ms = 5) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  for (int i = 0; i < rounds && std::chrono::steady_clock::now() < end; ++i) {
    arcflex::root.attr("update")();
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
}

// The editor's objects as names of __main__, for Python snippets.
inline py::dict scope() {
  py::dict g = py::globals();
  g["ax"] = arcflex::ax;
  g["fig"] = arcflex::fig;
  g["canvas"] = arcflex::canvas;
  g["root"] = arcflex::root;
  return g;
}
// Evaluates a Python expression / runs statements with those names.
inline py::object eval(const std::string& expr) { return py::eval(expr, scope()); }
inline void run(const std::string& code) { py::exec(code, scope()); }

inline size_t count_dialogs(const std::string& kind, const std::string& message) {
  size_t n = 0;
  for (const auto& r : arcflex::dialogs::recorded()) n += (r.kind == kind && r.message == message);
  return n;
}

// A process whose name the process list reports as "afmeter": a link named
// afmeter to a real program, started with this process's environment (or
// with `env` when given).
class FakeMeter {
 public:
  explicit FakeMeter(const std::string& target, std::vector<std::string> args,
                     std::vector<std::string> env = {}) {
    dir_ = aftest::make_temp_dir("fakemeter");
    fs::path link = dir_ / "afmeter";
    fs::create_symlink(target, link);
    std::vector<std::string> argv_s{link.string()};
    argv_s.insert(argv_s.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argv_s) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    if (!env.empty()) {
      for (auto& e : env) envp.push_back(e.data());
      envp.push_back(nullptr);
    }
    if (posix_spawn(&pid_, link.c_str(), nullptr, nullptr, argv.data(), env.empty() ? environ : envp.data()) != 0) {
      throw std::runtime_error("cannot start the fake meter");
    }
    // Give the process list time to show the new name.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  ~FakeMeter() {
    if (pid_ > 0 && alive()) kill(pid_, SIGKILL);
    reap();
  }
  // Whether the process still runs (a zombie counts as ended).
  bool alive() {
    reap();
    if (reaped_) return false;
    std::string stat = aftest::read_file("/proc/" + std::to_string(pid_) + "/stat");
    auto close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
  }
  pid_t pid() const { return pid_; }

 private:
  void reap() {
    if (reaped_ || pid_ <= 0) return;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) reaped_ = true;
  }
  fs::path dir_;
  pid_t pid_ = -1;
  bool reaped_ = false;
};

}  // namespace guitest
