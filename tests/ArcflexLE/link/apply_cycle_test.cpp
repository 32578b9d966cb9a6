// The meter link and the apply cycle: report lines to queue items, the
// update loop's smoothing and fading, suspension, snapshots, the driver
// wait and the confirm countdown, and a whole Apply/OK/Cancel/expiry cycle
// with the real meter and the stand-in driver.
#include <platform/files.h>
#include <platform/pipe.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <fstream>
#include <functional>
#include <sstream>

#include "apply_cycle.h"
#include "curve.h"
#include "window.h"
#include "gui_fixture.h"
#include "link_windows.h"
#include "meter_link.h"
#include "runtime_guard.h"
#include "settings_files.h"
#include "snapshots.h"
#include "speed_display.h"
#include "state_runtime.h"

namespace {

using namespace guitest;
namespace af = arcflex;

// Answers "load"/"quit" on the meter's pipe in place of a meter; counts them.
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

 private:
  std::unique_ptr<afp::PipeServer> server_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex m_;
  std::vector<std::string> commands_;
};

fs::path driver_log() { return fs::path(std::getenv("XDG_RUNTIME_DIR")) / "death-driver.log"; }

std::string state_of(py::handle w) { return py::str(w.attr("cget")("state")).cast<std::string>(); }

// ---- report lines -----------------------------------------------------------

TEST(MeterLines, ItemsByAxisMode) {
  using af::meter_line_item;
  EXPECT_EQ(meter_line_item("3.5 7 12\r\n", 0), 7.0);
  EXPECT_EQ(meter_line_item("7 3.5 12\r\n", 0), 7.0);
  EXPECT_EQ(meter_line_item("4 4 1\r\n", 0), 4.0);
  EXPECT_EQ(meter_line_item("3.5 7 12\r\n", 1), 3.5);
  EXPECT_EQ(meter_line_item("3.5 7 12\r\n", 2), 7.0);
  EXPECT_EQ(meter_line_item("0 0 5\r\n", 0), 0.0);
  for (int mode : {0, 1, 2}) {
    EXPECT_EQ(meter_line_item("-20 -20\r\n", mode), -20.0);
    EXPECT_EQ(meter_line_item("-99 -99\r\n", mode), -99.0);
  }
}

// A reader still putting the meter's lines in the queue when the process
// ends normally: the static destructors leave what it uses alone.
TEST(MeterLines, AReaderLeftRunningOutlivesTheEnd) {
  auto end_under_a_reader = [] {
    std::thread([] { for (;;) af::q.put(1.0); }).detach();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::exit(0);
  };
  EXPECT_EXIT(end_under_a_reader(), ::testing::ExitedWithCode(0), "");
}

TEST(MeterLines, BadLinesGiveNoItem) {
  for (const char* bad : {"5\r\n", "1  2\r\n", " 1 2\r\n", "speed fast\r\n", "nan 1\r\n", "1 inf\r\n",
                          "1e999 2\r\n", "", "\r\n", "1 \xff\xfe\r\n", "0x10 1\r\n"}) {
    EXPECT_FALSE(af::meter_line_item(bad, 0).has_value()) << bad;
  }
}

TEST(ConfirmWindow, PositionAndCountdownTexts) {
  EXPECT_EQ(af::confirm_position(300, 120, 100, 100, 800, 600, 1920, 1080, 1200), "+350+340");
  EXPECT_EQ(af::confirm_position(300, 120, 100, 100, 800, 600, 1920, 1080, 400), "+550+340");
  EXPECT_EQ(af::confirm_position(300, 120, 100, 100, 800, 600, 1000, 1080, 600), "+150+340");
  EXPECT_EQ(af::confirm_position(300, 120, -50, 100, 400, 600, 1920, 1080, 1800), "+300+340");
  EXPECT_EQ(af::countdown_text(120), "Settings will revert in...12\nEsc to cancel");
  EXPECT_EQ(af::countdown_text(0), "Settings will revert in...0\nEsc to cancel");
  EXPECT_EQ(af::countdown_text(9), "Settings will revert in...0\nEsc to cancel");
}

// ---- update loop -------------------------------------------------------------

class UpdateLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    start_recorded();
    reset();
  }
  void reset() {
    af::mmpause = false;
    af::ready = true;
    af::q.clear();
    af::max_list.assign(1, 0.0);
    af::smooth_counter = 0;
    af::old_max = af::current_max = 0;
    af::weight_alpha = 0;
    af::weight_fade_timer = 0;
  }
};

TEST_F(UpdateLoop, RatesAndWindowsOfTheSliders) {
  const int frames[] = {10, 8, 6, 4, 2}, windows[] = {4, 5, 6, 7, 8};
  for (int v = 1; v <= 5; ++v) {
    af::frame_slider.attr("set")(v);
    af::sample_slider.attr("set")(6 - v);
    af::display_speed(py::none());
    EXPECT_EQ(af::framerate, frames[v - 1]);
    EXPECT_EQ(af::samplerate, windows[5 - v]);
  }
}

TEST_F(UpdateLoop, AveragesAWindowAndMovesLinearlyAcrossTheNext) {
  for (int rate : {4, 5, 6, 7, 8}) {
    reset();
    af::samplerate = rate;
    // One tick with 3, 5, 2: the samples are the running maxima 3, 5, 5.
    af::q.put(3);
    af::q.put(5);
    af::q.put(2);
    for (int i = 0; i < rate; ++i) af::update_tick();
    EXPECT_DOUBLE_EQ(af::current_max, 13.0 / 3.0) << rate;
    EXPECT_EQ(af::old_max, 0.0);
    EXPECT_EQ(af::smooth_counter, 0);
    // A window without samples averages to 0; the old window moves back.
    for (int i = 0; i < rate; ++i) af::update_tick();
    EXPECT_DOUBLE_EQ(af::old_max, 13.0 / 3.0);
    EXPECT_EQ(af::current_max, 0.0);
  }
}

