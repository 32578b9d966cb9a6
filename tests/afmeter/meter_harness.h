// Runs the real afmeter program against the stand-in driver in private
// folders: writes "p.dat", starts the driver with its log, holds the
// editor's keep-alive mutex, collects the meter's output on a thread.
#pragma once

#include <gtest/gtest.h>

#include <platform/mutex.h>
#include <platform/process.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "af_test_env.h"
#include "log.h"  // the stand-in driver's log records

namespace metertest {

using Clock = std::chrono::steady_clock;
using afmouse::LogRecord;

inline std::filesystem::path meter_program() { return AFMETER_PROGRAM; }
inline std::filesystem::path driver_program() { return AFMOUSE_PROGRAM; }

// Waits until `done` holds, checking every 5 ms; false after `timeout_ms`.
inline bool eventually(const std::function<bool()>& done, int timeout_ms) {
  const auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (done()) return true;
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// A child process whose output a thread collects.
class Collected {
 public:
  explicit Collected(std::unique_ptr<afp::ChildProcess> child) : child_(std::move(child)) {
    reader_ = std::thread([this] {
      char buf[4096];
      for (;;) {
        const std::int64_t n = child_->read(buf, sizeof buf);
        std::lock_guard<std::mutex> lock(m_);
        if (n <= 0) {
          ended_ = true;
          break;
        }
        text_.append(buf, static_cast<std::size_t>(n));
      }
      cv_.notify_all();
    });
  }
  ~Collected() {
    child_->terminate();
    reader_.join();
  }

  std::string text() {
    std::lock_guard<std::mutex> lock(m_);
    return text_;
  }
  // Waits until the output holds `needle` (counting from `from`).
  bool wait_for_text(const std::string& needle, int timeout_ms, std::size_t from = 0) {
    return eventually([&] { return text().find(needle, from) != std::string::npos; }, timeout_ms);
  }
  // Waits for the end of the output, then for the exit code.
  std::optional<int> wait_exit(int timeout_ms) {
    std::optional<int> code = child_->wait(timeout_ms);
    if (code) eventually([&] { std::lock_guard<std::mutex> l(m_); return ended_; }, 2000);
    return code;
  }
  std::optional<int> poll() { return child_->poll(); }
  afp::ChildProcess& child() { return *child_; }

 private:
  std::unique_ptr<afp::ChildProcess> child_;
  std::thread reader_;
  std::mutex m_;
  std::condition_variable cv_;
  std::string text_;
  bool ended_ = false;
};

// The report lines of an output, without their CR LF ends; the test fails
// when a line lacks its CR.
inline std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t nl = text.find('\n', start);
    if (nl == std::string::npos) break;
    std::string line = text.substr(start, nl - start);
    EXPECT_TRUE(!line.empty() && line.back() == '\r') << "line without CR LF: " << line;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = nl + 1;
  }
  return lines;
}

class MeterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = aftest::isolate_environment();
    settings_ = base_ / "localappdata" / "Arcflex LE" / "settings";
    std::filesystem::create_directories(settings_);
    log_ = base_ / "driver.log";
  }

  void write_pdat(const std::string& text) { aftest::write_file(settings_ / "p.dat", text); }

  // Starts the stand-in driver and waits until it serves the port.
  void start_driver(std::vector<std::string> args = {"--zeros"}) {
    args.insert(args.begin(), {"--log", log_.string()});
    std::string error;
    auto child = afp::ChildProcess::start(driver_program().string(), args, &error);
    ASSERT_TRUE(child) << error;
    driver_ = std::make_unique<Collected>(std::move(child));
    ASSERT_TRUE(eventually([&] { return log_text().find("event=listening") != std::string::npos; },
                           5000))
        << driver_->text();
  }

  void stop_driver() { driver_.reset(); }

  // Holds "Keep_AF_Alive_Mutex" as the editor does.
  void hold_keep_alive() {
    bool existed = false;
    keep_alive_ = afp::NamedMutex::create_owned("Keep_AF_Alive_Mutex", existed);
    ASSERT_TRUE(keep_alive_ && !existed);
  }
  void release_keep_alive() { keep_alive_.reset(); }

  std::unique_ptr<Collected> start_meter() {
    std::string error;
    auto child = afp::ChildProcess::start(meter_program().string(), {}, &error);
    EXPECT_TRUE(child) << error;
    if (!child) return nullptr;
    return std::make_unique<Collected>(std::move(child));
  }

  std::string log_text() { return aftest::read_file(log_); }

  // The driver's records of received messages, in order.
  std::vector<LogRecord> messages(std::optional<std::string> cmd = std::nullopt) {
    std::vector<LogRecord> out;
    for (auto& r : afmouse::read_log(log_.string())) {
      if (!r.count("cmd")) continue;
      if (cmd && r["cmd"] != *cmd) continue;
      out.push_back(r);
    }
    return out;
  }

  // Messages other than speed queries.
  std::vector<LogRecord> commands() {
    std::vector<LogRecord> out;
    for (auto& r : messages()) {
      if (r["cmd"] != "19") out.push_back(r);
    }
    return out;
  }

  std::filesystem::path base_, settings_, log_;
  std::unique_ptr<Collected> driver_;
  std::unique_ptr<afp::NamedMutex> keep_alive_;
};

}  // namespace metertest
