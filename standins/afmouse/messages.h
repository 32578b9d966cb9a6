// What the stand-in driver knows of the meter's messages: commands, sizes,
// and the fields of each layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace afmouse {

constexpr std::uint32_t kSetCurve = 15;
constexpr std::uint32_t kSetupA = 17;  // 72 bytes, u32 at 0x10 and 0x14
constexpr std::uint32_t kSetupB = 18;  // 72 bytes, u32 at 0x10 and 0x14
constexpr std::uint32_t kGetSpeed = 19;
constexpr std::uint32_t kSetupC = 20;  // 68 bytes, u32 at 0x10
constexpr std::uint32_t kSetupD = 21;  // 68 bytes, u32 at 0x10

constexpr std::size_t kSetCurveSize = 329192;
constexpr std::size_t kGetSpeedSize = 64;
constexpr std::size_t kSpeedReplySize = 64;
constexpr std::size_t kTableCapacity = 2048;

constexpr std::int32_t kStatusOk = 0;
constexpr std::int32_t kStatusInvalidArg = static_cast<std::int32_t>(0x80070057u);
constexpr std::int32_t kStatusInvalidFunction = static_cast<std::int32_t>(0x80070001u);
constexpr std::int32_t kStatusNotReady = static_cast<std::int32_t>(0x80070015u);

// The size a command must have; 0 for an unknown command.
std::size_t expected_size(std::uint32_t command);

// A decoded message, as the log shows it.
struct Decoded {
  bool has_command = false;
  std::uint32_t command = 0;
  bool size_ok = false;
  // Every byte that no field of the layout names is zero (and, for
  // set_curve, the counts are at most 2048).
  bool zero_elsewhere = false;
  // Named fields in layout order: offset, and the value as text.
  std::vector<std::pair<std::size_t, std::string>> fields;
  std::vector<double> table_a, table_b;  // set_curve only
};

Decoded decode(const unsigned char* data, std::size_t size);

// Round-trip text of a double ("1", "0.1", "6.666666666666667", "nan").
std::string format_double(double v);

// Reads little-endian values (the message may be unaligned).
std::uint32_t read_u32(const unsigned char* p);
double read_f64(const unsigned char* p);

}  // namespace afmouse
