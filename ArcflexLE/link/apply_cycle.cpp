#include "apply_cycle.h"

#include <cmath>
#include <cstdio>
#include <system_error>

#include <platform/files.h>

#include "appearance.h"
#include "curve.h"
#include "curve_match.h"
#include "dialogs.h"
#include "graph.h"
#include "link_windows.h"
#include "meter_link.h"
#include "settings_files.h"
#include "snapshots.h"
#include "state.h"

namespace arcflex {

using namespace py::literals;

namespace {

int g_polls = 0;

py::object deepcopy(py::handle o) { return py::module_::import("copy").attr("deepcopy")(o); }

void set_apply_text(const char* text) { apply_button.attr("config")("text"_a = text); }

template <class F>
void after(int ms, F&& f) {
  root.attr("after")(ms, py::cpp_function(std::forward<F>(f)));
}

bool exists(const py::object& o) { return o && !o.is_none(); }

const char* const kMenus[] = {"File", "Edit", "Options", "Presets", "Help"};

void set_menus(const char* state) {
  if (!exists(menubar)) return;  // built with the menus of the main window
  for (const char* m : kMenus) menubar.attr("entryconfig")(m, "state"_a = state);
}

void set_children(const py::object& parent, const char* state) {
  if (!exists(parent)) return;
  for (py::handle child : parent.attr("winfo_children")()) child.attr("configure")("state"_a = state);
}

// The change is confirmed; a kept file that cannot be removed would be put
// back by the next start, so the user is told.
void confirm_change() {
  std::string failed;
  if (int err = confirm_pending_change(&failed)) {
    // The kept file, or the folder whose flush after its removal failed.
    const char* verb = failed == previous_curve_path() ? "Cannot remove \"" : "Cannot write \"";
    dialogs::show_error("Error",
                        verb + failed + "\":\n" + afp::error_text(err) +
                            "\n\nThe curve from before this change may come back at the next start.",
                        root);
  }
}

void negative_accel_note() {
  if (loading_profiles == 2) {
    loading_profiles = 0;
    dialogs::show_info("Negative accel enabled.", "Enabling 'Allow negative accel' in the Options menu.", root);
  }
}

}  // namespace

// ---- apply -----------------------------------------------------------------

void send_applied_curve() {
  write_curve();
  canvas.attr("draw")();
  restart_sub();
  undone = 0;
  redone = 1;
  save_redo_state();
  driver_successfully_applied_changes = 0;
}

void pressed_apply() {
  apply_button_pressed = 1;
  match_on_revert = 0;
  apply_changes();
}

void make_changes() {
  active_xy = deepcopy(xy);
  py::list xs, ys;
  for (py::handle p : active_xy) {
    xs.append(p[py::int_(0)]);
    ys.append(p[py::int_(1)]);
  }
  active_line.attr("set_data")(xs, ys);
  active_corners = deepcopy(corners);
  active_out = deepcopy(out);
  active_spline.attr("set_data")(active_out[py::int_(0)], active_out[py::int_(1)]);
  active_numverts = static_cast<int>(py::len(active_line.attr("get_xdata")())) - 1;
  find_slope();
  active_arrow.attr("set_positions")(active_xy[py::int_(active_numverts - 1)], active_xy[py::int_(active_numverts)]);
}

void apply_changes() {
  if (graph_suspended) return;
  set_apply_text("Applying..");
  lock_profiles();
  save_state();
  try {
    py::object mode = tmm_variable.attr("get")(), button = tbm_variable.attr("get")();
    auto index_of = [](const std::vector<std::string>& list, py::handle v) {
      std::string s = py::str(v).cast<std::string>();
      for (size_t i = 0; i < list.size(); ++i)
        if (list[i] == s) return static_cast<int>(i);
      throw std::invalid_argument("not in list");
    };
    toggleMode = index_of(MODE_OPTIONS, mode);
    toggleButton = index_of(BUTTON_OPTIONS, button);
    toggleKey = temp_toggleKey;
    py::object builtins = py::module_::import("builtins");
    toggleSensX = builtins.attr("float")(toggle_sensX_entry.attr("get")());
    toggleSensY = builtins.attr("float")(toggle_sensY_entry.attr("get")());
  } catch (std::exception&) {
    toggleMode = 0;
    toggleButton = 0;
    toggleKey = 0;
    toggleSensX = py::int_(1);
    toggleSensY = py::int_(1);
  }
  set_indPercent(ind_percent_variable.attr("get")());
  set_distCalcMode(dist_calc_variable.attr("get")());
  suspend();
  try {
    check_use_dpu();
    check_pitch_var();
    if (apply_button_pressed == 1) {
      make_changes();
      py::list nx, ny, nc;
      py::object builtins = py::module_::import("builtins");
      for (py::handle v : active_line.attr("get_xdata")()) nx.append(py::float_(py::reinterpret_borrow<py::object>(v)));
      for (py::handle v : active_line.attr("get_ydata")()) ny.append(py::float_(py::reinterpret_borrow<py::object>(v)));
      for (py::handle v : active_corners) nc.append(builtins.attr("int")(py::float_(py::reinterpret_borrow<py::object>(v))));
      x = nx;
      y = ny;
      corners = nc;
      if (axis_mode == 0) {
        py::object hx = deepcopy(x), hy = deepcopy(y), hc = deepcopy(corners);
        py::object vx = deepcopy(x), vy = deepcopy(y), vc = deepcopy(corners);
        horizontal_x = hx, horizontal_y = hy, horizontal_corners = hc;
        vertical_x = vx, vertical_y = vy, vertical_corners = vc;
      } else if (axis_mode == 1) {
        py::object hx = deepcopy(x), hy = deepcopy(y), hc = deepcopy(corners);
        horizontal_x = hx, horizontal_y = hy, horizontal_corners = hc;
      } else {
        py::object vx = deepcopy(x), vy = deepcopy(y), vc = deepcopy(corners);
        vertical_x = vx, vertical_y = vy, vertical_corners = vc;
      }
      apply_button_pressed = 0;
    }
    // A curve that cannot be written is not sent: the meter keeps the old one.
    send_applied_curve();
  } catch (std::exception& e) {
    // The change did not get on its way: say why and give the GUI back.
    apply_button_pressed = 0;
    dialogs::show_error("Error applying settings", error_text(e), root);
    set_apply_text("Apply");
    unsuspend();
    return;
  }
  wait_for_driver(35);
}

void apply_defaults() {
  Curve d = get_default_points();
  x = d.x;
  y = d.y;
  corners = d.corners;
  set_xy(x, y);
  set_line_markers();
  redefine_spline();
  update_spline();
  pressed_apply();
  py::object lx = line.attr("get_xdata")(), ly = line.attr("get_ydata")();
  double last_x = py::float_(lx[py::int_(py::len(lx) - 1)]).cast<double>();
  double max_y = 0;
  for (py::handle v : ly) max_y = std::max(max_y, py::float_(py::reinterpret_borrow<py::object>(v)).cast<double>());
  xbounds = {0.0, last_x * 1.15};
  ybounds = {0.0, max_y * 1.25};
  if (show_marker) draw_marker(cursor_last_x);
  check_viewbounds();
}

// ---- suspension ------------------------------------------------------------

void suspend() {
  set_menus("disable");
  set_children(leftframe, "disable");
  set_children(display_window, "disable");
  for (py::object* s : {&frame_slider, &sample_slider, &gui_scale_slider})
    if (exists(*s)) s->attr("configure")("fg"_a = "#777");
  apply_button.attr("configure")("bg"_a = bg_scheme);
  graph_suspended = true;
}

void unsuspend() {
  set_menus("normal");
  set_children(leftframe, "normal");
  set_children(display_window, "normal");
  for (py::object* s : {&frame_slider, &sample_slider, &gui_scale_slider})
    if (exists(*s)) s->attr("configure")("fg"_a = tkscheme, "sliderrelief"_a = "raised");
  graph_suspended = false;
  if (applied_with_metric == 0) {
    root.attr("lift")();
    root.attr("focus_force")();
  } else {
    metric_window.attr("lift")();
  }
}

void set_zoom_to_location() { zoom_to_location = zoom_to_loc.attr("get")().cast<bool>() ? 1 : 0; }
void set_show_point_values() { show_point_values = hover_point_values.attr("get")().cast<bool>() ? 1 : 0; }

void undo_changes() {
  if (graph_suspended || undone) return;
  suspend();
  revert_settings();
}

void redo_changes() {
  if (graph_suspended || redone) return;
  suspend();
  redo_settings();
}

// ---- driver wait and confirmation ------------------------------------------

int driver_wait_polls() { return g_polls; }

// ---- the confirm window destroyed from outside ---------------------------------
// Another program may destroy the confirm window (X lets any client do so);
// Tk then destroys the widget. The editor builds a new one for the next
// change, and a change it was asking about is taken back, as closing the
// window does.

namespace {

// The confirm window asks about a change (shown, countdown running).
bool g_confirming = false;

void watch_confirm_window();

void confirm_window_gone() {
  if (killed || !exists(root) || !root.attr("winfo_exists")().cast<bool>()) return;
  if (cpop.attr("winfo_exists")().cast<bool>()) return;
  const bool suspended = graph_suspended;
  build_confirm_window();
  graph_suspended = suspended;
  watch_confirm_window();
  if (g_confirming) revert_settings();
}

void watch_confirm_window() {
  if (!py::str(cpop.attr("bind")("<Destroy>")).cast<std::string>().empty()) return;
  cpop.attr("bind")("<Destroy>", py::cpp_function([](py::object event) {
    // The window's own destruction, not one of its widgets'; none while the
    // editor ends.
    if (killed || py::str(event.attr("widget")).cast<std::string>() != py::str(cpop).cast<std::string>()) return;
    root.attr("after_idle")(py::cpp_function([] { confirm_window_gone(); }));
  }));
}

}  // namespace

// Before "No response from subprocess" is shown the change is taken back,
// so that what the box says already holds, also for an editor that ends
// with the box open: the applied curve, "p.dat" and (once the meter answers
// again) the driver all hold the curve of the undo snapshot. The meter
// serves loads in order, so this load reaches the driver after a late one
// of the change; neither answer confirms anything (pending_loads).
static void take_back_unconfirmed_change() {
  try {
    restore_values();
  } catch (std::exception& e) {
    // "p.dat" may still hold the change: the file it replaced stays for the
    // exit or the next start to put back.
    dialogs::show_error("Error applying settings", error_text(e), root);
    return;
  }
  drop_taken_back_change();
  restart_sub();
  note_take_back_load();
  undone = 1;
  redone = 0;
  canvas.attr("draw")();
  edited_curve_after_revert();
}

void load_and_wait_for_driver() {
  restart_sub();
  undone = 0;
  redone = 1;
  driver_successfully_applied_changes = 0;
  suspend();
  wait_for_driver(35);
}

void wait_for_driver(int time_remaining) {
  if (meter_dead || killed) return;  // the editor ends: nothing more goes to the meter
  if (time_remaining < 0) {
    take_back_unconfirmed_change();
    dialogs::show_error("Error applying settings", "No response from subprocess", root);
    end_confirm_countdown(false);
    return;
  }
  ++g_polls;
  if (driver_successfully_applied_changes) {
    mmpause = false;
    driver_successfully_applied_changes = 0;
    set_apply_text("Apply");
    if (bypass_confirm == 0) {
      confirm_changes_popup();
    } else {
      confirm_change();  // taken without asking
      unsuspend();
      unlock_profiles();
      negative_accel_note();
    }
    return;
  }
  after(100, [time_remaining] { wait_for_driver(time_remaining - 1); });
}

void wait_for_driver_to_revert(int time_remaining) {
  if (meter_dead || killed) return;
  // A take-back the driver refused is said so at once, not as a time-out.
  const bool refused = take_back_refused();
  if (time_remaining < 0 || refused) {
    dialogs::show_error("Error",
                        refused ? "The driver refused the take-back of the unconfirmed change.\n"
                                  "It may still hold that change."
                                : "No response from subprocess",
                        root);
    unsuspend();
    cpop.attr("grab_release")();
    unlock_profiles();
    reverting_settings = 0;
    return;
  }
  ++g_polls;
  if (driver_successfully_applied_changes) {
    mmpause = false;
    driver_successfully_applied_changes = 0;
    unsuspend();
    cpop.attr("grab_release")();
    unlock_profiles();
    set_apply_text("Apply");
    reverting_settings = 0;
    return;
  }
  after(100, [time_remaining] { wait_for_driver_to_revert(time_remaining - 1); });
}

std::string confirm_position(int w, int h, int rx, int ry, int rw, int rh, int sw, int sh, int px) {
  double x = rx + rw / 2.0 - w / 2.0;
  double y = ry + rh / 2.0 - h / 2.0;
  if (x - w < 0) x = w;
  if (x + 2.0 * w > sw) x = sw - 2.0 * w;
  if (px > x - w / 2.0 && px < x + 3.0 * w / 2.0) {
    x = px > sw / 2.0 ? px - 3.0 * w / 2.0 : px + w / 2.0;
  }
  if (y - h < 0) y = h;
  if (y + 2.0 * h > sh) y = sh - 2.0 * h;
  return "+" + std::to_string(static_cast<long long>(std::trunc(x))) + "+" +
         std::to_string(static_cast<long long>(std::trunc(y)));
}

void confirm_changes_popup() {
  watch_confirm_window();
  g_confirming = true;
  cpop_cd = py::none();
  cpop_time = 120;
  auto i = [](py::object o) { return o.cast<int>(); };
  int w = i(cpop.attr("winfo_width")()), h = i(cpop.attr("winfo_height")());
  if (w <= 1 && h <= 1) {
    // Never shown yet, the window reports 1 x 1; the size it asks for is
    // the one it takes when shown.
    cpop.attr("update_idletasks")();
    w = i(cpop.attr("winfo_reqwidth")());
    h = i(cpop.attr("winfo_reqheight")());
  }
  std::string pos = confirm_position(w, h,
                                     i(root.attr("winfo_x")()), i(root.attr("winfo_y")()),
                                     i(root.attr("winfo_width")()), i(root.attr("winfo_height")()), screensize.first,
                                     screensize.second, i(root.attr("winfo_pointerx")()));
  cpop.attr("geometry")(pos);
  cpop.attr("wm_deiconify")();
  // Tk lays out and maps the window's buttons when idle, and the speed
  // display's tick can keep it from ever being idle: an empty window would
  // count down. They are laid out now.
  cpop.attr("update_idletasks")();
  cpop.attr("lift")();
  cpop.attr("focus_set")();
  try {
    cpop.attr("grab_set")();
  } catch (py::error_already_set& e) {
    // X11 refuses a grab on a window not yet viewable; the countdown and
    // the buttons work without it.
    std::fprintf(stderr, "Confirm window grab: %s\n", e.what());
  }
  confirm_countdown(cpop_time);
}

std::string countdown_text(int time_remaining) {
  return "Settings will revert in..." + std::to_string(time_remaining / 10) + "\nEsc to cancel";
}

void confirm_countdown(int time_remaining) {
  // Destroyed from outside: its watch takes the change back. Without a
  // meter the editor ends, and its end takes the change back.
  if (meter_dead || killed || !cpop.attr("winfo_exists")().cast<bool>()) return;
  if (time_remaining < 0) {
    revert_settings();
    return;
  }
  cpop.attr("lift")();
  if (time_remaining % 10 == 0) cpl2.attr("configure")("text"_a = countdown_text(time_remaining));
  cpop_cd = root.attr("after")(100, py::cpp_function([time_remaining] { confirm_countdown(time_remaining - 1); }));
}

void withdraw_confirm_window() {
  g_confirming = false;
  if (exists(cpop_cd)) root.attr("after_cancel")(cpop_cd);
  cpop_cd = py::none();
  if (!exists(cpop) || !cpop.attr("winfo_exists")().cast<bool>()) return;
  cpop.attr("grab_release")();
  cpop.attr("wm_withdraw")();
}

void end_confirm_countdown(bool confirmed) {
  g_confirming = false;
  if (exists(cpop_cd)) root.attr("after_cancel")(cpop_cd);
  cpop.attr("wm_withdraw")();
  if (reverting_settings) {
    wait_for_driver_to_revert(35);
    return;
  }
  if (confirmed) confirm_change();
  unsuspend();
  cpop.attr("grab_release")();
  unlock_profiles();
  set_apply_text("Apply");
  match_on_revert = 0;
  negative_accel_note();
}

void revert_settings() {
  if (reverting_settings) return;
  reverting_settings = 1;
  try {
    restore_values();
  } catch (std::exception& e) {
    // "p.dat" may not hold the old curve: the meter is not asked to load it.
    // The countdown and its window go first: the box is not left under a
    // window that keeps counting.
    reverting_settings = 0;
    const std::string why = error_text(e);
    if (exists(cpop_cd)) root.attr("after_cancel")(cpop_cd);
    cpop.attr("wm_withdraw")();
    cpop.attr("grab_release")();
    set_apply_text("Apply");
    unsuspend();
    dialogs::show_error("Error applying settings", why, root);
    return;
  }
  // "p.dat" holds the previous curve again.
  drop_taken_back_change();
  restart_sub();
  note_take_back_load();
  undone = 1;
  redone = 0;
  set_apply_text("Applying..");
  end_confirm_countdown();
  canvas.attr("draw")();
  // After a preset or a loaded profile the edited curve follows the
  // restored one; after a DPI conversion it is the one of before. The
  // request is used once.
  edited_curve_after_revert();
  match_on_revert = 0;
}

void redo_settings() {
  if (reverting_settings) return;
  reverting_settings = 1;
  redo_values();
  restart_sub();
  undone = 0;
  redone = 1;
  set_apply_text("Applying..");
  end_confirm_countdown();
  canvas.attr("draw")();
}

}  // namespace arcflex
