// Child processes, plain starts, environment and hard exit on Linux.
#include "platform/process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sstream>
#include <thread>

extern char** environ;

namespace afp {
namespace {

// Reaps `pid` on a detached thread so a child we no longer follow does not
// stay a zombie.
void reap_in_background(pid_t pid) {
  std::thread([pid] {
    int status;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}

// Spawn attributes shared by every start: default signal dispositions and
// an empty signal mask in the child, whatever this process ignores or
// blocks (the meter ignores SIGPIPE); with `own_group`, a process group of
// the child's own.
struct SpawnAttr {
  posix_spawnattr_t attr;
  explicit SpawnAttr(bool own_group) {
    posix_spawnattr_init(&attr);
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setsigmask(&attr, &none);
    short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    if (own_group) {
      posix_spawnattr_setpgroup(&attr, 0);
      flags |= POSIX_SPAWN_SETPGROUP;
    }
    posix_spawnattr_setflags(&attr, flags);
  }
  ~SpawnAttr() { posix_spawnattr_destroy(&attr); }
};

int spawn(pid_t& pid, const std::string& program, const std::vector<std::string>& args,
          posix_spawn_file_actions_t* actions, bool own_group = false) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  SpawnAttr attr(own_group);
  if (program.find('/') != std::string::npos) {
    return posix_spawn(&pid, program.c_str(), actions, &attr.attr, argv.data(), environ);
  }
  return posix_spawnp(&pid, program.c_str(), actions, &attr.attr, argv.data(), environ);
}

}  // namespace

struct ChildProcess::Impl {
  pid_t pid = -1;
  std::atomic<int> out_fd{-1};
  std::string pending;  // bytes read ahead by read_line
  std::mutex state;     // guards the fields below
  bool reaped = false;
  int exit_code = 0;
  bool terminated = false;

