// The DPI conversion and the scaling by factors (accepted with their
// revert, refused, silent, while a change is pending), the windows that
// hold them, the Scaling Percentage window's value and the tooltip.
#include <platform/pipe.h>

#include <atomic>
#include <climits>
#include <cmath>
#include <functional>
#include <mutex>

#include "apply_cycle.h"
#include "curve.h"
#include "gui_fixture.h"
#include "link_windows.h"
#include "scale_tools.h"
#include "scale_windows.h"
#include "settings_files.h"
#include "state_scale.h"
#include "tools.h"

namespace {

using namespace guitest;
namespace af = arcflex;
using Texts = std::vector<std::string>;
using Values = std::vector<double>;

// Takes the commands sent on the meter's pipe in place of a meter.
class PipeStub {
 public:
  PipeStub() : server_(afp::PipeServer::create("Arcflex_Pipe")) {
    thread_ = std::thread([this] {
      for (char buf[16]; !stop_ && server_->accept(); server_->disconnect()) {
        std::int64_t n = server_->read(buf, sizeof buf);
        std::lock_guard<std::mutex> l(m_);
        if (n > 0) commands_.emplace_back(buf, static_cast<size_t>(n));
      }
    });
  }
  ~PipeStub() {
    stop_ = true;
    afp::pipe_send("Arcflex_Pipe", "stop");
    thread_.join();
  }
  Texts commands(size_t at_least = 0) {  // waits for at_least commands
    auto get = [this] {
      std::lock_guard<std::mutex> l(m_);
      return commands_;
    };
    pump_until([&] { return get().size() >= at_least; });
    return get();
  }