TEST_F(UpdateLoop, FadeInCapsAtHalfAndFadesOutAfterSixIdleTicks) {
  for (int i = 0; i < 10; ++i) {
    af::q.put(1.0);
    af::update_tick();
  }
  EXPECT_EQ(af::weight_alpha, 0.49999999999999994);
  af::q.put(1.0);
  af::update_tick();
  EXPECT_EQ(af::weight_alpha, 0.5);
  af::q.put(1.0);
  af::update_tick();
  EXPECT_EQ(af::weight_alpha, 0.5);
  EXPECT_DOUBLE_EQ(af::fud.attr("get_alpha")().cast<double>(), 0.5);
  for (int i = 0; i < 6; ++i) af::update_tick();
  EXPECT_EQ(af::weight_alpha, 0.5);
  af::update_tick();
  EXPECT_DOUBLE_EQ(af::weight_alpha, 0.5 * 0.84);
  // Events only: the fade timer restarts and the opacity stays.
  af::q.put(-31);
  af::update_tick();
  EXPECT_EQ(af::weight_fade_timer, 0);
  EXPECT_DOUBLE_EQ(af::weight_alpha, 0.5 * 0.84);
  // Through the whole fade-out both polygons draw at the opacity's 8-bit
  // step, though a set within the same step is left out.
  auto step = [](double a) { return std::lround(a * 255.0); };
  for (int i = 0; i < 60; ++i) {
    af::update_tick();
    for (py::object* p : {&af::fud, &af::fua})
      ASSERT_EQ(step(p->attr("get_alpha")().cast<double>()), step(af::weight_alpha)) << "tick " << i;
  }
  EXPECT_EQ(step(af::weight_alpha), 0);
}

int g_snapshots = 0;
TEST_F(UpdateLoop, KeyAndConfirmationEvents) {
  af::scale_snapshot_hook = [] { ++g_snapshots; };
  for (double e : {-20.0, -20.0, -21.0, -22.0, -77.0, -99.0}) af::q.put(e);
  af::update_tick();
  EXPECT_TRUE(af::shift_key && af::ctrl_key && af::alt_key);
  EXPECT_EQ(g_snapshots, 2);
  EXPECT_EQ(af::driver_successfully_applied_changes, 1);
  for (double e : {-30.0, -31.0, -32.0}) af::q.put(e);
  af::update_tick();
  EXPECT_FALSE(af::shift_key || af::ctrl_key || af::alt_key);
  af::scale_snapshot_hook = nullptr;
}

TEST_F(UpdateLoop, FillIsDrawnUnderTheActiveCurveAndAFailedTickIsNotTheLast) {
  af::samplerate = 4;
  for (int i = 0; i < 8; ++i) {
    af::q.put(20.0);
    af::update_tick();
  }
  // fuc covers samples up to the speed; the tail region stays empty below xt.
  py::object paths = af::fuc.attr("get_paths")();
  ASSERT_GT(py::len(paths), 0u);
  double right = 0;
  for (py::handle p : paths)
    for (py::handle v : p.attr("vertices")) right = std::max(right, v[py::int_(0)].cast<double>());
  EXPECT_GT(right, 10.0);
  EXPECT_LE(right, 20.0);
  // A fill removed elsewhere, and a tick that fails: the loop goes on.
  af::fuc.attr("remove")();
  af::update_fill(5.0);
  py::object saved = af::active_line;
  af::active_line = py::none();
  af::update();  // reports the error, schedules the next tick
  af::active_line = saved;
  ASSERT_FALSE(af::job1.is_none());
  af::q.put(-99);
  af::driver_successfully_applied_changes = 0;
  EXPECT_TRUE(pump_until([] { return af::driver_successfully_applied_changes == 1; }));
}

// The fill is drawn again only when that would change pixels: each case
// changes one thing since the last draw and says whether a draw must follow
// (a draw makes a new fill collection). A skipped draw leaves the very
// pixels a forced one gives.
TEST_F(UpdateLoop, FillIsRedrawnOnlyWhenItsPixelsWouldChange) {
  af::canvas.attr("draw")();
  auto pixels = [] {
    return py::bytes(py::module_::import("numpy").attr("asarray")(af::canvas.attr("buffer_rgba")()).attr("tobytes")())
        .cast<std::string>();
  };
  struct Case {
    const char* what;
    std::function<void()> change;
    double speed;
    bool redraw;
  };
  const std::vector<Case> cases{
      {"nothing", [] {}, 12.0, false},
      {"another speed", [] {}, 14.0, true},
      {"opacity within one 8-bit step", [] { af::weight_alpha = 0.3 + 0.0005; }, 14.0, false},
      {"opacity a step further", [] { af::weight_alpha = 0.3 + 0.01; }, 14.0, true},
      {"a full draw", [] { af::canvas.attr("draw")(); }, 14.0, true},
      {"a curve artist's colour", [] { af::line.attr("set_color")("red"); }, 14.0, true},
      {"the hover label shown", [] { af::point_value_text.attr("set_visible")(true); }, 14.0, true},
      {"the hover label hidden", [] { af::point_value_text.attr("set_visible")(false); }, 14.0, true},
      {"the fill's colour", [] { af::fud.attr("set_facecolor")("blue"); }, 14.0, true},
      {"the fill removed elsewhere", [] { af::fuc.attr("remove")(); }, 14.0, true},
      {"the sampled curve replaced",
       [] { af::active_out = py::module_::import("copy").attr("deepcopy")(af::active_out); }, 14.0, true},
      {"nothing again", [] {}, 14.0, false},
  };
  af::weight_alpha = 0.3;
  af::update_fill(12.0);
  for (const Case& c : cases) {
    c.change();
    py::object before = af::fuc;
    af::update_fill(c.speed);
    EXPECT_EQ(!af::fuc.is(before), c.redraw) << c.what;
    if (!c.redraw) {
      std::string kept = pixels();
      af::release_speed_display();  // forgets the last draw: the next one is done in full
      af::update_fill(c.speed);
      EXPECT_FALSE(af::fuc.is(before)) << c.what;
      EXPECT_EQ(pixels(), kept) << c.what;
    }
  }
}

