// The start-up up to the main loop: data folders, the first-run unblocking,
// the left-over meter, the default curve file before the meter would start,
// and the order of the visible steps.
#include <algorithm>
#include <thread>

#include <platform/pipe.h>

#include "gui_fixture.h"
#include "startup.h"

using namespace guitest;

namespace {

size_t step_index(const std::string& name) {
  const auto& steps = arcflex::startup_steps;
  auto it = std::find(steps.begin(), steps.end(), name);
  EXPECT_NE(it, steps.end()) << "step " << name << " did not run";
  return static_cast<size_t>(it - steps.begin());
}

}  // namespace

TEST(StartupFolders, FirstRunCreatesFoldersUnblocksOnceAndWritesTheCurveFile) {
  count_unblock_calls();
  ASSERT_FALSE(fs::exists(data_root()));
  start_recorded();

  EXPECT_TRUE(fs::is_directory(settings_folder()));
  EXPECT_TRUE(fs::is_directory(data_root() / "profiles"));
  EXPECT_EQ(unblock_calls(), 1);
  // Folder strings end in a separator: file paths are folder + name.
  EXPECT_EQ(arcflex::settingsdir, settings_folder().string() + "/");
  EXPECT_TRUE(arcflex::init_err);
  EXPECT_TRUE(fs::exists(settings_folder() / "p.dat"));
  EXPECT_FALSE(aftest::read_file(settings_folder() / "p.dat").empty());
  EXPECT_TRUE(arcflex::dialogs::recorded().empty());

  // The curve file is there before the window is shown and the meter would
  // start; the main loop's pause flag is cleared last.
  EXPECT_LT(step_index("folders"), step_index("settings_load"));
  EXPECT_LT(step_index("rescale_view"), step_index("write_curve"));
  EXPECT_LT(step_index("write_curve"), step_index("panel"));
  EXPECT_LT(step_index("panel"), step_index("show_root"));
  EXPECT_EQ(arcflex::startup_steps.back(), "ready");
  EXPECT_FALSE(arcflex::mmpause);
  EXPECT_EQ(py::module_::import("os").attr("environ")["ARCFLEX"].cast<std::string>(), "running");
}

TEST(StartupFolders, LaterRunDoesNotUnblockAndCreatesOnlyWhatIsMissing) {
  fs::create_directories(settings_folder());
  count_unblock_calls();
  start_recorded();
  EXPECT_EQ(unblock_calls(), 0);
  EXPECT_TRUE(fs::is_directory(data_root() / "profiles"));
  // No curve file yet: it is written from the defaults.
  EXPECT_TRUE(fs::exists(settings_folder() / "p.dat"));
}

TEST(StartupFolders, ProfilesFolderAloneMissingDoesNotUnblock) {
  fs::create_directories(settings_folder());
  count_unblock_calls();
  start_recorded();
  EXPECT_EQ(unblock_calls(), 0);
  EXPECT_TRUE(fs::is_directory(data_root() / "profiles"));
}

// A killed editor's unconfirmed change: the curve it replaced goes back first.
TEST(StartupFolders, CurveFileOfAnUnconfirmedChangeIsPutBackBeforeTheLoad) {
  const fs::path pdat = settings_folder() / "p.dat";
  const std::string previous = "0 10 30 40 \r\n0.5 1 1 1 \r\n0 0 0 0 \r\n0.0\r\n6.67" + aftest::curve_table();
  fs::create_directories(settings_folder());
  aftest::write_file(settings_folder() / "p.dat.prev", previous);
  aftest::write_file(pdat, "0 20 30 40 \r\n0.5 1 1 1 \r\n0 0 0 0 \r\n0.0\r\n6.67" + aftest::curve_table());
  start_recorded();
  EXPECT_EQ(aftest::read_file(pdat), previous);
  EXPECT_FALSE(fs::exists(settings_folder() / "p.dat.prev"));
  EXPECT_LT(step_index("previous_curve"), step_index("settings_load"));
  EXPECT_EQ(arcflex::horizontal_x[py::int_(1)].cast<double>(), 10.0);
}

TEST(StartupCallbacks, ACallbackErrorIsReportedUntilTheEditorEnds) {
  start_recorded();
  for (bool ended : {false, true}) {
    arcflex::killed = ended;  // once the exit function ran, a box left open fails quietly
    testing::internal::CaptureStderr();
    arcflex::root.attr("after_idle")(py::eval("lambda: 1 / 0"));
    arcflex::root.attr("update")();
    py::module_::import("sys").attr("stderr").attr("flush")();
    EXPECT_EQ(testing::internal::GetCapturedStderr().find("ZeroDivisionError") == std::string::npos, ended);
  }
  arcflex::killed = false;
}

