// The driver port client against the stand-in driver: messages and replies
// cross intact, the stand-in logs what it got, and its failure modes work.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <thread>
#include <vector>

#include "af_test_env.h"
#include "log.h"
#include "platform/port.h"
#include "platform/process.h"
#include "platform/rundir.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kDriver = AF_MOUSE_PROGRAM;

bool eventually(const std::function<bool()>& done, int timeout_ms) {
  auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

void put_u32(std::vector<unsigned char>& m, std::size_t off, std::uint32_t v) { std::memcpy(&m[off], &v, 4); }
void put_f64(std::vector<unsigned char>& m, std::size_t off, double v) { std::memcpy(&m[off], &v, 8); }

std::vector<unsigned char> message(std::uint32_t cmd, std::size_t size) {
  std::vector<unsigned char> m(size, 0);
  put_u32(m, 0, cmd);
  return m;
}

// A curve message as the meter builds it, with `values` in both tables.
std::vector<unsigned char> curve_message(const std::vector<double>& values, double slope, double scale) {
  auto m = message(15, 329192);
  put_u32(m, 0x10, 1);
  put_u32(m, 0x20, 1);
  put_u32(m, 0x24, static_cast<std::uint32_t>(values.size()));
  put_u32(m, 0x4028, 2);
  put_u32(m, 0x402C, static_cast<std::uint32_t>(values.size()));
  for (std::size_t i = 0; i < values.size(); ++i) {
    put_f64(m, 0x28 + 8 * i, values[i]);
    put_f64(m, 0x4030 + 8 * i, values[i]);
  }
  put_f64(m, 0x8030, slope);
  put_f64(m, 0x8038, slope);
  for (std::size_t off : {0x8040, 0x8048, 0x8050, 0x8070}) put_f64(m, off, 1.0);
  put_f64(m, 0x8058, scale);
  put_f64(m, 0x8060, scale);
  put_u32(m, 0x8068, 1);
  put_f64(m, 0x8078, 100.0);
  put_f64(m, 0x8080, 0.1);
  put_u32(m, 0x8088, 1000);
  put_f64(m, 0x80A0, 2.0);
  return m;
}

struct Speed {
  afp::PortResult r;
  double a = -1, b = -1, c = -1;
  bool tail_zero = false;
};

Speed query(afp::DriverPort& port) {
  auto m = message(19, 64);
  unsigned char reply[64];
  std::memset(reply, 0xEE, sizeof reply);
  Speed s;
  s.r = port.send(m.data(), m.size(), reply, sizeof reply);
  if (s.r.bytes_returned >= 24) {
    std::memcpy(&s.a, reply, 8);
    std::memcpy(&s.b, reply + 8, 8);
    std::memcpy(&s.c, reply + 16, 8);
  }
  s.tail_zero = s.r.bytes_returned == 64;
  for (std::size_t i = 24; i < s.r.bytes_returned; ++i) s.tail_zero = s.tail_zero && reply[i] == 0;
  return s;
}

class Port : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = aftest::isolate_environment();
    log_ = base_ / "driver.log";
  }
  void TearDown() override { stop(); }

  void start(std::vector<std::string> args) {
    args.insert(args.begin(), {"--no-x", "--log", log_.string()});
    std::string error;
    driver_ = afp::ChildProcess::start(kDriver, args, &error);
    ASSERT_TRUE(driver_) << error;
    ASSERT_TRUE(eventually([&] { return aftest::read_file(log_).find("event=listening") != std::string::npos; }, 5000))
        << aftest::read_file(log_);
  }
  void stop() {
    if (!driver_) return;
    ::kill(driver_->pid(), SIGTERM);
    driver_->wait(5000);
    driver_.reset();
  }
  std::unique_ptr<afp::DriverPort> connect() {
    auto port = afp::DriverPort::connect("\\AF_D_UserKernelCommPort");
    EXPECT_TRUE(port);
    return port;
  }
  std::vector<afmouse::LogRecord> messages(const std::string& cmd = "") {
    std::vector<afmouse::LogRecord> out;
    for (auto& r : afmouse::read_log(log_.string())) {
      if (r.count("cmd") && (cmd.empty() || r["cmd"] == cmd)) out.push_back(r);
    }
    return out;
  }

  fs::path base_, log_;
  std::unique_ptr<afp::ChildProcess> driver_;
};

TEST_F(Port, ConnectFailsWithoutDriver) {
  EXPECT_EQ(afp::DriverPort::connect(), nullptr);
  EXPECT_EQ(afp::DriverPort::connect("../elsewhere"), nullptr);
}

