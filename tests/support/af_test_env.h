// Test helpers shared by every test binary: private folders for the
// per-user data, run-time objects and the system store, so tests never touch
// the user's files and can run side by side.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace aftest {

// Folders made by make_temp_dir in this process, removed when it exits.
// Kept with AF_KEEP_TEST_DIRS=1, to look into a failure. A forked child
// that exits leaves its parent's folders alone.
struct MadeDirs {
  pid_t owner = getpid();
  std::vector<std::filesystem::path> paths;
};

inline MadeDirs& made_dirs() {
  static MadeDirs* dirs = [] {
    auto* d = new MadeDirs;  // never destroyed: the exit handler still needs it
    std::atexit([] {
      MadeDirs& m = made_dirs();
      const char* keep = std::getenv("AF_KEEP_TEST_DIRS");
      if (getpid() != m.owner || (keep && *keep && std::string(keep) != "0")) return;
      for (const auto& p : m.paths) {
        std::error_code ec;  // a helper still writing there is no reason to fail the run
        std::filesystem::remove_all(p, ec);
      }
    });
    return d;
  }();
  return *dirs;
}

// What follows the five head lines of a curve file: n table values of 1.0
// (the editor writes 202), each after a line end.
inline std::string curve_table(const std::string& eol = "\r\n", int n = 202) {
  std::string t;
  for (int i = 0; i < n; ++i) t += eol + "1.0";
  return t;
}

// A fresh folder under the system temp folder (or `parent`), removed at exit.
inline std::filesystem::path make_temp_dir(const std::string& tag = "aftest",
                                           const std::filesystem::path& parent = {}) {
  const std::filesystem::path in = parent.empty() ? std::filesystem::temp_directory_path() : parent;
  std::string templ = (in / (tag + "-XXXXXX")).string();
  if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
  made_dirs().paths.emplace_back(templ);
  return templ;
}

// Points LOCALAPPDATA, XDG_RUNTIME_DIR and AF_SYSROOT at new private folders.
inline std::filesystem::path isolate_environment() {
  auto base = make_temp_dir();
  for (const char* sub : {"localappdata", "run", "sysroot"}) {
    std::filesystem::create_directories(base / sub);
  }
  setenv("LOCALAPPDATA", (base / "localappdata").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", (base / "run").c_str(), 1);
  setenv("AF_SYSROOT", (base / "sysroot").c_str(), 1);
  return base;
}

inline std::string read_file(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_file(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline std::string env_or(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return v ? v : fallback;
}

// Freezes a folder: no entry can be made, renamed or removed in it, by root
// either (the immutable flag; a read-only folder stops everyone else).
inline void set_frozen(const std::filesystem::path& folder, bool on) {
  if (::geteuid() != 0) {
    ::chmod(folder.c_str(), on ? 0500 : 0700);
    return;
  }
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  int flags = 0;
  const bool known = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
  if (known) ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
  if (fd >= 0) ::close(fd);
}

// What the system says to a change in a frozen folder.
inline std::string frozen_reason() { return ::geteuid() == 0 ? "Operation not permitted" : "Permission denied"; }

}  // namespace aftest