// A tick that moves only the fill sends only the part of the frame it can
// change to the screen; after every kind of such change the picture Tk
// shows must still be the whole frame the buffer holds.
TEST_F(UpdateLoop, TheScreenShowsTheWholeFrameAfterEachPartialBlit) {
  py::dict scope;
  py::exec(R"(
import io
import numpy as np
from PIL import Image
def screen_matches_buffer(canvas):
    photo = canvas._tkphoto
    png = photo.tk.call(photo.name, "data", "-format", "png")
    shown = np.asarray(Image.open(io.BytesIO(png)).convert("RGB"))
    frame = np.asarray(canvas.buffer_rgba())[:, :, :3]
    if shown.shape != frame.shape:
        return "sizes %r and %r" % (shown.shape, frame.shape)
    rows, cols = np.nonzero((shown != frame).any(axis=2))
    return "" if rows.size == 0 else "%d pixels differ, columns %d to %d" % (rows.size, cols.min(), cols.max())
def turning_curve():
    t = np.linspace(0.0, 1.0, 129)
    return (36.0 * t - 6.0 * np.sin(12.0 * t), 0.3 + 0.6 * t)
)",
           scope);
  py::object check = scope["screen_matches_buffer"];
  af::canvas.attr("draw")();
  af::weight_alpha = 0.4;
  struct Step {
    const char* what;
    std::function<void()> change;
    double speed;
  };
  const std::vector<Step> steps{
      {"first fill", [] {}, 12.0},
      {"a higher speed", [] {}, 25.0},
      {"a lower speed: the old right end is cleared", [] {}, 6.0},
      {"no speed", [] {}, 0.0},
      {"past the last point: the tail polygon", [] {}, 45.0},
      {"past the view's right edge", [] {}, 400.0},
      {"back inside", [] {}, 9.0},
      {"a small step up", [] {}, 9.2},
      {"a step of a few samples", [] {}, 10.6},
      {"a small step down", [] {}, 10.1},
      {"just short of the tail", [] {}, 29.6},
      {"onto the tail", [] {}, 30.4},
      {"along the tail", [] {}, 33.0},
      {"off the tail", [] {}, 29.0},
      {"from the tail to the start", [] {}, 36.0},
      {"down to the start", [] {}, 1.0},
      {"another opacity", [] { af::weight_alpha = 0.2; }, 9.0},
      {"the fill's colour", [] { af::fud.attr("set_facecolor")("blue"); }, 9.0},
      {"a curve artist changed: a full blit", [] { af::line.attr("set_color")("red"); }, 30.0},
      {"a fill-only change again", [] {}, 3.0},
      {"a curve whose samples turn back",
       [&] { af::active_out = scope["turning_curve"](); }, 20.0},
      {"a speed where it turns back", [] {}, 22.0},
      {"and lower", [] {}, 17.0},
  };
  for (const Step& s : steps) {
    s.change();
    af::update_fill(s.speed);
    EXPECT_EQ(check(af::canvas).cast<std::string>(), "") << s.what;
  }
}

// ---- suspension and snapshots -------------------------------------------------

TEST(Suspension, EveryPanelAndSliderAndItsUndoing) {
  start_recorded();
  af::suspend();
  af::suspend();
  EXPECT_TRUE(af::graph_suspended);
  for (py::handle w : af::leftframe.attr("winfo_children")()) EXPECT_EQ(state_of(w), "disabled");
  for (py::handle w : af::display_window.attr("winfo_children")()) EXPECT_EQ(state_of(w), "disabled");
  for (py::object* s : {&af::frame_slider, &af::sample_slider, &af::gui_scale_slider})
    EXPECT_EQ(py::str(s->attr("cget")("fg")).cast<std::string>(), "#777");
  af::apply_button_enter(py::none());
  EXPECT_EQ(py::str(af::apply_button.attr("cget")("bg")).cast<std::string>(), af::bg_scheme);
  af::pressed_apply();  // refused while suspended
  EXPECT_EQ(py::str(af::apply_button.attr("cget")("text")).cast<std::string>(), "Apply");
  af::unsuspend();
  EXPECT_FALSE(af::graph_suspended);
  for (py::handle w : af::leftframe.attr("winfo_children")()) EXPECT_EQ(state_of(w), "normal");
  for (py::handle w : af::display_window.attr("winfo_children")()) EXPECT_EQ(state_of(w), "normal");
  for (py::object* s : {&af::frame_slider, &af::sample_slider, &af::gui_scale_slider}) {
    EXPECT_EQ(py::str(s->attr("cget")("fg")).cast<std::string>(), af::tkscheme);
    EXPECT_EQ(py::str(s->attr("cget")("sliderrelief")).cast<std::string>(), "raised");
  }
}

