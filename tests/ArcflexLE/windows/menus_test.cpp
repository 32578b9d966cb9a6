// The menu bar and what its entries do: the cascades and check items, the
// presets applied from the real menu, profiles saved and loaded, the Help
// windows and links, the hidden edited curve at start and the icons.
#include <fcntl.h>
#include <spawn.h>

#include "apply_cycle.h"
#include "curve.h"
#include "gui_fixture.h"
#include "help_windows.h"
#include "presets.h"
#include "profiles.h"
#include "settings_files.h"
#include "state_help.h"
#include "state_profiles.h"
#include "state_scale.h"
#include "window.h"

namespace {

using namespace guitest;
namespace af = arcflex;

std::vector<std::string> labels(const py::object& menu) {
  std::vector<std::string> out;
  int last = py::int_(menu.attr("index")("end")).cast<int>();
  for (int i = 0; i <= last; ++i) {
    std::string type = py::str(menu.attr("type")(i)).cast<std::string>();
    if (type == "tearoff") continue;  // the menu bar's own, never shown in the bar
    out.push_back(type == "separator" ? "-" : py::str(menu.attr("entrycget")(i, "label")).cast<std::string>());
  }
  return out;
}

std::string text_of(py::handle o) { return py::str(o).cast<std::string>(); }
std::string rep(py::handle o) { return af::py_repr(o); }
bool mapped(const py::object& w) { return w.attr("winfo_ismapped")().cast<bool>(); }
std::string pdat() { return aftest::read_file(settings_folder() / "p.dat"); }

// Lets the pending change reach the confirm window, then OK or Cancel; a
// Cancel's revert is confirmed by the driver too.
void finish_change(bool ok) {
  af::driver_successfully_applied_changes = 1;
  ASSERT_TRUE(pump_until([] { return mapped(af::cpop); }));
  if (ok) {
    af::ok_button.attr("invoke")();
    return;
  }
  af::cancel_button.attr("invoke")();
  af::driver_successfully_applied_changes = 1;
  ASSERT_TRUE(pump_until([] { return af::reverting_settings == 0 && !af::graph_suspended; }));
}

// ---- the menu bar -------------------------------------------------------------

TEST(Menus, CascadesInOrderWithTheirEntries) {
  start_recorded();
  EXPECT_EQ(labels(af::menubar), (std::vector<std::string>{"File", "Edit", "Options", "Presets", "Help"}));
  EXPECT_EQ(text_of(af::root.attr("cget")("menu")), text_of(af::menubar));
  EXPECT_EQ(labels(af::fileMenu), (std::vector<std::string>{"Load", "Save", "-", "Exit"}));
  EXPECT_EQ(labels(af::editMenu),
            (std::vector<std::string>{"Align tail", "Rescale view", "Match active curve", "-", "Apply defaults"}));
  EXPECT_EQ(labels(af::optionsMenu), (std::vector<std::string>{"Allow negative accel", "Show values on hover",
                                                               "Zoom to location", "-", "Display"}));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(text_of(af::optionsMenu.attr("type")(i)), "checkbutton");
  EXPECT_EQ(labels(af::presetsMenu),
            (std::vector<std::string>{"0: Bypass", "-", "1: Natural", "2: Capped linear", "3: Quadratic",
                                      "4: Offset linear", "5: S-shaped", "6: Uncapped linear", "7: Precision",
                                      "8: Jump"}));
  EXPECT_EQ(text_of(af::presetsMenu.attr("type")(0)), "command");
  py::object subs[] = {af::preset1, af::preset2, af::preset3, af::preset4,
                       af::preset5, af::preset6, af::preset7, af::preset8};
  for (int c = 0; c < 8; ++c) {
    EXPECT_EQ(text_of(af::presetsMenu.attr("entrycget")(c + 2, "menu")), text_of(subs[c]));
    EXPECT_EQ(labels(subs[c]), (std::vector<std::string>{"800", "1600", "3200", "6400"}));
  }
  EXPECT_EQ(labels(af::helpMenu),
            (std::vector<std::string>{"About", "User manual", "Web guide", "Get Pro", "Uninstall driver"}));
  EXPECT_EQ(labels(af::apopup), (std::vector<std::string>{"Add point", "Add edge point"}));
  EXPECT_EQ(labels(af::dpopup), std::vector<std::string>{"Delete"});
}

TEST(Menus, CheckItemsFollowTheSettingsAndTakeEffectWhenPicked) {
  start_recorded();
  // Defaults: only "Show values on hover" is on.
  EXPECT_FALSE(af::negative_accel_enabled.attr("get")().cast<bool>());
  EXPECT_TRUE(af::hover_point_values.attr("get")().cast<bool>());
  EXPECT_FALSE(af::zoom_to_loc.attr("get")().cast<bool>());
  af::optionsMenu.attr("invoke")("Zoom to location");
  EXPECT_EQ(af::zoom_to_location, 1);
  af::optionsMenu.attr("invoke")("Show values on hover");
  EXPECT_EQ(af::show_point_values, 0);
  af::optionsMenu.attr("invoke")("Zoom to location");
  EXPECT_EQ(af::zoom_to_location, 0);
}

TEST(Menus, SuspensionGreysEveryCascadeAndUndoesIt) {
  start_recorded();
  af::suspend();
  for (const auto& m : labels(af::menubar))
    EXPECT_EQ(text_of(af::menubar.attr("entrycget")(m, "state")), "disabled") << m;
  af::unsuspend();
  for (const auto& m : labels(af::menubar))
    EXPECT_EQ(text_of(af::menubar.attr("entrycget")(m, "state")), "normal") << m;
}

// Pixels of the edited curve's yellow in the canvas as drawn.
int edited_curve_pixels() {
  return eval("(lambda a: int(((a[:, :, 0] > 240) & (a[:, :, 1] > 215) & (a[:, :, 1] < 245) & (a[:, :, 2] < 40))"
              ".sum()))(__import__('numpy').asarray(canvas.get_renderer().buffer_rgba()))")
      .cast<int>();
}

class HideLatch : public ::testing::TestWithParam<int> {};

TEST_P(HideLatch, EditedCurveStartsHiddenWhenItsLatchWasSaved) {
  const int latch = GetParam();
  fs::create_directories(settings_folder());
  aftest::write_file(settings_folder() / "GUI.dat", "x\r\n0\r\n33\r\n10" + std::to_string(latch) + "\r\n100");
  start_recorded();
  const bool shown = latch == 0;
  EXPECT_EQ(af::show_line, shown);
  EXPECT_EQ(af::show_points, shown);
  EXPECT_EQ(af::spline.attr("get_visible")().cast<bool>(), shown);
  EXPECT_EQ(af::arrow.attr("get_visible")().cast<bool>(), shown);
  EXPECT_EQ(text_of(af::point_marker_line.attr("get_marker")()) == "", !shown);
  // The first full picture already has no edited curve.
  if (shown) {
    EXPECT_GT(edited_curve_pixels(), 50);
  } else {
    EXPECT_EQ(edited_curve_pixels(), 0);
  }
}
INSTANTIATE_TEST_SUITE_P(Menus, HideLatch, ::testing::Values(0, 1));

// What a program prints on its standard output.
std::string output_of(std::vector<std::string> args) {
  fs::path out = fs::path(std::getenv("XDG_RUNTIME_DIR")) / "out.txt";
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  EXPECT_EQ(posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&fa);
  waitpid(pid, nullptr, 0);
  return aftest::read_file(out);
}

// The start of the _NET_WM_ICON property of a toplevel's wrapper window
// (the parent of its Tk window), which holds the window manager's icon.
std::string icon_property(const py::object& window) {
  window.attr("update")();
  std::string tree = output_of({"xwininfo", "-children", "-id", std::to_string(window.attr("winfo_id")().cast<long>())});
  const std::string key = "Parent window id: ";
  size_t at = tree.find(key);
  if (at == std::string::npos) return tree;
  std::string parent = tree.substr(at + key.size(), tree.find(' ', at + key.size()) - at - key.size());
  return output_of({"xprop", "-id", parent, "_NET_WM_ICON"}).substr(0, 34);
}
const std::string kIcon = "_NET_WM_ICON(CARDINAL) = \tIcon (48";  // a 48-pixel picture

TEST(Menus, IconOnTheMainAndToolWindows) {
  start_recorded();
  for (py::object* w : {&af::root, &af::help_window, &af::about_window, &af::metric_window, &af::display_window,
                        &af::dpi_window, &af::devices_window, &af::profile_window, &af::toggle_window}) {
    EXPECT_EQ(icon_property(*w), kIcon) << text_of(*w);
  }
  EXPECT_NE(icon_property(af::cpop), kIcon);
}

TEST(Menus, NoIconFileGivesTheDefaultIconSilently) {
  fs::path empty = aftest::make_temp_dir("noicon");
  py::exec("import sys, types\nm = types.ModuleType('module_locator')\nm.get_path = lambda: " +
           rep(py::str(empty.string())) + "\nsys.modules['module_locator'] = m");
  start_recorded();
  EXPECT_EQ(af::startup_steps.back(), "ready");
  EXPECT_TRUE(af::dialogs::recorded().empty());
  EXPECT_NE(icon_property(af::root), kIcon);
}

// ---- presets --------------------------------------------------------------------

struct PresetRow {
  const char* x;  // at "800", kinds as in the menu's table
  const char* y;
};
const PresetRow kPresets[] = {
    {"[30, 40]", "[1, 1]"},
    {"[0, 7, 21, 28]", "[0.34, 1, 1, 1]"},
    {"[0.0, 20, 25]", "[0.5, 1, 1]"},
    {"[0.0, 10, 20, 25]", "[0.5, 0.5, 1, 1]"},
    {"[4, 20, 25]", "[0.5, 1, 1]"},
    {"[0, 10, 10, 20, 25]", "[0.5, 0.5, 1, 1, 1]"},
    {"[0, 25]", "[0.5, 0.75]"},
    {"[0, 0, 0, 50, 60]", "[0, 1, 1, 1, 1]"},
    {"[0, 25, 25, 25, 30]", "[1, 1, 1, 1.4, 1.4]"},
};

// "p.dat" as written for the horizontal curve given as Python lists.
std::string curve_file_of(const std::string& x, const std::string& y) {
  af::horizontal_x = eval(x);
  af::horizontal_y = eval(y);
  af::horizontal_corners = eval("[0] * len(" + x + ")");
  af::write_curve();
  return pdat();
}

TEST(Presets, EveryMenuEntryAppliesItsCurveThroughTheConfirmWindow) {
  start_recorded();
  py::object subs[] = {af::preset1, af::preset2, af::preset3, af::preset4,
                       af::preset5, af::preset6, af::preset7, af::preset8};
  for (int c = 0; c <= 8; ++c) {
    for (int d = 1; d <= (c == 0 ? 1 : 4); ++d) {
      SCOPED_TRACE("preset " + std::to_string(c) + " step " + std::to_string(d));
      af::axis_mode = 2;
      if (c == 0) {
        af::presetsMenu.attr("invoke")("0: Bypass");
      } else {
        subs[c - 1].attr("invoke")(d - 1);  // a number names the entry by position
      }
      const std::string x = text_of(eval("repr([v * " + std::to_string(1 << (d - 1)) + " for v in " +
                                         kPresets[c].x + "])"));
      const std::string y = kPresets[c].y;
      for (py::object* l : {&af::x, &af::horizontal_x, &af::vertical_x}) EXPECT_EQ(rep(*l), x);
      for (py::object* l : {&af::y, &af::horizontal_y, &af::vertical_y}) EXPECT_EQ(rep(*l), y);
      EXPECT_EQ(rep(af::horizontal_corners), text_of(eval("repr([0] * len(" + x + "))")));
      // No two curves share a list.
      EXPECT_FALSE(af::x.is(af::horizontal_x) || af::x.is(af::vertical_x) || af::horizontal_x.is(af::vertical_x));
      EXPECT_FALSE(af::corners.is(af::horizontal_corners) || af::horizontal_corners.is(af::vertical_corners));
      EXPECT_EQ(af::axis_mode, 0);
      EXPECT_EQ(af::match_on_revert, 1);
      EXPECT_EQ(text_of(af::menubar.attr("entrycget")("Presets", "state")), "disabled");
      const std::string written = pdat();
      finish_change(true);
      EXPECT_FALSE(af::graph_suspended);
      EXPECT_EQ(pdat(), written);
      EXPECT_EQ(curve_file_of(x, y), written);
      if (c == 2 && d == 2) {
        EXPECT_EQ(written.substr(0, written.find('\r')), "0.0 40 50 ");
      }
    }
  }
  EXPECT_TRUE(af::dialogs::recorded().empty());
}

TEST(Presets, CancelBringsBackBothAxesAndTheEditedCurveFollows) {
  start_recorded();
  const std::string before = pdat();
  const std::string hx = rep(af::horizontal_x), vy = rep(af::vertical_y);
  af::preset5.attr("invoke")(2);  // "3200"
  const std::string pending = pdat();
  af::selectPreset(1, 1);  // refused while the change awaits its confirmation
  EXPECT_EQ(rep(af::x), "[0, 40, 40, 80, 100]");
  EXPECT_EQ(pdat(), pending);
  // Editing the edited curve leaves the applied ones alone.
  af::x.attr("__setitem__")(1, 41);
  EXPECT_EQ(rep(af::horizontal_x), "[0, 40, 40, 80, 100]");
  finish_change(false);
  EXPECT_EQ(pdat(), before);
  EXPECT_EQ(rep(af::horizontal_x), hx);
  EXPECT_EQ(rep(af::vertical_y), vy);
  EXPECT_EQ(text_of(eval("repr([float(v) for v in " + rep(af::x) + "])")),
            text_of(eval("repr([float(v) for v in " + hx + "])")));
  // A number no entry passes gives the default curve, scaled.
  af::selectPreset(9, 2);
  EXPECT_EQ(rep(af::x), "[0, 20, 60, 80]");
  EXPECT_EQ(rep(af::y), "[0.5, 1, 1, 1]");
}

// ---- profiles --------------------------------------------------------------------

fs::path profiles_folder() { return data_root() / "profiles"; }

void save_as(const fs::path& p) {
  af::dialogs::push_text_answer(p.string());
  af::fileMenu.attr("invoke")("Save");
}
void load_from(const fs::path& p) {
  af::dialogs::push_text_answer(p.string());
  af::fileMenu.attr("invoke")("Load");
}
// Sets the applied curve of both axes as an accepted Apply would.
void apply_curve(const std::string& x, const std::string& y, const std::string& c) {
  af::x = eval(x);
  af::y = eval(y);
  af::corners = eval(c);
  af::set_xy(af::x, af::y);
  af::set_line_markers();
  af::redefine_spline();
  af::update_spline();
  af::pressed_apply();
  finish_change(true);
}

TEST(Profiles, SavedProfilesLoadBackToTheSameCurveAndOptions) {
  start_recorded();
  // The default curve right after a start without "p.dat".
  save_as(profiles_folder() / "default.afcurve");
  EXPECT_EQ(aftest::read_file(profiles_folder() / "default.afcurve"),
            "0 10 30 40 \r\n0.5 1 1 1 \r\n0 0 0 0 \r\n0 10 30 40 \r\n0.5 1 1 1 \r\n0 0 0 0 ");
  EXPECT_EQ(af::savesdir, profiles_folder().string());

  struct Case {
    const char *x, *y, *corners;
    bool falling;
  } cases[] = {
      {"[0.0, 10.0, 30.0, 40.0]", "[0.5, 1.0, 1.0, 1.0]", "[0, 0, 0, 0]", false},
      {"[0.0, 5.5, 12.0, 20.0, 30.0]", "[0.25, 0.75, 1.0, 1.5, 1.75]", "[0, 1, 0, 1, 0]", false},
      {"[0.0, 10.0, 20.0, 30.0]", "[2.0, 1.0, 0.5, 0.25]", "[0, 0, 0, 0]", true},
  };
  fs::path dir = aftest::make_temp_dir("profiles");
  int n = 0;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.x);
    af::negative_accel = k.falling ? 1 : 0;
    apply_curve(k.x, k.y, k.corners);
    // An edit not applied: Save writes the applied curve, not this one.
    af::x = eval("[0.0, 2.0, 3.0]");
    af::y = eval("[0.125, 0.25, 0.375]");
    af::corners = eval("[0, 1, 0]");
    af::set_xy(af::x, af::y);
    fs::path a = dir / ("a" + std::to_string(n) + ".afcurve"), b = dir / ("b" + std::to_string(n++) + ".afcurve");
    save_as(a);
    const std::string saved = aftest::read_file(a), applied = pdat();
    auto row = [](std::string list) {  // "[0.0, 5.5]" as a file row: "0.0 5.5 "
      std::string out;
      for (char ch : list.substr(1, list.size() - 2)) out += ch == ',' ? "" : std::string(1, ch);
      return out + " ";
    };
    const std::string three = row(k.x) + "\r\n" + row(k.y) + "\r\n" + row(k.corners);
    EXPECT_EQ(saved, three + "\r\n" + three);
    // Something else in between, with the options off.
    af::negative_accel = 0;
    af::negative_accel_enabled.attr("set")(false);
    af::apply_defaults();
    finish_change(true);
    af::dialogs::clear_recorded();

