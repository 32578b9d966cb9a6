// Where the system keeps its per-user files, and how file names are spelled
// on this operating system.
#pragma once

#include <string>
#include <string_view>

namespace afp {

// The local application data folder of the current user, without a
// trailing separator; empty when it cannot be found.
// Windows: the known folder LocalAppData.
// Linux: $LOCALAPPDATA, else $XDG_DATA_HOME, else $HOME/.local/share.
std::string local_app_data();

// '\\' on Windows, '/' elsewhere.
char path_separator();

// The file name of a program: "afmeter" -> "afmeter.exe" on Windows,
// "afmeter" elsewhere.
std::string executable_name(std::string_view base);

}  // namespace afp
