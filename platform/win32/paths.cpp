// Windows folders: the known folder LocalAppData.
#include "platform/paths.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "wide.h"

namespace afp {

std::string local_app_data() {
  PWSTR path = nullptr;
  std::string out;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path)) && path) {
    out = win32::narrow(path);
  }
  CoTaskMemFree(path);
  while (out.size() > 3 && (out.back() == '\\' || out.back() == '/')) out.pop_back();
  return out;
}

char path_separator() { return '\\'; }

std::string executable_name(std::string_view base) { return std::string(base) + ".exe"; }

}  // namespace afp
