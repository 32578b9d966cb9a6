#include "settings_files.h"

#include <platform/files.h>
#include <platform/paths.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cmath>
#include <filesystem>
#include <iterator>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "curve.h"
#include "state_defaults.h"
#include "pyrt.h"
#include "state.h"

namespace arcflex {

namespace fs = std::filesystem;

namespace {

py::object item(py::handle seq, Py_ssize_t i) {
  PyObject* o = PySequence_GetItem(seq.ptr(), i);  // negative i counts from the end
  if (!o) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(o);
}

py::list new_list(py::handle seq) {
  PyObject* l = PySequence_List(seq.ptr());
  if (!l) throw py::error_already_set();
  return py::reinterpret_steal<py::list>(l);
}

bool compare(py::handle a, py::handle b, int op) {
  int r = PyObject_RichCompareBool(a.ptr(), b.ptr(), op);
  if (r < 0) throw py::error_already_set();
  return r == 1;
}

Py_ssize_t length(py::handle h) { return static_cast<Py_ssize_t>(py::len(h)); }

// The Python text of a number that goes into a file; nothing that is not a
// finite number is ever written.
std::string number_text(py::handle v) {
  if (!PyNumber_Check(v.ptr())) throw std::runtime_error("not a number: " + py_repr(v));
  const double d = v.cast<double>();
  if (!std::isfinite(d)) throw std::runtime_error("not a finite number: " + py_repr(v));
  return py_repr(v);
}

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && is_space(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_space(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

std::string row_text(py::handle values) {
  std::string s;
  for (py::handle v : values) s += number_text(v) + " ";
  return s;
}

std::vector<std::string_view> split_white(std::string_view s) {
  std::vector<std::string_view> tokens;
  std::size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && is_space(s[i])) ++i;
    std::size_t start = i;
    while (i < s.size() && !is_space(s[i])) ++i;
    if (i > start) tokens.push_back(s.substr(start, i - start));
  }
  return tokens;
}

namespace {

struct Unreadable : std::runtime_error {
  using std::runtime_error::runtime_error;
};

double real_or_throw(std::string_view text) {
  std::optional<double> v = parse_real(text);
  if (!v) throw Unreadable("unreadable number: " + std::string(text));
  return *v;
}

// A number read as a real and truncated to a whole number.
int whole_or_throw(std::string_view text) {
  const double v = std::trunc(real_or_throw(text));
  if (std::fabs(v) >= 2147483648.0) throw Unreadable("number out of range: " + std::string(text));
  return static_cast<int>(v);
}

// One character of a line as a one-digit field.
int char_field(const std::string& line, std::size_t index) {
  if (index >= line.size()) throw Unreadable("line too short");
  return whole_or_throw(std::string_view(&line[index], 1));
}

// Line k of a file, or the empty text past its end (as reading on at the
// end of a file gives).
const std::string& line_at(const std::vector<std::string>& lines, std::size_t k) {
  static const std::string none;
  return k < lines.size() ? lines[k] : none;
}

// An option flag of "GUI.dat": any value but 0 switches the option on, so
// the check mark and every rule that reads the flag agree.
int flag_field(int value) { return value != 0 ? 1 : 0; }

// A folder name on line 1 of "GUI.dat": at most 32767 UTF-16 units, up to
// three bytes each.
constexpr std::size_t kFolderTextMax = 3 * 32767;

// The text scaling percent of "GUI.dat" line 5: one the slider cannot show
// would fail every start, so it reads (and is written) as 100.
int scaling_field(int value) { return value < 25 || value > 250 ? 100 : value; }

// The five lines of "GUI.dat", and the five lines of "p.dat" the editor
// reads (three curve lists, the slope and the scale), with their line ends.
std::size_t settings_file_max() { return kFolderTextMax + 4 * kNumberTextMax + 5 * 2; }
std::size_t curve_head_max() { return 3 * curve_line_max() + 2 * kNumberTextMax + 5 * 2; }

std::string reason(int err) { return afp::error_text(err); }

// What reading a file gave: at most the bytes asked for, whether there were
// more, or the system's error number.
struct FileRead {
  std::string bytes;
  bool too_long = false;
  int err = 0;
};

// Reads a file (a link followed) through the C library, so that a failure
// keeps the system's reason.
FileRead read_file(const std::string& path, std::size_t max_bytes = std::string::npos) {
  FileRead r;
  errno = 0;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    r.err = errno ? errno : EIO;
    return r;
  }
  char buf[65536];
  for (;;) {
    errno = 0;
    const std::size_t n = std::fread(buf, 1, sizeof buf, f);
    r.bytes.append(buf, n);
    if (r.bytes.size() > max_bytes) {
      r.bytes.resize(max_bytes);
      r.too_long = true;
      break;
    }
    if (n < sizeof buf) {
      if (std::ferror(f)) r.err = errno ? errno : EIO;
      break;
    }
  }
  std::fclose(f);
  return r;
}

std::string folder_of(const fs::path& path) {
  return path.has_parent_path() ? path.parent_path().string() : std::string(".");
}

// A step that failed: the system's error number and the file (or folder)
// the failing call was made on; `replaced` when the target was replaced and
// only the flush after it failed.
struct Failure {
  Failure() = default;
  Failure(int e, std::string p, bool r = false, std::string w = {})
      : err(e), path(std::move(p)), replaced(r), why(std::move(w)) {}
  int err = 0;
  std::string path;
  bool replaced = false;
  std::string why;  // in place of the system's text
  explicit operator bool() const { return err != 0; }
};

[[noreturn]] void raise(const Failure& f) { throw FileWriteError(f.path, f.why.empty() ? reason(f.err) : f.why); }

// The most temporary names tried beside one file.
constexpr int kTemporaryNamesMax = 100;

// Writes bytes to target through a temporary file beside it (made new,
// flushed to disk) renamed over it with a rename that reaches the disk:
// after a power cut target is the old file or the whole new one. The
// temporary is "<target>.tmp", else the first of "<target>.tmp.1", ... that
// no folder stands at: a file or link there (left by a write cut short) is
// replaced, so leftovers never pile up, and a folder in the way blocks
// nothing. mode as afp::write_new_file takes it.
Failure replace_file(const fs::path& target, std::string_view bytes, int mode) {
  const std::string base = target.string() + ".tmp";
  std::string temp = base;
  int err = EISDIR;
  for (int n = 0; n < kTemporaryNamesMax && (err == EISDIR || err == EEXIST); ++n) {
    temp = n == 0 ? base : base + "." + std::to_string(n);
    std::error_code ec;
    // EEXIST: something was made there after the leftover went.
    err = fs::is_directory(fs::symlink_status(temp, ec)) ? EISDIR : afp::write_new_file(temp, bytes, mode);
  }
  if (err) return {err, err == EISDIR ? base : temp};
  bool moved = false;
  if (int err = afp::durable_rename(temp, target.string(), &moved)) {
    if (moved) return {err, folder_of(target), true};
    std::error_code ignored;
    fs::remove(temp, ignored);
    return {err, target.string()};
  }
  return {};
}

int permission_bits(const fs::file_status& st) { return static_cast<int>(st.permissions() & fs::perms::mask); }

// base, else base.1, base.2, ...: the first name nothing stands at, so a
// file set aside never replaces one set aside before, nor waits for a
// folder in its way to go.
std::string free_name(const std::string& base) {
  std::error_code ec;
  std::string name = base;
  for (int n = 1; fs::exists(fs::symlink_status(name, ec)); ++n) name = base + "." + std::to_string(n);
  return name;
}

// Whether a file set aside under a name from base on (base, base.1, ... up
// to the first free name) holds these bytes.
bool set_aside_before(const std::string& base, const std::string& bytes) {
  std::error_code ec;
  std::string name = base;
  for (int n = 1; fs::exists(fs::symlink_status(name, ec)); ++n) {
    if (fs::is_regular_file(fs::symlink_status(name, ec)) && fs::file_size(name, ec) == bytes.size() && !ec) {
      const FileRead r = read_file(name);
      if (!r.err && r.bytes == bytes) return true;
    }
    name = base + "." + std::to_string(n);
  }
  return false;
}

// Before start-up replaces a "p.dat" it cannot use, its bytes are kept
// beside it under a free name from "p.dat.bad" on, so a user's curve is
// never lost; when no copy can be written (a full disk) the file itself is
// moved there. Bytes a file set aside before holds are not kept again.
// Raises when the file cannot be read or kept.
void keep_unusable_curve_file(const std::string& path) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return;  // nothing a FIFO or folder holds is kept
  const std::string kept = free_name(path + ".bad");
  const FileRead read = read_file(path);
  if (read.err) throw FileReadError(path, reason(read.err));
  if (set_aside_before(path + ".bad", read.bytes)) return;
  if (!replace_file(kept, read.bytes, permission_bits(fs::status(path, ec)))) return;
  if (int err = afp::durable_rename(path, kept)) throw FileWriteError(kept, reason(err));
}

bool file_exists(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

}  // namespace

std::string data_folder(std::string_view product, std::string_view sub) {
  const std::string base = afp::local_app_data();
  if (base.empty()) throw std::runtime_error("the local application data folder cannot be found");
  const char sep = afp::path_separator();
  return base + sep + std::string(product) + sep + std::string(sub) + sep;
}

// ---- text files ------------------------------------------------------------

namespace {

// The file a path names with symbolic links followed; a dangling link names
// its missing target, which a write then creates.
fs::path link_target(const fs::path& path) {
  fs::path p = path;
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(p, ec))) return p;
    fs::path next = fs::read_symlink(p, ec);
    if (ec) return p;
    p = next.is_absolute() ? next : p.parent_path() / next;
  }
  return p;  // a loop of links: its status below reports it
}

