// The stand-in driver's log: one line per event or received message, each a
// list of key=value words separated by single blanks, flushed at once so
// tests can read it while the driver runs.
//
//   event=listening path=<socket path> pid=<pid>
//   event=connect conn=<n>            event=disconnect conn=<n>
//   event=stop
//   seq=<n> conn=<n> cmd=<u32|none> size=<bytes> reply=<reply capacity>
//     status=0x<8 hex digits> returned=<reply bytes> [error=bad_size|unknown_command]
//     [zero=0|1] [f<4 hex digits>=<value> ...]
//     [table_a=<v,v,...> table_b=<v,v,...>]          (cmd=15)
//     [a=<A> b=<B> c=<C>]                            (cmd=19 answered)
//
// f<offset> are the named fields of the layout by offset (f0024 is count A,
// f8030 the first tail slope ...); doubles are written so they read back
// exactly. zero=1 says every byte no field names is zero.
#pragma once

#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace afmouse {

class Log {
 public:
  // An empty path logs nothing.
  explicit Log(const std::string& path);
  ~Log();
  bool ok() const { return path_.empty() || file_ != nullptr; }
  void write(const std::string& line);

 private:
  std::string path_;
  std::FILE* file_ = nullptr;
  std::mutex lock_;
};

using LogRecord = std::map<std::string, std::string>;

// Parses one log line into its key=value words.
LogRecord parse_log_line(const std::string& line);
// Every record of a log file (empty when it cannot be read).
std::vector<LogRecord> read_log(const std::string& path);
// The comma-separated list of a table field as numbers.
std::vector<double> parse_table(const std::string& text);

}  // namespace afmouse
