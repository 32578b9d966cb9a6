// The system folder and file calls of the stand-in machine under $AF_SYSROOT.
#include "platform/sysfiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>

#include "platform/registry.h"
#include "sysstore.h"

namespace fs = std::filesystem;

namespace afp {
namespace {

constexpr std::u16string_view kSessionManagerKey = u"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr std::u16string_view kPendingValue = u"PendingFileRenameOperations";

std::uint32_t errno_to_syserr(int e) {
  switch (e) {
    case ENOENT: return syserr::file_not_found;
    case ENOTDIR: return syserr::path_not_found;
    case EEXIST: return syserr::file_exists;
    default: return syserr::access_denied;
  }
}

bool write_all(int fd, const char* p, std::size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

}  // namespace

std::uint32_t get_system_directory(char16_t* buffer, std::uint32_t size) {
  auto root = sysstore::root_path();
  if (!root) return 0;
  std::u16string dir = from_utf8(*root == "/" ? std::string("/windows/system32") : *root + "/windows/system32");
  const auto len = static_cast<std::uint32_t>(dir.size());
  if (!buffer || size < len + 1) return len + 1;
  dir.copy(buffer, len);
  buffer[len] = u'\0';
  return len;
}

bool file_exists(std::u16string_view path) {
  std::string p = sysstore::native_path(path);
  return !p.empty() && ::access(p.c_str(), F_OK) == 0;
}

std::uint32_t copy_file(std::u16string_view from, std::u16string_view to, bool fail_if_exists) {
  sysstore::ensure_layout();
  const std::string src = sysstore::native_path(from), dst = sysstore::native_path(to);
  int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return errno_to_syserr(errno);
  struct stat st {};
  if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(in);
    return syserr::access_denied;
  }
  fs::path dst_path(dst);
  std::error_code ec;
  fs::path folder = dst_path.has_parent_path() ? dst_path.parent_path() : fs::path(".");
  if (!fs::is_directory(folder, ec)) {
    ::close(in);
    return syserr::path_not_found;
  }
  if (fail_if_exists && fs::exists(fs::symlink_status(dst_path, ec))) {
    ::close(in);
    return syserr::file_exists;
  }
  if (fs::is_directory(dst_path, ec)) {
    ::close(in);
    return syserr::access_denied;
  }
  // The copy is written beside the target and renamed over it: the target
  // is either the old file or the whole new one.
  static std::atomic<unsigned> counter{0};
  std::string tmp = dst + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
  int out = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (out < 0) {
    ::close(in);
    return errno_to_syserr(errno);
  }
  bool ok = true;
  char buf[65536];
  while (ok) {
    ssize_t n = ::read(in, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
    } else if (n == 0) {
      break;
    } else {
      ok = write_all(out, buf, static_cast<std::size_t>(n));
    }
  }
  ::close(in);
  if (ok && ::fsync(out) != 0) ok = false;
  if (::close(out) != 0) ok = false;
  if (ok && fail_if_exists) {
    // link() fails when the target appeared meanwhile, unlike rename().
    ok = ::link(tmp.c_str(), dst.c_str()) == 0;
    int e = errno;
    ::unlink(tmp.c_str());
    return ok ? syserr::success : errno_to_syserr(e);
  }
  if (ok && ::rename(tmp.c_str(), dst.c_str()) != 0) ok = false;
  if (!ok) {
    ::unlink(tmp.c_str());
    return syserr::access_denied;
  }
  return syserr::success;
}

namespace {

bool is_separator(char16_t c) { return c == u'/' || c == u'\\'; }

// A full path with its "." and ".." parts resolved, each separator kept as
// it was spelled, so the name reads as the caller wrote it.
std::u16string full_path_name(std::u16string_view path) {
  std::u16string text(path);
  if (!is_separator(text.front())) {
    std::error_code ec;
    const fs::path cwd = fs::current_path(ec);
    if (ec) return {};
    text = from_utf8(cwd.string()) + u"/" + text;
  }
  std::vector<std::u16string> parts;  // each with the separator before it
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t end = i + 1;
    while (end < text.size() && !is_separator(text[end])) ++end;
    const std::u16string_view name = std::u16string_view(text).substr(i + 1, end - i - 1);
    if (name == u"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!name.empty() && name != u".") {
      parts.push_back(text.substr(i, end - i));
    }
    i = end;
  }
  std::u16string full;
  for (const auto& p : parts) full += p;
  return full.empty() ? text.substr(0, 1) : full;
}

}  // namespace

std::uint32_t delete_file_at_restart(std::u16string_view path) {
  if (path.empty()) return syserr::invalid_parameter;
  // Named in the form the service record keeps its image path: as the
  // caller spelled it, made full.
  const std::u16string full = full_path_name(path);
  if (full.empty()) return syserr::path_not_found;

  sysstore::Lock lock;
  if (!lock.held()) return syserr::path_not_found;
  sysstore::Values values;
  auto err = sysstore::read_key(kSessionManagerKey, values);
  if (err && err != syserr::file_not_found) return err;
  // The list as Windows keeps it: pairs of names ("\??\" + source, then the
  // new name or an empty one for a delete), closed by an empty string.
  std::u16string entry = u"\\??\\" + full;
  entry += u'\0';
  entry += u'\0';
  std::string data;
  if (const sysstore::Value* old = sysstore::find_value(values, kPendingValue); old && old->type == regtype::multi_sz) {
    data = old->data;
    if (data.size() % 2) data += '\0';
    // Every name closed by its NUL, without the closing empty string that
    // the new pair goes in front of.
    std::size_t nuls = 0;
    while (2 * (nuls + 1) <= data.size() && data[data.size() - 2 * nuls - 1] == '\0' &&
           data[data.size() - 2 * nuls - 2] == '\0') {
      ++nuls;
    }
    if (2 * nuls == data.size()) data.clear();  // an empty list
    if (nuls == 0 && !data.empty()) data += std::string(2, '\0');
    if (nuls >= 2) data.resize(data.size() - 2);
  }
  for (char16_t c : entry) {
    data += static_cast<char>(c & 0xFF);
    data += static_cast<char>(c >> 8);
  }
  data += std::string(2, '\0');
  sysstore::put_value(values, kPendingValue, regtype::multi_sz, std::move(data));
  return sysstore::write_key(kSessionManagerKey, values);
}

std::vector<std::u16string> command_line_arguments(int argc, char** argv) {
  std::vector<std::u16string> args;
  for (int i = 0; i < argc; ++i) args.push_back(from_utf8(argv[i] ? argv[i] : ""));
  return args;
}

}  // namespace afp