// Set by keep_previous_curve_on_next_write(); read by the next write_curve().
bool g_keep_previous = false;
// A change of "p.dat" is not confirmed yet (the kept file, if any, holds the
// curve before it), and whether one was when the latest change began.
bool g_change_pending = false;
bool g_pending_before_change = false;
// The start-up found a kept file that is no curve: "p.dat" holds an
// unconfirmed change and is loaded as an unusable one, and the kept file is
// moved aside once the default curve is written in its place.
bool g_discard_curve_file = false;
bool g_kept_file_to_set_aside = false;
// The kept file of a confirmed change could not be removed: it goes at the
// next write in the settings folder, or at an exit.
bool g_confirmed_kept_file_left = false;

// Removes the kept file, flushing the folder so the removal survives a
// power cut.
Failure remove_kept_file() {
  const std::string kept = previous_curve_path();
  bool removed = false;
  if (int err = afp::remove_file(kept, &removed)) return {err, removed ? folder_of(kept) : kept};
  return {};
}

// Copies "p.dat" as it is to "p.dat.prev" (see replace_file), so the kept
// file is always whole. A missing "p.dat" keeps nothing (no older kept file
// stays, and nothing is pending). While an earlier change is still
// unconfirmed (its take-back failed), "p.dat" is not a confirmed curve: the
// kept file stays as it is. Failures are raised.
void keep_previous_curve() {
  g_keep_previous = false;
  g_pending_before_change = g_change_pending;
  if (g_change_pending) return;
  const std::string kept = previous_curve_path();
  std::error_code ec;
  const fs::path current = link_target(settingsdir + "p.dat");
  const fs::file_status st = fs::status(current, ec);
  if (!fs::is_regular_file(st)) {
    // Nothing to go back to (the first write of a start); an older kept
    // file would be put back over this write.
    if (Failure f = remove_kept_file()) raise(f);
    g_confirmed_kept_file_left = false;
    return;
  }
  const FileRead read = read_file(current.string());
  if (read.err) throw FileReadError(current.string(), reason(read.err));
  if (Failure f = replace_file(kept, read.bytes, permission_bits(st))) {
    // A kept file that reached its place holds the confirmed "p.dat": it is
    // harmless, and goes as one a confirmation left.
    if (f.replaced) g_confirmed_kept_file_left = true;
    raise(f);
  }
  g_change_pending = true;
  g_confirmed_kept_file_left = false;
}

