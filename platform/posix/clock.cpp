// The high-resolution counter: CLOCK_MONOTONIC in nanoseconds.
#include "platform/clock.h"

#include <time.h>

namespace afp {

std::int64_t perf_counter() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

std::int64_t perf_frequency() { return 1000000000; }

}  // namespace afp