  // Needs `state` held.
  bool reap(bool block) {
    if (reaped) return true;
    int status = 0;
    pid_t r;
    do {
      r = waitpid(pid, &status, block ? 0 : WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r != pid) return false;
    reaped = true;
    if (WIFEXITED(status)) {
      exit_code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
      exit_code = terminated ? 1 : 128 + WTERMSIG(status);
    } else {
      exit_code = 1;
    }
    return true;
  }
};

std::unique_ptr<ChildProcess> ChildProcess::start(const std::string& program,
                                                  const std::vector<std::string>& args,
                                                  std::string* error) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    if (error) *error = std::string("pipe: ") + std::strerror(errno);
    return nullptr;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
  // Nothing of ours beyond the standard streams reaches the child, whatever
  // a library may have opened without close-on-exec.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  pid_t pid = -1;
  // In a group of its own, a terminal's Ctrl-C (sent to the whole foreground
  // group) reaches only this process, which then ends the child itself.
  int rc = spawn(pid, program, args, &actions, true);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    if (error) *error = program + ": " + std::strerror(rc);
    return nullptr;
  }
  std::unique_ptr<ChildProcess> child(new ChildProcess());
  child->impl_ = std::make_unique<Impl>();
  child->impl_->pid = pid;
  child->impl_->out_fd = fds[0];
  return child;
}

std::int64_t ChildProcess::read(char* buffer, std::size_t max) {
  if (max == 0) return 0;
  if (!impl_->pending.empty()) {
    std::size_t n = std::min(max, impl_->pending.size());
    std::memcpy(buffer, impl_->pending.data(), n);
    impl_->pending.erase(0, n);
    return static_cast<std::int64_t>(n);
  }
  int fd = impl_->out_fd.load();
  if (fd < 0) return -1;
  for (;;) {
    ssize_t n = ::read(fd, buffer, max);
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    return -1;
  }
}

std::string ChildProcess::read_line() {
  for (;;) {
    std::size_t nl = impl_->pending.find('\n');
    if (nl != std::string::npos) {
      std::string line = impl_->pending.substr(0, nl + 1);
      impl_->pending.erase(0, nl + 1);
      return line;
    }
    int fd = impl_->out_fd.load();
    char buf[4096];
    ssize_t n = -1;
    if (fd >= 0) {
      do {
        n = ::read(fd, buf, sizeof buf);
      } while (n < 0 && errno == EINTR);
    }
    if (n <= 0) {
      std::string rest;
      rest.swap(impl_->pending);
      return rest;
    }
    impl_->pending.append(buf, static_cast<std::size_t>(n));
  }
}

std::optional<int> ChildProcess::poll() {
  std::lock_guard<std::mutex> guard(impl_->state);
  if (impl_->reap(false)) return impl_->exit_code;
  return std::nullopt;
}

std::optional<int> ChildProcess::wait(int timeout_ms) {
  if (timeout_ms < 0) {
    // Waits for the end without reaping and without the lock, so
    // terminate() and poll() from other threads stay possible meanwhile.
    siginfo_t info{};
    int r;
    do {
      r = waitid(P_PID, static_cast<id_t>(impl_->pid), &info, WEXITED | WNOWAIT);
    } while (r != 0 && errno == EINTR);
    std::lock_guard<std::mutex> guard(impl_->state);
    if (impl_->reap(r == 0)) return impl_->exit_code;
    return std::nullopt;
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (auto code = poll()) return code;
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

bool ChildProcess::terminate() {
  std::lock_guard<std::mutex> guard(impl_->state);
  if (impl_->reap(false)) return false;
  impl_->terminated = true;
  return ::kill(impl_->pid, SIGKILL) == 0;
}

void ChildProcess::close_output() {
  int fd = impl_->out_fd.exchange(-1);
  if (fd >= 0) close(fd);
}

int ChildProcess::pid() const { return impl_->pid; }

ChildProcess::~ChildProcess() {
  if (!impl_) return;
  close_output();
  std::lock_guard<std::mutex> guard(impl_->state);
  if (!impl_->reap(false)) reap_in_background(impl_->pid);
}

ElevatedStart start_elevated(const std::string& program, const std::string& parameters,
                             const std::string& working_dir) {
  constexpr int kStarted = 42;        // any value above 32 means started
  constexpr int kFileNotFound = 2;    // the shell's ERROR_FILE_NOT_FOUND
  constexpr int kOutOfResources = 0;
  ElevatedStart started;
  std::string path = program;
  if (!path.empty() && path.front() != '/' && !working_dir.empty()) path = working_dir + "/" + path;
  if (path.empty() || access(path.c_str(), X_OK) != 0) {
    started.result = kFileNotFound;
    return started;
  }
  std::vector<std::string> args;
  std::istringstream words(parameters);
  for (std::string w; words >> w;) args.push_back(w);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!working_dir.empty()) posix_spawn_file_actions_addchdir_np(&actions, working_dir.c_str());
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  pid_t pid = -1;
  int rc = spawn(pid, path, args, &actions);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    started.result = rc == ENOENT ? kFileNotFound : kOutOfResources;
    return started;
  }
  started.result = kStarted;
  started.process.reset(new ChildProcess());
  started.process->impl_ = std::make_unique<ChildProcess::Impl>();
  started.process->impl_->pid = pid;
  return started;
}

std::optional<int> user_is_admin() { return geteuid() == 0 ? 1 : 0; }

bool set_env(const std::string& name, const std::string& value) {
  if (name.empty() || name.find('=') != std::string::npos) return false;
  return setenv(name.c_str(), value.c_str(), 1) == 0;
}

std::optional<std::string> get_env(const std::string& name) {
  if (name.empty()) return std::nullopt;
  const char* v = std::getenv(name.c_str());
  if (!v) return std::nullopt;
  return std::string(v);
}

void hard_exit(int code) { _exit(code); }

void ignore_broken_pipe_signal() { signal(SIGPIPE, SIG_IGN); }

}  // namespace afp