// Writes lines joined by CR LF (see write_text_file).
Failure write_lines(const std::string& path, const std::vector<std::string>& lines) {
  remove_confirmed_kept_file();
  std::string content;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) content += "\r\n";
    content += lines[i];
  }
  auto fail = [&](int err) { return Failure{err, path}; };

  const fs::path target = link_target(path);
  std::error_code ec;
  const fs::file_status old = fs::status(target, ec);
  if (ec && old.type() != fs::file_type::not_found) return fail(ec.value());
  const bool replacing = fs::exists(old);
  if (replacing) {
    // What opening the file itself for writing would refuse.
    if (fs::is_directory(old)) return fail(EISDIR);
    if (!fs::is_regular_file(old)) return Failure{EINVAL, path, false, "Not a regular file"};
    if ((old.permissions() & fs::perms::owner_write) == fs::perms::none) return fail(EACCES);
    errno = 0;
    std::FILE* probe = std::fopen(target.c_str(), "ab");
    if (!probe) return fail(errno ? errno : EACCES);
    std::fclose(probe);
  }
  return replace_file(target, content, replacing ? permission_bits(old) : -1);
}

}  // namespace

FileError::FileError(const std::string& verb, const std::string& path, const std::string& reason)
    : std::runtime_error(verb + " \"" + path + "\":\n" + reason), verb_(verb), path_(path), reason_(reason) {}

