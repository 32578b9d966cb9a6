// Speeds from the X server's raw pointer motion (XInput2).
#pragma once

#include <memory>

#include "feed.h"

namespace afmouse {

// nullptr when no X display can be opened or it lacks XInput2.
std::unique_ptr<SpeedSource> x_motion_feed();

}  // namespace afmouse
