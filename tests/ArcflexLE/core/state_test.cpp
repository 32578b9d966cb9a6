// Module state: the defaults, the key-name table, the derived colours and
// the initial snapshots.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "appearance.h"
#include "curve.h"
#include "settings_files.h"
#include "state.h"
#include "state_defaults.h"

namespace py = pybind11;
namespace fs = std::filesystem;
using namespace arcflex;

namespace {

// A start with no settings files, up to the initial snapshots.
void start_without_files() {
  assign_defaults();
  settingsdir = data_folder("Arcflex LE", "settings");
  fs::create_directories(settingsdir);
  initialize_af();
  derive_colours_and_fonts();
  active_pitch = pitch;
  take_initial_snapshots();
}

}  // namespace

TEST(StateDefaults, ConstantsAndLists) {
  persist = 0;
  max_list.clear();
  assign_defaults();
  assign_meter_link_defaults();
  EXPECT_EQ(bd_two, 1);
  EXPECT_EQ(bd_four, 2);
  EXPECT_EQ(persist, 1);
  EXPECT_EQ(max_list, std::vector<double>{0.0});  // one zero sample, not empty
  EXPECT_TRUE(mmpause);
  EXPECT_EQ(py_repr(scale_dx), "6.67");
  EXPECT_EQ(py_repr(cursor_last_x), "0");
  EXPECT_EQ(py_repr(toggleSensX), "1");
  EXPECT_EQ(py_repr(x), "[]");
  EXPECT_TRUE(line.is_none());
  EXPECT_TRUE(gevent.is_none());
  EXPECT_FALSE(last_index.has_value());
  EXPECT_EQ(py_repr(py::float_(horizontal_scheme[1])), "0.7200000000000001");
  EXPECT_EQ(z_o_f, 1.0 / 0.9);
}

TEST(StateDefaults, KeyNameTable) {
  build_key_binds_dict();
  const auto& d = key_binds_dict;
  EXPECT_EQ(d.size(), 98u);
  EXPECT_EQ(d.at(65), "a");
  EXPECT_EQ(d.at(90), "z");
  for (int n = 1; n <= 32; ++n) EXPECT_EQ(d.at(111 + n), "F" + std::to_string(n));
  EXPECT_EQ(d.at(220), "\\");
  EXPECT_EQ(d.at(192), "`");
  EXPECT_EQ(d.at(222), "'");
  EXPECT_EQ(d.at(48), "0");
  EXPECT_EQ(d.at(9), "Tab");
  EXPECT_EQ(d.at(13), "Enter");
  EXPECT_EQ(d.at(27), "Esc");
  EXPECT_EQ(d.at(34), "PgDown");
  EXPECT_EQ(d.count(0), 0u);
  EXPECT_EQ(d.count(96), 0u);  // numeric keypad
  EXPECT_EQ(d.count(160), 0u);  // left Shift
  // The whole table, written out on its own.
  std::map<int, std::string> want{
      {8, "BackSpace"}, {9, "Tab"},     {13, "Enter"},   {16, "Shift"},  {17, "Ctrl"},   {18, "Alt"},
      {20, "Capslock"}, {27, "Esc"},    {32, "Space"},   {33, "PgUp"},   {34, "PgDown"}, {35, "End"},
      {36, "Home"},     {37, "Left"},   {38, "Up"},      {39, "Right"},  {40, "Down"},   {45, "Ins"},
      {46, "Del"},      {186, ";"},     {187, "="},      {188, ","},     {189, "-"},     {190, "."},
      {191, "/"},       {192, "`"},     {219, "["},      {220, "\\"},   {221, "]"},     {222, "'"}};
  for (char c : std::string("0123456789abcdefghijklmnopqrstuvwxyz")) want[c >= 'a' ? c - 'a' + 'A' : c] = {c};
  for (int n = 1; n <= 32; ++n) want[111 + n] = "F" + std::to_string(n);
  EXPECT_EQ(d, want);
}

