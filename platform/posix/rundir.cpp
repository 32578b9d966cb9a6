// The per-user run-time folder that holds the lock files and sockets.
#include "platform/rundir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace afp {
namespace {

// Creates `dir` with mode 0700 if missing; true when it is then a real
// directory (no symbolic link) owned by this user and reachable by nobody
// else.
bool ensure_private_dir(const std::string& dir) {
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st {};
  if (lstat(dir.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode) || st.st_uid != geteuid()) return false;
  if ((st.st_mode & 0077) != 0 && chmod(dir.c_str(), 0700) != 0) return false;
  return true;
}

}  // namespace

std::string run_dir() {
  std::string dir;
  if (const char* x = std::getenv("XDG_RUNTIME_DIR"); x && *x) {
    dir = std::string(x);
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    dir += "/arcflex";
  } else {
    dir = "/tmp/arcflex-" + std::to_string(geteuid());
  }
  return ensure_private_dir(dir) ? dir : std::string();
}

std::string run_path(std::string_view name) {
  std::string dir = run_dir();
  if (dir.empty()) return {};
  return dir + "/" + std::string(name);
}

}  // namespace afp
