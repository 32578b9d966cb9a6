// The colour scheme applied to the widgets and artists of every window, the
// hue rotation, and the pickers with a chosen and a cancelled colour.
#include <gmock/gmock.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "appearance.h"
#include "colour_schemes.h"
#include "edit_windows.h"
#include "gui_fixture.h"
#include "state_colours.h"

using namespace guitest;
using ::testing::DoubleEq;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

const char* kSentinel = "#010203";

std::string cget(const py::object& w, const char* option) { return py::str(w.attr("cget")(option)).cast<std::string>(); }

// The first three channels of any colour matplotlib takes.
std::vector<double> rgb_of(py::handle colour) {
  py::tuple c = py::module_::import("matplotlib.colors").attr("to_rgb")(colour);
  return {c[0].cast<double>(), c[1].cast<double>(), c[2].cast<double>()};
}
std::vector<double> vec(const arcflex::Rgb& c) { return {c[0], c[1], c[2]}; }
std::vector<double> half(const arcflex::Rgb& c) { return {c[0] * 0.5, c[1] * 0.5, c[2] * 0.5}; }

struct Named {
  const char* name;
  py::object* w;
};
#define NAMED(w) Named { #w, &arcflex::w }

std::vector<Named> text_widgets() {
  return {NAMED(dist_calc_label), NAMED(ind_percent_label), NAMED(ind_percent_slider), NAMED(axes_label),
          NAMED(cpl1),            NAMED(cpl2),              NAMED(current_profile_label), NAMED(frame_slider),
          NAMED(sample_slider),   NAMED(gui_scale_slider),  NAMED(tog_key_label),     NAMED(tog_mode_label),
          NAMED(tog_button_label), NAMED(tog_sensX_label),  NAMED(tog_sensY_label)};
}
std::vector<Named> active_text_widgets() {
  return {NAMED(persist_box),   NAMED(apply_button), NAMED(add_point_button),   NAMED(add_edge_button),
          NAMED(delete_button), NAMED(apply_metric_button), NAMED(ok_button), NAMED(cancel_button),
          NAMED(toggle_sens_button)};
}
std::vector<Named> entries() { return {NAMED(toggle_sensX_entry), NAMED(toggle_sensY_entry), NAMED(tog_key_entry)}; }
std::vector<Named> option_menus() { return {NAMED(dist_calc_menu), NAMED(tog_mode_menu), NAMED(tog_button_menu)}; }

const std::vector<const char*> kEntryOptions{"fg", "bg", "insertbackground", "selectbackground", "selectforeground"};
const std::vector<const char*> kMenuOptions{"activebackground", "highlightbackground", "activeforeground", "bg", "fg"};
const std::vector<const char*> kDropdownOptions{"activebackground", "selectcolor", "bg", "fg"};

// Paints every option the scheme sets with one colour that nothing uses,
// so that reading it back shows what the scheme wrote.
void paint_sentinel() {
  for (auto& n : text_widgets()) n.w->attr("configure")("fg"_a = kSentinel);
  for (auto& n : active_text_widgets()) n.w->attr("configure")("fg"_a = kSentinel, "activeforeground"_a = kSentinel);
  for (auto& n : entries()) {
    for (const char* o : kEntryOptions) n.w->attr("configure")(**py::dict(py::arg(o) = kSentinel));
  }
  for (auto& n : option_menus()) {
    for (const char* o : kMenuOptions) n.w->attr("configure")(**py::dict(py::arg(o) = kSentinel));
    for (const char* o : kDropdownOptions) (*n.w)["menu"].attr("configure")(**py::dict(py::arg(o) = kSentinel));
  }
  for (py::object* a : {&arcflex::xaxis, &arcflex::yaxis, &arcflex::spline, &arcflex::arrow,
                        &arcflex::active_spline, &arcflex::active_arrow, &arcflex::inactive_spline,
                        &arcflex::inactive_arrow}) {
    a->attr("set_color")(kSentinel);
  }
  arcflex::fua.attr("set_facecolor")(kSentinel);
}

