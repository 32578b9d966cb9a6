#include "colour_schemes.h"

#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <stdexcept>

#include "appearance.h"
#include "dialogs.h"
#include "edit_windows.h"
#include "state.h"
#include "state_colours.h"
#include "state_help.h"
#include "state_profiles.h"
#include "state_scale.h"
#include "tools.h"

namespace arcflex {

using namespace py::literals;

namespace {

// A module-level widget or artist with its name, so that one that was never
// built is reported by name instead of being called through a null handle.
struct Named {
  py::object* obj;
  const char* name;
};
#define AF_NAMED(w) Named { &(w), #w }

py::object& built(const Named& n) {
  if (!*n.obj || n.obj->is_none()) throw std::runtime_error(std::string(n.name) + " has not been built");
  return *n.obj;
}

// ---- the option sets the scheme gives each kind of object -------------------

// Labels and slider texts.
void text_colour(std::initializer_list<Named> objects) {
  for (const Named& n : objects) built(n).attr("configure")("fg"_a = tkscheme);
}

// Buttons and check boxes: the text at rest and under the pointer.
void text_and_active_colour(std::initializer_list<Named> objects) {
  for (const Named& n : objects) built(n).attr("configure")("fg"_a = tkscheme, "activeforeground"_a = tkscheme);
}

// Entries: text, background, cursor and selection.
void entry_colours(std::initializer_list<Named> objects) {
  for (const Named& n : objects) {
    built(n).attr("configure")("fg"_a = entry_fg, "bg"_a = entry_bg, "insertbackground"_a = entry_cursor,
                               "selectbackground"_a = entry_sbg, "selectforeground"_a = entry_sfg);
  }
}

// A list box takes the entry colours without a cursor colour.
void list_colours(const Named& n) {
  built(n).attr("configure")("fg"_a = entry_fg, "bg"_a = entry_bg, "selectbackground"_a = entry_sbg,
                             "selectforeground"_a = entry_sfg);
}

// The drop-down menu an option menu holds under the key "menu".
void dropdown_colours(py::object& option_menu) {
  option_menu["menu"].attr("configure")("activebackground"_a = abg_scheme, "selectcolor"_a = tkscheme,
                                        "bg"_a = bg_scheme, "fg"_a = tkscheme, "font"_a = text_font);
}

// An option menu and its drop-down menu; `sized` adds the width and the
// border, `with_font` the text font.
void option_menu_colours(const Named& n, bool sized, bool with_font) {
  py::object& m = built(n);
  py::dict kw("activebackground"_a = abg_scheme, "highlightbackground"_a = bg_scheme,
              "activeforeground"_a = tkscheme);
  if (sized) {
    kw["width"] = 12;
    kw["bd"] = bd_four;
  }
  kw["bg"] = bg_scheme;
  kw["fg"] = tkscheme;
  if (with_font) kw["font"] = text_font;
  m.attr("configure")(**kw);
  dropdown_colours(m);
}

// ---- the scheme, window by window, in the order it is applied ---------------

void graph_colours() {
  // The axis lines follow the main colour, not the axis curve in front.
  for (const Named& n : {AF_NAMED(xaxis), AF_NAMED(yaxis)}) {
    built(n).attr("set_color")("color"_a = rgb_tuple(half_intensity(scheme)));
  }
  built(AF_NAMED(spline)).attr("set_color")(rgb_tuple(scheme));
  built(AF_NAMED(arrow)).attr("set_color")(rgb_tuple(scheme));
  built(AF_NAMED(active_spline)).attr("set_color")(rgb_tuple(active_scheme));
  built(AF_NAMED(active_arrow)).attr("set_color")(rgb_tuple(active_scheme));
  built(AF_NAMED(inactive_spline)).attr("set_color")(rgb_tuple(inactive_scheme));
  built(AF_NAMED(inactive_arrow)).attr("set_color")(rgb_tuple(inactive_scheme));
}

void metric_and_axis_label_colours() {
  text_colour({AF_NAMED(dist_calc_label), AF_NAMED(ind_percent_label), AF_NAMED(ind_percent_slider),
               AF_NAMED(axes_label)});
  option_menu_colours(AF_NAMED(dist_calc_menu), true, false);
}

void check_box_colours() {
  text_and_active_colour({AF_NAMED(persist_box)});
  for (py::object& box : hotkey_mode_box) text_and_active_colour({Named{&box, "hotkey_mode_box"}});
}

void speed_fill_colour() {
  built(AF_NAMED(fua)).attr("set_facecolor")("color"_a = rgb_tuple(half_intensity(active_scheme)));
}

void confirm_and_about_colours() {
  text_colour({AF_NAMED(cpl1), AF_NAMED(cpl2)});
  built(AF_NAMED(awl1)).attr("configure")("bg"_a = bg_scheme, "fg"_a = tkscheme);
}

void manual_colours() {
  // Stored before the manual text is configured, so it holds even when
  // that fails.
  dim_tkscheme = dim_colour(tkscheme);
  built(AF_NAMED(help_text))
      .attr("config")("state"_a = "disabled", "background"_a = bg_scheme, "foreground"_a = dim_tkscheme,
                      "font"_a = help_font);
}

void devices_colours() {
  list_colours(AF_NAMED(device_listbox));
  text_colour({AF_NAMED(device_label), AF_NAMED(exclude_label)});
}

void profile_colours() {
  text_colour({AF_NAMED(profile_key_label), AF_NAMED(profile_mode_label)});
  for (int i = 0; i < profile_slots; ++i) {
    text_colour({Named{&profile_labels[static_cast<size_t>(i)], "profile_labels"}});
    entry_colours({Named{&profile_entries[static_cast<size_t>(i)], "profile_entries"}});
  }
  text_colour({AF_NAMED(current_profile_label)});
}

void display_colours() {
  text_colour({AF_NAMED(frame_slider), AF_NAMED(sample_slider), AF_NAMED(gui_scale_slider)});
}

void dpi_colours() {
  entry_colours({AF_NAMED(old_dpi_entry), AF_NAMED(new_dpi_entry)});
  text_colour({AF_NAMED(old_dpi_label), AF_NAMED(new_dpi_label)});
  entry_colours({AF_NAMED(scale_x_entry), AF_NAMED(scale_y_entry)});
  text_colour({AF_NAMED(scale_x_label), AF_NAMED(scale_y_label)});
}

void scale_window_colours() {
  entry_colours({AF_NAMED(scale_entry)});
  text_colour({AF_NAMED(scale_percent_label)});
}

void toggle_colours() {
  entry_colours({AF_NAMED(toggle_sensX_entry), AF_NAMED(toggle_sensY_entry)});
  option_menu_colours(AF_NAMED(tog_mode_menu), true, true);
  option_menu_colours(AF_NAMED(tog_button_menu), false, true);
  text_colour({AF_NAMED(tog_key_label)});
  entry_colours({AF_NAMED(tog_key_entry)});
  text_colour({AF_NAMED(tog_mode_label), AF_NAMED(tog_button_label), AF_NAMED(tog_sensX_label),
               AF_NAMED(tog_sensY_label)});
}

void button_colours() {
  text_and_active_colour({AF_NAMED(apply_button), AF_NAMED(add_point_button), AF_NAMED(add_edge_button),
                          AF_NAMED(delete_button)});
  text_and_active_colour({AF_NAMED(scale_x_up_button), AF_NAMED(scale_x_down_button), AF_NAMED(scale_y_up_button),
                          AF_NAMED(scale_y_down_button)});
  text_and_active_colour({AF_NAMED(apply_metric_button), AF_NAMED(ok_button), AF_NAMED(cancel_button)});
  text_and_active_colour({AF_NAMED(convert_button), AF_NAMED(scale_button)});
  text_and_active_colour({AF_NAMED(toggle_sens_button)});
  text_and_active_colour({AF_NAMED(exclude_devices_button), AF_NAMED(save_profile_keys_button)});
}

// Shared by the pickers: the dialog's answer, or None when cancelled.
py::object ask_colour(const std::string& initial) {
  py::object answer = dialogs::ask_color(py::str(initial), py::dict("title"_a = "Choose color"));
  py::object components = answer[py::int_(0)];
  if (components.is_none()) return py::none();
  return answer;
}

std::array<double, 3> components_of(const py::object& answer) {
  py::object c = answer[py::int_(0)];
  return {c[py::int_(0)].cast<double>(), c[py::int_(1)].cast<double>(), c[py::int_(2)].cast<double>()};
}

// One colour of the scheme from the dialog: the triple, then the string.
void pick_one(Rgb& triple, std::string& tk_string) {
  py::object answer = ask_colour(tk_string);
  if (answer.is_none()) return;
  auto [r, g, b] = components_of(answer);
  triple = {r / 255, g / 255, b / 255};
  tk_string = py::str(answer[py::int_(1)]).cast<std::string>();
  select_scheme();
}

}  // namespace

void select_scheme() {
  set_axis_mode(py::int_(axis_mode));
  graph_colours();
  metric_and_axis_label_colours();
  check_box_colours();
  speed_fill_colour();
  confirm_and_about_colours();
  manual_colours();
  set_entry_colors();
  devices_colours();
  profile_colours();
  display_colours();
  dpi_colours();
  scale_window_colours();
  toggle_colours();
  button_colours();
  canvas.attr("draw")();
}

int clamp_rgb(double v) {
  if (v < 0) return 0;
  if (v > 255) return 255;
  return static_cast<int>(v + 0.5);
}

void set_hue_rotation(double degrees) {
  constexpr double t = 0.3333333333333333;   // the double nearest to 1/3
  constexpr double q = 0.5773502691896257;   // its square root
  constexpr double deg_to_rad = M_PI / 180;
  const double theta = degrees * deg_to_rad;
  const double c = std::cos(theta), s = std::sin(theta);
  matrix[0] = {c + (1 - c) / 3.0, t * (1 - c) - q * s, t * (1 - c) + q * s};
  matrix[1] = {t * (1 - c) + q * s, c + t * (1 - c), t * (1 - c) - q * s};
  matrix[2] = {t * (1 - c) - q * s, t * (1 - c) + q * s, c + t * (1 - c)};
}

std::array<int, 3> rotate_hue(double r, double g, double b) {
  const Matrix3& m = matrix;
  const double rx = r * m[0][0] + g * m[0][1] + b * m[0][2];
  const double gx = r * m[1][0] + g * m[1][1] + b * m[1][2];
  const double bx = r * m[2][0] + g * m[2][1] + b * m[2][2];
  return {clamp_rgb(rx), clamp_rgb(gx), clamp_rgb(bx)};
}

std::string darkened_tk_colour(double r, double g, double b) {
  std::string s = "#";
  for (double v : {r, g, b}) {
    // Python's format(int(v), "02x"): a minus sign counts toward the width.
    const long long whole = static_cast<long long>(std::trunc(v * 0.8));
    char buf[32];
    if (whole < 0) {
      std::snprintf(buf, sizeof buf, "-%llx", -whole);
    } else {
      std::snprintf(buf, sizeof buf, "%02llx", whole);
    }
    s += buf;
  }
  return s;
}

void pick_color() {
  py::object answer = ask_colour(tkscheme);
  if (answer.is_none()) return;
  auto [r, g, b] = components_of(answer);
  scheme = {r / 255, g / 255, b / 255};
  tkscheme = py::str(answer[py::int_(1)]).cast<std::string>();
  horizontal_scheme = {r / 255 * 0.8, g / 255 * 0.8, b / 255 * 0.8};
  horizontal_tkscheme = darkened_tk_colour(r, g, b);
  set_hue_rotation(-30);
  const auto [vr, vg, vb] = rotate_hue(r, g, b);
  vertical_scheme = {vr / 255.0 * 0.8, vg / 255.0 * 0.8, vb / 255.0 * 0.8};
  vertical_tkscheme = darkened_tk_colour(vr, vg, vb);
  select_scheme();
}

void pick_main_color() { pick_one(scheme, tkscheme); }
void pick_horizontal_color() { pick_one(horizontal_scheme, horizontal_tkscheme); }
void pick_vertical_color() { pick_one(vertical_scheme, vertical_tkscheme); }

}  // namespace arcflex