FileWriteError::FileWriteError(const std::string& path, const std::string& reason)
    : FileError("Cannot write", path, reason) {}

FileReadError::FileReadError(const std::string& path, const std::string& reason)
    : FileError("Cannot read", path, reason) {}

void write_text_file(const std::string& path, const std::vector<std::string>& lines) {
  if (Failure f = write_lines(path, lines)) raise(f);
}

namespace {

// The first max_lines lines of content, their ends removed; a last line
// without its end counts only when `whole` (else it may go on unread).
std::vector<std::string> split_lines(const std::string& content, std::size_t max_lines, bool whole) {
  std::vector<std::string> lines;
  std::size_t i = 0;
  while (lines.size() < max_lines && i < content.size()) {
    const std::size_t end = content.find_first_of("\r\n", i);
    if (end == std::string::npos) {
      if (whole) lines.push_back(content.substr(i));
      break;
    }
    lines.push_back(content.substr(i, end - i));
    i = end + 1;
    if (content[end] == '\r' && i < content.size() && content[i] == '\n') ++i;
  }
  return lines;
}

}  // namespace

std::optional<std::vector<std::string>> read_text_lines(const std::string& path, std::size_t max_lines,
                                                        std::size_t max_bytes) {
  // Checked before opening: opening a FIFO for reading would wait for a writer.
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return std::nullopt;
  const FileRead read = read_file(path, max_bytes);
  if (read.err) return std::nullopt;
  std::vector<std::string> lines = split_lines(read.bytes, max_lines, !read.too_long);
  // Lines the format has room for that lie beyond the bytes it can hold.
  if (lines.size() < max_lines && read.too_long) return std::nullopt;
  return lines;
}

std::size_t curve_line_max() {
  return static_cast<std::size_t>(std::max(maxverts, 0) + 1) * (kNumberTextMax + 1);
}

std::optional<double> parse_real(std::string_view text) {
  std::string_view s = trim(text);
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  auto digits = [&]() {
    std::size_t n = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
      ++i;
      ++n;
    }
    return n;
  };
  std::size_t mantissa = digits();
  if (i < s.size() && s[i] == '.') {
    ++i;
    mantissa += digits();
  }
  if (mantissa == 0) return std::nullopt;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    if (digits() == 0) return std::nullopt;
  }
  if (i != s.size()) return std::nullopt;
  if (s.front() == '+') s.remove_prefix(1);
  double v = 0.0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

// ---- p.dat -----------------------------------------------------------------

std::optional<TableLengths> curve_table_lengths(std::string_view x_line, std::string_view scale_line) {
  const std::vector<std::string_view> xs = split_white(x_line);
  if (xs.size() < 2) return std::nullopt;
  const std::optional<double> x = parse_real(xs[xs.size() - 2]), scale = parse_real(scale_line);
  if (!x || !scale) return std::nullopt;
  // The table x at which write_curve() puts the last control point (the
  // scale is 1 when unscaled). The spline's last sample lies within a
  // rounding step of it, on either side: 30 * (200 / 30) is
  // 199.99999999999997, and its samples may end at 200 or a step short of
  // it, giving 201 values or 200.
  const double product = *x * *scale;
  const double tol = std::fabs(product) * 1e-9;
  const double low = std::max(std::floor(product - tol), 0.0), high = std::max(std::floor(product + tol), 0.0);
  if (!(low <= static_cast<double>(std::max(table_size, 0)))) return std::nullopt;
  const double cap = static_cast<double>(std::max(table_size, 0));
  return TableLengths{static_cast<std::size_t>(low) + 1, static_cast<std::size_t>(std::min(high, cap)) + 1};
}

