// The command pipe: the named pipe \\.\pipe\<name>, byte mode, one instance.
#include "platform/pipe.h"

#include <windows.h>

#include "wide.h"

namespace afp {
namespace {

std::wstring pipe_path(const std::string& name) { return L"\\\\.\\pipe\\" + win32::widen(name); }

}  // namespace

bool pipe_send(const std::string& pipe_name, std::string_view data) {
  HANDLE h = CreateFileW(pipe_path(pipe_name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  const char* p = data.data();
  std::size_t left = data.size();
  while (ok && left > 0) {
    DWORD written = 0;
    DWORD chunk = left > 65536 ? 65536 : static_cast<DWORD>(left);
    ok = WriteFile(h, p, chunk, &written, nullptr) && written > 0;
    p += written;
    left -= written;
  }
  CloseHandle(h);
  return ok;
}

struct PipeServer::Impl {
  HANDLE pipe = INVALID_HANDLE_VALUE;
};

std::unique_ptr<PipeServer> PipeServer::create(const std::string& pipe_name) {
  HANDLE h = CreateNamedPipeW(pipe_path(pipe_name).c_str(), PIPE_ACCESS_DUPLEX,
                              PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                              1, 16384, 16384, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  std::unique_ptr<PipeServer> server(new PipeServer());
  server->impl_ = std::make_unique<Impl>();
  server->impl_->pipe = h;
  return server;
}

bool PipeServer::accept() {
  if (ConnectNamedPipe(impl_->pipe, nullptr)) return true;
  DWORD err = GetLastError();
  // A client that connected between the pipe's creation and this call
  // (ERROR_PIPE_CONNECTED), or that already wrote and closed its end
  // (ERROR_NO_DATA: its bytes can still be read), counts as connected.
  return err == ERROR_PIPE_CONNECTED || err == ERROR_NO_DATA;
}

std::int64_t PipeServer::read(char* buffer, std::size_t max) {
  if (max == 0) return -1;
  DWORD chunk = max > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(max);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(impl_->pipe, buffer, chunk, &got, nullptr)) return -1;
    if (got > 0) return got;
    // A zero-byte write from the client: nothing to hand on, read again.
  }
}

void PipeServer::disconnect() { DisconnectNamedPipe(impl_->pipe); }

PipeServer::~PipeServer() {
  if (impl_ && impl_->pipe != INVALID_HANDLE_VALUE) CloseHandle(impl_->pipe);
}

}  // namespace afp
