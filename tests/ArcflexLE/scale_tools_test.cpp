// The DPI conversion and the scaling of both per-axis curves (accepted,
// refused, silent, while a change is pending, and their revert), the
// windows that hold them, the Scaling Percentage window's value and the
// tooltip's delayed show and hide.
#include <platform/pipe.h>

#include <atomic>
#include <cmath>
#include <limits>
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

// Takes the commands sent on the meter's pipe in place of a meter.
class PipeStub {
 public:
  PipeStub() : server_(afp::PipeServer::create("Arcflex_Pipe")) {
    thread_ = std::thread([this] {
      while (!stop_ && server_->accept()) {
        char buf[16];
        std::int64_t n = server_->read(buf, sizeof buf);
        if (n > 0) {
          std::lock_guard<std::mutex> l(m_);
          commands_.emplace_back(buf, static_cast<size_t>(n));
        }
        server_->disconnect();
      }
    });
  }
  ~PipeStub() {
    stop_ = true;
    afp::pipe_send("Arcflex_Pipe", "stop");
    thread_.join();
  }
  std::vector<std::string> commands() {
    std::lock_guard<std::mutex> l(m_);
    return commands_;
  }
  // The commands once at least n have arrived (the stub records a command
  // after the sender has finished writing it).
  std::vector<std::string> commands(size_t n) {
    pump_until([&] { return commands().size() >= n; });
    return commands();
  }

 private:
  std::unique_ptr<afp::PipeServer> server_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex m_;
  std::vector<std::string> commands_;
};

std::vector<double> floats(py::handle seq) {
  std::vector<double> v;
  for (py::handle e : seq) v.push_back(py::float_(py::reinterpret_borrow<py::object>(e)).cast<double>());
  return v;
}
std::string text_of(py::handle entry) { return py::str(entry.attr("get")()).cast<std::string>(); }
std::string option(py::handle w, const char* name) { return py::str(w.attr("cget")(name)).cast<std::string>(); }
void set_text(py::handle entry, const std::string& text) {
  entry.attr("delete")(0, "end");
  entry.attr("insert")(0, text);
}
// Python's own arithmetic as the oracle: [v <op> f for v in seq].
std::vector<double> each(py::handle seq, const char* op, double f) {
  py::dict g("seq"_a = seq, "f"_a = f);
  return floats(py::eval(std::string("[v ") + op + " f for v in seq]", g));
}
std::vector<double> line_x() { return floats(af::line.attr("get_xdata")()); }
std::vector<double> line_y() { return floats(af::line.attr("get_ydata")()); }

// Everything a refused or skipped tool must leave as it was.
struct Observed {
  std::vector<double> hx, hy, vx, vy, ex, ey, hc, vc;
  PyObject *revert_hx, *redo_hx;
  std::string pdat;
  size_t commands;
  int undone, redone;
  bool suspended;
  bool operator==(const Observed&) const = default;
};

