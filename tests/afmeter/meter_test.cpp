// The real afmeter program against the stand-in driver: exit codes, the
// curve upload and set-up messages as the driver receives them, the pipe
// commands and the speed lines.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <platform/pipe.h>
#include <platform/port_wire.h>
#include <platform/rundir.h>

#include <atomic>
#include <signal.h>
#include <cmath>
#include <cstring>
#include <sstream>

#include "meter_harness.h"

using namespace metertest;
using namespace std::chrono_literals;

namespace {

// A raw client of the meter's pipe, for writes on one connection.
class PipeClient {
 public:
  PipeClient() {
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string path = afp::run_path("Arcflex_Pipe");
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  ~PipeClient() { close(fd_); }
  bool connected() const { return connected_; }
  void write(const std::string& s) {
    ASSERT_EQ(send(fd_, s.data(), s.size(), MSG_NOSIGNAL), static_cast<ssize_t>(s.size()));
    std::this_thread::sleep_for(150ms);  // so the meter reads each write on its own
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
};

// These tests need no X display: a meter without one runs without key
// lines, so keys typed elsewhere cannot reach its output.
class Meter : public MeterTest {
 protected:
  void SetUp() override {
    MeterTest::SetUp();
    unsetenv("DISPLAY");
  }

  // Starts a meter without the editor's mutex: it uploads, sends its set-up
  // messages and ends; returns its exit code and checks it wrote nothing.
  int run_to_end() {
    auto meter = start_meter();
    auto code = meter->wait_exit(10000);
    EXPECT_TRUE(code);
    EXPECT_EQ(meter->text(), "");
    return code.value_or(-1);
  }

  // The one curve upload of a meter run to its end.
  LogRecord upload_of(const std::string& pdat) {
    write_pdat(pdat);
    const std::size_t before = messages("15").size();
    EXPECT_EQ(run_to_end(), 1);
    auto uploads = messages("15");
    EXPECT_EQ(uploads.size(), before + 1);
    return uploads.empty() ? LogRecord{} : uploads.back();
  }

  // A running meter that the test keeps alive; waits until its pipe serves.
  std::unique_ptr<Collected> start_running_meter() {
    hold_keep_alive();
    auto meter = start_meter();
    // Served, not only bound: a connection is taken (an empty one is no
    // command).
    EXPECT_TRUE(eventually([] { return PipeClient().connected(); }, 5000));
    return meter;
  }
};

std::vector<double> table(const LogRecord& r, const char* key = "table_a") {
  auto it = r.find(key);
  return it == r.end() ? std::vector<double>{} : afmouse::parse_table(it->second);
}

std::string field(const LogRecord& r, const std::string& key) {
  auto it = r.find(key);
  return it == r.end() ? "<missing>" : it->second;
}

// Checks the fields that hold the same value in every upload, and that
// both tables carry the same values.
void expect_fixed_curve_fields(const LogRecord& r) {
  EXPECT_EQ(field(r, "size"), "329192");
  EXPECT_EQ(field(r, "reply"), "0");
  EXPECT_EQ(field(r, "zero"), "1");
  EXPECT_EQ(field(r, "f0010"), "1");
  EXPECT_EQ(field(r, "f0018"), "0");
  EXPECT_EQ(field(r, "f0020"), "1");
  EXPECT_EQ(field(r, "f4028"), "2");
  EXPECT_EQ(field(r, "f0024"), field(r, "f402C"));
  EXPECT_EQ(field(r, "table_a"), field(r, "table_b"));
  EXPECT_EQ(field(r, "f8030"), field(r, "f8038"));
  EXPECT_EQ(field(r, "f8058"), field(r, "f8060"));
  const std::pair<const char*, const char*> fixed[] = {
      {"f8040", "1"}, {"f8048", "1"},   {"f8050", "1"}, {"f8068", "1"},
      {"f8070", "1"}, {"f8078", "100"}, {"f8080", "0.1"}, {"f8088", "1000"},
      {"f808C", "0"}, {"f8090", "0"},   {"f8098", "0"}, {"f80A0", "2"}};
  for (auto [key, value] : fixed) EXPECT_EQ(field(r, key), value) << key;
}

void expect_curve(const LogRecord& r, const std::vector<double>& values, const std::string& slope,
                  const std::string& scale) {
  expect_fixed_curve_fields(r);
  EXPECT_EQ(table(r), values);
  EXPECT_EQ(field(r, "f0024"), std::to_string(values.size()));
  EXPECT_EQ(field(r, "f8030"), slope);
  EXPECT_EQ(field(r, "f8058"), scale);
}

const char* kHead = "0 10 30 40 \r\n0.5 1 1 1 \r\n0 0 0 0 \r\n";

// A driver port served by the test itself, answering each set_curve with
// the next status of a list, for refusals after an accepted start-up.
class ScriptedPort {
 public:
  explicit ScriptedPort(std::vector<std::int32_t> curve_statuses)
      : statuses_(std::move(curve_statuses)) {
    listen_fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string path = afp::run_path("AF_D_UserKernelCommPort");
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    ok_ = bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
          listen(listen_fd_, 8) == 0;
    // Each connection's thread is kept and joined: none may outlive the
    // port, whose counters and statuses it uses.
    acceptor_ = std::thread([this] {
      for (;;) {
        const int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) return;
        client_fds_.push_back(fd);
        servers_.emplace_back([this, fd] { serve(fd); });
      }
    });
  }
  ~ScriptedPort() {
    shutdown(listen_fd_, SHUT_RDWR);
    acceptor_.join();  // after this, only this thread touches the lists
    for (int fd : client_fds_) shutdown(fd, SHUT_RDWR);
    for (std::thread& t : servers_) t.join();
    for (int fd : client_fds_) close(fd);
    close(listen_fd_);
  }
  bool ok() const { return ok_; }
  int uploads() const { return uploads_; }

 private:
  static bool recv_all(int fd, void* p, std::size_t n) {
    auto* c = static_cast<char*>(p);
    while (n > 0) {
      const ssize_t r = recv(fd, c, n, 0);
      if (r <= 0) return false;
      c += r;
      n -= static_cast<std::size_t>(r);
    }
    return true;
  }
  void serve(int fd) {
    std::vector<unsigned char> payload;
    afp::wire::RequestHeader req{};
    while (recv_all(fd, &req, sizeof req)) {
      payload.resize(req.length);
      if (!recv_all(fd, payload.data(), payload.size())) break;
      std::int32_t status = 0;
      std::vector<unsigned char> reply;
      std::uint32_t cmd = 0;
      if (payload.size() >= 4) std::memcpy(&cmd, payload.data(), 4);  // little-endian here
      if (cmd == 15) {
        const int n = uploads_++;
        status = n < static_cast<int>(statuses_.size()) ? statuses_[n] : 0;
      } else if (cmd == 19) {
        std::this_thread::sleep_for(1ms);  // no motion, at a calm pace
        reply.assign(std::min<std::size_t>(64, req.reply_capacity), 0);
      }
      afp::wire::ReplyHeader rep{static_cast<std::uint32_t>(reply.size()), status};
      if (send(fd, &rep, sizeof rep, MSG_NOSIGNAL) != sizeof rep) break;
      if (!reply.empty() && send(fd, reply.data(), reply.size(), MSG_NOSIGNAL) < 0) break;
    }
  }

  std::vector<std::int32_t> statuses_;
  std::atomic<int> uploads_{0};
  int listen_fd_ = -1;
  bool ok_ = false;
  std::thread acceptor_;
  std::vector<int> client_fds_;       // closed by the destructor
  std::vector<std::thread> servers_;  // one per connection
};

}  // namespace

// ---------------------------------------------------------------------------
// Start-up and exit codes

TEST_F(Meter, SecondInstanceEndsWithOneAndWritesNothing) {
  write_pdat(std::string(kHead) + "0\r\n1\r\n0.5");
  start_driver();
  auto first = start_running_meter();
  ASSERT_TRUE(eventually([&] { return commands().size() == 5; }, 5000));

  auto second = start_meter();
  EXPECT_EQ(second->wait_exit(10000), 1);
  EXPECT_EQ(second->text(), "");
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(commands().size(), 5u) << "the second instance reached the driver";
  EXPECT_FALSE(first->poll()) << "the first instance ended";
}

TEST_F(Meter, WithoutDriverEndsWithEightAndWritesNothing) {
  write_pdat(std::string(kHead) + "0\r\n1\r\n0.5");
  hold_keep_alive();
  EXPECT_EQ(run_to_end(), 8);
}

TEST_F(Meter, RefusedStartUploadEndsWithEightWithoutSetUp) {
  // Any status but S_OK refuses the curve, other success codes included.
  for (const char* status : {"1", "0x80070005"}) {
    std::filesystem::remove(log_);  // the driver before has ended
    start_driver({"--zeros", "--curve-status", status});
    hold_keep_alive();
    EXPECT_EQ(run_to_end(), 8) << status;
    auto sent = commands();
    ASSERT_EQ(sent.size(), 1u) << status;
    EXPECT_EQ(field(sent[0], "cmd"), "15");
    stop_driver();
    release_keep_alive();
  }
}

TEST_F(Meter, WithoutEditorUploadsSetsUpAndEndsWithOne) {
  write_pdat(std::string(kHead) + "0.0\r\n6.666666666666667\r\n0.5\r\n0.75");
  start_driver();
  EXPECT_EQ(run_to_end(), 1);
  auto sent = commands();
  ASSERT_EQ(sent.size(), 5u);
  struct Want {
    const char* cmd;
    const char* size;
    const char* arg0;
    const char* arg1;
  };
  const Want want[] = {{"15", "329192", nullptr, nullptr},
                       {"20", "68", "0", nullptr},
                       {"21", "68", "1", nullptr},
                       {"17", "72", "0", "0"},
                       {"18", "72", "1", "0"}};
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(field(sent[i], "cmd"), want[i].cmd);
    EXPECT_EQ(field(sent[i], "size"), want[i].size);
    EXPECT_EQ(field(sent[i], "reply"), "0");
    EXPECT_EQ(field(sent[i], "zero"), "1");
    if (want[i].arg0) {
      EXPECT_EQ(field(sent[i], "f0010"), want[i].arg0);
    }
    if (want[i].arg1) {
      EXPECT_EQ(field(sent[i], "f0014"), want[i].arg1);
    }
  }
  expect_curve(sent[0], {0.5, 0.75}, "0", "6.666666666666667");
}

