#include "meter.h"

#include <platform/clock.h>
#include <platform/mutex.h>
#include <platform/paths.h>
#include <platform/pipe.h>
#include <platform/port.h>
#include <platform/process.h>
#include <platform/rawkeys.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <thread>

namespace afmeter {

std::recursive_mutex g_out_mutex;
afp::DriverPort* g_port = nullptr;
CurveSlots g_slots;

namespace {

// Held while a load the editor asked for reads the file and uploads it, so
// that an end decided meanwhile waits for the driver to take the curve.
std::timed_mutex g_load_mutex;

// The longest an end waits for an upload begun before it: a driver that
// takes no message for this long does not keep the meter.
constexpr std::chrono::seconds kUploadWait{3};

// The port name as the filter manager spells it.
constexpr const char* kPortName = "\\AF_D_UserKernelCommPort";

// Connects g_port when it is not connected yet; once connected it is never
// replaced, closed or reconnected.
bool ensure_port() {
  if (!g_port) g_port = afp::DriverPort::connect(kPortName).release();
  return g_port != nullptr;
}

// Writes one line while the caller holds g_out_mutex. A failed write (the
// reader has gone) leaves the stream usable for the next line.
void put_line(std::string_view text) {
  try {
    std::cout << text << kLineEnd << std::flush;
    if (!std::cout) std::cout.clear();
  } catch (...) {
    std::cout.clear();
  }
}

// A file system path from UTF-8 text; on Windows it opens the file by its
// wide name, so folders outside the ANSI code page are found as well.
std::filesystem::path utf8_path(const std::string& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string join(const std::string& folder, std::initializer_list<const char*> parts) {
  std::string path = folder;
  for (const char* p : parts) {
    path += afp::path_separator();
    path += p;
  }
  return path;
}

}  // namespace

[[noreturn]] void exit_meter() {
  // Never released: no load begins after the decision to end.
  (void)g_load_mutex.try_lock_for(kUploadWait);
  afp::hard_exit(1);
}

void write_line(std::string_view text) {
  std::lock_guard<std::recursive_mutex> lock(g_out_mutex);
  put_line(text);
}

std::string curve_file_path(const std::string& data_folder) {
  return join(data_folder, {"Arcflex LE", "settings", "p.dat"});
}

std::optional<CurveFile> read_curve_at(const std::string& path) {
  // A FIFO or device in the file's place is refused before it is opened:
  // opening it could wait for ever.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(utf8_path(path), ec)) return std::nullopt;
  std::ifstream in(utf8_path(path));
  if (!in) return std::nullopt;
  return read_curve_file(in);
}

int upload_curve() {
  Message m = allocate_message(kSetCurveSize);
  if (!m.bytes) return 5;
  fill_set_curve(m.bytes.get(), g_slots);
  if (!ensure_port()) return 6;
  const afp::PortResult r = g_port->send(m.bytes.get(), m.size);
  return r.status == afp::kPortOk ? 0 : 6;
}

int load_curve() {
  const std::string folder = afp::local_app_data();
  if (folder.empty()) return 10;
  {
    // The earlier curve file is opened as it always was, and not read.
    std::ifstream legacy(utf8_path(join(folder, {"Arcflex", "settings", "active_curve.dat"})));
  }
  try {
    const std::optional<CurveFile> file = read_curve_at(curve_file_path(folder));
    g_slots.assign(file ? *file : missing_curve_file());
  } catch (...) {
    return 16;  // no memory for the curve state: nothing can be sent
  }
  return upload_curve() == 0 ? 0 : 16;
}

void send_setup_messages() {
  for (const SetupMessage& s : setup_messages()) {
    Message m = allocate_message(s.size);
    if (!m.bytes) continue;
    fill_setup_message(m.bytes.get(), s);
    if (!ensure_port()) continue;
    g_port->send(m.bytes.get(), m.size);
  }
}

int query_speed(double& a, double& b, double& c) {
  Message m = allocate_message(kGetSpeedSize);
  if (!m.bytes) return 5;
  fill_get_speed(m.bytes.get());
  std::uint8_t reply[kSpeedReplySize] = {};
  if (ensure_port()) {
    const afp::PortResult r = g_port->send(m.bytes.get(), m.size, reply, sizeof reply);
    if (afp::port_succeeded(r.status) && r.bytes_returned >= kSpeedReplySize) {
      const auto v = read_speed_reply(reply);
      a = v[0];
      b = v[1];
      c = v[2];
      return 0;
    }
  }
  a = 0.0;
  b = 0.0;
  return 6;
}

void keep_alive_thread() {
  // Returns when the editor releases the mutex, ends, or never made it.
  afp::NamedMutex::wait_for(kKeepAliveMutex);
  exit_meter();
}

void pipe_thread() {
  std::unique_ptr<afp::PipeServer> server = afp::PipeServer::create(kPipeName);
  if (!server) exit_meter();
  char buffer[1024];
  for (;;) {
    if (!server->accept()) {
      server->disconnect();
      // A failing accept is retried, but not in a tight loop.
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    for (;;) {
      const std::int64_t n = server->read(buffer, sizeof buffer - 1);
      if (n <= 0) {
        server->disconnect();
        break;
      }
      buffer[n] = '\0';
      switch (match_pipe_command(buffer, static_cast<std::size_t>(n))) {
        case PipeCommand::load: {
          std::lock_guard<std::timed_mutex> loading(g_load_mutex);
          const int result = load_curve();
          write_line(result == 0 ? kLineLoaded : kLineLoadFailed);
          break;
        }
        case PipeCommand::quit:
          exit_meter();
        case PipeCommand::none:
          break;
      }
    }
  }
}

void speed_thread() {
  SpeedWindow window(afp::perf_counter(), afp::perf_frequency());
  double a = 0.0, b = 0.0, c = 0.0;
  for (;;) {
    if (query_speed(a, b, c) != 0) return;
    std::unique_lock<std::recursive_mutex> lock(g_out_mutex, std::try_to_lock);
    if (!lock.owns_lock()) continue;  // a writer is busy: this sample is dropped
    if (const auto line = window.sample(a, b, c, afp::perf_counter())) {
      put_line(format_speed_line((*line)[0], (*line)[1], (*line)[2]));
    }
  }
}

namespace {

class KeyLines : public afp::RawKeyboardSink {
 public:
  void key_record(const afp::RawKeyRecord& record) override {
    std::lock_guard<std::recursive_mutex> lock(g_out_mutex);
    if (const auto line = state_.record(record.vkey, record.flags)) put_line(*line);
  }
  void window_ending() override { exit_meter(); }

 private:
  ModifierState state_;
};

}  // namespace

void window_thread() {
  KeyLines sink;
  afp::run_raw_keyboard(sink);  // returns only when the window cannot run on
  exit_meter();
}

int meter_main() {
  afp::ignore_broken_pipe_signal();
  bool existed = false;
  // Held, never released, until the process ends; a static keeps it
  // reachable, so an early return is no leak.
  static afp::NamedMutex* const instance = afp::NamedMutex::create_owned(kInstanceMutex, existed).release();
  (void)instance;
  if (existed) return 1;

  if (load_curve() != 0) return 8;
  send_setup_messages();

  // The three workers run until the process ends; nothing waits for them.
  std::thread(window_thread).detach();
  std::thread keep_alive(keep_alive_thread);
  std::thread(pipe_thread).detach();
  std::thread(speed_thread).detach();
  keep_alive.join();
  exit_meter();
}

}  // namespace afmeter