TEST(Snapshots, CopyOrdersAndIndependentCopies) {
  start_recorded();
  const std::vector<std::string> table{"pitch", "toggleMode", "toggleButton", "toggleKey", "toggleSensX",
                                       "toggleSensY", "scale_dx", "scale_dy", "horizontal_x", "horizontal_y",
                                       "horizontal_corners", "vertical_x", "vertical_y", "vertical_corners",
                                       "distCalcMode", "indPercent", "maxFrameTime"};
  std::vector<std::string> redo{table[0], table[14], table[15], table[16]};
  redo.insert(redo.end(), table.begin() + 1, table.begin() + 14);
  af::save_state();
  EXPECT_EQ(af::last_copy_order(), table);
  af::save_redo_state();
  EXPECT_EQ(af::last_copy_order(), redo);

  size_t n = py::len(af::revert_horizontal_x);
  af::horizontal_x.attr("append")(99.0);
  EXPECT_EQ(py::len(af::revert_horizontal_x), n);
  af::horizontal_x.attr("pop")();
  af::indPercent = 0.56;
  af::active_pitch = -1;
  af::save_state();
  af::indPercent = 0.93;
  af::restore_values();
  std::vector<std::string> both = redo;
  both.insert(both.end(), table.begin(), table.end());
  EXPECT_EQ(af::last_copy_order(), both);
  EXPECT_EQ(af::ind_percent_variable.attr("get")().cast<int>(), 43);
  EXPECT_EQ(af::active_pitch, -1);
  EXPECT_TRUE(af::pitch_var.attr("get")().cast<bool>());
  af::horizontal_x.attr("append")(100.0);
  EXPECT_EQ(py::len(af::revert_horizontal_x), n);
  af::horizontal_x.attr("pop")();
  af::indPercent = 0.93;
  af::save_redo_state();
  af::redo_values();
  EXPECT_EQ(af::ind_percent_variable.attr("get")().cast<int>(), 6);
  EXPECT_EQ(py::str(af::tog_key_entry.attr("get")()).cast<std::string>(), "");
  EXPECT_EQ(state_of(af::toggle_sensX_entry), "normal");
}

// ---- the driver wait -----------------------------------------------------------

TEST(DriverWait, ThirtySixPollsThenTheTimeOutBoxAndTheChangeIsTakenBack) {
  start_recorded();
  PipeStub pipe;
  const std::string pdat_before = aftest::read_file(settings_folder() / "p.dat");
  const double active_y1 = py::float_(af::active_line.attr("get_ydata")()[py::int_(1)]).cast<double>();
  py::list ny = py::list(af::y);
  ny[py::int_(1)] = py::float_(active_y1 + 0.25);
  af::set_xy(py::list(af::x), ny);
  af::redefine_spline();
  af::update_spline();
  int before = af::driver_wait_polls();
  std::string pdat_at_box;  // what "p.dat" holds when the box is shown
  af::dialogs::on_record([&] { pdat_at_box = aftest::read_file(settings_folder() / "p.dat"); });
  af::pressed_apply();
  ASSERT_NE(aftest::read_file(settings_folder() / "p.dat"), pdat_before);
  EXPECT_EQ(py::str(af::apply_button.attr("cget")("text")).cast<std::string>(), "Applying..");
  EXPECT_TRUE(af::graph_suspended);
  ASSERT_TRUE(pump_until([] { return count_dialogs("error", "No response from subprocess") == 1; }));
  af::dialogs::on_record(nullptr);
  EXPECT_EQ(af::driver_wait_polls() - before, 36);
  EXPECT_EQ(pdat_at_box, pdat_before);
  EXPECT_EQ(af::dialogs::recorded().back().title, "Error applying settings");
  EXPECT_FALSE(af::graph_suspended);
  EXPECT_TRUE(af::mmpause);
  EXPECT_EQ(py::str(af::apply_button.attr("cget")("text")).cast<std::string>(), "Apply");
  // The user was told the change did not take: the applied curve and
  // "p.dat" are the old ones again, and the meter is told to load it.
  EXPECT_EQ(pipe.commands(), (std::vector<std::string>{"load", "load"}));
  EXPECT_EQ(aftest::read_file(settings_folder() / "p.dat"), pdat_before);
  EXPECT_EQ(py::float_(af::active_line.attr("get_ydata")()[py::int_(1)]).cast<double>(), active_y1);
  EXPECT_EQ(py::float_(af::y[py::int_(1)]).cast<double>(), active_y1 + 0.25);  // the edit stays
  EXPECT_EQ(af::undone, 1);
  // Toggle defaults read from the withdrawn window.
  EXPECT_EQ(af::toggleMode, 0);
  EXPECT_EQ(af::toggleSensX.cast<double>(), 1.0);
  EXPECT_EQ(af::indPercent, 0.0);
}

// An exit knows the driver has the curve back only from the answer to the
// take-back; a failed load before it is answered all the same.
TEST(DriverWait, AnExitCountsEveryAnswerAndOnlyAnAppliedTakeBack) {
  for (double taken : {-99.0, -77.0}) {
    af::loads_sent = af::load_answers.load() + 2;
    af::note_take_back_load();
    for (double line : {-77.0, -20.0, 1.5, taken}) af::note_meter_answer(line);
    EXPECT_EQ(af::take_back_answered(), taken == -99.0);
    EXPECT_EQ(af::take_back_unapplied_text().rfind(taken == -99.0 ? "The driver did not" : "The driver refused", 0), 0u);
  }
}

