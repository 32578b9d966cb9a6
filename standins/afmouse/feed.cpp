#include "feed.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace afmouse {

bool parse_speed(const std::string& text, Speed& out) {
  std::string t = text;
  for (char& ch : t) {
    if (ch == ',') ch = ' ';
  }
  std::istringstream in(t);
  Speed s;
  std::string extra;
  if (!(in >> s.a >> s.b >> s.c) || (in >> extra)) return false;
  out = s;
  return true;
}

namespace {

void pace_wait(std::chrono::microseconds pace) {
  if (pace.count() > 0) std::this_thread::sleep_for(pace);
}

class ConstantFeed : public SpeedSource {
 public:
  explicit ConstantFeed(Speed s) : s_(s) {}
  Speed next(std::chrono::microseconds pace) override {
    pace_wait(reply_wait(pace, s_.a == 0.0 && s_.b == 0.0 && s_.c == 0.0));
    return s_;
  }

 private:
  Speed s_;
};

class ScriptFeed : public SpeedSource {
 public:
  struct Entry {
    Speed s;
    long count;
  };
  ScriptFeed(std::vector<Entry> entries, std::string at_end)
      : entries_(std::move(entries)), at_end_(std::move(at_end)) {}

  Speed next(std::chrono::microseconds pace) override {
    pace_wait(pace);
    std::lock_guard<std::mutex> guard(lock_);
    if (index_ >= entries_.size()) {
      if (at_end_ == "loop" && !entries_.empty()) {
        index_ = 0;
        used_ = 0;
      } else if (at_end_ == "last" && !entries_.empty()) {
        return entries_.back().s;
      } else {
        return Speed{};
      }
    }
    Speed s = entries_[index_].s;
    if (++used_ >= entries_[index_].count) {
      ++index_;
      used_ = 0;
    }
    return s;
  }

 private:
  std::mutex lock_;
  std::vector<Entry> entries_;
  std::string at_end_;
  std::size_t index_ = 0;
  long used_ = 0;
};

class FileFeed : public SpeedSource {
 public:
  explicit FileFeed(std::string path) : path_(std::move(path)) {}

  Speed next(std::chrono::microseconds pace) override {
    pace_wait(pace);
    std::lock_guard<std::mutex> guard(lock_);
    struct stat st {};
    if (stat(path_.c_str(), &st) != 0) {
      have_ = false;
      current_ = Speed{};
      return current_;
    }
    if (!have_ || st.st_mtim.tv_sec != mtime_.tv_sec || st.st_mtim.tv_nsec != mtime_.tv_nsec ||
        st.st_size != size_ || st.st_ino != ino_) {
      have_ = true;
      mtime_ = st.st_mtim;
      size_ = st.st_size;
      ino_ = st.st_ino;
      std::ifstream in(path_);
      std::string line;
      Speed s;
      current_ = (std::getline(in, line) && parse_speed(line, s)) ? s : Speed{};
    }
    return current_;
  }

 private:
  std::mutex lock_;
  std::string path_;
  bool have_ = false;
  timespec mtime_{};
  off_t size_ = 0;
  ino_t ino_ = 0;
  Speed current_;
};

}  // namespace

std::unique_ptr<SpeedSource> constant_feed(Speed s) { return std::make_unique<ConstantFeed>(s); }

std::unique_ptr<SpeedSource> script_feed(const std::string& path, const std::string& at_end) {
  if (at_end != "zeros" && at_end != "last" && at_end != "loop") {
    throw std::runtime_error("script end must be zeros, last or loop: " + at_end);
  }
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read speed script " + path);
  std::vector<ScriptFeed::Entry> entries;
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    std::istringstream words(line);
    ScriptFeed::Entry e{{}, 1};
    std::string extra;
    if (!(words >> e.s.a >> e.s.b >> e.s.c)) {
      throw std::runtime_error(path + ":" + std::to_string(number) + ": expected A B C [N]");
    }
    if (words >> e.count) {
      if (e.count < 1 || (words >> extra)) {
        throw std::runtime_error(path + ":" + std::to_string(number) + ": expected A B C [N]");
      }
    } else if (!words.eof()) {
      throw std::runtime_error(path + ":" + std::to_string(number) + ": expected A B C [N]");
    }
    entries.push_back(e);
  }
  return std::make_unique<ScriptFeed>(std::move(entries), at_end);
}

std::unique_ptr<SpeedSource> file_feed(const std::string& path) { return std::make_unique<FileFeed>(path); }

}  // namespace afmouse
