// "p.dat" and "GUI.dat": the written bytes, and the start-up load with every
// fallback, against the real spline code and a private settings folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <pybind11/eval.h>
#include <sys/stat.h>

#include "af_test_env.h"
#include "curve.h"
#include "curve_fixture.h"
#include "dialogs.h"
#include "platform/files.h"
#include "presets.h"
#include "profiles.h"
#include "runtime_guard.h"
#include "settings_files.h"
#include "startup.h"
#include "state.h"
#include "state_defaults.h"

namespace py = pybind11;
namespace fs = std::filesystem;
using namespace arcflex;
using curvetest::ints_of;
using curvetest::list_of;

namespace {

class SettingsFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    assign_defaults();
    settingsdir = data_folder("Arcflex LE", "settings");
    fs::create_directories(settingsdir);
    dialogs::set_recording(true);  // a start-up box must not wait for a user
    afp::set_folder_flush_hook({});
  }

  std::string pdat() const { return settingsdir + "p.dat"; }
  std::string guidat() const { return settingsdir + "GUI.dat"; }

  static void set_horizontal(py::list xs, py::list ys, py::list flags) {
    horizontal_x = xs;
    horizontal_y = ys;
    horizontal_corners = flags;
  }
  static void set_horizontal(const Curve& c) { set_horizontal(c.x, c.y, c.corners); }

  // The file's lines, checking that every line ends in CR LF and the last
  // one in nothing.
  std::vector<std::string> file_lines(const std::string& path) const {
    const std::string bytes = aftest::read_file(path);
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
      std::size_t lf = bytes.find('\n', start);
      if (lf == std::string::npos) {
        lines.push_back(bytes.substr(start));
        break;
      }
      EXPECT_TRUE(lf > 0 && bytes[lf - 1] == '\r') << "bare LF in " << path;
      lines.push_back(bytes.substr(start, lf - 1 - start));
      start = lf + 1;
    }
    EXPECT_FALSE(lines.back().empty()) << path << " ends with a line end";
    return lines;
  }

  void write_gui(const std::string& text) const { aftest::write_file(guidat(), text); }
  void write_pdat(const std::string& text) const { aftest::write_file(pdat(), text); }
  // The lines after the first five of a curve file: n table values.
  static std::string table(const std::string& eol = "\r\n", int n = 202) { return aftest::curve_table(eol, n); }

  static std::string text(const py::object& o) { return py_repr(o); }
};

}  // namespace

// ---- writing p.dat ---------------------------------------------------------

TEST_F(SettingsFiles, DefaultCurveGivesTheMetersFile) {
  set_horizontal(get_default_points());
  write_curve();
  std::vector<std::string> lines = file_lines(pdat());
  ASSERT_EQ(lines.size(), 207u);
  EXPECT_EQ(lines[0], "0 10 30 40 ");
  EXPECT_EQ(lines[1], "0.5 1 1 1 ");
  EXPECT_EQ(lines[2], "0 0 0 0 ");
  EXPECT_EQ(lines[3], "0.0");
  EXPECT_EQ(lines[4], "6.666666666666667");
  EXPECT_EQ(lines[5], "0.5");
  EXPECT_EQ(lines[206], "1.0");
  EXPECT_EQ(text(scale_dx), "6.666666666666667");
  double before = 0.5;
  for (std::size_t i = 5; i < 206; ++i) {
    std::optional<double> v = parse_real(lines[i]);
    ASSERT_TRUE(v) << lines[i];
    EXPECT_NE(lines[i].find_first_of(".e"), std::string::npos) << "lookup values are reals";
    EXPECT_GE(*v, before);
    EXPECT_LE(*v, 1.0 + 1e-12);
    before = *v;
  }
  EXPECT_FALSE(fs::exists(pdat() + ".tmp"));
}

TEST_F(SettingsFiles, CurveReadBackIsRealAndRewritesTheSameTable) {
  set_horizontal(get_default_points());
  write_curve();
  std::vector<std::string> first = file_lines(pdat());

  initialize_af();
  EXPECT_FALSE(init_err);
  EXPECT_EQ(text(horizontal_x), "[0.0, 10.0, 30.0, 40.0]");
  EXPECT_EQ(text(horizontal_y), "[0.5, 1.0, 1.0, 1.0]");
  EXPECT_EQ(text(horizontal_corners), "[0, 0, 0, 0]");
  EXPECT_EQ(text(scale_dx), "6.67");

  write_curve();
  std::vector<std::string> second = file_lines(pdat());
  ASSERT_EQ(second.size(), first.size());
  EXPECT_EQ(second[0], "0.0 10.0 30.0 40.0 ");
  EXPECT_EQ(second[1], "0.5 1.0 1.0 1.0 ");
  for (std::size_t i = 2; i < first.size(); ++i) EXPECT_EQ(second[i], first[i]) << "line " << i + 1;
}