class ScaleTools : public ::testing::Test {
 protected:
  void SetUp() override {
    start_recorded();
    pipe_ = std::make_unique<PipeStub>();
    // Two different per-axis curves, so each axis is seen to be converted.
    af::vertical_x = eval("[0, 20, 50, 60]");
    af::vertical_y = eval("[0.25, 0.75, 1.5, 2]");
    af::vertical_corners = eval("[0, 1, 0, 0]");
    af::set_axis_mode(py::int_(0));
    af::write_curve();
    record_window_calls();
    pdat_ = settings_folder() / "p.dat";
    pdat_before_ = aftest::read_file(pdat_);
    af::dialogs::clear_recorded();
  }
  Observed observe() {
    return {floats(af::horizontal_x),      floats(af::horizontal_y), floats(af::vertical_x),
            floats(af::vertical_y),        line_x(),                 line_y(),
            floats(af::horizontal_corners), floats(af::vertical_corners), af::revert_horizontal_x.ptr(),
            af::redo_horizontal_x.ptr(),   aftest::read_file(pdat_), pipe_->commands().size(),
            af::undone,                    af::redone,               af::graph_suspended};
  }
  // The error boxes shown since the last clear, as "title: text".
  std::vector<std::string> errors() {
    std::vector<std::string> out;
    for (const auto& r : af::dialogs::recorded()) out.push_back(r.kind + " " + r.title + ": " + r.message);
    return out;
  }
  // p.dat as write_curve makes it for the horizontal curve (hx, hy); the
  // file on disk is put back afterwards.
  std::string pdat_of(const std::vector<double>& hx, const std::vector<double>& hy) {
    std::string on_disk = aftest::read_file(pdat_);
    py::object keep_x = af::horizontal_x, keep_y = af::horizontal_y;
    af::horizontal_x = py::cast(hx);
    af::horizontal_y = py::cast(hy);
    af::write_curve();
    std::string made = aftest::read_file(pdat_);
    af::horizontal_x = keep_x;
    af::horizontal_y = keep_y;
    aftest::write_file(pdat_, on_disk);
    return made;
  }
  // The focus and stacking calls made on the DPI window and the main
  // window, as "window call args" texts; the real calls still run. (X11
  // without a window manager does not report "-topmost" back.)
  void record_window_calls() {
    py::dict g = py::globals();
    g["dpi_window"] = af::dpi_window;
    g["root"] = af::root;
    py::exec(R"(
window_calls = []
def _recording(name, real):
    def call(*args):
        window_calls.append(" ".join(str(a) for a in (name,) + args))
        return real(*args)
    return call
for _w, _label in ((dpi_window, "dpi"), (root, "root")):
    for _n in ("focus_set", "focus_force", "lift", "wm_attributes"):
        setattr(_w, _n, _recording(_label + " " + _n, getattr(_w, _n)))
)", g);
  }
  std::vector<std::string> window_calls() {
    std::vector<std::string> out;
    for (py::handle c : py::globals()["window_calls"]) out.push_back(c.cast<std::string>());
    py::globals()["window_calls"].attr("clear")();
    return out;
  }
  // Focus, raised, topmost until Tk is next idle; the main window untouched.
  void expect_dpi_window_raised() {
    EXPECT_EQ(window_calls(), (std::vector<std::string>{"dpi focus_set", "dpi lift", "dpi wm_attributes -topmost True"}));
    af::root.attr("update_idletasks")();
    EXPECT_EQ(window_calls(), std::vector<std::string>{"dpi wm_attributes -topmost False"});
    EXPECT_TRUE(af::dpi_window.attr("focus_lastfor")().is(af::dpi_window));
  }
  // The driver takes the change, the confirm window's Cancel reverts it and
  // the driver takes the restored curve.
  void confirm_then_cancel() {
    af::driver_successfully_applied_changes = 1;
    ASSERT_TRUE(pump_until([] { return af::cpop.attr("winfo_ismapped")().cast<bool>(); }));
    af::cancel_button.attr("invoke")();
    af::driver_successfully_applied_changes = 1;
    ASSERT_TRUE(pump_until([] { return af::reverting_settings == 0 && !af::graph_suspended; }));
  }
  std::unique_ptr<PipeStub> pipe_;
  fs::path pdat_;
  std::string pdat_before_;
};

// ---- texts -------------------------------------------------------------------

TEST(ScaleTexts, DpiTextsAreWholeNumbersOfAnyLength) {
  struct Case {
    const char* text;
    long long value;
  } good[] = {{"800", 800}, {"0800", 800}, {"0", 0}, {"000", 0}, {"6400", 6400}, {"18446744073709551617", -1}};
  for (const auto& c : good) {
    auto v = af::dpi_value(c.text);
    ASSERT_TRUE(v.has_value()) << c.text;
    py::object want = c.value >= 0 ? py::object(py::int_(c.value)) : py::eval("2**64 + 1");
    EXPECT_TRUE(v->equal(want)) << c.text;
  }
  // Beyond the length that one int() of a text takes.
  std::string big = "7" + std::string(6000, '0');
  auto v = af::dpi_value(big);
  ASSERT_TRUE(v.has_value());
  EXPECT_TRUE(v->equal(py::eval("7 * 10**6000")));
  for (const char* bad : {"", "800.0", "8e2", ".", "e", "-5", "+5", " 800", "800 ", "1_000", "８００", "0x10"}) {
    EXPECT_FALSE(af::dpi_value(bad).has_value()) << bad;
  }
}

TEST(ScaleTexts, FactorTextsFollowPythonFloatWithoutItsExtras) {
  for (const char* t : {"2", "0.5", ".5", "5.", "1e2", "1E2", "1e+2", "1e-2", "007", "1.04", "0", "2.5e1"}) {
    auto v = af::decimal_value(t);
    ASSERT_TRUE(v.has_value()) << t;
    EXPECT_EQ(*v, py::module_::import("builtins").attr("float")(t).cast<double>()) << t;
  }
  auto huge = af::decimal_value("1e400");
  ASSERT_TRUE(huge.has_value());
  EXPECT_TRUE(std::isinf(*huge));
  for (const char* bad : {"", ".", "e", "1e", "1.2.3", "e5", ".e1", "1e2.5", "inf", "nan", "infinity", " 2",
                          "2 ", "0x10", "1_0", "+1", "-1", "1e+", "1..2", "١"}) {
    EXPECT_FALSE(af::decimal_value(bad).has_value()) << bad;
  }
}

// ---- windows ------------------------------------------------------------------

