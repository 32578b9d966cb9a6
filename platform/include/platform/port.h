// Client of the afmouse driver's communication port.
//
// Windows: FilterConnectCommunicationPort / FilterSendMessage of the filter
// manager user library (fltlib.dll, loaded at run time).
// Linux: a Unix stream socket <rundir>/AF_D_UserKernelCommPort carrying
// framed requests and replies (platform/port_wire.h), served by the
// stand-in driver.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace afp {

// Status values as the filter manager reports them (HRESULT): 0 is S_OK,
// other values >= 0 are other successes, negative values are failures.
constexpr std::int32_t kPortOk = 0;
// The local failure when a message could not be delivered or no reply came
// (HRESULT_FROM_WIN32(ERROR_PIPE_NOT_CONNECTED)).
constexpr std::int32_t kPortNotConnected = static_cast<std::int32_t>(0x800700E9u);
inline bool port_succeeded(std::int32_t status) { return status >= 0; }

// The port name the meter connects to.
constexpr const char* kDriverPortName = "AF_D_UserKernelCommPort";

struct PortResult {
  std::int32_t status = kPortNotConnected;  // the driver's (or the transport's) status
  std::uint32_t bytes_returned = 0;         // bytes written into the reply buffer
};

class DriverPort {
 public:
  // Connects to the port (no context, no options). The name may be given
  // with or without the leading backslash. nullptr when the port is missing.
  static std::unique_ptr<DriverPort> connect(const std::string& name = kDriverPortName);

  // Sends `size` bytes. With `reply` non-null, up to `reply_size` bytes of
  // the driver's reply are copied into it and counted in bytes_returned.
  // Safe to call from several threads at once; each call waits only for
  // its own reply.
  PortResult send(const void* message, std::size_t size, void* reply = nullptr,
                  std::size_t reply_size = 0);

  ~DriverPort();
  DriverPort(const DriverPort&) = delete;
  DriverPort& operator=(const DriverPort&) = delete;

 private:
  DriverPort() = default;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace afp
