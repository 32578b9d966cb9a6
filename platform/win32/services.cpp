// The service control manager on Windows.
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#include <windows.h>

#include <string>

#include "platform/services.h"

namespace afp {
namespace {

std::wstring wide(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }
SC_HANDLE sc(ServiceHandle h) { return reinterpret_cast<SC_HANDLE>(h); }

}  // namespace

std::uint32_t open_service_manager(std::uint32_t access, ServiceHandle& out) {
  SC_HANDLE h = OpenSCManagerW(nullptr, nullptr, access);
  out = reinterpret_cast<ServiceHandle>(h);
  return h ? 0 : GetLastError();
}

std::uint32_t create_service(ServiceHandle manager, const ServiceConfig& c, ServiceHandle& out) {
  std::wstring name = wide(c.name), display = wide(c.display_name), path = wide(c.binary_path);
  SC_HANDLE h = CreateServiceW(sc(manager), name.c_str(), display.c_str(), c.access, c.type, c.start,
                               c.error_control, path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
  out = reinterpret_cast<ServiceHandle>(h);
  return h ? 0 : GetLastError();
}

std::uint32_t open_service(ServiceHandle manager, std::u16string_view name, std::uint32_t access,
                           ServiceHandle& out) {
  SC_HANDLE h = OpenServiceW(sc(manager), wide(name).c_str(), access);
  out = reinterpret_cast<ServiceHandle>(h);
  return h ? 0 : GetLastError();
}

std::uint32_t stop_service(ServiceHandle service) {
  SERVICE_STATUS status{};
  return ControlService(sc(service), SERVICE_CONTROL_STOP, &status) ? 0 : GetLastError();
}

std::uint32_t delete_service(ServiceHandle service) {
  return DeleteService(sc(service)) ? 0 : GetLastError();
}

std::uint32_t close_service_handle(ServiceHandle handle) {
  return CloseServiceHandle(sc(handle)) ? 0 : GetLastError();
}

}  // namespace afp
