#include "curve_match.h"

#include "appearance.h"
#include "curve.h"
#include "dialogs.h"
#include "state.h"
#include "state_scale.h"

namespace arcflex {

namespace {

// The edited curve becomes these points and a copy of these flags, redrawn.
void set_edited_curve(py::object nx, py::object ny, py::handle flags) {
  corners = py::module_::import("copy").attr("deepcopy")(flags);
  set_xy(nx, ny);
  set_line_markers();
  redefine_spline();
  update_spline();
  canvas.attr("draw")();
}

}  // namespace

void match_active_curve() {
  py::list nx, ny;
  py::object ax_ = active_line.attr("get_xdata")(), ay_ = active_line.attr("get_ydata")();
  size_t n = py::len(active_line.attr("get_xydata")());
  for (size_t i = 0; i < n; ++i) {
    nx.append(ax_[py::int_(i)]);
    ny.append(ay_[py::int_(i)]);
  }
  auto adopt = [&] { set_edited_curve(nx, ny, active_corners); };
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

void edited_curve_after_revert() {
  if (match_on_revert == 1) {
    match_active_curve();
    return;
  }
  if (match_on_revert != 2 || !dpi_edit_x) return;
  set_edited_curve(dpi_edit_x, dpi_edit_y, dpi_edit_corners);
  dpi_edit_x = dpi_edit_y = dpi_edit_corners = py::object();
}

}  // namespace arcflex
