// Named mutexes: CreateMutexW / OpenMutexW / WaitForSingleObject.
#include "platform/mutex.h"

#include <windows.h>

#include "wide.h"

namespace afp {

std::unique_ptr<NamedMutex> NamedMutex::create_owned(const std::string& name, bool& already_existed) {
  already_existed = false;
  HANDLE h = CreateMutexW(nullptr, TRUE, win32::widen(name).c_str());
  DWORD err = GetLastError();
  if (!h) return nullptr;
  if (err == ERROR_ALREADY_EXISTS) {
    // The call opened the existing mutex without taking it.
    already_existed = true;
    return std::unique_ptr<NamedMutex>(new NamedMutex(reinterpret_cast<std::intptr_t>(h), false));
  }
  return std::unique_ptr<NamedMutex>(new NamedMutex(reinterpret_cast<std::intptr_t>(h), true));
}

void NamedMutex::wait_for(const std::string& name) {
  HANDLE h = OpenMutexW(MUTEX_ALL_ACCESS, TRUE, win32::widen(name).c_str());
  if (!h) return;  // no such mutex: nobody to wait for
  DWORD r = WaitForSingleObject(h, INFINITE);
  // Released or abandoned: the wait took it; give it back at once.
  if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED) ReleaseMutex(h);
  CloseHandle(h);
}

void NamedMutex::close() {
  if (handle_ != -1 && handle_ != 0) {
    HANDLE h = reinterpret_cast<HANDLE>(handle_);
    if (owned_) ReleaseMutex(h);  // fails harmlessly on a thread that does not own it
    CloseHandle(h);
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
