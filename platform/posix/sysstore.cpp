// The file-backed store of the stand-in machine under $AF_SYSROOT.
//
// registry/HKEY_LOCAL_MACHINE/<key>/<subkey>/... is one folder per key,
// named by the key's name as first created (UTF-8; '%', '/', control bytes
// and a leading '.' written as %XX). A key's values are in its file
// ".values":
//   AFREG 1
//   <type> :<name, UTF-8 with %XX escapes> <data as hex>
// one line a value. Lookups compare names without regard to case.
#include "sysstore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/sysfiles.h"

namespace fs = std::filesystem;

namespace afp::sysstore {
namespace {

constexpr const char* kValuesFile = ".values";
constexpr const char* kHeader = "AFREG 1";

char16_t fold(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

bool needs_escape(unsigned char b, bool first, bool in_value_name) {
  if (b < 0x20 || b == 0x7F || b == '%' || b == '/') return true;
  if (first && b == '.') return true;
  if (in_value_name && b == ' ') return true;
  return false;
}

std::string escape(std::u16string_view name, bool value_name) {
  static const char* hex = "0123456789ABCDEF";
  std::string u = to_utf8(name), out;
  for (std::size_t i = 0; i < u.size(); ++i) {
    auto b = static_cast<unsigned char>(u[i]);
    if (needs_escape(b, i == 0, value_name)) {
      out += '%';
      out += hex[b >> 4];
      out += hex[b & 15];
    } else {
      out += static_cast<char>(b);
    }
  }
  return out;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::u16string> unescape(std::string_view s) {
  std::string raw;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%') {
      if (i + 2 >= s.size()) return std::nullopt;
      int hi = hex_digit(s[i + 1]), lo = hex_digit(s[i + 2]);
      if (hi < 0 || lo < 0) return std::nullopt;
      raw += static_cast<char>(hi * 16 + lo);
      i += 2;
    } else {
      raw += s[i];
    }
  }
  return from_utf8(raw);
}

std::string registry_dir(const std::string& root) { return root + "/registry"; }
std::string machine_dir(const std::string& root) { return registry_dir(root) + "/HKEY_LOCAL_MACHINE"; }

// Splits "A\B\C" into its names; an empty name inside the path is invalid.
bool split_key(std::u16string_view subkey, std::vector<std::u16string>& parts) {
  parts.clear();
  if (subkey.empty()) return true;
  std::size_t start = 0;
  while (true) {
    std::size_t end = subkey.find(u'\\', start);
    std::u16string_view part = subkey.substr(start, end == std::u16string_view::npos ? std::u16string_view::npos : end - start);
    if (part.empty()) return false;
    parts.emplace_back(part);
    if (end == std::u16string_view::npos) break;
    start = end + 1;
  }
  return true;
}

// Finds (or, with create, makes) the folder of a key. Returns 0,
// file_not_found, invalid_parameter, path_not_found or registry_corrupt.
std::uint32_t resolve(std::u16string_view subkey, bool create, std::string& dir) {
  auto root = root_path();
  if (!root) return syserr::path_not_found;
  std::vector<std::u16string> parts;
  if (!split_key(subkey, parts)) return syserr::invalid_parameter;
  if (create) {
    if (!ensure_layout()) return syserr::path_not_found;
  }
  dir = machine_dir(*root);
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) {
    if (!create) return syserr::file_not_found;
    return syserr::registry_corrupt;
  }
  for (const auto& part : parts) {
    std::string exact = dir + "/" + escape(part, false);
    std::string found;
    if (fs::is_directory(exact, ec)) {
      found = exact;
    } else {
      for (const auto& entry : fs::directory_iterator(dir, ec)) {
        std::string fname = entry.path().filename().string();
        if (fname.empty() || fname[0] == '.') continue;
        auto decoded = unescape(fname);
        if (decoded && names_equal(*decoded, part) && entry.is_directory(ec)) {
          found = entry.path().string();
          break;
        }
      }
      if (ec) return syserr::registry_corrupt;
    }
    if (found.empty()) {
      if (!create) return syserr::file_not_found;
      if (fs::exists(fs::symlink_status(exact, ec))) return syserr::registry_corrupt;
      if (::mkdir(exact.c_str(), 0755) != 0 && errno != EEXIST) return syserr::registry_corrupt;
      if (!fs::is_directory(exact, ec)) return syserr::registry_corrupt;
      found = exact;
    }
    dir = found;
  }
  return syserr::success;
}

std::uint32_t parse_values(const std::string& text, Values& out) {
  out.clear();
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || line != kHeader) return syserr::registry_corrupt;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    std::size_t sp1 = line.find(' ');
    if (sp1 == std::string::npos) return syserr::registry_corrupt;
    std::size_t sp2 = line.find(' ', sp1 + 1);
    if (sp2 == std::string::npos) return syserr::registry_corrupt;
    std::string type_s = line.substr(0, sp1), name_s = line.substr(sp1 + 1, sp2 - sp1 - 1),
                data_s = line.substr(sp2 + 1);
    if (type_s.empty() || type_s.size() > 10 || type_s.find_first_not_of("0123456789") != std::string::npos)
      return syserr::registry_corrupt;
    unsigned long long type = std::strtoull(type_s.c_str(), nullptr, 10);
    if (type > 0xFFFFFFFFull) return syserr::registry_corrupt;
    if (name_s.empty() || name_s[0] != ':') return syserr::registry_corrupt;
    auto name = unescape(std::string_view(name_s).substr(1));
    if (!name) return syserr::registry_corrupt;
    if (data_s.size() % 2 != 0) return syserr::registry_corrupt;
    Value v;
    v.name = *name;
    v.type = static_cast<std::uint32_t>(type);
    for (std::size_t i = 0; i < data_s.size(); i += 2) {
      int hi = hex_digit(data_s[i]), lo = hex_digit(data_s[i + 1]);
      if (hi < 0 || lo < 0) return syserr::registry_corrupt;
      v.data += static_cast<char>(hi * 16 + lo);
    }
    if (find_value(out, v.name)) return syserr::registry_corrupt;
    out.push_back(std::move(v));
  }
  return syserr::success;
}