CurveFile read_curve_file(const std::string& path) {
  if (!file_exists(path)) throw Unreadable("no " + path);
  // Every line the meter reads: the three point lists, the tail slope, the
  // scale, the table and the value one step past it; nothing after them.
  const std::size_t most = static_cast<std::size_t>(std::max(table_size, 0)) + 2;
  const FileRead read = read_file(path, curve_head_max() + most * (kNumberTextMax + 2));
  if (read.err) throw FileReadError(path, reason(read.err));
  if (read.too_long) throw Unreadable("longer than a curve file: " + path);
  const std::vector<std::string> lines = split_lines(read.bytes, 5 + most + 1, true);
  const std::optional<TableLengths> table = curve_table_lengths(line_at(lines, 0), line_at(lines, 4));
  if (!table || lines.size() < 5 + table->fewest + 1 || lines.size() > 5 + table->most + 1) {
    throw Unreadable("not a whole curve file: " + path);
  }
  auto line = [&](std::size_t k) -> const std::string& { return line_at(lines, k); };
  real_or_throw(line(3));
  for (std::size_t k = 5; k < lines.size(); ++k) real_or_throw(lines[k]);

  CurveFile c;
  for (std::string_view tok : split_white(line(0))) c.x.append(py::float_(real_or_throw(tok)));
  for (std::string_view tok : split_white(line(1))) c.y.append(py::float_(real_or_throw(tok)));
  for (std::string_view tok : split_white(line(2))) {
    c.corners.append(py::int_(whole_or_throw(tok)));  // truncated: "1.5" is an edge point
  }
  c.scale = real_or_throw(line(4));
  if (c.scale <= 0 || c.scale > 32000) throw Unreadable("scale out of range");
  return c;
}


void write_curve() {
  py::list hx = new_list(horizontal_x), hy = new_list(horizontal_y);
  py::list hc = new_list(horizontal_corners);

  scale_dx = py::float_(6.67);
  py::object scaled_x = hx;
  const py::int_ zero(0), one(1);
  if (compare(item(hx, -2), zero, Py_GT)) {
    scale_dx = py::int_(table_size) / item(hx, -2);
    py::list sx;
    for (py::handle v : hx) sx.append(py::reinterpret_borrow<py::object>(v) * scale_dx);
    scaled_x = sx;
  } else {
    scale_dx = one;
  }
  if (compare(scale_dx, zero, Py_LE) || compare(scale_dx, py::int_(32000), Py_GT)) {
    scale_dx = one;
    scaled_x = hx;
  }

  const int n = static_cast<int>(length(scaled_x)) - 1;
  const SplineSize size = spline_size(n, hc);
  py::object u = param_values(size);
  py::object knots = knot_vector(size);
  py::list htck = tck_from_points(scaled_x, hy, hc, knots, n);
  py::list hout = evaluate_spline(u, htck);

  py::object prev_x = item(scaled_x, n - 1), prev_y = item(hy, n - 1);
  py::object dx = item(scaled_x, n) - prev_x;
  py::object hslope = compare(dx, zero, Py_EQ) ? py::object(zero) : (item(hy, n) - prev_y) / dx;

  std::vector<std::string> lines;
  lines.push_back(row_text(horizontal_x));
  lines.push_back(row_text(horizontal_y));
  lines.push_back(row_text(horizontal_corners));
  lines.push_back(number_text(hslope));
  lines.push_back(number_text(scale_dx));
  py::list yvals = eval_spline_list(hout);
  for (py::handle v : yvals) lines.push_back(number_text(v));
  // The start-up's check takes back what is written only with a table count
  // the head lines allow.
  const std::size_t count = static_cast<std::size_t>(length(yvals));
  const std::optional<TableLengths> allowed = curve_table_lengths(lines[0], lines[4]);
  if (!allowed || count < allowed->fewest || count > allowed->most) {
    throw std::runtime_error("no lookup table for the x values " + lines[0]);
  }
  // The tail's straight line one step past the table's last value.
  lines.push_back(number_text(hslope * (py::int_(count) - prev_x) + prev_y));

  const bool keep = g_keep_previous;
  if (keep) keep_previous_curve();
  const Failure f = write_lines(settingsdir + "p.dat", lines);
  if (!f) return;
  if (keep && f.replaced && g_change_pending && !g_pending_before_change) {
    // "p.dat" holds the change but its flush failed: the kept curve goes
    // back at once; where it cannot, the change stays pending for the exits
    // and the next start to take back.
    try {
      put_back_previous_curve();
    } catch (const FileError&) {
    }
  } else if (keep && !f.replaced) {
    // "p.dat" is still what it was: the change never began.
    g_change_pending = g_pending_before_change;
    if (!g_change_pending) remove_kept_file();
  }
  raise(f);
}