TEST(ScaleWindows, BuiltWithdrawnWithTheirWidgetsAndTexts) {
  start_recorded();
  for (py::object* w : {&af::tt_window, &af::scale_window, &af::dpi_window, &af::metric_window}) {
    EXPECT_EQ(py::str(w->attr("state")()).cast<std::string>(), "withdrawn");
  }
  EXPECT_EQ(py::str(af::dpi_window.attr("title")()).cast<std::string>(), "DPI & Scaling");
  EXPECT_EQ(py::str(af::scale_window.attr("title")()).cast<std::string>(), "Scaling Percentage");
  EXPECT_TRUE(py::bool_(af::tt_window.attr("wm_overrideredirect")()).cast<bool>());
  EXPECT_TRUE(py::bool_(af::scale_window.attr("wm_overrideredirect")()).cast<bool>());
  EXPECT_FALSE(py::bool_(af::dpi_window.attr("wm_overrideredirect")()).cast<bool>());
  py::tuple resizable = af::dpi_window.attr("resizable")();
  EXPECT_FALSE(py::bool_(resizable[0]).cast<bool>());
  EXPECT_FALSE(py::bool_(resizable[1]).cast<bool>());

  struct Placed {
    py::object* widget;
    const char* text;  // nullptr: an entry, empty at start
    int row, column, span;
  } dpi[] = {{&af::old_dpi_label, "Old DPI", 1, 1, 2},  {&af::old_dpi_entry, nullptr, 1, 3, 1},
             {&af::new_dpi_label, "New DPI", 2, 1, 2},  {&af::new_dpi_entry, nullptr, 2, 3, 1},
             {&af::convert_button, "Convert", 3, 3, 1}, {&af::scale_x_label, "X", 1, 5, 2},
             {&af::scale_x_entry, nullptr, 1, 7, 1},    {&af::scale_y_label, "Y", 2, 5, 2},
             {&af::scale_y_entry, nullptr, 2, 7, 1},    {&af::scale_button, "Scale", 3, 7, 1}};
  for (const auto& p : dpi) {
    py::object w = *p.widget;
    EXPECT_TRUE(py::object(w.attr("master")).is(af::dpi_window));
    py::dict g = w.attr("grid_info")();
    EXPECT_EQ(g["row"].cast<int>(), p.row);
    EXPECT_EQ(g["column"].cast<int>(), p.column);
    EXPECT_EQ(g["columnspan"].cast<int>(), p.span);
    EXPECT_EQ(py::str(g["sticky"]).cast<std::string>(), "n");
    if (p.text) {
      EXPECT_EQ(option(w, "text"), p.text);
    } else {
      EXPECT_EQ(text_of(w), "");
      EXPECT_EQ(option(w, "width"), "10");
      EXPECT_EQ(option(w, "validate"), "key");
      // No focus or Return handler is bound to the entries.
      EXPECT_EQ(py::len(w.attr("bind")()), 0u);
    }
  }
  EXPECT_EQ(option(af::tt_label, "text"), "");
  EXPECT_EQ(option(af::tt_label, "background"), "#ffffe0");
  EXPECT_EQ(option(af::tt_label, "relief"), "solid");
  EXPECT_TRUE(af::tts.is_none());
  EXPECT_EQ(option(af::scale_percent_label, "text"), "Scale\nFactor");
  EXPECT_EQ(text_of(af::scale_entry), "1.04");
  EXPECT_EQ(option(af::scale_entry, "width"), "4");
  for (py::object* b : {&af::scale_x_up_button, &af::scale_x_down_button, &af::scale_y_up_button,
                        &af::scale_y_down_button}) {
    EXPECT_EQ(py::str(b->attr("winfo_manager")()).cast<std::string>(), "");  // never placed
    EXPECT_FALSE(b->attr("winfo_ismapped")().cast<bool>());
  }
  EXPECT_EQ(option(af::scale_x_up_button, "text"), "+");
  EXPECT_EQ(option(af::scale_y_down_button, "text"), "-");
  EXPECT_EQ(py::dict(af::rxframe.attr("grid_columnconfigure")(1))["minsize"].cast<int>(), 16);
  EXPECT_EQ(py::dict(af::ryframe.attr("grid_rowconfigure")(4))["minsize"].cast<int>(), 8);
}

TEST(ScaleWindows, NumberEntriesTakeOnlyDigitsPointsAndE) {
  start_recorded();
  for (py::object* e : {&af::old_dpi_entry, &af::new_dpi_entry, &af::scale_x_entry, &af::scale_y_entry,
                        &af::scale_entry}) {
    set_text(*e, "");
    for (const char* refused : {"12a", "-", "E", " ", "+1", "1,5"}) {
      e->attr("insert")("end", refused);
      EXPECT_EQ(text_of(*e), "") << refused;
    }
    e->attr("insert")("end", "1200");
    e->attr("insert")("end", ".e");
    EXPECT_EQ(text_of(*e), "1200.e");
    e->attr("delete")(0, "end");  // the deleted text passes the check too
    EXPECT_EQ(text_of(*e), "");
  }
}

// ---- DPI conversion ------------------------------------------------------------

struct DpiCase {
  std::string name, old_text, new_text;
  double factor;  // old / new
};

class AcceptedConversion : public ScaleTools, public ::testing::WithParamInterface<DpiCase> {};

