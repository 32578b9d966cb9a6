// The editor's process guards: a folder or file the start-up cannot use
// ends it with a box that names it and the system's reason, and the pop-up
// and tool windows come up above the main window after an Apply.
#include <sys/stat.h>

#include <functional>

#include "apply_cycle.h"
#include "edit_windows.h"
#include "gui_fixture.h"
#include "link_windows.h"
#include "profile_keys.h"
#include "scale_windows.h"
#include "state_profiles.h"
#include "state_scale.h"

namespace {

using namespace guitest;
namespace af = arcflex;

// An extended regular expression that matches `text` literally.
std::string literal(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) out += '\\';
    out += c;
  }
  return out;
}

fs::path run_root() { return std::getenv("XDG_RUNTIME_DIR"); }

// Fresh private folders, seen by the editor's C++ and Python code alike.
void fresh_folders() {
  aftest::isolate_environment();
  py::object environ = py::module_::import("os").attr("environ");
  for (const char* name : {"LOCALAPPDATA", "XDG_RUNTIME_DIR", "AF_SYSROOT"}) environ[name] = std::getenv(name);
}

struct BadStart {
  const char* what;
  std::function<void()> prepare;      // runs in the death test's child
  std::function<std::string()> text;  // the box's text, in this case's folders
  bool needs_permissions;             // root reads and writes anything
};

TEST(StartupFailure, EachUnusableFolderOrFileGivesABoxNamingItThenExitCodeOne) {
  auto settings = [] { return settings_folder().string() + "/"; };
  auto too_long = [] { return fs::path(std::getenv("LOCALAPPDATA")) / std::string(300, 'x'); };
  const BadStart cases[] = {
      {"run-time folder is a file", [] { aftest::write_file(run_root() / "arcflex", "x"); },
       [] { return "Cannot use the run-time folder \"" + (run_root() / "arcflex").string() + "\":\nNot a directory"; },
       false},
      {"run-time folder's parent is missing", [] { setenv("XDG_RUNTIME_DIR", (run_root() / "gone").c_str(), 1); },
       [] {
         return "Cannot use the run-time folder \"" + (run_root() / "gone").string() + "\":\nNo such file or directory";
       },
       false},
      {"run-time folder's parent is a file",
       [] {
         aftest::write_file(run_root() / "file", "x");
         setenv("XDG_RUNTIME_DIR", (run_root() / "file").c_str(), 1);
       },
       [] { return "Cannot use the run-time folder \"" + (run_root() / "file").string() + "\":\nNot a directory"; },
       false},
      {"curve file is a folder", [] { fs::create_directories(settings_folder() / "p.dat"); },
       [&] { return "Cannot write \"" + settings() + "p.dat\":\nIs a directory"; }, false},
      {"curve file is a FIFO",
       [] { fs::create_directories(settings_folder()); mkfifo((settings_folder() / "p.dat").c_str(), 0600); },
       [&] { return "Cannot write \"" + settings() + "p.dat\":\nNot a regular file"; }, false},
      {"data folder's place holds a file", [] { aftest::write_file(data_root(), "x"); },
       [] { return "Cannot create the folder \"" + data_root().string() + "\":\nNot a directory"; }, false},
      {"settings folder is read-only and holds no curve file",
       [] {
         fs::create_directories(settings_folder());
         fs::create_directories(data_root() / "profiles");
         chmod(settings_folder().c_str(), 0500);
       },
       [&] { return "Cannot write \"" + settings() + "p.dat\":\nPermission denied"; }, true},
      {"kept curve cannot be put back",
       [] {
         fs::create_directories(settings_folder());
         for (const char* name : {"p.dat", "p.dat.prev"})
           aftest::write_file(settings_folder() / name,
                              "0 10 30 40 \r\n0.5 1 1 1 \r\n0 0 0 0 \r\n0.0\r\n6.67" + aftest::curve_table());
         aftest::set_frozen(settings_folder(), true);
       },
       [&] { return "Cannot write \"" + settings() + "p.dat\":\n" + aftest::frozen_reason(); }, false},
      // A file that cannot be read is no bad curve: nothing is moved or written.
      {"curve file cannot be read",
       [] {
         fs::create_directories(settings_folder());
         fs::create_symlink("/proc/self/mem", settings_folder() / "p.dat");  // EIO at offset 0
       },
       [&] { return "Cannot read \"" + settings() + "p.dat\":\nInput/output error"; }, false},
      {"data folder cannot be made", [] { chmod(std::getenv("LOCALAPPDATA"), 0500); },
       [] { return "Cannot create the folder \"" + data_root().string() + "\":\nPermission denied"; }, true},
      {"data folder's parent cannot be made either, not even by root",
       [&] { setenv("LOCALAPPDATA", too_long().c_str(), 1); },
       [&] { return "Cannot create the folder \"" + too_long().string() + "\":\nFile name too long"; }, false},
  };
  for (const BadStart& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.needs_permissions && geteuid() == 0) continue;
    fresh_folders();
    EXPECT_EXIT(
        {
          c.prepare();
          start_recorded();
        },
        ::testing::ExitedWithCode(1), literal("[dialog error] Error: " + c.text()));
    if (fs::exists(settings_folder())) aftest::set_frozen(settings_folder(), false);
  }
}

// An Apply confirmed with OK: its end lifts the main window above every
// other window of the editor.
void apply_and_confirm() {
  af::pressed_apply();
  af::driver_successfully_applied_changes = 1;
  ASSERT_TRUE(pump_until([] { return af::cpop.attr("winfo_ismapped")().cast<bool>(); }));
  af::ok_button.attr("invoke")();
  af::root.attr("update")();
  ASSERT_FALSE(af::graph_suspended);
}

bool is_above_main_window(const py::object& w) {
  return af::root.attr("tk").attr("call")("wm", "stackorder", w, "isabove", af::root).cast<bool>();
}

// No window manager runs on the test display: only the editor's own
// raising decides the order.
TEST(WindowStacking, PopUpsAndToolWindowsOpenAboveTheMainWindowAfterAnApply) {
  start_recorded();
  const struct {
    const char* title;
    std::function<void()> show;
    py::object* window;
    std::function<void()> hide;
  } windows[] = {
      {"Add Point", [] { af::show_add_window(); }, &af::add_window, [] { af::hide_add_window(); }},
      {"Point Coordinates", [] { af::show_edit_window(300, 300); }, &af::edit_window,
       [] { af::hide_edit_window(); }},
      {"Display", [] { af::show_display_window(); }, &af::display_window,
       [] { af::display_window.attr("wm_withdraw")(); }},
      {"Sensitivity toggle", [] { af::show_toggle_window(); }, &af::toggle_window, [] { af::hide_toggle_window(); }},
      {"Profiles", [] { af::show_profile_window(); }, &af::profile_window, [] { af::hide_profile_window(); }},
      {"DPI & Scaling", [] { af::show_dpi_window(); }, &af::dpi_window, [] { af::hide_dpi_window(); }},
  };
  for (int round = 0; round < 2; ++round) {
    for (const auto& w : windows) {
      SCOPED_TRACE(w.title);
      apply_and_confirm();
      w.show();
      af::root.attr("update")();
      ASSERT_TRUE(w.window->attr("winfo_ismapped")().cast<bool>());
      EXPECT_TRUE(is_above_main_window(*w.window));
      // Shown again while open, after another Apply: above once more.
      apply_and_confirm();
      w.show();
      af::root.attr("update")();
      EXPECT_TRUE(is_above_main_window(*w.window));
      w.hide();
      af::root.attr("update")();
    }
  }
}

}  // namespace
