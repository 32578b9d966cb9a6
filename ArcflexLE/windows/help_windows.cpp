#include "help_windows.h"

#include <algorithm>
#include <ctime>

#include "dialogs.h"
#include "state.h"
#include "state_help.h"
#include "widgets.h"

namespace arcflex {

using namespace py::literals;

namespace {

py::object Tk(const char* cls) { return tk_class(cls); }

// The manual's text box where the screen has room for it.
constexpr int kManualColumns = 108;
constexpr int kManualRows = 28;
// Screen room the manual leaves to the desktop: the window frame's sides,
// and a title bar (about 32 px) with a panel (about 64 px).
constexpr int kScreenReserveX = 16;
constexpr int kScreenReserveY = 96;

const char* const kShortcuts[] = {
    " Move a point - 'Left Click' on a point to drag.",
    " Add a point - 'Right Click' or press 'A' on the dashed line.",
    " Add an edge point - 'Right Click' or press 'E' on the dashed line.",
    " Edit/Delete points - 'Right Click' on a point. 'D' on a point to delete.",
    "",
    " Apply the default curve - 'Ctrl-D'.",
    "",
    " Rescale the view - 'Mouse 3' or 'R'.",
    " Rescale to fit the curve - 'Ctrl' with rescale.",
    " Rescale to fit both axes - 'Shift' with rescale.",
    "",
    " Zoom - 'Scroll Wheel' or '+' and '-' keys.",
    " Zoom to location - 'Ctrl' with zoom.",
    " Increased zoom - 'Z' with zoom.",
    " Pan - 'Left Click' on graph area and drag.",
    "",
    " Match the edit curve to the active curve - 'M'.",
    " Toggle axis view - 'V'.",
    "",
    " Scale curve - Hold 'Shift' while dragging to scale all previous points.",
    " Move group - Hold 'G' while dragging to move subsequent points as a group.",
    " Lock point(s) to X axis - 'X'. 'Ctrl-X' to keep locked.",
    " Lock point(s) to Y axis - 'Y'. 'Ctrl-Y' to keep locked.",
    " Grab bottom point from group - Hold 'B' while selecting.",
    "",
    " Align the tail - 'T'. Aligns the tail to match the slope of the curve.",
    " ",
    " Hide points - 'H'. 'Ctrl-H' to toggle with dragging.",
    " Hide edit curve - 'N'. 'Ctrl-N' to toggle.",
    " Show value marker - 'J'. 'Ctrl-J' to toggle.",
};

std::string shortcut_list() {
  std::string s = "\n\n";
  bool first = true;
  for (const char* line : kShortcuts) {
    if (!first) s += "\n";
    s += line;
    first = false;
  }
  return s;
}

std::string utc_year() {
  std::time_t now = std::time(nullptr);
  std::tm utc{};
#ifdef _WIN32
  gmtime_s(&utc, &now);
#else
  gmtime_r(&now, &utc);
#endif
  char buf[16];
  std::strftime(buf, sizeof buf, "%Y", &utc);
  return buf;
}

void build_manual_window() {
  help_window = Tk("Toplevel")(root);
  help_window.attr("wm_withdraw")();
  help_window.attr("title")("User manual");
  help_window.attr("resizable")(false, false);
  help_window.attr("configure")("bd"_a = bd_window, "background"_a = bg_scheme);
  help_window.attr("protocol")("WM_DELETE_WINDOW", help_window.attr("wm_withdraw"));

  scrolly = Tk("Scrollbar")(help_window);
  scrolly.attr("pack")("side"_a = "right", "fill"_a = "y");
  help_text = Tk("Text")(help_window, "height"_a = kManualRows, "width"_a = kManualColumns);
  help_text.attr("pack")("expand"_a = 0, "fill"_a = "both");
  // A narrowed text box breaks its lines between words.
  help_text.attr("config")("yscrollcommand"_a = scrolly.attr("set"), "padx"_a = 20, "pady"_a = 20, "wrap"_a = "word");
  help_text.attr("tag_config")("n", "underline"_a = 1);
  help_text.attr("pack")("side"_a = "left", "fill"_a = "both", "expand"_a = 0);
  scrolly.attr("config")("command"_a = help_text.attr("yview"));

  for (const ManualInsert& part : manual_inserts()) {
    if (part.tag.empty()) {
      help_text.attr("insert")("end", part.text);
    } else {
      help_text.attr("insert")("end", part.text, part.tag);
    }
  }
}

void build_about_window() {
  about_schedule = py::none();
  about_window = Tk("Toplevel")(root);
  about_window.attr("wm_withdraw")();
  about_window.attr("title")("About");
  about_window.attr("resizable")(false, false);
  about_window.attr("configure")("bd"_a = bd_window, "background"_a = bg_scheme, "relief"_a = "ridge");
  about_window.attr("protocol")("WM_DELETE_WINDOW", about_window.attr("wm_withdraw"));

  aw_relx = 0.5;
  aw_rely = 0.5;
  awl1 = Tk("Label")(about_window, "text"_a = about_text(utc_year()), "background"_a = bg_scheme,
                     "foreground"_a = tkscheme, "font"_a = text_font);
  awl1.attr("configure")("background"_a = bg_scheme, "foreground"_a = tkscheme);
  awl1.attr("place")("relx"_a = aw_relx, "rely"_a = aw_rely, "anchor"_a = "center");
  // Placed, the label asks its window for no room: the window's default
  // size holds the text at the usual text size; a larger one widens and
  // heightens the window to the text, half a line clear of each edge.
  about_window.attr("update_idletasks")();
  const int clear = awl1.attr("tk").attr("call")("font", "metrics", awl1.attr("cget")("font"), "-displayof", awl1,
                                                 "-linespace").cast<int>();
  auto req = [](const py::object& w, const char* what) { return w.attr(what)().cast<int>(); };
  const int width = std::max(req(about_window, "winfo_reqwidth"), req(awl1, "winfo_reqwidth") + clear);
  const int height = std::max(req(about_window, "winfo_reqheight"), req(awl1, "winfo_reqheight") + clear);
  if (width != req(about_window, "winfo_reqwidth") || height != req(about_window, "winfo_reqheight")) {
    about_window.attr("configure")("width"_a = width, "height"_a = height);
  }

  about_window.attr("update")();
  about_window.attr("minsize")(about_window.attr("winfo_width")().cast<int>() + 56,
                               about_window.attr("winfo_height")());
}

// Gives the manual's text box its full size, or as many fewer columns and
// rows as keep the window within the screen less the desktop's reserve
// (large text scaling makes it wider and taller than the screen, its scroll
// bar out of reach).
void fit_manual_to_screen() {
  help_text.attr("config")("width"_a = kManualColumns, "height"_a = kManualRows);
  help_window.attr("update_idletasks")();
  py::object tk = help_window.attr("tk");
  py::object font = help_text.attr("cget")("font");
  auto fitted = [](int size, int over, int unit) {
    if (over <= 0 || unit <= 0) return size;
    return std::max(1, size - (over + unit - 1) / unit);
  };
  const int over_x = help_window.attr("winfo_reqwidth")().cast<int>() -
                     (help_window.attr("winfo_screenwidth")().cast<int>() - kScreenReserveX);
  const int over_y = help_window.attr("winfo_reqheight")().cast<int>() -
                     (help_window.attr("winfo_screenheight")().cast<int>() - kScreenReserveY);
  // A Text column is as wide as the font's "0", a row one line space high.
  const int column = tk.attr("call")("font", "measure", font, "-displayof", help_text, "0").cast<int>();
  const int row = tk.attr("call")("font", "metrics", font, "-displayof", help_text, "-linespace").cast<int>();
  help_text.attr("config")("width"_a = fitted(kManualColumns, over_x, column),
                           "height"_a = fitted(kManualRows, over_y, row));
}

}  // namespace

const std::vector<ManualInsert>& manual_inserts() {
  static const std::vector<ManualInsert> inserts{
      {"\nGraph hot keys:", "n"},
      {shortcut_list(), ""},
      {"\n\n\nGraph:", "n"},
      {"\n\n X values represent the velocity of the mouse.\n Y values represent the sensitivity.\n Click and drag "
       "control points to shape the curve.\n Points are bound by the values of surrounding points.",
       ""},
      {"\n\n\nTail:", "n"},
      {"\n\n The tail defines the rate of change for speeds beyond the curve.\n Pressing 'T' aligns the tail to "
       "match the slope at the end of the curve.",
       ""},
      {"\n\n\nApplying changes:", "n"},
      {"\n\n The 'Apply' button applies changes.\n Click 'OK' to confirm changes.\n Previous settings are restored "
       "if cancelled.",
       ""},
      {"\n\n\nFile menu:", "n"},
      {"\n\n Profiles can be saved and loaded from the 'File' menu.", ""},
      {"\n\n\nOptions:", "n"},
      {"\n\n 'Allow negative accel' allows points to have Y values lower than previous points.\n 'Zoom to "
       "location' changes the default zoom behavior. Hold 'Ctrl' for the opposite behavior.\n 'Display' "
       "configures the rate and smoothness of the real-time display.",
       ""},
      {"\n\n\nPresets:", "n"},
      {"\n\n Each preset is scaled to four typical DPI values.", ""},
      {"\n\n\n", ""},
  };
  return inserts;
}

std::string about_text(const std::string& year) {
  return "Arcflex LE\nVersion 1.0\n\nCopyright " + year + "\nThe Arcflex developers";
}

void build_help_windows() {
  build_manual_window();
  build_about_window();
}

void about() {
  about_window.attr("update")();
  const double x = root.attr("winfo_x")().cast<double>() + root.attr("winfo_width")().cast<double>() / 2.5;
  const double y = root.attr("winfo_y")().cast<double>() + root.attr("winfo_height")().cast<double>() / 2.5;
  about_window.attr("geometry")("+" + std::to_string(static_cast<long long>(x)) + "+" +
                                std::to_string(static_cast<long long>(y)));
  about_window.attr("wm_deiconify")();
  // On X11 a window shown again keeps its old place in the stacking order,
  // which after an Apply is under the main window.
  about_window.attr("lift")();
  if (about_schedule && !about_schedule.is_none() && PyObject_IsTrue(about_schedule.ptr()) == 1) {
    root.attr("after_cancel")(about_schedule);
  }
  about_schedule = root.attr("after")(8000, about_window.attr("wm_withdraw"));
}

void help() {
  help_text.attr("config")("state"_a = "disabled", "background"_a = bg_scheme, "foreground"_a = dim_tkscheme,
                           "font"_a = help_font);
  help_text.attr("xview_moveto")(0);
  help_text.attr("yview_moveto")(0);
  fit_manual_to_screen();
  help_window.attr("update")();
  help_window.attr("minsize")(help_window.attr("winfo_width")(), help_window.attr("winfo_height")());
  help_window.attr("wm_deiconify")();
  help_window.attr("lift")();
}

void open_guide_url() { dialogs::open_url(kGuideUrl, 2); }
void get_pro() { dialogs::open_url(kGetProUrl, 2); }
void open_buy_url() { dialogs::open_url(kBuyUrl, 2); }

}  // namespace arcflex
