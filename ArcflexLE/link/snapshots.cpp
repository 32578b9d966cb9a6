#include "snapshots.h"

#include <cmath>

#include "curve.h"
#include "link_windows.h"
#include "settings_files.h"
#include "state.h"
#include "toggle_window.h"
#include "tools.h"

namespace arcflex {

using namespace py::literals;

namespace {

std::vector<std::string> g_order;

py::object deepcopy(py::handle o) { return py::module_::import("copy").attr("deepcopy")(o); }

// One member of the snapshot: its name and where it lives in the current
// values, the undo and the redo snapshot.
struct Member {
  const char* name;
  enum Kind { Int, Real, Obj } kind;
  int *ci = nullptr, *ui = nullptr, *ri = nullptr;
  double *cd = nullptr, *ud = nullptr, *rd = nullptr;
  py::object *co = nullptr, *uo = nullptr, *ro = nullptr;
};

std::vector<Member>& members() {
  static std::vector<Member> m = {
      {"pitch", Member::Int, &active_pitch, &revert_pitch, &redo_pitch},
      {"toggleMode", Member::Int, &toggleMode, &revert_toggleMode, &redo_toggleMode},
      {"toggleButton", Member::Int, &toggleButton, &revert_toggleButton, &redo_toggleButton},
      {"toggleKey", Member::Int, &toggleKey, &revert_toggleKey, &redo_toggleKey},
      {"toggleSensX", Member::Obj, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &toggleSensX,
       &revert_toggleSensX, &redo_toggleSensX},
      {"toggleSensY", Member::Obj, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &toggleSensY,
       &revert_toggleSensY, &redo_toggleSensY},
      {"scale_dx", Member::Obj, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &scale_dx, &revert_scale_dx,
       &redo_scale_dx},
      {"scale_dy", Member::Obj, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &scale_dy, &revert_scale_dy,
       &redo_scale_dy},
      {"horizontal_x", Member::Obj, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &horizontal_x,
       &revert_horizontal_x, &redo_horizontal_x},
      {"horizontal_y", Member::Obj, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &horizontal_y,
       &revert_horizontal_y, &redo_horizontal_y},
      {"horizontal_corners", Member::Obj, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &horizontal_corners,
       &revert_horizontal_corners, &redo_horizontal_corners},
      {"vertical_x", Member::Obj, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &vertical_x,
       &revert_vertical_x, &redo_vertical_x},
      {"vertical_y", Member::Obj, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &vertical_y,
       &revert_vertical_y, &redo_vertical_y},
      {"vertical_corners", Member::Obj, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &vertical_corners,
       &revert_vertical_corners, &redo_vertical_corners},
      {"distCalcMode", Member::Int, &distCalcMode, &revert_distCalcMode, &redo_distCalcMode},
      {"indPercent", Member::Real, nullptr, nullptr, nullptr, &indPercent, &revert_indPercent, &redo_indPercent},
      {"maxFrameTime", Member::Int, &maxFrameTime, &revert_maxFrameTime, &redo_maxFrameTime},
  };
  return m;
}

enum Side { Current, Undo, Redo };

void copy_member(const Member& m, Side from, Side to) {
  g_order.emplace_back(m.name);
  switch (m.kind) {
    case Member::Int: {
      int* p[] = {m.ci, m.ui, m.ri};
      *p[to] = *p[from];
      break;
    }
    case Member::Real: {
      double* p[] = {m.cd, m.ud, m.rd};
      *p[to] = *p[from];
      break;
    }
    case Member::Obj: {
      py::object* p[] = {m.co, m.uo, m.ro};
      *p[to] = deepcopy(*p[from]);
      break;
    }
  }
}

// Table order: 1 to 17.
void copy_table_order(Side from, Side to) {
  g_order.clear();
  for (const Member& m : members()) copy_member(m, from, to);
}

// The redo order: 1, 15, 16, 17, 2 to 14.
void copy_redo_order(Side from, Side to) {
  g_order.clear();
  const auto& m = members();
  for (int i : {0, 14, 15, 16, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}) copy_member(m[i], from, to);
}

// Steps 3 to 12 of a restore; `slider` is the independence slider's value.
void refresh_after_restore(int slider) {
  // This write takes a change back (or brings one again): the file it
  // replaces is not the one to keep.
  keep_previous_curve_on_next_write(false);
  write_curve();
  dist_calc_variable.attr("set")(DIST_CALC_OPTIONS.at(static_cast<size_t>(distCalcMode)));
  ind_percent_variable.attr("set")(slider);
  set_use_dpu(maxFrameTime);
  set_pitch_var(active_pitch);
  set_axis_mode(py::int_(axis_mode));
  rewrite_toggle_window();
}

}  // namespace

void save_state() {
  copy_table_order(Current, Undo);
  // A change may follow: "p.dat" as it is now is what taking it back means.
  keep_previous_curve_on_next_write();
}

void save_redo_state() { copy_redo_order(Current, Redo); }

void restore_values() {
  copy_redo_order(Current, Redo);
  std::vector<std::string> first = g_order;
  copy_table_order(Undo, Current);
  first.insert(first.end(), g_order.begin(), g_order.end());
  g_order = first;
  refresh_after_restore(static_cast<int>(std::trunc(100 - indPercent * 100)));
}

void redo_values() {
  copy_redo_order(Current, Undo);
  std::vector<std::string> first = g_order;
  copy_table_order(Redo, Current);
  first.insert(first.end(), g_order.begin(), g_order.end());
  g_order = first;
  refresh_after_restore(static_cast<int>(std::trunc((1 - indPercent) * 100)));
}

const std::vector<std::string>& last_copy_order() { return g_order; }

}  // namespace arcflex
