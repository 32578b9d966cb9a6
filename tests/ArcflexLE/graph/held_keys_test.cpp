// Held keys and letter shortcuts through real key events: XTest presses on
// a private X server with auto-repeat on, read by the editor's Tk. A held
// key makes one step on the graph and in the edit-point window, and the
// shortcuts follow the key's place under non-Latin layouts and the printed
// letter under Dvorak.
#include "apply_cycle.h"
#include "curve.h"
#include "edit_windows.h"
#include "graph.h"
#include "graph_edit.h"
#include "gui_fixture.h"
#include "key_input.h"
#include "points.h"
#include "toggle_window.h"
#include "link_windows.h"
#include "private_xserver.h"

#include <cmath>
#include <cstdlib>
#include <functional>

// After the test headers: Xlib's macros (None, Bool) would break them.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

using namespace guitest;

namespace {

// X key code (evdev + 8) of the key a US keyboard prints a letter or "=" on.
int us_place(char c) {
  const std::string rows[] = {"qwertyuiop", "asdfghjkl", "zxcvbnm"};
  const int first[] = {24, 38, 52};
  for (int r = 0; r < 3; ++r)
    if (auto i = rows[r].find(c); i != std::string::npos) return first[r] + static_cast<int>(i);
  return c == '=' ? 21 : 0;
}

// The test's own connections to the private server: one held open for the
// whole test (the server resets its keyboard when its last client leaves),
// one that fakes key presses and pointer motion, reopened to read a new
// layout. Auto-repeat is quick for held keys, off for taps (slow ones repeat).
class Keyboard {
 public:
  Keyboard(const std::string& name, bool repeat) : name_(name), keep_(XOpenDisplay(name.c_str())), repeat_(repeat) {
    reopen();
  }
  ~Keyboard() {
    if (d_) XCloseDisplay(d_);
    if (keep_) XCloseDisplay(keep_);
  }
  bool ok() const { return keep_ && d_; }
  // Sets the layout with setxkbmap's arguments and locks its keyboard
  // group `group` (0: the first); true when both were sent.
  bool set_layout(const std::string& args, int group) {
    if (std::system(("setxkbmap -display " + name_ + " " + args).c_str()) != 0) return false;
    reopen();
    group_ = group;
    return d_ && XkbLockGroup(d_, XkbUseCoreKbd, static_cast<unsigned>(group));
  }
  void key(int code, bool down) {
    XTestFakeKeyEvent(d_, static_cast<unsigned>(code), down ? True : False, CurrentTime);
    XFlush(d_);
  }
  void move(int x, int y) {
    XTestFakeMotionEvent(d_, -1, x, y, CurrentTime);
    XFlush(d_);
  }
  // The key of a Latin letter or "=" in the locked group, else its place on
  // a US keyboard.
  int code_of(char c) {
    const char name[] = {c, '\0'};
    const KeySym sym = XStringToKeysym(c == '=' ? "equal" : name);
    for (int k = 8; k < 256; ++k)
      if (XkbKeycodeToKeysym(d_, static_cast<KeyCode>(k), group_, 0) == sym) return k;
    return us_place(c);
  }

