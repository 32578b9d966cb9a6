#include "platform/clock.h"

#include <windows.h>

namespace afp {

std::int64_t perf_counter() {
  LARGE_INTEGER v;
  QueryPerformanceCounter(&v);
  return v.QuadPart;
}

std::int64_t perf_frequency() {
  LARGE_INTEGER v;
  QueryPerformanceFrequency(&v);
  return v.QuadPart;
}

}  // namespace afp
