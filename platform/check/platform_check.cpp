// af_platform_check: exercises the Windows platform layer on a Windows
// system (or under wine). "selftest" runs every check and prints one
// PASS/FAIL line each; exit code 0 only when all passed. The other
// commands are the child programs the checks start.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/mutex.h"
#include "platform/paths.h"
#include "platform/pipe.h"
#include "platform/port.h"
#include "platform/process.h"

namespace {

int failures = 0;

void check(bool ok, const std::string& name, const std::string& detail = "") {
  std::printf("%s %s%s%s\n", ok ? "PASS" : "FAIL", name.c_str(), detail.empty() ? "" : ": ", detail.c_str());
  std::fflush(stdout);
  if (!ok) ++failures;
}

std::string self_path() {
  wchar_t buf[MAX_PATH * 2];
  DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH * 2);
  std::string out;
  for (DWORD i = 0; i < n; ++i) out += static_cast<char>(buf[i] < 128 ? buf[i] : '?');
  return out;
}

std::string read_all(afp::ChildProcess& child) {
  std::string out;
  char buf[256];
  for (std::int64_t n; (n = child.read(buf, sizeof buf)) > 0;) out.append(buf, static_cast<std::size_t>(n));
  return out;
}

double ms_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

int selftest() {
  const std::string self = self_path();
  const std::string tag = std::to_string(GetCurrentProcessId());

  std::string lad = afp::local_app_data();
  check(!lad.empty() && lad.back() != '\\', "local_app_data", lad);
  check(afp::path_separator() == '\\' && afp::executable_name("afmeter") == "afmeter.exe", "names");

  std::int64_t c0 = afp::perf_counter();
  Sleep(20);
  std::int64_t c1 = afp::perf_counter();
  double elapsed = (c1 - c0) * 1000.0 / afp::perf_frequency();
  check(afp::perf_frequency() > 0 && elapsed >= 10 && elapsed < 2000, "perf_counter", std::to_string(elapsed) + " ms");

  check(afp::set_env("AF_CHECK_VAR", "x y") && afp::get_env("AF_CHECK_VAR").value_or("") == "x y" &&
            !afp::get_env("AF_CHECK_MISSING_" + tag),
        "environment");

  // Mutexes.
  const std::string m1 = "AF_Check_Mutex_" + tag;
  bool existed = true;
  auto held = afp::NamedMutex::create_owned(m1, existed);
  check(held && held->owned() && !existed, "mutex create owned");
  bool existed2 = false;
  auto second = afp::NamedMutex::create_owned(m1, existed2);
  check(existed2 && (!second || !second->owned()), "mutex second create reports existed");
  auto t0 = std::chrono::steady_clock::now();
  afp::NamedMutex::wait_for("AF_Check_Missing_" + tag);
  check(ms_since(t0) < 500, "mutex wait without holder returns");

  const std::string m2 = "AF_Check_Held_" + tag;
  auto holder = afp::ChildProcess::start(self, {"hold", m2, "400"});
  std::string first = holder ? holder->read_line() : "";
  check(first.rfind("owned", 0) == 0, "child holds mutex", first);
  bool existed3 = false;
  auto probe = afp::NamedMutex::create_owned(m2, existed3);
  check(existed3, "mutex held by child reported");
  probe.reset();
  t0 = std::chrono::steady_clock::now();
  afp::NamedMutex::wait_for(m2);
  double waited = ms_since(t0);
  check(waited > 150 && waited < 5000, "mutex wait ends with holder", std::to_string(waited) + " ms");
  if (holder) holder->wait(5000);

  const std::string m3 = "AF_Check_Killed_" + tag;
  auto victim = afp::ChildProcess::start(self, {"hold", m3, "60000"});
  std::string vline = victim ? victim->read_line() : "";
  std::atomic<bool> returned{false};
  std::thread waiter([&] {
    afp::NamedMutex::wait_for(m3);
    returned = true;
  });
  Sleep(200);
  bool early = returned;
  bool terminated = victim && victim->terminate();
  auto code = victim ? victim->wait(5000) : std::nullopt;
  waiter.join();
  check(vline.rfind("owned", 0) == 0 && !early && terminated && returned && code && *code == 1,
        "terminated holder: wait returns, exit code 1");

  // Child output and exit code.
  std::string error;
  auto child = afp::ChildProcess::start(self, {"child", "two words", "q\"uote"}, &error);
  std::string out = child ? read_all(*child) : error;
  const int ccode = child ? child->wait(5000).value_or(-1) : -1;
  check(out.find("out line") != std::string::npos && out.find("err line") != std::string::npos &&
            out.find("[two words][q\"uote]") != std::string::npos,
        "child output piped", out);
  check(ccode == 7, "child exit code", std::to_string(ccode));
  check(!afp::ChildProcess::start(self + ".missing.exe", {}), "missing program fails");

  // Pipe.
  const std::string pipe = "AF_Check_Pipe_" + tag;
  check(!afp::pipe_send(pipe, "load"), "pipe client without server fails");
  auto server = afp::PipeServer::create(pipe);
  check(server != nullptr, "pipe server created");
  check(!afp::PipeServer::create(pipe), "second pipe server refused");
  std::vector<std::string> got;
  std::thread reader([&] {
    while (server && got.size() < 2 && server->accept()) {
      char buf[1024];
      for (std::int64_t n; (n = server->read(buf, 1023)) > 0;) got.emplace_back(buf, static_cast<std::size_t>(n));
      server->disconnect();
    }
  });
  for (const char* cmd : {"load", "quit"}) {
    bool sent = false;
    for (int i = 0; i < 80 && !sent; ++i) {
      sent = afp::pipe_send(pipe, cmd);
      if (!sent) Sleep(50);
    }
    check(sent, std::string("pipe send ") + cmd);
  }
  reader.join();
  check(got.size() == 2 && got[0] == "load" && got[1] == "quit", "pipe server got both commands");

  // Files: one another handle holds open is reported in use; a removal's
  // name is gone at once (renamed away, written through, over a leftover
  // of that rename), and nothing is left beside it.
  const std::string dir = afp::local_app_data() + "\\af_check_" + tag, file = dir + "\\p.dat";
  bool removed = true, made = CreateDirectoryA(dir.c_str(), nullptr) && !afp::write_new_file(file, "1") &&
                              !afp::write_new_file(file + ".del", "0");
  HANDLE h = CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  std::string wrong;  // the reasons that do not say so
  for (int err : {afp::remove_file(file, &removed), afp::durable_rename(file + ".del", file),
                  afp::durable_rename(file, file + ".x"), afp::write_new_file(file, "3")})
    wrong += afp::error_text(err) == "File in use by another program" ? "" : '[' + afp::error_text(err) + ']';
  CloseHandle(h);
  check(made && h != INVALID_HANDLE_VALUE && wrong.empty() && !removed, "file held open: reason in use", wrong);
  h = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  const bool gone_at_once = h != INVALID_HANDLE_VALUE && !afp::remove_file(file, &removed) && removed &&
                            GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES;
  CloseHandle(h);
  check(gone_at_once && !afp::write_new_file(file, "4", 0444) && !afp::remove_file(file) &&
            !afp::remove_file(file, &removed) && !removed && RemoveDirectoryA(dir.c_str()),
        "removal: gone at once while held open, read-only, missing, nothing left beside");

  // Driver port: without the driver the connect fails cleanly.
  auto port = afp::DriverPort::connect();
  std::printf("INFO driver port %s\n", port ? "connected" : "absent");
  check(true, "driver port connect returns");

  std::printf("%s\n", failures ? "SELFTEST FAILED" : "SELFTEST OK");
  return failures ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string cmd = argc > 1 ? argv[1] : "";
  if (cmd == "selftest") return selftest();
  if (cmd == "child") {
    std::printf("out line ");
    for (int i = 2; i < argc; ++i) std::printf("[%s]", argv[i]);
    std::printf("\n");
    std::fflush(stdout);
    std::fprintf(stderr, "err line\n");
    return 7;
  }
  if (cmd == "hold" && argc == 4) {
    bool existed = false;
    auto m = afp::NamedMutex::create_owned(argv[2], existed);
    std::printf("%s\n", m && m->owned() ? "owned" : "existed");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(std::atoi(argv[3])));
    return 0;
  }
  std::fprintf(stderr, "usage: af_platform_check selftest\n");
  return 2;
}
