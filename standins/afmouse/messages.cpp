#include "messages.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace afmouse {

std::size_t expected_size(std::uint32_t command) {
  switch (command) {
    case kSetCurve: return kSetCurveSize;
    case kSetupA:
    case kSetupB: return 72;
    case kSetupC:
    case kSetupD: return 68;
    case kGetSpeed: return kGetSpeedSize;
    default: return 0;
  }
}

std::uint32_t read_u32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

double read_f64(const unsigned char* p) {
  std::uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = bits << 8 | p[i];
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

std::string format_double(double v) {
  if (std::isnan(v)) return "nan";
  if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
  // The shortest of %.15g .. %.17g that reads back as the same value.
  char buf[40];
  for (int prec = 15; prec <= 17; ++prec) {
    std::snprintf(buf, sizeof buf, "%.*g", prec, v);
    if (std::strtod(buf, nullptr) == v) break;
  }
  return buf;
}

namespace {

bool zero_range(const unsigned char* data, std::size_t from, std::size_t to) {
  for (std::size_t i = from; i < to; ++i) {
    if (data[i] != 0) return false;
  }
  return true;
}

enum class Kind { U32, F64 };
struct Field {
  std::size_t offset;
  Kind kind;
};

// The parameter block of set_curve, 0x8030 to 0x80A8.
constexpr Field kCurveParams[] = {
    {0x8030, Kind::F64}, {0x8038, Kind::F64}, {0x8040, Kind::F64}, {0x8048, Kind::F64},
    {0x8050, Kind::F64}, {0x8058, Kind::F64}, {0x8060, Kind::F64}, {0x8068, Kind::U32},
    {0x8070, Kind::F64}, {0x8078, Kind::F64}, {0x8080, Kind::F64}, {0x8088, Kind::U32},
    {0x808C, Kind::U32}, {0x8090, Kind::F64}, {0x8098, Kind::F64}, {0x80A0, Kind::F64},
};

void add_u32(Decoded& d, const unsigned char* data, std::size_t off) {
  d.fields.emplace_back(off, std::to_string(read_u32(data + off)));
}

void decode_curve(Decoded& d, const unsigned char* data) {
  bool zero = zero_range(data, 4, 0x10) && zero_range(data, 0x14, 0x18) && zero_range(data, 0x1C, 0x20) &&
              zero_range(data, 0x806C, 0x8070) && zero_range(data, 0x80A8, kSetCurveSize);
  for (std::size_t off : {0x10, 0x18, 0x20, 0x24}) add_u32(d, data, off);
  add_u32(d, data, 0x4028);
  add_u32(d, data, 0x402C);
  struct Table {
    std::size_t count_at, values_at;
    std::vector<double>* out;
  };
  for (Table t : {Table{0x24, 0x28, &d.table_a}, Table{0x402C, 0x4030, &d.table_b}}) {
    std::uint32_t count = read_u32(data + t.count_at);
    if (count > kTableCapacity) {
      zero = false;
      count = kTableCapacity;
    }
    for (std::uint32_t i = 0; i < count; ++i) t.out->push_back(read_f64(data + t.values_at + 8 * i));
    zero = zero && zero_range(data, t.values_at + 8 * count, t.values_at + 8 * kTableCapacity);
  }
  for (const Field& f : kCurveParams) {
    if (f.kind == Kind::U32) {
      add_u32(d, data, f.offset);
    } else {
      d.fields.emplace_back(f.offset, format_double(read_f64(data + f.offset)));
    }
  }
  d.zero_elsewhere = zero;
}

}  // namespace

Decoded decode(const unsigned char* data, std::size_t size) {
  Decoded d;
  if (size < 4) return d;
  d.has_command = true;
  d.command = read_u32(data);
  std::size_t want = expected_size(d.command);
  d.size_ok = want != 0 && size == want;
  if (!d.size_ok) return d;
  switch (d.command) {
    case kSetCurve:
      decode_curve(d, data);
      break;
    case kSetupA:
    case kSetupB:
      add_u32(d, data, 0x10);
      add_u32(d, data, 0x14);
      d.zero_elsewhere = zero_range(data, 4, 0x10) && zero_range(data, 0x18, size);
      break;
    case kSetupC:
    case kSetupD:
      add_u32(d, data, 0x10);
      d.zero_elsewhere = zero_range(data, 4, 0x10) && zero_range(data, 0x14, size);
      break;
    case kGetSpeed:
      d.zero_elsewhere = zero_range(data, 4, size);
      break;
  }
  return d;
}

}  // namespace afmouse
