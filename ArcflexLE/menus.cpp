#include "menus.h"

#include <platform/paths.h>

#include "apply_cycle.h"
#include "curve.h"
#include "curve_match.h"
#include "driver_prompts.h"
#include "graph.h"
#include "graph_edit.h"
#include "link_windows.h"
#include "meter_link.h"
#include "points.h"
#include "state.h"
#include "tools.h"

namespace arcflex {

using namespace py::literals;

namespace {

py::object Tk(const char* cls) { return tkinter().attr(cls); }

template <class F>
void add_command(py::object& menu, const char* label, F&& f) {
  menu.attr("add_command")("label"_a = label, "command"_a = py::cpp_function(std::forward<F>(f)));
}

template <class F>
void add_check(py::object& menu, const char* label, const py::object& variable, F&& f) {
  menu.attr("add_checkbutton")("label"_a = label, "onvalue"_a = true, "offvalue"_a = false,
                               "variable"_a = variable, "command"_a = py::cpp_function(std::forward<F>(f)));
}

py::object cascade(const char* label) {
  py::object m = Tk("Menu")(menubar, "tearoff"_a = false);
  menubar.attr("add_cascade")("label"_a = label, "menu"_a = m);
  return m;
}

// The editor's icon for the main window and the tool windows that exist;
// any failure ends the block silently and the rest keep Tk's icon.
void set_icons() {
  try {
    std::string sep(1, afp::path_separator());
    af3_icon = Tk("PhotoImage")("name"_a = currentdir + "images" + sep + "af3.ico");
    for (py::object* w : {&root, &metric_window, &display_window, &toggle_window}) {
      if (*w && !w->is_none()) w->attr("wm_iconbitmap")(af3_icon);
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

  // The suspension greys the cascades by these labels, this one included.
  presetsMenu = cascade("Presets");

  helpMenu = cascade("Help");
  add_command(helpMenu, "Uninstall driver", [] { uninstall_driver(); });

  set_icons();
}

}  // namespace arcflex
