// Linux folders of the per-user files.
#include "platform/paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace afp {
namespace {

std::string strip_trailing_slashes(std::string p) {
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

std::string home_dir() {
  if (const char* h = std::getenv("HOME"); h && *h) return h;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && *pw->pw_dir) return pw->pw_dir;
  return {};
}

}  // namespace

std::string local_app_data() {
  if (const char* v = std::getenv("LOCALAPPDATA"); v && *v) return strip_trailing_slashes(v);
  if (const char* v = std::getenv("XDG_DATA_HOME"); v && *v) return strip_trailing_slashes(v);
  std::string home = home_dir();
  if (home.empty()) return {};
  return strip_trailing_slashes(home) + "/.local/share";
}

char path_separator() { return '/'; }

std::string executable_name(std::string_view base) { return std::string(base); }

}  // namespace afp
