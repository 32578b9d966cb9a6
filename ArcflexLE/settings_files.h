// The settings folder's files: the lookup-table file "p.dat" that the meter
// uploads to the driver, the editor settings "GUI.dat", and the start-up
// load that fills the module state from both.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pyrt.h"

namespace arcflex {

// "<local app data>/<product>/<sub>/": a folder string ending in one
// separator, so file paths are the folder followed by the name. Throws
// std::runtime_error when the local application data folder is unknown.
std::string data_folder(std::string_view product, std::string_view sub);

// Writes settingsdir + "p.dat" from the applied horizontal curve: the
// points, the tail slope, the x scale (stored in scale_dx) and the lookup
// table. The file is replaced only when complete; any failure is raised to
// the caller and leaves the old file as it was.
void write_curve();

// The start-up load: "GUI.dat" and "p.dat" override the defaults, with a
// fallback for every missing or unreadable part; init_err is set when
// "p.dat" is missing or unreadable. Shows nothing, raises nothing.
void initialize_af();

// Writes settingsdir + "GUI.dat" (five lines). Failures are raised.
void write_settings();

// Every value of a number list, each followed by one blank, in Python's
// text of the number; raises for a value that is not a finite number.
std::string row_text(py::handle values);

// ---- text files ------------------------------------------------------------

// Writes lines joined by CR LF, with no line end after the last, to a
// temporary file in the same folder and renames it over path.
void write_text_file(const std::string& path, const std::vector<std::string>& lines);

// The lines of a text file with their LF or CR LF ends removed; nullopt
// when it cannot be opened.
std::optional<std::vector<std::string>> read_text_lines(const std::string& path);

// A plain decimal number ("1", "-0.5", "1e-05", "10.", ".5"), surrounding
// white space allowed; nullopt for anything else, and for values that are
// not finite ("nan", "inf", "1e999").
std::optional<double> parse_real(std::string_view text);

// The blank-separated tokens of a line (blanks, tabs and the other ASCII
// white space).
std::vector<std::string_view> split_white(std::string_view s);

}  // namespace arcflex