TEST_F(Meter, EndsWithOneWhenTheEditorEnds) {
  write_pdat(std::string(kHead) + "0\r\n1\r\n0.5");
  start_driver();
  auto meter = start_running_meter();
  ASSERT_TRUE(eventually([&] { return commands().size() == 5; }, 5000));
  EXPECT_FALSE(meter->poll());
  // An upload begun before the editor ends still reaches a driver that answers late.
  write_pdat(std::string(kHead) + "0\r\n1\r\n0.25");
  ::kill(driver_->child().pid(), SIGSTOP);
  ASSERT_TRUE(afp::pipe_send("Arcflex_Pipe", "load"));
  std::this_thread::sleep_for(1s);  // ample for the meter to begin the upload
  release_keep_alive();
  std::this_thread::sleep_for(1500ms);
  ::kill(driver_->child().pid(), SIGCONT);
  EXPECT_EQ(meter->wait_exit(5000), 1);
  EXPECT_EQ(meter->text(), "-99 -99\r\n");  // that upload's answer, and nothing else
  ASSERT_TRUE(eventually([&] { return messages("15").size() == 2; }, 3000));
  expect_curve(messages("15")[1], {0.25}, "0", "1");
}

// ---------------------------------------------------------------------------
// The curve upload

TEST_F(Meter, FiveLineFileSendsTheOneValueTableWithItsSlopeAndScale) {
  start_driver();
  expect_curve(upload_of(std::string(kHead) + "0.25\r\n6.67"), {1.0}, "0.25", "6.67");
}

