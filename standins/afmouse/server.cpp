#include "server.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "messages.h"
#include "platform/port_wire.h"

namespace afmouse {
namespace {

bool recv_all(int fd, void* data, std::size_t size) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    ssize_t n = recv(fd, p, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool send_all(int fd, const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = send(fd, p, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

void put_f64(unsigned char* p, double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(bits >> (8 * i));
}

std::string hex_status(std::int32_t status) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(status));
  return buf;
}

std::string hex_offset(std::size_t off) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "f%04zX", off);
  return buf;
}

std::string join_table(const std::vector<double>& values) {
  std::string out;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i) out += ',';
    out += format_double(values[i]);
  }
  return out;
}

}  // namespace

void Server::run(int listen_fd, int stop_fd) {
  for (;;) {
    pollfd fds[2] = {{listen_fd, POLLIN, 0}, {stop_fd, POLLIN, 0}};
    int r = ::poll(fds, 2, -1);
    if (r < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents) return;
    if (fds[0].revents & POLLIN) {
      int fd = accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      int conn = ++connections_;
      std::thread([this, fd, conn] { serve(fd, conn); }).detach();
    }
  }
}

void Server::serve(int fd, int conn) {
  log_.write("event=connect conn=" + std::to_string(conn));
  std::vector<unsigned char> message;
  for (;;) {
    afp::wire::RequestHeader req{};
    if (!recv_all(fd, &req, sizeof req)) break;
    if (req.length > afp::wire::kMaxPayload) break;  // not a frame of ours
    message.assign(req.length, 0);
    if (req.length > 0 && !recv_all(fd, message.data(), req.length)) break;

    Decoded d = decode(message.data(), message.size());
    std::int32_t status = kStatusOk;
    std::vector<unsigned char> reply;
    std::string extra;
    enum class Then { Reply, Close, Hang } then = Then::Reply;

    if (!d.has_command || expected_size(d.command) == 0) {
      status = kStatusInvalidFunction;
      extra = " error=unknown_command";
    } else if (!d.size_ok) {
      status = kStatusInvalidArg;
      extra = " error=bad_size";
    } else if (d.command == kSetCurve) {
      status = options_.curve_status;
    } else if (d.command == kGetSpeed) {
      long n = ++speed_queries_;
      if (options_.stop_after >= 0 && n > options_.stop_after) {
        if (options_.stop_mode == "close") {
          then = Then::Close;
        } else if (options_.stop_mode == "hang") {
          then = Then::Hang;
        } else {
          status = kStatusNotReady;
        }
        extra = " stopped=1";
      } else if (req.reply_capacity < kSpeedReplySize) {
        status = kStatusInvalidArg;
        extra = " error=small_reply_buffer";
      } else {
        Speed s = speeds_.next(options_.pace);
        reply.assign(kSpeedReplySize, 0);
        put_f64(reply.data(), s.a);
        put_f64(reply.data() + 8, s.b);
        put_f64(reply.data() + 16, s.c);
        if (options_.short_reply >= 0 && static_cast<std::size_t>(options_.short_reply) < reply.size()) {
          reply.resize(static_cast<std::size_t>(options_.short_reply));
        }
        extra = " a=" + format_double(s.a) + " b=" + format_double(s.b) + " c=" + format_double(s.c);
      }
    }
    if (reply.size() > req.reply_capacity) reply.resize(req.reply_capacity);

    std::string line = "seq=" + std::to_string(++seq_) + " conn=" + std::to_string(conn) +
                       " cmd=" + (d.has_command ? std::to_string(d.command) : std::string("none")) +
                       " size=" + std::to_string(req.length) + " reply=" + std::to_string(req.reply_capacity);
    if (then == Then::Reply) {
      line += " status=" + hex_status(status) + " returned=" + std::to_string(reply.size());
    } else {
      line += then == Then::Close ? " answer=close" : " answer=none";
    }
    line += extra;
    if (d.size_ok) {
      line += std::string(" zero=") + (d.zero_elsewhere ? "1" : "0");
      for (const auto& [off, value] : d.fields) line += " " + hex_offset(off) + "=" + value;
      if (d.command == kSetCurve) {
        line += " table_a=" + join_table(d.table_a) + " table_b=" + join_table(d.table_b);
      }
    }
    log_.write(line);

    if (then == Then::Close) break;
    if (then == Then::Hang) {
      // Never answers again; the peer's call waits until it gives up or the
      // stand-in ends.
      for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
    }
    afp::wire::ReplyHeader rep{static_cast<std::uint32_t>(reply.size()), status};
    if (!send_all(fd, &rep, sizeof rep) || (!reply.empty() && !send_all(fd, reply.data(), reply.size()))) break;
  }
  close(fd);
  log_.write("event=disconnect conn=" + std::to_string(conn));
}

}  // namespace afmouse