std::string format_values(const Values& values) {
  static const char* hex = "0123456789abcdef";
  std::string out = std::string(kHeader) + "\n";
  for (const auto& v : values) {
    out += std::to_string(v.type);
    out += " :";
    out += escape(v.name, true);
    out += ' ';
    for (unsigned char b : v.data) {
      out += hex[b >> 4];
      out += hex[b & 15];
    }
    out += '\n';
  }
  return out;
}

std::uint32_t read_values_in(const std::string& dir, Values& out) {
  out.clear();
  std::string path = dir + "/" + kValuesFile;
  std::error_code ec;
  auto st = fs::symlink_status(path, ec);
  if (!fs::exists(st)) return syserr::success;
  if (!fs::is_regular_file(st)) return syserr::registry_corrupt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return syserr::registry_corrupt;
  std::ostringstream ss;
  ss << in.rdbuf();
  return parse_values(ss.str(), out);
}

// Writes all of `bytes` to `path` through a temporary file in the same
// folder that is renamed over it, so readers see the old or the new file.
bool write_atomically(const std::string& path, const std::string& bytes) {
  static std::atomic<unsigned> counter{0};
  std::string tmp = path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  std::size_t done = 0;
  bool ok = true;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  if (ok && ::rename(tmp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) ::unlink(tmp.c_str());
  return ok;
}

}  // namespace

std::optional<std::string> root_path() {
  const char* v = std::getenv("AF_SYSROOT");
  if (!v || v[0] != '/') return std::nullopt;
  std::string r = v;
  while (r.size() > 1 && r.back() == '/') r.pop_back();
  return r;
}

std::string native_path(std::u16string_view path) {
  std::string p = to_utf8(path);
  for (char& c : p)
    if (c == '\\') c = '/';
  return p;
}

bool ensure_layout() {
  auto root = root_path();
  if (!root) return false;
  std::error_code ec;
  if (!fs::is_directory(*root, ec)) return false;
  fs::create_directories(*root + "/windows/system32/drivers", ec);
  fs::create_directories(machine_dir(*root), ec);
  return fs::is_directory(*root + "/windows/system32/drivers", ec) && fs::is_directory(machine_dir(*root), ec);
}

Lock::Lock() {
  auto root = root_path();
  if (!root || !ensure_layout()) return;
  std::string path = registry_dir(*root) + "/.lock";
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) return;
  while (::flock(fd_, LOCK_EX) != 0) {
    if (errno != EINTR) {
      ::close(fd_);
      fd_ = -1;
      return;
    }
  }
}

Lock::~Lock() {
  if (fd_ >= 0) ::close(fd_);
}

bool names_equal(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (fold(a[i]) != fold(b[i])) return false;
  return true;
}

std::uint32_t read_key(std::u16string_view subkey, Values& out) {
  out.clear();
  std::string dir;
  if (auto err = resolve(subkey, false, dir)) return err == syserr::path_not_found ? syserr::file_not_found : err;
  return read_values_in(dir, out);
}

std::uint32_t key_exists(std::u16string_view subkey) {
  std::string dir;
  auto err = resolve(subkey, false, dir);
  return err == syserr::path_not_found ? syserr::file_not_found : err;
}

std::uint32_t write_key(std::u16string_view subkey, const Values& values) {
  std::string dir;
  if (auto err = resolve(subkey, true, dir)) return err;
  return write_atomically(dir + "/" + kValuesFile, format_values(values)) ? syserr::success
                                                                          : syserr::access_denied;
}

std::uint32_t delete_tree(std::u16string_view subkey) {
  std::string dir;
  if (subkey.empty()) return syserr::access_denied;
  if (auto err = resolve(subkey, false, dir)) return err;
  // Renamed out of the way first, so the key vanishes at once even if the
  // removal of its files is cut short.
  static std::atomic<unsigned> counter{0};
  fs::path p(dir);
  std::string gone = (p.parent_path() / (".deleted." + std::to_string(::getpid()) + "." +
                                         std::to_string(counter++))).string();
  if (::rename(dir.c_str(), gone.c_str()) != 0) return syserr::access_denied;
  std::error_code ec;
  fs::remove_all(gone, ec);
  return syserr::success;
}

void put_value(Values& values, std::u16string_view name, std::uint32_t type, std::string data) {
  for (auto& v : values) {
    if (names_equal(v.name, name)) {
      v.type = type;
      v.data = std::move(data);
      return;
    }
  }
  values.push_back(Value{std::u16string(name), type, std::move(data)});
}

const Value* find_value(const Values& values, std::u16string_view name) {
  for (const auto& v : values)
    if (names_equal(v.name, name)) return &v;
  return nullptr;
}

}  // namespace afp::sysstore