TEST_P(AcceptedConversion, ConvertsBothAxesAndTheEditedCurveAndRevertsOnCancel) {
  const DpiCase& c = GetParam();
  Observed before = observe();
  const double f = c.factor;
  std::vector<double> hx = each(af::horizontal_x, "/", f), hy = each(af::horizontal_y, "*", f);
  std::vector<double> vx = each(af::vertical_x, "/", f), vy = each(af::vertical_y, "*", f);
  std::vector<double> ex = each(af::line.attr("get_xdata")(), "/", f);
  std::vector<double> ey = each(af::line.attr("get_ydata")(), "*", f);
  set_text(af::old_dpi_entry, c.old_text);
  set_text(af::new_dpi_entry, c.new_text);

  af::convert_dpi();
  expect_dpi_window_raised();
  EXPECT_TRUE(errors().empty());
  EXPECT_EQ(floats(af::horizontal_x), hx);
  EXPECT_EQ(floats(af::horizontal_y), hy);
  EXPECT_EQ(floats(af::vertical_x), vx);
  EXPECT_EQ(floats(af::vertical_y), vy);
  EXPECT_EQ(floats(af::horizontal_corners), before.hc);
  EXPECT_EQ(floats(af::vertical_corners), before.vc);
  // The edited curve follows, its lists and line alike.
  EXPECT_EQ(line_x(), ex);
  EXPECT_EQ(line_y(), ey);
  EXPECT_EQ(floats(af::x), ex);
  EXPECT_EQ(floats(af::y), ey);
  // The active curve shows the converted horizontal one.
  EXPECT_EQ(floats(af::active_line.attr("get_xdata")()), hx);
  EXPECT_EQ(text_of(af::old_dpi_entry), "");
  EXPECT_EQ(text_of(af::new_dpi_entry), "");
  // The undo snapshot holds the curves before the conversion.
  EXPECT_EQ(floats(af::revert_horizontal_x), before.hx);
  EXPECT_EQ(floats(af::revert_vertical_y), before.vy);
  EXPECT_EQ(pipe_->commands(1), std::vector<std::string>{"load"});
  EXPECT_TRUE(af::graph_suspended);
  EXPECT_EQ(af::undone, 0);
  EXPECT_EQ(af::redone, 1);
  EXPECT_EQ(af::match_on_revert, 1);
  std::string pdat = aftest::read_file(pdat_);
  py::object first_row = py::eval("' '.join(repr(v) for v in hx) + ' '", py::globals(), py::dict("hx"_a = hx));
  EXPECT_EQ(pdat.substr(0, pdat.find('\n')), first_row.cast<std::string>() + "\r");
  EXPECT_EQ(pdat, pdat_of(hx, hy));

  confirm_then_cancel();
  EXPECT_EQ(floats(af::horizontal_x), before.hx);
  EXPECT_EQ(floats(af::horizontal_y), before.hy);
  EXPECT_EQ(floats(af::vertical_x), before.vx);
  EXPECT_EQ(floats(af::vertical_y), before.vy);
  EXPECT_EQ(aftest::read_file(pdat_), pdat_before_);
  EXPECT_EQ(pipe_->commands(2), (std::vector<std::string>{"load", "load"}));
  // The edited curve takes the restored one back.
  EXPECT_EQ(line_x(), before.hx);
  EXPECT_EQ(line_y(), before.hy);
}

INSTANTIATE_TEST_SUITE_P(Dpi, AcceptedConversion,
                         ::testing::Values(DpiCase{"Halving", "1600", "800", 2.0},
                                           DpiCase{"Doubling", "800", "1600", 0.5},
                                           DpiCase{"LeadingZero", "0800", "1600", 0.5},
                                           DpiCase{"Third", "400", "1200", 1.0 / 3.0},
                                           DpiCase{"FiveThousandDigits", "16" + std::string(5000, '0'),
                                                   "8" + std::string(5000, '0'), 2.0}),
                         [](const auto& info) { return info.param.name; });

TEST_F(ScaleTools, ConversionRefusalsAndSilentReturnsChangeNothing) {
  struct Case {
    std::string old_text, new_text;
    bool invalid;  // the "Invalid DPI value" box; otherwise nothing at all
  } cases[] = {{"", "", false},         {"800", "800", false},    {"0800", "800", false},
               {"0", "800", false},     {"800", "0", false},      {"000", "0", false},
               {"800", "", true},       {"", "800", true},        {"800.0", "1600", true},
               {"8e2", "1600", true},   {"1600", "8.", true},     {"1600", "e", true},
               {std::string(5000, '9'), "0" + std::string(5000, '9'), false}};
  for (const auto& c : cases) {
    Observed before = observe();
    set_text(af::old_dpi_entry, c.old_text);
    set_text(af::new_dpi_entry, c.new_text);
    af::dialogs::clear_recorded();
    af::convert_dpi();
    if (c.invalid) {
      EXPECT_EQ(errors(), std::vector<std::string>{"error Invalid DPI value: Please enter valid DPI values."})
          << c.old_text << "/" << c.new_text;
      expect_dpi_window_raised();
    } else {
      EXPECT_TRUE(errors().empty()) << c.old_text << "/" << c.new_text;
      EXPECT_TRUE(window_calls().empty());
    }
    EXPECT_TRUE(observe() == before) << c.old_text << "/" << c.new_text;
    EXPECT_EQ(text_of(af::old_dpi_entry), c.old_text);
    EXPECT_EQ(text_of(af::new_dpi_entry), c.new_text);
  }
}

