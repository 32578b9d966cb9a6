// Module state of the colour tools: the hue-rotation matrix that the
// combined colour picker fills. The colour globals themselves live with the
// rest of the appearance state in state.h.
#pragma once

#include <array>

namespace arcflex {

using Matrix3 = std::array<std::array<double, 3>, 3>;

inline constexpr Matrix3 identity_matrix{{{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}}};

// Row i gives output channel i (red, green, blue), column j the weight of
// input channel j. The identity until set_hue_rotation writes it; kept for
// the life of the process.
inline Matrix3 matrix = identity_matrix;

}  // namespace arcflex
