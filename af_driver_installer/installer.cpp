// The afmouse filter driver installer's logic.
#include "installer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <platform/registry.h>
#include <platform/sysfiles.h>

namespace afinst {
namespace {

// Case folding of the runtime's wide compare in the "C" locale: ASCII only.
char16_t fold(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

bool equal_ignoring_case(const char16_t* s, std::size_t len, std::u16string_view name) {
  if (len != name.size()) return false;
  for (std::size_t i = 0; i < len; ++i)
    if (fold(s[i]) != fold(name[i])) return false;
  return true;
}

// Length of the string at s, not looking past `limit` units.
std::size_t bounded_length(const char16_t* s, std::size_t limit) {
  std::size_t n = 0;
  while (n < limit && s[n] != 0) ++n;
  return n;
}

}  // namespace

long find_in_list(const char16_t* list, std::uint32_t list_bytes, std::size_t list_units, std::u16string_view name) {
  const std::size_t end = std::min<std::size_t>(list_bytes / 2, list_units);
  std::size_t pos = 0;
  while (pos < end) {
    const char16_t* s = list + pos;
    if (*s == 0) break;
    std::size_t len = bounded_length(s, list_units - pos);
    if (pos + len >= list_units) break;  // no terminator inside the buffer
    if (equal_ignoring_case(s, len, name)) return static_cast<long>(pos);
    pos += len + 1;
  }
  return -1;
}

int Installer::install() {
  if (!sys_.file_exists(kImageName)) return -1;
  if (sys_.copy_file(kImageName, driver_path_, false) != 0) return -1;

  afp::ServiceHandle manager = 0;
  if (sys_.open_service_manager(manager) != 0) return -1;
  afp::ServiceConfig config;
  config.name = std::u16string(kServiceName);
  config.display_name = std::u16string(kServiceName);
  config.access = afp::svc::all_access;
  config.type = afp::svc::kernel_driver;
  config.start = afp::svc::demand_start;
  config.error_control = afp::svc::error_ignore;
  config.binary_path = driver_path_;
  afp::ServiceHandle service = 0;
  std::uint32_t err = sys_.create_service(manager, config, service);
  if (err == 0) {
    sys_.close_service_handle(service);
  } else if (err != afp::syserr::service_exists) {
    sys_.close_service_handle(manager);
    return -1;
  }
  sys_.close_service_handle(manager);

  if (add_to_filter_list() != 0) return -1;
  return write_instance_values();
}

int Installer::add_to_filter_list() {
  char16_t buffer[kListBufferBytes / 2] = {};
  const std::size_t head = kServiceName.size() + 1;  // "afmouse" and its NUL
  std::copy(kServiceName.begin(), kServiceName.end(), buffer);
  const auto head_bytes = static_cast<std::uint32_t>(head * 2);

  std::uint32_t size = 0;
  if (sys_.reg_get_value(kMouseClassKey, kFilterValue, afp::regrt::multi_sz, nullptr, &size) != 0) return -1;
  if (size == 0 || size > kMaxStoredList) return -1;
  // The rest of the buffer but its last two units, which stay zero, so every
  // string read ends inside the buffer.
  std::uint32_t read = static_cast<std::uint32_t>(sizeof(buffer)) - head_bytes - 4;
  if (sys_.reg_get_value(kMouseClassKey, kFilterValue, afp::regrt::multi_sz, buffer + head, &read) != 0) return -1;
  if (read == 0 || read > kMaxStoredList) return -1;

  const std::size_t old_units = sizeof(buffer) / 2 - head;
  if (find_in_list(buffer + head, read, old_units, kServiceName) >= 0) return 0;

  const std::uint32_t new_size = read + head_bytes;
  if (new_size > kMaxWrittenList) return -1;
  if (sys_.reg_set_key_value(kMouseClassKey, kFilterValue, afp::regtype::multi_sz, buffer, new_size) != 0) return -1;
  return 0;
}

int Installer::write_instance_values() {
  const std::string instance = afp::reg_string_bytes(kInstanceName);
  const std::string altitude = afp::reg_string_bytes(kAltitude);
  const unsigned char flags[4] = {kFlags & 0xFF, (kFlags >> 8) & 0xFF, (kFlags >> 16) & 0xFF, kFlags >> 24};
  if (sys_.reg_set_key_value(kInstancesKey, u"DefaultInstance", afp::regtype::sz, instance.data(),
                             static_cast<std::uint32_t>(instance.size())) != 0)
    return -1;
  if (sys_.reg_set_key_value(kInstanceKey, u"Altitude", afp::regtype::sz, altitude.data(),
                             static_cast<std::uint32_t>(altitude.size())) != 0)
    return -1;
  if (sys_.reg_set_key_value(kInstanceKey, u"Flags", afp::regtype::dword, flags, sizeof flags) != 0) return -1;
  return 0;
}

int Installer::remove_filter_driver() {
  afp::ServiceHandle manager = 0, service = 0;
  if (sys_.open_service_manager(manager) != 0) return -1;
  if (sys_.open_service(manager, kServiceName, service) != 0) {
    sys_.close_service_handle(manager);
    return -1;
  }
  sys_.stop_service(service);    // a stopped or unstoppable service is no reason to stop here
  sys_.delete_service(service);  // nor one already marked for deletion
  const int result = take_out_of_filter_list();
  sys_.delete_file_at_restart(driver_path_);
  sys_.close_service_handle(service);
  sys_.close_service_handle(manager);
  return result;
}

int Installer::take_out_of_filter_list() {
  char16_t buffer[kListBufferBytes / 2] = {};
  std::uint32_t size = 0;
  if (sys_.reg_get_value(kMouseClassKey, kFilterValue, afp::regrt::multi_sz, nullptr, &size) != 0) return -1;
  if (size == 0 || size > kMaxStoredList) return -1;
  std::uint32_t read = static_cast<std::uint32_t>(sizeof(buffer)) - 4;  // the last two units stay zero
  if (sys_.reg_get_value(kMouseClassKey, kFilterValue, afp::regrt::multi_sz, buffer, &read) != 0) return -1;
  if (read == 0 || read > kMaxStoredList) return -1;
  if (buffer[0] == 0) return 0;

  const std::size_t units = sizeof(buffer) / 2;
  const long found = find_in_list(buffer, read, units, kServiceName);
  if (found < 0) return 0;

  // The match and its terminator go; what follows, up to the value's size,
  // moves up over it. A match that runs past the stored data (a list not
  // terminated inside its size) is cut at the data's end.
  const std::size_t start = static_cast<std::size_t>(found) * 2;
  const std::size_t match_end = std::min<std::size_t>(start + (kServiceName.size() + 1) * 2, read);
  auto* bytes = reinterpret_cast<unsigned char*>(buffer);
  std::memmove(bytes + start, bytes + match_end, read - match_end);
  const auto new_size = static_cast<std::uint32_t>(read - (match_end - start));
  if (sys_.reg_set_key_value(kMouseClassKey, kFilterValue, afp::regtype::multi_sz, buffer, new_size) != 0) return -1;
  return 0;
}

int run(System& sys, const std::vector<std::u16string>& args) {
  char16_t system_dir[kSystemDirUnits] = {};
  const std::uint32_t len = sys.system_directory(system_dir, kSystemDirUnits);
  // 0 is a failure; a result not smaller than the buffer is the size it
  // would have needed.
  if (len == 0 || len >= kSystemDirUnits) return -1;
  if (len + kDriverPathTail.size() + 1 > kDriverPathUnits) return -1;
  std::u16string driver_path(system_dir, len);
  driver_path += kDriverPathTail;

  Installer installer(sys, driver_path);
  if (args.size() >= 2 && args[1].size() >= 2) {
    const char16_t mode = args[1][1];
    if (mode == u'U' || mode == u'u') return installer.remove_filter_driver();
    if (mode == u'I' || mode == u'i') return installer.install();
  }
  sys.print(kUsageText);
  return 0;
}

// ---- the real system ----

std::uint32_t PlatformSystem::system_directory(char16_t* buffer, std::uint32_t size) {
  return afp::get_system_directory(buffer, size);
}
bool PlatformSystem::file_exists(std::u16string_view path) { return afp::file_exists(path); }
std::uint32_t PlatformSystem::copy_file(std::u16string_view from, std::u16string_view to, bool fail_if_exists) {
  return afp::copy_file(from, to, fail_if_exists);
}
std::uint32_t PlatformSystem::delete_file_at_restart(std::u16string_view path) {
  return afp::delete_file_at_restart(path);
}
std::uint32_t PlatformSystem::open_service_manager(afp::ServiceHandle& out) {
  return afp::open_service_manager(afp::svc::manager_all_access, out);
}
std::uint32_t PlatformSystem::create_service(afp::ServiceHandle manager, const afp::ServiceConfig& config,
                                             afp::ServiceHandle& out) {
  return afp::create_service(manager, config, out);
}
std::uint32_t PlatformSystem::open_service(afp::ServiceHandle manager, std::u16string_view name,
                                           afp::ServiceHandle& out) {
  return afp::open_service(manager, name, afp::svc::all_access, out);
}
std::uint32_t PlatformSystem::stop_service(afp::ServiceHandle service) { return afp::stop_service(service); }
std::uint32_t PlatformSystem::delete_service(afp::ServiceHandle service) { return afp::delete_service(service); }
std::uint32_t PlatformSystem::close_service_handle(afp::ServiceHandle handle) {
  return afp::close_service_handle(handle);
}
std::uint32_t PlatformSystem::reg_get_value(std::u16string_view subkey, std::u16string_view value,
                                            std::uint32_t restrict_types, void* data, std::uint32_t* size) {
  return afp::reg_get_value(subkey, value, restrict_types, nullptr, data, size);
}
std::uint32_t PlatformSystem::reg_set_key_value(std::u16string_view subkey, std::u16string_view value,
                                                std::uint32_t type, const void* data, std::uint32_t size) {
  return afp::reg_set_key_value(subkey, value, type, data, size);
}
void PlatformSystem::print(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

}  // namespace afinst