    load_from(a);
    EXPECT_TRUE(af::graph_suspended);
    EXPECT_EQ(af::loading_profiles, k.falling ? 2 : 1);
    finish_change(true);
    EXPECT_EQ(rep(af::horizontal_x), k.x);
    EXPECT_EQ(rep(af::horizontal_y), k.y);
    EXPECT_EQ(rep(af::x), k.x);  // the edited curve follows
    EXPECT_EQ(pdat(), applied);
    EXPECT_EQ(af::negative_accel, k.falling ? 1 : 0);
    EXPECT_EQ(af::negative_accel_enabled.attr("get")().cast<bool>(), k.falling);
    EXPECT_EQ(count_dialogs("info", "Enabling 'Allow negative accel' in the Options menu."), k.falling ? 1u : 0u);
    save_as(b);
    EXPECT_EQ(aftest::read_file(b), saved);
    EXPECT_EQ(af::savesdir, dir.string());
  }
  // A cancelled save keeps the folder.
  af::dialogs::push_text_answer("");
  af::fileMenu.attr("invoke")("Save");
  EXPECT_EQ(af::savesdir, dir.string());
  ASSERT_TRUE(pump_until([] { return !af::dialog_open; }));
}

TEST(Profiles, RefusedFilesGiveTheBoxAndChangeNothing) {
  start_recorded();
  fs::path dir = aftest::make_temp_dir("refused");
  const std::string before = pdat(), hx = rep(af::horizontal_x), hc = rep(af::horizontal_corners);
  struct Case {
    const char* name;
    std::string bytes;  // empty name: a folder in the file's place
  } cases[] = {
      {"text_in_y", "0 10 30 40 \r\n0.5 x 1 1 \r\n0 0 0 0 "},
      {"flag_missing", "0 10 30 40 \r\n0.5 1 1 1 \r\n0 0 0 "},
      {"falling_x", "0 30 10 40 \r\n0.5 1 1 1 \r\n0 0 0 0 "},
      {"not_finite", "0 10 nan 40 \r\n0.5 1 1 1 \r\n0 0 0 0 "},
      {"too_large", "0 10 30 9000 \r\n0.5 1 1 1 \r\n0 0 0 0 "},
      {"empty", ""},
      {"binary", std::string("0 10\xff\xfe 30 40\r\n\0\0", 16)},
      {"folder", ""},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    fs::path p = dir / k.name;
    if (std::string(k.name) == "folder") {
      fs::create_directory(p);
    } else {
      aftest::write_file(p, k.bytes);
    }
    af::dialogs::clear_recorded();
    load_from(p);
    ASSERT_EQ(af::dialogs::recorded().size(), 2u);  // the open dialog, then the box
    EXPECT_EQ(af::dialogs::recorded()[1].kind, "error");
    EXPECT_EQ(af::dialogs::recorded()[1].title, "Invalid file");
    EXPECT_EQ(af::dialogs::recorded()[1].message, "Error loading file.");
    EXPECT_EQ(af::loading_profiles, 0);
    EXPECT_FALSE(af::graph_suspended);
    EXPECT_EQ(rep(af::horizontal_x), hx);
    EXPECT_EQ(pdat(), before);
    ASSERT_TRUE(pump_until([] { return !af::dialog_open; }));
  }
  // A last edge flag is cleared; flags are truncated to whole numbers.
  aftest::write_file(dir / "flags", "0 10 30 40 \r\n0.5 1 1 1 \r\n2 1.5 0.5 1 \r\n");
  load_from(dir / "flags");
  EXPECT_EQ(rep(af::horizontal_corners), "[2, 1, 0, 0]");
  EXPECT_NE(hc, "[2, 1, 0, 0]");
  // The box for real, and the meter's end box over it: a real Return, with the
  // pointer off the boxes, answers that one (else it is closed after 3 s).
  af::dialogs::set_recording(false);
  af::root.attr("tk").attr("eval")(
      "set b .__tk__messagebox; exec xdotool mousemove [winfo screenwidth .] [winfo screenheight .]\n"
      "proc press n {if {$n && [focus] ne \"$::b.ok\"} {after 10 press [incr n -1]} else {exec xdotool key Return\n"
      "  after 3000 {if {[winfo exists $b]} {set late 1; $b.ok invoke}}}}");
  af::root.attr("after")(100, py::cpp_function([] {
    af::root.attr("tk").attr("call")("after", 0, "press", 400);
    af::dialogs::show_error("Error", "Subprocess failure.", af::root);
  }));
  af::dialogs::show_error("Invalid file", "Error loading file.", af::root);
  EXPECT_EQ(af::root.attr("tk").attr("eval")("info exists late").cast<std::string>(), "0");
}