TEST_F(SettingsFiles, ScaleFallsBackToOneAndSlopeToWholeZero) {
  // Last control point at x 0: unscaled, a table of one value, then the tail
  // at x 1.
  set_horizontal(ints_of({0, 0, 5}), ints_of({1, 1, 2}), ints_of({0, 0, 0}));
  write_curve();
  std::vector<std::string> lines = file_lines(pdat());
  EXPECT_EQ(lines, (std::vector<std::string>{"0 0 5 ", "1 1 2 ", "0 0 0 ", "0.2", "1", "1.0", "1.2"}));
  EXPECT_EQ(text(scale_dx), "1");

  // 200 / 0.005 is above 32000: unscaled as well.
  set_horizontal(list_of({0, 0.005, 1}), list_of({1, 1, 1}), ints_of({0, 0, 0}));
  write_curve();
  lines = file_lines(pdat());
  EXPECT_EQ(lines[4], "1");
  EXPECT_EQ(lines.size(), 7u);

  // A vertical tail: slope "0", the last control point's y at the end.
  set_horizontal(ints_of({0, 10, 30, 30}), ints_of({1, 1, 1, 2}), ints_of({0, 0, 0, 0}));
  write_curve();
  lines = file_lines(pdat());
  EXPECT_EQ(lines[3], "0");
  EXPECT_EQ(lines.back(), "1.0");  // real: the x values were scaled

  set_horizontal(ints_of({0, 0, 0}), ints_of({1, 1, 1}), ints_of({0, 0, 0}));
  write_curve();
  lines = file_lines(pdat());
  EXPECT_EQ(lines[3], "0");
  EXPECT_EQ(lines.back(), "1");  // whole: nothing real took part
}

TEST_F(SettingsFiles, EdgePointShapesTheTable) {
  // x scale 5, so the point at x 20 lands on table x 100 (file line 106).
  py::list xs = ints_of({0, 10, 20, 40, 50}), ys = ints_of({1, 1, 3, 3, 3});
  set_horizontal(xs, ys, ints_of({0, 0, 0, 0, 0}));
  write_curve();
  const double smooth = *parse_real(file_lines(pdat())[105]);

  set_horizontal(xs, ys, ints_of({0, 0, 1, 0, 0}));
  write_curve();
  std::vector<std::string> lines = file_lines(pdat());
  ASSERT_EQ(lines.size(), 207u);
  EXPECT_EQ(lines[2], "0 0 1 0 0 ");
  const double cornered = *parse_real(lines[105]);
  EXPECT_NEAR(cornered, 3.0, 0.02);  // the curve passes through the edge point
  EXPECT_LT(smooth, cornered - 0.1);
}

TEST_F(SettingsFiles, FailedWriteLeavesTheOldFile) {
  set_horizontal(get_default_points());
  write_curve();
  const std::string good = aftest::read_file(pdat());

  // A value that is not finite is never written.
  set_horizontal(list_of({0, 20, 40}), list_of({1, std::numeric_limits<double>::infinity(), 3}),
                 ints_of({0, 0, 0}));
  EXPECT_THROW(write_curve(), std::runtime_error);
  EXPECT_EQ(aftest::read_file(pdat()), good);

  // A polygon too short for its knots (an edge flag on the tail end point).
  set_horizontal(ints_of({0, 10, 20, 30, 40}), ints_of({1, 1, 1, 1, 1}), ints_of({0, 0, 0, 0, 1}));
  EXPECT_THROW(write_curve(), std::runtime_error);
  EXPECT_EQ(aftest::read_file(pdat()), good);
  EXPECT_FALSE(fs::exists(pdat() + ".tmp"));

  // No settings folder: the error reaches the caller.
  settingsdir = data_folder("Arcflex LE", "missing");
  set_horizontal(get_default_points());
  EXPECT_THROW(write_curve(), std::runtime_error);
}

// ---- reading GUI.dat -------------------------------------------------------

TEST_F(SettingsFiles, SettingsFileReadWithEitherLineEnd) {
  for (const char* eol : {"\r\n", "\n", "\r"}) {
    SCOPED_TRACE(testing::PrintToString(std::string(eol)));
    assign_defaults();
    const std::string e = eol;
    write_gui("/somewhere/else/" + e + "1" + e + "24" + e + "011" + e + "150");
    initialize_af();
    EXPECT_EQ(negative_accel, 1);
    EXPECT_EQ(fslider, 2);
    EXPECT_EQ(sslider, 4);
    EXPECT_EQ(show_point_values, 0);
    EXPECT_EQ(zoom_to_location, 1);
    EXPECT_EQ(ctrl_n, 1);
    EXPECT_EQ(gui_scaling_factor, 150);
    EXPECT_EQ(savesdir, data_folder("Arcflex LE", "profiles"));  // line 1 never survives
  }
}

