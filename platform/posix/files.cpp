#include "platform/files.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace afp {

int write_new_file(const std::string& path, std::string_view bytes, int mode) {
  // A leftover (a file or a link planted there) goes; a folder stays, and
  // the write fails with EISDIR.
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return errno;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return errno;
  int err = 0;
  std::size_t done = 0;
  while (err == 0 && done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno != EINTR) err = errno;
    if (n > 0) done += static_cast<std::size_t>(n);
  }
  if (err == 0 && mode >= 0 && ::fchmod(fd, static_cast<mode_t>(mode)) != 0) err = errno;
  if (err == 0 && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err != 0) ::unlink(path.c_str());
  return err;
}

namespace {
std::function<int(const std::string&)> g_folder_flush_hook;
}  // namespace

void set_folder_flush_hook(std::function<int(const std::string&)> hook) { g_folder_flush_hook = std::move(hook); }

int sync_folder(const std::string& folder) {
  if (g_folder_flush_hook) {
    if (int err = g_folder_flush_hook(folder)) return err;
  }
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int err = ::fsync(fd) == 0 ? 0 : errno;
  ::close(fd);
  return err;
}

int durable_rename(const std::string& from, const std::string& to, bool* moved) {
  if (moved) *moved = false;
  if (std::rename(from.c_str(), to.c_str()) != 0) return errno;
  if (moved) *moved = true;
  auto folder = [](const std::string& path) { return std::filesystem::path(path).parent_path().string(); };
  const std::string to_folder = folder(to), from_folder = folder(from);
  if (int err = sync_folder(to_folder)) return err;
  return from_folder == to_folder ? 0 : sync_folder(from_folder);
}

int remove_file(const std::string& path, bool* removed) {
  if (removed) *removed = false;
  if (::unlink(path.c_str()) != 0) return errno == ENOENT ? 0 : errno;
  if (removed) *removed = true;
  return sync_folder(std::filesystem::path(path).parent_path().string());
}

std::string error_text(int err) { return std::generic_category().message(err); }

}  // namespace afp