TEST(Profiles, FailedSavesSayItAndLeaveNothingHalfWritten) {
  start_recorded();
  fs::path dir = aftest::make_temp_dir("badsave");
  fs::create_directory(dir / "taken.afcurve");
  for (fs::path target : {dir / "missing" / "a.afcurve", dir / "taken.afcurve"}) {
    SCOPED_TRACE(target.string());
    af::savesdir = dir.string();
    af::dialogs::clear_recorded();
    save_as(target);
    ASSERT_EQ(af::dialogs::recorded().size(), 2u);
    EXPECT_EQ(af::dialogs::recorded()[1].kind, "error");
    EXPECT_EQ(af::dialogs::recorded()[1].title, "Error");
    EXPECT_EQ(af::dialogs::recorded()[1].message,
              "Error saving file.\nCannot write \"" + target.string() + "\":\n" +
                  (target.filename() == "taken.afcurve" ? "Is a directory" : "No such file or directory"));
    EXPECT_TRUE(af::dialogs::recorded()[1].parented);
    EXPECT_EQ(af::savesdir, dir.string());  // where the next dialog opens
    EXPECT_FALSE(af::graph_suspended);
  }
  EXPECT_TRUE(fs::is_directory(dir / "taken.afcurve"));
  EXPECT_FALSE(fs::exists(dir / "missing"));
  int left = 0;
  for (auto& e : fs::directory_iterator(dir)) left += e.path().filename() != "taken.afcurve";
  EXPECT_EQ(left, 0);

  // While a change is pending neither dialog opens, and none is left open.
  ASSERT_TRUE(pump_until([] { return !af::dialog_open; }));
  af::suspend();
  af::save_profile();
  af::load_profile();
  EXPECT_FALSE(af::dialog_open);
  EXPECT_EQ(af::dialogs::recorded().size(), 2u);
}

