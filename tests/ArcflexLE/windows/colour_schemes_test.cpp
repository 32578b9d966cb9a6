// The colour scheme applied to the widgets and artists of every window, the
// hue rotation, and the pickers with a chosen and a cancelled colour.
#include <gmock/gmock.h>

#include <functional>

#include "appearance.h"
#include "colour_schemes.h"
#include "edit_windows.h"
#include "gui_fixture.h"
#include "state_colours.h"
#include "state_help.h"
#include "state_profiles.h"
#include "state_scale.h"

using namespace guitest;
using namespace arcflex;
using ::testing::DoubleEq;
using ::testing::DoubleNear;
using ::testing::ElementsAre;

namespace {

const char* kSentinel = "#010203";
std::string cget(const py::object& w, const char* o) { return py::str(w.attr("cget")(o)).cast<std::string>(); }
Rgb rgb_of(py::handle colour) {
  py::tuple c = py::module_::import("matplotlib.colors").attr("to_rgb")(colour);
  return {c[0].cast<double>(), c[1].cast<double>(), c[2].cast<double>()};
}

// Each object the scheme reaches with the options it sets.
enum class Kind { text, button, entry, menu, font_menu, dropdown, about, list, manual };
struct Target {
  py::object w;
  Kind kind;
};
std::vector<Target> targets() {
  std::vector<Target> t;
  for (py::object* w : {&dist_calc_label, &ind_percent_label, &ind_percent_slider, &axes_label, &cpl1, &cpl2,
                        &current_profile_label, &frame_slider, &sample_slider, &gui_scale_slider, &tog_key_label,
                        &tog_mode_label, &tog_button_label, &tog_sensX_label, &tog_sensY_label, &device_label,
                        &exclude_label, &profile_key_label, &profile_mode_label, &old_dpi_label, &new_dpi_label,
                        &scale_x_label, &scale_y_label, &scale_percent_label})
    t.push_back({*w, Kind::text});
  for (size_t i = 0; i < profile_labels.size(); ++i) {
    t.push_back({profile_labels[i], Kind::text});
    t.push_back({profile_entries[i], Kind::entry});
    t.push_back({hotkey_mode_box[i], Kind::button});
  }
  for (py::object* w : {&persist_box, &apply_button, &add_point_button, &add_edge_button, &delete_button,
                        &apply_metric_button, &ok_button, &cancel_button, &toggle_sens_button,
                        &exclude_devices_button, &save_profile_keys_button, &scale_x_up_button,
                        &scale_x_down_button, &scale_y_up_button, &scale_y_down_button, &convert_button,
                        &scale_button})
    t.push_back({*w, Kind::button});
  for (py::object* w : {&toggle_sensX_entry, &toggle_sensY_entry, &tog_key_entry, &old_dpi_entry, &new_dpi_entry,
                        &scale_x_entry, &scale_y_entry, &scale_entry})
    t.push_back({*w, Kind::entry});
  t.push_back({dist_calc_menu, Kind::menu});
  for (py::object* w : {&tog_mode_menu, &tog_button_menu}) t.push_back({*w, Kind::font_menu});
  for (py::object* w : {&dist_calc_menu, &tog_mode_menu, &tog_button_menu}) t.push_back({(*w)["menu"], Kind::dropdown});
  t.push_back({awl1, Kind::about});
  t.push_back({device_listbox, Kind::list});
  t.push_back({help_text, Kind::manual});
  return t;
}
const std::string kTextFont = "Ebrima 10 bold", kHelpFont = "Ebrima 12 bold";
// Option and the value the scheme gives it, by kind.
std::vector<std::pair<const char*, std::string>> wanted(Kind k) {
  switch (k) {
    case Kind::text: return {{"fg", tkscheme}};
    case Kind::button: return {{"fg", tkscheme}, {"activeforeground", tkscheme}};
    case Kind::entry:
      return {{"fg", entry_fg}, {"bg", entry_bg}, {"insertbackground", entry_cursor},
              {"selectbackground", entry_sbg}, {"selectforeground", entry_sfg}};
    case Kind::menu:
      return {{"activebackground", abg_scheme}, {"highlightbackground", bg_scheme},
              {"activeforeground", tkscheme}, {"bg", bg_scheme}, {"fg", tkscheme}};
    case Kind::font_menu:
      return {{"activebackground", abg_scheme}, {"highlightbackground", bg_scheme}, {"activeforeground", tkscheme},
              {"bg", bg_scheme}, {"fg", tkscheme}, {"font", kTextFont}};
    case Kind::dropdown:
      return {{"activebackground", abg_scheme}, {"selectcolor", tkscheme}, {"bg", bg_scheme}, {"fg", tkscheme},
              {"font", kTextFont}};
    case Kind::about: return {{"bg", bg_scheme}, {"fg", tkscheme}};
    case Kind::list:
      return {{"fg", entry_fg}, {"bg", entry_bg}, {"selectbackground", entry_sbg}, {"selectforeground", entry_sfg}};
    case Kind::manual:
      return {{"state", "disabled"}, {"background", bg_scheme}, {"foreground", dim_tkscheme}, {"font", kHelpFont}};
  }
  return {};
}

std::vector<py::object*> artists() {
  return {&xaxis, &yaxis, &spline, &arrow, &active_spline, &active_arrow, &inactive_spline, &inactive_arrow};
}
Rgb colour_of(const py::object& a) {
  return rgb_of(py::hasattr(a, "get_xdata") ? a.attr("get_color")() : a.attr("get_edgecolor")());
}
Rgb half(const Rgb& c) { return {c[0] * 0.5, c[1] * 0.5, c[2] * 0.5}; }

// Paints every option the scheme sets with a colour nothing uses, so what is
// read back afterwards was written by the scheme.
void paint_sentinel() {
  for (const Target& t : targets()) {
    for (auto& [o, v] : wanted(t.kind)) {
      const std::string option = o;
      const char* sentinel = option == "font" ? "TkFixedFont" : option == "state" ? "normal" : kSentinel;
      t.w.attr("configure")(**py::dict(py::arg(o) = sentinel));
    }
  }
  for (py::object* a : artists()) a->attr("set_color")(kSentinel);
  fua.attr("set_facecolor")(kSentinel);
}

void expect_scheme_shown() {
  for (const Target& t : targets()) {
    for (auto& [o, v] : wanted(t.kind)) EXPECT_EQ(cget(t.w, o), v) << py::str(t.w).cast<std::string>() << " " << o;
  }
  const std::vector<Rgb> want{half(scheme),  half(scheme),  scheme,          scheme,
                              active_scheme, active_scheme, inactive_scheme, inactive_scheme};
  for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(colour_of(*artists()[i]), want[i]) << i;
  EXPECT_EQ(rgb_of(fua.attr("get_facecolor")()), half(active_scheme));
}

using Six = std::tuple<Rgb, Rgb, Rgb, std::string, std::string, std::string>;
Six six() { return {scheme, horizontal_scheme, vertical_scheme, tkscheme, horizontal_tkscheme, vertical_tkscheme}; }

}  // namespace