TEST_F(SettingsFiles, MissingOrBadSettingsFileGivesTheDefaults) {
  const std::string fallback = data_folder("Arcflex Pro", "profiles");
  auto expect_defaults = [&](int expected_ctrl_n) {
    EXPECT_EQ(negative_accel, 0);
    EXPECT_EQ(fslider, 3);
    EXPECT_EQ(sslider, 3);
    EXPECT_EQ(show_point_values, 1);
    EXPECT_EQ(zoom_to_location, 0);
    EXPECT_EQ(ctrl_n, expected_ctrl_n);
    EXPECT_EQ(gui_scaling_factor, 100);
    EXPECT_EQ(savesdir, fallback);
  };
  {
    SCOPED_TRACE("no file");
    initialize_af();
    expect_defaults(0);
  }
  const struct {
    const char* what;
    std::string content;
    int ctrl_n;
  } bad[] = {
      {"one slider digit", "s\r\n1\r\n3\r\n011\r\n100", 0},
      {"line 5 not a number", "s\r\n1\r\n24\r\n101\r\nabc", 1},
      {"line 5 missing", "s\r\n1\r\n24\r\n101", 1},
      {"nan scaling", "s\r\n1\r\n24\r\n000\r\nnan", 0},
      {"inf option", "s\r\ninf\r\n24\r\n000\r\n100", 0},
      {"underscore digits", "s\r\n1_0\r\n24\r\n000\r\n100", 0},
      {"blank flag", "s\r\n1\r\n24\r\n 1\r\n100", 0},
      {"empty file", "", 0},
  };
  for (const auto& b : bad) {
    SCOPED_TRACE(b.what);
    assign_defaults();
    write_gui(b.content);
    initialize_af();
    expect_defaults(b.ctrl_n);
  }
}

TEST_F(SettingsFiles, SettingsFileNumbersAndScalingRange) {
  write_gui("s\r\n1.0\r\n55\r\n111\r\n250.9");
  initialize_af();
  EXPECT_EQ(negative_accel, 1);  // a real, truncated
  EXPECT_EQ(gui_scaling_factor, 250);

  for (const char* scaling : {"0", "24", "251", "-100", "1e9"}) {
    SCOPED_TRACE(scaling);
    assign_defaults();
    write_gui(std::string("s\r\n1\r\n15\r\n011\r\n") + scaling);
    initialize_af();
    EXPECT_EQ(gui_scaling_factor, 100);
    EXPECT_EQ(negative_accel, 1);  // the other fields read stay
    EXPECT_EQ(fslider, 1);
    EXPECT_EQ(sslider, 5);
    EXPECT_EQ(ctrl_n, 1);
    EXPECT_EQ(savesdir, data_folder("Arcflex LE", "profiles"));
  }
}

TEST_F(SettingsFiles, EveryStartResetsTheSameOptions) {
  persist = 1;
  aftask = 1;
  bypass_confirm = 1;
  axis_mode = 2;
  toggleMode = 2;
  toggleKey = 65;
  pitch = -1;
  tkscheme = "#000000";
  scheme = {0.1, 0.2, 0.3};
  profile_hotkeys[3] = 7;
  write_gui("s\r\n0\r\n33\r\n100\r\n100");
  set_horizontal(get_default_points());
  write_curve();
  initialize_af();
  EXPECT_EQ(persist, 0);
  EXPECT_EQ(aftask, 0);
  EXPECT_EQ(bypass_confirm, 0);
  EXPECT_EQ(axis_mode, 0);
  EXPECT_EQ(toggleMode, 0);
  EXPECT_EQ(toggleButton, 0);
  EXPECT_EQ(toggleKey, 0);
  EXPECT_EQ(pitch, 1);
  EXPECT_EQ(maxFrameTime, 100);
  EXPECT_EQ(text(toggleSensX), "1");
  EXPECT_EQ(text(toggleSensY), "1");
  EXPECT_EQ(tkscheme, "#FFE611");
  EXPECT_EQ(scheme, (Rgb{1.0, 0.9, 0.0}));
  EXPECT_EQ(horizontal_tkscheme, "#91CC18");
  EXPECT_EQ(vertical_tkscheme, "#CC7A23");
  EXPECT_EQ(profile_hotkeys, std::vector<int>(10, 0));
  EXPECT_EQ(text(scale_dy), "6.67");
}

// ---- reading p.dat ---------------------------------------------------------

