// The service control manager on the local machine, as far as the driver
// installer uses it: open the manager, create or open a service, stop it,
// delete it, close handles. Every call returns 0 or a system error code.
//
// Windows: the real service control manager. Linux: service records kept as
// Windows keeps them, as values of the key
// HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\<name> in the store of
// registry.h ("Type", "Start", "ErrorControl", "ImagePath", "DisplayName").
// A deleted service is marked ("DeleteFlag" 1) and its key removed when its
// last handle of the process closes; a service marked that way cannot be
// created again. Services never run on Linux, so stopping one reports
// service_not_active.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/sysfiles.h"

namespace afp {

// An open manager or service handle; 0 is no handle.
using ServiceHandle = std::uintptr_t;

namespace svc {
constexpr std::uint32_t manager_all_access = 0xF003F;  // SC_MANAGER_ALL_ACCESS
constexpr std::uint32_t all_access = 0xF01FF;          // SERVICE_ALL_ACCESS
constexpr std::uint32_t kernel_driver = 1;              // SERVICE_KERNEL_DRIVER
constexpr std::uint32_t demand_start = 3;               // SERVICE_DEMAND_START
constexpr std::uint32_t error_ignore = 0;               // SERVICE_ERROR_IGNORE
}  // namespace svc

// What CreateServiceW is given; no load-order group, tag, dependencies,
// account or password.
struct ServiceConfig {
  std::u16string name;
  std::u16string display_name;
  std::uint32_t access = svc::all_access;
  std::uint32_t type = svc::kernel_driver;
  std::uint32_t start = svc::demand_start;
  std::uint32_t error_control = svc::error_ignore;
  std::u16string binary_path;
};

// OpenSCManagerW on the local machine and its active database.
std::uint32_t open_service_manager(std::uint32_t access, ServiceHandle& out);

// CreateServiceW; service_exists when a service of that name exists.
std::uint32_t create_service(ServiceHandle manager, const ServiceConfig& config, ServiceHandle& out);

// OpenServiceW; service_does_not_exist when there is none of that name.
std::uint32_t open_service(ServiceHandle manager, std::u16string_view name, std::uint32_t access,
                           ServiceHandle& out);

// ControlService with SERVICE_CONTROL_STOP.
std::uint32_t stop_service(ServiceHandle service);

// DeleteService: marks the service for deletion.
std::uint32_t delete_service(ServiceHandle service);

// CloseServiceHandle.
std::uint32_t close_service_handle(ServiceHandle handle);

}  // namespace afp