// The start colours, then new colours in each axis mode: the applied curve
// in front and the speed fill take the horizontal colour in modes 0 and 1,
// the vertical one in mode 2; the rest follows the main colour.
TEST(ColourScheme, EveryWidgetAndArtistFollowsTheScheme) {
  start_recorded();
  paint_sentinel();
  select_scheme();
  EXPECT_EQ(colour_of(xaxis), (Rgb{0.5, 0.45, 0.0}));
  EXPECT_THAT(rgb_of(fua.attr("get_facecolor")()),
              ElementsAre(DoubleEq(0.4), DoubleNear(0.36, 1e-15), DoubleEq(0.0)));
  EXPECT_EQ(dim_tkscheme, "#dfc90e");
  expect_scheme_shown();

  // Options outside the scheme keep their values.
  dist_calc_menu.attr("configure")("font"_a = "TkFixedFont", "width"_a = 3);
  tog_button_menu.attr("configure")("width"_a = 5, "bd"_a = 7);
  const std::string slider_fg = cget(axis_slider, "fg");
  for (int mode : {0, 1, 2}) {
    SCOPED_TRACE(mode);
    axis_mode = mode;
    scheme = {0.2, 0.4, 0.6};
    tkscheme = "#336699";
    horizontal_scheme = {0.1, 0.7, 0.1};
    horizontal_tkscheme = "#19B219";
    vertical_scheme = {0.9, 0.1, 0.3};
    vertical_tkscheme = "#E5194C";
    paint_sentinel();
    select_scheme();
    EXPECT_EQ(axis_mode, mode);
    EXPECT_EQ(active_scheme, mode < 2 ? horizontal_scheme : vertical_scheme);
    EXPECT_EQ(inactive_tkscheme, mode < 2 ? "#E5194C" : "#19B219");
    EXPECT_EQ(dim_tkscheme, "#2c5985");
    EXPECT_EQ(entry_cursor, "#336699");
    expect_scheme_shown();
    EXPECT_EQ(cget(dist_calc_menu, "width") + cget(dist_calc_menu, "font"), "12TkFixedFont");
    EXPECT_EQ(cget(tog_button_menu, "width") + cget(tog_button_menu, "bd"), "57");
  }
  EXPECT_EQ(cget(axis_slider, "fg"), slider_fg);
  EXPECT_EQ(cget(root, "bg"), "#101010");

}