TEST_F(SettingsFiles, MissingOrUnreadableCurveFileGivesTheDefaultCurve) {
  const std::string head = "0 10 30 40 \r\n0.5 1 1 1 \r\n0 0 0 0 \r\n0.0\r\n5";
  const struct {
    const char* what;
    std::string content;  // "-": no file
  } bad[] = {
      {"no file", "-"},
      {"two lines", "0 10 30 40 \r\n0.5 1 1 1 "},
      // Every line the meter reads must read, or it would upload another table.
      {"table cut to a third", head + table("\r\n", 66)},
      {"padded with NUL bytes", head + table() + std::string(4096, '\0')},
      {"a line after the table", head + table("\r\n", 153)},
      {"bad table value", head + table("\r\n", 151) + "\r\n1.0x"},
      {"bad tail slope", "0 10 30 40 \r\n0.5 1 1 1 \r\n0 0 0 0 \r\nx\r\n5" + table()},
      {"scale 0", "0 10 30 40 \r\n0.5 1 1 1 \r\n0 0 0 0 \r\n0.0\r\n0" + table()},
      {"scale 40000", "0 10 30 40 \r\n0.5 1 1 1 \r\n0 0 0 0 \r\n0.0\r\n40000" + table()},
      {"scale nan", "0 10 30 40 \r\n0.5 1 1 1 \r\n0 0 0 0 \r\n0.0\r\nnan" + table()},
      {"inf token", "0 10 30 40 \r\n0.5 inf 1 1 \r\n0 0 0 0 \r\n0.0\r\n6.67" + table()},
      {"nan flag", "0 10 30 40 \r\n0.5 1 1 1 \r\n0 nan 0 0 \r\n0.0\r\n6.67" + table()},
      {"word", "0 10 x 40 \r\n0.5 1 1 1 \r\n0 0 0 0 \r\n0.0\r\n6.67" + table()},
  };
  for (const auto& b : bad) {
    SCOPED_TRACE(b.what);
    assign_defaults();
    fs::remove(pdat());
    if (b.content != "-") write_pdat(b.content);
    initialize_af();
    EXPECT_TRUE(init_err);
    for (const py::object* l : {&horizontal_x, &vertical_x, &x}) {
      EXPECT_EQ(text(*l), "[0, 10, 30, 40]");
    }
    EXPECT_EQ(text(horizontal_y), "[0.5, 1, 1, 1]");
    EXPECT_EQ(text(corners), "[0, 0, 0, 0]");
    EXPECT_EQ(text(scale_dx), "6.67");
    // Fresh copies, so one curve set can change without the others.
    EXPECT_FALSE(horizontal_x.is(vertical_x));
    EXPECT_FALSE(x.is(vertical_x));
    EXPECT_FALSE(horizontal_corners.is(vertical_corners));
  }
}

TEST_F(SettingsFiles, InvalidCurveGivesTheDefaultCurveAndKeepsTheFile) {
  const std::string content = "30 20 30 40 \r\n0.5 1 1 1 \r\n0 0 0 0 \r\n0.0\r\n6.67" + table();
  write_pdat(content);
  initialize_af();
  EXPECT_FALSE(init_err);
  EXPECT_EQ(text(horizontal_x), "[0, 10, 30, 40]");
  EXPECT_EQ(text(x), "[0, 10, 30, 40]");
  EXPECT_EQ(aftest::read_file(pdat()), content);
}

TEST_F(SettingsFiles, CornerFlagsAndNegativeAccelerationFromTheFile) {
  write_gui("s\r\n0\r\n33\r\n100\r\n100");
  write_pdat("0 10 20 30 40 \n1 0.5 0.8 0.9 1 \n2 1.0 -1 1 1\n0.0\n6.67" + table("\n") + "\n");
  initialize_af();
  EXPECT_FALSE(init_err);
  EXPECT_EQ(text(horizontal_corners), "[2, 1, -1, 1, 0]");  // whole numbers as read, tail 0
  EXPECT_EQ(text(horizontal_y), "[1.0, 0.5, 0.8, 0.9, 1.0]");
  EXPECT_EQ(negative_accel, 1);  // the falling curve needs it, whatever GUI.dat said
  EXPECT_EQ(text(vertical_y), text(horizontal_y));
  EXPECT_EQ(text(corners), "[2, 1, -1, 1, 0]");
  // The edited curve is a copy of the applied lists.
  EXPECT_FALSE(x.is(vertical_x));
  EXPECT_FALSE(vertical_x.is(horizontal_x));
}

// ---- writing GUI.dat -------------------------------------------------------

TEST_F(SettingsFiles, SettingsWriterAndItsRoundTrip) {
  savesdir = data_folder("Arcflex LE", "profiles");
  negative_accel = 1;
  fslider = 2;
  sslider = 5;
  show_point_values = 0;
  zoom_to_location = 1;
  ctrl_n = 1;
  gui_scaling_factor = 175;
  write_settings();
  EXPECT_EQ(aftest::read_file(guidat()), savesdir + "\r\n1\r\n25\r\n011\r\n175");

  // The sliders' current values win over the start values.
  py::dict scope;
  py::exec("class Slider:\n"
           "    def __init__(self, v): self.v = v\n"
           "    def get(self): return self.v\n",
           scope, scope);
  frame_slider = scope["Slider"](4);
  sample_slider = scope["Slider"](1);
  write_settings();
  EXPECT_EQ(file_lines(guidat())[2], "41");

  assign_defaults();
  initialize_af();
  EXPECT_EQ(negative_accel, 1);
  EXPECT_EQ(fslider, 4);
  EXPECT_EQ(sslider, 1);
  EXPECT_EQ(show_point_values, 0);
  EXPECT_EQ(zoom_to_location, 1);
  EXPECT_EQ(ctrl_n, 1);
  EXPECT_EQ(gui_scaling_factor, 175);
}