 private:
  void reopen() {
    if (d_) XCloseDisplay(d_);
    d_ = XOpenDisplay(name_.c_str());
    if (!d_) return;
    if (repeat_) {
      XAutoRepeatOn(d_);
      XkbSetAutoRepeatRate(d_, XkbUseCoreKbd, 150, 80);
    } else {
      XAutoRepeatOff(d_);
    }
    XSync(d_, False);
  }
  std::string name_;
  Display* keep_;
  bool repeat_;
  int group_ = 0;
  Display* d_ = nullptr;
};

void settle(int rounds = 20) { pump_rounds(rounds); }

// Starts the editor on the private server with a known curve and view, and
// records every key event Tk delivers and every full redraw.
void start_on(const std::string& display) {
  setenv("DISPLAY", display.c_str(), 1);
  start_recorded();
  arcflex::root.attr("geometry")("+0+0");
  settle(30);
  run(R"(
key_log = []
root.bind_all("<KeyPress>", lambda e: key_log.append(("press", e.keycode, e.keysym)), add="+")
root.bind_all("<KeyRelease>", lambda e: key_log.append(("release", e.keycode, e.keysym)), add="+")
draws = [0]
canvas.mpl_connect("draw_event", lambda e: draws.__setitem__(0, draws[0] + 1))
)");
  arcflex::zoom_to_location = 0;
}

void set_curve(std::vector<double> xs, std::vector<double> ys) {
  using namespace arcflex;
  py::list lx, ly, lc;
  for (double v : xs) lx.append(v);
  for (double v : ys) ly.append(v);
  for (size_t i = 0; i < xs.size(); ++i) lc.append(0);
  corners = lc;
  set_xy(lx, ly);
  set_line_markers();
  redefine_spline();
  update_spline();
  xbounds = {0, 50};
  ybounds = {0, 2};
  check_viewbounds();
}

size_t seen(const char* kind, int code) {
  return eval("sum(1 for k, c, s in key_log if k == '" + std::string(kind) + "' and c == " + std::to_string(code) +
              ")")
      .cast<size_t>();
}
// Of the press: Tk names a release by the key's symbol in the first group.
std::string last_press_keysym() { return eval("[s for k, c, s in key_log if k == 'press'][-1]").cast<std::string>(); }
int draws() { return eval("draws[0]").cast<int>(); }
size_t point_count() { return py::len(arcflex::xy); }

// Screen position of a data point on the shown canvas.
std::pair<int, int> screen_of(double x, double y) {
  py::object w = arcflex::canvas.attr("get_tk_widget")();
  auto d = eval("list(ax.transData.transform((" + std::to_string(x) + ", " + std::to_string(y) + ")))")
               .cast<std::vector<double>>();
  int h = w.attr("winfo_height")().cast<int>();
  return {w.attr("winfo_rootx")().cast<int>() + static_cast<int>(std::lround(d[0])),
          w.attr("winfo_rooty")().cast<int>() + h - static_cast<int>(std::lround(d[1]))};
}

// Moves the pointer onto a data point of the graph (or anywhere off it).
void point_at(Keyboard& kb, double x, double y) {
  auto [sx, sy] = screen_of(x, y);
  kb.move(sx, sy);
  settle();
}
void point_off_graph(Keyboard& kb) {
  kb.move(5, 990);
  settle();
}

void focus_canvas() {
  arcflex::canvas.attr("get_tk_widget")().attr("focus_force")();
  settle();
}

// Holds a key until the server has repeated it three times, lets it go, and
// lets the editor handle everything that came.
void hold(Keyboard& kb, int code) {
  const size_t p0 = seen("press", code), r0 = seen("release", code);
  kb.key(code, true);
  ASSERT_TRUE(pump_until([&] { return seen("press", code) >= p0 + 4; })) << "key " << code << " did not repeat";
  kb.key(code, false);
  ASSERT_TRUE(pump_until([&] {
    size_t r = seen("release", code) - r0;
    return r >= 1 && (arcflex::presses_only_repeat || r == seen("press", code) - p0);
  }));
  settle();
}

// A short press and release; `during` is checked while the key is down.
void tap(Keyboard& kb, int code, const std::function<bool()>& during = {}) {
  const size_t p0 = seen("press", code), r0 = seen("release", code);
  kb.key(code, true);
  ASSERT_TRUE(pump_until([&] { return seen("press", code) > p0; }));
  if (during) {
    EXPECT_TRUE(pump_until(during, 400)) << "while key " << code << " is down";
  }
  kb.key(code, false);
  ASSERT_TRUE(pump_until([&] { return seen("release", code) > r0; }));
  settle();
  EXPECT_EQ(seen("press", code), p0 + 1) << "key " << code << " repeated";
}

// ---- held keys -------------------------------------------------------------

class HeldKeys : public ::testing::TestWithParam<bool> {};

TEST_P(HeldKeys, OnePointOneZoomStepAndOneRedrawPerHold) {
  // Real key events go to whichever window has the focus: a server of our
  // own, living until the process ends, after the editor's windows.
  static aftest::PrivateXServer x_server("1600x1000x24");
  ASSERT_FALSE(x_server.name().empty()) << "no private X server";
  Keyboard kb(x_server.name(), true);
  ASSERT_TRUE(kb.ok());
  start_on(x_server.name());
  // Without presses-only repeat the server sends release/press pairs and
  // the repeat filters must drop them.
  if (!GetParam()) arcflex::use_presses_only_repeat(false);
  ASSERT_EQ(arcflex::presses_only_repeat, GetParam());
  set_curve({0, 10, 30, 40}, {0.5, 1, 1, 1});
  focus_canvas();
  point_at(kb, 20, 1);

  // A over a segment: one point added there.
  const size_t n = point_count();
  hold(kb, kb.code_of('a'));
  ASSERT_EQ(point_count(), n + 1);
  EXPECT_NEAR(arcflex::xy[py::int_(2)][py::int_(0)].cast<double>(), 20, 0.2);

  // =: one zoom step, the one the wheel makes.
  const auto x0 = arcflex::xbounds, y0 = arcflex::ybounds;
  hold(kb, kb.code_of('='));
  const auto x1 = arcflex::xbounds, y1 = arcflex::ybounds;
  arcflex::xbounds = x0;
  arcflex::ybounds = y0;
  arcflex::zoom_step(true, py::none(), py::none());
  EXPECT_NE(arcflex::xbounds, x0);
  EXPECT_EQ(x1, arcflex::xbounds);
  EXPECT_EQ(y1, arcflex::ybounds);
  settle();

  // H on the main window: one redraw to hide the points, one to show them.
  int d0 = draws();
  hold(kb, kb.code_of('h'));
  EXPECT_EQ(draws(), d0 + 2);
  EXPECT_TRUE(arcflex::show_points);
  EXPECT_FALSE(arcflex::h_pressed);

  // H in the edit-point window: its presses act on nothing, its one
  // release shows everything with one redraw.
  arcflex::show_edit_window(100, 100);
  settle();
  arcflex::edit_window.attr("focus_force")();
  settle();
  d0 = draws();
  hold(kb, kb.code_of('h'));
  EXPECT_EQ(draws(), d0 + 1);
  EXPECT_FALSE(arcflex::h_pressed);
}

INSTANTIATE_TEST_SUITE_P(Repeat, HeldKeys, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "PressesOnly" : "ReleasePressPairs"; });