TEST_F(Port, PortSocketIsOwnerOnly) {
  const mode_t old = umask(0);  // the stand-in inherits the most open mask
  start({"--zeros"});
  umask(old);
  struct stat st {};
  ASSERT_EQ(lstat((base_ / "run" / "arcflex" / "AF_D_UserKernelCommPort").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & (S_IFMT | 07777), S_IFSOCK | 0600u);
  EXPECT_TRUE(connect());
}

TEST_F(Port, CurveMessageCrossesIntact) {
  start({"--zeros"});
  auto port = connect();
  ASSERT_TRUE(port);
  std::vector<double> values;
  for (int i = 0; i < 2048; ++i) values.push_back(1.0 + i / 3.0 + 1e-9 * i);
  auto m = curve_message(values, 0.0123456789, 6.67);
  afp::PortResult r = port->send(m.data(), m.size());
  EXPECT_EQ(r.status, afp::kPortOk);
  EXPECT_EQ(r.bytes_returned, 0u);

  auto logged = messages("15");
  ASSERT_EQ(logged.size(), 1u);
  auto& rec = logged[0];
  EXPECT_EQ(rec["size"], "329192");
  EXPECT_EQ(rec["reply"], "0");
  EXPECT_EQ(rec["status"], "0x00000000");
  EXPECT_EQ(rec["zero"], "1");
  EXPECT_EQ(rec["f0010"], "1");
  EXPECT_EQ(rec["f0020"], "1");
  EXPECT_EQ(rec["f0024"], "2048");
  EXPECT_EQ(rec["f4028"], "2");
  EXPECT_EQ(rec["f402C"], "2048");
  EXPECT_EQ(rec["f8030"], "0.0123456789");
  EXPECT_EQ(rec["f8058"], "6.67");
  EXPECT_EQ(rec["f8068"], "1");
  EXPECT_EQ(rec["f8078"], "100");
  EXPECT_EQ(rec["f8080"], "0.1");
  EXPECT_EQ(rec["f8088"], "1000");
  EXPECT_EQ(rec["f80A0"], "2");
  EXPECT_EQ(afmouse::parse_table(rec["table_a"]), values);
  EXPECT_EQ(afmouse::parse_table(rec["table_b"]), values);

  // A stray byte where no field is shows in the log.
  auto short_table = curve_message({1.0, 2.5}, 0.0, 1.0);
  short_table[0x28 + 8 * 5] = 1;  // behind the two values of table A
  EXPECT_EQ(port->send(short_table.data(), short_table.size()).status, afp::kPortOk);
  logged = messages("15");
  ASSERT_EQ(logged.size(), 2u);
  EXPECT_EQ(logged[1]["zero"], "0");
  EXPECT_EQ(logged[1]["table_a"], "1,2.5");
}

TEST_F(Port, SpeedReplyCrossesIntact) {
  start({"--speed", "1.25,2.5e-07,16.0078125"});
  auto port = connect();
  ASSERT_TRUE(port);
  Speed s = query(*port);
  EXPECT_EQ(s.r.status, afp::kPortOk);
  EXPECT_EQ(s.r.bytes_returned, 64u);
  EXPECT_EQ(s.a, 1.25);
  EXPECT_EQ(s.b, 2.5e-07);
  EXPECT_EQ(s.c, 16.0078125);
  EXPECT_TRUE(s.tail_zero);
  auto logged = messages("19");
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(logged[0]["size"], "64");
  EXPECT_EQ(logged[0]["reply"], "64");
  EXPECT_EQ(logged[0]["returned"], "64");
  EXPECT_EQ(logged[0]["a"], "1.25");
  EXPECT_EQ(logged[0]["b"], "2.5e-07");
  EXPECT_EQ(logged[0]["zero"], "1");
}

TEST_F(Port, SetupMessagesAndBadMessagesAreLogged) {
  start({"--zeros"});
  auto port = connect();
  ASSERT_TRUE(port);
  struct Row {
    std::uint32_t cmd;
    std::size_t size;
    std::uint32_t a, b;
  };
  for (Row row : {Row{20, 68, 0, 0}, Row{21, 68, 1, 0}, Row{17, 72, 0, 0}, Row{18, 72, 1, 0}}) {
    auto m = message(row.cmd, row.size);
    put_u32(m, 0x10, row.a);
    EXPECT_EQ(port->send(m.data(), m.size()).status, afp::kPortOk) << row.cmd;
  }
  auto wrong_size = message(19, 60);
  EXPECT_EQ(port->send(wrong_size.data(), wrong_size.size()).status, static_cast<std::int32_t>(0x80070057u));
  auto unknown = message(99, 64);
  EXPECT_LT(port->send(unknown.data(), unknown.size()).status, 0);
  auto stray = message(20, 68);
  stray[0x30] = 7;
  port->send(stray.data(), stray.size());

  auto logged = messages();
  ASSERT_EQ(logged.size(), 7u);
  EXPECT_EQ(logged[0]["cmd"], "20");
  EXPECT_EQ(logged[0]["size"], "68");
  EXPECT_EQ(logged[0]["f0010"], "0");
  EXPECT_EQ(logged[1]["f0010"], "1");
  EXPECT_EQ(logged[2]["cmd"], "17");
  EXPECT_EQ(logged[2]["f0014"], "0");
  EXPECT_EQ(logged[3]["cmd"], "18");
  EXPECT_EQ(logged[3]["f0010"], "1");
  for (int i = 0; i < 4; ++i) EXPECT_EQ(logged[i]["zero"], "1") << i;
  EXPECT_EQ(logged[4]["error"], "bad_size");
  EXPECT_EQ(logged[5]["error"], "unknown_command");
  EXPECT_EQ(logged[6]["zero"], "0");
  for (std::size_t i = 0; i < logged.size(); ++i) EXPECT_EQ(logged[i]["seq"], std::to_string(i + 1));
}

TEST_F(Port, RefusedCurveCarriesTheDriversStatus) {
  start({"--zeros", "--curve-status", "0x80070005"});
  auto port = connect();
  ASSERT_TRUE(port);
  auto m = curve_message({1.0}, 0.0, 1.0);
  afp::PortResult r = port->send(m.data(), m.size());
  EXPECT_EQ(r.status, static_cast<std::int32_t>(0x80070005u));
  EXPECT_FALSE(afp::port_succeeded(r.status));
  EXPECT_EQ(messages("15").at(0)["status"], "0x80070005");
  // Speed queries are not affected.
  EXPECT_EQ(query(*port).r.status, afp::kPortOk);
}

TEST_F(Port, CurveAnsweredWithAnotherSuccess) {
  start({"--zeros", "--curve-status", "1"});
  auto port = connect();
  ASSERT_TRUE(port);
  auto m = curve_message({1.0}, 0.0, 1.0);
  afp::PortResult r = port->send(m.data(), m.size());
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(afp::port_succeeded(r.status));
}

TEST_F(Port, ShortSpeedReply) {
  start({"--speed", "3,4,5", "--short-reply", "16"});
  auto port = connect();
  ASSERT_TRUE(port);
  Speed s = query(*port);
  EXPECT_EQ(s.r.status, afp::kPortOk);
  EXPECT_EQ(s.r.bytes_returned, 16u);
  EXPECT_EQ(messages("19").at(0)["returned"], "16");
}

TEST_F(Port, StopsAnsweringAfterNQueries) {
  start({"--speed", "1,1,1", "--stop-after", "3"});
  auto port = connect();
  ASSERT_TRUE(port);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(query(*port).r.status, afp::kPortOk) << i;
  EXPECT_FALSE(afp::port_succeeded(query(*port).r.status));
  EXPECT_FALSE(afp::port_succeeded(query(*port).r.status));
  auto m = curve_message({1.0}, 0.0, 1.0);
  EXPECT_EQ(port->send(m.data(), m.size()).status, afp::kPortOk) << "other commands still answered";
  auto logged = messages("19");
  ASSERT_EQ(logged.size(), 5u);
  EXPECT_EQ(logged[3]["stopped"], "1");
}

TEST_F(Port, ClosedConnectionFailsForGood) {
  start({"--speed", "1,1,1", "--stop-after", "2", "--stop-mode", "close"});
  auto port = connect();
  ASSERT_TRUE(port);
  EXPECT_EQ(query(*port).r.status, afp::kPortOk);
  EXPECT_EQ(query(*port).r.status, afp::kPortOk);
  EXPECT_EQ(query(*port).r.status, afp::kPortNotConnected);
  // No reconnect, as with a port handle whose driver went away.
  auto m = curve_message({1.0}, 0.0, 1.0);
  EXPECT_EQ(port->send(m.data(), m.size()).status, afp::kPortNotConnected);
  EXPECT_EQ(messages("15").size(), 0u);
  // A new connection works.
  auto again = connect();
  ASSERT_TRUE(again);
  EXPECT_EQ(again->send(m.data(), m.size()).status, afp::kPortOk);
}

TEST_F(Port, HungQueryDoesNotBlockOtherThreads) {
  start({"--speed", "1,1,1", "--stop-after", "1", "--stop-mode", "hang"});
  auto port = connect();
  ASSERT_TRUE(port);
  EXPECT_EQ(query(*port).r.status, afp::kPortOk);
  std::atomic<bool> done{false};
  std::int32_t hung_status = 0;
  std::thread poller([&] {
    hung_status = query(*port).r.status;
    done = true;
  });
  ASSERT_TRUE(eventually([&] { return messages("19").size() == 2; }, 5000));
  EXPECT_FALSE(done);
  auto m = curve_message({2.0}, 0.0, 1.0);
  EXPECT_EQ(port->send(m.data(), m.size()).status, afp::kPortOk);
  EXPECT_FALSE(done);
  stop();  // the driver goes away: the hung call fails
  EXPECT_TRUE(eventually([&] { return done.load(); }, 5000));
  poller.join();
  EXPECT_EQ(hung_status, afp::kPortNotConnected);
}

TEST_F(Port, ThreadsShareOnePort) {
  start({"--speed", "7,8,9", "--pace-us", "0"});
  auto port = connect();
  ASSERT_TRUE(port);
  std::atomic<int> good{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 100; ++i) {
        Speed s = query(*port);
        if (s.r.status == afp::kPortOk && s.r.bytes_returned == 64 && s.a == 7 && s.b == 8 && s.c == 9) ++good;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(good, 400);
  auto logged = messages("19");
  EXPECT_EQ(logged.size(), 400u);
  std::set<std::string> conns;
  for (auto& r : logged) conns.insert(r["conn"]);
  EXPECT_LE(conns.size(), 4u);
}

TEST_F(Port, SpeedRepliesArePaced) {
  start({"--speed", "1,2,3"});
  auto port = connect();
  ASSERT_TRUE(port);
  auto t0 = Clock::now();
  for (int i = 0; i < 100; ++i) ASSERT_EQ(query(*port).r.status, afp::kPortOk);
  double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  EXPECT_GE(ms, 90.0) << "about a millisecond per reply";
  EXPECT_LT(ms, 2000.0);
}

TEST_F(Port, ScriptedSpeeds) {
  aftest::write_file(base_ / "speeds.txt", "# A B C [replies]\n1 2 3 2\n\n4.5 0 6\n");
  start({"--script", (base_ / "speeds.txt").string(), "--pace-us", "0"});
  auto port = connect();
  ASSERT_TRUE(port);
  std::vector<std::array<double, 3>> got;
  for (int i = 0; i < 5; ++i) {
    Speed s = query(*port);
    got.push_back({s.a, s.b, s.c});
  }
  std::vector<std::array<double, 3>> want = {{1, 2, 3}, {1, 2, 3}, {4.5, 0, 6}, {0, 0, 0}, {0, 0, 0}};
  EXPECT_EQ(got, want);
}

TEST_F(Port, SpeedFileSteersTheSpeed) {
  const fs::path feed = base_ / "speed";
  start({"--speed-file", feed.string(), "--pace-us", "0"});
  auto port = connect();
  ASSERT_TRUE(port);
  EXPECT_EQ(query(*port).a, 0.0) << "zeros while the file is missing";
  aftest::write_file(base_ / "speed.new", "5 6 7\n");
  fs::rename(base_ / "speed.new", feed);
  Speed s = query(*port);
  EXPECT_EQ(s.a, 5.0);
  EXPECT_EQ(s.b, 6.0);
  EXPECT_EQ(s.c, 7.0);
  aftest::write_file(base_ / "speed.new", "not numbers\n");
  fs::rename(base_ / "speed.new", feed);
  EXPECT_EQ(query(*port).a, 0.0);
}

TEST_F(Port, StandInLifecycle) {
  start({"--zeros"});
  const std::string socket = afp::run_path(afp::kDriverPortName);
  EXPECT_TRUE(fs::exists(socket));
  // A second stand-in refuses the served port; --probe sees it.
  auto second = afp::ChildProcess::start(kDriver, {"--no-x"});
  ASSERT_TRUE(second);
  EXPECT_EQ(second->wait(5000), 3);
  auto probe = afp::ChildProcess::start(kDriver, {"--probe"});
  EXPECT_EQ(probe->wait(5000), 0);
  {
    auto port = connect();
    ASSERT_TRUE(port);
    query(*port);
  }
  // Each connection's end is logged by its own thread: wait until every
  // one is, so that "stop" is the last event.
  auto count = [&](const std::string& event) {
    std::size_t n = 0;
    for (const auto& r : afmouse::read_log(log_.string())) {
      auto it = r.find("event");
      n += it != r.end() && it->second == event;
    }
    return n;
  };
  ASSERT_TRUE(eventually([&] { return count("disconnect") == count("connect"); }, 5000));
  stop();
  EXPECT_FALSE(fs::exists(socket)) << "the stand-in removes its port";
  auto log = afmouse::read_log(log_.string());
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log.front()["event"], "listening");
  EXPECT_EQ(log.back()["event"], "stop");
  probe = afp::ChildProcess::start(kDriver, {"--probe"});
  EXPECT_EQ(probe->wait(5000), 1);
  auto bad = afp::ChildProcess::start(kDriver, {"--stop-mode", "sometimes"});
  EXPECT_EQ(bad->wait(5000), 2);
  EXPECT_NE(bad->read_line().find("bad stop mode"), std::string::npos);
}

}  // namespace