// Whatever the editor writes, its next start reads back as written (folders
// at the temporary names in nobody's way): "p.dat" of every preset at every
// DPI and of the edges of the rules (last control point at x 0, the scale
// clamped, an edge point at the tail, a vertical tail, samples ending short
// of and past table x 200), with a profile of each; "GUI.dat" at its ends.
TEST_F(SettingsFiles, EveryWrittenFileReadsBackAsWritten) {
  for (const std::string& f : {pdat(), previous_curve_path(), guidat()}) fs::create_directory(f + ".tmp");
  py::list curves = py::eval("[([0, 0, 5], [1, 1, 2]), ([0, 0.005, 1], [1, 1, 1]), ([0, 10, 20, 40], [1, 1, 2, 2], [0, 0, 1, 0]),"
                             " ([0, 10, 30, 30], [1, 1, 1, 2]), ([55, 97, 107], [0.5, 1.2, 1.4]), ([97, 102], [1, 1.5])]");
  for (int i = 0; i < 40; ++i) curves.append(py::make_tuple(preset_x(i / 4, i % 4 + 1), preset_y(i / 4)));
  for (py::handle c : curves) {
    set_horizontal(c[py::int_(0)], c[py::int_(1)], py::eval("lambda c: c[2] if len(c) > 2 else [0] * len(c[0])")(c));
    keep_previous_curve_on_next_write();
    write_curve();
    EXPECT_EQ(confirm_pending_change(), 0);
    write_text_file(settingsdir + "p.afcurve", profile_lines());
    const ProfileCurve p = parse_profile(*read_profile_file(settingsdir + "p.afcurve"));
    initialize_af();
    EXPECT_EQ(text(horizontal_x) + text(horizontal_y) + text(horizontal_corners) + (init_err ? " unread" : ""),
              text(py::cast(p.x)) + text(py::cast(p.y)) + text(py::cast(p.corners)));
  }
  // Stored files: every release wrote 1 + the whole part of the spline's last
  // sample (a rounding step short of 200 here: 200 values), the last one a
  // value more; both read back, as "p.dat" and as the kept file, and one
  // value fewer is no curve file.
  for (int last : {97, 161, 167, 193}) {
    set_horizontal(ints_of({0, 10, last, last + 10}), list_of({0.5, 1, 1, 1}), ints_of({0, 0, 0, 0}));
    write_curve();
    const std::string part = aftest::read_file(pdat()), past = part.substr(part.rfind("\r\n"));  // the flat tail's 1.0
    ASSERT_EQ(std::count(part.begin(), part.end(), '\n'), 5 + 200);
    const std::string x = "[0.0, 10.0, " + std::to_string(last) + ".0, " + std::to_string(last + 10) + ".0]";
    for (const auto& [f, read] : {std::pair{part, x}, {part + past, x}, {part.substr(0, part.rfind('\r')), "[0, 10, 30, 40] unread"}}) {
      write_pdat(f);
      init_err = false;
      initialize_af();
      EXPECT_EQ(text(horizontal_x) + (init_err ? " unread" : ""), read) << last;
      write_pdat("unconfirmed");
      aftest::write_file(previous_curve_path(), f);
      put_back_kept_curve();
      EXPECT_EQ(aftest::read_file(pdat()), init_err ? "unconfirmed" : f);
      initialize_af();  // the rest of that start
    }
  }
  // Samples that pass 200 yet end a step short of it (97 * (200 / 97)): 201
  // values, and the one past them on the tail's line at x 201, not at 200.
  set_horizontal(ints_of({0, 97, 97, 107}), list_of({0.5, 1, 1, 1.5}), ints_of({0, 1, 0, 0}));
  write_curve();
  const std::vector<std::string> l = file_lines(pdat());
  auto at_last_point = [&](int k) { const auto v = split_white(l[k]); return *parse_real(v[v.size() - 2]); };
  const double prev_x = at_last_point(0) * *parse_real(l[4]);
  ASSERT_EQ(l.size(), 5u + 201 + 1);
  EXPECT_LT(prev_x, 200.0);
  EXPECT_EQ(parse_real(l.back()), *parse_real(l[3]) * (201 - prev_x) + at_last_point(1));
  auto after_line_1 = [&] { const std::string b = aftest::read_file(guidat()); return b.substr(b.find('\n')); };
  int* const fields[] = {&negative_accel, &fslider, &sslider, &show_point_values, &zoom_to_location, &ctrl_n, &gui_scaling_factor};
  for (const auto& [folder, values] : {std::pair<std::string, std::vector<int>>{"/odd\r\n\"\xc3\xa9\"\t ", {0, 1, 5, 0, 0, 0, 25}},
                                       {std::string(98302, 'f'), {1, 5, 1, 1, 1, 1, 250}}, {"", {2, 10, 9, 10, -1, 7, 300}}}) {
    savesdir = folder;
    for (std::size_t i = 0; i < 7; ++i) *fields[i] = values[i];
    write_settings();
    const std::string written = after_line_1();
    initialize_af();
    write_settings();  // what was read is what had been written
    EXPECT_EQ(after_line_1(), written);
  }
}

