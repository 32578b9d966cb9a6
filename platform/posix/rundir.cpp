// The per-user run-time folder that holds the lock files and sockets.
#include "platform/rundir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace afp {
namespace {

// Creates `dir` with mode 0700 if missing; true when it is then a real
// directory (no symbolic link) owned by this user and reachable by nobody
// else. Otherwise `reason` says why not.
bool ensure_private_dir(const std::string& dir, std::string& reason) {
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
    reason = std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (lstat(dir.c_str(), &st) != 0) {
    reason = std::strerror(errno);
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    reason = std::strerror(ENOTDIR);
    return false;
  }
  if (st.st_uid != geteuid()) {
    reason = "it belongs to another user";
    return false;
  }
  if ((st.st_mode & 0077) != 0 && chmod(dir.c_str(), 0700) != 0) {
    reason = std::strerror(errno);
    return false;
  }
  return true;
}

std::string wanted_run_dir() {
  if (const char* x = std::getenv("XDG_RUNTIME_DIR"); x && *x) {
    std::string dir(x);
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir + "/arcflex";
  }
  return "/tmp/arcflex-" + std::to_string(geteuid());
}

// When `dir` cannot be made because of a folder above it: the item at
// fault, with its reason. A file (or anything but a folder) where a folder
// must be is in the way; otherwise the topmost missing folder is.
bool fault_above(const std::string& dir, std::string& item, std::string& reason) {
  std::string below = dir;
  std::string at = dir;
  for (;;) {
    const std::size_t slash = at.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return false;
    below = at;
    at.resize(slash);
    struct stat st {};
    if (stat(at.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode)) {
        if (below == dir) return false;  // only the folder itself is missing
        item = below;
        reason = std::strerror(ENOENT);
      } else {
        item = at;
        reason = std::strerror(ENOTDIR);
      }
      return true;
    }
    if (errno != ENOENT && errno != ENOTDIR) return false;
  }
}

}  // namespace

std::string run_dir() {
  std::string dir = wanted_run_dir(), reason;
  return ensure_private_dir(dir, reason) ? dir : std::string();
}

bool run_dir_problem(std::string& folder, std::string& reason) {
  folder = wanted_run_dir();
  reason.clear();
  if (ensure_private_dir(folder, reason)) return false;
  // The box names what is in the way, which may lie above the folder.
  const std::string wanted = folder;
  if (access(wanted.c_str(), F_OK) != 0) fault_above(wanted, folder, reason);
  return true;
}

std::string run_path(std::string_view name) {
  std::string dir = run_dir();
  if (dir.empty()) return {};
  return dir + "/" + std::string(name);
}

}  // namespace afp