TEST(HueRotation, ClampingAndKnownRotations) {
  for (auto [v, want] : std::vector<std::pair<double, int>>{
           {-0.1, 0}, {0, 0}, {0.49, 0}, {0.5, 1}, {254.49, 254}, {254.5, 255}, {255, 255}, {255.2, 255}, {300, 255}})
    EXPECT_EQ(clamp_rgb(v), want) << v;
  EXPECT_THAT(rotate_hue(255, 230, 17), ElementsAre(255, 230, 17));  // identity: round and clamp only
  EXPECT_THAT(rotate_hue(12.5, -3, 270), ElementsAre(13, 0, 255));
  set_hue_rotation(0);
  EXPECT_EQ(matrix, identity_matrix);
  set_hue_rotation(120);
  EXPECT_THAT(rotate_hue(255, 0, 0), ElementsAre(0, 255, 0));
  set_hue_rotation(-30);
  const double a = 0.9106836025229591, b = 0.33333333333333326, c = -0.2440169358562924;
  EXPECT_EQ(matrix, (Matrix3{{{a, b, c}, {c, a, b}, {b, c, a}}}));
  EXPECT_THAT(rotate_hue(255, 0, 0), ElementsAre(232, 0, 85));
  EXPECT_THAT(rotate_hue(128, 128, 128), ElementsAre(128, 128, 128));
  EXPECT_THAT(rotate_hue(255, 255, 255), ElementsAre(255, 255, 255));
  EXPECT_EQ(darkened_tk_colour(5, 0, 255), "#0400cc");
}

// Each picker with a cancelled colour (nothing changed, nothing applied)
// and then a chosen one (the scheme applied, the other colours as they
// were), the dialog opened on the current colour of what it picks.
TEST(ColourPickers, CancelledAndChosenColours) {
  start_recorded();
  struct Case {
    std::function<void()> pick;
    std::string initial, answer;
    Six after;
  };
  const Rgb black{0, 0, 0}, blue{0.2, 0.4, 1.0};
  const std::vector<Case> cases{
      {pick_color, "#FFE611", "#ffe611",
       {{1.0, 0.9019607843137255, 0.06666666666666667}, {0.8, 0.7215686274509805, 0.05333333333333334},
        {0.8, 0.48, 0.1380392156862745}, "#ffe611", "#ccb80d", "#cc7a23"}},
      {pick_color, "#ffe611", "#ff0000",
       {{1, 0, 0}, {0.8, 0, 0}, {0.727843137254902, 0.0, 0.26666666666666666}, "#ff0000", "#cc0000", "#b90044"}},
      {pick_color, "#ff0000", "#000000", {black, black, black, "#000000", "#000000", "#000000"}},
      {pick_main_color, "#000000", "#3366FF", {blue, black, black, "#3366FF", "#000000", "#000000"}},
      {pick_main_color, "#3366FF", "#3366FF", {blue, black, black, "#3366FF", "#000000", "#000000"}},
      {pick_horizontal_color, "#000000", "#ff00ff", {blue, {1, 0, 1}, black, "#3366FF", "#ff00ff", "#000000"}},
      {pick_vertical_color, "#000000", "#00ff00", {blue, {1, 0, 1}, {0, 1, 0}, "#3366FF", "#ff00ff", "#00ff00"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    const Six before = six();
    const Matrix3 rotation = matrix;
    dialogs::clear_recorded();
    paint_sentinel();
    c.pick();
    EXPECT_EQ(six(), before);
    EXPECT_EQ(matrix, rotation);
    EXPECT_EQ(cget(axes_label, "fg"), kSentinel);

    dialogs::push_text_answer(c.answer);
    c.pick();
    ASSERT_EQ(dialogs::recorded().size(), 2u);
    for (const auto& r : dialogs::recorded()) {
      EXPECT_EQ(r.kind + ": " + r.title + ": " + r.message, "color: Choose color: " + c.initial);
      EXPECT_FALSE(r.parented);
    }
    EXPECT_EQ(six(), c.after);
    expect_scheme_shown();
  }
}