TEST(SettingsText, PlainDecimalNumbersOnly) {
  EXPECT_EQ(parse_real("1"), 1.0);
  EXPECT_EQ(parse_real(" -0.5\r"), -0.5);
  EXPECT_EQ(parse_real("+2."), 2.0);
  EXPECT_EQ(parse_real(".25"), 0.25);
  EXPECT_EQ(parse_real("1e-05"), 1e-05);
  EXPECT_EQ(parse_real("6.666666666666667"), 200.0 / 30.0);
  for (const char* bad : {"", " ", ".", "-", "e5", "1e", "nan", "inf", "-inf", "infinity", "0x10",
                          "1_0", "1 2", "1e999", "1,5"}) {
    EXPECT_FALSE(parse_real(bad)) << bad;
  }
}

// ---- bad files ---------------------------------------------------------------

TEST_F(SettingsFiles, OptionFlagsReadAsZeroOrOne) {
  // Any value but 0 switches an option on, so the check mark and the rules agree.
  const struct {
    const char *line2, *line4;
    int negative, show, zoom, ctrl;
  } cases[] = {{"2", "290", 1, 1, 1, 0}, {"-1", "000", 1, 0, 0, 0}, {"0.5", "101", 0, 1, 0, 1}, {"-0.5", "910", 0, 1, 1, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line2);
    write_gui(std::string("s\r\n") + c.line2 + "\r\n33\r\n" + c.line4 + "\r\n150");
    initialize_af();
    EXPECT_EQ((std::vector<int>{negative_accel, show_point_values, zoom_to_location, ctrl_n, gui_scaling_factor}),
              (std::vector<int>{c.negative, c.show, c.zoom, c.ctrl, 150}));
  }
  // What is not a plain file, or is longer than the format holds, is a bad file.
  write_gui(std::string(400000, 'f') + "\r\n1\r\n24\r\n011\r\n150");
  initialize_af();
  EXPECT_EQ(gui_scaling_factor, 100);
  fs::remove(guidat());
  ASSERT_EQ(mkfifo(guidat().c_str(), 0600), 0);  // opened, it would wait for a writer
  initialize_af();
  EXPECT_EQ(savesdir, data_folder("Arcflex Pro", "profiles"));
}

TEST_F(SettingsFiles, CurveFileLineEndsAndRealCornerFlags) {
  const struct {
    const char *eol, *flags, *read;
    int samples;  // only a flag of 1 after truncation is an edge point
  } cases[] = {{"\r", "0 1.5 0 0 ", "[0, 1, 0, 0]", 3},
               {"\n", "0 1.99 0.99 0 ", "[0, 1, 0, 0]", 3},
               {"\r\n", "0 2 2.5 1 ", "[0, 2, 2, 0]", 0},
               {"\r", "1.0 -1.5 1e0 0 ", "[1, -1, 1, 0]", 5}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flags);
    const std::string e = c.eol;
    write_pdat("0 10 30 40 " + e + "0.5 1 1 1 " + e + c.flags + e + "0.0" + e + "6.67" + table(e));
    initialize_af();
    EXPECT_FALSE(init_err);
    EXPECT_EQ(text(horizontal_x), "[0.0, 10.0, 30.0, 40.0]");
    EXPECT_EQ(text(horizontal_corners), c.read);
    EXPECT_EQ(spline_size(3, horizontal_corners).samples, c.samples);
    std::vector<int> profile = parse_profile({"0 10 30 40", "0.5 1 1 1", c.flags}).corners;  // the same rule
    profile.back() = 0;
    EXPECT_EQ(text(py::cast(profile)), c.read);
  }
  EXPECT_EQ(parse_profile({"0 10", "0.5 1", "0 1e300"}).corners, std::vector<int>{0});  // no whole number
}

