// Windows keeps its named objects in the object manager: no run-time folder.
#include "platform/rundir.h"

namespace afp {

std::string run_dir() { return {}; }

std::string run_path(std::string_view) { return {}; }

}  // namespace afp
