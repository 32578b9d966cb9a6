// The settings folder's files: the lookup-table file "p.dat" that the meter
// uploads to the driver, the editor settings "GUI.dat", and the start-up
// load that fills the module state from both.
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
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
// The first write after keep_previous_curve_on_next_write() first copies
// the file it replaces to "p.dat.prev" (see below); when that copy cannot
// be made, nothing is written and the failure is raised.
void write_curve();

// ---- the curve of a change not yet confirmed ---------------------------------
// While a change of the applied curve waits for its confirmation, the
// "p.dat" it replaced stays beside it as "p.dat.prev" (written whole, like
// "p.dat"), until the change is confirmed or taken back. Whatever way the
// editor ends meanwhile, that file is what the next start finds: the exits
// put it back, and so does the start-up when an editor was killed.

// settingsdir + "p.dat.prev".
std::string previous_curve_path();
// Asks the next write_curve() to keep the file it replaces (the undo
// snapshot was just taken: a change may follow); `on` false withdraws that.
// While an earlier change is still unconfirmed (its take-back could not be
// written), the kept file is the last confirmed curve and stays as it is.
void keep_previous_curve_on_next_write(bool on = true);
// Whether a change of "p.dat" waits for its confirmation (or could not be
// taken back): only then does an exit put the kept file back.
bool change_pending();
// The change is confirmed: the kept file goes (the removal flushed to
// disk). 0, or the system's error number when it could not be removed or
// its removal not flushed; `failed` (when given) is then set to the file,
// or to the folder whose flush failed. The removal is then tried again by
// remove_confirmed_kept_file().
int confirm_pending_change(std::string* failed = nullptr);
// Removes a kept file that a confirmation could not remove, unless a change
// is pending again; errors are ignored (it is tried again later). Every
// write in the settings folder and every exit call it.
void remove_confirmed_kept_file();
// "p.dat" holds the curve of before the latest change again: the change is
// no longer pending, nor is the kept file needed, unless an earlier change
// was still unconfirmed when it began. Errors are ignored.
void drop_taken_back_change();
// Renames the kept file over "p.dat" (through a symbolic link to its
// target, as writes go; by a copy beside the target when that lies on
// another file system), flushing the folders; true when a file was put back,
// false when there was none. A failure raises FileWriteError naming the
// file (or folder) that could not be replaced or flushed. Needs no Python,
// so an exit forced from inside Xlib can run it.
bool put_back_previous_curve();
// Whether a file reads as "p.dat" must for the start-up to load it (see
// read_curve_file); raises FileReadError when it cannot be read at all.
bool curve_file_reads(const std::string& path);
// A kept file that is no curve: "p.dat" (an unconfirmed change) is kept
// under a free name from "p.dat.bad" on, and the next initialize_af()
// loads the default curve. Once the start-up has written the default to
// "p.dat", set_aside_kept_file() moves the kept file to a free name from
// "p.dat.prev.bad" on; a start killed before that finds the kept file again
// and does the same. Both raise FileError for a file they cannot read, keep
// or move.
void set_aside_unconfirmed_curve();
void set_aside_kept_file();

// The numbers of lookup values a "p.dat" may hold, from its head lines as
// written: line 1 (the x list) and line 5 (the scale). The table runs from
// table x 0 to the spline's last sample, which ends within a rounding step
// of the last control point's x (the second to last value) times the scale:
// 1 + the whole part of that product; also one fewer where the product is
// a whole number or lies within a rounding step above one (the samples may
// end a step short of it), and one more where it lies within a step below
// one; never fewer than one value nor more than table_size + 1. nullopt for lines no curve file
// has (fewer than two x values, a bad number, a table past table_size).
// write_curve() and the start-up's check both keep to it.
struct TableLengths {
  std::size_t fewest, most;
};
std::optional<TableLengths> curve_table_lengths(std::string_view x_line, std::string_view scale_line);

// What a "p.dat" holds for the start-up: the curve lists and the scale.
// Every line the meter reads is checked: the three lists, the tail slope,
// the scale and the table (a count curve_table_lengths allows) with the value past
// it, nothing missing and nothing after. Raises FileReadError for a file
// that cannot be read (the system's reason), std::runtime_error for one
// that is no curve.
struct CurveFile {
  py::list x, y, corners;
  double scale = 0;
};
CurveFile read_curve_file(const std::string& path);

// The start-up load: "GUI.dat" and "p.dat" override the defaults, with a
// fallback for every missing or bad part; init_err is set when "p.dat" is
// missing or no curve (an unusable one is kept, see
// set_aside_unconfirmed_curve). Shows nothing; raises FileError only for a
// "p.dat" that cannot be read, or kept before it is replaced.
void initialize_af();

// Writes settingsdir + "GUI.dat" (five lines). Failures are raised.
void write_settings();

// Every value of a number list, each followed by one blank, in Python's
// text of the number; raises for a value that is not a finite number.
std::string row_text(py::handle values);

// ---- text files ------------------------------------------------------------

// Writes lines joined by CR LF, with no line end after the last, to a
// temporary file in the same folder ("<file>.tmp", else the first of
// "<file>.tmp.1", ... that no folder stands at; made new, never through a
// link planted there, and flushed to disk) and renames it over the file,
// flushing the folder, so the file is either the old one or the whole new
// one, also after a power cut. It keeps what writing the file in place
// would: a read-only file is not replaced (the write fails), a symbolic
// link is written through to its target, and the new file takes the old
// one's permissions. Errors name the file the failing call was made on (path,
// its temporary file, or the folder whose flush failed), with the system's
// reason.
void write_text_file(const std::string& path, const std::vector<std::string>& lines);

// A file that could not be written or read: "<verb> "<path>":\n<reason>",
// and each part on its own for a message that names the path once.
class FileError : public std::runtime_error {
 public:
  FileError(const std::string& verb, const std::string& path, const std::string& reason);
  const std::string& verb() const { return verb_; }
  const std::string& path() const { return path_; }
  const std::string& reason() const { return reason_; }

 private:
  std::string verb_, path_, reason_;
};
// "Cannot write".
class FileWriteError : public FileError {
 public:
  FileWriteError(const std::string& path, const std::string& reason);
};
// "Cannot read".
class FileReadError : public FileError {
 public:
  FileReadError(const std::string& path, const std::string& reason);
};

// The first max_lines lines of a text file, their ends (LF, CR LF or a lone
// CR, as in Python's text mode) removed; no more than max_bytes of the file
// is read. nullopt when the file cannot be opened, is not a regular file (a
// folder, a FIFO: refused without opening it), or its first max_lines lines
// do not fit in max_bytes.
std::optional<std::vector<std::string>> read_text_lines(const std::string& path, std::size_t max_lines,
                                                        std::size_t max_bytes);

// The longest text of one number in the editor's files, white space
// around it included; a line of numbers holds at most this much per value.
inline constexpr std::size_t kNumberTextMax = 64;

// The most bytes a line of one curve list can take: maxverts + 1 numbers.
std::size_t curve_line_max();

// A plain decimal number ("1", "-0.5", "1e-05", "10.", ".5"), surrounding
// white space allowed; nullopt for anything else, and for values that are
// not finite ("nan", "inf", "1e999").
std::optional<double> parse_real(std::string_view text);

// The blank-separated tokens of a line (blanks, tabs and the other ASCII
// white space).
std::vector<std::string_view> split_white(std::string_view s);

}  // namespace arcflex
