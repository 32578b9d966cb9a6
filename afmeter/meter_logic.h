// The meter's logic that touches no operating-system object: reading the
// lookup-table file, the driver message layouts, the report line texts, the
// pipe command rule, the speed window and the modifier-key state. The
// threads in meter.cpp feed these with what the platform layer delivers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace afmeter {

// ---------------------------------------------------------------------------
// Lookup-table file ("p.dat")

// Reads the number at the start of one line the way the C string-to-double
// conversion does (leading white space skipped, the longest decimal number
// taken, the rest ignored), but only plain decimal numbers count: no
// "nan", "inf" or hex form, and a value too large or too small for a
// double is refused. Returns nothing for a bad line.
std::optional<double> parse_line_number(std::string_view line);

// The most values of one table that the driver takes.
inline constexpr std::size_t kMaxTableValues = 2048;

// What one read of the lookup-table file yields.
struct CurveFile {
  std::vector<double> table_values;  // line 6 onward, never empty
  double tail_slope = 0.0;           // line 4
  double table_scale = 1.0;          // line 5, within (0, 64000]
};

// The longest lines the file's format holds: a line of the editor's points
// (lines 1 to 3) and a line of one number (line 4 on).
inline constexpr std::size_t kMaxPointLine = 65536;
inline constexpr std::size_t kMaxNumberLine = 1024;

// Reads the file's lines (LF, CR LF or lone CR ends); lines 1 to 3 are
// ignored. Reading stops after the most table values the driver takes
// (kMaxTableValues); nothing behind them is read. A bad line from line 4 on,
// or a line longer than its kind can be, ends the reading: slope 0.0, scale
// 1.0 and a trailing 1.0 behind the table values read so far.
CurveFile read_curve_file(std::istream& in);

// The result for a file that cannot be opened: the one-value table [1.0].
CurveFile missing_curve_file();

// ---------------------------------------------------------------------------
// Curve slots and the driver messages

inline constexpr std::size_t kSlotCount = 10;

// The parameter block of one curve slot, in the order of the set_curve
// fields from 0x8030 on.
struct SlotParameters {
  double slope_a = 0.0;
  double slope_b = 0.0;
  double gain_a = 1.0;
  double gain_b = 1.0;
  double gain_c = 1.0;
  double scale_a = 1.0;
  double scale_b = 1.0;
  std::uint32_t enabled = 1;
  double weight = 1.0;
  std::int32_t period = 100;  // sent as a double
  double step = 0.1;
  std::uint32_t limit = 1000;
  std::uint32_t mode = 0;
  double offset_a = 0.0;
  double offset_b = 0.0;
  double exponent = 2.0;
};

// The ten curve slots; only slot 0 reaches the driver.
struct CurveSlots {
  std::array<std::vector<double>, kSlotCount> tables_a;
  std::array<std::vector<double>, kSlotCount> tables_b;
  std::array<SlotParameters, kSlotCount> params;

  // Every slot back to its defaults and the one-value tables [1.0], then
  // slot 0 from the file.
  void assign(const CurveFile& file);
};

inline constexpr std::uint32_t kCmdSetCurve = 15;
inline constexpr std::uint32_t kCmdGetSpeed = 19;
inline constexpr std::size_t kSetCurveSize = 0x505E8;  // 329192
inline constexpr std::size_t kGetSpeedSize = 64;
inline constexpr std::size_t kSpeedReplySize = 64;

// One zero-filled message buffer, allocated for a single send.
struct Message {
  std::unique_ptr<std::uint8_t[]> bytes;
  std::size_t size = 0;
};

// Allocates a zero-filled buffer; an empty Message when memory runs out.
Message allocate_message(std::size_t size);

// Fills a set_curve buffer (kSetCurveSize bytes, zeroed) from slot 0.
void fill_set_curve(std::uint8_t* buf, const CurveSlots& slots);

// The set-up messages sent once after the start-up upload, in order.
struct SetupMessage {
  std::uint32_t command;
  std::size_t size;
  std::uint32_t arg0;
  std::optional<std::uint32_t> arg1;
};
const std::array<SetupMessage, 4>& setup_messages();
void fill_setup_message(std::uint8_t* buf, const SetupMessage& m);

void fill_get_speed(std::uint8_t* buf);

// The three doubles of a speed reply (at offsets 0, 8 and 16).
std::array<double, 3> read_speed_reply(const std::uint8_t* reply);

// Little-endian field access, shared with the tests.
void put_u32(std::uint8_t* at, std::uint32_t v);
void put_f64(std::uint8_t* at, double v);
std::uint32_t get_u32(const std::uint8_t* at);
double get_f64(const std::uint8_t* at);

// ---------------------------------------------------------------------------
// Report lines

// The line end of every report line on the wire is CR LF. On Windows the
// standard output is a text stream that turns a new-line into CR LF itself.
#ifdef _WIN32
inline constexpr std::string_view kLineEnd = "\n";
#else
inline constexpr std::string_view kLineEnd = "\r\n";
#endif

inline constexpr std::string_view kLineLoaded = "-99 -99";
inline constexpr std::string_view kLineLoadFailed = "-77 -77";

// The speed line's three numbers in the output stream's default notation
// (general, 6 significant digits), separated by single blanks, no line end.
std::string format_speed_line(double max_a, double max_b, double t);

// ---------------------------------------------------------------------------
// Pipe commands

enum class PipeCommand { none, load, quit };

// The first four bytes of one read decide; a read of fewer than four bytes
// never matches.
PipeCommand match_pipe_command(const char* data, std::size_t size);

// ---------------------------------------------------------------------------
// Speed window

// Keeps the two speed maxima of each window of more than 16 ms. The caller
// holds the output lock around sample().
class SpeedWindow {
 public:
  SpeedWindow(std::int64_t start, std::int64_t frequency);

  // One accepted sample at counter value now. Returns the line's three
  // numbers when the window ends with this sample and the sample moves.
  std::optional<std::array<double, 3>> sample(double a, double b, double c, std::int64_t now);

 private:
  double max_a_ = 0.0;
  double max_b_ = 0.0;
  double t_ = 0.0;
  std::int64_t last_;
  double frequency_;
};

// ---------------------------------------------------------------------------
// Modifier keys

inline constexpr unsigned kVkShift = 16;
inline constexpr unsigned kVkControl = 17;
inline constexpr unsigned kVkMenu = 18;

// The Shift, Ctrl and Alt flags as last reported; one flag per virtual key,
// shared by the left and right keys.
class ModifierState {
 public:
  // One keyboard record (virtual key and raw flags: bit 0 break, bit 1 the
  // E0 prefix). Returns the line to write, if any.
  std::optional<std::string_view> record(unsigned vkey, unsigned flags);

 private:
  std::array<bool, 3> down_{};
};

}  // namespace afmeter