// Wherever the driver has not taken the change back when the editor ends,
// the box and stderr say so: a take-back the meter's death kept from it, one
// unanswered under the time-out box or at a hard exit, one refused.
TEST(DriverWait, EveryExitSaysWhatTheDriverMayStillHold) {
  start_recorded();
  PipeStub pipe;
  af::thrd1_done = true;  // no reader: every answer the driver gave is in
  std::shared_ptr<afp::ChildProcess> dead = afp::ChildProcess::start("/bin/true", {});
  ASSERT_TRUE(dead && dead->wait(5000));
  auto apply = [](bool answered) {
    af::pressed_apply();
    af::driver_successfully_applied_changes = answered;
    return pump_until([&] { return answered ? af::cpop.attr("winfo_ismapped")().cast<bool>() : !af::graph_suspended; });
  };
  const std::string box = "Error: Subprocess failure\\.\n\n";
  af::meter_exit_code = 1;
  af::proc = dead;
  ASSERT_TRUE(apply(false));  // under the time-out box
  EXPECT_EXIT(af::meter_died(), ::testing::ExitedWithCode(1), box + "The driver did not answer the take-back");
  af::proc = afp::ChildProcess::start("/bin/sleep", {"30"});
  ASSERT_TRUE(apply(true));  // in the countdown, every load before answered
  af::applied_load = af::loads_sent.load();
  EXPECT_EXIT(af::end_editor_at_once(1), ::testing::ExitedWithCode(1), "The driver did not answer the take-back");
  af::revert_settings();  // the countdown's end, refused
  af::load_answers = af::take_back_load - 1;
  af::note_meter_answer(-77);
  ASSERT_TRUE(pump_until([] { return af::dialogs::recorded().size() > 1 && af::reverting_settings == 0; }));
  EXPECT_EQ(af::dialogs::recorded().back().message,
            "The driver refused the take-back of the unconfirmed change.\nIt may still hold that change.");
  af::proc->terminate();
  af::proc = dead;
  ASSERT_TRUE(apply(true));
  // Last: the child's Tk calls share the X connection.
  EXPECT_EXIT(af::meter_died(), ::testing::ExitedWithCode(1), box + "The take-back .* could not reach the driver");
}

// A take-back that cannot write "p.dat" after the time-out keeps the curve
// the change replaced beside it, for the exit or the next start.
TEST(DriverWait, ATakeBackThatCannotWriteKeepsThePreviousCurve) {
  start_recorded();
  PipeStub pipe;
  const std::string pdat_before = aftest::read_file(settings_folder() / "p.dat");
  af::pressed_apply();
  ASSERT_EQ(aftest::read_file(af::previous_curve_path()), pdat_before);
  fs::remove(settings_folder() / "p.dat");
  fs::create_directory(settings_folder() / "p.dat");
  ASSERT_TRUE(pump_until([] { return count_dialogs("error", "No response from subprocess") == 1; }));
  EXPECT_EQ(aftest::read_file(af::previous_curve_path()), pdat_before);
  EXPECT_FALSE(af::graph_suspended);
  // A second change keeps the last confirmed curve, not the unconfirmed one.
  fs::remove(settings_folder() / "p.dat");
  aftest::write_file(settings_folder() / "p.dat", "unconfirmed");
  af::pressed_apply();
  EXPECT_EQ(aftest::read_file(af::previous_curve_path()), pdat_before);
  // Removed, but its folder's flush failed: the box names the folder.
  af::driver_successfully_applied_changes = 1;
  ASSERT_TRUE(pump_until([] { return af::cpop.attr("winfo_ismapped")().cast<bool>(); }));
  afp::set_folder_flush_hook([](const std::string&) { return EIO; });
  af::ok_button.attr("invoke")();
  afp::set_folder_flush_hook({});
  EXPECT_EQ(af::dialogs::recorded().back().message.rfind("Cannot write \"" + settings_folder().string() + "\"", 0), 0u);
  af::pressed_apply();
  // OK is final, though the kept file cannot be removed (a box says so):
  // neither a hard exit (the meter's death, the display's loss) nor a close
  // while the box is still open takes the change back, nothing is reported
  // of the box torn down, and the kept file goes once it can.
  af::driver_successfully_applied_changes = 1;
  ASSERT_TRUE(pump_until([] { return af::cpop.attr("winfo_ismapped")().cast<bool>(); }));
  const std::string confirmed = aftest::read_file(settings_folder() / "p.dat");
  aftest::set_frozen(settings_folder(), true);
  std::string at_hard_exit;
  af::dialogs::on_record([&] {
    aftest::set_frozen(settings_folder(), false);
    af::take_back_pending_change_at_exit();
    at_hard_exit = aftest::read_file(settings_folder() / "p.dat");
    af::kill();
  });
  ::testing::internal::CaptureStderr();
  af::ok_button.attr("invoke")();
  const std::string stderr_text = ::testing::internal::GetCapturedStderr();
  af::dialogs::on_record(nullptr);
  EXPECT_EQ(count_dialogs("error", "Cannot remove \"" + af::previous_curve_path() + "\":\n" + aftest::frozen_reason() +
                                       "\n\nThe curve from before this change may come back at the next start."),
            1u);
  EXPECT_EQ(at_hard_exit, confirmed);
  EXPECT_EQ(aftest::read_file(settings_folder() / "p.dat"), confirmed);
  EXPECT_FALSE(fs::exists(af::previous_curve_path()));
  EXPECT_EQ(stderr_text.find("Traceback"), std::string::npos) << stderr_text;
}

// The first confirm window of a run stands where every later one does.
TEST(DriverWait, EveryConfirmWindowIsPlacedFromItsRealSize) {
  start_recorded();
  std::string places[2];
  for (std::string& place : places) {
    af::pressed_apply();
    af::driver_successfully_applied_changes = 1;
    ASSERT_TRUE(pump_until([] { return af::cpop.attr("winfo_ismapped")().cast<bool>(); }));
    place = py::str(af::cpop.attr("wm_geometry")()).cast<std::string>();
    af::ok_button.attr("invoke")();
  }
  EXPECT_EQ(places[0], places[1]);
  af::bypass_confirm = 1;  // taken without asking: nothing stays kept
  af::pressed_apply();
  af::driver_successfully_applied_changes = 1;
  ASSERT_TRUE(pump_until([] { return !af::graph_suspended; }));
  EXPECT_FALSE(fs::exists(af::previous_curve_path()));
}

