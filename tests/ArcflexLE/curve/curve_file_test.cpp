// "p.dat" compared as a whole, byte for byte, with the file a second,
// independent writer makes from the same curve: a few lines of Python over
// NumPy and SciPy that follow the file's rules (scale, tripled edge points,
// knots, samples, table, tail slope and the value after the table). Any
// wrong number anywhere in the file, the tail included, fails.
#include <gtest/gtest.h>
#include <pybind11/eval.h>

#include <filesystem>
#include <string>

#include "af_test_env.h"
#include "settings_files.h"
#include "state.h"
#include "state_defaults.h"

namespace py = pybind11;
namespace fs = std::filesystem;
using namespace arcflex;

namespace {

const char* const kReferenceWriter = R"(
import numpy as np
from scipy.interpolate import splev

def reference_pdat(hx, hy, hc, table_size=200):
    if hx[-2] > 0:
        scale = table_size / hx[-2]
        sx = [v * scale for v in hx]
    else:
        scale, sx = 1, list(hx)
    if scale <= 0 or scale > 32000:
        scale, sx = 1, list(hx)
    n = len(sx) - 1
    c = sum(1 for f in hc if f == 1)
    if n == 1 or (n == 3 and c == 0):
        samples, balance = 0, 0
    elif n == 2:
        samples, balance = 3, 0
    else:
        samples, balance = n - 2 + 2 * c, 1
    u = np.linspace(0, 1, 128 + 32 * (samples - balance))
    knots = np.array([0, 0, 0] + list(np.linspace(0, 1, samples)) + [1, 1, 1], dtype=float)
    xs, ys, i = list(sx[:-1]), list(hy[:-1]), 0
    for flag in hc[:-1]:
        if flag == 1 or n < 3:
            xs[i + 1:i + 1] = [xs[i], xs[i]]
            ys[i + 1:i + 1] = [ys[i], ys[i]]
            i += 2
        i += 1
    k = min(max(len(xs) - 1, 2), 3)
    ox, oy = splev(u, [knots, [xs, ys], k])
    ox = [0.0] + [float(v) for v in ox]
    oy = [float(oy[0])] + [float(v) for v in oy]
    if sx[n] - sx[n - 1] == 0:
        slope = 0
    else:
        slope = (hy[n] - hy[n - 1]) / (sx[n] - sx[n - 1])
    table, j, i = [oy[0]], 1, 1
    while i < len(ox):
        if ox[i] >= j:
            ratio = 0
            if ox[i] - ox[i - 1] > 0:
                ratio = (j - ox[i - 1]) / (ox[i] - ox[i - 1])
            table.append(oy[i - 1] + ratio * (oy[i] - oy[i - 1]))
            j += 1
        else:
            i += 1
    end = int(ox[-1]) + 1
    lines = ["".join(repr(v) + " " for v in values) for values in (hx, hy, hc)]
    lines += [repr(slope), repr(scale)] + [repr(v) for v in table]
    lines.append(repr(slope * (end - sx[n - 1]) + hy[n - 1]))
    return "\r\n".join(lines)
)";

// The reference writer, its modules imported from C++ first as the editor
// imports them (the import rule of tests/lsan.supp).
py::dict reference_writer() {
  for (const char* name : {"numpy", "scipy.interpolate"}) py::module_::import(name);
  py::dict scope;
  py::exec(kReferenceWriter, scope);
  return scope;
}

struct Shape {
  const char* what;
  const char* x;  // Python list expressions: whole numbers stay whole
  const char* y;
  const char* corners;
  int expected_lines;  // 3 point lines, slope, scale, table, tail value
};

TEST(CurveFileBytes, WholeFileMatchesAnIndependentWriter) {
  py::dict scope = reference_writer();
  const Shape shapes[] = {
      {"edge points", "[0, 8, 16.5, 25, 40, 52]", "[0.4, 0.9, 1.1, 1.6, 1.7, 2.3]", "[0, 1, 0, 1, 0, 0]", 207},
      {"31 control points", "[i * 4.5 for i in range(31)] + [160]",
       "[0.3 + 0.05 * i + 0.02 * (i % 3) for i in range(31)] + [2.2]", "[0] * 32", 207},
      {"a falling curve", "[0, 12, 24, 36, 60]", "[2.5, 2.0, 1.2, 0.9, 0.4]", "[0, 0, 0, 0, 0]", 207},
      {"a straight tail", "[0, 15, 30, 45.5, 91]", "[1, 1.2, 1.4, 1.5, 3.75]", "[0, 0, 0, 0, 0]", 207},
      {"two control points and a steep tail", "[5.0, 20.0, 21.0]", "[0.8, 1.3, 9.0]", "[0, 0, 0]", 207},
      {"one control point at x 0, vertical tail", "[0, 0]", "[1.5, 4]", "[0, 0]", 7},
  };
  for (const Shape& s : shapes) {
    SCOPED_TRACE(s.what);
    assign_defaults();
    settingsdir = data_folder("Arcflex LE", "settings");
    fs::create_directories(settingsdir);
    horizontal_x = py::eval(s.x, scope);
    horizontal_y = py::eval(s.y, scope);
    horizontal_corners = py::eval(s.corners, scope);
    write_curve();
    const std::string written = aftest::read_file(settingsdir + "p.dat");
    const std::string expected =
        scope["reference_pdat"](horizontal_x, horizontal_y, horizontal_corners).cast<std::string>();
    EXPECT_EQ(written, expected);
    size_t line_ends = 0;
    for (size_t at = written.find("\r\n"); at != std::string::npos; at = written.find("\r\n", at + 2)) ++line_ends;
    EXPECT_EQ(line_ends + 1, static_cast<size_t>(s.expected_lines));
  }
}

// The reference itself, held to the file the default curve must give: its
// fixed lines, 201 table values, and the tail value.
TEST(CurveFileBytes, TheReferenceWriterGivesTheKnownDefaultFile) {
  py::dict scope = reference_writer();
  const std::string text =
      scope["reference_pdat"](py::eval("[0, 10, 30, 40]"), py::eval("[0.5, 1, 1, 1]"), py::eval("[0, 0, 0, 0]"))
          .cast<std::string>();
  const std::string head = "0 10 30 40 \r\n0.5 1 1 1 \r\n0 0 0 0 \r\n0.0\r\n6.666666666666667\r\n0.5\r\n";
  EXPECT_EQ(text.substr(0, head.size()), head);
  EXPECT_EQ(text.substr(text.size() - 5), "\r\n1.0");
  size_t lines = 1;
  for (char ch : text) lines += ch == '\n';
  EXPECT_EQ(lines, 207u);
}

}  // namespace