TEST_F(Meter, MissingOrEmptyFileSendsTheNeutralCurve) {
  start_driver();
  expect_curve(upload_of(""), {1.0}, "0", "1");
  std::filesystem::remove(settings_ / "p.dat");
  EXPECT_EQ(run_to_end(), 1);
  auto uploads = messages("15");
  ASSERT_EQ(uploads.size(), 2u);
  expect_curve(uploads[1], {1.0}, "0", "1");
}

TEST_F(Meter, ScaleOutsideItsRangeBecomesOne) {
  start_driver();
  const std::pair<const char*, const char*> cases[] = {
      {"0", "1"}, {"-5", "1"}, {"64000.5", "1"}, {"64000", "64000"}, {"0.001", "0.001"}};
  for (auto [line5, sent] : cases) {
    expect_curve(upload_of(std::string(kHead) + "0.5\r\n" + line5 + "\r\n2"), {2.0}, "0.5", sent);
  }
}

TEST_F(Meter, BadLinesEndTheTableWithOneAndResetSlopeAndScale) {
  start_driver();
  const std::pair<std::string, std::vector<double>> cases[] = {
      // a bad line 7 after a good line 6
      {"3\r\n4\r\n0.5\r\nabc\r\n0.9", {0.5, 1.0}},
      // a bad line 4
      {"x\r\n4\r\n0.5\r\n0.6", {1.0}},
      // a bad line 5
      {"3\r\n\r\n0.5", {1.0}},
      // numbers that are not finite decimals are bad lines too
      {"3\r\n4\r\n0.5\r\nnan\r\n0.9", {0.5, 1.0}},
      {"3\r\n4\r\n0.5\r\ninf", {0.5, 1.0}},
      {"3\r\n4\r\n0.5\r\n0x1p3", {0.5, 1.0}},
      {"3\r\n4\r\n0.5\r\n1e999", {0.5, 1.0}},
      {"3\r\n4\r\n0.5\r\n\r\n0.9", {0.5, 1.0}},
  };
  for (const auto& [tail, values] : cases) {
    expect_curve(upload_of(std::string(kHead) + tail), values, "0", "1");
  }
}

