// Values under HKEY_LOCAL_MACHINE, with the semantics of RegGetValueW and
// RegSetKeyValueW: key and value names are compared without regard to case
// (ASCII letters), data is kept byte for byte with its type.
//
// Windows: the real registry. Linux: a file-backed store under
// $AF_SYSROOT/registry (one folder per key, one values file per key, every
// change written to a temporary file and renamed over the old one).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/sysfiles.h"

namespace afp {

// Value types (REG_*).
namespace regtype {
constexpr std::uint32_t none = 0;
constexpr std::uint32_t sz = 1;
constexpr std::uint32_t expand_sz = 2;
constexpr std::uint32_t binary = 3;
constexpr std::uint32_t dword = 4;
constexpr std::uint32_t multi_sz = 7;
constexpr std::uint32_t qword = 11;
}  // namespace regtype

// Type restrictions of a read (RRF_RT_*).
namespace regrt {
constexpr std::uint32_t none = 0x1;
constexpr std::uint32_t sz = 0x2;
constexpr std::uint32_t expand_sz = 0x4;
constexpr std::uint32_t binary = 0x8;
constexpr std::uint32_t dword = 0x10;
constexpr std::uint32_t multi_sz = 0x20;
constexpr std::uint32_t qword = 0x40;
constexpr std::uint32_t any = 0xffff;
}  // namespace regrt

// The data bytes of a string value (REG_SZ, REG_EXPAND_SZ): UTF-16 little
// endian with its terminating null.
inline std::string reg_string_bytes(std::u16string_view s) {
  std::string b;
  for (char16_t c : s) {
    b += static_cast<char>(c & 0xFF);
    b += static_cast<char>(c >> 8);
  }
  b += std::string(2, '\0');
  return b;
}

// Reads value `value` of key HKEY_LOCAL_MACHINE\<subkey>, like RegGetValueW
// with `restrict_types` as its flags. Returns 0 or a system error code:
// file_not_found (no such key or value), unsupported_type (the stored type is
// not allowed by restrict_types), more_data (data given and *size too small;
// *size then holds the size needed). With data null, only *size is set.
// *type (when type is not null) receives the stored type. String data comes
// back closed by its NUL, and a REG_MULTI_SZ list by the empty string as
// well: terminators the stored data lacks are added, and counted in *size.
std::uint32_t reg_get_value(std::u16string_view subkey, std::u16string_view value,
                            std::uint32_t restrict_types, std::uint32_t* type, void* data,
                            std::uint32_t* size);

// Writes value `value` of key HKEY_LOCAL_MACHINE\<subkey>, like
// RegSetKeyValueW: the key (and any missing key above it) is created, an
// existing value of that name (in any case) is replaced and keeps its
// stored name. Returns 0 or a system error code.
std::uint32_t reg_set_key_value(std::u16string_view subkey, std::u16string_view value,
                                std::uint32_t type, const void* data, std::uint32_t size);

}  // namespace afp
