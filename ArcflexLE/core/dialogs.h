// The editor's one road to modal dialogs, the browser and the system sound.
// Each kind is one function that calls tkinter (messagebox, filedialog,
// colorchooser) or webbrowser at call time. In recording mode nothing is
// shown: each call is appended to a record and answered from a queue that
// tests fill, so a test never blocks on a modal box.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "pyrt.h"

namespace arcflex::dialogs {

struct Record {
  std::string kind;     // "error", "warning", "info", "yesno", "okcancel",
                        // "open", "save", "color", "browser", "sound"
  std::string title;    // title, or the URL for "browser"
  std::string message;  // text of the box
  bool parented;        // a parent window was given
};

// Message boxes: title and text as given; parent may be None.
void show_error(const std::string& title, const std::string& message, py::handle parent = py::none());
// An error box that closes itself after close_after_ms, for a box nobody
// may be there to answer; recorded as "error".
void show_error_closing(const std::string& title, const std::string& message, py::handle parent, int close_after_ms);
void show_warning(const std::string& title, const std::string& message, py::handle parent = py::none());
void show_info(const std::string& title, const std::string& message, py::handle parent = py::none());
bool ask_yes_no(const std::string& title, const std::string& message, py::handle parent = py::none());
bool ask_ok_cancel(const std::string& title, const std::string& message, py::handle parent = py::none());

// File dialogs: keyword options as tkinter.filedialog takes them; the chosen
// path, or "" when the user cancelled.
std::string ask_open_filename(const py::dict& options);
std::string ask_save_filename(const py::dict& options);

// Colour dialog: tkinter.colorchooser.askcolor's pair ((r, g, b), "#rrggbb"),
// or (None, None) when cancelled. While recording, the record's message is
// the initial colour and a text answer "#rrggbb" is the chosen colour.
py::object ask_color(py::handle initial, const py::dict& options);

// Opens url in the default browser; new_window 2 asks for a new tab/window.
void open_url(const std::string& url, int new_window = 2);

// The system's information sound ("Asterisk"); Tk's bell where there is no
// such sound.
void system_sound_asterisk();

// Whether a message box is open (shown, not recorded). While one is, the
// process's signal handlers still run, every 100 ms.
bool box_open();

// ---- recording mode (tests) ------------------------------------------------
void set_recording(bool on);
bool recording();
const std::vector<Record>& recorded();
void clear_recorded();
// Answers handed out in order to ask_* calls while recording; when the queue
// is empty a question is answered "no"/cancel.
void push_bool_answer(bool answer);
void push_text_answer(const std::string& answer);
// Called as each dialog is recorded (null: none), so a test can see the
// state the user would see with the box open.
void on_record(std::function<void()> hook);

}  // namespace arcflex::dialogs
