// The stand-in driver's speeds from raw pointer motion on the X display,
// and which X errors the editor's handler lets end the process.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "af_test_env.h"
#include "platform/port.h"
#include "platform/process.h"
#include "platform/window_errors.h"

// Last: its macros (None, Bool) clash with names in the headers above.
#include <X11/Xlib.h>

namespace {

using Clock = std::chrono::steady_clock;

TEST(XMotion, PointerMotionGivesSpeeds) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
  if (std::system("command -v xdotool >/dev/null") != 0) GTEST_SKIP() << "no xdotool";
  auto base = aftest::isolate_environment();
  const auto log = base / "driver.log";
  auto driver = afp::ChildProcess::start(AF_MOUSE_PROGRAM, {"--log", log.string()});
  ASSERT_TRUE(driver);
  const auto until = Clock::now() + std::chrono::seconds(5);
  while (aftest::read_file(log).find("event=listening") == std::string::npos && Clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  auto port = afp::DriverPort::connect();
  ASSERT_TRUE(port);

  std::atomic<bool> stop{false};
  double max_a = 0, max_b = 0, max_c = 0;
  long replies = 0;
  std::thread poller([&] {
    unsigned char request[64] = {19};
    unsigned char reply[64];
    while (!stop) {
      afp::PortResult r = port->send(request, sizeof request, reply, sizeof reply);
      if (r.status != afp::kPortOk || r.bytes_returned != 64) break;
      double v[3];
      std::memcpy(v, reply, sizeof v);
      max_a = std::max(max_a, v[0]);
      max_b = std::max(max_b, v[1]);
      max_c = std::max(max_c, v[2]);
      ++replies;
    }
  });
  // Relative moves go through XTest as raw motion; absolute warps do not.
  for (int i = 0; i < 10; ++i) {
    ASSERT_EQ(std::system("xdotool mousemove_relative -- 12 0 && xdotool mousemove_relative -- -12 9 "
                          "&& xdotool mousemove_relative -- 0 -9"),
              0);
  }
  stop = true;
  poller.join();
  ::kill(driver->pid(), SIGTERM);
  driver->wait(5000);
  EXPECT_GT(replies, 10);
  EXPECT_GT(max_a, 0.0);
  EXPECT_GT(max_b, 0.0);
  EXPECT_GT(max_c, 0.0);
  EXPECT_LE(max_c, 100.0);
}

// A BadWindow is ignored; any other error still reaches Xlib's default
// handler, which prints it and exits with 1.
TEST(XErrors, OnlyErrorsAboutGoneWindowsAreIgnored) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
  auto provoke = [](bool gone_window) {
    afp::ignore_errors_about_gone_windows();
    Display* d = nullptr;  // refused while the server resets after its last client
    for (int i = 0; i < 100 && !(d = XOpenDisplay(nullptr)); ++i) usleep(50000);
    if (!d) _exit(3);
    const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    XDestroyWindow(d, w);
    gone_window ? XMapWindow(d, w) : XFreePixmap(d, w);
    XSync(d, False);
    _exit(0);
  };
  EXPECT_EXIT(provoke(true), ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(provoke(false), ::testing::ExitedWithCode(1), "BadPixmap");
}

}  // namespace
