// The high-resolution counter (QueryPerformanceCounter / CLOCK_MONOTONIC).
#pragma once

#include <cstdint>

namespace afp {

// The counter's current value in ticks; monotonic.
std::int64_t perf_counter();

// Ticks per second.
std::int64_t perf_frequency();

}  // namespace afp
