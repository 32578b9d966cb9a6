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

// String data as a read returns it: a string closed by its NUL, a string
// list closed by the empty string too, the missing terminators added (the
// stored data may lack them when another program wrote the value). Data
// whose even part is closed comes back as stored, an odd last byte
// included; otherwise that byte is taken as the low half of a character.
// Empty data stays empty.
std::string with_terminators(std::uint32_t type, std::string data) {
  const bool list = type == regtype::multi_sz;
  if (data.empty() || (!list && type != regtype::sz && type != regtype::expand_sz)) return data;
  auto closing_nuls = [&](std::size_t size, std::size_t wanted) {
    std::size_t have = 0;
    while (have < wanted && 2 * (have + 1) <= size && data[size - 2 * have - 1] == '\0' &&
           data[size - 2 * have - 2] == '\0') {
      ++have;
    }
    return have;
  };
  // A list needs two closing NULs, except the empty list of a single NUL.
  const std::size_t even = data.size() & ~std::size_t{1};
  const bool empty_list = even == 2 && data[0] == '\0' && data[1] == '\0';
  const std::size_t wanted = list && !empty_list ? 2 : 1;
  if (closing_nuls(even, wanted) == wanted) return data;
  if (data.size() % 2) data += '\0';
  data.append(2 * (wanted - closing_nuls(data.size(), wanted)), '\0');
  return data;
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
  const std::string bytes = with_terminators(v->type, v->data);
  const auto needed = static_cast<std::uint32_t>(bytes.size());
  if (data) {
    if (*size < needed) {
      *size = needed;
      return syserr::more_data;
    }
    std::memcpy(data, bytes.data(), needed);
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
