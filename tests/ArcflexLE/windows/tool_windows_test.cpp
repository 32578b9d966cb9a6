// The Sensitivity toggle, Devices and Profiles windows: their construction,
// the toggle key capture and the options an Apply reads, the revert's
// rewrite of the toggle window, the profile hot-key capture, and the
// hot-key file read when the Profiles window closes.
#include <platform/pipe.h>

#include <sys/stat.h>

#include <climits>
#include <cmath>

#include "apply_cycle.h"
#include "device_windows.h"
#include "gui_fixture.h"
#include "help_windows.h"
#include "link_windows.h"
#include "profile_keys.h"
#include "state_help.h"
#include "state_profiles.h"
#include "toggle_window.h"
#include "window.h"

namespace {

using namespace guitest;
namespace af = arcflex;

std::string str(py::handle o) { return py::str(o).cast<std::string>(); }
std::string cget(py::handle w, const char* option) { return str(w.attr("cget")(option)); }
std::string text_of(py::handle entry) { return str(entry.attr("get")()); }
std::string wstate(py::handle w) { return str(w.attr("wm_state")()); }
// Whether a shown window's minimum size is its present size.
bool min_is_size(py::handle w) {
  return str(w.attr("minsize")()) == str(py::make_tuple(w.attr("winfo_width")(), w.attr("winfo_height")()));
}

// A key event as Tk hands it to a handler: only keycode and keysym are read.
py::object key(const std::string& keysym) {
  return py::module_::import("types").attr("SimpleNamespace")("keycode"_a = 0, "keysym"_a = keysym);
}

// Takes "load" on the meter's pipe in place of a meter.
class PipeStub {
 public:
  PipeStub() : server_(afp::PipeServer::create("Arcflex_Pipe")) {
    thread_ = std::thread([this] {
      for (char buf[16]; !stop_ && server_->accept(); server_->disconnect()) server_->read(buf, sizeof buf);
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
  void set_sens(const std::string& sx, const std::string& sy) {
    af::set_validated_entry_text(af::toggle_sensX_entry, sx);
    af::set_validated_entry_text(af::toggle_sensY_entry, sy);
  }
  // The ten hot-key texts joined by "|", and the Hold boxes as "0"/"1".
  std::string profile_texts() {
    std::string t = text_of(af::profile_entries[0]);
    for (int i = 1; i < 10; ++i) t += "|" + text_of(af::profile_entries[i]);
    return t;
  }
  std::string holds() {
    std::string h;
    for (auto& v : af::hotkey_hold) h += v.attr("get")().cast<bool>() ? '1' : '0';
    return h;
  }
  PipeStub pipe_;
};

TEST(KeysFile, NumbersTruncateAndSaturateOtherTokensAreErrors) {
  const std::pair<const char*, int> good[] = {
      {"3", 3},     {"2.9", 2},   {"-1.5", -1},  {"1e2", 100},         {"+7", 7},         {".5", 0},
      {"5.", 5},    {"-0.5", 0},  {"1E+1", 10},  {"250e-1", 25},       {"1e400", INT_MAX}, {"-1e400", INT_MIN},
      {"1e-400", 0}, {"0e99999999999", 0}, {"99999999999999999999999", INT_MAX}, {"0.00001e999", INT_MAX}};
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

TEST_F(ToolWindows, BuiltWithdrawnWithTheirWidgetsAndTexts) {
  const std::pair<py::object*, const char*> windows[] = {
      {&af::toggle_window, "Sensitivity toggle"}, {&af::devices_window, "Devices"}, {&af::profile_window, "Profiles"}};
  for (auto [w, title] : windows) {
    EXPECT_EQ(wstate(*w), "withdrawn") << title;
    EXPECT_EQ(str(w->attr("title")()), title);
    EXPECT_EQ(str(w->attr("resizable")()), "(0, 0)") << title;
    EXPECT_NE(str(w->attr("protocol")("WM_DELETE_WINDOW")), "") << title;
  }
  EXPECT_EQ(str(af::tmm_variable.attr("get")()) + str(af::tbm_variable.attr("get")()), "Disabled---");
  EXPECT_EQ(text_of(af::tog_key_entry) + cget(af::tog_key_entry, "state"), "readonly");
  EXPECT_EQ(text_of(af::toggle_sensX_entry) + text_of(af::toggle_sensY_entry), "11");
  // Two empty lists of no height, the second disabled, and the button.
  for (py::object* lb : {&af::device_listbox, &af::exclude_listbox})
    EXPECT_EQ(str(lb->attr("size")()) + cget(*lb, "height") + cget(*lb, "selectmode"), "00multiple");
  EXPECT_EQ(cget(af::exclude_listbox, "state"), "disabled");
  EXPECT_EQ(cget(af::device_label, "text") + cget(af::exclude_label, "text") + cget(af::exclude_devices_button, "text"),
            "DevicesExclusionsExclude");
  // Ten labelled slots, empty read-only entries, no Hold.
  EXPECT_EQ(cget(af::profile_key_label, "text") + cget(af::profile_mode_label, "text"), "KeyHold");
  for (int i = 0; i < 10; ++i)
    EXPECT_EQ(cget(af::profile_labels[i], "text") + cget(af::profile_entries[i], "state") +
                  str(af::profile_entries[i].attr("grid_info")()["row"]),
              "Profile " + std::to_string(i + 1) + "readonly" + std::to_string(i + 2));
  EXPECT_EQ(profile_texts() + holds(), "|||||||||0000000000");
  EXPECT_EQ(cget(af::save_profile_keys_button, "text"), "Save changes");
  // Each Display scale has room for its label, and the About window for its
  // text, at every text size (built anew in a font no other widget holds, so
  // it takes the new scaling).
  af::text_font = py::make_tuple("-family", "Ebrima", "-size", 10, "-weight", "bold");
  py::object need = eval("lambda s: s.tk.call('font', 'measure', s['font'], '-displayof', s, s['label']) + "
                         "s.tk.call('font', 'metrics', s['font'], '-displayof', s, '-ascent') // 2");
  for (int size = 25; size <= 250; size += 25) {
    for (py::object* w : {&af::display_window, &af::help_window, &af::about_window}) w->attr("destroy")();
    af::root.attr("tk").attr("call")("tk", "scaling", af::tk_scaling_for(size));
    af::build_display_window();
    for (py::object* s : {&af::frame_slider, &af::sample_slider, &af::gui_scale_slider})
      EXPECT_LE(need(*s).cast<int>(), py::int_(s->attr("cget")("length")).cast<int>()) << size << cget(*s, "label");
    af::build_help_windows();
    for (const char* d : {"winfo_reqwidth", "winfo_reqheight"})
      EXPECT_LE(af::awl1.attr(d)().cast<int>(), af::about_window.attr(d)().cast<int>()) << size << d;
  }
}

TEST_F(ToolWindows, ToggleKeyCaptureNamedUnnamedAndSpecialKeys) {
  struct Step {
    const char* keysym;
    int temp;
    const char* shown;
  } steps[] = {
      {"a", 65, "a"},        {"F1", 112, "F1"},     {"KP_1", 112, "F1"},    {"Tab", 112, "F1"},
      {"Return", 112, "F1"}, {"space", 32, "Space"}, {"Next", 34, "PgDown"}, {"Escape", 0, ""},
      {"Shift_L", 16, "Shift"}, {"Control_L", 17, "Ctrl"}, {"A", 65, "a"},
  };
  af::show_toggle_window();
  EXPECT_TRUE(min_is_size(af::toggle_window));
  // Tk records a widget's focus once the widget is on screen.
  ASSERT_TRUE(pump_until([] { return af::toggle_sensX_entry.attr("winfo_viewable")().cast<bool>(); }));
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
  // Return in a sensitivity entry does the same.
  af::toggle_sensX_entry.attr("focus")();
  ASSERT_TRUE(af::toggle_window.attr("focus_lastfor")().equal(af::toggle_sensX_entry));
  af::toggle_entries_return(py::none());
  EXPECT_TRUE(af::toggle_window.attr("focus_lastfor")().equal(af::toggle_window));
  // A captured, unsaved key goes with the main window's Apply after a hide.
  af::set_toggle_key(key("F5"));
  af::hide_toggle_window();
  EXPECT_EQ(wstate(af::toggle_window), "withdrawn");
  af::pressed_apply();
  EXPECT_EQ(af::toggleKey, 116);
  // The applied key's name: none for 0 or a code without a name.
  const std::pair<int, const char*> names[] = {{0, ""}, {96, ""}, {65, "a"}, {143, "F32"}, {32, "Space"}};
  for (auto [code, name] : names) {
    af::toggleKey = code;
    EXPECT_EQ(af::get_tog_key_string(), name) << code;
  }
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
}

TEST_F(ToolWindows, RevertRewritesTheWindowWhichStaysEditableAndShowsTheKeyTheNextApplyTakes) {
  // Applied and confirmed: F1, Toggle on Mouse 2, sensitivities whose
  // Python texts ("1e+16", "-inf") the entry validation refuses.
  af::tmm_variable.attr("set")("Toggle");
  af::tbm_variable.attr("set")("Mouse 2");
  set_sens("1e16", "-1e999");
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

  EXPECT_EQ(str(af::tmm_variable.attr("get")()) + str(af::tbm_variable.attr("get")()), "ToggleMouse 2");
  EXPECT_EQ(text_of(af::tog_key_entry), "F1");
  EXPECT_EQ(af::temp_toggleKey, 112);
  EXPECT_EQ(text_of(af::toggle_sensX_entry) + "|" + text_of(af::toggle_sensY_entry), "1e16|-1e999");
  for (py::object* e : {&af::toggle_sensX_entry, &af::toggle_sensY_entry})
    EXPECT_EQ(cget(*e, "state") + cget(*e, "validate"), "normalkey");
  // Typing works again, and the validation still refuses other characters.
  af::toggle_sensY_entry.attr("insert")("end", "x");
  af::toggle_sensX_entry.attr("delete")(0, "end");
  af::toggle_sensX_entry.attr("insert")(0, "-1.5");
  EXPECT_EQ(text_of(af::toggle_sensX_entry) + "|" + text_of(af::toggle_sensY_entry), "-1.5|-1e999");
  save_and_confirm();
  EXPECT_EQ(af::toggleKey, 112);
  EXPECT_EQ(af::toggleMode, 2);
  EXPECT_EQ(py::float_(af::toggleSensX).cast<double>(), -1.5);
  EXPECT_EQ(py::float_(af::toggleSensY).cast<double>(), -INFINITY);
}

TEST_F(ToolWindows, DevicesShowHideAndTheExcludeNotice) {
  af::show_devices_window();
  af::show_devices_window();
  EXPECT_EQ(wstate(af::devices_window), "normal");
  EXPECT_TRUE(min_is_size(af::devices_window));
  af::exclude_listbox.attr("insert")(0, "refused");  // disabled: takes nothing
  EXPECT_EQ(af::exclude_listbox.attr("size")().cast<int>(), 0);
  af::exclude_devices_button.attr("invoke")();
  ASSERT_EQ(af::dialogs::recorded().size(), 1u);
  const auto& box = af::dialogs::recorded().back();
  EXPECT_EQ(box.kind + "|" + box.title, "info|Exclude devices");
  EXPECT_TRUE(box.parented);
  EXPECT_EQ(box.message,
            "Add each listed device you wish to exlude to     \n\n"
            "Multi-String Value named 'ExcludeFromArcflex' under:     \n\n"
            "Computer\\HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\afmouse\\Parameters     \n\n"
            "in the registry.     \n\nYou must restart before changes take effect.");
  af::hide_devices_window();
  EXPECT_EQ(wstate(af::devices_window), "withdrawn");
}

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
    EXPECT_EQ(std::vector<int>({af::shift_req[i], af::ctrl_req[i], af::alt_req[i]}),
              std::vector<int>({s.sreq, s.creq, s.areq}))
        << s.keysym;
    EXPECT_EQ(af::current_profile, s.current) << s.keysym;
    EXPECT_EQ(text_of(af::profile_entries[i]), s.shown) << s.keysym;
    EXPECT_EQ(af::get_key_string(s.slot), s.shown) << s.keysym;
    EXPECT_EQ(cget(af::profile_entries[i], "state"), "readonly") << s.keysym;
  }
  // Esc cleared slot 0's Hold and mode; slot 3 keeps its own.
  EXPECT_EQ(holds(), "0001000000");
  EXPECT_EQ(af::profile_hotkey_modes[0], 0);
  // A code without a name shows nothing even with modifiers; no such slot.
  af::profile_hotkeys[4] = 96;
  af::shift_req[4] = 1;
  EXPECT_EQ(af::get_key_string(4) + af::get_key_string(10) + af::get_key_string(-1), "");

  // The curve file is rewritten unless the slot has its own ("p<n>.dat").
  const fs::path pdat = settings_folder() / "p.dat";
  const std::string written = aftest::read_file(pdat);
  ASSERT_FALSE(written.empty());
  fs::remove(pdat);
  af::set_profile_key(key("b"), 0);
  EXPECT_EQ(aftest::read_file(pdat), written);
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
  EXPECT_EQ(text_of(af::profile_entries[3]) + cget(af::profile_entries[3], "state"), "readonly");
}

TEST_F(ToolWindows, ClosingTheProfilesWindowReadsTheKeysFile) {
  const fs::path keys = settings_folder() / "keys.dat";
  const std::string z9 = " 0 0 0 0 0 0 0 0 0", z10 = "0" + z9;
  struct Case {
    const char* what;
    std::optional<std::string> file;  // nullopt: no file
    const char *shown, *hold;
    size_t keys_size;
    bool fifo = false;  // a FIFO in the file's place, which no one writes to
  } cases[] = {
      {"five lines", "112" + z9 + "\n" + z10 + "\n1" + z9 + "\n" + z10 + "\n" + z10 + "\n", "Shift + F1|||||||||",
       "0000000000", 10},
      {"blanks, line ends, a sixth line", "  112\t 65 \r\n\r1 0 1\r\n0 1\n\nnot read\n", "Shift + F1|Ctrl + a||||||||",
       "0000000000", 10},
      {"missing", std::nullopt, "|||||||||", "0000000000", 10},
      {"empty", "", "|||||||||", "0000000000", 10},
      {"short", "116 65\n1\n", "F5|a||||||||", "1000000000", 10},
      {"long", z9.substr(1) + " 65 66 67\n" + z9.substr(1) + " 1 1 1\n", "|||||||||a", "0000000001", 12},
      {"truncated", "2.9 112\n\n0 -1\n", "|Shift + F1||||||||", "0000000000", 10},
      {"huge", "1e400 -99999999999999999999\n1\n", "|||||||||", "1000000000", 10},
      {"bad", "112 0\n1 1\n0 x\n", "|||||||||", "0000000000", 10},
      {"not finite", "112 inf\n1\n", "|||||||||", "0000000000", 10},
      {"the Alt row", "65 66 67\n\n0 0 1\n1 0 1\n0 1 1\n", "Ctrl + a|Alt + b|Shift + Ctrl + Alt + c|||||||",
       "0000000000", 10},
      // Five lines of ten number texts (65 bytes each) are the most read.
      {"at the bound", "112" + std::string(3247, ' '), "F1|||||||||", "0000000000", 10},
      {"beyond the bound", "112" + std::string(3248, ' '), "|||||||||", "0000000000", 10},
      {"a long line", std::string(1 << 22, ' ') + "112\n", "|||||||||", "0000000000", 10},
      {"a FIFO", std::nullopt, "|||||||||", "0000000000", 10, true},
  };
  for (const Case& c : cases) {
    // Keys and Hold boxes on first, so a reset shows.
    af::profile_hotkeys.assign(10, 65);
    af::profile_hotkey_modes.assign(10, 1);
    fs::remove(keys);
    if (c.file) aftest::write_file(keys, *c.file);
    if (c.fifo) {
      ASSERT_EQ(mkfifo(keys.c_str(), 0600), 0);
    }
    af::show_profile_window();
    af::hide_profile_window();
    EXPECT_EQ(wstate(af::profile_window), "withdrawn") << c.what;
    EXPECT_EQ(profile_texts(), c.shown) << c.what;
    EXPECT_EQ(holds(), c.hold) << c.what;
    EXPECT_EQ(af::profile_hotkeys.size(), c.keys_size) << c.what;
    for (auto* l : {&af::profile_hotkey_modes, &af::shift_req, &af::ctrl_req, &af::alt_req})
      EXPECT_GE(l->size(), 10u) << c.what;
    if (std::string(c.what) == "huge") {
      EXPECT_EQ(std::make_pair(af::profile_hotkeys[0], af::profile_hotkeys[1]), std::make_pair(INT_MAX, INT_MIN));
    }
  }
  // A folder in the file's place reads as no keys; the window still closes.
  fs::remove(keys);
  fs::create_directory(keys);
  af::show_profile_window();
  af::hide_profile_window();
  EXPECT_EQ(profile_texts(), "|||||||||");
  EXPECT_EQ(wstate(af::profile_window), "withdrawn");
}

}  // namespace