// Every object the scheme reaches shows the current colour globals.
void expect_scheme_shown() {
  using namespace arcflex;
  const std::string fg = tkscheme;
  for (auto& n : text_widgets()) EXPECT_EQ(cget(*n.w, "fg"), fg) << n.name;
  for (auto& n : active_text_widgets()) {
    EXPECT_EQ(cget(*n.w, "fg"), fg) << n.name;
    EXPECT_EQ(cget(*n.w, "activeforeground"), fg) << n.name;
  }
  const std::vector<std::string> entry_want{entry_fg, entry_bg, entry_cursor, entry_sbg, entry_sfg};
  for (auto& n : entries()) {
    for (size_t i = 0; i < kEntryOptions.size(); ++i) EXPECT_EQ(cget(*n.w, kEntryOptions[i]), entry_want[i]) << n.name;
  }
  const std::vector<std::string> menu_want{abg_scheme, bg_scheme, fg, bg_scheme, fg};
  const std::vector<std::string> drop_want{abg_scheme, fg, bg_scheme, fg};
  for (auto& n : option_menus()) {
    for (size_t i = 0; i < kMenuOptions.size(); ++i) EXPECT_EQ(cget(*n.w, kMenuOptions[i]), menu_want[i]) << n.name;
    py::object menu = (*n.w)["menu"];
    for (size_t i = 0; i < kDropdownOptions.size(); ++i) {
      EXPECT_EQ(cget(menu, kDropdownOptions[i]), drop_want[i]) << n.name << " menu";
    }
  }
  auto near = [](const std::vector<double>& want) {
    return ElementsAre(DoubleEq(want[0]), DoubleEq(want[1]), DoubleEq(want[2]));
  };
  EXPECT_THAT(rgb_of(xaxis.attr("get_color")()), near(half(scheme)));
  EXPECT_THAT(rgb_of(yaxis.attr("get_color")()), near(half(scheme)));
  EXPECT_THAT(rgb_of(spline.attr("get_color")()), near(vec(scheme)));
  EXPECT_THAT(rgb_of(arrow.attr("get_edgecolor")()), near(vec(scheme)));
  EXPECT_THAT(rgb_of(active_spline.attr("get_color")()), near(vec(active_scheme)));
  EXPECT_THAT(rgb_of(active_arrow.attr("get_edgecolor")()), near(vec(active_scheme)));
  EXPECT_THAT(rgb_of(inactive_spline.attr("get_color")()), near(vec(inactive_scheme)));
  EXPECT_THAT(rgb_of(inactive_arrow.attr("get_facecolor")()), near(vec(inactive_scheme)));
  EXPECT_THAT(rgb_of(fua.attr("get_facecolor")()), near(half(active_scheme)));
}

void set_colours(const arcflex::Rgb& main, const std::string& main_tk, const arcflex::Rgb& h, const std::string& h_tk,
                 const arcflex::Rgb& v, const std::string& v_tk) {
  arcflex::scheme = main;
  arcflex::tkscheme = main_tk;
  arcflex::horizontal_scheme = h;
  arcflex::horizontal_tkscheme = h_tk;
  arcflex::vertical_scheme = v;
  arcflex::vertical_tkscheme = v_tk;
}

// The six colour globals, for comparing before and after.
struct Six {
  arcflex::Rgb s, h, v;
  std::string st, ht, vt;
  static Six now() {
    using namespace arcflex;
    return {scheme, horizontal_scheme, vertical_scheme, tkscheme, horizontal_tkscheme, vertical_tkscheme};
  }
  bool operator==(const Six&) const = default;
};

}  // namespace

TEST(ColourScheme, StartColoursGiveTheKnownDerivedValues) {
  start_recorded();
  paint_sentinel();
  arcflex::select_scheme();
  EXPECT_THAT(rgb_of(arcflex::xaxis.attr("get_color")()), ElementsAre(DoubleEq(0.5), DoubleEq(0.45), DoubleEq(0.0)));
  EXPECT_THAT(rgb_of(arcflex::fua.attr("get_facecolor")()), ElementsAre(DoubleEq(0.4), DoubleEq(0.36), DoubleEq(0.0)));
  EXPECT_EQ(arcflex::dim_tkscheme, "#dfc90e");
  EXPECT_EQ(arcflex::entry_cursor, "#FFE611");
  expect_scheme_shown();
}

