#pragma once

namespace arcflex {

// Makes the edited curve the active (applied) curve, allowing negative
// acceleration when only that makes it valid; the system sound otherwise.
void match_active_curve();

}  // namespace arcflex
