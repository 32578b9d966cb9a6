// Registry values of the stand-in machine (file-backed store, sysstore.h).
#include "platform/registry.h"

#include <cstring>

#include "sysstore.h"

namespace afp {
namespace {

std::uint32_t restriction_bit(std::uint32_t type) {
  switch (type) {
    case regtype::none: return regrt::none;
    case regtype::sz: return regrt::sz;
    case regtype::expand_sz: return regrt::expand_sz;
    case regtype::binary: return regrt::binary;
    case regtype::dword: return regrt::dword;
    case regtype::multi_sz: return regrt::multi_sz;
    case regtype::qword: return regrt::qword;
    default: return 0;
  }
}

}  // namespace

std::uint32_t reg_get_value(std::u16string_view subkey, std::u16string_view value,
                            std::uint32_t restrict_types, std::uint32_t* type, void* data,
                            std::uint32_t* size) {
  if ((data && !size) || (restrict_types & regrt::any) == 0) return syserr::invalid_parameter;
  sysstore::Values values;
  if (auto err = sysstore::read_key(subkey, values)) return err;
  const sysstore::Value* v = sysstore::find_value(values, value);
  if (!v) return syserr::file_not_found;
  if (type) *type = v->type;
  bool allowed = (restrict_types & regrt::any) == regrt::any || (restriction_bit(v->type) & restrict_types) != 0;
  if (!allowed) return syserr::unsupported_type;
  const auto needed = static_cast<std::uint32_t>(v->data.size());
  if (data) {
    if (*size < needed) {
      *size = needed;
      return syserr::more_data;
    }
    std::memcpy(data, v->data.data(), needed);
  }
  if (size) *size = needed;
  return syserr::success;
}

std::uint32_t reg_set_key_value(std::u16string_view subkey, std::u16string_view value,
                                std::uint32_t type, const void* data, std::uint32_t size) {
  if (!data && size != 0) return syserr::invalid_parameter;
  sysstore::Lock lock;
  if (!lock.held()) return syserr::path_not_found;
  sysstore::Values values;
  auto err = sysstore::read_key(subkey, values);
  if (err && err != syserr::file_not_found) return err;
  sysstore::put_value(values, value, type,
                      std::string(static_cast<const char*>(data), data ? size : 0));
  return sysstore::write_key(subkey, values);
}

}  // namespace afp
