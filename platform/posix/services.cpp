// The service control manager of the stand-in machine: service records are
// the values of HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\<name>,
// as Windows keeps them.
#include "platform/services.h"

#include <map>
#include <mutex>

#include "platform/registry.h"
#include "sysstore.h"

namespace afp {
namespace {

constexpr std::u16string_view kServicesKey = u"SYSTEM\\CurrentControlSet\\Services";

struct OpenHandle {
  bool manager = false;
  std::u16string service;  // the name as the caller gave it
};

std::mutex g_mutex;
std::map<ServiceHandle, OpenHandle> g_handles;
ServiceHandle g_next = 0x100;

std::u16string service_key(std::u16string_view name) {
  return std::u16string(kServicesKey) + u"\\" + std::u16string(name);
}

std::string dword_bytes(std::uint32_t v) {
  std::string b(4, '\0');
  for (int i = 0; i < 4; ++i) b[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return b;
}

bool valid_name(std::u16string_view name) {
  return !name.empty() && name.find(u'\\') == std::u16string_view::npos &&
         name.find(u'/') == std::u16string_view::npos;
}

// A service exists when its key holds a "Type" value.
enum class State { missing, exists, marked_for_delete };

std::uint32_t service_state(std::u16string_view name, State& state) {
  state = State::missing;
  sysstore::Values values;
  auto err = sysstore::read_key(service_key(name), values);
  if (err == syserr::file_not_found) return syserr::success;
  if (err) return err;
  if (!sysstore::find_value(values, u"Type")) return syserr::success;
  const sysstore::Value* flag = sysstore::find_value(values, u"DeleteFlag");
  bool marked = flag && flag->type == regtype::dword && flag->data.size() == 4 && flag->data != dword_bytes(0);
  state = marked ? State::marked_for_delete : State::exists;
  return syserr::success;
}

ServiceHandle add_handle(OpenHandle h) {
  ServiceHandle id = g_next++;
  g_handles[id] = std::move(h);
  return id;
}

const OpenHandle* find(ServiceHandle h, bool manager) {
  auto it = g_handles.find(h);
  if (it == g_handles.end() || it->second.manager != manager) return nullptr;
  return &it->second;
}

}  // namespace

std::uint32_t open_service_manager(std::uint32_t /*access*/, ServiceHandle& out) {
  out = 0;
  if (!sysstore::ensure_layout()) return syserr::path_not_found;
  std::lock_guard<std::mutex> guard(g_mutex);
  out = add_handle(OpenHandle{true, {}});
  return syserr::success;
}

std::uint32_t create_service(ServiceHandle manager, const ServiceConfig& config, ServiceHandle& out) {
  out = 0;
  std::lock_guard<std::mutex> guard(g_mutex);
  if (!find(manager, true)) return syserr::invalid_handle;
  if (!valid_name(config.name)) return syserr::invalid_parameter;
  sysstore::Lock lock;
  if (!lock.held()) return syserr::path_not_found;
  State state;
  if (auto err = service_state(config.name, state)) return err;
  if (state == State::exists) return syserr::service_exists;
  if (state == State::marked_for_delete) return syserr::service_marked_for_delete;
  sysstore::Values values;
  auto err = sysstore::read_key(service_key(config.name), values);
  if (err && err != syserr::file_not_found) return err;
  sysstore::put_value(values, u"Type", regtype::dword, dword_bytes(config.type));
  sysstore::put_value(values, u"Start", regtype::dword, dword_bytes(config.start));
  sysstore::put_value(values, u"ErrorControl", regtype::dword, dword_bytes(config.error_control));
  sysstore::put_value(values, u"ImagePath", regtype::expand_sz, reg_string_bytes(config.binary_path));
  sysstore::put_value(values, u"DisplayName", regtype::sz,
                      reg_string_bytes(config.display_name.empty() ? config.name : config.display_name));
  if (auto werr = sysstore::write_key(service_key(config.name), values)) return werr;
  out = add_handle(OpenHandle{false, config.name});
  return syserr::success;
}

std::uint32_t open_service(ServiceHandle manager, std::u16string_view name, std::uint32_t /*access*/,
                           ServiceHandle& out) {
  out = 0;
  std::lock_guard<std::mutex> guard(g_mutex);
  if (!find(manager, true)) return syserr::invalid_handle;
  if (!valid_name(name)) return syserr::invalid_parameter;
  State state;
  if (auto err = service_state(name, state)) return err;
  if (state == State::missing) return syserr::service_does_not_exist;
  out = add_handle(OpenHandle{false, std::u16string(name)});
  return syserr::success;
}

std::uint32_t stop_service(ServiceHandle service) {
  std::lock_guard<std::mutex> guard(g_mutex);
  if (!find(service, false)) return syserr::invalid_handle;
  // Nothing runs a driver here: every service is stopped.
  return syserr::service_not_active;
}

std::uint32_t delete_service(ServiceHandle service) {
  std::lock_guard<std::mutex> guard(g_mutex);
  const OpenHandle* h = find(service, false);
  if (!h) return syserr::invalid_handle;
  sysstore::Lock lock;
  if (!lock.held()) return syserr::path_not_found;
  State state;
  if (auto err = service_state(h->service, state)) return err;
  if (state == State::missing) return syserr::service_does_not_exist;
  if (state == State::marked_for_delete) return syserr::service_marked_for_delete;
  sysstore::Values values;
  if (auto err = sysstore::read_key(service_key(h->service), values)) return err;
  sysstore::put_value(values, u"DeleteFlag", regtype::dword, dword_bytes(1));
  return sysstore::write_key(service_key(h->service), values);
}

std::uint32_t close_service_handle(ServiceHandle handle) {
  std::lock_guard<std::mutex> guard(g_mutex);
  auto it = g_handles.find(handle);
  if (it == g_handles.end()) return syserr::invalid_handle;
  OpenHandle closed = std::move(it->second);
  g_handles.erase(it);
  if (closed.manager) return syserr::success;
  for (const auto& [id, h] : g_handles)
    if (!h.manager && sysstore::names_equal(h.service, closed.service)) return syserr::success;
  // The last handle of a service marked for deletion: the service goes,
  // with its whole key (the stopped service has nothing left to wait for).
  sysstore::Lock lock;
  if (!lock.held()) return syserr::success;
  State state;
  if (service_state(closed.service, state) == syserr::success && state == State::marked_for_delete)
    sysstore::delete_tree(service_key(closed.service));
  return syserr::success;
}

}  // namespace afp
