// Child program for the platform tests: holds mutexes, serves pipes, prints,
// exits in given ways.
#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/mutex.h"
#include "platform/pipe.h"
#include "platform/process.h"

namespace {

void say(const std::string& s) {
  std::printf("%s\n", s.c_str());
  std::fflush(stdout);
}

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

int main(int argc, char** argv) {
  std::string cmd = argc > 1 ? argv[1] : "";
  if ((cmd == "hold" || cmd == "hold-spawn") && argc == 4) {
    // hold NAME MS: takes the mutex and sleeps. hold-spawn also starts two
    // children that outlive it by a few seconds: one through ChildProcess,
    // one by a plain fork and exec of the shell, which only close-on-exec
    // keeps from inheriting the lock.
    bool existed = false;
    auto m = afp::NamedMutex::create_owned(argv[2], existed);
    if (cmd == "hold-spawn") {
      auto child = afp::ChildProcess::start("/bin/sleep", {"5"});
      if (child) say("spawned " + std::to_string(child->pid()));
      // Dropping the handle at the end leaves the child running.
      if (std::system("sleep 5 >/dev/null 2>&1 &") != 0) say("system failed");
    }
    say(m ? "owned" : (existed ? "existed" : "failed"));
    sleep_ms(std::atoi(argv[3]));
    return 0;
  }
  if (cmd == "serve-pipe" && argc == 3) {
    auto server = afp::PipeServer::create(argv[2]);
    say(server ? "serving" : "failed");
    sleep_ms(60000);
    return 0;
  }
  if (cmd == "echo") {
    std::printf("to stdout");
    for (int i = 2; i < argc; ++i) std::printf(" [%s]", argv[i]);
    std::printf("\n");
    std::fflush(stdout);
    std::fprintf(stderr, "to stderr\n");
    return 7;
  }
  if (cmd == "exit" && argc == 3) return std::atoi(argv[2]);
  if (cmd == "fds") {
    // Lists the open descriptors (the listing's own descriptor excluded).
    DIR* d = opendir("/proc/self/fd");
    std::string out;
    for (dirent* e; d && (e = readdir(d));) {
      std::string n = e->d_name;
      if (n == "." || n == ".." || std::atoi(n.c_str()) == dirfd(d)) continue;
      out += n + " ";
    }
    if (d) closedir(d);
    say(out);
    return 0;
  }
  if (cmd == "sigpipe") {
    // Writes into a pipe nobody reads: dies of SIGPIPE unless it is ignored.
    int fds[2];
    if (pipe(fds) != 0) return 2;
    close(fds[0]);
    ssize_t r = write(fds[1], "x", 1);
    say(r < 0 ? "write failed" : "written");
    return 0;
  }
  if (cmd == "write-cwd" && argc >= 3) {
    // write-cwd FILE ARGS...: records the working folder and arguments.
    std::ofstream out(argv[2]);
    char cwd[4096];
    out << (getcwd(cwd, sizeof cwd) ? cwd : "?") << "\n";
    for (int i = 3; i < argc; ++i) out << argv[i] << "\n";
    return 0;
  }
  if (cmd == "hard-exit") {
    std::atexit([] { say("atexit ran"); });
    std::printf("pending");  // left in the stdio buffer: a hard exit drops it
    afp::hard_exit(3);
  }
  if (cmd == "env" && argc == 3) {
    auto v = afp::get_env(argv[2]);
    say(v ? "set:" + *v : "unset");
    return 0;
  }
  std::fprintf(stderr, "platform_helper: bad arguments\n");
  return 2;
}
