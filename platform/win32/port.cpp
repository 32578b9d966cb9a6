// The driver port through the filter manager user library. fltlib.dll is
// loaded at run time (the i686 mingw has no import library for it), from
// the system folder only.
#include "platform/port.h"

#include <windows.h>

#include "wide.h"

namespace afp {
namespace {

using ConnectFn = HRESULT(WINAPI*)(LPCWSTR, DWORD, LPCVOID, WORD, LPSECURITY_ATTRIBUTES, HANDLE*);
using SendFn = HRESULT(WINAPI*)(HANDLE, LPVOID, DWORD, LPVOID, DWORD, LPDWORD);

struct FilterLibrary {
  ConnectFn connect = nullptr;
  SendFn send = nullptr;

  FilterLibrary() {
    HMODULE lib = LoadLibraryExW(L"fltlib.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!lib) lib = LoadLibraryW(L"fltlib.dll");  // systems without the search flags
    if (!lib) return;
    connect = reinterpret_cast<ConnectFn>(reinterpret_cast<void*>(GetProcAddress(lib, "FilterConnectCommunicationPort")));
    send = reinterpret_cast<SendFn>(reinterpret_cast<void*>(GetProcAddress(lib, "FilterSendMessage")));
  }
};

const FilterLibrary& filter_library() {
  static const FilterLibrary lib;  // thread-safe initialisation
  return lib;
}

}  // namespace

struct DriverPort::Impl {
  HANDLE port = INVALID_HANDLE_VALUE;
};

std::unique_ptr<DriverPort> DriverPort::connect(const std::string& name) {
  const FilterLibrary& lib = filter_library();
  if (!lib.connect || !lib.send || name.empty()) return nullptr;
  std::wstring wname = win32::widen(name);
  if (wname.front() != L'\\') wname.insert(wname.begin(), L'\\');
  HANDLE h = INVALID_HANDLE_VALUE;
  HRESULT hr = lib.connect(wname.c_str(), 0, nullptr, 0, nullptr, &h);
  if (FAILED(hr) || h == INVALID_HANDLE_VALUE || h == nullptr) return nullptr;
  std::unique_ptr<DriverPort> port(new DriverPort());
  port->impl_ = std::make_unique<Impl>();
  port->impl_->port = h;
  return port;
}

PortResult DriverPort::send(const void* message, std::size_t size, void* reply, std::size_t reply_size) {
  PortResult result;
  if (!message || size == 0 || size > 0xFFFFFFFFu || reply_size > 0xFFFFFFFFu) {
    result.status = E_INVALIDARG;
    return result;
  }
  DWORD returned = 0;
  // FilterSendMessage may be called from several threads on one handle.
  HRESULT hr = filter_library().send(impl_->port, const_cast<void*>(message), static_cast<DWORD>(size),
                                     reply, reply ? static_cast<DWORD>(reply_size) : 0, &returned);
  result.status = static_cast<std::int32_t>(hr);
  result.bytes_returned = reply ? returned : 0;
  return result;
}

DriverPort::~DriverPort() {
  if (impl_ && impl_->port != INVALID_HANDLE_VALUE) CloseHandle(impl_->port);
}

}  // namespace afp
