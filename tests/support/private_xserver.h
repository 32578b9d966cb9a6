// A private X server for a test that sends real pointer or key events:
// on the shared server, other tests' windows would take them.
#pragma once

#include <platform/process.h>

#include <memory>
#include <string>

namespace aftest {

class PrivateXServer {
 public:
  explicit PrivateXServer(const std::string& screen = "640x480x24") {
    // Xvfb picks a free display number itself and writes it out.
    std::string error;
    server_ = afp::ChildProcess::start(
        "Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", screen}, &error);
    if (!server_) return;
    // Its messages share the pipe (a number taken meanwhile by another
    // server is skipped with a complaint); the number is the digits line.
    for (;;) {
      std::string line = server_->read_line();
      if (line.empty()) return;
      if (line.back() == '\n') line.pop_back();
      if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos) {
        name_ = ":" + line;
        break;
      }
    }
  }
  ~PrivateXServer() { end(); }
  PrivateXServer(const PrivateXServer&) = delete;
  PrivateXServer& operator=(const PrivateXServer&) = delete;

  void end() {
    if (server_) server_->terminate();
    server_.reset();
  }
  // ":N", or empty when the server did not start.
  const std::string& name() const { return name_; }

 private:
  std::unique_ptr<afp::ChildProcess> server_;
  std::string name_;
};

}  // namespace aftest
