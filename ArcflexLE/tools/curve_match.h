#pragma once

namespace arcflex {

// Makes the edited curve the active (applied) curve, allowing negative
// acceleration when only that makes it valid; the system sound otherwise.
void match_active_curve();

// What a revert does with the edited curve, by match_on_revert: 1 (after a
// preset or a loaded profile) copies the restored applied curve into it;
// 2 (after a DPI conversion, which took the edited curve along) gives back
// the edited curve kept from before the conversion, so an edit that was
// not applied survives; 0 leaves it as it is.
void edited_curve_after_revert();

}  // namespace arcflex
