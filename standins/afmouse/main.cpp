// afmouse: a stand-in for the afmouse driver's communication port, so the
// meter can upload curves and read speeds on Linux. Not part of what the
// system ships.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>

#include "feed.h"
#include "log.h"
#include "platform/port.h"
#include "platform/rundir.h"
#include "server.h"
#include "socket_util.h"  // the Linux layer's Unix socket helpers
#include "xmotion.h"


namespace {

const char* kUsage =
    "usage: afmouse [options]\n"
    "Serves the driver port <rundir>/AF_D_UserKernelCommPort until SIGTERM or SIGINT.\n"
    "  --log FILE          log every message (default: $AF_MOUSE_LOG; none when unset)\n"
    "  --port PATH         socket path instead of the run-time folder's port\n"
    "  --speed A,B,C       answer every speed query with this triple\n"
    "  --zeros             answer every speed query with zeros\n"
    "  --script FILE       triples from FILE, lines \"A B C [N]\" (N replies each)\n"
    "  --script-end MODE   after the script: zeros (default), last, loop\n"
    "  --speed-file FILE   the triple on FILE's first line, re-read when it changes\n"
    "  --no-x              do not use the X display (zeros unless a feed is given)\n"
    "  --pace-us N         wait up to N us for motion before a speed reply (default 1000);\n"
    "                      a pointer at rest (zeros) waits up to 100 ms; 0 never waits\n"
    "  --curve-status S    status answered to set_curve (default 0; e.g. 1, 0x80070005)\n"
    "  --short-reply N     answer speed queries with only N reply bytes\n"
    "  --stop-after N      answer N speed queries, then stop (see --stop-mode)\n"
    "  --stop-mode MODE    fail (failure status, default), close (drop the connection),\n"
    "                      hang (never answer)\n"
    "  --probe             exit 0 when a driver port is served, else 1\n"
    "Without a feed option the speeds come from XInput2 raw motion when a display\n"
    "is there, else zeros. Exit codes: 0 stopped, 1 probe found none, 2 bad usage,\n"
    "3 the port is already served or cannot be created.\n";

int stop_pipe[2] = {-1, -1};

void on_stop(int) {
  char c = 1;
  ssize_t ignored = write(stop_pipe[1], &c, 1);
  (void)ignored;
}

long parse_long(const std::string& s, const char* what) {
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(s.c_str(), &end, 0);
  if (s.empty() || *end || errno || v < 0) throw std::runtime_error(std::string("bad ") + what + ": " + s);
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  std::string log_path = std::getenv("AF_MOUSE_LOG") ? std::getenv("AF_MOUSE_LOG") : "";
  std::string port_path;
  std::string speed, script, script_end = "zeros", speed_file;
  bool zeros = false, no_x = false, probe = false;
  afmouse::ServerOptions options;
  try {
    for (int i = 1; i < argc; ++i) {
      std::string a = argv[i];
      auto value = [&]() -> std::string {
        if (i + 1 >= argc) throw std::runtime_error(a + " needs a value");
        return argv[++i];
      };
      if (a == "--log") log_path = value();
      else if (a == "--port") port_path = value();
      else if (a == "--speed") speed = value();
      else if (a == "--zeros") zeros = true;
      else if (a == "--script") script = value();
      else if (a == "--script-end") script_end = value();
      else if (a == "--speed-file") speed_file = value();
      else if (a == "--no-x") no_x = true;
      else if (a == "--pace-us") options.pace = std::chrono::microseconds(parse_long(value(), "pace"));
      else if (a == "--curve-status") {
        std::string s = value();
        char* end = nullptr;
        long long v = std::strtoll(s.c_str(), &end, 0);
        if (s.empty() || *end || v < INT32_MIN || v > UINT32_MAX) throw std::runtime_error("bad status: " + s);
        options.curve_status = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
      } else if (a == "--short-reply") options.short_reply = parse_long(value(), "reply size");
      else if (a == "--stop-after") options.stop_after = parse_long(value(), "query count");
      else if (a == "--stop-mode") {
        options.stop_mode = value();
        if (options.stop_mode != "fail" && options.stop_mode != "close" && options.stop_mode != "hang") {
          throw std::runtime_error("bad stop mode: " + options.stop_mode);
        }
      } else if (a == "--probe") probe = true;
      else if (a == "--help" || a == "-h") {
        std::cout << kUsage;
        return 0;
      } else {
        throw std::runtime_error("unknown option " + a);
      }
    }
  } catch (const std::exception& e) {
    std::cerr << "afmouse: " << e.what() << "\n" << kUsage;
    return 2;
  }

  if (port_path.empty()) port_path = afp::run_path(afp::kDriverPortName);
  if (port_path.empty()) {
    std::cerr << "afmouse: no usable run-time folder\n";
    return 3;
  }
  if (probe) {
    int fd = afp::posix::connect_unix(port_path);
    if (fd < 0) return 1;
    close(fd);
    return 0;
  }

  std::unique_ptr<afmouse::SpeedSource> feed;
  try {
    int feeds = (!speed.empty()) + zeros + (!script.empty()) + (!speed_file.empty());
    if (feeds > 1) throw std::runtime_error("give at most one of --speed, --zeros, --script, --speed-file");
    if (!speed.empty()) {
      afmouse::Speed s;
      if (!afmouse::parse_speed(speed, s)) throw std::runtime_error("bad speed: " + speed);
      feed = afmouse::constant_feed(s);
    } else if (!script.empty()) {
      feed = afmouse::script_feed(script, script_end);
    } else if (!speed_file.empty()) {
      feed = afmouse::file_feed(speed_file);
    } else if (!zeros && !no_x) {
      feed = afmouse::x_motion_feed();
    }
    if (!feed) feed = afmouse::constant_feed({});
  } catch (const std::exception& e) {
    std::cerr << "afmouse: " << e.what() << "\n";
    return 2;
  }

  afmouse::Log log(log_path);
  if (!log.ok()) {
    std::cerr << "afmouse: cannot write the log " << log_path << "\n";
    return 2;
  }

  signal(SIGPIPE, SIG_IGN);
  if (pipe2(stop_pipe, O_CLOEXEC) != 0) return 3;
  struct sigaction sa {};
  sa.sa_handler = on_stop;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);

  int listen_fd = afp::posix::listen_unix(port_path, 16);
  if (listen_fd < 0) {
    std::cerr << "afmouse: the port " << port_path << " is already served or cannot be created\n";
    return 3;
  }
  log.write("event=listening path=" + port_path + " pid=" + std::to_string(getpid()));

  afmouse::Server server(options, *feed, log);
  server.run(listen_fd, stop_pipe[0]);

  close(listen_fd);
  unlink(port_path.c_str());
  log.write("event=stop");
  // Connection threads may still block in reads or hangs: end without
  // waiting for them.
  std::fflush(nullptr);
  _exit(0);
}
