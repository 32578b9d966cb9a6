// The module state's defaults, assigned in the order of the start-up, and
// the release of every Python object the state holds.
#pragma once

namespace arcflex {

// Drops every Python object held in module state (part of the exit path).
void release_state_objects();

}  // namespace arcflex