// Each axis mode with a new colour everywhere: the applied curve in front
// and the speed fill take the horizontal colour in modes 0 and 1, the
// vertical one in mode 2; everything else follows the main colour.
TEST(ColourScheme, EveryWidgetAndArtistFollowsTheSchemeInEachAxisMode) {
  start_recorded();
  using namespace arcflex;
  // Set apart beforehand: options that the scheme leaves alone.
  dist_calc_menu.attr("configure")("font"_a = "TkFixedFont", "width"_a = 3);
  tog_button_menu.attr("configure")("width"_a = 5, "bd"_a = 7);
  const std::string slider_fg_before = cget(axis_slider, "fg");
  for (int mode : {0, 1, 2}) {
    SCOPED_TRACE(mode);
    axis_mode = mode;
    set_colours({0.2, 0.4, 0.6}, "#336699", {0.1, 0.7, 0.1}, "#19B219", {0.9, 0.1, 0.3}, "#E5194C");
    paint_sentinel();
    select_scheme();
    EXPECT_EQ(axis_mode, mode);
    const bool horizontal_front = mode < 2;
    EXPECT_EQ(vec(active_scheme), vec(horizontal_front ? horizontal_scheme : vertical_scheme));
    EXPECT_EQ(vec(inactive_scheme), vec(horizontal_front ? vertical_scheme : horizontal_scheme));
    EXPECT_EQ(active_tkscheme, horizontal_front ? "#19B219" : "#E5194C");
    EXPECT_EQ(inactive_tkscheme, horizontal_front ? "#E5194C" : "#19B219");
    EXPECT_EQ(dim_tkscheme, "#2c5985");
    EXPECT_EQ(entry_cursor, "#336699");
    EXPECT_EQ(entry_sbg, "#336699");
    expect_scheme_shown();
    EXPECT_EQ(cget(dist_calc_menu, "width"), "12");
    EXPECT_EQ(cget(dist_calc_menu, "bd"), std::to_string(bd_four));
    EXPECT_EQ(cget(dist_calc_menu, "font"), "TkFixedFont");
    EXPECT_EQ(cget(tog_button_menu, "width"), "5");
    EXPECT_EQ(cget(tog_button_menu, "bd"), "7");
    EXPECT_EQ(cget(tog_button_menu, "font"), cget(tog_mode_menu, "font"));
    EXPECT_EQ(cget(tog_mode_menu, "width"), "12");
  }
  // Not part of the scheme: the axis slider and the window backgrounds.
  EXPECT_EQ(cget(axis_slider, "fg"), slider_fg_before);
  EXPECT_EQ(cget(root, "bg"), "#101010");
}

TEST(ColourScheme, AColourDimmingCannotReadStopsAfterTheStepsBeforeIt) {
  start_recorded();
  using namespace arcflex;
  const std::string dim_before = dim_tkscheme, cursor_before = entry_cursor;
  paint_sentinel();
  tkscheme = "#FFF";  // a Tk colour, but not six digits
  EXPECT_THROW(select_scheme(), std::invalid_argument);
  // Labels before the dimming took the colour; the entry colours and
  // everything after them did not.
  EXPECT_EQ(cget(axes_label, "fg"), "#FFF");
  EXPECT_EQ(cget(cpl2, "fg"), "#FFF");
  EXPECT_EQ(dim_tkscheme, dim_before);
  EXPECT_EQ(entry_cursor, cursor_before);
  EXPECT_EQ(cget(frame_slider, "fg"), kSentinel);
  EXPECT_EQ(cget(tog_key_entry, "insertbackground"), kSentinel);
  EXPECT_EQ(cget(toggle_sens_button, "fg"), kSentinel);
}

