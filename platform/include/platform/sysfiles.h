// The machine's system folder and the file calls the driver installer makes,
// plus the system error codes the registry and service calls report.
//
// Strings are UTF-16 on every system, so sizes in bytes are the same
// everywhere. Paths may use '\\' as the separator on every system.
//
// Windows: the real calls (GetSystemDirectoryW, CopyFileW, MoveFileExW ...).
// Linux: a stand-in machine under the folder $AF_SYSROOT: its system folder
// is $AF_SYSROOT/windows/system32, its registry and service records live in a
// file-backed store there (see registry.h and services.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace afp {

// System error codes (the values Windows uses, on every system).
namespace syserr {
constexpr std::uint32_t success = 0;
constexpr std::uint32_t file_not_found = 2;
constexpr std::uint32_t path_not_found = 3;
constexpr std::uint32_t access_denied = 5;
constexpr std::uint32_t invalid_handle = 6;
constexpr std::uint32_t file_exists = 80;
constexpr std::uint32_t invalid_parameter = 87;
constexpr std::uint32_t more_data = 234;
constexpr std::uint32_t registry_corrupt = 1015;
constexpr std::uint32_t service_does_not_exist = 1060;
constexpr std::uint32_t service_not_active = 1062;
constexpr std::uint32_t service_marked_for_delete = 1072;
constexpr std::uint32_t service_exists = 1073;
constexpr std::uint32_t unsupported_type = 1630;
}  // namespace syserr

// The system folder, like GetSystemDirectoryW: on success its length in
// UTF-16 units without the terminator, written with a terminator into
// buffer; when it does not fit, the size needed (terminator included) and
// nothing written; 0 on failure (Linux: $AF_SYSROOT unset, empty or not an
// absolute path).
std::uint32_t get_system_directory(char16_t* buffer, std::uint32_t size);

// Whether a file or folder of that name exists (the runtime's _waccess with
// mode 0 / access(F_OK)).
bool file_exists(std::u16string_view path);

// Copies a file like CopyFileW: 0 or a system error code.
std::uint32_t copy_file(std::u16string_view from, std::u16string_view to, bool fail_if_exists);

// Schedules a file for deletion at the next restart, like MoveFileExW with
// no new name and MOVEFILE_DELAY_UNTIL_REBOOT: 0 or a system error code.
// Both systems record it as the pair ("\??\" + full path, "") appended to the
// REG_MULTI_SZ value "PendingFileRenameOperations" of the key
// "SYSTEM\CurrentControlSet\Control\Session Manager" (HKEY_LOCAL_MACHINE).
std::uint32_t delete_file_at_restart(std::u16string_view path);

// The program's command-line arguments as UTF-16, the program name first
// (Windows: the wide command line; Linux: argv read as UTF-8).
std::vector<std::u16string> command_line_arguments(int argc, char** argv);

// UTF-16 -> UTF-8. An unpaired surrogate is kept as its own three-byte
// sequence, so every UTF-16 name survives the round trip through from_utf8.
inline std::string to_utf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    std::uint32_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// UTF-8 -> UTF-16; a byte that starts no valid sequence becomes U+FFFD.
inline std::u16string from_utf8(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    std::uint32_t c = 0xFFFD;
    std::size_t n = 1;
    std::size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (len == 1) {
      c = b;
    } else if (len > 1 && i + len <= s.size()) {
      std::uint32_t v = b & (0x7F >> len);
      bool ok = true;
      for (std::size_t k = 1; k < len; ++k) {
        const auto t = static_cast<unsigned char>(s[i + k]);
        if ((t & 0xC0) != 0x80) { ok = false; break; }
        v = (v << 6) | (t & 0x3F);
      }
      static constexpr std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
      if (ok && v >= least[len] && v <= 0x10FFFF) {
        c = v;
        n = len;
      }
    }
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += n;
  }
  return out;
}

}  // namespace afp