TEST(DriverWait, UnwritableCurveFileGivesTheErrorAndNoLoad) {
  start_recorded();
  PipeStub pipe;
  // A folder in the file's place: the new file cannot replace it.
  fs::path pdat = settings_folder() / "p.dat";
  fs::remove(pdat);
  fs::create_directory(pdat);
  af::pressed_apply();
  ASSERT_EQ(af::dialogs::recorded().size(), 1u);
  EXPECT_EQ(af::dialogs::recorded()[0].title, "Error applying settings");
  EXPECT_FALSE(af::graph_suspended);
  EXPECT_EQ(py::str(af::apply_button.attr("cget")("text")).cast<std::string>(), "Apply");
  EXPECT_TRUE(pipe.commands().empty());
  EXPECT_TRUE(fs::is_directory(pdat));
  // A Cancel that cannot write the curve back ends the countdown before its box.
  fs::remove(pdat);
  af::pressed_apply();
  af::driver_successfully_applied_changes = 1;
  ASSERT_TRUE(pump_until([] { return af::cpop.attr("winfo_ismapped")().cast<bool>(); }));
  fs::remove(pdat);
  fs::create_directory(pdat);
  py::object pending_after = py::eval("lambda tk, id: id in tk.splitlist(tk.call('after', 'info'))");
  af::dialogs::on_record([&] { EXPECT_FALSE(af::cpop.attr("winfo_ismapped")().cast<bool>() || pending_after(af::root.attr("tk"), af::cpop_cd).cast<bool>()); });
  af::cancel_button.attr("invoke")();
  af::dialogs::on_record(nullptr);
  EXPECT_EQ(af::dialogs::recorded().size(), 2u);
}

// ---- the whole cycle with the real meter and the stand-in driver ----------------

class RealMeter : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = fs::path(std::getenv("XDG_RUNTIME_DIR")) / "driver.log";
    driver_ = start_standin_driver({"--log", log_.string(), "--no-x", "--speed", "20,20,0"});
    ASSERT_GT(driver_, 0);
    ASSERT_TRUE(wait_for_driver_port());
    af::dialogs::set_recording(true);
    af::start_editor();
    pdat_ = settings_folder() / "p.dat";
    before_ = aftest::read_file(pdat_);
    ASSERT_TRUE(pump_until([] { return af::ready.load(); }));  // speeds arrive
  }
  void TearDown() override {
    if (driver_ > 0) {
      ::kill(driver_, SIGKILL);
      waitpid(driver_, nullptr, 0);
    }
  }
  // The tables of every set_curve the driver received, in order.
  std::vector<std::string> tables() {
    std::ifstream in(log_);
    std::vector<std::string> t;
    for (std::string l; std::getline(in, l);) {
      size_t at = l.find(" table_a=");
      if (at != std::string::npos) t.push_back(l.substr(at, l.find(' ', at + 1) - at));
    }
    return t;
  }
  int uploads() { return static_cast<int>(tables().size()); }
  void move_point_and_apply() {
    py::list nx = py::list(af::x), ny = py::list(af::y);
    ny[py::int_(1)] = py::float_(1.5);
    af::set_xy(nx, ny);
    af::set_line_markers();
    af::redefine_spline();
    af::update_spline();
    af::pressed_apply();
  }
  bool cpop_shown() { return af::cpop.attr("winfo_ismapped")().cast<bool>(); }
  // "p.dat" holds the curve from before the Apply again, and the driver got
  // the table it had before once more.
  void expect_taken_back(int start_uploads) {
    EXPECT_EQ(aftest::read_file(pdat_), before_);
    EXPECT_FALSE(fs::exists(af::previous_curve_path()));
    ASSERT_EQ(uploads(), start_uploads + 2);
    if (start_uploads > 0) {
      EXPECT_EQ(tables().back(), tables()[start_uploads - 1]);
    }
    EXPECT_NE(tables().back(), tables()[start_uploads]);
  }
  pid_t driver_ = -1;
  fs::path log_, pdat_;
  std::string before_;
};

// An exit in the countdown, a take-back's wait running too, with the driver
// silent: under its box no countdown timer is left and no driver poll runs,
// the driver is waited for once, and the one box says it did not answer.
TEST_F(RealMeter, AnExitStopsTheCountdownAndWaitsForASilentDriverOnce) {
  move_point_and_apply();
  ASSERT_TRUE(pump_until([&] { return cpop_shown(); }));
  ASSERT_EQ(::kill(driver_, SIGSTOP), 0);
  af::wait_for_driver_to_revert(35);
  std::string timers, countdown;
  int polls = -1;
  af::dialogs::on_record([&] {
    polls = af::driver_wait_polls();
    pump_rounds(60);
    polls = af::driver_wait_polls() - polls;
    timers = py::str(af::root.attr("tk").attr("call")("after", "info")).cast<std::string>();
    countdown = py::str(af::cpop_cd).cast<std::string>();
  });
  const auto start = std::chrono::steady_clock::now();
  af::kill();
  EXPECT_LT(std::chrono::steady_clock::now() - start, af::kExitDriverWait + std::chrono::seconds(3));
  EXPECT_EQ(timers.find("'" + countdown + "'"), std::string::npos) << timers;
  EXPECT_EQ(polls, 0);
  ASSERT_EQ(af::dialogs::recorded().size(), 1u);
  EXPECT_EQ(af::dialogs::recorded()[0].message.rfind("The driver did not answer the take-back", 0), 0u);
}