TEST(StartupMeter, NoMeterRunningMeansNoPipeAttemptAndNoWait) {
  start_recorded();
  EXPECT_TRUE(arcflex::dialogs::recorded().empty());
  // Once more on its own, with a pipe listening: with no meter process the
  // start-up must not send "quit" to whoever serves the pipe. Our own probe,
  // sent afterwards, has to be the first client the server sees.
  auto server = afp::PipeServer::create("Arcflex_Pipe");
  ASSERT_NE(server, nullptr);
  arcflex::stop_leftover_meter();
  ASSERT_TRUE(afp::pipe_send("Arcflex_Pipe", "probe"));
  ASSERT_TRUE(server->accept());
  std::string got;
  char buf[64];
  for (std::int64_t n; (n = server->read(buf, sizeof buf)) > 0;) got.append(buf, static_cast<size_t>(n));
  EXPECT_EQ(got, "probe");
  EXPECT_TRUE(arcflex::dialogs::recorded().empty());
}

TEST(StartupMeter, MeterThatNeverOpensItsPipeGetsTheTimeOutBoxAndIsTerminated) {
  FakeMeter meter("/bin/sleep", {"60"});
  ASSERT_TRUE(meter.alive());
  auto t0 = std::chrono::steady_clock::now();
  start_recorded();
  auto elapsed = std::chrono::steady_clock::now() - t0;
  EXPECT_FALSE(meter.alive());
  EXPECT_EQ(count_dialogs("error", "quit operation timed out.\nYou may need to restart the program."), 1u);
  ASSERT_EQ(arcflex::dialogs::recorded().size(), 1u);
  EXPECT_EQ(arcflex::dialogs::recorded()[0].title, "Error");
  EXPECT_TRUE(arcflex::dialogs::recorded()[0].parented);
  // 80 attempts 0.05 s apart, then the 2 s wait before the termination.
  EXPECT_GE(elapsed, std::chrono::milliseconds(5500));
  // The start-up went on to the end.
  EXPECT_EQ(arcflex::startup_steps.back(), "ready");
}

TEST(StartupMeter, MeterThatObeysQuitEndsWithoutAnyBox) {
  FakeMeter meter("/bin/sleep", {"60"});
  auto server = afp::PipeServer::create("Arcflex_Pipe");
  ASSERT_NE(server, nullptr);
  std::string received;
  std::thread meter_pipe([&] {
    if (!server->accept()) return;
    char buf[16];
    std::int64_t n;
    while ((n = server->read(buf, sizeof buf)) > 0) received.append(buf, static_cast<size_t>(n));
    // The meter ends on "quit".
    if (received == "quit") kill(meter.pid(), SIGTERM);
  });
  start_recorded();
  meter_pipe.join();
  EXPECT_EQ(received, "quit");
  EXPECT_FALSE(meter.alive());
  EXPECT_TRUE(arcflex::dialogs::recorded().empty());
}

TEST(StartupMeter, MeterOfAnotherRunFolderIsLeftAlone) {
  auto other = aftest::make_temp_dir("otherrun");
  std::vector<std::string> env{"XDG_RUNTIME_DIR=" + other.string(), "PATH=/usr/bin:/bin"};
  FakeMeter meter("/bin/sleep", {"60"}, env);
  start_recorded();
  EXPECT_TRUE(meter.alive());
  EXPECT_TRUE(arcflex::dialogs::recorded().empty());
}

TEST(StartupMeter, MeterAlreadyGoneWhenTerminatedCountsAsStopped) {
  FakeMeter meter("/bin/sleep", {"60"});
  // The meter ends between the wait and its termination.
  py::exec(R"(
import psutil
def terminate(self):
    raise psutil.NoSuchProcess(self.pid)
psutil.Process.terminate = terminate
)");
  start_recorded();
  EXPECT_EQ(count_dialogs("error", "quit operation timed out.\nYou may need to restart the program."), 1u);
  EXPECT_EQ(arcflex::dialogs::recorded().size(), 1u);
  EXPECT_EQ(arcflex::startup_steps.back(), "ready");
}

TEST(StartupMeterDeathTest, MeterThatCannotBeEndedEndsTheEditorWithCode1) {
  // The child must share this process's folders and run-time folder.
  GTEST_FLAG_SET(death_test_style, "fast");
  FakeMeter meter("/bin/bash", {"-c", "trap '' TERM; while :; do sleep 0.2; done"});
  EXPECT_EXIT(
      {
        arcflex::dialogs::set_recording(true);
        arcflex::start_editor();
      },
      ::testing::ExitedWithCode(1), "Error closing process afmeter\\. Try closing it through the task manager\\.");
}

TEST(StartupSingleInstance, SecondEditorExitsWithCode1BeforeTouchingAnything) {
  // The child must share this process's folders and run-time folder.
  GTEST_FLAG_SET(death_test_style, "fast");
  bool existed = false;
  auto held = afp::NamedMutex::create_owned("Keep_AF_Alive_Mutex", existed);
  ASSERT_NE(held, nullptr);
  EXPECT_EXIT(arcflex::start_editor(), ::testing::ExitedWithCode(1), "");
  EXPECT_FALSE(fs::exists(data_root()));
}
