// Small helpers for the Unix stream sockets of the Linux layer.
#pragma once

#include <cstddef>
#include <string>

namespace afp::posix {

// A connected stream socket to `path` (close-on-exec), or -1.
int connect_unix(const std::string& path);

// A listening stream socket bound to `path` (close-on-exec, the socket file
// mode 0600), or -1. A stale
// socket file nobody listens on is replaced; a live one makes this fail.
int listen_unix(const std::string& path, int backlog);

// Writes all bytes (MSG_NOSIGNAL: a closed peer gives an error, not SIGPIPE).
bool send_all(int fd, const void* data, std::size_t size);

// Reads exactly `size` bytes; false at end of stream or on error.
bool recv_all(int fd, void* data, std::size_t size);

}  // namespace afp::posix
