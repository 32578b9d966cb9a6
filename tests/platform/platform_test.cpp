// The Linux platform layer: folders, named mutexes, the command pipe, child
// processes, environment, hard exit and clock.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "af_test_env.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/mutex.h"
#include "platform/paths.h"
#include "platform/pipe.h"
#include "platform/process.h"
#include "platform/rundir.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kHelper = AF_PLATFORM_HELPER;

bool eventually(const std::function<bool()>& done, int timeout_ms) {
  auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

double ms_since(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

std::string read_all(afp::ChildProcess& child) {
  std::string out;
  char buf[512];
  for (std::int64_t n; (n = child.read(buf, sizeof buf)) > 0;) out.append(buf, static_cast<std::size_t>(n));
  return out;
}

std::unique_ptr<afp::ChildProcess> helper(const std::vector<std::string>& args) {
  std::string error;
  auto child = afp::ChildProcess::start(kHelper, args, &error);
  EXPECT_TRUE(child) << error;
  return child;
}

class Platform : public ::testing::Test {
 protected:
  void SetUp() override { base_ = aftest::isolate_environment(); }
  fs::path base_;
};

// ---------------------------------------------------------------- folders

TEST_F(Platform, LocalAppDataFollowsTheEnvironment) {
  setenv("LOCALAPPDATA", "/some/where//", 1);
  setenv("XDG_DATA_HOME", "/xdg/data", 1);
  EXPECT_EQ(afp::local_app_data(), "/some/where");
  unsetenv("LOCALAPPDATA");
  EXPECT_EQ(afp::local_app_data(), "/xdg/data");
  unsetenv("XDG_DATA_HOME");
  setenv("HOME", (base_ / "home").c_str(), 1);
  EXPECT_EQ(afp::local_app_data(), (base_ / "home" / ".local" / "share").string());
  EXPECT_EQ(afp::path_separator(), '/');
  EXPECT_EQ(afp::executable_name("afmeter"), "afmeter");
}

// A rename flushes the folder of each name.
TEST_F(Platform, DurableRenameFlushesTheFoldersOfBothNames) {
  const fs::path a = aftest::make_temp_dir("afrename"), b = aftest::make_temp_dir("afrename");
  aftest::write_file(a / "f", "x");
  std::vector<std::string> flushed;
  afp::set_folder_flush_hook([&](const std::string& folder) { return flushed.push_back(folder), 0; });
  EXPECT_EQ(afp::durable_rename((a / "f").string(), (b / "f").string()), 0);
  afp::set_folder_flush_hook({});
  EXPECT_EQ(flushed, (std::vector<std::string>{b.string(), a.string()}));
}

TEST_F(Platform, RunDirIsPrivate) {
  const fs::path dir = base_ / "run" / "arcflex";
  EXPECT_EQ(afp::run_dir(), dir.string());
  struct stat st {};
  ASSERT_EQ(stat(dir.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(afp::run_path("Arcflex_Pipe"), (dir / "Arcflex_Pipe").string());

  // A folder others can reach is closed again.
  chmod(dir.c_str(), 0755);
  EXPECT_EQ(afp::run_dir(), dir.string());
  ASSERT_EQ(stat(dir.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(Platform, RunDirRefusesWhatIsNotOurFolder) {
  const fs::path run = base_ / "run";
  fs::create_directories(base_ / "elsewhere");
  fs::create_symlink(base_ / "elsewhere", run / "arcflex");
  EXPECT_EQ(afp::run_dir(), "");
  EXPECT_EQ(afp::run_path("x"), "");
  bool existed = true;
  EXPECT_EQ(afp::NamedMutex::create_owned("M", existed), nullptr);
  EXPECT_FALSE(existed);
  EXPECT_FALSE(afp::pipe_send("Arcflex_Pipe", "load"));
  EXPECT_TRUE(fs::is_empty(base_ / "elsewhere"));

  fs::remove(run / "arcflex");
  aftest::write_file(run / "arcflex", "a file");
  EXPECT_EQ(afp::run_dir(), "");
}

// ---------------------------------------------------------------- mutexes

TEST_F(Platform, SecondCreateOfAHeldMutexReportsIt) {
  bool existed = true;
  auto first = afp::NamedMutex::create_owned("Keep_AF_Alive_Mutex", existed);
  ASSERT_TRUE(first);
  EXPECT_TRUE(first->owned());
  EXPECT_FALSE(existed);

  bool again = false;
  EXPECT_EQ(afp::NamedMutex::create_owned("Keep_AF_Alive_Mutex", again), nullptr);
  EXPECT_TRUE(again);

  // Another name is another mutex.
  bool other = true;
  EXPECT_TRUE(afp::NamedMutex::create_owned("Only_One_Instance_Of_AF", other));
  EXPECT_FALSE(other);

  // Released, it can be created owned again.
  first.reset();
  bool third = true;
  EXPECT_TRUE(afp::NamedMutex::create_owned("Keep_AF_Alive_Mutex", third));
  EXPECT_FALSE(third);
}

TEST_F(Platform, MutexHeldByAnotherProcessIsReported) {
  auto holder = helper({"hold", "Held", "10000"});
  ASSERT_TRUE(holder);
  EXPECT_EQ(holder->read_line(), "owned\n");
  bool existed = false;
  EXPECT_EQ(afp::NamedMutex::create_owned("Held", existed), nullptr);
  EXPECT_TRUE(existed);
  holder->terminate();
  holder->wait();
}

TEST_F(Platform, WaitReturnsAtOnceWithoutHolder) {
  auto t0 = Clock::now();
  afp::NamedMutex::wait_for("Never_Created");
  EXPECT_LT(ms_since(t0), 200);
  EXPECT_FALSE(fs::exists(base_ / "run" / "arcflex" / "Never_Created.lock"));

  // Created and released earlier: nobody holds it now.
  bool existed = false;
  afp::NamedMutex::create_owned("Released", existed).reset();
  t0 = Clock::now();
  afp::NamedMutex::wait_for("Released");
  EXPECT_LT(ms_since(t0), 200);

  // A name that would leave the run-time folder is no mutex at all.
  afp::NamedMutex::wait_for("../escape");
  EXPECT_EQ(afp::NamedMutex::create_owned("../escape", existed), nullptr);
  EXPECT_FALSE(existed);
}

TEST_F(Platform, WaiterReturnsWhenTheHolderEnds) {
  auto holder = helper({"hold", "Keep_AF_Alive_Mutex", "400"});
  ASSERT_TRUE(holder);
  ASSERT_EQ(holder->read_line(), "owned\n");
  auto t0 = Clock::now();
  afp::NamedMutex::wait_for("Keep_AF_Alive_Mutex");
  double waited = ms_since(t0);
  EXPECT_GT(waited, 250);
  EXPECT_LT(waited, 5000);
  EXPECT_EQ(holder->wait(5000), 0);
}

TEST_F(Platform, WaiterReturnsWhenTheHolderIsKilled) {
  for (int sig : {SIGKILL, SIGTERM}) {
    auto holder = helper({"hold", "Keep_AF_Alive_Mutex", "60000"});
    ASSERT_TRUE(holder);
    ASSERT_EQ(holder->read_line(), "owned\n");
    std::atomic<bool> returned{false};
    std::thread waiter([&] {
      afp::NamedMutex::wait_for("Keep_AF_Alive_Mutex");
      returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(returned) << "the waiter must block while the holder lives";
    ASSERT_EQ(::kill(holder->pid(), sig), 0);
    EXPECT_TRUE(eventually([&] { return returned.load(); }, 5000)) << "signal " << sig;
    waiter.join();
    EXPECT_EQ(holder->wait(2000), 128 + sig);
  }
}

TEST_F(Platform, ChildrenDoNotInheritTheLock) {
  auto holder = helper({"hold-spawn", "Keep_AF_Alive_Mutex", "300"});
  ASSERT_TRUE(holder);
  std::string spawned = holder->read_line();
  ASSERT_EQ(spawned.rfind("spawned ", 0), 0u) << spawned;
  const pid_t grandchild = std::stoi(spawned.substr(8));
  ASSERT_EQ(holder->read_line(), "owned\n");
  auto t0 = Clock::now();
  afp::NamedMutex::wait_for("Keep_AF_Alive_Mutex");
  EXPECT_LT(ms_since(t0), 3000);
  // The holder is gone, its children still run, and the lock is free.
  EXPECT_EQ(holder->wait(2000), 0);
  EXPECT_EQ(::kill(grandchild, 0), 0) << "the spawned child should still run";
  bool existed = true;
  EXPECT_TRUE(afp::NamedMutex::create_owned("Keep_AF_Alive_Mutex", existed));
  EXPECT_FALSE(existed);
  ::kill(grandchild, SIGKILL);
}

// ---------------------------------------------------------------- pipe

class Collector {
 public:
  explicit Collector(afp::PipeServer& server) {
    thread_ = std::thread([this, &server] {
      while (!stop_ && server.accept()) {
        std::string connection;
        char buf[1024];
        for (std::int64_t n; (n = server.read(buf, 1023)) > 0;) {
          connection.append(buf, static_cast<std::size_t>(n));
          std::lock_guard<std::mutex> g(m_);
          ++reads_;
        }
        server.disconnect();
        std::lock_guard<std::mutex> g(m_);
        got_.push_back(connection);
      }
    });
  }
  void finish(const std::string& pipe) {
    stop_ = true;
    afp::pipe_send(pipe, "");  // wakes the accept
    thread_.join();
  }
  std::vector<std::string> got() {
    std::lock_guard<std::mutex> g(m_);
    return got_;
  }

 private:
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex m_;
  std::vector<std::string> got_;
  int reads_ = 0;
};

TEST_F(Platform, PipeServerGetsCommandsFromSuccessiveClients) {
  auto server = afp::PipeServer::create("Arcflex_Pipe");
  ASSERT_TRUE(server);
  Collector collector(*server);
  const std::string big(100000, 'x');
  for (const std::string& cmd : std::vector<std::string>{"load", "quit", "load", big}) {
    EXPECT_TRUE(afp::pipe_send("Arcflex_Pipe", cmd));
  }
  EXPECT_TRUE(eventually([&] { return collector.got().size() == 4; }, 5000));
  auto got = collector.got();
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0], "load");
  EXPECT_EQ(got[1], "quit");
  EXPECT_EQ(got[2], "load");
  EXPECT_EQ(got[3], big);
  collector.finish("Arcflex_Pipe");
}

TEST_F(Platform, PipeSocketIsOwnerOnlyWhateverTheUmask) {
  const mode_t old = umask(0);
  auto server = afp::PipeServer::create("Arcflex_Pipe");
  umask(old);
  ASSERT_TRUE(server);
  struct stat st {};
  ASSERT_EQ(lstat((base_ / "run" / "arcflex" / "Arcflex_Pipe").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & (S_IFMT | 07777), S_IFSOCK | 0600u);
}

TEST_F(Platform, PipeClientFailsCleanlyWithoutServer) {
  EXPECT_FALSE(afp::pipe_send("Arcflex_Pipe", "quit"));
  EXPECT_FALSE(afp::pipe_send("../Arcflex_Pipe", "quit"));
  EXPECT_EQ(afp::PipeServer::create("a/b"), nullptr);

  // A server that was killed leaves its socket file behind: clients still
  // fail cleanly, and a new server takes the name over.
  auto dead = helper({"serve-pipe", "Arcflex_Pipe"});
  ASSERT_TRUE(dead);
  ASSERT_EQ(dead->read_line(), "serving\n");
  EXPECT_EQ(afp::PipeServer::create("Arcflex_Pipe"), nullptr) << "a live server keeps its name";
  dead->terminate();
  dead->wait();
  EXPECT_TRUE(fs::exists(base_ / "run" / "arcflex" / "Arcflex_Pipe"));
  EXPECT_FALSE(afp::pipe_send("Arcflex_Pipe", "quit"));

  auto server = afp::PipeServer::create("Arcflex_Pipe");
  ASSERT_TRUE(server);
  Collector collector(*server);
  EXPECT_TRUE(afp::pipe_send("Arcflex_Pipe", "load"));
  EXPECT_TRUE(eventually([&] { return collector.got().size() == 1; }, 5000));
  collector.finish("Arcflex_Pipe");
  server.reset();
  EXPECT_FALSE(fs::exists(base_ / "run" / "arcflex" / "Arcflex_Pipe")) << "the server removes its name";
}

TEST_F(Platform, PipeReadReportsTheClosedClient) {
  auto server = afp::PipeServer::create("Arcflex_Pipe");
  ASSERT_TRUE(server);
  EXPECT_TRUE(afp::pipe_send("Arcflex_Pipe", "lo"));  // queued until accepted
  ASSERT_TRUE(server->accept());
  char buf[16];
  EXPECT_EQ(server->read(buf, sizeof buf), 2);
  EXPECT_EQ(server->read(buf, sizeof buf), -1);
  server->disconnect();
  EXPECT_EQ(server->read(buf, sizeof buf), -1) << "no client after disconnect";
}

// ---------------------------------------------------------------- processes

TEST_F(Platform, ChildOutputAndExitCodeComeBack) {
  auto child = helper({"echo", "two words", ""});
  ASSERT_TRUE(child);
  std::string out = read_all(*child);
  EXPECT_NE(out.find("to stdout [two words] []\n"), std::string::npos) << out;
  EXPECT_NE(out.find("to stderr\n"), std::string::npos) << out;
  EXPECT_EQ(child->wait(5000), 7);
  EXPECT_EQ(child->poll(), 7);
  EXPECT_EQ(child->read_line(), "");

  for (auto [arg, code] : {std::pair{"0", 0}, {"8", 8}, {"-1", 255}}) {
    auto c = helper({"exit", arg});
    ASSERT_TRUE(c);
    EXPECT_EQ(c->wait(5000), code) << arg;
  }
}

TEST_F(Platform, ChildLinesAndEndOfOutput) {
  auto child = helper({"echo", "x"});
  ASSERT_TRUE(child);
  EXPECT_EQ(child->read_line(), "to stdout [x]\n");
  EXPECT_EQ(child->read_line(), "to stderr\n");
  EXPECT_EQ(child->read_line(), "");
  child->wait();
}

TEST_F(Platform, TerminateGivesExitCodeOne) {
  auto child = helper({"hold", "T", "60000"});
  ASSERT_TRUE(child);
  ASSERT_EQ(child->read_line(), "owned\n");
  auto t0 = Clock::now();
  EXPECT_EQ(child->wait(100), std::nullopt);
  EXPECT_GE(ms_since(t0), 90);
  EXPECT_EQ(child->poll(), std::nullopt);
  EXPECT_TRUE(child->terminate());
  EXPECT_EQ(child->wait(5000), 1);
  EXPECT_FALSE(child->terminate()) << "already ended";
  EXPECT_EQ(child->wait(0), 1);
}

TEST_F(Platform, MissingProgramFailsWithAReason) {
  std::string error;
  EXPECT_EQ(afp::ChildProcess::start((base_ / "no-such-program").string(), {}, &error), nullptr);
  EXPECT_NE(error.find("no-such-program"), std::string::npos) << error;
}

TEST_F(Platform, ChildGetsNoDescriptorOfOurs) {
  // Descriptors opened without close-on-exec (as some libraries do) stay
  // out of the child too.
  int leaky = open("/dev/null", O_RDONLY);
  ASSERT_GE(leaky, 3);
  auto child = helper({"fds"});
  ASSERT_TRUE(child);
  EXPECT_EQ(child->read_line(), "0 1 2 \n");
  child->wait();
  close(leaky);
}

TEST_F(Platform, ChildKeepsDefaultSignalsWhenWeIgnoreSigpipe) {
  afp::ignore_broken_pipe_signal();
  auto child = helper({"sigpipe"});
  ASSERT_TRUE(child);
  EXPECT_EQ(child->wait(5000), 128 + SIGPIPE);
  signal(SIGPIPE, SIG_DFL);
}

TEST_F(Platform, ElevatedStartIsAPlainStartInTheWorkingFolder) {
  const fs::path work = base_ / "AF_Driver";
  fs::create_directories(work);
  fs::copy_file(kHelper, work / "installer");
  const fs::path record = base_ / "record.txt";
  auto started = afp::start_elevated("installer", "write-cwd " + record.string() + " /I", work.string());
  EXPECT_GT(started.result, 32);
  ASSERT_TRUE(started.process);
  // The started program is followed to its end and its exit code read.
  EXPECT_EQ(started.process->wait(5000), 0);
  EXPECT_EQ(aftest::read_file(record), work.string() + "\n/I\n");
  char c;
  EXPECT_EQ(started.process->read(&c, 1), -1);  // nothing to read from it

  auto failing = afp::start_elevated("installer", "exit 7", work.string());
  ASSERT_TRUE(failing.process);
  EXPECT_EQ(failing.process->wait(5000), 7);

  auto missing = afp::start_elevated("missing", "/I", work.string());
  EXPECT_EQ(missing.result, 2);
  EXPECT_FALSE(missing.process);
  auto empty = afp::start_elevated("", "", "");
  EXPECT_LE(empty.result, 32);
  EXPECT_FALSE(empty.process);
}

TEST_F(Platform, EnvironmentReachesChildren) {
  EXPECT_TRUE(afp::set_env("ARCFLEX", "running"));
  EXPECT_EQ(afp::get_env("ARCFLEX"), "running");
  EXPECT_EQ(afp::get_env("AF_SURELY_UNSET_VARIABLE"), std::nullopt);
  EXPECT_FALSE(afp::set_env("A=B", "x"));
  EXPECT_FALSE(afp::set_env("", "x"));
  auto child = helper({"env", "ARCFLEX"});
  ASSERT_TRUE(child);
  EXPECT_EQ(child->read_line(), "set:running\n");
  child->wait();
}

TEST_F(Platform, HardExitSkipsAllCleanUp) {
  auto child = helper({"hard-exit"});
  ASSERT_TRUE(child);
  EXPECT_EQ(read_all(*child), "") << "no atexit handler, no stdio flush";
  EXPECT_EQ(child->wait(5000), 3);
}

TEST_F(Platform, PerfCounterIsMonotonicMilliseconds) {
  EXPECT_EQ(afp::perf_frequency(), 1000000000);
  std::int64_t a = afp::perf_counter();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  std::int64_t b = afp::perf_counter();
  double ms = (b - a) * 1000.0 / afp::perf_frequency();
  EXPECT_GE(ms, 19.0);
  EXPECT_LT(ms, 2000.0);
}

}  // namespace

namespace {

TEST_F(Platform, TerminateWhileAnotherThreadWaits) {
  auto child = helper({"hold", "W", "60000"});
  ASSERT_TRUE(child);
  ASSERT_EQ(child->read_line(), "owned\n");
  std::optional<int> code;
  std::thread waiter([&] { code = child->wait(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(child->terminate());
  waiter.join();
  EXPECT_EQ(code, 1);
}

}  // namespace
