#include "log.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace afmouse {

Log::Log(const std::string& path) : path_(path) {
  if (!path_.empty()) file_ = std::fopen(path_.c_str(), "ae");
}

Log::~Log() {
  if (file_) std::fclose(file_);
}

void Log::write(const std::string& line) {
  if (!file_) return;
  std::lock_guard<std::mutex> guard(lock_);
  std::fputs(line.c_str(), file_);
  std::fputc('\n', file_);
  std::fflush(file_);
}

LogRecord parse_log_line(const std::string& line) {
  LogRecord r;
  std::istringstream words(line);
  for (std::string w; words >> w;) {
    std::size_t eq = w.find('=');
    if (eq == std::string::npos) continue;
    r[w.substr(0, eq)] = w.substr(eq + 1);
  }
  return r;
}

std::vector<LogRecord> read_log(const std::string& path) {
  std::vector<LogRecord> out;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) out.push_back(parse_log_line(line));
  }
  return out;
}

std::vector<double> parse_table(const std::string& text) {
  std::vector<double> out;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    out.push_back(std::strtod(text.substr(start, comma - start).c_str(), nullptr));
    start = comma + 1;
  }
  return out;
}

}  // namespace afmouse
