// The driver port on Linux: framed requests over a Unix stream socket
// <rundir>/AF_D_UserKernelCommPort (frames: platform/port_wire.h).
//
// One request is in flight per connection. Calls from several threads take
// separate connections from a small pool, so each waits only for its own
// reply, as FilterSendMessage does.
#include "platform/port.h"

#include <unistd.h>

#include <cstring>
#include <mutex>
#include <vector>

#include "platform/port_wire.h"
#include "platform/rundir.h"
#include "socket_util.h"

namespace afp {

struct DriverPort::Impl {
  std::string path;
  std::mutex lock;          // guards idle and broken
  std::vector<int> idle;    // connected sockets not in use
  // Set when a connection broke. As with a real port handle whose server
  // went away, every later message then fails: there is no reconnect.
  bool broken = false;
};

namespace {

std::string port_path(std::string name) {
  while (!name.empty() && name.front() == '\\') name.erase(name.begin());
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") return {};
  return run_path(name);
}

// One request on `fd`; false when the connection broke (the fd is then
// unusable).
bool exchange(int fd, const void* message, std::size_t size, void* reply, std::size_t reply_size,
              PortResult& result) {
  wire::RequestHeader req{static_cast<std::uint32_t>(size),
                          static_cast<std::uint32_t>(reply ? reply_size : 0)};
  if (!posix::send_all(fd, &req, sizeof req) || !posix::send_all(fd, message, size)) return false;
  wire::ReplyHeader rep{};
  if (!posix::recv_all(fd, &rep, sizeof rep)) return false;
  if (rep.length > wire::kMaxPayload) return false;
  std::size_t keep = reply ? std::min<std::size_t>(rep.length, reply_size) : 0;
  if (keep > 0 && !posix::recv_all(fd, reply, keep)) return false;
  // A reply longer than the buffer is read and dropped, keeping the stream
  // in step.
  std::size_t rest = rep.length - keep;
  char sink[4096];
  while (rest > 0) {
    std::size_t n = std::min(rest, sizeof sink);
    if (!posix::recv_all(fd, sink, n)) return false;
    rest -= n;
  }
  result.status = rep.status;
  result.bytes_returned = static_cast<std::uint32_t>(keep);
  return true;
}

}  // namespace

std::unique_ptr<DriverPort> DriverPort::connect(const std::string& name) {
  std::string path = port_path(name);
  if (path.empty()) return nullptr;
  int fd = posix::connect_unix(path);
  if (fd < 0) return nullptr;
  std::unique_ptr<DriverPort> port(new DriverPort());
  port->impl_ = std::make_unique<Impl>();
  port->impl_->path = path;
  port->impl_->idle.push_back(fd);
  return port;
}

PortResult DriverPort::send(const void* message, std::size_t size, void* reply, std::size_t reply_size) {
  PortResult result;
  if (!message || size == 0 || size > wire::kMaxPayload || reply_size > wire::kMaxPayload) {
    result.status = static_cast<std::int32_t>(0x80070057u);  // E_INVALIDARG
    return result;
  }
  int fd = -1;
  {
    std::lock_guard<std::mutex> guard(impl_->lock);
    if (impl_->broken) return result;
    if (!impl_->idle.empty()) {
      fd = impl_->idle.back();
      impl_->idle.pop_back();
    }
  }
  if (fd < 0) fd = posix::connect_unix(impl_->path);
  if (fd < 0 || !exchange(fd, message, size, reply, reply_size, result)) {
    if (fd >= 0) close(fd);
    std::lock_guard<std::mutex> guard(impl_->lock);
    impl_->broken = true;
    for (int idle_fd : impl_->idle) close(idle_fd);
    impl_->idle.clear();
    return PortResult{};  // kPortNotConnected
  }
  std::lock_guard<std::mutex> guard(impl_->lock);
  impl_->idle.push_back(fd);
  return result;
}

DriverPort::~DriverPort() {
  if (!impl_) return;
  for (int fd : impl_->idle) close(fd);
}

}  // namespace afp
