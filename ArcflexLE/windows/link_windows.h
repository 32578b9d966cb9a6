// The windows of the apply cycle, built withdrawn at start-up: the confirm
// window, the Display Settings window, and the Metric and Sensitivity
// toggle windows whose widgets every Apply reads and every revert writes.
#pragma once

#include <string>

#include "pyrt.h"

namespace arcflex {

void build_metric_window();
void build_confirm_window();
void build_display_window();
void build_toggle_window();
// The four windows in start-up order, and the Apply button's command.
void build_link_windows();

// Brings a tool window up to date, shows it raised and fixes its minimum size.
void show_tool_window(py::handle window);
void show_display_window();
void show_metric_window();
void hide_metric_window();
void show_toggle_window();
void hide_toggle_window();

// Text scaling slider: records the percentage, the restart notice 20 ms later.
void gui_scaling(py::handle event);
void show_gui_scaling_message();

// The name of toggleKey, "" when none.
std::string get_tog_key_string();
// The toggle window's "Save changes".
void set_toggle_sens();

// Speed-metric settings.
void set_distCalcMode(py::handle mode);
void set_indPercent(py::handle percent);
void apply_metric();

}  // namespace arcflex