TEST_F(Meter, NumbersAreReadFromTheLineStart) {
  start_driver();
  expect_curve(upload_of("junk\r\n\r\n\r\n  -1.5e-1 tail\r\n2.5abc\r\n0.5\r\n\t7"), {0.5, 7.0},
               "-0.15", "2.5");
}

TEST_F(Meter, AtMost2048TableValuesAreSent) {
  start_driver();
  for (int n : {2048, 3000}) {
    std::ostringstream pdat;
    pdat << kHead << "0.5\r\n1.5";
    for (int i = 0; i < n; ++i) pdat << "\r\n" << i * 0.25;
    const LogRecord r = upload_of(pdat.str());
    std::vector<double> want;
    for (int i = 0; i < 2048; ++i) want.push_back(i * 0.25);
    expect_curve(r, want, "0.5", "1.5");
  }
}

TEST_F(Meter, WhatIsNotAPlainFileSendsTheNeutralCurveAtOnce) {
  start_driver();
  // A FIFO nobody writes to would hold an opening reader for ever.
  ASSERT_EQ(mkfifo((settings_ / "p.dat").c_str(), 0600), 0);
  EXPECT_EQ(run_to_end(), 1);
  std::filesystem::remove(settings_ / "p.dat");
  std::filesystem::create_directory(settings_ / "p.dat");
  EXPECT_EQ(run_to_end(), 1);
  auto uploads = messages("15");
  ASSERT_EQ(uploads.size(), 2u);
  for (const LogRecord& r : uploads) expect_curve(r, {1.0}, "0", "1");
}

// ---------------------------------------------------------------------------
// The pipe

TEST_F(Meter, LoadReloadsTheFileAndAnswersOnce) {
  write_pdat(std::string(kHead) + "0\r\n1\r\n0.5");
  start_driver();
  auto meter = start_running_meter();
  ASSERT_TRUE(eventually([&] { return commands().size() == 5; }, 5000));

  write_pdat(std::string(kHead) + "0.125\r\n2\r\n0.25\r\n0.5\r\n1");
  ASSERT_TRUE(afp::pipe_send("Arcflex_Pipe", "load"));
  ASSERT_TRUE(meter->wait_for_text("-99 -99\r\n", 5000));
  auto uploads = messages("15");
  ASSERT_EQ(uploads.size(), 2u);
  expect_curve(uploads[1], {0.25, 0.5, 1.0}, "0.125", "2");
  EXPECT_EQ(commands().size(), 6u) << "set-up messages are sent only at start";
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(lines_of(meter->text()), std::vector<std::string>{"-99 -99"});
}

