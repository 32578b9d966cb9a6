// The system folder and file calls on Windows.
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#include <windows.h>
#include <shellapi.h>
#include <io.h>

#include "platform/sysfiles.h"

namespace afp {
namespace {

std::wstring wide(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }

}  // namespace

std::uint32_t get_system_directory(char16_t* buffer, std::uint32_t size) {
  return GetSystemDirectoryW(reinterpret_cast<wchar_t*>(buffer), size);
}

bool file_exists(std::u16string_view path) { return _waccess(wide(path).c_str(), 0) == 0; }

std::uint32_t copy_file(std::u16string_view from, std::u16string_view to, bool fail_if_exists) {
  if (CopyFileW(wide(from).c_str(), wide(to).c_str(), fail_if_exists ? TRUE : FALSE)) return 0;
  return GetLastError();
}

std::uint32_t delete_file_at_restart(std::u16string_view path) {
  if (MoveFileExW(wide(path).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) return 0;
  return GetLastError();
}

std::vector<std::u16string> command_line_arguments(int argc, char** argv) {
  std::vector<std::u16string> args;
  int n = 0;
  if (wchar_t** w = CommandLineToArgvW(GetCommandLineW(), &n)) {
    for (int i = 0; i < n; ++i) {
      std::wstring_view a(w[i]);
      args.emplace_back(a.begin(), a.end());
    }
    LocalFree(w);
    return args;
  }
  for (int i = 0; i < argc; ++i) args.push_back(from_utf8(argv[i] ? argv[i] : ""));
  return args;
}

}  // namespace afp