TEST_F(RealMeter, OkKeepsTheCurveAndTheFillIsDrawn) {
  int start_uploads = uploads();
  move_point_and_apply();
  ASSERT_TRUE(pump_until([&] { return cpop_shown(); }));
  EXPECT_NE(aftest::read_file(pdat_), before_);
  EXPECT_EQ(uploads(), start_uploads + 1);
  EXPECT_EQ(aftest::read_file(af::previous_curve_path()), before_);  // until confirmed
  std::string text = py::str(af::cpl2.attr("cget")("text")).cast<std::string>();
  EXPECT_EQ(text, "Settings will revert in...12\nEsc to cancel");
  af::ok_button.attr("invoke")();
  EXPECT_FALSE(af::graph_suspended);
  EXPECT_FALSE(fs::exists(af::previous_curve_path()));
  std::string applied = aftest::read_file(pdat_);
  // Speeds of 20 fill under the curve once the display runs again.
  ASSERT_TRUE(pump_until([] {
    py::object paths = af::fuc.attr("get_paths")();
    return py::len(paths) > 0 && af::weight_alpha > 0.2;
  }));
  if (const char* shot = std::getenv("AF_SHOT")) {
    std::system((std::string("import -window root ") + shot).c_str());
  }
  af::kill();
  EXPECT_EQ(aftest::read_file(pdat_), applied);
}

TEST_F(RealMeter, CancelRestoresTheCurveAndUploadsItAgain) {
  int start_uploads = uploads();
  move_point_and_apply();
  ASSERT_TRUE(pump_until([&] { return cpop_shown(); }));
  af::cancel_button.attr("invoke")();
  af::cancel_button.attr("invoke")();  // a second Cancel starts no second revert
  ASSERT_TRUE(pump_until([] { return af::reverting_settings == 0; }));
  expect_taken_back(start_uploads);
  EXPECT_FALSE(af::graph_suspended);
  EXPECT_EQ(py::str(af::apply_button.attr("cget")("text")).cast<std::string>(), "Apply");
  // A revert of the user's own Apply leaves the edited curve as edited.
  EXPECT_EQ(py::float_(af::y[py::int_(1)]).cast<double>(), 1.5);
  af::kill();
}

TEST_F(RealMeter, RevertAfterAPresetOrProfileCopiesTheRestoredCurveIntoTheEditedOne) {
  move_point_and_apply();
  ASSERT_TRUE(pump_until([&] { return cpop_shown(); }));
  af::match_on_revert = 1;  // what a preset or a loaded profile leaves
  af::cancel_button.attr("invoke")();
  ASSERT_TRUE(pump_until([] { return af::reverting_settings == 0; }));
  EXPECT_EQ(aftest::read_file(pdat_), before_);
  auto as_list = [](py::handle seq) {
    std::vector<double> v;
    for (py::handle e : seq) v.push_back(py::float_(py::reinterpret_borrow<py::object>(e)).cast<double>());
    return v;
  };
  py::object xd = af::active_line.attr("get_xdata")(), yd = af::active_line.attr("get_ydata")();
  EXPECT_EQ(as_list(af::x), as_list(xd));
  EXPECT_EQ(as_list(af::y), as_list(yd));
  EXPECT_NE(py::float_(af::y[py::int_(1)]).cast<double>(), 1.5);
  EXPECT_EQ(af::match_on_revert, 0);  // used once
  af::kill();
}

TEST_F(RealMeter, CountdownEndRestoresTheCurve) {
  int start_uploads = uploads();
  move_point_and_apply();
  ASSERT_TRUE(pump_until([&] { return cpop_shown(); }));
  // undone is set by the revert and stays set through its wait.
  ASSERT_TRUE(pump_until([] { return af::undone == 1; }, 20000));
  ASSERT_TRUE(pump_until([] { return af::reverting_settings == 0; }));
  expect_taken_back(start_uploads);
  af::kill();
}

TEST_F(RealMeter, ClosingWithAPendingChangeRestoresTheCurveAndEndsTheMeter) {
  int start_uploads = uploads();
  move_point_and_apply();
  ASSERT_TRUE(pump_until([&] { return cpop_shown(); }));
  std::shared_ptr<afp::ChildProcess> meter = af::proc;
  fs::create_directory(af::settingsdir + "GUI.dat");  // the settings cannot be written
  af::kill();
  EXPECT_EQ(aftest::read_file(pdat_), before_);
  EXPECT_FALSE(fs::exists(af::previous_curve_path()));
  EXPECT_TRUE(meter->wait(5000).has_value());
  // The driver was told to drop the unconfirmed curve before the meter quit.
  EXPECT_EQ(uploads(), start_uploads + 2);
  EXPECT_TRUE(af::dialogs::recorded().empty());
  EXPECT_EXIT(af::end_if_closed_from_outside(), ::testing::ExitedWithCode(1), "");
}

// A close that cannot take the change back says so.
TEST_F(RealMeter, AClosingThatCannotTakeTheChangeBackSaysSo) {
  move_point_and_apply();
  ASSERT_TRUE(pump_until([&] { return cpop_shown(); }));
  fs::remove(pdat_);
  fs::create_directory(pdat_);
  af::kill();
  EXPECT_EQ(count_dialogs("error", "Cannot write \"" + pdat_.string() +
                                       "\":\nIs a directory\n\nThe change was not confirmed and could not be taken back."),
            1u);
  // What the import runs once the main loop has ended.
  EXPECT_EXIT(af::end_if_closed_from_outside(), ::testing::ExitedWithCode(1), "could not be taken back");
}

// The meter is stopped during an Apply and goes on after the time-out box:
// its late answers (to the Apply's load and to the take-back's) confirm
// nothing, the driver ends with the curve "p.dat" holds, and a later Apply
// is confirmed by its own answer only.
TEST_F(RealMeter, LateAnswersAfterTheTimeOutChangeNothing) {
  const int start_uploads = uploads();
  ASSERT_GT(start_uploads, 0);  // the start-up upload
  const std::string original = tables().back();
  const pid_t meter = af::proc->pid();

  ASSERT_EQ(::kill(meter, SIGSTOP), 0);
  move_point_and_apply();
  ASSERT_TRUE(pump_until([] { return count_dialogs("error", "No response from subprocess") == 1; }, 20000));
  EXPECT_EQ(aftest::read_file(pdat_), before_);
  EXPECT_FALSE(af::graph_suspended);
  ASSERT_EQ(::kill(meter, SIGCONT), 0);
  ASSERT_TRUE(pump_until([&] { return uploads() == start_uploads + 2 && af::pending_loads == 0; }));
  pump_until([] { return false; }, 100);
  EXPECT_FALSE(cpop_shown());
  EXPECT_EQ(tables().back(), original);
  EXPECT_EQ(aftest::read_file(pdat_), before_);

  af::kill();
}