TEST_F(Meter, FirstFourBytesOfEachReadDecide) {
  write_pdat(std::string(kHead) + "0\r\n1\r\n0.5");
  start_driver();
  auto meter = start_running_meter();
  ASSERT_TRUE(eventually([&] { return commands().size() == 5; }, 5000));
  {
    PipeClient c;
    ASSERT_TRUE(c.connected());
    c.write("lo");   // the halves of "load" in two reads
    c.write("ad");
    c.write("loa");  // fewer than four bytes
    c.write("Load");
    c.write(" load");
    c.write("xquit");
  }
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(meter->text(), "");
  EXPECT_EQ(messages("15").size(), 1u);
  {
    PipeClient c;
    c.write("loadquit");  // acts as "load" only
    c.write("load\r\nmore");
  }
  ASSERT_TRUE(eventually([&] { return lines_of(meter->text()).size() == 2; }, 5000));
  EXPECT_EQ(lines_of(meter->text()), (std::vector<std::string>{"-99 -99", "-99 -99"}));
  EXPECT_EQ(messages("15").size(), 3u);
  EXPECT_FALSE(meter->poll());

  // A new connection after the old ones closed is served too.
  ASSERT_TRUE(afp::pipe_send("Arcflex_Pipe", "quit whatever follows"));
  EXPECT_EQ(meter->wait_exit(5000), 1);
  EXPECT_EQ(lines_of(meter->text()).size(), 2u) << "quit answers nothing";
}

TEST_F(Meter, QuitEndsWithOne) {
  write_pdat(std::string(kHead) + "0\r\n1\r\n0.5");
  start_driver();
  auto meter = start_running_meter();
  ASSERT_TRUE(eventually([&] { return commands().size() == 5; }, 5000));
  ASSERT_TRUE(afp::pipe_send("Arcflex_Pipe", "quit"));
  EXPECT_EQ(meter->wait_exit(5000), 1);
  EXPECT_EQ(meter->text(), "");
}

TEST_F(Meter, RefusedLoadAnswersSeventySevenAndRunsOn) {
  write_pdat(std::string(kHead) + "0\r\n1\r\n0.5");
  // Accepted at start; then refused with another success code and with a
  // failure; then accepted again.
  ScriptedPort port({0, 1, static_cast<std::int32_t>(0x80070005u), 0});
  ASSERT_TRUE(port.ok());
  auto meter = start_running_meter();
  ASSERT_TRUE(eventually([&] { return port.uploads() == 1; }, 5000));
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(afp::pipe_send("Arcflex_Pipe", "load"));
    ASSERT_TRUE(eventually([&] { return lines_of(meter->text()).size() == i + 1u; }, 5000));
  }
  EXPECT_EQ(lines_of(meter->text()), (std::vector<std::string>{"-77 -77", "-77 -77", "-99 -99"}));
  EXPECT_EQ(port.uploads(), 4);
  EXPECT_FALSE(meter->poll());
}

TEST_F(Meter, LoadAfterTheDriverWentAwayAnswersSeventySeven) {
  write_pdat(std::string(kHead) + "0\r\n1\r\n0.5");
  start_driver();
  auto meter = start_running_meter();
  ASSERT_TRUE(eventually([&] { return commands().size() == 5; }, 5000));
  stop_driver();  // the connection is gone and is never made again
  start_driver();
  const std::size_t before = messages().size();
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(afp::pipe_send("Arcflex_Pipe", "load"));
  ASSERT_TRUE(eventually([&] { return lines_of(meter->text()).size() == 2; }, 5000));
  EXPECT_EQ(lines_of(meter->text()), (std::vector<std::string>{"-77 -77", "-77 -77"}));
  EXPECT_EQ(messages().size(), before) << "the meter connected again";
  EXPECT_FALSE(meter->poll());
  ASSERT_TRUE(afp::pipe_send("Arcflex_Pipe", "quit"));
  EXPECT_EQ(meter->wait_exit(5000), 1);
}

