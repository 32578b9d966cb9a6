#include "menus.h"

#include <platform/paths.h>

#include <vector>

#include "apply_cycle.h"
#include "curve.h"
#include "curve_match.h"
#include "driver_prompts.h"
#include "graph.h"
#include "graph_edit.h"
#include "help_windows.h"
#include "link_windows.h"
#include "meter_link.h"
#include "points.h"
#include "presets.h"
#include "profiles.h"
#include "state.h"
#include "state_colours.h"
#include "state_help.h"
#include "state_profiles.h"
#include "state_scale.h"
#include "tools.h"
#include "window.h"
#include "widgets.h"

namespace arcflex {

using namespace py::literals;

namespace {

py::object Tk(const char* cls) { return tk_class(cls); }

template <class F>
void add_command(py::object& menu, const char* label, F&& f) {
  menu.attr("add_command")("label"_a = label, "command"_a = py::cpp_function(std::forward<F>(f)));
}

template <class F>
void add_check(py::object& menu, const char* label, const py::object& variable, F&& f) {
  menu.attr("add_checkbutton")("label"_a = label, "onvalue"_a = true, "offvalue"_a = false,
                               "variable"_a = variable, "command"_a = py::cpp_function(std::forward<F>(f)));
}

// The windows that carry the editor's icon, in the order they get it.
std::vector<py::object*> icon_windows() {
  return {&root,          &help_window,    &about_window,   &metric_window, &display_window,
          &dpi_window,    &devices_window, &profile_window, &toggle_window};
}

py::object cascade(const char* label) {
  py::object m = Tk("Menu")(menubar, "tearoff"_a = false);
  menubar.attr("add_cascade")("label"_a = label, "menu"_a = m);
  return m;
}

// The editor's icon for the main window and the tool windows; any failure
// ends the block silently and the windows not reached keep Tk's icon. On
// Windows the window manager reads the ICO file named by af3_icon; X11
// takes a picture instead, the PNG drawn beside it.
void set_icons() {
  try {
    const std::string images = currentdir + "images" + std::string(1, afp::path_separator());
    af3_icon = Tk("PhotoImage")("name"_a = images + "af3.ico");
    py::object picture = winui::on_windows() ? py::object() : Tk("PhotoImage")("file"_a = images + "af3.png");
    for (py::object* w : icon_windows()) {
      if (!*w || w->is_none()) continue;
      if (winui::on_windows()) {
        w->attr("wm_iconbitmap")(af3_icon);
      } else {
        w->attr("wm_iconphoto")(false, picture);
      }
    }
  } catch (py::error_already_set&) {
  } catch (std::exception&) {
  }
}

// The edited curve starts hidden when the hide latch was saved on.
void hide_edit_curve_at_start() {
  for (py::object* a : {&spline, &arrow, &edit_marker, &edit_marker_text}) a->attr("set_visible")(false);
  show_line = false;
  hide_edit_curve_points();
  show_points = false;
  // The first picture must already lack the hidden artists.
  canvas.attr("draw")();
}

// Presets: "0: Bypass", a separator, then eight cascades of four DPI steps.
void build_presets_menu() {
  presetsMenu = cascade("Presets");
  py::object* cascades[] = {&preset1, &preset2, &preset3, &preset4, &preset5, &preset6, &preset7, &preset8};
  for (py::object* m : cascades) *m = Tk("Menu")(presetsMenu, "tearoff"_a = false);
  add_command(presetsMenu, "0: Bypass", [] { selectPreset(0, 1); });
  presetsMenu.attr("add_separator")();
  for (int c = 1; c <= 8; ++c) {
    py::object& sub = *cascades[c - 1];
    presetsMenu.attr("add_cascade")("label"_a = preset_labels()[static_cast<size_t>(c - 1)], "menu"_a = sub);
    for (int d = 1; d <= 4; ++d) {
      add_command(sub, preset_dpi_labels()[static_cast<size_t>(d - 1)].c_str(), [c, d] { selectPreset(c, d); });
    }
  }
}

}  // namespace

void build_menus() {
  apopup = Tk("Menu")(root, "tearoff"_a = 0, "activeborderwidth"_a = 8);
  add_command(apopup, "Add point", [] { add_point(gevent, 0); });
  add_command(apopup, "Add edge point", [] { add_point(gevent, 1); });
  dpopup = Tk("Menu")(root, "tearoff"_a = 0, "activeborderwidth"_a = 8);
  add_command(dpopup, "Delete", [] { del_point(); });

  set_axis_mode(py::int_(axis_mode));

  menubar = Tk("Menu")(root);
  root.attr("config")("menu"_a = menubar);

  fileMenu = cascade("File");
  add_command(fileMenu, "Load", [] { load_profile(); });
  add_command(fileMenu, "Save", [] { save_profile(); });
  fileMenu.attr("add_separator")();
  add_command(fileMenu, "Exit", [] { kill(); });

  negative_accel_enabled = Tk("BooleanVar")();
  hover_point_values = Tk("BooleanVar")();
  zoom_to_loc = Tk("BooleanVar")();

  editMenu = cascade("Edit");
  add_command(editMenu, "Align tail", [] { align_tail_redraw(); });
  add_command(editMenu, "Rescale view", [] { rescale_view(); });
  add_command(editMenu, "Match active curve", [] { match_active_curve(); });
  editMenu.attr("add_separator")();
  add_command(editMenu, "Apply defaults", [] { apply_defaults(); });

  optionsMenu = cascade("Options");
  add_check(optionsMenu, "Allow negative accel", negative_accel_enabled, [] { allow_negative_accel(); });
  add_check(optionsMenu, "Show values on hover", hover_point_values, [] { set_show_point_values(); });
  add_check(optionsMenu, "Zoom to location", zoom_to_loc, [] { set_zoom_to_location(); });
  optionsMenu.attr("add_separator")();
  add_command(optionsMenu, "Display", [] { show_display_window(); });

  // The Metric window made these already; they are kept so its widgets stay
  // bound to them.
  if (!use_dpu || use_dpu.is_none()) use_dpu = Tk("BooleanVar")();
  if (!pitch_var || pitch_var.is_none()) pitch_var = Tk("BooleanVar")();

  negative_accel_enabled.attr("set")(negative_accel != 0);
  zoom_to_loc.attr("set")(zoom_to_location != 0);
  hover_point_values.attr("set")(show_point_values != 0);
  set_use_dpu(maxFrameTime);
  set_pitch_var(active_pitch);

  if (ctrl_n == 1) hide_edit_curve_at_start();

  build_presets_menu();

  matrix = identity_matrix;

  helpMenu = cascade("Help");
  add_command(helpMenu, "About", [] { about(); });
  add_command(helpMenu, "User manual", [] { help(); });
  add_command(helpMenu, "Web guide", [] { open_guide_url(); });
  add_command(helpMenu, "Get Pro", [] { get_pro(); });
  add_command(helpMenu, "Uninstall driver", [] { uninstall_driver(); });

  set_icons();
}

}  // namespace arcflex