// ---- layouts ---------------------------------------------------------------

struct Layout {
  const char* name;
  const char* setxkbmap;
  const char* a_keysym;  // what the A key (Dvorak: the a key) reads
  const char* captured;  // the names the toggle key capture gives the US keys , . / [
  int group = 0;         // the locked keyboard group
};

class Layouts : public ::testing::TestWithParam<Layout> {};

TEST_P(Layouts, LetterShortcutsFollowTheKey) {
  static aftest::PrivateXServer x_server("1600x1000x24");
  ASSERT_FALSE(x_server.name().empty()) << "no private X server";
  const Layout& layout = GetParam();
  Keyboard kb(x_server.name(), false);
  ASSERT_TRUE(kb.ok());
  ASSERT_TRUE(kb.set_layout(layout.setxkbmap, layout.group));
  start_on(x_server.name());
  set_curve({0, 10, 30, 40}, {0.5, 1, 1, 1});
  focus_canvas();
  // The pointer off the graph: the canvas's own keys do nothing there.
  point_off_graph(kb);

  using namespace arcflex;
  tap(kb, kb.code_of('a'));
  EXPECT_EQ(last_press_keysym(), layout.a_keysym) << "the layout is not in use";

  // The held-key modes, each on while its key is down and off after.
  const std::vector<std::pair<char, std::function<bool()>>> held{
      {'g', [] { return g_pressed; }},
      {'b', [] { return b_pressed; }},
      {'x', [] { return lock_on_x; }},
      {'y', [] { return lock_on_y; }},
      {'z', [] { return z_i_f == 0.75; }},
      {'h', [] { return !show_points; }},
      {'n', [] { return !show_line; }},
      {'j', [] { return show_marker; }},
      {'r', [] { return rescaled_view; }},
  };
  for (const auto& [letter, on] : held) {
    tap(kb, kb.code_of(letter), on);
    EXPECT_FALSE(on()) << letter << " after its release";
  }

  // The canvas's keys at the pointer: A adds, E adds an edge point, D
  // deletes, = zooms.
  set_curve({0, 10, 30, 40}, {0.5, 1, 1, 1});
  const struct {
    char letter;
    double x;
    size_t points;
  } at_pointer[] = {{'a', 20, 5}, {'e', 35, 6}, {'d', 10, 5}};
  for (const auto& k : at_pointer) {
    point_at(kb, k.x, 1);
    tap(kb, kb.code_of(k.letter));
    EXPECT_EQ(point_count(), k.points) << k.letter;
  }
  EXPECT_EQ(corners.cast<std::vector<int>>(), (std::vector<int>{0, 0, 0, 1, 0}));
  const double width = xbounds.second - xbounds.first;
  tap(kb, kb.code_of('='));
  EXPECT_LT(xbounds.second - xbounds.first, width);

  // T aligns the tail, M copies the active curve, Ctrl-D the defaults
  // (last: they start an apply, which suspends the graph).
  point_off_graph(kb);
  set_curve({0, 10, 30, 40}, {0.5, 1, 1, 3});
  tap(kb, kb.code_of('t'));
  EXPECT_NEAR(xy[py::int_(3)][py::int_(1)].cast<double>(), 1, 0.01);
  set_curve({0, 5, 40}, {0.5, 1, 1});
  tap(kb, kb.code_of('m'));
  EXPECT_EQ(line.attr("get_xdata")().cast<std::vector<double>>(),
            active_line.attr("get_xdata")().cast<std::vector<double>>());
  set_curve({0, 12, 30, 45}, {0.5, 1, 1, 1});
  ctrl_key = true;
  tap(kb, kb.code_of('d'));
  ctrl_key = false;
  Curve defaults = get_default_points();
  EXPECT_EQ(line.attr("get_xdata")().cast<std::vector<double>>(), defaults.x.cast<std::vector<double>>());
  EXPECT_EQ(line.attr("get_ydata")().cast<std::vector<double>>(), defaults.y.cast<std::vector<double>>());
}