// ---------------------------------------------------------------------------
// Speed lines

class SpeedLines : public Meter {
 protected:
  void set_speed(const std::string& triple) {
    const auto tmp = base_ / "speed.tmp";
    aftest::write_file(tmp, triple + "\n");
    std::filesystem::rename(tmp, base_ / "speed");
  }
  void start(std::vector<std::string> extra = {}) {
    write_pdat(std::string(kHead) + "0\r\n1\r\n0.5");
    set_speed("0 0 0");
    std::vector<std::string> args{"--speed-file", (base_ / "speed").string()};
    args.insert(args.end(), extra.begin(), extra.end());
    start_driver(args);
    meter_ = start_running_meter();
    ASSERT_TRUE(eventually([&] { return commands().size() == 5; }, 5000));
  }
  std::unique_ptr<Collected> meter_;
};

TEST_F(SpeedLines, OnlyWhileTheLastSampleMoves) {
  start();
  EXPECT_TRUE(eventually([&] { return messages("19").size() > 50; }, 5000)) << "no speed queries";
  auto query = messages("19").front();
  EXPECT_EQ(field(query, "size"), "64");
  EXPECT_EQ(field(query, "reply"), "64");
  EXPECT_EQ(field(query, "zero"), "1");
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(meter_->text(), "") << "lines without motion";

  set_speed("0.5 100 1e-07");
  const auto began = Clock::now();
  ASSERT_TRUE(eventually([&] { return lines_of(meter_->text()).size() >= 5; }, 5000));
  std::this_thread::sleep_for(300ms);
  set_speed("0 0 0");
  const double moving_ms =
      std::chrono::duration<double, std::milli>(Clock::now() - began).count();
  std::this_thread::sleep_for(200ms);
  const std::size_t settled = meter_->text().size();
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(meter_->text().size(), settled) << "lines after the motion ended";

  const auto lines = lines_of(meter_->text());
  for (const auto& l : lines) EXPECT_EQ(l, "0.5 100 1e-07");
  // At most one line per window of more than 16 ms.
  EXPECT_LE(lines.size(), moving_ms / 16.0 + 2);
  EXPECT_GE(lines.size(), 5u);
}

TEST_F(SpeedLines, NumbersInGeneralNotationWithSixDigits) {
  start();
  set_speed("12.3456789 0 0.0000123");
  ASSERT_TRUE(eventually([&] { return !lines_of(meter_->text()).empty(); }, 5000));
  EXPECT_EQ(lines_of(meter_->text()).front(), "12.3457 0 1.23e-05");
  set_speed("1234567 2.5 100");
  ASSERT_TRUE(meter_->wait_for_text("1.23457e+06 2.5 100\r\n", 5000));
}

TEST_F(SpeedLines, AFailedQueryEndsTheSpeedLinesButNotTheMeter) {
  start({"--stop-after", "400"});
  set_speed("3 4 5");
  ASSERT_TRUE(meter_->wait_for_text("3 4 5\r\n", 5000));
  ASSERT_TRUE(eventually([&] { return log_text().find("stopped=1") != std::string::npos; }, 10000));
  std::this_thread::sleep_for(100ms);
  const std::string before = meter_->text();
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(meter_->text(), before) << "speed lines after the failed query";
  EXPECT_EQ(messages("19").size(), 401u) << "the speed thread went on asking";
  ASSERT_TRUE(afp::pipe_send("Arcflex_Pipe", "load"));
  ASSERT_TRUE(meter_->wait_for_text("-99 -99\r\n", 5000, before.size()));
}

TEST_F(SpeedLines, AShortReplyEndsTheSpeedLines) {
  start({"--short-reply", "24"});
  set_speed("3 4 5");
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(meter_->text(), "");
  EXPECT_EQ(messages("19").size(), 1u);
  ASSERT_TRUE(afp::pipe_send("Arcflex_Pipe", "load"));
  ASSERT_TRUE(meter_->wait_for_text("-99 -99\r\n", 5000));
}
