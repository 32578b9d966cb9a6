// Windows keeps its named objects in the object manager: no run-time folder.
#include "platform/rundir.h"

namespace afp {

std::string run_dir() { return {}; }

bool run_dir_problem(std::string& folder, std::string& reason) {
  folder.clear();
  reason.clear();
  return false;
}

std::string run_path(std::string_view) { return {}; }

}  // namespace afp
