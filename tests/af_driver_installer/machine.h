// A stand-in machine for the installer tests: a private $AF_SYSROOT, an
// installation folder AF_Driver holding the installer and a dummy driver
// image, and helpers to run the program and to read and seed the registry.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <platform/process.h>
#include <platform/registry.h>

#include "af_test_env.h"

namespace insttest {

namespace fs = std::filesystem;

inline const std::u16string kClassKey =
    u"SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e96f-e325-11ce-bfc1-08002be10318}";
inline const std::u16string kServiceKey = u"SYSTEM\\CurrentControlSet\\Services\\afmouse";
inline const std::u16string kInstancesKey = kServiceKey + u"\\Instances";
inline const std::u16string kInstanceKey = kInstancesKey + u"\\Arcflex fltmgr interface Default";
inline const std::u16string kSessionKey = u"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
inline const std::string kUsage = "\n How to use : installer /I for install or installer /U for UN-install \n";
inline const std::string kImage = "dummy afmouse image\n";

// UTF-16LE bytes of a string, without a terminator.
inline std::string u16(std::u16string_view s) {
  std::string b;
  for (char16_t c : s) {
    b += static_cast<char>(c & 0xFF);
    b += static_cast<char>(c >> 8);
  }
  return b;
}

// A REG_SZ's bytes: the string and its NUL.
inline std::string sz(std::u16string_view s) { return u16(s) + std::string(2, '\0'); }

// A REG_MULTI_SZ's bytes: each name and its NUL, then the closing NUL.
inline std::string multi(const std::vector<std::u16string>& names) {
  std::string b;
  for (const auto& n : names) b += sz(n);
  return b + std::string(2, '\0');
}

inline std::string dword(std::uint32_t v) {
  std::string b(4, '\0');
  for (int i = 0; i < 4; ++i) b[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return b;
}

struct RegValue {
  std::uint32_t type = 0;
  std::string data;
  bool operator==(const RegValue&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const RegValue& v) {
  os << "type " << v.type << " bytes";
  static const char* hex = "0123456789abcdef";
  for (unsigned char c : v.data) os << ' ' << hex[c >> 4] << hex[c & 15];
  return os;
}

// The value, or nothing when it cannot be read.
inline std::optional<RegValue> get(const std::u16string& key, const std::u16string& name) {
  std::uint32_t type = 0, size = 0;
  if (afp::reg_get_value(key, name, afp::regrt::any, &type, nullptr, &size) != 0) return std::nullopt;
  std::string data(size, '\0');
  if (afp::reg_get_value(key, name, afp::regrt::any, &type, data.data(), &size) != 0) return std::nullopt;
  data.resize(size);
  return RegValue{type, data};
}

inline void set(const std::u16string& key, const std::u16string& name, std::uint32_t type, const std::string& data) {
  ASSERT_EQ(afp::reg_set_key_value(key, name, type, data.data(), static_cast<std::uint32_t>(data.size())), 0u);
}

inline void seed_list(const std::string& bytes) { set(kClassKey, u"UpperFilters", afp::regtype::multi_sz, bytes); }

inline std::optional<RegValue> list() { return get(kClassKey, u"UpperFilters"); }

struct RunResult {
  int code = -1000;  // the exit status (-1 from the program reads 255)
  std::string out;
};

class Machine {
 public:
  Machine() {
    base_ = aftest::isolate_environment();
    root_ = base_ / "sysroot";
    install_dir_ = base_ / "install" / "AF_Driver";
    fs::create_directories(install_dir_);
    fs::path staged = fs::path(aftest::env_or("AF_STAGE_DIR", "")) / "AF_Driver" / "AF_Driver_Installer";
    program_ = install_dir_ / "AF_Driver_Installer";
    fs::copy_file(staged, program_);
    aftest::write_file(install_dir_ / "afmouse.sys", kImage);
  }

  const fs::path& base() const { return base_; }
  const fs::path& root() const { return root_; }
  const fs::path& install_dir() const { return install_dir_; }
  fs::path drivers_image() const { return root_ / "windows" / "system32" / "drivers" / "afmouse.sys"; }
  std::string system_folder() const { return root_.string() + "/windows/system32"; }

  // Runs the installer in its folder with these arguments.
  RunResult run(const std::vector<std::string>& args) const { return run_in(install_dir_, args); }

  RunResult run_in(const fs::path& cwd, const std::vector<std::string>& args) const {
    // The child inherits the working folder: each test case is a process of
    // its own, so it may change its own.
    const fs::path old = fs::current_path();
    fs::current_path(cwd);
    std::string error;
    auto child = afp::ChildProcess::start(program_.string(), args, &error);
    fs::current_path(old);
    RunResult r;
    if (!child) {
      ADD_FAILURE() << "cannot start the installer: " << error;
      return r;
    }
    char buf[4096];
    std::int64_t n;
    while ((n = child->read(buf, sizeof buf)) > 0) r.out.append(buf, static_cast<std::size_t>(n));
    auto code = child->wait(60000);
    if (!code) {
      child->terminate();
      ADD_FAILURE() << "the installer did not end";
      return r;
    }
    r.code = *code;
    return r;
  }

  // Every file of the stand-in machine and its bytes (the store's lock file
  // aside), to show that a run changed nothing.
  std::map<std::string, std::string> snapshot() const {
    std::map<std::string, std::string> files;
    std::error_code ec;
    if (!fs::exists(root_, ec)) return files;
    for (const auto& e : fs::recursive_directory_iterator(root_, ec)) {
      if (e.path().filename() == ".lock") continue;
      std::string rel = fs::relative(e.path(), root_).string();
      files[rel] = e.is_regular_file() ? aftest::read_file(e.path()) : std::string("<dir>");
    }
    return files;
  }

 private:
  fs::path base_, root_, install_dir_, program_;
};

inline constexpr int kFailed = 255;  // the exit status of -1

}  // namespace insttest