// ---- the curve of a change not yet confirmed ---------------------------------

std::string previous_curve_path() { return settingsdir + "p.dat.prev"; }

void keep_previous_curve_on_next_write(bool on) { g_keep_previous = on; }

bool change_pending() { return g_change_pending; }

int confirm_pending_change(std::string* failed) {
  g_change_pending = g_pending_before_change = false;
  const Failure f = remove_kept_file();
  g_confirmed_kept_file_left = static_cast<bool>(f);
  if (f && failed) *failed = f.path;
  return f.err;
}

void remove_confirmed_kept_file() {
  if (!g_confirmed_kept_file_left || g_change_pending) return;
  if (!remove_kept_file()) g_confirmed_kept_file_left = false;
}

void drop_taken_back_change() {
  g_change_pending = g_pending_before_change;
  if (!g_change_pending) remove_kept_file();
}

bool put_back_previous_curve() {
  const std::string kept = previous_curve_path();
  std::error_code ec;
  if (!fs::is_regular_file(fs::symlink_status(kept, ec))) return false;
  const fs::path target = link_target(settingsdir + "p.dat");
  if (fs::is_directory(fs::symlink_status(target, ec))) throw FileWriteError(target.string(), reason(EISDIR));
  bool moved = false;
  const int err = afp::durable_rename(kept, target.string(), &moved);
  if (err == EXDEV && !moved) {
    // The link's target lies on another file system: a copy is written
    // beside it and renamed there, then the kept file goes.
    const fs::file_status st = fs::status(target, ec);
    const FileRead read = read_file(kept);
    if (read.err) throw FileReadError(kept, reason(read.err));
    if (Failure f = replace_file(target, read.bytes, fs::exists(st) ? permission_bits(st) : -1)) raise(f);
    remove_kept_file();  // one left behind holds the same curve as "p.dat"
  } else if (err) {
    // Moved but not flushed: nothing is left to put back, yet the step failed.
    if (moved) g_change_pending = g_pending_before_change = false;
    throw FileWriteError(moved ? folder_of(target) : target.string(), reason(err));
  }
  g_change_pending = g_pending_before_change = false;
  return true;
}

bool curve_file_reads(const std::string& path) {
  try {
    read_curve_file(path);
    return true;
  } catch (const FileError&) {
    throw;
  } catch (const std::exception&) {
    return false;
  }
}

void set_aside_unconfirmed_curve() {
  // The unconfirmed curve is kept first and the kept file moved only once
  // the default curve is written and flushed (set_aside_kept_file), so an
  // editor killed on the way leaves what the next start sets aside again.
  keep_unusable_curve_file(settingsdir + "p.dat");
  g_discard_curve_file = true;
  g_kept_file_to_set_aside = true;
}

void set_aside_kept_file() {
  if (!g_kept_file_to_set_aside) return;
  const std::string kept = previous_curve_path();
  const std::string aside = free_name(kept + ".bad");
  bool moved = false;
  if (int err = afp::durable_rename(kept, aside, &moved)) {
    throw FileWriteError(moved ? folder_of(aside) : aside, reason(err));
  }
  g_kept_file_to_set_aside = false;
}

// ---- start-up load ---------------------------------------------------------