// The toggle key capture of real key presses names the key as Windows
// does under that layout: a layout of another script names every key by
// its US place, shifted or not; Shift+Tab and keypad Enter are Tab and
// Enter (the focus moves on, the key stays), AltGr is Alt, F13 to F24
// have their names.
TEST_P(Layouts, KeyCaptureNamesTheKeyAsWindowsDoes) {
  static aftest::PrivateXServer x_server("1600x1000x24");
  ASSERT_FALSE(x_server.name().empty()) << "no private X server";
  const Layout& layout = GetParam();
  Keyboard kb(x_server.name(), false);
  ASSERT_TRUE(kb.ok());
  ASSERT_TRUE(kb.set_layout(std::string(layout.setxkbmap) + " -option lv3:ralt_switch", layout.group));
  start_on(x_server.name());
  using namespace arcflex;
  show_toggle_window();
  tog_key_entry.attr("bind")("<KeyPress>", py::cpp_function([](py::object e) { set_toggle_key(e); }));
  auto focus_entry = [] {
    tog_key_entry.attr("focus_force")();
    settle();
  };
  focus_entry();
  tap(kb, kb.code_of('a'));
  EXPECT_EQ(last_press_keysym(), layout.a_keysym) << "the layout is not in use";

  const int shift = 50, tab = 23, kp_enter = 104, altgr = 108, f13 = 191, f24 = 202;
  auto us = [&](int i) { return std::string(1, layout.captured[i]); };
  const struct {
    int modifier, key;  // X key codes; modifier 0: none
    std::string shown;
    bool focus_moves;
  } steps[] = {{0, 59, us(0), false},      {0, 60, us(1), false},         {0, 61, us(2), false},
               {shift, 61, us(2), false},  {shift, 34, us(3), false},     {shift, 13, "4", false},
               {0, 49, "`", false},        {shift, 51, "\\", false},     {0, f13, "F13", false},
               {0, f24, "F24", false},     {shift, tab, "Shift", true},   {0, kp_enter, "Shift", true},
               {0, altgr, "Alt", false}};
  for (const auto& s : steps) {
    SCOPED_TRACE(std::to_string(s.modifier) + "+" + std::to_string(s.key));
    // Not tap(): Tk's own Tab binding keeps Tab from the key log.
    if (s.modifier) kb.key(s.modifier, true);
    kb.key(s.key, true);
    settle();
    kb.key(s.key, false);
    if (s.modifier) kb.key(s.modifier, false);
    settle();
    EXPECT_EQ(py::str(tog_key_entry.attr("get")()).cast<std::string>(), s.shown);
    EXPECT_NE(toggle_window.attr("focus_get")().is(tog_key_entry), s.focus_moves);
    focus_entry();
  }
}

