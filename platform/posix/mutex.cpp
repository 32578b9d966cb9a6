// Named mutexes on Linux: an exclusive flock on <rundir>/<name>.lock.
//
// The lock belongs to the open file description, so it ends when the holder
// closes it or its process ends in any way (also SIGKILL); the descriptor is
// close-on-exec, so children never inherit it. A second create in the same
// process opens a new description and sees the lock as held, as on Windows.
// Lock files are left in place: removing them would race with other openers.
#include "platform/mutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/rundir.h"

namespace afp {
namespace {

std::string lock_path(const std::string& name) {
  // A name must stay one file name inside the run-time folder.
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") return {};
  return run_path(name + ".lock");
}

int flock_retry(int fd, int op) {
  int r;
  do {
    r = flock(fd, op);
  } while (r != 0 && errno == EINTR);
  return r;
}

}  // namespace

std::unique_ptr<NamedMutex> NamedMutex::create_owned(const std::string& name, bool& already_existed) {
  already_existed = false;
  std::string path = lock_path(name);
  if (path.empty()) return nullptr;
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return nullptr;
  if (flock_retry(fd, LOCK_EX | LOCK_NB) != 0) {
    already_existed = (errno == EWOULDBLOCK);
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<NamedMutex>(new NamedMutex(fd, true));
}

void NamedMutex::wait_for(const std::string& name) {
  std::string path = lock_path(name);
  if (path.empty()) return;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return;  // never created: nobody holds it
  // Blocks while a holder lives; a free lock is taken at once. The waiter
  // gives it back straight away: it only wanted to know the holder is gone.
  if (flock_retry(fd, LOCK_EX) == 0) flock_retry(fd, LOCK_UN);
  ::close(fd);
}

void NamedMutex::close() {
  if (handle_ >= 0) {
    // Closing the only descriptor of the description releases the lock.
    ::close(static_cast<int>(handle_));
  }
  handle_ = -1;
  owned_ = false;
}

NamedMutex::~NamedMutex() { close(); }

NamedMutex::NamedMutex(NamedMutex&& other) noexcept : handle_(other.handle_), owned_(other.owned_) {
  other.handle_ = -1;
  other.owned_ = false;
}

NamedMutex& NamedMutex::operator=(NamedMutex&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = other.handle_;
    owned_ = other.owned_;
    other.handle_ = -1;
    other.owned_ = false;
  }
  return *this;
}

}  // namespace afp