TEST_F(ScaleTools, ConversionOutOfBoundsIsRefusedForEveryCurve) {
  auto refused = [&](const std::string& old_text, const std::string& new_text, const char* why) {
    Observed before = observe();
    set_text(af::old_dpi_entry, old_text);
    set_text(af::new_dpi_entry, new_text);
    af::dialogs::clear_recorded();
    af::convert_dpi();
    EXPECT_EQ(errors(), std::vector<std::string>{"error Boundary error: Cannot scale out of bounds."}) << why;
    Observed after = observe();
    EXPECT_EQ(after.hx, before.hx) << why;
    EXPECT_EQ(after.hy, before.hy) << why;
    EXPECT_EQ(after.vy, before.vy) << why;
    EXPECT_EQ(after.ex, before.ex) << why;
    EXPECT_EQ(after.pdat, before.pdat) << why;
    EXPECT_EQ(after.commands, 0u) << why;
    EXPECT_FALSE(af::graph_suspended) << why;
    // Emptied, and the snapshots taken of the unchanged state.
    EXPECT_EQ(text_of(af::old_dpi_entry), "") << why;
    EXPECT_EQ(text_of(af::new_dpi_entry), "") << why;
    EXPECT_EQ(floats(af::revert_vertical_y), before.vy) << why;
    EXPECT_NE(af::revert_horizontal_x.ptr(), before.revert_hx) << why;
    expect_dpi_window_raised();
  };
  // Only the vertical curve leaves the bounds: 5000 becomes 10000.
  af::vertical_y = eval("[0.25, 0.75, 1.5, 5000]");
  refused("1600", "800", "vertical y");
  af::vertical_y = eval("[0.25, 0.75, 1.5, 2]");
  // Only the edited curve leaves them.
  af::set_xy(eval("[0, 10, 30, 40]"), eval("[0.5, 1, 1, 4500]"));
  af::update_spline();
  refused("1600", "800", "edited y");
  af::set_xy(eval("[0, 10, 30, 40]"), eval("[0.5, 1, 1, 1]"));
  af::update_spline();
  // A ratio beyond the float range: every y becomes far too large.
  refused("1" + std::string(400, '0'), "1", "huge ratio");
  // And the other way: every x far too large.
  refused("1", "1" + std::string(400, '0'), "tiny ratio");
}

// ---- scaling by factors --------------------------------------------------------

struct ScaleCase {
  std::string name, x_text, y_text;
};

class AcceptedScaling : public ScaleTools, public ::testing::WithParamInterface<ScaleCase> {};

TEST_P(AcceptedScaling, ScalesBothAxesKeepsTheEditedCurveAndRevertsOnCancel) {
  const ScaleCase& c = GetParam();
  py::object to_float = py::module_::import("builtins").attr("float");
  const double fx = to_float(c.x_text.empty() ? "1" : c.x_text).cast<double>();
  const double fy = to_float(c.y_text.empty() ? "1" : c.y_text).cast<double>();
  Observed before = observe();
  std::vector<double> hx = each(af::horizontal_x, "*", fx), hy = each(af::horizontal_y, "*", fy);
  std::vector<double> vx = each(af::vertical_x, "*", fx), vy = each(af::vertical_y, "*", fy);
  set_text(af::scale_x_entry, c.x_text);
  set_text(af::scale_y_entry, c.y_text);
  af::match_on_revert = 1;

  af::scale_curve();
  expect_dpi_window_raised();
  EXPECT_TRUE(errors().empty());
  EXPECT_EQ(floats(af::horizontal_x), hx);
  EXPECT_EQ(floats(af::horizontal_y), hy);
  EXPECT_EQ(floats(af::vertical_x), vx);
  EXPECT_EQ(floats(af::vertical_y), vy);
  EXPECT_EQ(floats(af::vertical_corners), before.vc);
  EXPECT_EQ(floats(af::active_line.attr("get_ydata")()), hy);
  // The edited curve keeps its points, its lists in step with its line.
  EXPECT_EQ(line_x(), before.ex);
  EXPECT_EQ(floats(af::x), before.ex);
  EXPECT_EQ(floats(af::y), before.ey);
  EXPECT_EQ(text_of(af::scale_x_entry), "");
  EXPECT_EQ(text_of(af::scale_y_entry), "");
  EXPECT_EQ(floats(af::revert_horizontal_y), before.hy);
  EXPECT_EQ(pipe_->commands(1), std::vector<std::string>{"load"});
  EXPECT_TRUE(af::graph_suspended);
  EXPECT_EQ(af::match_on_revert, 0);
  EXPECT_EQ(aftest::read_file(pdat_), pdat_of(hx, hy));

  confirm_then_cancel();
  EXPECT_EQ(floats(af::horizontal_x), before.hx);
  EXPECT_EQ(floats(af::vertical_y), before.vy);
  EXPECT_EQ(aftest::read_file(pdat_), pdat_before_);
  EXPECT_EQ(pipe_->commands(2), (std::vector<std::string>{"load", "load"}));
  EXPECT_EQ(line_x(), before.ex);
  EXPECT_EQ(line_y(), before.ey);
}