TEST_F(SettingsFiles, UnusableCurveFileIsKeptBesideIt) {
  const std::string bad[] = {"0 10 30 40 \r\n0.5 1 1 1 ", "0 10 30 40 \r\n0.5 1 1 1 \r\n0 0 0 0 \r\n0.0\r\n0",
                             std::string("\xff\xfe\0\x01\r\n\0", 7), "",
                             std::string(3 * curve_line_max(), '1') + " \r\n0.5 1 1 1 \r\n0 0 0 0 \r\n0\r\n1",
                             "an older kept fil\xe9"};  // the size of "p.dat.bad", not its bytes
  // Under a free name: nothing set aside before is lost, nothing there blocks.
  aftest::write_file(pdat() + ".bad", "an older kept file");
  fs::create_directory(pdat() + ".bad.1");
  for (std::size_t i = 0; i < std::size(bad); ++i) {
    SCOPED_TRACE(bad[i].substr(0, 40));
    write_pdat(bad[i]);
    initialize_af();
    EXPECT_TRUE(init_err);
    write_curve();  // as the start-up then does
    EXPECT_EQ(aftest::read_file(pdat() + ".bad." + std::to_string(i + 2)), bad[i]);
  }
  EXPECT_EQ(aftest::read_file(pdat() + ".bad"), "an older kept file");
  write_pdat(bad[0]);  // bytes kept before are not kept again
  initialize_af();
  EXPECT_FALSE(fs::exists(pdat() + ".bad." + std::to_string(std::size(bad) + 2)));
  // One that can be neither copied nor moved aside ends the start before anything overwrites it.
  aftest::write_file(fs::path(settingsdir).parent_path().parent_path() / "a.dat", "unusable");
  fs::remove(pdat());
  fs::create_symlink(fs::path(settingsdir).parent_path().parent_path() / "a.dat", pdat());
  aftest::set_frozen(settingsdir, true);
  EXPECT_THROW(initialize_af(), FileError);
  aftest::set_frozen(settingsdir, false);
  // Nothing is kept where nothing is lost: a FIFO (never opened), a folder,
  // a curve that breaks the rules (the file stays for the meter).
  const std::function<void()> nothing_to_keep[] = {
      [&] { ASSERT_EQ(mkfifo(pdat().c_str(), 0600), 0); }, [&] { fs::create_directory(pdat()); },
      [&] { write_pdat("30 20 30 40 \r\n0.5 1 1 1 \r\n0 0 0 0 \r\n0.0\r\n6.67" + table()); }};
  for (const auto& make : nothing_to_keep) {
    fs::remove_all(pdat());
    fs::remove_all(pdat() + ".bad");
    make();
    initialize_af();
    EXPECT_EQ(text(horizontal_x), "[0, 10, 30, 40]");
    EXPECT_FALSE(fs::exists(pdat() + ".bad"));
  }
}

TEST_F(SettingsFiles, CurveWriteKeepsWhatWritingInPlaceWould) {
  set_horizontal(get_default_points());
  // The message names the file the failing call was made on, and the reason.
  auto failure = [&](const std::string& reason, const std::string& file) {
    try {
      write_curve();
      ADD_FAILURE() << "written";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()), "Cannot write \"" + file + "\":\n" + reason);
    }
  };
  write_pdat("old");
  fs::permissions(pdat(), fs::perms::owner_read);
  failure("Permission denied", pdat());
  EXPECT_EQ(aftest::read_file(pdat()), "old");
  const fs::perms kept = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(pdat(), kept);
  write_curve();
  EXPECT_EQ(fs::status(pdat()).permissions(), kept);
  const std::string written = aftest::read_file(pdat());

  // A symbolic link, to a file or dangling, is written through.
  const fs::path other = fs::path(settingsdir).parent_path().parent_path();
  aftest::write_file(other / "a.dat", "old");
  for (const char* target : {"a.dat", "new.dat"}) {
    fs::remove(pdat());
    fs::create_symlink(fs::path("..") / target, pdat());
    write_curve();
    EXPECT_TRUE(fs::is_symlink(pdat()));
    EXPECT_EQ(aftest::read_file(other / target), written) << target;
  }
  fs::remove(pdat());
  for (const std::string& folder : {pdat()}) {
    fs::create_directory(folder);
    failure("Is a directory", folder);
    fs::remove(folder);
  }
  EXPECT_EQ(fs::directory_iterator(settingsdir), fs::directory_iterator());  // no temporary file left
}