INSTANTIATE_TEST_SUITE_P(Keyboard, Layouts,
                         ::testing::Values(Layout{"Russian", "-layout ru", "Cyrillic_ef", ",./["},
                                           Layout{"Greek", "-layout gr", "Greek_alpha", ",./["},
                                           Layout{"Hebrew", "-layout il", "hebrew_shin", ",./["},
                                           Layout{"Dvorak", "-layout us -variant dvorak", "a", "wvz/"},
                                           // Russian in the second group, after a non-US Latin one
                                           Layout{"RussianAfterBrazilian", "-layout br,ru", "Cyrillic_ef", ",./[", 1}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- canvas key names --------------------------------------------------------

TEST(CanvasKeyName, NonLatinLettersReadAsTheLatinLetterOfTheirKey) {
  py::exec(R"(
import types
def key_event(key, keycode=None, keysym=None):
    gui = None if keycode is None else types.SimpleNamespace(keycode=keycode, keysym=keysym, time=0)
    return types.SimpleNamespace(key=key, guiEvent=gui)
)");
  const std::vector<std::pair<const char*, const char*>> cases{
      {"key_event('ф', 38, 'Cyrillic_ef')", "a"},
      {"key_event('Ф', 38, 'Cyrillic_EF')", "A"},
      {"key_event('ctrl+в', 40, 'Cyrillic_ve')", "ctrl+d"},
      {"key_event('ctrl+alt+у', 26, 'Cyrillic_u')", "ctrl+alt+e"},
      {"key_event('α', 38, 'Greek_alpha')", "a"},
      {"key_event('cyrillic_ef', 38, 'Cyrillic_ef')", "a"},
      {"key_event('cyrillic_ef', 38, 'Cyrillic_EF')", "A"},
      {"key_event('ctrl+greek_alpha', 38, 'Greek_alpha')", "ctrl+a"},
      {"key_event('hebrew_shin', 38, 'hebrew_shin')", "a"},
      {"key_event('escape', 9, 'Escape')", "escape"},
      {"key_event('cyrillic_zhe', 47, 'Cyrillic_zhe')", "cyrillic_zhe"},
      {"key_event('ש', 38, 'hebrew_shin')", "a"},
      {"key_event('a', 38, 'a')", "a"},
      {"key_event('o', 39, 'o')", "o"},  // Dvorak: the printed letter
      {"key_event('+', 21, 'plus')", "+"},
      {"key_event('ctrl++', 21, 'plus')", "ctrl++"},
      {"key_event('é', 11, 'eacute')", "é"},  // the digit row: no letter
      {"key_event('ж', 47, 'Cyrillic_zhe')", "ж"},
      {"key_event('ф')", "ф"},  // no Tk event to read the key from
      {"key_event(None, 38, 'Cyrillic_ef')", ""},
  };
  for (const auto& [expr, name] : cases)
    EXPECT_EQ(arcflex::canvas_key_name(py::eval(expr, py::globals())), name) << expr;
}

}  // namespace