 private:
  std::unique_ptr<afp::PipeServer> server_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex m_;
  Texts commands_;
};

Values floats(py::handle seq) {
  Values v;
  for (py::handle e : seq) v.push_back(py::float_(py::reinterpret_borrow<py::object>(e)).cast<double>());
  return v;
}
std::string text_of(py::handle w) { return py::str(w.attr("get")()).cast<std::string>(); }
std::string option(py::handle w, const char* name) { return py::str(w.attr("cget")(name)).cast<std::string>(); }
std::string state_of(py::handle w) { return py::str(w.attr("state")()).cast<std::string>(); }
int pointer(const char* axis) { return af::root.attr(axis)().cast<int>(); }
void set_text(py::handle entry, const std::string& text) {
  entry.attr("delete")(0, "end");
  entry.attr("insert")(0, text);
}
// Python's own arithmetic as the oracle: [v <op> f for v in seq].
Values each(py::handle seq, const std::string& op, double f) {
  return floats(py::eval("[v " + op + " f for v in seq]", py::dict("seq"_a = seq, "f"_a = f)));
}
Texts boxes() {
  Texts out;
  for (const auto& r : af::dialogs::recorded()) out.push_back(r.title + ": " + r.message);
  af::dialogs::clear_recorded();
  return out;
}

// The curves, "p.dat", the undo snapshot, the "load" count, the suspension.
struct Observed {
  std::vector<Values> curves;  // horizontal x, y, vertical x, y, edited line x, y
  PyObject* undo_snapshot;
  std::string pdat;
  size_t loads;
  bool suspended;
  bool operator==(const Observed&) const = default;
};

class ScaleTools : public ::testing::Test {
 protected:
  void SetUp() override {
    start_recorded();
    pipe_ = std::make_unique<PipeStub>();
    // A vertical curve unlike the horizontal one, so each is seen converted.
    af::vertical_x = eval("[0, 20, 50, 60]");
    af::vertical_y = eval("[0.25, 0.75, 1.5, 2]");
    af::vertical_corners = eval("[0, 1, 0, 0]");
    af::set_axis_mode(py::int_(0));
    af::write_curve();
    // Focus and stacking calls on the DPI, Metric and main windows are
    // recorded (X11 without a window manager reports no "-topmost" back).
    py::dict g("windows"_a = py::make_tuple(af::dpi_window, af::metric_window, af::root));
    py::exec(R"(
calls = []
def recording(name, real):
    return lambda *args: (calls.append(" ".join(str(a) for a in (name,) + args)), real(*args))[1]
for w, label in zip(windows, ("dpi", "metric", "root")):
    for n in ("focus_set", "focus_force", "lift", "wm_attributes"):
        setattr(w, n, recording(label + " " + n, getattr(w, n)))
)", g);
    calls_ = g["calls"];
    start_ = observe();
  }
  Observed observe() {
    return {{floats(af::horizontal_x), floats(af::horizontal_y), floats(af::vertical_x), floats(af::vertical_y),
             floats(af::line.attr("get_xdata")()), floats(af::line.attr("get_ydata")())},
            af::revert_horizontal_x.ptr(), pdat(), pipe_->commands().size(),
            af::graph_suspended};
  }
  static std::string pdat() {
    fs::path p = settings_folder() / "p.dat";
    return fs::is_regular_file(p) ? aftest::read_file(p) : "(not a file)";
  }
  Texts window_calls() {
    Texts out = py::cast<Texts>(calls_);
    calls_.attr("clear")();
    return out;
  }
  // Focus, raised, topmost until Tk is next idle; the main window untouched.
  void expect_dpi_window_raised(const std::string& what) {
    EXPECT_EQ(window_calls(), (Texts{"dpi focus_set", "dpi lift", "dpi wm_attributes -topmost True"})) << what;
    af::root.attr("update_idletasks")();
    EXPECT_EQ(window_calls(), Texts{"dpi wm_attributes -topmost False"}) << what;
  }
  // Runs one tool with the two texts in its entries; returns the entries.
  std::pair<py::object, py::object> run_tool(bool dpi, const std::string& first, const std::string& second) {
    py::object a = dpi ? af::old_dpi_entry : af::scale_x_entry, b = dpi ? af::new_dpi_entry : af::scale_y_entry;
    set_text(a, first);
    set_text(b, second);
    dpi ? af::convert_dpi() : af::scale_curve();
    return {a, b};
  }
  std::unique_ptr<PipeStub> pipe_;
  py::object calls_;
  Observed start_;
};

// What the tables below do not reach: the exact value of a long DPI text
// and the texts that Python's float() takes beyond what can be typed.
TEST(ScaleTexts, DpiAndFactorTexts) {
  EXPECT_TRUE(af::dpi_value("07" + std::string(6000, '0')).value().equal(py::eval("7 * 10**6000")));
  for (const char* t : {"-5", "+5", " 800", "1_000", "\xef\xbc\x98", "0x10"}) EXPECT_FALSE(af::dpi_value(t)) << t;
  py::object to_float = py::module_::import("builtins").attr("float");
  for (const char* t : {"1E2", "1e+2", "1e-2", "007", "2.5e1"})
    EXPECT_EQ(af::decimal_value(t).value(), to_float(t).cast<double>()) << t;
  for (const char* t : {"inf", "nan", " 2", "2 ", "0x10", "1_0", "+1", "-1", "1e+", "1..2", "e5", ".e1", "1e2.5"})
    EXPECT_FALSE(af::decimal_value(t).has_value()) << t;
}

TEST(ScaleWindows, BuiltWithdrawnWithTheirWidgets) {
  start_recorded();
  for (py::object* w : {&af::tt_window, &af::scale_window, &af::dpi_window}) EXPECT_EQ(state_of(*w), "withdrawn");
  EXPECT_EQ(py::str(af::dpi_window.attr("title")()).cast<std::string>(), "DPI & Scaling");
  EXPECT_EQ(py::str(af::scale_window.attr("title")()).cast<std::string>(), "Scaling Percentage");
  Texts texts;
  for (py::handle w : af::dpi_window.attr("grid_slaves")()) {
    bool entry = py::isinstance(w, af::tkinter().attr("Entry"));
    texts.insert(texts.begin(), entry ? "[" + text_of(w) + "]" : option(w, "text"));
    EXPECT_EQ(py::len(w.attr("bind")()), 0u);  // no focus or Return handler
  }
  EXPECT_EQ(texts, (Texts{"Old DPI", "[]", "New DPI", "[]", "Convert", "X", "[]", "Y", "[]", "Scale"}));
  EXPECT_EQ(option(af::tt_label, "text") + option(af::tt_label, "background"), "#ffffe0");
  EXPECT_EQ(option(af::scale_percent_label, "text") + " " + text_of(af::scale_entry), "Scale\nFactor 1.04");
  EXPECT_EQ(py::str(af::scale_x_up_button.attr("winfo_manager")()).cast<std::string>(), "");  // never placed
  // The number entries take digits, points and "e" only, a paste as a whole.
  for (py::object* e : {&af::old_dpi_entry, &af::new_dpi_entry, &af::scale_x_entry, &af::scale_y_entry}) {
    for (const char* text : {"12a", "-", "E", " ", "+1", "1200.e"}) e->attr("insert")("end", text);
    EXPECT_EQ(text_of(*e), "1200.e");
    e->attr("delete")(0, "end");
    EXPECT_EQ(text_of(*e), "");
  }
}

// Each change is checked, then cancelled, which brings back the start state.
TEST_F(ScaleTools, AcceptedChangesAndTheirRevert) {
  struct Case {
    bool dpi;                   // convert_dpi, else scale_curve
    std::string first, second;  // old and new DPI, or the X and Y factors
    std::string x_op;           // oracle: x <x_op> xf, y * yf
    double xf, yf;
  } cases[] = {{true, "1600", "800", "/", 2.0, 2.0},
               {true, "800", "1600", "/", 0.5, 0.5},
               {true, "0800", "1600", "/", 0.5, 0.5},
               {true, "900", "700", "/", 900.0 / 700.0, 900.0 / 700.0},
               {true, "16" + std::string(5000, '0'), "8" + std::string(5000, '0'), "/", 2.0, 2.0},
               {false, "2", "", "*", 2.0, 1.0},
               {false, "", "0.5", "*", 1.0, 0.5},
               {false, ".5", "5.", "*", 0.5, 5.0},
               {false, "1e1", "1e0", "*", 10.0, 1.0}};
  for (const auto& c : cases) {
    const std::string what = c.first.substr(0, 8) + "/" + c.second.substr(0, 8);
    // An edit not applied, which a revert must keep.
    af::set_xy(eval("[0, 12, 30, 40]"), eval("[0.5, 0.75, 1, 1]"));
    Observed before = observe();
    const auto& was = before.curves;
    std::vector<Values> want{each(af::horizontal_x, c.x_op, c.xf), each(af::horizontal_y, "*", c.yf),
                             each(af::vertical_x, c.x_op, c.xf),   each(af::vertical_y, "*", c.yf),
                             was[4],                               was[5]};
    // The conversion takes the edited curve along; the scaling leaves it.
    if (c.dpi) {
      want[4] = each(af::line.attr("get_xdata")(), "/", c.xf);
      want[5] = each(af::line.attr("get_ydata")(), "*", c.yf);
    }
    af::match_on_revert = c.dpi ? 0 : 1;

    auto [a, b] = run_tool(c.dpi, c.first, c.second);
    expect_dpi_window_raised(what);
    EXPECT_TRUE(boxes().empty()) << what;
    Observed now = observe();
    EXPECT_EQ(now.curves, want) << what;
    EXPECT_EQ((std::vector<Values>{floats(af::active_line.attr("get_ydata")()), floats(af::x), floats(af::y)}),
              (std::vector<Values>{want[1], want[4], want[5]}))
        << what;
    EXPECT_EQ(floats(af::vertical_corners), (Values{0, 1, 0, 0})) << what;
    EXPECT_EQ(text_of(a) + text_of(b), "") << what;
    EXPECT_EQ(floats(af::revert_vertical_y), was[3]) << what;  // the undo snapshot
    EXPECT_EQ(pipe_->commands(before.loads + 1), Texts(before.loads + 1, "load")) << what;
    EXPECT_TRUE(now.suspended) << what;
    EXPECT_EQ(af::undone * 10 + af::redone, 1) << what;
    // A revert takes the edited curve back only where it was converted.
    EXPECT_EQ(af::match_on_revert, c.dpi ? 2 : 0) << what;
    py::object row = py::eval("' '.join(repr(v) for v in hx) + ' \\r'", py::dict("hx"_a = want[0]));
    EXPECT_EQ(now.pdat.substr(0, now.pdat.find('\n')), row.cast<std::string>()) << what;
    af::write_curve();  // the whole file is that of the new horizontal curve
    EXPECT_EQ(pdat(), now.pdat) << what;

    // The driver takes it, Cancel reverts it, the driver takes the old curve.
    af::driver_successfully_applied_changes = 1;
    ASSERT_TRUE(pump_until([] { return af::cpop.attr("winfo_ismapped")().cast<bool>(); })) << what;
    af::cancel_button.attr("invoke")();
    af::driver_successfully_applied_changes = 1;
    ASSERT_TRUE(pump_until([] { return af::reverting_settings == 0 && !af::graph_suspended; })) << what;
    Observed after = observe();
    EXPECT_EQ(after.curves, was) << what;  // the unapplied edit included
    EXPECT_EQ(after.pdat, start_.pdat) << what;
    EXPECT_EQ(pipe_->commands(before.loads + 2), Texts(before.loads + 2, "load")) << what;
    window_calls();
  }
}

// Refused or skipped: the box named (its start), or none, and nothing
// changed; the last rows hold a "p.dat" that cannot be replaced (the
// curves are put back) and a change still waiting for its confirmation.
TEST_F(ScaleTools, RefusalsAndSilentReturns) {
  auto unwritable = [] {
    fs::remove(settings_folder() / "p.dat");
    fs::create_directory(settings_folder() / "p.dat");
  };
  const char* kFile = "Error applying settings: Cannot write \"";
  const char* kBounds = "Boundary error: Cannot scale out of bounds.";
  const char* kDpi = "Invalid DPI value: Please enter valid DPI values.";
  const char* kNumber = "Invalid value: Please enter a number.";
  struct Case {
    bool dpi;
    std::string first, second;
    const char* box;  // nullptr: a silent return
    bool checked;     // got past the texts: entries emptied, snapshot taken
    std::function<void()> setup = [] {};
  } cases[] = {
      {true, "", "", nullptr, false}, {true, "800", "800", nullptr, false}, {true, "0800", "800", nullptr, false},
      {true, "0", "800", nullptr, false}, {true, "800", "0", nullptr, false},
      {true, std::string(5000, '9'), "0" + std::string(5000, '9'), nullptr, false},
      {true, "800", "", kDpi, false}, {true, "", "800", kDpi, false}, {true, "800.0", "1600", kDpi, false},
      {true, "8e2", "1600", kDpi, false},
      {true, "1600", "800", kBounds, true, [] { af::vertical_y = eval("[0.25, 0.75, 1.5, 5000]"); }},
      {true, "1600", "800", kBounds, true, [] { af::set_xy(eval("[0, 10, 30, 40]"), eval("[0.5, 1, 1, 4500]")); }},
      {true, "1" + std::string(400, '0'), "1", kBounds, true}, {true, "1", "1" + std::string(400, '0'), kBounds, true},
      {false, "", "", nullptr, false}, {false, "1", "", nullptr, false}, {false, "1", "1.0", nullptr, false},
      {false, "1.", "1e0", nullptr, false}, {false, ".", "", kNumber, false}, {false, "", "e", kNumber, false},
      {false, "1e", "2", kNumber, false}, {false, "2", "1.2.3", kNumber, false},
      {false, "150", "", kBounds, true},  // only the vertical tail passes 8192
      {false, "1e400", "", kBounds, true},
      {true, "1600", "800", kFile, true, unwritable}, {false, "2", "", kFile, true, unwritable},
      {true, "1600", "800", nullptr, false, [] { af::graph_suspended = true; }},
      {false, "2", "", nullptr, false, [] { af::graph_suspended = true; }}};
  for (auto& c : cases) {
    const std::string what = c.first.substr(0, 12) + "/" + c.second.substr(0, 12);
    af::vertical_y = eval("[0.25, 0.75, 1.5, 2]");
    af::set_xy(eval("[0, 10, 30, 40]"), eval("[0.5, 1, 1, 1]"));
    af::graph_suspended = false;
    c.setup();
    Observed before = observe();
    auto [a, b] = run_tool(c.dpi, c.first, c.second);
    Texts shown = boxes();
    EXPECT_EQ(shown.size(), c.box ? 1u : 0u) << what;
    if (c.box) {
      EXPECT_EQ(shown.at(0).rfind(c.box, 0), 0u) << shown.at(0);
      expect_dpi_window_raised(what);
    }
    EXPECT_TRUE(window_calls().empty()) << what;
    Observed after = observe();
    EXPECT_EQ(after.undo_snapshot != before.undo_snapshot, c.checked) << what;
    after.undo_snapshot = before.undo_snapshot;
    EXPECT_TRUE(after == before) << what;
    EXPECT_EQ(text_of(a) + "/" + text_of(b), c.checked ? "/" : c.first + "/" + c.second) << what;
  }
}

TEST_F(ScaleTools, MetricApplyEndsByLiftingTheMetricWindow) {
  af::graph_suspended = true;  // while a change waits, nothing happens
  Observed waiting = observe();
  af::apply_metric();
  EXPECT_TRUE(observe() == waiting && af::applied_with_metric == 0 && window_calls().empty());
  af::graph_suspended = false;
  af::apply_metric();
  EXPECT_EQ(pipe_->commands(1), Texts{"load"});
  EXPECT_TRUE(observe().curves == start_.curves && pdat() == start_.pdat);  // the same curve again
  af::driver_successfully_applied_changes = 1;
  ASSERT_TRUE(pump_until([] { return af::cpop.attr("winfo_ismapped")().cast<bool>(); }));
  window_calls();
  af::ok_button.attr("invoke")();
  EXPECT_FALSE(af::graph_suspended);
  EXPECT_EQ(window_calls(), Texts{"metric lift"});
}

// The view cycles 0, 1, 2, 0; a mode outside them goes to 0.
TEST(AxisView, CycleShowsTheNextMode) {
  start_recorded();
  af::vertical_x = eval("[0, 5, 20, 60]");
  const std::tuple<int, int, const char*, double> cases[] = {
      {0, 1, "Horizontal axis", 10}, {1, 2, "Vertical axis", 5}, {2, 0, "Both axes", 10},
      {5, 0, "Both axes", 10},       {-1, 0, "Both axes", 10},   {INT_MAX, 0, "Both axes", 10}};
  for (auto [from, to, label, second_x] : cases) {
    af::axis_mode = from;
    af::cycle_axis_view();
    EXPECT_EQ(af::axis_mode, to) << from;
    EXPECT_EQ(option(af::axes_label, "text"), label) << from;
    EXPECT_EQ(floats(af::active_line.attr("get_xdata")())[1], second_x) << from;  // the curve in front
  }
}

// Shown over the main window, which every Apply raises (as lift_root does).
void lift_root() {
  af::root.attr("lift")();
  af::root.attr("update")();
}
bool above_root(py::handle w) {
  return af::root.attr("tk").attr("call")("wm", "stackorder", w, "isabove", af::root).cast<bool>();
}

TEST(ScaleFactorWindow, ShowBesideThePointerAndHideWithTheValue) {
  start_recorded();
  af::root.attr("event_generate")("<Motion>", "warp"_a = true, "x"_a = 40, "y"_a = 30);
  set_text(af::scale_entry, "1.000000000001");
  af::scale_entry.attr("xview_moveto")(1);
  lift_root();
  af::show_scale_window();
  af::root.attr("update")();
  EXPECT_EQ(af::scale_window.attr("winfo_rootx")().cast<int>(), pointer("winfo_pointerx") + 20);
  EXPECT_EQ(af::scale_window.attr("winfo_rooty")().cast<int>(), pointer("winfo_pointery"));
  EXPECT_TRUE(above_root(af::scale_window));
  EXPECT_EQ(py::tuple(af::scale_entry.attr("xview")())[0].cast<double>(), 0.0);
  af::scale_entry_focus_in();
  EXPECT_EQ(py::str(af::scale_entry.attr("selection_get")()).cast<std::string>(), "1.000000000001");
  struct Case {
    const char* typed;
    double factor;
    const char* shown;  // the entry afterwards
    bool box;
  } cases[] = {{"2.5", 2.5, "2.5", false}, {"1", 1.04, "1.04", true},     {"0.5", 1.04, "1.04", true},
               {"0", 1.04, "1.04", true},  {"1.0001", 1.0001, "1.0001", false}, {"1e1", 10.0, "1e1", false},
               {"", 1.04, "1.04", false},  {"1.2.3", 1.04, "1.04", false}, {"1e400", 1.04, "1.04", false}};
  for (const auto& c : cases) {
    af::scale_factor = 7.0;
    set_text(af::scale_entry, c.typed);
    af::hide_scale_window();
    EXPECT_EQ(af::scale_factor, c.factor) << c.typed;
    EXPECT_EQ(text_of(af::scale_entry), c.shown) << c.typed;
    EXPECT_EQ(boxes(), c.box ? Texts{"Invalid value: Scale factor must be greater than 1"} : Texts{}) << c.typed;
    EXPECT_EQ(state_of(af::scale_window), "withdrawn") << c.typed;
    EXPECT_TRUE(af::root.attr("focus_lastfor")().is(af::rframe)) << c.typed;
  }
}

TEST(DpiWindow, ShowHideFocusAndReturnHandlers) {
  start_recorded();
  af::show_dpi_window();
  af::root.attr("update")();
  EXPECT_TRUE(af::dpi_window.attr("minsize")().equal(
      py::make_tuple(af::dpi_window.attr("winfo_width")(), af::dpi_window.attr("winfo_height")())));
  const std::string text(30, '8');
  auto start = [](py::handle e) { return py::tuple(e.attr("xview")())[0].cast<double>(); };
  // Focus-in selects the whole text; on an empty entry there is nothing.
  for (auto [focus_in, e] : {std::pair{&af::old_dpi_entry_focus_in, &af::old_dpi_entry},
                             {&af::new_dpi_entry_focus_in, &af::new_dpi_entry},
                             {&af::scale_x_entry_focus_in, &af::scale_x_entry},
                             {&af::scale_y_entry_focus_in, &af::scale_y_entry}}) {
    focus_in(py::none());
    EXPECT_FALSE(e->attr("selection_present")().cast<bool>());
    set_text(*e, text);
    focus_in(py::none());
    EXPECT_EQ(py::str(e->attr("selection_get")()).cast<std::string>(), text);
  }
  // Focus-out scrolls both entries of its pair to their start, not the others.
  for (auto [focus_out, a, b, other] :
       {std::tuple{&af::dpi_entries_focus_out, &af::old_dpi_entry, &af::new_dpi_entry, &af::scale_x_entry},
        {&af::scale_xy_entries_focus_out, &af::scale_x_entry, &af::scale_y_entry, &af::old_dpi_entry}}) {
    for (py::object* e : {a, b, other}) e->attr("xview_moveto")(1);
    af::root.attr("update")();
    focus_out(py::none());
    EXPECT_EQ(start(*a) + start(*b), 0.0);
    EXPECT_GT(start(*other), 0.0);
  }
  // Return moves the focus from the entry to the window.
  for (auto on_return : {af::dpi_entries_return, af::scale_xy_entries_return}) {
    af::scale_y_entry.attr("focus_set")();
    on_return(py::none());
    EXPECT_TRUE(af::dpi_window.attr("focus_lastfor")().is(af::dpi_window));
  }
  // Hiding and the close request keep the texts.
  af::hide_dpi_window();
  EXPECT_EQ(state_of(af::dpi_window), "withdrawn");
  af::show_dpi_window();
  py::object tk = af::root.attr("tk");
  tk.attr("eval")(py::str(tk.attr("call")("wm", "protocol", py::str(af::dpi_window), "WM_DELETE_WINDOW")));
  EXPECT_EQ(state_of(af::dpi_window), "withdrawn");
  for (py::object* e : {&af::old_dpi_entry, &af::new_dpi_entry, &af::scale_x_entry, &af::scale_y_entry})
    EXPECT_EQ(text_of(*e), text);
}

TEST(Tooltip, DelayedShowAtThePointerAndHide) {
  start_recorded();
  py::object tk = af::root.attr("tk");
  auto pending = [&](py::handle id) { return py::tuple(tk.attr("splitlist")(tk.attr("call")("after", "info"))).contains(id); };
  EXPECT_EQ(af::position_text(125, 210) + af::position_text(-40, 5), "+125+210+-40+5");
  af::tt_leave(py::none());  // before any enter: only hides
  EXPECT_TRUE(af::tts.is_none());
  // A leave before the timer runs keeps the tip from appearing.
  af::tt_enter(py::none(), "Keep settings");
  EXPECT_EQ(option(af::tt_label, "text"), "Keep settings");
  py::object first = af::tts;
  ASSERT_TRUE(pending(first));
  af::tt_leave(py::none());
  EXPECT_FALSE(pending(first));
  // A second enter while hidden leaves only the newer showing pending.
  af::tt_enter(py::none(), "one");
  py::object older = af::tts;
  af::tt_enter(py::none(), "two");
  EXPECT_FALSE(pending(older));
  EXPECT_TRUE(pending(af::tts));
  EXPECT_EQ(state_of(af::tt_window), "withdrawn");
  // Shown by the pointer where it is when the timer runs.
  af::root.attr("event_generate")("<Motion>", "warp"_a = true, "x"_a = 60, "y"_a = 70);
  lift_root();
  ASSERT_TRUE(pump_until([] { return state_of(af::tt_window) == "normal"; }));
  af::root.attr("update")();
  EXPECT_EQ(af::tt_window.attr("winfo_rootx")().cast<int>(), pointer("winfo_pointerx") + 25);
  EXPECT_EQ(af::tt_window.attr("winfo_rooty")().cast<int>(), pointer("winfo_pointery") + 10);
  EXPECT_TRUE(above_root(af::tt_window));
  // An enter while shown changes the text only.
  py::object shown_by = af::tts;
  af::tt_enter(py::none(), "three");
  EXPECT_EQ(option(af::tt_label, "text"), "three");
  EXPECT_TRUE(af::tts.is(shown_by) && !pending(af::tts));
  af::tt_leave(py::none());
  EXPECT_EQ(state_of(af::tt_window), "withdrawn");
}

}  // namespace
