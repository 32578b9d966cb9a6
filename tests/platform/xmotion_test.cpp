// The stand-in driver's speeds from raw pointer motion on the X display.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "af_test_env.h"
#include "platform/port.h"
#include "platform/process.h"

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

}  // namespace