TEST(Profiles, PresetOrProfileThatCannotBeWrittenKeepsTheAppliedCurve) {
  start_recorded();
  fs::path dir = aftest::make_temp_dir("unwritable");
  aftest::write_file(dir / "p.afcurve", "0 10 20 \r\n0.5 0.75 1 \r\n0 0 0 ");
  // A folder in the curve file's place: the new file cannot replace it.
  fs::remove(settings_folder() / "p.dat");
  fs::create_directory(settings_folder() / "p.dat");
  const std::string hx = rep(af::horizontal_x), vx = rep(af::vertical_x), active = rep(af::active_xy);
  for (int way = 0; way < 2; ++way) {
    SCOPED_TRACE(way);
    af::dialogs::clear_recorded();
    if (way == 0) {
      af::preset6.attr("invoke")(0);
    } else {
      load_from(dir / "p.afcurve");
    }
    ASSERT_EQ(af::dialogs::recorded().back().title, "Error applying settings");
    EXPECT_EQ(rep(af::horizontal_x), hx);
    EXPECT_EQ(rep(af::vertical_x), vx);
    EXPECT_EQ(rep(af::active_xy), active);
    EXPECT_FALSE(af::graph_suspended);
    EXPECT_TRUE(fs::is_directory(settings_folder() / "p.dat"));
  }
}