TEST(HueRotation, ClampingAndKnownRotations) {
  const std::vector<std::pair<double, int>> clamps{{-0.1, 0},   {0, 0},       {0.49, 0},  {0.5, 1},   {254.49, 254},
                                                   {254.5, 255}, {255, 255}, {255.2, 255}, {300, 255}, {128.3, 128}};
  for (auto [v, want] : clamps) EXPECT_EQ(arcflex::clamp_rgb(v), want) << v;

  // The start-up identity only rounds and clamps.
  EXPECT_THAT(arcflex::rotate_hue(255, 230, 17), ElementsAre(255, 230, 17));
  EXPECT_THAT(arcflex::rotate_hue(12.5, -3, 270), ElementsAre(13, 0, 255));

  arcflex::set_hue_rotation(0);
  EXPECT_EQ(arcflex::matrix, arcflex::identity_matrix);

  arcflex::set_hue_rotation(120);
  EXPECT_THAT(arcflex::rotate_hue(255, 0, 0), ElementsAre(0, 255, 0));
  EXPECT_THAT(arcflex::rotate_hue(0, 255, 0), ElementsAre(0, 0, 255));

  arcflex::set_hue_rotation(-30);
  const double a = 0.9106836025229591, b = 0.33333333333333326, c = -0.2440169358562924;
  EXPECT_THAT(arcflex::matrix[0], ElementsAre(a, b, c));
  EXPECT_THAT(arcflex::matrix[1], ElementsAre(c, a, b));
  EXPECT_THAT(arcflex::matrix[2], ElementsAre(b, c, a));
  const std::vector<std::pair<std::array<double, 3>, std::array<int, 3>>> rotations{
      {{255, 0, 0}, {232, 0, 85}},      {{128, 128, 128}, {128, 128, 128}}, {{255, 255, 255}, {255, 255, 255}},
      {{255, 230, 17}, {255, 153, 44}}, {{0, 0, 0}, {0, 0, 0}}};
  for (auto& [in, want] : rotations) {
    EXPECT_EQ(arcflex::rotate_hue(in[0], in[1], in[2]), want) << in[0] << " " << in[1] << " " << in[2];
  }

  EXPECT_EQ(arcflex::darkened_tk_colour(255, 230, 17), "#ccb80d");
  EXPECT_EQ(arcflex::darkened_tk_colour(5, 0, 255), "#0400cc");
}

// The combined picker: the chosen colour, the axis colours derived from it,
// the scheme applied; a cancel changes nothing.
TEST(ColourPickers, CombinedPickerDerivesBothAxisColours) {
  start_recorded();
  using namespace arcflex;
  struct Case {
    std::string answer;
    Rgb main, horizontal;
    std::string horizontal_tk;
    Rgb vertical;
    std::string vertical_tk;
  };
  const std::vector<Case> cases{
      {"#ffe611", {1.0, 0.9019607843137255, 0.06666666666666667}, {0.8, 0.7215686274509805, 0.05333333333333334},
       "#ccb80d", {0.8, 0.48, 0.1380392156862745}, "#cc7a23"},
      {"#ff0000", {1.0, 0.0, 0.0}, {0.8, 0.0, 0.0}, "#cc0000", {0.727843137254902, 0.0, 0.26666666666666666},
       "#b90044"},
      {"#000000", {0.0, 0.0, 0.0}, {0.0, 0.0, 0.0}, "#000000", {0.0, 0.0, 0.0}, "#000000"},
  };
  std::string initial = tkscheme;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    dialogs::clear_recorded();
    dialogs::push_text_answer(c.answer);
    paint_sentinel();
    pick_color();
    ASSERT_EQ(dialogs::recorded().size(), 1u);
    EXPECT_EQ(dialogs::recorded()[0].kind, "color");
    EXPECT_EQ(dialogs::recorded()[0].title, "Choose color");
    EXPECT_EQ(dialogs::recorded()[0].message, initial);  // opened on the current main colour
    EXPECT_FALSE(dialogs::recorded()[0].parented);
    EXPECT_THAT(vec(scheme), ElementsAreArray(vec(c.main)));
    EXPECT_EQ(tkscheme, c.answer);
    EXPECT_THAT(vec(horizontal_scheme), ElementsAreArray(vec(c.horizontal)));
    EXPECT_EQ(horizontal_tkscheme, c.horizontal_tk);
    EXPECT_THAT(vec(vertical_scheme), ElementsAreArray(vec(c.vertical)));
    EXPECT_EQ(vertical_tkscheme, c.vertical_tk);
    expect_scheme_shown();
    initial = c.answer;
  }

  // Cancelled: nothing changes, the matrix keeps the last rotation, the
  // scheme is not applied again.
  const Six before = Six::now();
  set_hue_rotation(-30);
  const Matrix3 rotation = matrix;
  paint_sentinel();
  dialogs::clear_recorded();
  pick_color();
  ASSERT_EQ(dialogs::recorded().size(), 1u);
  EXPECT_EQ(dialogs::recorded()[0].message, "#000000");
  EXPECT_TRUE(Six::now() == before);
  EXPECT_EQ(matrix, rotation);
  EXPECT_EQ(cget(axes_label, "fg"), kSentinel);
}

