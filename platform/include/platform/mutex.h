// System-wide named mutexes.
//
// Windows: CreateMutexW / OpenMutexW / WaitForSingleObject.
// Linux: an exclusive flock on <rundir>/<name>.lock. The lock ends with the
// process that holds it (also when it is killed), and the descriptor is
// close-on-exec, so a child never keeps it alive.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace afp {

class NamedMutex {
 public:
  // Creates the mutex owned by the calling thread. When it already existed
  // (someone holds it), `already_existed` is set to true and the result is
  // a handle that does not own it (Windows) or nullptr (Linux). On any other
  // failure the result is nullptr and `already_existed` is false.
  static std::unique_ptr<NamedMutex> create_owned(const std::string& name, bool& already_existed);

  // Opens the named mutex and waits without time-out until its holder
  // releases it, ends or is killed. Returns at once when no such mutex
  // exists or it cannot be opened.
  static void wait_for(const std::string& name);

  ~NamedMutex();  // releases ownership (if owned) and closes the handle
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;
  NamedMutex(NamedMutex&& other) noexcept;
  NamedMutex& operator=(NamedMutex&& other) noexcept;

  // Whether this handle owns the mutex.
  bool owned() const { return owned_; }

 private:
  NamedMutex(std::intptr_t handle, bool owned) : handle_(handle), owned_(owned) {}
  void close();

  std::intptr_t handle_ = -1;  // HANDLE on Windows, file descriptor on Linux
  bool owned_ = false;
};

}  // namespace afp