// ---- the Help menu ---------------------------------------------------------------

TEST(HelpWindows, ManualIsReadOnlyWithUnderlinedTitlesAndOpensAtTheTop) {
  start_recorded();
  EXPECT_FALSE(mapped(af::help_window));
  EXPECT_EQ(text_of(af::help_window.attr("title")()), "User manual");
  // Seven titles carry the underline tag, and nothing else does.
  py::tuple ranges = af::help_text.attr("tag_ranges")("n");
  std::vector<std::string> titles;
  for (size_t i = 0; i + 1 < py::len(ranges); i += 2)
    titles.push_back(text_of(af::help_text.attr("get")(ranges[i], ranges[i + 1])));
  EXPECT_EQ(titles, (std::vector<std::string>{"\nGraph hot keys:", "\n\n\nGraph:", "\n\n\nTail:",
                                              "\n\n\nApplying changes:", "\n\n\nFile menu:", "\n\n\nOptions:",
                                              "\n\n\nPresets:"}));
  EXPECT_EQ(text_of(af::help_text.attr("tag_cget")("n", "underline")), "1");
  const std::string text = text_of(af::help_text.attr("get")("1.0", "end-1c"));
  const std::string keys[] = {
      " Move a point - 'Left Click' on a point to drag.",
      " Add a point - 'Right Click' or press 'A' on the dashed line.",
      " Add an edge point - 'Right Click' or press 'E' on the dashed line.",
      " Edit/Delete points - 'Right Click' on a point. 'D' on a point to delete.",
      "",
      " Apply the default curve - 'Ctrl-D'.",
      "",
      " Rescale the view - 'Mouse 3' or 'R'.",
      " Rescale to fit the curve - 'Ctrl' with rescale.",
      " Rescale to fit both axes - 'Shift' with rescale.",
      "",
      " Zoom - 'Scroll Wheel' or '+' and '-' keys.",
      " Zoom to location - 'Ctrl' with zoom.",
      " Increased zoom - 'Z' with zoom.",
      " Pan - 'Left Click' on graph area and drag.",
      "",
      " Match the edit curve to the active curve - 'M'.",
      " Toggle axis view - 'V'.",
      "",
      " Scale curve - Hold 'Shift' while dragging to scale all previous points.",
      " Move group - Hold 'G' while dragging to move subsequent points as a group.",
      " Lock point(s) to X axis - 'X'. 'Ctrl-X' to keep locked.",
      " Lock point(s) to Y axis - 'Y'. 'Ctrl-Y' to keep locked.",
      " Grab bottom point from group - Hold 'B' while selecting.",
      "",
      " Align the tail - 'T'. Aligns the tail to match the slope of the curve.",
      " ",
      " Hide points - 'H'. 'Ctrl-H' to toggle with dragging.",
      " Hide edit curve - 'N'. 'Ctrl-N' to toggle.",
      " Show value marker - 'J'. 'Ctrl-J' to toggle.",
  };
  std::string manual = "\nGraph hot keys:\n";
  for (const std::string& line : keys) manual += "\n" + line;
  manual +=
      "\n\n\nGraph:\n\n X values represent the velocity of the mouse.\n Y values represent the sensitivity.\n"
      " Click and drag control points to shape the curve.\n Points are bound by the values of surrounding points."
      "\n\n\nTail:\n\n The tail defines the rate of change for speeds beyond the curve.\n Pressing 'T' aligns the"
      " tail to match the slope at the end of the curve."
      "\n\n\nApplying changes:\n\n The 'Apply' button applies changes.\n Click 'OK' to confirm changes.\n"
      " Previous settings are restored if cancelled."
      "\n\n\nFile menu:\n\n Profiles can be saved and loaded from the 'File' menu."
      "\n\n\nOptions:\n\n 'Allow negative accel' allows points to have Y values lower than previous points.\n"
      " 'Zoom to location' changes the default zoom behavior. Hold 'Ctrl' for the opposite behavior.\n"
      " 'Display' configures the rate and smoothness of the real-time display."
      "\n\n\nPresets:\n\n Each preset is scaled to four typical DPI values.\n\n\n";
  EXPECT_EQ(text, manual);
  EXPECT_NE(text.find("\n\n Move a point - 'Left Click' on a point to drag.\n Add a point"), std::string::npos);
  EXPECT_NE(text.find("the curve.\n \n Hide points - 'H'."), std::string::npos);

  af::help_text.attr("yview_moveto")(1.0);
  af::helpMenu.attr("invoke")("User manual");
  af::root.attr("update")();
  EXPECT_TRUE(mapped(af::help_window));
  EXPECT_EQ(text_of(af::help_text.attr("cget")("width")) + "x" + text_of(af::help_text.attr("cget")("height")),
            "108x28");  // the whole manual fits this screen
  EXPECT_EQ(py::float_(af::help_text.attr("yview")()[py::int_(0)]).cast<double>(), 0.0);
  EXPECT_EQ(text_of(af::help_text.attr("cget")("state")), "disabled");
  EXPECT_EQ(text_of(af::help_text.attr("cget")("foreground")), af::dim_tkscheme);
  af::help_text.attr("insert")("1.0", "typed");
  EXPECT_EQ(text_of(af::help_text.attr("get")("1.0", "end-1c")), text);
  // At 250 % text scaling (a font no longer in use takes the new scaling)
  // the window and its scroll bar stay on the screen, with room left for a
  // title bar and a panel, and the narrowed lines break between words.
  af::help_text.attr("config")("font"_a = "TkFixedFont");
  af::root.attr("tk").attr("call")("tk", "scaling", af::tk_scaling_for(250));
  af::helpMenu.attr("invoke")("User manual");
  af::root.attr("update")();
  auto px = [](const char* what, py::handle w = af::help_window) { return w.attr(what)().cast<int>(); };
  EXPECT_LE(px("winfo_reqwidth"), px("winfo_screenwidth"));
  EXPECT_LE(px("winfo_reqheight") + 96, px("winfo_screenheight"));
  EXPECT_LE(px("winfo_rootx", af::scrolly) + px("winfo_width", af::scrolly), px("winfo_screenwidth"));
  scope()["t"] = af::help_text;
  EXPECT_EQ(text_of(eval("[w for w in __import__('re').finditer(r'\\S+', t.get('1.0', 'end')) if "
                         "t.count(f'1.0+{w.start()}c', f'1.0+{w.end() - 1}c', 'displaylines')]")), "[]");
}

