#include "meter_logic.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <new>
#include <sstream>
#include <stdexcept>
#include <streambuf>

namespace afmeter {

// ---------------------------------------------------------------------------
// Lookup-table file

namespace {

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<double> parse_line_number(std::string_view line) {
  std::size_t i = 0;
  const std::size_t n = line.size();
  while (i < n && is_space(line[i])) ++i;
  const std::size_t start = i;
  if (i < n && (line[i] == '+' || line[i] == '-')) ++i;
  const std::size_t mantissa = i;
  std::size_t int_digits = 0, frac_digits = 0;
  bool nonzero = false;
  while (i < n && is_digit(line[i])) {
    nonzero |= line[i] != '0';
    ++i, ++int_digits;
  }
  // "0x..." is a hex number to the C conversion; it is not accepted here.
  if (int_digits > 0 && line[mantissa] == '0' && i == mantissa + 1 && i < n &&
      (line[i] == 'x' || line[i] == 'X')) {
    return std::nullopt;
  }
  if (i < n && line[i] == '.') {
    std::size_t j = i + 1;
    while (j < n && is_digit(line[j])) {
      nonzero |= line[j] != '0';
      ++j, ++frac_digits;
    }
    if (int_digits + frac_digits > 0) i = j;
  }
  if (int_digits + frac_digits == 0) return std::nullopt;
  // An exponent counts only when digits follow it.
  if (i < n && (line[i] == 'e' || line[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < n && (line[j] == '+' || line[j] == '-')) ++j;
    if (j < n && is_digit(line[j])) {
      while (j < n && is_digit(line[j])) ++j;
      i = j;
    }
  }
  // from_chars takes no leading '+'.
  std::size_t from = start;
  if (line[from] == '+') ++from;
  double value = 0.0;
  auto [end, ec] = std::from_chars(line.data() + from, line.data() + i, value,
                                   std::chars_format::general);
  if (ec != std::errc() || end != line.data() + i) return std::nullopt;
  if (!std::isfinite(value)) return std::nullopt;
  if (value == 0.0 && nonzero) return std::nullopt;  // too small for a double
  return value;
}

CurveFile missing_curve_file() {
  CurveFile f;
  f.table_values.push_back(1.0);
  return f;
}

namespace {

enum class LineRead { line, end, too_long };

// The next line without its end (LF, CR LF or a lone CR; the last line needs
// none). A line longer than `limit` is not read past the limit.
LineRead next_line(std::streambuf& sb, std::string& line, std::size_t limit) {
  line.clear();
  int c = sb.sbumpc();
  if (c == std::char_traits<char>::eof()) return LineRead::end;
  for (; c != std::char_traits<char>::eof(); c = sb.sbumpc()) {
    if (c == '\n') return LineRead::line;
    if (c == '\r') {
      if (sb.sgetc() == '\n') sb.sbumpc();
      return LineRead::line;
    }
    if (line.size() == limit) return LineRead::too_long;
    line += static_cast<char>(c);
  }
  return LineRead::line;
}

}  // namespace

CurveFile read_curve_file(std::istream& in) {
  CurveFile f;
  try {
    std::streambuf* sb = in.rdbuf();
    if (!sb) throw std::invalid_argument("no stream");
    std::string line;
    // Nothing past the last value the driver can take is read.
    for (int number = 1; f.table_values.size() < kMaxTableValues; ++number) {
      const LineRead r = next_line(*sb, line, number <= 3 ? kMaxPointLine : kMaxNumberLine);
      if (r == LineRead::end) break;
      if (r == LineRead::too_long) throw std::invalid_argument("line too long");
      if (number <= 3) continue;
      std::optional<double> v = parse_line_number(line);
      if (!v) throw std::invalid_argument("bad line");
      if (number == 4) {
        f.tail_slope = *v;
      } else if (number == 5) {
        f.table_scale = (*v > 0.0 && *v <= 64000.0) ? *v : 1.0;
      } else {
        f.table_values.push_back(*v);
      }
    }
  } catch (...) {
    // A bad line, or running out of memory, ends the reading: the values
    // read so far stay, closed by 1.0, with the neutral slope and scale.
    f.tail_slope = 0.0;
    f.table_scale = 1.0;
    try {
      f.table_values.push_back(1.0);
    } catch (...) {
      f.table_values.assign(1, 1.0);
    }
  }
  if (f.table_values.empty()) f.table_values.push_back(1.0);
  return f;
}

void CurveSlots::assign(const CurveFile& file) {
  for (std::size_t i = 0; i < kSlotCount; ++i) {
    params[i] = SlotParameters{};
    tables_a[i].assign(1, 1.0);
    tables_b[i].assign(1, 1.0);
  }
  params[0].slope_a = params[0].slope_b = file.tail_slope;
  params[0].scale_a = params[0].scale_b = file.table_scale;
  tables_a[0] = file.table_values;
  tables_b[0] = file.table_values;
}

// ---------------------------------------------------------------------------
// Messages

void put_u32(std::uint8_t* at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void put_f64(std::uint8_t* at, double v) {
  const auto bits = std::bit_cast<std::uint64_t>(v);
  for (int i = 0; i < 8; ++i) at[i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

std::uint32_t get_u32(const std::uint8_t* at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= std::uint32_t{at[i]} << (8 * i);
  return v;
}

double get_f64(const std::uint8_t* at) {
  std::uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits |= std::uint64_t{at[i]} << (8 * i);
  return std::bit_cast<double>(bits);
}

Message allocate_message(std::size_t size) {
  Message m;
  m.bytes.reset(new (std::nothrow) std::uint8_t[size]());
  if (m.bytes) m.size = size;
  return m;
}

namespace {

void put_table(std::uint8_t* at, std::uint32_t marker, const std::vector<double>& values) {
  const std::size_t count = values.size() < kMaxTableValues ? values.size() : kMaxTableValues;
  put_u32(at, marker);
  put_u32(at + 4, static_cast<std::uint32_t>(count));
  for (std::size_t i = 0; i < count; ++i) put_f64(at + 8 + 8 * i, values[i]);
}

}  // namespace

void fill_set_curve(std::uint8_t* buf, const CurveSlots& slots) {
  put_u32(buf + 0x0000, kCmdSetCurve);
  put_u32(buf + 0x0010, 1);
  put_u32(buf + 0x0018, 0);
  put_table(buf + 0x0020, 1, slots.tables_a[0]);
  put_table(buf + 0x4028, 2, slots.tables_b[0]);
  const SlotParameters& p = slots.params[0];
  put_f64(buf + 0x8030, p.slope_a);
  put_f64(buf + 0x8038, p.slope_b);
  put_f64(buf + 0x8040, p.gain_a);
  put_f64(buf + 0x8048, p.gain_b);
  put_f64(buf + 0x8050, p.gain_c);
  put_f64(buf + 0x8058, p.scale_a);
  put_f64(buf + 0x8060, p.scale_b);
  put_u32(buf + 0x8068, p.enabled);
  put_f64(buf + 0x8070, p.weight);
  put_f64(buf + 0x8078, static_cast<double>(p.period));
  put_f64(buf + 0x8080, p.step);
  put_u32(buf + 0x8088, p.limit);
  put_u32(buf + 0x808C, p.mode);
  put_f64(buf + 0x8090, p.offset_a);
  put_f64(buf + 0x8098, p.offset_b);
  put_f64(buf + 0x80A0, p.exponent);
}

const std::array<SetupMessage, 4>& setup_messages() {
  static const std::array<SetupMessage, 4> messages{{
      {20, 68, 0, std::nullopt},
      {21, 68, 1, std::nullopt},
      {17, 72, 0, 0u},
      {18, 72, 1, 0u},
  }};
  return messages;
}

void fill_setup_message(std::uint8_t* buf, const SetupMessage& m) {
  put_u32(buf, m.command);
  put_u32(buf + 0x10, m.arg0);
  if (m.arg1) put_u32(buf + 0x14, *m.arg1);
}

void fill_get_speed(std::uint8_t* buf) { put_u32(buf, kCmdGetSpeed); }

std::array<double, 3> read_speed_reply(const std::uint8_t* reply) {
  return {get_f64(reply), get_f64(reply + 8), get_f64(reply + 16)};
}

// ---------------------------------------------------------------------------
// Report lines

std::string format_speed_line(double max_a, double max_b, double t) {
  std::ostringstream out;
  out << max_a << ' ' << max_b << ' ' << t;
  return out.str();
}

// ---------------------------------------------------------------------------
// Pipe commands

PipeCommand match_pipe_command(const char* data, std::size_t size) {
  if (size < 4) return PipeCommand::none;
  if (std::memcmp(data, "load", 4) == 0) return PipeCommand::load;
  if (std::memcmp(data, "quit", 4) == 0) return PipeCommand::quit;
  return PipeCommand::none;
}

// ---------------------------------------------------------------------------
// Speed window

SpeedWindow::SpeedWindow(std::int64_t start, std::int64_t frequency)
    : last_(start), frequency_(static_cast<double>(frequency)) {}

std::optional<std::array<double, 3>> SpeedWindow::sample(double a, double b, double c,
                                                         std::int64_t now) {
  if (a > max_a_) {
    max_a_ = a;
    t_ = c;
  }
  if (b > max_b_) {
    max_b_ = b;
    t_ = c;
  }
  const double elapsed = static_cast<double>(now - last_) * 1000.0 / frequency_;
  if (!(elapsed > 16.0)) return std::nullopt;
  std::optional<std::array<double, 3>> line;
  if (a + b > 0.0) line = std::array<double, 3>{max_a_, max_b_, t_};
  last_ = now;
  max_a_ = 0.0;
  max_b_ = 0.0;
  return line;
}

// ---------------------------------------------------------------------------
// Modifier keys

std::optional<std::string_view> ModifierState::record(unsigned vkey, unsigned flags) {
  static constexpr std::string_view kPressed[3] = {"-20 -20", "-21 -21", "-22 -22"};
  static constexpr std::string_view kReleased[3] = {"-30 -30", "-31 -31", "-32 -32"};
  if (vkey < kVkShift || vkey > kVkMenu) return std::nullopt;
  const std::size_t k = vkey - kVkShift;
  // The E0 make and break of the right Ctrl and Alt keys count as the
  // plain ones; other flag values are neither.
  if (flags > 1) flags -= 2;
  if (flags == 1) {
    down_[k] = false;
    return kReleased[k];
  }
  if (flags == 0 && !down_[k]) {
    down_[k] = true;
    return kPressed[k];
  }
  return std::nullopt;
}

}  // namespace afmeter
