// The per-user folder that holds the run-time objects (lock files, the
// command pipe, the driver port) on Linux.
#pragma once

#include <string>
#include <string_view>

namespace afp {

// $XDG_RUNTIME_DIR/arcflex, else /tmp/arcflex-<uid>, created with mode 0700
// on first use. The folder must be a real directory owned by the user;
// otherwise the result is empty and every object that lives in it fails.
// Windows has no such folder: the result is empty there.
std::string run_dir();

// Whether the run-time folder cannot be used; then `folder` names the item
// at fault (the folder, or above it a file in the way or the topmost
// missing folder) and `reason` gives the system's reason. Always false on
// Windows.
bool run_dir_problem(std::string& folder, std::string& reason);

// run_dir() + "/" + name, or empty when run_dir() is empty.
std::string run_path(std::string_view name);

}  // namespace afp