INSTANTIATE_TEST_SUITE_P(Factors, AcceptedScaling,
                         ::testing::Values(ScaleCase{"XOnly", "2", ""}, ScaleCase{"YOnly", "", "0.5"},
                                           ScaleCase{"Both", "1.5", "3"}, ScaleCase{"BarePoints", ".5", "5."},
                                           ScaleCase{"Exponents", "1e1", "1e0"}),
                         [](const auto& info) { return info.param.name; });

TEST_F(ScaleTools, ScalingRefusalsAndSilentReturnsChangeNothing) {
  struct Case {
    const char *x_text, *y_text;
    bool invalid;
  } cases[] = {{"", "", false},    {"1", "", false},     {"", "1", false},     {"1", "1.0", false},
               {"1.", "1e0", false}, {".", "", true},    {"", "e", true},      {"1e", "2", true},
               {"2", "1.2.3", true}, {"..", "..", true}, {"e1", "", true}};
  for (const auto& c : cases) {
    Observed before = observe();
    set_text(af::scale_x_entry, c.x_text);
    set_text(af::scale_y_entry, c.y_text);
    af::dialogs::clear_recorded();
    af::scale_curve();
    if (c.invalid) {
      EXPECT_EQ(errors(), std::vector<std::string>{"error Invalid value: Please enter a number."}) << c.x_text;
      expect_dpi_window_raised();
    } else {
      EXPECT_TRUE(errors().empty()) << c.x_text << "/" << c.y_text;
      EXPECT_TRUE(window_calls().empty());
    }
    EXPECT_TRUE(observe() == before) << c.x_text << "/" << c.y_text;
    EXPECT_EQ(text_of(af::scale_x_entry), c.x_text);
    EXPECT_EQ(text_of(af::scale_y_entry), c.y_text);
  }
}

TEST_F(ScaleTools, ScalingOutOfBoundsIsRefusedForBothAxes) {
  // 60 x 150 = 9000 > 8192 for the vertical tail only; 40 x 150 = 6000.
  for (const char* x_text : {"150", "1e400", "1000"}) {
    Observed before = observe();
    set_text(af::scale_x_entry, x_text);
    set_text(af::scale_y_entry, "");
    af::dialogs::clear_recorded();
    af::scale_curve();
    EXPECT_EQ(errors(), std::vector<std::string>{"error Boundary error: Cannot scale out of bounds."}) << x_text;
    Observed after = observe();
    EXPECT_EQ(after.hx, before.hx) << x_text;
    EXPECT_EQ(after.vx, before.vx) << x_text;
    EXPECT_EQ(after.pdat, before.pdat) << x_text;
    EXPECT_EQ(after.commands, 0u) << x_text;
    EXPECT_EQ(text_of(af::scale_x_entry), "") << x_text;
    expect_dpi_window_raised();
  }
}

TEST_F(ScaleTools, NothingStartsWhileAChangeIsPending) {
  af::graph_suspended = true;
  af::applied_with_metric = 0;
  Observed before = observe();
  set_text(af::old_dpi_entry, "1600");
  set_text(af::new_dpi_entry, "800");
  set_text(af::scale_x_entry, "2");
  af::convert_dpi();
  af::scale_curve();
  af::apply_metric();
  EXPECT_TRUE(errors().empty());
  EXPECT_TRUE(observe() == before);
  EXPECT_EQ(text_of(af::old_dpi_entry), "1600");
  EXPECT_EQ(text_of(af::scale_x_entry), "2");
  EXPECT_EQ(af::applied_with_metric, 0);
  EXPECT_TRUE(window_calls().empty());
}

TEST_F(ScaleTools, MetricApplyLiftsTheMetricWindowWhenItEnds) {
  auto above = [](py::handle a, py::handle b) {
    py::object tk = af::root.attr("tk");
    return tk.attr("getboolean")(tk.attr("call")("wm", "stackorder", py::str(a), "isabove", py::str(b)))
        .cast<bool>();
  };
  af::show_metric_window();
  af::root.attr("lift")();
  af::root.attr("update")();
  ASSERT_TRUE(above(af::root, af::metric_window));
  Observed before = observe();
  af::apply_metric();
  EXPECT_TRUE(af::graph_suspended);
  EXPECT_EQ(af::applied_with_metric, 1);
  EXPECT_EQ(pipe_->commands(1), std::vector<std::string>{"load"});
  EXPECT_EQ(aftest::read_file(pdat_), before.pdat);  // the same curve, written again
  af::driver_successfully_applied_changes = 1;
  ASSERT_TRUE(pump_until([] { return af::cpop.attr("winfo_ismapped")().cast<bool>(); }));
  af::ok_button.attr("invoke")();
  af::root.attr("update")();
  EXPECT_FALSE(af::graph_suspended);
  EXPECT_TRUE(above(af::metric_window, af::root));
}

