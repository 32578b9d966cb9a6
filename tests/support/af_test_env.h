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

namespace aftest {

// A fresh folder under the system temp folder, removed by nobody: ctest
// runs are short and the folders are tiny, and keeping them helps to look
// into a failure.
inline std::filesystem::path make_temp_dir(const std::string& tag = "aftest") {
  std::string templ = (std::filesystem::temp_directory_path() / (tag + "-XXXXXX")).string();
  if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
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

}  // namespace aftest
