#include "state_defaults.h"

#include <string>

#include "appearance.h"
#include "state.h"

namespace arcflex {

namespace {

py::object deep_copy(py::handle o) { return py::module_::import("copy").attr("deepcopy")(o); }

py::tuple ebrima(int size) { return py::make_tuple("Ebrima", size, "bold"); }

}  // namespace

void build_key_binds_dict() {
  auto& d = key_binds_dict;
  d.clear();
  d[27] = "Esc";
  for (int n = 1; n <= 32; ++n) d[111 + n] = "F" + std::to_string(n);
  d[192] = "`";
  for (int c = 48; c <= 57; ++c) d[c] = std::string(1, static_cast<char>(c));
  d[189] = "-";
  d[187] = "=";
  d[8] = "BackSpace";
  d[9] = "Tab";
  d[20] = "Capslock";
  d[16] = "Shift";
  d[17] = "Ctrl";
  d[18] = "Alt";
  for (int c = 65; c <= 90; ++c) d[c] = std::string(1, static_cast<char>('a' + (c - 65)));
  d[219] = "[";
  d[221] = "]";
  d[220] = "\\";
  d[186] = ";";
  d[222] = "'";
  d[13] = "Enter";
  d[188] = ",";
  d[190] = ".";
  d[191] = "/";
  d[32] = "Space";
  d[45] = "Ins";
  d[46] = "Del";
  d[36] = "Home";
  d[35] = "End";
  d[33] = "PgUp";
  d[34] = "PgDown";
  d[37] = "Left";
  d[38] = "Up";
  d[39] = "Right";
  d[40] = "Down";
}

void assign_option_defaults() {
  pitch = 1;
  distCalcMode = 0;
  indPercent = 0.0;
  maxFrameTime = 100;
  toggleMode = 0;
  toggleButton = 0;
  toggleKey = 0;
  toggleSensX = py::int_(1);
  toggleSensY = py::int_(1);
}

void assign_defaults() {
  // Flags, counters and table constants.
  killed = false;
  ready = false;
  weight_fade_timer = 0;
  weight_alpha = 0.0;
  applied_with_metric = 0;
  cursor_last_x = py::int_(0);
  table_size = 200;
  scale_dx = py::float_(6.67);
  scale_dy = py::float_(6.67);
  match_on_revert = 0;
  loading_profiles = 0;
  apply_button_pressed = 0;
  driver_successfully_applied_changes = 0;
  reverting_settings = 0;
  graph_suspended = false;

  build_key_binds_dict();

  // Limits and view constants.
  maxverts = 31;
  minverts = 1;
  upperbound = 8192;
  lowerbound = 0.015625;
  margin = 0.0625;
  epsilon = 10;
  z_i_f = 0.9;
  z_o_f = 1.1111111111111112;

  // Curves and their options.
  negative_accel = 0;
  x = py::list();
  y = py::list();
  corners = py::list();
  horizontal_x = py::list();
  horizontal_y = py::list();
  horizontal_corners = py::list();
  vertical_x = py::list();
  vertical_y = py::list();
  vertical_corners = py::list();
  axis_mode = 0;
  assign_option_defaults();
  init_err = false;

  // Options and display flags.
  persist = 1;
  aftask = 0;
  bypass_confirm = 0;
  show_point_values = 1;
  zoom_to_location = 0;
  ctrl_n = 0;
  fslider = 3;
  sslider = 3;
  gui_scaling_factor = 100;

  // Profile hot keys.
  current_profile = 1;
  for (auto* l : {&profile_hotkeys, &profile_hotkey_modes, &shift_req, &ctrl_req, &alt_req}) {
    l->assign(10, 0);
  }

  // Graph interaction and key state.
  currentmousespeed = 0.0;
  vind.clear();
  last_index.reset();
  xpress = py::int_(0);
  ypress = py::int_(0);
  gevent = py::none();
  hold_focus = false;
  shift_key = ctrl_key = alt_key = false;
  x_pressed = y_pressed = h_pressed = n_pressed = j_pressed = false;
  lock_on_x = lock_on_y = false;
  ctrl_x = ctrl_y = ctrl_h = ctrl_j = false;
  g_pressed = b_pressed = false;
  rescaled_view = false;
  show_points = true;
  show_line = true;
  show_marker = false;
  root_window_iconified = false;

  // Colours: the background colours, the main colour, then the axis
  // colours, the horizontal one derived from the main colour.
  bg_scheme = "#101010";
  abg_scheme = "#333";
  scheme = {1.0, 0.9, 0.0};
  tkscheme = "#FFE611";
  horizontal_scheme = {scheme[0] * 0.8, scheme[1] * 0.8, scheme[2] * 0.8};
  horizontal_tkscheme = "#91CC18";
  vertical_scheme = {0.8, 0.48, 0.1380392156862745};
  vertical_tkscheme = "#CC7A23";
  bd_window = 0;
  bd_one = 1;
  bd_two = 1;
  bd_four = 2;

  // Everything the window construction builds starts as None.
  for (py::object* o :
       {&xy, &u3, &t, &tck, &out, &fig, &ax, &canvas, &line, &point_marker_line,
        &edge_marker_line, &spline, &arrow, &horizontal_xy, &vertical_xy, &horizontal_out,
        &vertical_out, &horizontal_line, &vertical_line, &horizontal_spline, &vertical_spline,
        &horizontal_arrow, &vertical_arrow, &active_xy, &active_corners, &active_out,
        &active_line, &active_spline, &active_arrow, &inactive_spline, &inactive_arrow,
        &arrowverts, &xaxis, &yaxis, &xup, &yup, &negative_accel_enabled, &use_dpu, &pitch_var,
        &frame_slider, &sample_slider, &gui_scale_slider}) {
    *o = py::none();
  }
}

void derive_colours_and_fonts() {
  active_scheme = horizontal_scheme;
  active_tkscheme = horizontal_tkscheme;
  inactive_scheme = vertical_scheme;
  inactive_tkscheme = vertical_tkscheme;
  dim_tkscheme = dim_colour(tkscheme);
  set_entry_colors();
  text_font = ebrima(10);
  scale_button_font = py::str("TkDefaultFont");
  button_font = ebrima(10);
  help_font = ebrima(12);
  entry_font = ebrima(10);
}

void take_initial_snapshots() {
  revert_pitch = redo_pitch = active_pitch;
  revert_distCalcMode = redo_distCalcMode = distCalcMode;
  revert_indPercent = redo_indPercent = indPercent;
  revert_maxFrameTime = redo_maxFrameTime = maxFrameTime;
  revert_toggleMode = redo_toggleMode = toggleMode;
  revert_toggleButton = redo_toggleButton = toggleButton;
  revert_toggleKey = redo_toggleKey = toggleKey;
  struct Member {
    py::object* revert;
    py::object* redo;
    const py::object* from;
  };
  const Member members[] = {
      {&revert_toggleSensX, &redo_toggleSensX, &toggleSensX},
      {&revert_toggleSensY, &redo_toggleSensY, &toggleSensY},
      {&revert_scale_dx, &redo_scale_dx, &scale_dx},
      {&revert_scale_dy, &redo_scale_dy, &scale_dy},
      {&revert_horizontal_x, &redo_horizontal_x, &horizontal_x},
      {&revert_horizontal_y, &redo_horizontal_y, &horizontal_y},
      {&revert_horizontal_corners, &redo_horizontal_corners, &horizontal_corners},
      {&revert_vertical_x, &redo_vertical_x, &vertical_x},
      {&revert_vertical_y, &redo_vertical_y, &vertical_y},
      {&revert_vertical_corners, &redo_vertical_corners, &vertical_corners},
  };
  for (const Member& m : members) {
    *m.revert = deep_copy(*m.from);
    *m.redo = deep_copy(*m.from);
  }
}

void assign_meter_link_defaults() {
  smooth_counter = 0;
  old_max = 0.0;
  current_max = 0.0;
  max_list.assign(1, 0.0);
  bpress = false;
  mmpause = true;
  job1 = py::none();
  cpop_cd = py::none();
}

void release_state_objects() {
  py::object* const held[] = {
      &x, &y, &corners, &xy, &u3, &t, &tck, &out, &fig, &ax, &canvas, &line, &point_marker_line,
      &edge_marker_line, &spline, &arrow, &horizontal_x, &horizontal_y, &horizontal_corners,
      &vertical_x, &vertical_y, &vertical_corners, &horizontal_xy, &vertical_xy,
      &horizontal_out, &vertical_out, &horizontal_line, &vertical_line, &horizontal_spline,
      &vertical_spline, &horizontal_arrow, &vertical_arrow, &active_xy, &active_corners,
      &active_out, &active_line, &active_spline, &active_arrow, &inactive_spline,
      &inactive_arrow, &arrowverts, &xaxis, &yaxis, &xup, &yup, &negative_accel_enabled,
      &use_dpu, &pitch_var, &scale_dx, &scale_dy, &root, &toggleSensX, &toggleSensY,
      &revert_toggleSensX, &redo_toggleSensX, &revert_toggleSensY, &redo_toggleSensY,
      &revert_scale_dx, &redo_scale_dx, &revert_scale_dy, &redo_scale_dy, &revert_horizontal_x,
      &redo_horizontal_x, &revert_horizontal_y, &redo_horizontal_y, &revert_horizontal_corners,
      &redo_horizontal_corners, &revert_vertical_x, &redo_vertical_x, &revert_vertical_y,
      &redo_vertical_y, &revert_vertical_corners, &redo_vertical_corners, &cursor_last_x,
      &xpress, &ypress, &gevent, &job1, &cpop_cd, &text_font, &scale_button_font, &button_font,
      &help_font, &entry_font, &frame_slider, &sample_slider, &gui_scale_slider,
  };
  for (py::object* o : held) *o = py::object();
}

}  // namespace arcflex