// Each single picker changes its own pair and no other colour; choosing
// the colour already current still applies the scheme.
TEST(ColourPickers, EachSinglePickerChangesOnlyItsOwnColour) {
  start_recorded();
  using namespace arcflex;
  struct Case {
    const char* name;
    std::function<void()> pick;
    Rgb* triple;
    std::string* tk;
    py::object* curve;  // an artist drawn in that colour (axis mode 0)
  };
  const std::vector<Case> cases{
      {"main", pick_main_color, &scheme, &tkscheme, &spline},
      {"horizontal", pick_horizontal_color, &horizontal_scheme, &horizontal_tkscheme, &active_spline},
      {"vertical", pick_vertical_color, &vertical_scheme, &vertical_tkscheme, &inactive_spline},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const std::string answer : {"#336699", "#ff00FF", "#000000"}) {
      const Six before = Six::now();
      const std::string initial = *c.tk;
      dialogs::clear_recorded();
      dialogs::push_text_answer(answer);
      paint_sentinel();
      c.pick();
      ASSERT_EQ(dialogs::recorded().size(), 1u);
      EXPECT_EQ(dialogs::recorded()[0].title, "Choose color");
      EXPECT_EQ(dialogs::recorded()[0].message, initial);
      const py::tuple parts = py::module_::import("matplotlib.colors").attr("to_rgb")(answer);
      EXPECT_THAT(vec(*c.triple), ElementsAre(parts[0].cast<double>(), parts[1].cast<double>(),
                                              parts[2].cast<double>()));
      EXPECT_EQ(*c.tk, answer);
      // The other colours are as they were.
      const std::vector<std::pair<Rgb*, Rgb>> triples{
          {&scheme, before.s}, {&horizontal_scheme, before.h}, {&vertical_scheme, before.v}};
      for (auto& [live, was] : triples) {
        if (live != c.triple) EXPECT_EQ(vec(*live), vec(was));
      }
      const std::vector<std::pair<std::string*, std::string>> strings{
          {&tkscheme, before.st}, {&horizontal_tkscheme, before.ht}, {&vertical_tkscheme, before.vt}};
      for (auto& [live, was] : strings) {
        if (live != c.tk) EXPECT_EQ(*live, was);
      }
      EXPECT_THAT(rgb_of(c.curve->attr("get_color")()), ElementsAreArray(vec(*c.triple)));
      expect_scheme_shown();
    }
    // The same colour once more is stored and applied all the same.
    dialogs::clear_recorded();
    dialogs::push_text_answer("#000000");
    paint_sentinel();
    c.pick();
    EXPECT_EQ(cget(axes_label, "fg"), tkscheme);
    // Cancelled: nothing changes and nothing is applied.
    const Six before = Six::now();
    dialogs::clear_recorded();
    paint_sentinel();
    c.pick();
    EXPECT_EQ(dialogs::recorded().size(), 1u);
    EXPECT_TRUE(Six::now() == before);
    EXPECT_EQ(cget(axes_label, "fg"), kSentinel);
  }
}
