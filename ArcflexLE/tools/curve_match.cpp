#include "curve_match.h"

#include "appearance.h"
#include "curve.h"
#include "dialogs.h"
#include "state.h"

namespace arcflex {

void match_active_curve() {
  py::list nx, ny;
  py::object ax_ = active_line.attr("get_xdata")(), ay_ = active_line.attr("get_ydata")();
  size_t n = py::len(active_line.attr("get_xydata")());
  for (size_t i = 0; i < n; ++i) {
    nx.append(ax_[py::int_(i)]);
    ny.append(ay_[py::int_(i)]);
  }
  auto adopt = [&] {
    corners = py::module_::import("copy").attr("deepcopy")(active_corners);
    set_xy(nx, ny);
    set_line_markers();
    redefine_spline();
    update_spline();
    canvas.attr("draw")();
  };
  if (points_are_valid(nx, ny, active_corners)) {
    adopt();
  } else if (neg_points_are_valid(nx, ny, active_corners)) {
    negative_accel = 1;
    if (negative_accel_enabled) negative_accel_enabled.attr("set")(1);
    adopt();
    if (loading_profiles > 0) {
      loading_profiles = 2;
    } else {
      loading_profiles = 0;
      dialogs::show_info("Negative accel enabled.", "Enabling 'Allow negative accel' in the Options menu.", root);
    }
  } else {
    dialogs::system_sound_asterisk();
  }
  unlock_profiles();
}

}  // namespace arcflex
