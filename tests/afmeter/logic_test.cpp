// The meter's pure logic: number reading, the speed window, the modifier
// key state, the pipe command rule and the number format of speed lines.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "meter_logic.h"

using namespace afmeter;

TEST(LineNumber, ReadsTheLeadingDecimalNumberAndIgnoresTheRest) {
  EXPECT_EQ(parse_line_number("2.5"), 2.5);
  EXPECT_EQ(parse_line_number("2.5abc"), 2.5);
  EXPECT_EQ(parse_line_number("  \t-3.25e2xyz"), -325.0);
  EXPECT_EQ(parse_line_number("+.5"), 0.5);
  EXPECT_EQ(parse_line_number("5."), 5.0);
  EXPECT_EQ(parse_line_number("1e"), 1.0);     // an exponent without digits is not part of it
  EXPECT_EQ(parse_line_number("1e+"), 1.0);
  EXPECT_EQ(parse_line_number("1_0"), 1.0);
  EXPECT_EQ(parse_line_number("6.666666666666667\r"), 6.666666666666667);
  EXPECT_EQ(parse_line_number("1e-05"), 1e-05);
  EXPECT_EQ(parse_line_number("-0.0"), 0.0);
  EXPECT_EQ(parse_line_number("00x1"), 0.0);   // only "0x" starts a hex number
  EXPECT_EQ(parse_line_number("4.9e-320"), 4.9e-320);  // subnormal, still a double
}

TEST(LineNumber, RefusesWhatIsNotAFiniteDecimalNumber) {
  for (const char* bad : {"", "\r", "   ", "abc", "nan", "NAN", "inf", "-infinity", "0x10",
                          "0X1p3", "-0x1.8p1", ".", "-", "+", "e5", ".e5", "1e400", "-1e400",
                          "1e-400"}) {
    EXPECT_FALSE(parse_line_number(bad).has_value()) << '"' << bad << '"';
  }
}

CurveFile read(const std::string& text) {
  std::istringstream in(text);
  return read_curve_file(in);
}

TEST(CurveFileText, LinesOneToThreeMayHoldAnything) {
  const CurveFile f = read("nan x\r\n\r\n?? \r\n0.25\r\n6.67\r\n0.5\r\n1.5");
  EXPECT_EQ(f.tail_slope, 0.25);
  EXPECT_EQ(f.table_scale, 6.67);
  EXPECT_EQ(f.table_values, (std::vector<double>{0.5, 1.5}));
}

TEST(CurveFileText, AnEmptyLineEndsTheReadingAsABadLine) {
  const CurveFile f = read("a\nb\nc\n2\n3\n0.5\n\n7\n");
  EXPECT_EQ(f.tail_slope, 0.0);
  EXPECT_EQ(f.table_scale, 1.0);
  EXPECT_EQ(f.table_values, (std::vector<double>{0.5, 1.0}));
}

TEST(CurveFileText, ShortFilesGiveTheOneValueTable) {
  for (const char* text : {"", "a\nb\nc", "a\nb\nc\n0.5"}) {
    const CurveFile f = read(text);
    EXPECT_EQ(f.table_values, std::vector<double>{1.0}) << text;
    EXPECT_EQ(f.table_scale, 1.0);
  }
  EXPECT_EQ(read("a\nb\nc\n0.5").tail_slope, 0.5);
}

TEST(CurveFileText, AnyLineEndEndsALine) {
  for (const std::string e : {"\n", "\r\n", "\r"}) {
    const CurveFile f = read("x y" + e + e + "0 0" + e + "0.25" + e + "6.67" + e + "0.5" + e + "1.5" + e);
    EXPECT_EQ(f.tail_slope, 0.25) << testing::PrintToString(e);
    EXPECT_EQ(f.table_scale, 6.67);
    EXPECT_EQ(f.table_values, (std::vector<double>{0.5, 1.5}));
  }
  EXPECT_EQ(read("a\rb\rc\r0.5\r\r2\r3").table_values, (std::vector<double>{1.0}));  // CR CR: an empty line
}

TEST(CurveFileText, NothingIsReadPastWhatTheFormatHolds) {
  std::string values;
  for (std::size_t i = 0; i < kMaxTableValues; ++i) values += "\n" + std::to_string(i);
  const std::string head = "a\nb\nc\n0.5\n2", number = std::string(kMaxNumberLine - 1, '0') + "5";
  const struct {
    std::string text;
    std::vector<double> values;
    double slope;
    std::size_t read;  // how much of the text is read at most
  } cases[] = {
      // behind the last value the driver takes: a bad line, then a long rest
      {head + values + "\nbad\n" + std::string(1 << 20, '7'), {}, 0.5, head.size() + values.size() + 1},
      {std::string(kMaxPointLine, '1') + "\nb\nc\n0.5\n2\n" + number, {5.0}, 0.5, std::string::npos},
      {std::string(kMaxPointLine + 1, '1') + "\nb\nc\n0.5\n2\n3", {1.0}, 0.0, kMaxPointLine + 1},
      {head + "\n3\n" + number + "2\n4", {3.0, 1.0}, 0.0, head.size() + 3 + kMaxNumberLine + 1},
  };
  for (const auto& c : cases) {
    std::istringstream in(c.text);
    const CurveFile f = read_curve_file(in);
    if (c.values.empty()) {
      ASSERT_EQ(f.table_values.size(), kMaxTableValues);
      EXPECT_EQ(f.table_values.back(), kMaxTableValues - 1.0);
    } else {
      EXPECT_EQ(f.table_values, c.values);
    }
    EXPECT_EQ(f.tail_slope, c.slope);
    EXPECT_EQ(f.table_scale, c.slope == 0.0 ? 1.0 : 2.0);
    if (c.read != std::string::npos) {
      EXPECT_LE(static_cast<std::size_t>(in.tellg()), c.read);
    }
  }
}

