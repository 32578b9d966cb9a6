// The afmouse filter driver installer: "/I" installs, "/U" uninstalls.
//
// Install copies "afmouse.sys" from the current folder into the system's
// drivers folder, creates the kernel service "afmouse", puts "afmouse" at the
// front of the mouse class upper-filter list and writes the filter-manager
// instance values. Uninstall stops and deletes the service, takes "afmouse"
// out of the filter list and schedules the image's deletion at the next
// restart. The outcome is the exit code: 0, or -1 for every failure.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <platform/services.h>

namespace afinst {

inline constexpr std::u16string_view kServiceName = u"afmouse";
inline constexpr std::u16string_view kImageName = u"afmouse.sys";
inline constexpr std::u16string_view kDriverPathTail = u"\\drivers\\afmouse.sys";
inline constexpr std::u16string_view kMouseClassKey =
    u"SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e96f-e325-11ce-bfc1-08002be10318}";
inline constexpr std::u16string_view kFilterValue = u"UpperFilters";
inline constexpr std::u16string_view kInstancesKey = u"SYSTEM\\CurrentControlSet\\Services\\afmouse\\Instances";
inline constexpr std::u16string_view kInstanceName = u"Arcflex fltmgr interface Default";
inline constexpr std::u16string_view kInstanceKey =
    u"SYSTEM\\CurrentControlSet\\Services\\afmouse\\Instances\\Arcflex fltmgr interface Default";
inline constexpr std::u16string_view kAltitude = u"385020";
inline constexpr std::uint32_t kFlags = 1;

inline constexpr std::uint32_t kSystemDirUnits = 1024;  // system folder buffer
inline constexpr std::uint32_t kDriverPathUnits = 512;  // driver path buffer, terminator included
inline constexpr std::uint32_t kListBufferBytes = 2048; // filter list working buffer
inline constexpr std::uint32_t kMaxStoredList = 511;    // largest list accepted, in bytes
inline constexpr std::uint32_t kMaxWrittenList = 511;   // largest list written, in bytes

inline constexpr const char* kUsageText =
    "\n How to use : installer /I for install or installer /U for UN-install \n";

// The operating-system calls the installer makes; the program uses
// PlatformSystem, tests may put failures in between.
class System {
 public:
  virtual ~System() = default;
  virtual std::uint32_t system_directory(char16_t* buffer, std::uint32_t size) = 0;
  virtual bool file_exists(std::u16string_view path) = 0;
  virtual std::uint32_t copy_file(std::u16string_view from, std::u16string_view to, bool fail_if_exists) = 0;
  virtual std::uint32_t delete_file_at_restart(std::u16string_view path) = 0;
  virtual std::uint32_t open_service_manager(afp::ServiceHandle& out) = 0;
  virtual std::uint32_t create_service(afp::ServiceHandle manager, const afp::ServiceConfig& config,
                                       afp::ServiceHandle& out) = 0;
  virtual std::uint32_t open_service(afp::ServiceHandle manager, std::u16string_view name,
                                     afp::ServiceHandle& out) = 0;
  virtual std::uint32_t stop_service(afp::ServiceHandle service) = 0;
  virtual std::uint32_t delete_service(afp::ServiceHandle service) = 0;
  virtual std::uint32_t close_service_handle(afp::ServiceHandle handle) = 0;
  virtual std::uint32_t reg_get_value(std::u16string_view subkey, std::u16string_view value,
                                      std::uint32_t restrict_types, void* data, std::uint32_t* size) = 0;
  virtual std::uint32_t reg_set_key_value(std::u16string_view subkey, std::u16string_view value,
                                          std::uint32_t type, const void* data, std::uint32_t size) = 0;
  virtual void print(std::string_view text) = 0;
};

// The real calls of the platform layer; print writes to standard output.
class PlatformSystem : public System {
 public:
  std::uint32_t system_directory(char16_t* buffer, std::uint32_t size) override;
  bool file_exists(std::u16string_view path) override;
  std::uint32_t copy_file(std::u16string_view from, std::u16string_view to, bool fail_if_exists) override;
  std::uint32_t delete_file_at_restart(std::u16string_view path) override;
  std::uint32_t open_service_manager(afp::ServiceHandle& out) override;
  std::uint32_t create_service(afp::ServiceHandle manager, const afp::ServiceConfig& config,
                               afp::ServiceHandle& out) override;
  std::uint32_t open_service(afp::ServiceHandle manager, std::u16string_view name,
                             afp::ServiceHandle& out) override;
  std::uint32_t stop_service(afp::ServiceHandle service) override;
  std::uint32_t delete_service(afp::ServiceHandle service) override;
  std::uint32_t close_service_handle(afp::ServiceHandle handle) override;
  std::uint32_t reg_get_value(std::u16string_view subkey, std::u16string_view value,
                              std::uint32_t restrict_types, void* data, std::uint32_t* size) override;
  std::uint32_t reg_set_key_value(std::u16string_view subkey, std::u16string_view value,
                                  std::uint32_t type, const void* data, std::uint32_t size) override;
  void print(std::string_view text) override;
};

// One install or uninstall against a system.
class Installer {
 public:
  Installer(System& sys, std::u16string driver_path) : sys_(sys), driver_path_(std::move(driver_path)) {}

  // Install; 0 or -1.
  int install();
  // Uninstall; 0 or -1.
  int remove_filter_driver();

 private:
  int add_to_filter_list();
  int take_out_of_filter_list();
  int write_instance_values();

  System& sys_;
  std::u16string driver_path_;
};

// The position (in UTF-16 units from the list's start) of the first string
// of a filter list equal to `name` without regard to case, or -1. The scan
// stops at the first empty string or at half the list's size in bytes; a
// string running past the list's end is read up to its terminator inside
// `list_units` (the whole buffer, which must hold one).
long find_in_list(const char16_t* list, std::uint32_t list_bytes, std::size_t list_units, std::u16string_view name);

// The whole program: arguments as given (program name first); 0 or -1.
int run(System& sys, const std::vector<std::u16string>& args);

}  // namespace afinst
