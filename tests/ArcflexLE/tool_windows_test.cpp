// The Sensitivity toggle, Devices and Profiles windows: their construction,
// the toggle key capture and the options an Apply reads, the revert's
// rewrite of the toggle window, the profile hot-key capture, and the
// hot-key file read when the Profiles window closes.
#include <platform/pipe.h>

#include <climits>

#include "apply_cycle.h"
#include "device_windows.h"
#include "gui_fixture.h"
#include "link_windows.h"
#include "profile_keys.h"
#include "state_profiles.h"
#include "toggle_window.h"
#include "tools.h"

namespace {

using namespace guitest;
namespace af = arcflex;

std::string cget(py::handle w, const char* option) { return py::str(w.attr("cget")(option)).cast<std::string>(); }
std::string text_of(py::handle entry) { return py::str(entry.attr("get")()).cast<std::string>(); }
std::string wstate(py::handle w) { return py::str(w.attr("wm_state")()).cast<std::string>(); }

// A key event as Tk hands it to a handler: only keycode and keysym are read.
py::object key(const std::string& keysym) {
  return py::module_::import("types").attr("SimpleNamespace")("keycode"_a = 0, "keysym"_a = keysym);
}

// Takes "load" on the meter's pipe in place of a meter.
class PipeStub {
 public:
  PipeStub() : server_(afp::PipeServer::create("Arcflex_Pipe")) {
    thread_ = std::thread([this] {
      while (!stop_ && server_->accept()) {
        char buf[16];
        server_->read(buf, sizeof buf);
        server_->disconnect();
      }
    });
  }
  ~PipeStub() {
    stop_ = true;
    afp::pipe_send("Arcflex_Pipe", "stop");
    thread_.join();
  }