// ---- Scaling Percentage window --------------------------------------------------

TEST(ScaleFactorWindow, HideStoresTheValueOrFallsBack) {
  start_recorded();
  struct Case {
    const char* typed;
    double factor;
    const char* shown;  // the entry afterwards
    bool box;
  } cases[] = {{"2.5", 2.5, "2.5", false},     {"1", 1.04, "1.04", true},       {"0.5", 1.04, "1.04", true},
               {"0", 1.04, "1.04", true},      {"1.0001", 1.0001, "1.0001", false}, {"1e1", 10.0, "1e1", false},
               {"", 1.04, "1.04", false},      {"1.2.3", 1.04, "1.04", false},  {"1e400", 1.04, "1.04", false},
               {"e", 1.04, "1.04", false}};
  for (const auto& c : cases) {
    af::scale_factor = 7.0;
    set_text(af::scale_entry, c.typed);
    af::show_scale_window();
    af::dialogs::clear_recorded();
    af::hide_scale_window();
    EXPECT_EQ(af::scale_factor, c.factor) << c.typed;
    EXPECT_EQ(text_of(af::scale_entry), c.shown) << c.typed;
    std::vector<std::string> want;
    if (c.box) want.push_back("Invalid value: Scale factor must be greater than 1");
    std::vector<std::string> got;
    for (const auto& r : af::dialogs::recorded()) got.push_back(r.title + ": " + r.message);
    EXPECT_EQ(got, want) << c.typed;
    EXPECT_EQ(py::str(af::scale_window.attr("state")()).cast<std::string>(), "withdrawn") << c.typed;
    EXPECT_TRUE(af::root.attr("focus_lastfor")().is(af::rframe)) << c.typed;
  }
}

TEST(ScaleFactorWindow, ShowsBesideThePointerScrolledToItsStart) {
  start_recorded();
  af::root.attr("event_generate")("<Motion>", "warp"_a = true, "x"_a = 40, "y"_a = 30);
  af::root.attr("update")();
  set_text(af::scale_entry, "1.000000000001");
  af::scale_entry.attr("xview_moveto")(1);
  af::show_scale_window();
  af::root.attr("update")();
  int px = af::root.attr("winfo_pointerx")().cast<int>(), py_ = af::root.attr("winfo_pointery")().cast<int>();
  EXPECT_EQ(af::scale_window.attr("winfo_rootx")().cast<int>(), px + 20);
  EXPECT_EQ(af::scale_window.attr("winfo_rooty")().cast<int>(), py_);
  EXPECT_EQ(py::tuple(af::scale_entry.attr("xview")())[0].cast<double>(), 0.0);
  af::scale_entry_focus_in();
  EXPECT_TRUE(af::scale_entry.attr("selection_present")().cast<bool>());
  EXPECT_EQ(af::scale_entry.attr("index")("sel.first").cast<int>(), 0);
  EXPECT_EQ(af::scale_entry.attr("index")("sel.last").cast<int>(), 14);
}

// ---- DPI & Scaling window handlers ------------------------------------------------