TEST(PipeCommands, FirstFourBytesDecide) {
  EXPECT_EQ(match_pipe_command("load", 4), PipeCommand::load);
  EXPECT_EQ(match_pipe_command("loadquit", 8), PipeCommand::load);
  EXPECT_EQ(match_pipe_command("quit now", 8), PipeCommand::quit);
  EXPECT_EQ(match_pipe_command("quitload", 8), PipeCommand::quit);
  EXPECT_EQ(match_pipe_command("LOAD", 4), PipeCommand::none);
  EXPECT_EQ(match_pipe_command(" load", 5), PipeCommand::none);
  // Fewer than four bytes never match, whatever the buffer holds behind them.
  EXPECT_EQ(match_pipe_command("load", 3), PipeCommand::none);
  EXPECT_EQ(match_pipe_command("quit", 0), PipeCommand::none);
}

TEST(SpeedLineFormat, DefaultStreamNotation) {
  EXPECT_EQ(format_speed_line(0.5, 100.0, 1e-07), "0.5 100 1e-07");
  EXPECT_EQ(format_speed_line(12.3456789, 0.0, 0.0000123), "12.3457 0 1.23e-05");
  EXPECT_EQ(format_speed_line(1234567.0, -2.5, 100000.0), "1.23457e+06 -2.5 100000");
}

// A counter of 1000 ticks per second: one tick is one millisecond.
constexpr std::int64_t kFreq = 1000;

TEST(SpeedWindowLogic, WritesOnlyWhenTheWindowsLastSampleMoves) {
  SpeedWindow w(0, kFreq);
  EXPECT_FALSE(w.sample(3.0, 1.0, 7.0, 5));
  EXPECT_FALSE(w.sample(2.0, 4.0, 8.0, 16));  // 16 ms is not more than 16
  auto line = w.sample(1.0, 0.0, 9.0, 17);
  ASSERT_TRUE(line);
  EXPECT_EQ(*line, (std::array<double, 3>{3.0, 4.0, 8.0}));

  // Motion inside the next window, but its last sample is still: no line,
  // and the maxima of that window are gone.
  EXPECT_FALSE(w.sample(50.0, 50.0, 1.0, 20));
  EXPECT_FALSE(w.sample(0.0, 0.0, 2.0, 40));
  line = w.sample(0.5, 0.0, 3.0, 60);
  ASSERT_TRUE(line);
  EXPECT_EQ(*line, (std::array<double, 3>{0.5, 0.0, 3.0}));
}

TEST(SpeedWindowLogic, EqualValuesKeepTheFirstTimeAndTSurvivesWindows) {
  SpeedWindow w(0, kFreq);
  EXPECT_FALSE(w.sample(2.0, 0.0, 11.0, 1));
  EXPECT_FALSE(w.sample(2.0, 0.0, 12.0, 2));  // equal: no new maximum
  auto line = w.sample(1.0, 0.0, 13.0, 20);
  ASSERT_TRUE(line);
  EXPECT_EQ((*line)[2], 11.0);
  // B raises its maximum after A did: T follows the later one.
  SpeedWindow v(0, kFreq);
  line = v.sample(1.0, 2.0, 5.0, 30);
  ASSERT_TRUE(line);
  EXPECT_EQ(*line, (std::array<double, 3>{1.0, 2.0, 5.0}));
  // Negative speeds never raise a maximum of 0; T keeps its value.
  line = v.sample(-1.0, 2.0, 6.0, 60);
  ASSERT_TRUE(line);
  EXPECT_EQ(*line, (std::array<double, 3>{0.0, 2.0, 6.0}));
  EXPECT_FALSE(v.sample(-1.0, 0.5, 9.0, 100));  // -1 + 0.5 is no motion
}

TEST(ModifierKeys, PressOnceReleaseAlways) {
  ModifierState s;
  EXPECT_EQ(s.record(kVkShift, 0), "-20 -20");
  EXPECT_EQ(s.record(kVkShift, 0), std::nullopt);  // auto-repeat
  EXPECT_EQ(s.record(kVkShift, 1), "-30 -30");
  EXPECT_EQ(s.record(kVkShift, 1), "-30 -30");  // a release is always written
  EXPECT_EQ(s.record(kVkControl, 1), "-31 -31");
  EXPECT_EQ(s.record(kVkMenu, 0), "-22 -22");
  EXPECT_EQ(s.record(kVkMenu, 1), "-32 -32");
  EXPECT_EQ(s.record(65, 0), std::nullopt);
  EXPECT_EQ(s.record(65, 1), std::nullopt);
}

TEST(ModifierKeys, RightKeysShareTheFlagOfTheirKind) {
  ModifierState s;
  EXPECT_EQ(s.record(kVkControl, 2), "-21 -21");  // right Ctrl make (E0)
  EXPECT_EQ(s.record(kVkControl, 0), std::nullopt);
  EXPECT_EQ(s.record(kVkControl, 3), "-31 -31");  // right Ctrl break (E0)
  EXPECT_EQ(s.record(kVkMenu, 2), "-22 -22");
  EXPECT_EQ(s.record(kVkMenu, 4), std::nullopt);  // E1 flags are neither
  EXPECT_EQ(s.record(kVkMenu, 5), std::nullopt);
  EXPECT_EQ(s.record(kVkMenu, 3), "-32 -32");
}
