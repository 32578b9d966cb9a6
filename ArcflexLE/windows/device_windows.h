// The Devices window: a list of devices beside a list of exclusions and an
// "Exclude" button that tells the user how exclusions are made. Built
// withdrawn at start-up.
#pragma once

#include <string>

#include "pyrt.h"

namespace arcflex {

void build_devices_window();
void show_devices_window();
void hide_devices_window();

// The "Exclude" button: one information box; reads and writes nothing.
void exclude_devices();
// The text of that box.
std::string exclude_devices_message();

}  // namespace arcflex