TEST(HelpWindows, AboutSitsOverTheMainWindowAndEachShowingRestartsItsHideTimer) {
  start_recorded();
  EXPECT_FALSE(mapped(af::about_window));
  EXPECT_NE(text_of(af::awl1.attr("cget")("text")).find(text_of(eval("__import__('time').strftime('%Y', "
                                                                      "__import__('time').gmtime())"))),
            std::string::npos);
  auto pending = [] { return text_of(af::root.attr("tk").attr("call")("after", "info")); };
  // Tcl's "after" notes the delay of every timer it arms, by timer id.
  af::root.attr("tk").attr("eval")(
      "rename after af_real_after\n"
      "proc after args {\n"
      "  set id [uplevel 1 [linsert $args 0 af_real_after]]\n"
      "  if {[string is integer -strict [lindex $args 0]] && [llength $args] > 1} {\n"
      "    set ::af_delay($id) [lindex $args 0]\n"
      "  }\n"
      "  return $id\n"
      "}");
  auto delay = [] {
    return text_of(af::root.attr("tk").attr("call")("set", "af_delay(" + text_of(af::about_schedule) + ")"));
  };
  af::helpMenu.attr("invoke")("About");
  py::object first = af::about_schedule;
  EXPECT_EQ(delay(), "8000");
  af::root.attr("update")();
  EXPECT_TRUE(mapped(af::about_window));
  const int x = af::root.attr("winfo_x")().cast<int>(), w = af::root.attr("winfo_width")().cast<int>();
  const int y = af::root.attr("winfo_y")().cast<int>(), h = af::root.attr("winfo_height")().cast<int>();
  EXPECT_EQ(text_of(af::about_window.attr("geometry")()).substr(text_of(af::about_window.attr("geometry")()).find('+')),
            "+" + std::to_string(static_cast<int>(x + w / 2.5)) + "+" + std::to_string(static_cast<int>(y + h / 2.5)));
  af::helpMenu.attr("invoke")("About");
  EXPECT_EQ(pending().find(text_of(first)), std::string::npos);
  EXPECT_NE(pending().find(text_of(af::about_schedule)), std::string::npos);
  EXPECT_EQ(delay(), "8000");
  af::root.attr("tk").attr("eval")("rename after {}\nrename af_real_after after");
  // The timer hides the box.
  py::list timer = af::root.attr("tk").attr("call")("after", "info", af::about_schedule);
  af::root.attr("tk").attr("eval")(timer[0]);
  af::root.attr("update")();
  EXPECT_FALSE(mapped(af::about_window));
}

TEST(HelpWindows, WebLinksOpenTheirPagesInANewTab) {
  start_recorded();
  af::dialogs::set_recording(false);
  run("import webbrowser\nopened = []\nwebbrowser.open = lambda url, new=0, autoraise=True: opened.append((url, new))");
  af::helpMenu.attr("invoke")("Web guide");
  af::helpMenu.attr("invoke")("Get Pro");
  af::open_buy_url();
  EXPECT_EQ(text_of(eval("repr(opened)")),
            "[('https://arcflex.example/guide.html', 2), ('https://arcflex.example/get_pro.php', 2), "
            "('https://arcflex.example/buy.html', 2)]");
}

}  // namespace
