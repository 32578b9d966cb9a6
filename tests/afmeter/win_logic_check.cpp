// The meter's logic under the Windows C and C++ run-time (run under wine by
// the tests): number output and input, the curve file in text mode, and the
// report line end. Prints one report line and "METER CHECK OK" when every
// check holds, else the failed checks; exit code 0 or 1.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "meter.h"

namespace {

int failures = 0;

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "FAIL: %s\n", what);
    ++failures;
  }
}

}  // namespace

int main() {
  using namespace afmeter;
  check(format_speed_line(0.5, 100.0, 1e-07) == "0.5 100 1e-07", "speed line 0.5 100 1e-07");
  check(format_speed_line(12.3456789, 0.0, 0.0000123) == "12.3457 0 1.23e-05",
        "speed line 12.3457 0 1.23e-05");
  check(format_speed_line(1234567.0, -2.5, 1e+300) == "1.23457e+06 -2.5 1e+300",
        "speed line 1.23457e+06 -2.5 1e+300");
  check(parse_line_number("2.5abc") == 2.5, "2.5abc reads as 2.5");
  check(parse_line_number("6.666666666666667") == 200.0 / 30.0, "shortest text reads back");
  for (const char* bad : {"nan", "inf", "0x10", "1e400", "1e-400", ""}) {
    check(!parse_line_number(bad), bad);
  }

  // The curve file as the editor writes it (CR LF), in a folder whose name
  // is outside the ANSI code page, read in text mode.
  const std::filesystem::path dir(L"meter_check_\u00eb\u4e2d");
  std::filesystem::create_directories(dir);
  {
    std::ofstream out(dir / L"p.dat", std::ios::binary);
    out << "0 10 30 40 \r\n0.5 1 1 1 \r\n0 0 0 0 \r\n0.25\r\n6.67\r\n0.5\r\n\r\n9";
  }
  const std::u8string u8 = (dir / L"p.dat").u8string();
  const std::optional<CurveFile> f = read_curve_at(std::string(u8.begin(), u8.end()));
  check(f.has_value(), "the curve file opens by its UTF-8 path");
  if (f) {
    check(f->table_values == std::vector<double>({0.5, 1.0}) && f->tail_slope == 0.0 &&
              f->table_scale == 1.0,
          "a bad line in a CR LF file");
  }
  std::filesystem::remove_all(dir);

  // In text mode the new-line reaches the pipe as CR LF.
  write_line(kLineLoaded);
  if (failures == 0) std::printf("METER CHECK OK\n");
  return failures == 0 ? 0 : 1;
}