TEST(StateDefaults, StartWithoutFiles) {
  start_without_files();
  EXPECT_EQ(persist, 0);
  EXPECT_EQ(negative_accel, 0);
  EXPECT_TRUE(init_err);
  for (const py::object* l : {&x, &horizontal_x, &vertical_x}) EXPECT_EQ(py_repr(*l), "[0, 10, 30, 40]");
  EXPECT_EQ(dim_tkscheme, "#dfc90e");
  EXPECT_EQ(active_scheme, horizontal_scheme);
  EXPECT_EQ(inactive_scheme, vertical_scheme);
  EXPECT_EQ(active_tkscheme, "#91CC18");
  EXPECT_EQ(inactive_tkscheme, "#CC7A23");
  EXPECT_EQ(entry_sbg, "#FFE611");
  EXPECT_EQ(entry_bg, "#101010");
  EXPECT_EQ(entry_cursor, "#FFE611");
  EXPECT_EQ(py_repr(text_font), "('Ebrima', 10, 'bold')");
  EXPECT_EQ(py_repr(help_font), "('Ebrima', 12, 'bold')");
  EXPECT_EQ(py_repr(scale_button_font), "'TkDefaultFont'");

  // Both snapshots start equal to the loaded state.
  EXPECT_EQ(py_repr(revert_horizontal_x), "[0, 10, 30, 40]");
  EXPECT_EQ(py_repr(redo_vertical_y), "[0.5, 1, 1, 1]");
  EXPECT_EQ(py_repr(revert_scale_dx), "6.67");
  EXPECT_EQ(py_repr(redo_toggleSensY), "1");
  EXPECT_EQ(revert_pitch, 1);
  EXPECT_EQ(redo_maxFrameTime, 100);
}

TEST(StateDefaults, SnapshotMembersAreIndependentCopies) {
  start_without_files();
  horizontal_x[py::int_(1)] = 99;
  py::list(vertical_corners).append(1);
  EXPECT_EQ(py_repr(revert_horizontal_x), "[0, 10, 30, 40]");
  EXPECT_EQ(py_repr(redo_horizontal_x), "[0, 10, 30, 40]");
  EXPECT_EQ(py_repr(revert_vertical_corners), "[0, 0, 0, 0]");
  revert_horizontal_y[py::int_(0)] = 7;
  EXPECT_EQ(py_repr(redo_horizontal_y), "[0.5, 1, 1, 1]");
  EXPECT_FALSE(revert_vertical_x.is(redo_vertical_x));
}

TEST(Appearance, DimmedColour) {
  EXPECT_EQ(dim_colour("#FFE611"), "#dfc90e");
  EXPECT_EQ(dim_colour("#ffe611"), "#dfc90e");
  EXPECT_EQ(dim_colour("#110100"), "#0e0000");
  EXPECT_EQ(dim_colour("#000000"), "#000000");
  EXPECT_EQ(dim_colour("#FFFFFF"), "#dfdfdf");
  EXPECT_EQ(dim_colour("#808080"), "#707070");
  for (const char* bad : {"#FFF", "FFE6110", "#GG0000", "", "#FFE6111"}) {
    EXPECT_THROW(dim_colour(bad), std::invalid_argument) << bad;
  }
}

TEST(Appearance, HalfIntensity) {
  EXPECT_EQ(half_intensity({1.0, 0.9, 0.0}), (Rgb{0.5, 0.45, 0.0}));
  Rgb h = half_intensity({0.8, 0.7200000000000001, 0.0});
  EXPECT_DOUBLE_EQ(h[0], 0.4);
  EXPECT_DOUBLE_EQ(h[1], 0.36);
  EXPECT_EQ(h[2], 0.0);
  EXPECT_EQ(py_repr(rgb_tuple({1.0, 0.9, 0.0})), "(1.0, 0.9, 0.0)");
}

TEST(Appearance, InertOperationsChangeNothing) {
  start_without_files();
  const std::string before = py_repr(horizontal_x) + py_repr(x) + std::to_string(persist) +
                             std::to_string(negative_accel) + tkscheme;
  const auto files_before = std::distance(fs::directory_iterator(settingsdir), fs::directory_iterator());
  lock_profiles();
  unlock_profiles();
  activate_profile_keys();
  set_persist();
  write_profile_keys();
  set_bypass_confirm();
  set_aftask();
  swap_profile(py::int_(3));
  EXPECT_EQ(py_repr(horizontal_x) + py_repr(x) + std::to_string(persist) +
                std::to_string(negative_accel) + tkscheme,
            before);
  EXPECT_EQ(std::distance(fs::directory_iterator(settingsdir), fs::directory_iterator()), files_before);
}