// The first write after the request keeps the file it replaced; a failed one keeps nothing.
TEST_F(SettingsFiles, CurveFileOfAPendingChangeIsKeptAndPutBack) {
  set_horizontal(get_default_points());
  write_pdat("old");
  keep_previous_curve_on_next_write();
  write_curve();
  write_curve();
  EXPECT_EQ(aftest::read_file(previous_curve_path()), "old");
  EXPECT_TRUE(put_back_previous_curve());
  EXPECT_EQ(aftest::read_file(pdat()), "old");
  EXPECT_FALSE(put_back_previous_curve());
  fs::permissions(pdat(), fs::perms::owner_read);
  keep_previous_curve_on_next_write();
  EXPECT_THROW(write_curve(), FileWriteError);
  EXPECT_FALSE(fs::exists(previous_curve_path()));
  fs::permissions(pdat(), fs::perms::owner_all);

  // While a change is pending, a second one that fails or is taken back
  // leaves the kept curve (the last confirmed one) as it is.
  write_pdat("confirmed");
  for (fs::perms p : {fs::perms::owner_all, fs::perms::owner_read, fs::perms::owner_all}) {
    fs::permissions(pdat(), p);
    keep_previous_curve_on_next_write();
    try {
      write_curve();
    } catch (const FileWriteError&) {
      EXPECT_EQ(p, fs::perms::owner_read);
    }
  }
  drop_taken_back_change();
  EXPECT_TRUE(change_pending());
  EXPECT_EQ(aftest::read_file(previous_curve_path()), "confirmed");
  // A kept file that OK could not remove goes at the next write in the folder.
  aftest::set_frozen(settingsdir, true);
  EXPECT_NE(confirm_pending_change(), 0);
  aftest::set_frozen(settingsdir, false);
  write_settings();
  EXPECT_FALSE(fs::exists(previous_curve_path()));

  // "p.dat" replaced but its folder flush failed: the kept curve is back at once.
  const std::string before = aftest::read_file(pdat());
  set_horizontal(ints_of({0, 20, 40}), ints_of({1, 2, 3}), ints_of({0, 0, 0}));
  int flushes = 0;
  afp::set_folder_flush_hook([&](const std::string&) { return ++flushes == 2 ? EIO : 0; });
  keep_previous_curve_on_next_write();
  EXPECT_THROW(write_curve(), FileWriteError);
  EXPECT_EQ(aftest::read_file(pdat()), before);
  // OK's removal of the kept file is flushed: a failed flush is told, naming the folder.
  keep_previous_curve_on_next_write();
  write_curve();
  afp::set_folder_flush_hook([](const std::string&) { return EIO; });
  std::string failed;
  EXPECT_EQ(confirm_pending_change(&failed), EIO);
  EXPECT_EQ(failed + (fs::exists(previous_curve_path()) ? " kept" : ""), fs::path(pdat()).parent_path().string());
  afp::set_folder_flush_hook({});

  // Links planted at the temporary files' names are replaced, never written through.
  const fs::path outside = fs::path(settingsdir).parent_path().parent_path() / "outside";
  aftest::write_file(outside, "mine");
  for (const std::string& temp : {pdat() + ".tmp", previous_curve_path() + ".tmp", settingsdir + "GUI.dat.tmp"}) {
    fs::create_symlink(outside, temp);
    keep_previous_curve_on_next_write();
    write_curve();
    write_settings();
    EXPECT_EQ(confirm_pending_change(), 0) << temp;
    EXPECT_EQ(aftest::read_file(outside), "mine") << temp;
    EXPECT_FALSE(fs::exists(fs::symlink_status(temp))) << temp;
  }
}

// A "p.dat" linked to a file on another file system is put back there.
TEST_F(SettingsFiles, KeptCurveIsPutBackAcrossFileSystems) {
  struct stat shm {}, here {};
  if (::stat("/dev/shm", &shm) != 0 || ::stat(settingsdir.c_str(), &here) != 0 || shm.st_dev == here.st_dev) {
    GTEST_SKIP() << "/dev/shm is not a file system of its own beside " << settingsdir;
  }
  // In a folder of this process's, removed at its exit whatever fails.
  const fs::path away = aftest::make_temp_dir("aftest", "/dev/shm") / "linked";
  aftest::write_file(away, "linked");
  fs::create_symlink(away, pdat());
  set_horizontal(get_default_points());
  keep_previous_curve_on_next_write();
  write_curve();
  EXPECT_TRUE(put_back_previous_curve());
  EXPECT_EQ(aftest::read_file(away), "linked");
  EXPECT_TRUE(fs::is_symlink(pdat()));
  EXPECT_FALSE(fs::exists(previous_curve_path()));
}

// At a start, a kept curve is put back; a kept file that is not a whole
// curve is set aside under a free name with the unconfirmed "p.dat", and
// moves only once the default curve is written.
TEST_F(SettingsFiles, StartWithAKeptFilePutsItBackOrSetsItAside) {
  const std::string unconfirmed = "0 10 30 80 \r\n0.5 1 1 1 \r\n0 0 0 0 \r\n0.0\r\n6.67" + table();
  const std::string good = "0 20 30 40" + unconfirmed.substr(10), cut = good.substr(0, good.size() / 3);
  fs::create_directory(previous_curve_path() + ".bad");  // in the way of nothing
  for (const std::string& kept : {good, cut}) {
    write_pdat(unconfirmed);
    aftest::write_file(previous_curve_path(), kept);
    put_back_kept_curve();
    initialize_af();
    EXPECT_EQ(text(horizontal_x), kept == good ? "[0.0, 20.0, 30.0, 40.0]" : "[0, 10, 30, 40]");
  }
  EXPECT_EQ(aftest::read_file(pdat() + ".bad") + aftest::read_file(previous_curve_path()), unconfirmed + cut);
  write_first_curve();
  EXPECT_EQ(aftest::read_file(previous_curve_path() + ".bad.1"), cut);
}

TEST_F(SettingsFiles, ProfileFilesReadOnlyTheirThreeLines) {
  const std::string path = settingsdir + "p.afcurve";
  aftest::write_file(path, "0 10 \r0.5 1 \n0 0 \r\n\xff\xfe" + std::string(1 << 20, 'x'));
  EXPECT_EQ(read_profile_file(path), (std::vector<std::string>{"0 10 ", "0.5 1 ", "0 0 "}));
  aftest::write_file(path, std::string(3 * curve_line_max() + 7, '1') + "\r\n1\r\n0");
  EXPECT_EQ(read_profile_file(path), std::nullopt);  // longer than a profile's lines can be
}
