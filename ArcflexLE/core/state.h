// Module state of the editor: every module-level variable under its own
// name, grouped by the part of the editor that owns it. Python objects held
// here are released by clear_python_state() before the interpreter ends.
//
// Python-valued state is declared as a plain py::object, which starts as a
// null handle (no Python call at static initialisation): the defaults
// (state_defaults.h) give each one its first value once the interpreter
// runs, and release_state_objects() drops them again. Curve lists hold
// Python int and float objects, so each number keeps its whole/real kind and
// its Python text (py_repr) exactly.
#pragma once

#include <array>
#include <atomic>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "pyrt.h"

namespace arcflex {

// An RGB colour with components from 0 to 1, as matplotlib takes it.
using Rgb = std::array<double, 3>;

// ---- curve model -----------------------------------------------------------

// Limits of every curve.
inline int maxverts = 31;      // most control points
inline int minverts = 1;       // fewest control points
inline int upperbound = 8192;  // largest coordinate on both axes

// 1 lets y fall from one point to the next.
inline int negative_accel = 0;

// The edited curve: lists of Python numbers, tail end point last.
inline py::object x, y, corners;  // py::list
inline py::object xy;             // py::list of (x, y) tuples
inline int numverts = 0;          // control points = index of the tail end point
inline int samples = 0, sample_balance = 0;
inline py::object u3, t;  // numpy arrays: parameter values, knot vector
inline py::object tck;    // [t, [xs, ys], k]
inline py::object out;    // [xs, ys] numpy arrays, leading sample at x = 0

// Graph objects the curve code works on (built by the window construction).
inline py::object fig, ax, canvas;
inline py::object line, point_marker_line, edge_marker_line, spline, arrow;

// The applied curves of the two mouse axes and what is derived from them.
inline py::object horizontal_x, horizontal_y, horizontal_corners;  // py::list
inline py::object vertical_x, vertical_y, vertical_corners;        // py::list
inline py::object horizontal_xy, vertical_xy;                      // py::list of tuples
inline int horizontal_numverts = 0, vertical_numverts = 0;
inline py::object horizontal_out, vertical_out;
inline py::object horizontal_line, vertical_line;
inline py::object horizontal_spline, vertical_spline;
inline py::object horizontal_arrow, vertical_arrow;

// The applied ("active") curve and the curve of the other axis.
inline py::object active_xy, active_corners;  // py::list
inline py::object active_out;
inline int active_numverts = 0;
inline py::object active_line, active_spline, active_arrow;
inline py::object inactive_spline, inactive_arrow;
inline double slope = 0.0;  // tail slope of the active curve
inline py::object arrowverts;
inline py::object xaxis, yaxis, xup, yup;

// Option rules: the Tk variables and the plain values they feed.
inline py::object negative_accel_enabled, use_dpu, pitch_var;  // Tk BooleanVar
inline int maxFrameTime = 100;  // 1: dots per update, 100: dots per millisecond
inline int active_pitch = 1;

// ---- settings and files ----------------------------------------------------

// Folder strings end in one separator; file paths are folder + name.
inline std::string settingsdir, savesdir, currentdir;

inline int table_size = 200;   // table x at which the last control point lands
inline py::object scale_dx;    // Python number: its text depends on its kind
inline py::object scale_dy;
inline bool init_err = false;  // "p.dat" was missing or unreadable

inline int fslider = 3, sslider = 3;   // Rate and Smoothness slider positions
inline int gui_scaling_factor = 100;   // text scaling percent
inline int show_point_values = 1;
inline int zoom_to_location = 0;
inline int ctrl_n = 0;  // 1 hides the edited curve at start-up

// ---- start-up, process and window ------------------------------------------

inline py::object root;
inline std::map<int, std::string> key_binds_dict;  // virtual-key code -> name

inline std::atomic<bool> killed{false};
inline std::atomic<bool> ready{false};

// Options of the applied state.
inline int axis_mode = 0;
inline int pitch = 1;
inline int distCalcMode = 0;
inline double indPercent = 0.0;
inline int toggleMode = 0, toggleButton = 0, toggleKey = 0;
inline py::object toggleSensX, toggleSensY;  // Python numbers, shown in entries

inline int persist = 1;
inline int aftask = 0;
inline int bypass_confirm = 0;

// Profile hot keys, ten slots each.
inline int current_profile = 1;
inline std::vector<int> profile_hotkeys(10, 0), profile_hotkey_modes(10, 0);
inline std::vector<int> shift_req(10, 0), ctrl_req(10, 0), alt_req(10, 0);

// Undo (revert_) and redo (redo_) snapshots of the applied state.
inline int revert_pitch = 1, redo_pitch = 1;
inline int revert_distCalcMode = 0, redo_distCalcMode = 0;
inline double revert_indPercent = 0.0, redo_indPercent = 0.0;
inline int revert_maxFrameTime = 100, redo_maxFrameTime = 100;
inline int revert_toggleMode = 0, redo_toggleMode = 0;
inline int revert_toggleButton = 0, redo_toggleButton = 0;
inline int revert_toggleKey = 0, redo_toggleKey = 0;
inline py::object revert_toggleSensX, redo_toggleSensX;
inline py::object revert_toggleSensY, redo_toggleSensY;
inline py::object revert_scale_dx, redo_scale_dx;
inline py::object revert_scale_dy, redo_scale_dy;
inline py::object revert_horizontal_x, redo_horizontal_x;
inline py::object revert_horizontal_y, redo_horizontal_y;
inline py::object revert_horizontal_corners, redo_horizontal_corners;
inline py::object revert_vertical_x, redo_vertical_x;
inline py::object revert_vertical_y, redo_vertical_y;
inline py::object revert_vertical_corners, redo_vertical_corners;

// ---- graph view ------------------------------------------------------------

inline double lowerbound = 0.015625;  // smallest visible data range
inline double margin = 0.0625;        // fraction of the range added on each side
inline int epsilon = 10;              // pick distance in display pixels
inline double z_i_f = 0.9;
inline double z_o_f = 1.1111111111111112;

inline py::object cursor_last_x;  // Python number or None
inline double currentmousespeed = 0.0;
inline std::vector<int> vind;
inline std::optional<int> last_index;
inline py::object xpress, ypress;  // Python numbers
inline py::object gevent;          // last right-click event, or None
inline bool hold_focus = false;
inline bool shift_key = false, ctrl_key = false, alt_key = false;
inline bool x_pressed = false, y_pressed = false, h_pressed = false, n_pressed = false,
            j_pressed = false;
inline bool lock_on_x = false, lock_on_y = false;
inline bool ctrl_x = false, ctrl_y = false, ctrl_h = false, ctrl_j = false;
inline bool g_pressed = false, b_pressed = false;
inline bool rescaled_view = false;
inline bool show_points = true, show_line = true;
inline bool show_marker = false;

// ---- meter link and apply cycle --------------------------------------------
// (the process, thread, queue and the link's windows: state_link.h)

inline int weight_fade_timer = 0;
inline double weight_alpha = 0.0;
inline int applied_with_metric = 0;
inline int match_on_revert = 0;
inline int loading_profiles = 0;
inline int apply_button_pressed = 0;
inline int driver_successfully_applied_changes = 0;
inline int reverting_settings = 0;
inline bool graph_suspended = false;

inline int smooth_counter = 0;
inline double old_max = 0.0, current_max = 0.0;
inline std::vector<double> max_list{0.0};
inline bool bpress = false;
inline std::atomic<bool> mmpause{true};
inline py::object job1, cpop_cd;  // Tk timer ids, or None

// ---- curve tools -----------------------------------------------------------

// ---- appearance and tool windows -------------------------------------------

inline std::string bg_scheme = "#101010";
inline std::string abg_scheme = "#333";
inline Rgb scheme{1.0, 0.9, 0.0};
inline std::string tkscheme = "#FFE611";
inline Rgb horizontal_scheme{0.8, 0.7200000000000001, 0.0};
inline std::string horizontal_tkscheme = "#91CC18";
inline Rgb vertical_scheme{0.8, 0.48, 0.1380392156862745};
inline std::string vertical_tkscheme = "#CC7A23";
inline Rgb active_scheme = horizontal_scheme;
inline std::string active_tkscheme = horizontal_tkscheme;
inline Rgb inactive_scheme = vertical_scheme;
inline std::string inactive_tkscheme = vertical_tkscheme;
inline std::string dim_tkscheme = "#dfc90e";

inline int bd_window = 0, bd_one = 1, bd_two = 1, bd_four = 2;

// Fonts as Tk takes them: ("Ebrima", 10, "bold") tuples, or a font name.
inline py::object text_font, scale_button_font, button_font, help_font, entry_font;

// Entry colours, derived from bg_scheme and tkscheme by set_entry_colors().
inline std::string entry_bg, entry_fg, entry_readonly_bg, entry_readonly_fg;
inline std::string entry_disabled_bg, entry_disabled_fg;
inline std::string entry_error_bg, entry_error_fg;
inline std::string entry_sbg, entry_sfg, entry_error_sbg, entry_error_sfg;
inline std::string entry_cursor, entry_error_cursor;

inline bool root_window_iconified = false;

// The Display window's sliders (Rate, Smoothness, Text scaling); None until
// the window is built.
inline py::object frame_slider, sample_slider, gui_scale_slider;

}  // namespace arcflex

#include "state_gui.h"
#include "state_link.h"  // IWYU pragma: export

// Window and graph state that only the interface code uses.
#include "state_gui.h"  // IWYU pragma: export