 private:
  std::unique_ptr<afp::PipeServer> server_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
};

class ToolWindows : public ::testing::Test {
 protected:
  void SetUp() override { start_recorded(); }
  // The driver confirms; the confirm window comes up with its countdown.
  void driver_confirms() {
    af::driver_successfully_applied_changes = 1;
    ASSERT_TRUE(pump_until([] { return wstate(af::cpop) == "normal"; }));
  }
  void save_and_confirm() {
    af::set_toggle_sens();
    driver_confirms();
    af::end_confirm_countdown();
    ASSERT_FALSE(af::graph_suspended);
  }
  void show_toggle_and_wait() {
    af::show_toggle_window();
    // Tk records a widget's focus once the widget is on screen.
    ASSERT_TRUE(pump_until([] {
      return af::tog_key_entry.attr("winfo_viewable")().cast<bool>() &&
             af::toggle_sensX_entry.attr("winfo_viewable")().cast<bool>();
    }));
  }
  void set_sens(const std::string& sx, const std::string& sy) {
    af::set_validated_entry_text(af::toggle_sensX_entry, sx);
    af::set_validated_entry_text(af::toggle_sensY_entry, sy);
  }
  std::vector<std::string> profile_texts() {
    std::vector<std::string> t;
    for (auto& e : af::profile_entries) t.push_back(text_of(e));
    return t;
  }
  std::vector<bool> holds() {
    std::vector<bool> h;
    for (auto& v : af::hotkey_hold) h.push_back(v.attr("get")().cast<bool>());
    return h;
  }
  PipeStub pipe_;
};

// ---- the hot-key file's values and lines --------------------------------------

TEST(KeysFile, NumbersTruncateAndSaturateOtherTokensAreErrors) {
  const std::pair<const char*, int> good[] = {
      {"3", 3},      {"2.9", 2},          {"-1.5", -1},      {"1e2", 100},     {"+7", 7},
      {".5", 0},     {"5.", 5},           {"-0.5", 0},       {"1E+1", 10},     {"250e-1", 25},
      {"1e400", INT_MAX}, {"-1e400", INT_MIN}, {"1e-400", 0}, {"0e99999999999", 0},
      {"99999999999999999999999", INT_MAX}, {"0.00001e999", INT_MAX}};
  for (auto [token, value] : good) {
    std::optional<int> v = af::parse_profile_key_value(token);
    ASSERT_TRUE(v.has_value()) << token;
    EXPECT_EQ(*v, value) << token;
  }
  for (const char* bad : {"", "a", "inf", "-inf", "nan", "Infinity", "1e", "-", ".", "1_0", "0x10", "1,5", "e5",
                          "1e+", "1.2.3", "--1", "\xef\xbc\x91"}) {
    EXPECT_FALSE(af::parse_profile_key_value(bad).has_value()) << bad;
  }
}

TEST(KeysFile, LinesPadShortListsKeepLongOnesAndFailAsAWhole) {
  using L = std::vector<int>;
  const L zeros(10, 0);
  auto lists = af::parse_profile_keys("");
  ASSERT_TRUE(lists);
  for (auto& l : *lists) EXPECT_EQ(l, zeros);

  lists = af::parse_profile_keys("  116\t 65   \r\n\r\n1 0 0 0 0 0 0 0 0 0 0 0\r-1\n\nbad line six\n");
  ASSERT_TRUE(lists);
  EXPECT_EQ((*lists)[0], (L{116, 65, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ((*lists)[1], zeros);
  EXPECT_EQ((*lists)[2], (L{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ((*lists)[3], (L{-1, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ((*lists)[4], zeros);
  // Any bad value in the first five lines spoils the whole file.
  EXPECT_FALSE(af::parse_profile_keys("112\n0\n0\n0\n0 x\n"));
  EXPECT_FALSE(af::parse_profile_keys("112 inf\n"));
}

// The sensitivities as the entries show them: accepted by their key
// validation and read back as the same number.
TEST(SensEntryText, EditableFormsOfEveryNumber) {
  py::object builtins = py::module_::import("builtins");
  const std::pair<const char*, const char*> cases[] = {
      {"1", "1"},          {"1.5", "1.5"},       {"-2.0", "-2.0"},       {"1e16", "1e16"},
      {"1e-05", "1e-05"},  {"-1.5e300", "-1.5e300"}, {"float('inf')", "1e999"}, {"-float('inf')", "-1e999"}};
  for (auto [expr, shown] : cases) {
    py::object v = py::eval(expr);
    std::string text = af::sens_entry_text(v);
    EXPECT_EQ(text, shown) << expr;
    EXPECT_TRUE(af::nums_neg(text)) << expr;
    EXPECT_TRUE(builtins.attr("float")(text).equal(builtins.attr("float")(v))) << expr;
  }
}

// ---- construction -------------------------------------------------------------

TEST_F(ToolWindows, BuiltWithdrawnWithTheirWidgetsAndTexts) {
  const std::pair<py::object*, const char*> windows[] = {
      {&af::toggle_window, "Sensitivity toggle"}, {&af::devices_window, "Devices"}, {&af::profile_window, "Profiles"}};
  for (auto [w, title] : windows) {
    EXPECT_EQ(wstate(*w), "withdrawn") << title;
    EXPECT_EQ(w->attr("title")().cast<std::string>(), title);
    EXPECT_EQ(py::str(w->attr("resizable")()).cast<std::string>(), "(0, 0)") << title;
    EXPECT_NE(py::str(w->attr("protocol")("WM_DELETE_WINDOW")).cast<std::string>(), "") << title;
    EXPECT_EQ(cget(*w, "relief"), "ridge");
  }
  // Toggle window: menus at the defaults, an empty read-only key entry.
  EXPECT_EQ(py::str(af::tmm_variable.attr("get")()).cast<std::string>(), "Disabled");
  EXPECT_EQ(py::str(af::tbm_variable.attr("get")()).cast<std::string>(), "---");
  EXPECT_EQ(text_of(af::tog_key_entry), "");
  EXPECT_EQ(cget(af::tog_key_entry, "state"), "readonly");
  EXPECT_EQ(text_of(af::toggle_sensX_entry) + text_of(af::toggle_sensY_entry), "11");

  // Devices window: two empty lists, the second disabled, and the button.
  for (py::object* lb : {&af::device_listbox, &af::exclude_listbox}) {
    EXPECT_EQ(lb->attr("size")().cast<int>(), 0);
    EXPECT_EQ(cget(*lb, "height"), "0");
    EXPECT_EQ(cget(*lb, "selectmode"), "multiple");
  }
  EXPECT_EQ(cget(af::exclude_listbox, "state"), "disabled");
  EXPECT_EQ(cget(af::device_label, "text") + "|" + cget(af::exclude_label, "text") + "|" +
                cget(af::exclude_devices_button, "text"),
            "Devices|Exclusions|Exclude");

  // Profiles window: ten labelled slots, empty read-only entries, no Hold.
  EXPECT_EQ(cget(af::profile_key_label, "text") + cget(af::profile_mode_label, "text"), "KeyHold");
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(cget(af::profile_labels[i], "text"), "Profile " + std::to_string(i + 1));
    EXPECT_EQ(cget(af::profile_entries[i], "state"), "readonly");
    EXPECT_EQ(py::int_(af::profile_labels[i].attr("grid_info")()["row"]).cast<int>(), i + 2);
  }
  EXPECT_EQ(profile_texts(), std::vector<std::string>(10, ""));
  EXPECT_EQ(holds(), std::vector<bool>(10, false));
  EXPECT_EQ(cget(af::save_profile_keys_button, "text"), "Save changes");
}

// ---- the toggle window -----------------------------------------------------------

TEST_F(ToolWindows, ToggleKeyCaptureNamedUnnamedAndSpecialKeys) {
  struct Step {
    const char* keysym;
    int temp;
    const char* shown;
  } steps[] = {
      {"a", 65, "a"},        {"F1", 112, "F1"},       {"KP_1", 112, "F1"},  {"Tab", 112, "F1"},
      {"Return", 112, "F1"}, {"space", 32, "Space"},  {"Next", 34, "PgDown"}, {"Escape", 0, ""},
      {"Shift_L", 16, "Shift"}, {"Control_L", 17, "Ctrl"}, {"A", 65, "a"},
  };
  show_toggle_and_wait();  // focus is tracked in a shown window only
  for (const Step& s : steps) {
    af::tog_key_entry.attr("focus")();
    af::set_toggle_key(key(s.keysym));
    EXPECT_EQ(af::temp_toggleKey, s.temp) << s.keysym;
    EXPECT_EQ(text_of(af::tog_key_entry), s.shown) << s.keysym;
    EXPECT_EQ(cget(af::tog_key_entry, "state"), "readonly") << s.keysym;
    // Tab and Enter hand the focus to the window itself.
    bool moves_focus = std::string(s.keysym) == "Tab" || std::string(s.keysym) == "Return";
    EXPECT_EQ(af::toggle_window.attr("focus_lastfor")().equal(af::toggle_window), moves_focus) << s.keysym;
  }
  // The applied key's name: none for 0 or a code without a name.
  const std::pair<int, const char*> names[] = {{0, ""}, {96, ""}, {65, "a"}, {143, "F32"}, {32, "Space"}};
  for (auto [code, name] : names) {
    af::toggleKey = code;
    EXPECT_EQ(af::get_tog_key_string(), name) << code;
  }
}

TEST_F(ToolWindows, ToggleEntryHandlersSelectScrollAndMoveTheFocus) {
  set_sens("0.123456789012345678901234567", "-2");
  af::toggle_sensX_entry.attr("xview_moveto")(1.0);
  af::toggleX_focus_in(py::none());
  EXPECT_EQ(py::str(af::toggle_sensX_entry.attr("selection_get")()).cast<std::string>(),
            "0.123456789012345678901234567");
  af::toggleY_focus_in(py::none());
  EXPECT_EQ(af::toggle_sensY_entry.attr("index")("sel.last").cast<int>(), 2);
  af::toggle_entries_focus_out(py::none());
  EXPECT_EQ(af::toggle_sensX_entry.attr("xview")()[py::int_(0)].cast<double>(), 0.0);
  show_toggle_and_wait();
  af::toggle_sensX_entry.attr("focus")();
  ASSERT_TRUE(af::toggle_window.attr("focus_lastfor")().equal(af::toggle_sensX_entry));
  af::toggle_entries_return(py::none());
  EXPECT_TRUE(af::toggle_window.attr("focus_lastfor")().equal(af::toggle_window));
  // The handlers leave the texts alone.
  EXPECT_EQ(text_of(af::toggle_sensY_entry), "-2");

  EXPECT_EQ(wstate(af::toggle_window), "normal");
  EXPECT_EQ(py::str(af::toggle_window.attr("minsize")()).cast<std::string>(),
            py::str(py::make_tuple(af::toggle_window.attr("winfo_width")(), af::toggle_window.attr("winfo_height")()))
                .cast<std::string>());
  af::set_toggle_key(key("F5"));
  af::hide_toggle_window();
  EXPECT_EQ(wstate(af::toggle_window), "withdrawn");
  // The captured, unsaved key goes with the main window's Apply.
  af::pressed_apply();
  EXPECT_EQ(af::toggleKey, 116);
}

TEST_F(ToolWindows, ApplyReadsTheFiveOptionsOrFallsBackToDefaults) {
  struct Case {
    const char *mode, *button, *sx, *sy, *keysym;
    int want_mode, want_button, want_key;
    double want_sx, want_sy;
  } cases[] = {
      {"Disabled", "---", "1", "1", "Escape", 0, 0, 0, 1.0, 1.0},
      {"Toggle", "Mouse 3", "1.5", "-2", "F1", 2, 3, 112, 1.5, -2.0},
      {"Hold", "Mouse 5", "0.5", "1e2", "a", 1, 5, 65, 0.5, 100.0},
      {"Hold", "Mouse 5", "-", "1", "a", 0, 0, 0, 1.0, 1.0},
      {"Toggle", "Mouse 1", "2", "", "a", 0, 0, 0, 1.0, 1.0},
      {"Toggle", "Mouse 1", "1e", "2", "a", 0, 0, 0, 1.0, 1.0},
  };
  for (const Case& c : cases) {
    af::tmm_variable.attr("set")(c.mode);
    af::tbm_variable.attr("set")(c.button);
    set_sens(c.sx, c.sy);
    af::set_toggle_key(key(c.keysym));
    save_and_confirm();
    EXPECT_EQ(af::toggleMode, c.want_mode) << c.sx << " " << c.sy;
    EXPECT_EQ(af::toggleButton, c.want_button) << c.sx;
    EXPECT_EQ(af::toggleKey, c.want_key) << c.sx;
    EXPECT_EQ(py::float_(af::toggleSensX).cast<double>(), c.want_sx) << c.sx;
    EXPECT_EQ(py::float_(af::toggleSensY).cast<double>(), c.want_sy) << c.sy;
  }
  // "Save changes" during a confirm countdown does nothing.
  af::tmm_variable.attr("set")("Toggle");
  set_sens("3", "3");
  af::set_toggle_sens();
  driver_confirms();
  set_sens("7", "7");
  af::set_toggle_key(key("b"));
  af::set_toggle_sens();
  EXPECT_EQ(py::float_(af::toggleSensX).cast<double>(), 3.0);
  EXPECT_EQ(af::toggleKey, 65);
  af::end_confirm_countdown();
}

TEST_F(ToolWindows, RevertRewritesTheWindowWhichStaysEditableAndShowsTheKeyTheNextApplyTakes) {
  // Applied and confirmed: F1, a sensitivity whose Python text ("1e+16")
  // the entry validation refuses, Toggle on Mouse 2.
  af::tmm_variable.attr("set")("Toggle");
  af::tbm_variable.attr("set")("Mouse 2");
  set_sens("1e16", "0.25");
  af::set_toggle_key(key("F1"));
  save_and_confirm();
  // A second change, cancelled.
  af::tmm_variable.attr("set")("Hold");
  set_sens("3", "4");
  af::set_toggle_key(key("a"));
  af::set_toggle_sens();
  driver_confirms();
  EXPECT_EQ(af::toggleKey, 65);
  af::revert_settings();
  af::driver_successfully_applied_changes = 1;
  ASSERT_TRUE(pump_until([] { return !af::graph_suspended && af::reverting_settings == 0; }));

  EXPECT_EQ(py::str(af::tmm_variable.attr("get")()).cast<std::string>(), "Toggle");
  EXPECT_EQ(py::str(af::tbm_variable.attr("get")()).cast<std::string>(), "Mouse 2");
  EXPECT_EQ(text_of(af::tog_key_entry), "F1");
  EXPECT_EQ(af::temp_toggleKey, 112);
  EXPECT_EQ(text_of(af::toggle_sensX_entry), "1e16");
  EXPECT_EQ(text_of(af::toggle_sensY_entry), "0.25");
  for (py::object* e : {&af::toggle_sensX_entry, &af::toggle_sensY_entry}) {
    EXPECT_EQ(cget(*e, "state"), "normal");
    EXPECT_EQ(cget(*e, "validate"), "key");
  }
  // Typing works again, and the validation still refuses other characters.
  af::toggle_sensY_entry.attr("insert")("end", "5");
  af::toggle_sensY_entry.attr("insert")("end", "x");
  EXPECT_EQ(text_of(af::toggle_sensY_entry), "0.255");
  af::toggle_sensX_entry.attr("delete")(0, "end");
  af::toggle_sensX_entry.attr("insert")(0, "-1.5");
  save_and_confirm();
  EXPECT_EQ(af::toggleKey, 112);
  EXPECT_EQ(af::toggleMode, 2);
  EXPECT_EQ(py::float_(af::toggleSensX).cast<double>(), -1.5);
  EXPECT_EQ(py::float_(af::toggleSensY).cast<double>(), 0.255);
}

// ---- the devices window ----------------------------------------------------------

TEST_F(ToolWindows, DevicesShowHideAndTheExcludeNotice) {
  const fs::path sysroot = std::getenv("AF_SYSROOT");
  auto listing = [&] {
    std::vector<std::string> names;
    for (auto& e : fs::recursive_directory_iterator(sysroot)) names.push_back(e.path().string());
    return names;
  };
  const auto before = listing();
  af::show_devices_window();
  af::show_devices_window();
  EXPECT_EQ(wstate(af::devices_window), "normal");
  EXPECT_EQ(py::str(af::devices_window.attr("minsize")()).cast<std::string>(),
            py::str(py::make_tuple(af::devices_window.attr("winfo_width")(),
                                   af::devices_window.attr("winfo_height")()))
                .cast<std::string>());
  af::exclude_listbox.attr("insert")(0, "refused");  // disabled: takes nothing
  EXPECT_EQ(af::exclude_listbox.attr("size")().cast<int>(), 0);
  af::exclude_devices_button.attr("invoke")();
  ASSERT_EQ(af::dialogs::recorded().size(), 1u);
  const auto& box = af::dialogs::recorded().back();
  EXPECT_EQ(box.kind, "info");
  EXPECT_EQ(box.title, "Exclude devices");
  EXPECT_TRUE(box.parented);
  EXPECT_EQ(box.message,
            "Add each listed device you wish to exlude to     \n\n"
            "Multi-String Value named 'ExcludeFromArcflex' under:     \n\n"
            "Computer\\HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\afmouse\\Parameters     \n\n"
            "in the registry.     \n\nYou must restart before changes take effect.");
  EXPECT_EQ(listing(), before);
  af::hide_devices_window();
  EXPECT_EQ(wstate(af::devices_window), "withdrawn");
}

// ---- the profiles window ---------------------------------------------------------

TEST_F(ToolWindows, ProfileHotKeyCaptureWithTheReportedModifiers) {
  struct Step {
    int slot;
    const char* keysym;
    bool shift, ctrl, alt;
    int key, sreq, creq, areq, current;
    const char* shown;
  } steps[] = {
      {2, "F5", false, true, false, 116, 0, 1, 0, 3, "Ctrl + F5"},
      {0, "a", true, true, true, 65, 1, 1, 1, 1, "Shift + Ctrl + Alt + a"},
      {5, "Alt_L", true, false, true, 0, 1, 0, 0, 6, ""},  // a modifier alone is no key
      {2, "Tab", false, false, false, 116, 0, 1, 0, 6, "Ctrl + F5"},
      {2, "KP_1", true, false, false, 116, 0, 1, 0, 6, "Ctrl + F5"},
      {2, "Return", false, false, false, 116, 0, 1, 0, 6, "Ctrl + F5"},
      {0, "Escape", false, false, false, 0, 1, 1, 1, 6, ""},
  };
  af::hotkey_hold[0].attr("set")(true);
  af::hotkey_mode_box[3].attr("invoke")();  // runs set_hotkey_mode
  EXPECT_EQ(af::profile_hotkey_modes, (std::vector<int>{1, 0, 0, 1, 0, 0, 0, 0, 0, 0}));
  for (const Step& s : steps) {
    af::shift_key = s.shift;
    af::ctrl_key = s.ctrl;
    af::alt_key = s.alt;
    af::set_profile_key(key(s.keysym), s.slot);
    const size_t i = static_cast<size_t>(s.slot);
    EXPECT_EQ(af::profile_hotkeys[i], s.key) << s.keysym;
    EXPECT_EQ(af::shift_req[i], s.sreq) << s.keysym;
    EXPECT_EQ(af::ctrl_req[i], s.creq) << s.keysym;
    EXPECT_EQ(af::alt_req[i], s.areq) << s.keysym;
    EXPECT_EQ(af::current_profile, s.current) << s.keysym;
    EXPECT_EQ(text_of(af::profile_entries[i]), s.shown) << s.keysym;
    EXPECT_EQ(af::get_key_string(s.slot), s.shown) << s.keysym;
    EXPECT_EQ(cget(af::profile_entries[i], "state"), "readonly") << s.keysym;
  }
  // Esc cleared slot 0's Hold; slot 3 keeps its own.
  EXPECT_EQ(holds(), (std::vector<bool>{false, false, false, true, false, false, false, false, false, false}));
  EXPECT_EQ(af::profile_hotkey_modes[0], 0);
  // A code without a name shows nothing even with modifiers; no such slot.
  af::profile_hotkeys[4] = 96;
  af::shift_req[4] = 1;
  EXPECT_EQ(af::get_key_string(4), "");
  EXPECT_EQ(af::get_key_string(10), "");
  EXPECT_EQ(af::get_key_string(-1), "");
}

TEST_F(ToolWindows, ProfileKeyRewritesTheCurveFileUnlessTheSlotHasItsOwn) {
  const fs::path pdat = settings_folder() / "p.dat";
  const std::string written = aftest::read_file(pdat);
  ASSERT_FALSE(written.empty());
  fs::remove(pdat);
  af::set_profile_key(key("b"), 0);
  EXPECT_EQ(aftest::read_file(pdat), written);
  // The second slot has its own curve file: "p.dat" is left alone.
  fs::remove(pdat);
  aftest::write_file(settings_folder() / "p2.dat", "x");
  af::set_profile_key(key("c"), 1);
  EXPECT_FALSE(fs::exists(pdat));
  EXPECT_EQ(text_of(af::profile_entries[1]), "c");
  // A curve file that cannot be written: the key is kept, the entry emptied.
  fs::create_directory(pdat);
  af::set_profile_key(key("d"), 3);
  EXPECT_EQ(af::profile_hotkeys[3], 68);
  EXPECT_EQ(af::current_profile, 4);
  EXPECT_EQ(text_of(af::profile_entries[3]), "");
  EXPECT_EQ(cget(af::profile_entries[3], "state"), "readonly");
}

TEST_F(ToolWindows, ClosingTheProfilesWindowReadsTheKeysFile) {
  const fs::path keys = settings_folder() / "keys.dat";
  const std::string z9 = " 0 0 0 0 0 0 0 0 0\n", z10 = "0" + z9;
  using S = std::vector<std::string>;
  using B = std::vector<bool>;
  const S none(10, "");
  const B off(10, false);
  struct Case {
    const char* what;
    std::optional<std::string> file;  // nullopt: no file
    S shown;
    B hold;
    size_t keys_size;
  } cases[] = {
      {"example", "112" + z9 + z10 + "1" + z9 + z10 + z10, S{"Shift + F1", "", "", "", "", "", "", "", "", ""}, off,
       10},
      {"missing", std::nullopt, none, off, 10},
      {"empty", "", none, off, 10},
      {"short", "116 65\n1\n\n0 1\n", S{"F5", "Ctrl + a", "", "", "", "", "", "", "", ""},
       B{true, false, false, false, false, false, false, false, false, false}, 10},
      {"long", "0 0 0 0 0 0 0 0 0 65 66 67\n0 0 0 0 0 0 0 0 0 1 1 1\n", S{"", "", "", "", "", "", "", "", "", "a"},
       B{false, false, false, false, false, false, false, false, false, true}, 12},
      {"truncated", "2.9 112\n\n0 -1\n", S{"", "Shift + F1", "", "", "", "", "", "", "", ""}, off, 10},
      {"huge", "1e400 -99999999999999999999\n1\n", none,
       B{true, false, false, false, false, false, false, false, false, false}, 10},
      {"bad", "112 0\n1 1\n0 x\n", none, off, 10},
      {"not finite", "112 inf\n1\n", none, off, 10},
  };
  for (const Case& c : cases) {
    // Something on screen first, so a reset shows.
    af::profile_hotkeys.assign(10, 65);
    af::profile_hotkey_modes.assign(10, 1);
    fs::remove(keys);
    if (c.file) aftest::write_file(keys, *c.file);
    af::show_profile_window();
    af::hide_profile_window();
    EXPECT_EQ(wstate(af::profile_window), "withdrawn") << c.what;
    EXPECT_EQ(profile_texts(), c.shown) << c.what;
    EXPECT_EQ(holds(), c.hold) << c.what;
    EXPECT_EQ(af::profile_hotkeys.size(), c.keys_size) << c.what;
    for (auto* l : {&af::profile_hotkey_modes, &af::shift_req, &af::ctrl_req, &af::alt_req})
      EXPECT_GE(l->size(), 10u) << c.what;
    if (std::string(c.what) == "huge") {
      EXPECT_EQ(af::profile_hotkeys[0], INT_MAX);
      EXPECT_EQ(af::profile_hotkeys[1], INT_MIN);
    }
  }
  // A folder in the file's place reads as no keys; the window still closes.
  fs::remove(keys);
  fs::create_directory(keys);
  af::show_profile_window();
  af::hide_profile_window();
  EXPECT_EQ(profile_texts(), none);
  EXPECT_EQ(wstate(af::profile_window), "withdrawn");
}

}  // namespace
