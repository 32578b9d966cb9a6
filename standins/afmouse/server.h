// The stand-in driver's port server: one thread per connection, one reply
// frame per request (frames: platform/port_wire.h).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "feed.h"
#include "log.h"

namespace afmouse {

struct ServerOptions {
  std::int32_t curve_status = 0;      // status answered to set_curve
  long short_reply = -1;              // >= 0: get_speed replies with this many bytes
  long stop_after = -1;               // >= 0: answer that many get_speed queries, then stop
  std::string stop_mode = "fail";     // then: "fail" (failure status), "close", "hang"
  std::chrono::microseconds pace{1000};
};

class Server {
 public:
  Server(ServerOptions options, SpeedSource& speeds, Log& log)
      : options_(std::move(options)), speeds_(speeds), log_(log) {}

  // Accepts connections on `listen_fd` until `stop_fd` becomes readable.
  void run(int listen_fd, int stop_fd);

 private:
  void serve(int fd, int conn);

  ServerOptions options_;
  SpeedSource& speeds_;
  Log& log_;
  std::atomic<long> seq_{0};
  std::atomic<long> speed_queries_{0};
  std::atomic<int> connections_{0};
};

}  // namespace afmouse
