// The undo (revert_) and redo (redo_) snapshots of the applied state: the
// curves of both axes and the options that travel with them, each member
// an independent deep copy.
#pragma once

#include <string>
#include <vector>

namespace arcflex {

void save_state();       // undo snapshot <- current values
void save_redo_state();  // redo snapshot <- current values
// undo snapshot -> current values (the replaced ones into the redo
// snapshot), then "p.dat" and every control that shows a member.
void restore_values();
// The mirror image with the two snapshots exchanged.
void redo_values();

// Names of the members in the order the last copy took them (tests).
const std::vector<std::string>& last_copy_order();

}  // namespace arcflex
