// The command pipe between the editor (client) and the meter (server).
//
// Windows: the named pipe \\.\pipe\<name> in byte mode, one instance.
// Linux: a Unix stream socket <rundir>/<name>.
// The name is the bare pipe name, e.g. "Arcflex_Pipe".
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace afp {

// Client: connects, writes all of `data`, closes. Returns false (never
// throws) when no server listens or any step fails.
bool pipe_send(const std::string& pipe_name, std::string_view data);

// Server side: serves one client at a time.
class PipeServer {
 public:
  // Creates the pipe; nullptr when it cannot be created (for example
  // because another server already serves that name).
  static std::unique_ptr<PipeServer> create(const std::string& pipe_name);

  // Blocks until a client connects. True when one is connected (on Windows
  // a client that connected before the call counts as connected).
  bool accept();

  // Reads up to `max` bytes from the connected client (blocking). Returns
  // the number of bytes read (> 0), or -1 when the client has closed its
  // end or the read failed.
  std::int64_t read(char* buffer, std::size_t max);

  // Drops the current client so the next accept() can take another.
  void disconnect();

  ~PipeServer();
  PipeServer(const PipeServer&) = delete;
  PipeServer& operator=(const PipeServer&) = delete;

 private:
  PipeServer() = default;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace afp
