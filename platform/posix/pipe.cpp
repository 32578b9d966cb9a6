// The command pipe on Linux: a Unix stream socket <rundir>/<name>.
#include "platform/pipe.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/rundir.h"
#include "socket_util.h"

namespace afp {
namespace {

std::string pipe_path(const std::string& name) {
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") return {};
  return run_path(name);
}

}  // namespace

bool pipe_send(const std::string& pipe_name, std::string_view data) {
  std::string path = pipe_path(pipe_name);
  if (path.empty()) return false;
  int fd = posix::connect_unix(path);
  if (fd < 0) return false;
  bool ok = posix::send_all(fd, data.data(), data.size());
  close(fd);
  return ok;
}

struct PipeServer::Impl {
  std::string path;
  int listen_fd = -1;
  int client_fd = -1;
  dev_t dev = 0;
  ino_t ino = 0;
};

std::unique_ptr<PipeServer> PipeServer::create(const std::string& pipe_name) {
  std::string path = pipe_path(pipe_name);
  if (path.empty()) return nullptr;
  int fd = posix::listen_unix(path, 4);
  if (fd < 0) return nullptr;
  std::unique_ptr<PipeServer> server(new PipeServer());
  server->impl_ = std::make_unique<Impl>();
  server->impl_->path = path;
  server->impl_->listen_fd = fd;
  struct stat st {};
  if (stat(path.c_str(), &st) == 0) {
    server->impl_->dev = st.st_dev;
    server->impl_->ino = st.st_ino;
  }
  return server;
}

bool PipeServer::accept() {
  if (impl_->client_fd >= 0) return true;  // still connected
  for (;;) {
    int fd = accept4(impl_->listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) {
      impl_->client_fd = fd;
      return true;
    }
    if (errno == EINTR || errno == ECONNABORTED) continue;
    return false;
  }
}

std::int64_t PipeServer::read(char* buffer, std::size_t max) {
  if (impl_->client_fd < 0 || max == 0) return -1;
  for (;;) {
    ssize_t n = recv(impl_->client_fd, buffer, max, 0);
    if (n > 0) return n;
    if (n < 0 && errno == EINTR) continue;
    return -1;  // closed by the client, or failed
  }
}

void PipeServer::disconnect() {
  if (impl_->client_fd >= 0) close(impl_->client_fd);
  impl_->client_fd = -1;
}

PipeServer::~PipeServer() {
  if (!impl_) return;
  disconnect();
  if (impl_->listen_fd >= 0) close(impl_->listen_fd);
  // Remove the name only while it is still our socket.
  struct stat st {};
  if (stat(impl_->path.c_str(), &st) == 0 && st.st_dev == impl_->dev && st.st_ino == impl_->ino) {
    unlink(impl_->path.c_str());
  }
}

}  // namespace afp
