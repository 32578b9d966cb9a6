// The frames of the Linux driver port (between platform/posix/port.cpp and
// the stand-in driver). All integers little-endian.
//
//   request: u32 payload length, u32 reply capacity, payload bytes
//   reply:   u32 reply length (<= capacity), i32 status, reply bytes
//
// Every request gets exactly one reply frame; a connection carries one
// request at a time.
#pragma once

#include <cstdint>

namespace afp::wire {

struct RequestHeader {
  std::uint32_t length;
  std::uint32_t reply_capacity;
};

struct ReplyHeader {
  std::uint32_t length;
  std::int32_t status;
};

static_assert(sizeof(RequestHeader) == 8 && sizeof(ReplyHeader) == 8);

// Largest payload either side accepts; the curve upload is 329192 bytes.
constexpr std::uint32_t kMaxPayload = 4u << 20;

}  // namespace afp::wire