// Answers to a timed-out Apply and to its take-back that are still in the
// queue when the next Apply starts: they must not confirm it while its own
// load has not reached the driver.
TEST_F(RealMeter, AStaleAnswerNeverConfirmsTheNextApply) {
  const int start_uploads = uploads();
  ASSERT_GT(start_uploads, 0);
  const std::string original = tables().back();
  const pid_t meter = af::proc->pid();

  ASSERT_EQ(::kill(meter, SIGSTOP), 0);
  move_point_and_apply();
  ASSERT_TRUE(pump_until([] { return count_dialogs("error", "No response from subprocess") == 1; }, 20000));
  // The meter answers both loads while Tk does not run: the answers wait in
  // the queue. Then it stops again, before the next Apply.
  ASSERT_EQ(::kill(meter, SIGCONT), 0);
  for (int i = 0; i < 500 && uploads() < start_uploads + 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_EQ(::kill(meter, SIGSTOP), 0);
  ASSERT_FALSE(af::q.empty());
  af::pressed_apply();  // the edited curve is still the user's: apply it again
  ASSERT_TRUE(pump_until([&] { return cpop_shown() || count_dialogs("error", "No response from subprocess") == 2; },
                         20000));
  EXPECT_FALSE(cpop_shown());
  EXPECT_EQ(uploads(), start_uploads + 2);
  // Going on, the meter loads what "p.dat" holds again: the old curve.
  ASSERT_EQ(::kill(meter, SIGCONT), 0);
  ASSERT_TRUE(pump_until([&] { return uploads() == start_uploads + 4 && af::pending_loads == 0; }));
  EXPECT_EQ(tables().back(), original);
  EXPECT_EQ(aftest::read_file(pdat_), before_);
  af::kill();
}

// The whole run happens in the death test's child, so the reader thread
// exists there. The driver logs what it receives, so the parent can check
// that the run took the road the test is about.
std::vector<std::string> curve_upload_statuses();

void run_until_meter_ends(std::vector<std::string> driver_args, bool end_meter, std::vector<bool> answers = {}) {
  driver_args.insert(driver_args.end(), {"--log", driver_log().string()});
  if (start_standin_driver(driver_args) <= 0 || !wait_for_driver_port()) return;  // the output then fails the test
  af::dialogs::set_recording(true);
  for (bool a : answers) af::dialogs::push_bool_answer(a);
  af::start_editor();
  if (end_meter) {
    // Ended only once its curve has reached the driver, however slow the
    // machine.
    pump_until([] { return !curve_upload_statuses().empty(); });
    af::proc->terminate();
  }
  pump_until([] { return false; }, 2000);
}

// The status of every set_curve the driver answered, in order.
std::vector<std::string> curve_upload_statuses() {
  std::ifstream in(driver_log());
  std::vector<std::string> out;
  for (std::string l; std::getline(in, l);) {
    if (l.find(" table_a=") == std::string::npos) continue;
    size_t at = l.find(" status=");
    out.push_back(at == std::string::npos ? "none" : l.substr(at + 8, l.find(' ', at + 8) - at - 8));
  }
  return out;
}

// The meter ran against the driver and uploaded the curve; then it was
// ended from outside.
TEST(MeterDeath, OtherCodeShowsSubprocessFailureAndExits) {
  EXPECT_EXIT(run_until_meter_ends({"--no-x", "--zeros"}, true), ::testing::ExitedWithCode(1),
              "Error: Subprocess failure\\.");
  EXPECT_EQ(curve_upload_statuses(), std::vector<std::string>{"0x00000000"});
}

// The driver refused the upload: that refusal is what ends the meter with 8.
const std::vector<std::string> kRefusedUpload{"0x00000001"};

TEST(MeterDeath, CodeEightAsksForTheDriverAndExits) {
  EXPECT_EXIT(run_until_meter_ends({"--no-x", "--zeros", "--curve-status", "1"}, false),
              ::testing::ExitedWithCode(1), "Missing driver: Arcflex Driver required.*Closing program");
  EXPECT_EQ(curve_upload_statuses(), kRefusedUpload);
}

// "yes" runs the staged installer with "/I" against this test's stand-in
// machine; the box tells its real result, then the editor ends.
TEST(MeterDeath, CodeEightYesInstallsTheDriverAndAsksForAReboot) {
  const std::string mouclass = seed_mouclass_filters();
  EXPECT_EXIT(run_until_meter_ends({"--no-x", "--zeros", "--curve-status", "1"}, false, {true}),
              ::testing::ExitedWithCode(1),
              "Missing driver: Arcflex Driver required.*Reboot required: You must reboot for the changes");
  EXPECT_EQ(curve_upload_statuses(), kRefusedUpload);
  EXPECT_EQ(mouse_filters(), afp::reg_string_bytes(u"afmouse") + mouclass);
}

TEST(MeterDeath, CodeEightYesReportsAFailedInstall) {
  // No mouse class filter list on this machine: the installer gives -1.
  EXPECT_EXIT(run_until_meter_ends({"--no-x", "--zeros", "--curve-status", "1"}, false, {true}),
              ::testing::ExitedWithCode(1),
              "Missing driver: .*Install failed: There was an error installing the driver: 255");
  EXPECT_EQ(curve_upload_statuses(), kRefusedUpload);
}

}  // namespace
