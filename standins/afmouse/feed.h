// Where the stand-in driver's speed replies come from.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace afmouse {

struct Speed {
  double a = 0.0, b = 0.0, c = 0.0;
};

class SpeedSource {
 public:
  virtual ~SpeedSource() = default;
  // The speed for one get_speed reply. Waits at most `pace` for new
  // motion first, so back-to-back polling costs little. A pointer at rest
  // waits longer, up to kRestWait, as a driver holds a query until the
  // mouse moves: the poller then costs next to nothing. A pace of 0 never
  // waits.
  virtual Speed next(std::chrono::microseconds pace) = 0;
};

inline constexpr std::chrono::milliseconds kRestWait{100};

// The wait before a reply: the pace, or kRestWait at rest.
inline std::chrono::microseconds reply_wait(std::chrono::microseconds pace, bool at_rest) {
  if (pace.count() <= 0 || !at_rest) return pace;
  return std::max<std::chrono::microseconds>(pace, kRestWait);
}

// The same triple for every reply (zeros when default-constructed: a
// pointer that never moves, so each reply waits as one at rest).
std::unique_ptr<SpeedSource> constant_feed(Speed s);

// Triples from a script, one per reply. Each line: "A B C [N]" (N replies,
// default 1); blank lines and lines starting with '#' are skipped. After
// the last line the replies are zeros ("zeros"), the last triple ("last"),
// or the script starts again ("loop"). Throws std::runtime_error on a bad
// script.
std::unique_ptr<SpeedSource> script_feed(const std::string& path, const std::string& at_end);

// The triple on the first line of `path` ("A B C"), read again whenever the
// file changes; zeros while it is missing or not three numbers. Tests steer
// the speed by rewriting the file (write a new file and rename it over).
std::unique_ptr<SpeedSource> file_feed(const std::string& path);

// Parses "A B C" or "A,B,C"; false when it is not three numbers.
bool parse_speed(const std::string& text, Speed& out);

}  // namespace afmouse