TEST(DpiWindow, ShowHideAndTheEntryHandlers) {
  start_recorded();
  af::show_dpi_window();
  af::root.attr("update")();
  EXPECT_TRUE(af::dpi_window.attr("winfo_ismapped")().cast<bool>());
  py::tuple min = af::dpi_window.attr("minsize")();
  EXPECT_EQ(min[0].cast<int>(), af::dpi_window.attr("winfo_width")().cast<int>());
  EXPECT_EQ(min[1].cast<int>(), af::dpi_window.attr("winfo_height")().cast<int>());

  // Focus-in on an empty entry selects nothing; on text, all of it.
  struct FocusIn {
    void (*handler)(py::handle);
    py::object* entry;
  } focus_ins[] = {{af::old_dpi_entry_focus_in, &af::old_dpi_entry},
                   {af::new_dpi_entry_focus_in, &af::new_dpi_entry},
                   {af::scale_x_entry_focus_in, &af::scale_x_entry},
                   {af::scale_y_entry_focus_in, &af::scale_y_entry}};
  for (const auto& f : focus_ins) {
    set_text(*f.entry, "");
    f.handler(py::none());
    EXPECT_FALSE(f.entry->attr("selection_present")().cast<bool>());
    set_text(*f.entry, "123456789012345678901234567890");
    f.handler(py::none());
    EXPECT_TRUE(f.entry->attr("selection_present")().cast<bool>());
    EXPECT_EQ(f.entry->attr("index")("sel.last").cast<int>(), 30);
  }
  af::root.attr("update")();
  // Focus-out scrolls both entries of its pair back to their start.
  struct FocusOut {
    void (*handler)(py::handle);
    py::object *a, *b, *other;
  } focus_outs[] = {{af::dpi_entries_focus_out, &af::old_dpi_entry, &af::new_dpi_entry, &af::scale_x_entry},
                    {af::scale_xy_entries_focus_out, &af::scale_x_entry, &af::scale_y_entry, &af::old_dpi_entry}};
  for (const auto& f : focus_outs) {
    for (py::object* e : {f.a, f.b, f.other}) e->attr("xview_moveto")(1);
    af::root.attr("update")();
    f.handler(py::none());
    EXPECT_EQ(py::tuple(f.a->attr("xview")())[0].cast<double>(), 0.0);
    EXPECT_EQ(py::tuple(f.b->attr("xview")())[0].cast<double>(), 0.0);
    EXPECT_GT(py::tuple(f.other->attr("xview")())[0].cast<double>(), 0.0);  // not its pair
  }
  // Return moves the focus from the entry to the window itself.
  for (auto handler : {af::dpi_entries_return, af::scale_xy_entries_return}) {
    af::old_dpi_entry.attr("focus_set")();
    EXPECT_TRUE(af::dpi_window.attr("focus_lastfor")().is(af::old_dpi_entry));
    handler(py::none());
    EXPECT_TRUE(af::dpi_window.attr("focus_lastfor")().is(af::dpi_window));
  }
  // Hiding and the close request keep the entries' texts.
  af::hide_dpi_window();
  EXPECT_EQ(py::str(af::dpi_window.attr("state")()).cast<std::string>(), "withdrawn");
  af::show_dpi_window();
  py::object tk = af::root.attr("tk");
  tk.attr("eval")(py::str(tk.attr("call")("wm", "protocol", py::str(af::dpi_window), "WM_DELETE_WINDOW")));
  EXPECT_EQ(py::str(af::dpi_window.attr("state")()).cast<std::string>(), "withdrawn");
  for (py::object* e : {&af::old_dpi_entry, &af::new_dpi_entry, &af::scale_x_entry, &af::scale_y_entry}) {
    EXPECT_EQ(text_of(*e), "123456789012345678901234567890");
  }
  af::show_metric_window();
  af::root.attr("update")();
  EXPECT_TRUE(af::metric_window.attr("winfo_ismapped")().cast<bool>());
  af::hide_metric_window();
  EXPECT_EQ(py::str(af::metric_window.attr("state")()).cast<std::string>(), "withdrawn");
}

// ---- tooltip ------------------------------------------------------------------------

// Whether a Tk timer id is still pending.
bool pending(py::handle id) {
  py::list ids = af::root.attr("tk").attr("splitlist")(af::root.attr("tk").attr("call")("after", "info"));
  for (py::handle i : ids)
    if (py::str(i).equal(py::str(id))) return true;
  return false;
}
bool tip_shown() { return py::str(af::tt_window.attr("state")()).cast<std::string>() == "normal"; }

TEST(Tooltip, DelayedShowAtThePointerAndHide) {
  start_recorded();
  EXPECT_EQ(af::position_text(125, 210), "+125+210");
  EXPECT_EQ(af::position_text(-40, 5), "+-40+5");

  // A leave before any enter only hides.
  af::tt_leave(py::none());
  EXPECT_TRUE(af::tts.is_none());
  EXPECT_FALSE(tip_shown());

  // A leave before the timer runs keeps the tip from appearing.
  af::tt_enter(py::none(), "Keep settings");
  EXPECT_EQ(option(af::tt_label, "text"), "Keep settings");
  py::object first = af::tts;
  ASSERT_TRUE(pending(first));
  af::tt_leave(py::none());
  EXPECT_FALSE(pending(first));
  EXPECT_TRUE(af::tts.is(first));  // kept, though cancelled

  // A second enter while hidden leaves only the newer showing pending.
  af::tt_enter(py::none(), "one");
  py::object older = af::tts;
  af::tt_enter(py::none(), "two");
  EXPECT_FALSE(pending(older));
  ASSERT_TRUE(pending(af::tts));
  EXPECT_FALSE(tip_shown());

  // Shown at the pointer where it is when the timer runs.
  af::root.attr("event_generate")("<Motion>", "warp"_a = true, "x"_a = 60, "y"_a = 70);
  ASSERT_TRUE(pump_until([] { return tip_shown(); }));
  af::root.attr("update")();
  int px = af::root.attr("winfo_pointerx")().cast<int>(), py_ = af::root.attr("winfo_pointery")().cast<int>();
  EXPECT_EQ(af::tt_window.attr("winfo_rootx")().cast<int>(), px + 25);
  EXPECT_EQ(af::tt_window.attr("winfo_rooty")().cast<int>(), py_ + 10);
  EXPECT_EQ(option(af::tt_label, "text"), "two");

  // An enter while shown changes the text only.
  py::object shown_id = af::tts;
  af::tt_enter(py::none(), "three");
  EXPECT_EQ(option(af::tt_label, "text"), "three");
  EXPECT_TRUE(af::tts.is(shown_id));
  EXPECT_FALSE(pending(af::tts));
  af::tt_leave(py::none());
  EXPECT_FALSE(tip_shown());
}

}  // namespace
