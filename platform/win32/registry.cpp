// Registry values under HKEY_LOCAL_MACHINE on Windows.
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#include <windows.h>

#include <string>

#include "platform/registry.h"

namespace afp {
namespace {

std::wstring wide(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }

}  // namespace

std::uint32_t reg_get_value(std::u16string_view subkey, std::u16string_view value,
                            std::uint32_t restrict_types, std::uint32_t* type, void* data,
                            std::uint32_t* size) {
  DWORD t = 0;
  DWORD cb = size ? *size : 0;
  LSTATUS st = RegGetValueW(HKEY_LOCAL_MACHINE, wide(subkey).c_str(), wide(value).c_str(), restrict_types,
                            &t, data, size ? &cb : nullptr);
  if (type) *type = t;
  if (size) *size = cb;
  return static_cast<std::uint32_t>(st);
}

std::uint32_t reg_set_key_value(std::u16string_view subkey, std::u16string_view value,
                                std::uint32_t type, const void* data, std::uint32_t size) {
  return static_cast<std::uint32_t>(
      RegSetKeyValueW(HKEY_LOCAL_MACHINE, wide(subkey).c_str(), wide(value).c_str(), type, data, size));
}

}  // namespace afp