void initialize_af() {
  auto resets = [] {
    persist = 0;
    aftask = 0;
    bypass_confirm = 0;
    axis_mode = 0;
    scheme = {1.0, 0.9, 0.0};
    tkscheme = "#FFE611";
    horizontal_tkscheme = "#91CC18";
    vertical_tkscheme = "#CC7A23";
  };
  auto settings_defaults = [&] {
    negative_accel = 0;
    fslider = 3;
    sslider = 3;
    gui_scaling_factor = 100;
    try {
      savesdir = data_folder("Arcflex Pro", "profiles");
    } catch (const std::exception&) {
      // Without a local application data folder the folder stays as it is.
    }
    resets();
    show_point_values = 1;
    zoom_to_location = 0;
  };

  // 1. "GUI.dat".
  try {
    const std::string path = settingsdir + "GUI.dat";
    if (file_exists(path)) {
      std::optional<std::vector<std::string>> read = read_text_lines(path, 5, settings_file_max());
      if (!read) throw Unreadable("cannot read " + path);
      const std::vector<std::string>& lines = *read;
      auto line = [&](std::size_t k) -> const std::string& { return line_at(lines, k); };
      std::string_view saves = line(0);
      while (!saves.empty() && is_space(saves.back())) saves.remove_suffix(1);
      savesdir = std::string(saves);
      negative_accel = flag_field(whole_or_throw(line(1)));
      const std::string sliders = line(2);
      fslider = char_field(sliders, 0);
      sslider = char_field(sliders, 1);
      const std::string flags = line(3);
      show_point_values = flag_field(char_field(flags, 0));
      zoom_to_location = flag_field(char_field(flags, 1));
      ctrl_n = flag_field(char_field(flags, 2));
      gui_scaling_factor = scaling_field(whole_or_throw(line(4)));
      savesdir = data_folder("Arcflex LE", "profiles");
      resets();
    } else {
      settings_defaults();
    }
  } catch (const std::exception&) {  // Python errors included
    settings_defaults();
  }

  // 2. The applied curve from "p.dat".
  auto option_resets = [] {
    assign_option_defaults();
    scale_dx = py::float_(6.67);
    scale_dy = py::float_(6.67);
  };
  const std::string curve_path = settingsdir + "p.dat";
  try {
    if (g_discard_curve_file) throw Unreadable("unconfirmed " + curve_path);
    CurveFile read = read_curve_file(curve_path);
    py::list hx = read.x, hy = read.y, hc = read.corners;
    scale_dx = py::float_(read.scale);

    // The tail end point is never an edge point.
    if (length(hc) > 0) PySequence_DelItem(hc.ptr(), length(hc) - 1);
    hc.append(0);

    if (!neg_points_are_valid(hx, hy, hc)) {
      Curve d = get_default_points();
      hx = d.x;
      hy = d.y;
      hc = d.corners;
    } else if (!points_are_valid(hx, hy, hc)) {
      negative_accel = 1;
    }
    option_resets();
    horizontal_x = hx;
    horizontal_y = hy;
    horizontal_corners = hc;
    vertical_x = new_list(hx);
    vertical_y = new_list(hy);
    vertical_corners = new_list(hc);
  } catch (const FileError&) {
    throw;
  } catch (const std::exception&) {
    // The unconfirmed curve of a kept file that is no curve is kept already.
    if (!g_discard_curve_file) keep_unusable_curve_file(curve_path);
    g_discard_curve_file = false;
    init_err = true;
    option_resets();
    Curve h = get_default_points(), v = get_default_points();
    horizontal_x = h.x;
    horizontal_y = h.y;
    horizontal_corners = h.corners;
    vertical_x = v.x;
    vertical_y = v.y;
    vertical_corners = v.corners;
  }

  // 3. The edited curve is a copy, so editing never changes the applied lists.
  x = new_list(vertical_x);
  y = new_list(vertical_y);
  corners = new_list(vertical_corners);

  // 4. Profile hot keys.
  for (auto* l : {&profile_hotkeys, &profile_hotkey_modes, &shift_req, &ctrl_req, &alt_req}) {
    l->assign(10, 0);
  }
}

// ---- GUI.dat ---------------------------------------------------------------

void write_settings() {
  // Each field as its next read takes it back: the sliders one digit each,
  // the options 0 or 1, the scaling one the slider shows.
  auto slider_text = [](const py::object& slider, int fallback) {
    long v = fallback;
    if (slider && !slider.is_none()) v = py::int_(slider.attr("get")()).cast<long>();
    return std::to_string(std::clamp(v, 0L, 9L));
  };
  auto flag_text = [](int v) { return std::to_string(flag_field(v)); };
  // Line 1 is read as one line (and then replaced by the profiles folder): a
  // folder name that would break the lines after it is written as that.
  std::string saves = savesdir;
  if (saves.find_first_of("\r\n") != std::string::npos || saves.size() > kFolderTextMax) {
    try {
      saves = data_folder("Arcflex LE", "profiles");
    } catch (const std::exception&) {
      saves.clear();
    }
  }
  std::vector<std::string> lines;
  lines.push_back(saves);
  lines.push_back(flag_text(negative_accel));
  lines.push_back(slider_text(frame_slider, fslider) + slider_text(sample_slider, sslider));
  lines.push_back(flag_text(show_point_values) + flag_text(zoom_to_location) + flag_text(ctrl_n));
  lines.push_back(std::to_string(scaling_field(gui_scaling_factor)));
  write_text_file(settingsdir + "GUI.dat", lines);
}

}  // namespace arcflex
