#include "profiles.h"

#include <cmath>
#include <filesystem>
#include <system_error>

#include "apply_cycle.h"
#include "curve.h"
#include "curve_match.h"
#include "dialogs.h"
#include "graph.h"
#include "meter_link.h"
#include "settings_files.h"
#include "snapshots.h"
#include "state.h"
#include "tools.h"
#include "window.h"

namespace arcflex {

namespace fs = std::filesystem;
using namespace py::literals;

namespace {

py::object deepcopy(py::handle o) { return py::module_::import("copy").attr("deepcopy")(o); }

void set_main_window_enabled(bool enabled) { winui::wm_attribute(root, "-disabled", py::bool_(!enabled)); }

void close_dialog_later() { root.attr("after")(150, py::cpp_function([] { close_dialog(); })); }

py::dict dialog_options(const char* title) {
  py::dict o("parent"_a = root, "title"_a = title, "initialdir"_a = savesdir,
             "filetypes"_a = py::make_tuple(py::make_tuple("profiles", "*.afcurve")));
  return o;
}

// The end of a load that changed nothing.
void refuse_profile() {
  loading_profiles = 0;
  dialogs::show_error("Invalid file", "Error loading file.", root);
  close_dialog_later();
}

}  // namespace

ProfileCurve parse_profile(const std::vector<std::string>& lines) {
  ProfileCurve c;
  for (size_t k = 0; k < 3 && k < lines.size(); ++k) {
    for (std::string_view tok : split_white(lines[k])) {
      std::optional<double> v = parse_real(tok);
      if (!v) return c;
      if (k == 0) c.x.push_back(*v);
      if (k == 1) c.y.push_back(*v);
      if (k == 2) {
        // Read as a real and truncated, as in "p.dat": "1.5" is an edge point.
        const double flag = std::trunc(*v);
        if (std::fabs(flag) >= 2147483648.0) return c;
        c.corners.push_back(static_cast<int>(flag));
      }
    }
  }
  return c;
}

std::optional<std::vector<std::string>> read_profile_file(const std::string& path) {
  // Only lines 1 to 3 are used; nothing behind them is read.
  std::optional<std::vector<std::string>> lines = read_text_lines(path, 3, 3 * curve_line_max() + 3 * 2);
  if (!lines) return std::nullopt;
  for (const std::string& l : *lines) {
    PyObject* text = PyUnicode_DecodeUTF8(l.data(), static_cast<Py_ssize_t>(l.size()), "strict");
    if (!text) {
      PyErr_Clear();
      return std::nullopt;
    }
    Py_DECREF(text);
  }
  return lines;
}

std::vector<std::string> profile_lines() {
  std::vector<std::string> lines{row_text(horizontal_x), row_text(horizontal_y), row_text(horizontal_corners)};
  for (int i = 0; i < 3; ++i) lines.push_back(lines[static_cast<size_t>(i)]);
  return lines;
}

void close_dialog() { dialog_open = false; }

void save_profile() {
  // The File menu is greyed while a change is pending; nothing to undo here.
  if (graph_suspended) return;
  dialog_open = true;
  suspend();
  set_main_window_enabled(false);
  std::string name;
  try {
    py::dict options = dialog_options("Save curve");
    options["defaultextension"] = ".afcurve";
    name = dialogs::ask_save_filename(options);
    if (!name.empty()) {
      // Written beside the target and renamed over it: never half a profile.
      write_text_file(name, profile_lines());
      savesdir = fs::absolute(fs::path(name)).lexically_normal().parent_path().string();
    }
  } catch (const std::exception& e) {
    // The chosen file and the system's reason below (not the temporary
    // file's name); the next dialog opens where the last good save went.
    const auto* fe = dynamic_cast<const FileError*>(&e);
    dialogs::show_error("Error",
                        "Error saving file.\n" + (fe ? FileWriteError(name, fe->reason()).what() : error_text(e)),
                        root);
  }
  set_main_window_enabled(true);
  unsuspend();
  close_dialog_later();
}

void load_profile() {
  if (graph_suspended) return;
  dialog_open = true;
  suspend();
  set_main_window_enabled(false);
  save_state();

  const std::string name = dialogs::ask_open_filename(dialog_options("Load file"));
  if (name.empty()) {
    set_main_window_enabled(true);
    unsuspend();
    close_dialog_later();
    return;
  }
  std::optional<std::vector<std::string>> lines = read_profile_file(name);
  set_main_window_enabled(true);
  unsuspend();
  if (!lines) {
    refuse_profile();
    return;
  }
  ProfileCurve read = parse_profile(*lines);
  py::list rx = py::cast(read.x), ry = py::cast(read.y), rc = py::cast(read.corners);
  loading_profiles = 1;

  if (!points_are_valid(rx, ry, rc)) {
    if (!neg_points_are_valid(rx, ry, rc)) {
      refuse_profile();
      return;
    }
    // A falling curve: accepted with negative acceleration switched on.
    loading_profiles = 2;
    negative_accel = 1;
    if (negative_accel_enabled) negative_accel_enabled.attr("set")(1);
  }

  // The tail end point is never an edge point.
  rc[py::int_(py::len(rc) - 1)] = py::int_(0);
  horizontal_x = rx;
  horizontal_y = ry;
  horizontal_corners = rc;
  set_axis_mode(py::int_(axis_mode));
  try {
    write_curve();
  } catch (const std::exception& e) {
    undo_unwritten_curve(e);
    close_dialog_later();
    return;
  }
  restart_sub();
  match_on_revert = 1;
  driver_successfully_applied_changes = 0;
  suspend();
  match_active_curve();
  rescale_view();
  wait_for_driver(35);
  close_dialog_later();
}

void undo_unwritten_curve(const std::exception& e) {
  horizontal_x = deepcopy(revert_horizontal_x);
  horizontal_y = deepcopy(revert_horizontal_y);
  horizontal_corners = deepcopy(revert_horizontal_corners);
  vertical_x = deepcopy(revert_vertical_x);
  vertical_y = deepcopy(revert_vertical_y);
  vertical_corners = deepcopy(revert_vertical_corners);
  scale_dx = deepcopy(revert_scale_dx);
  set_axis_mode(py::int_(axis_mode));
  dialogs::show_error("Error applying settings", error_text(e), root);
  unsuspend();
}

}  // namespace arcflex
