#include "dialogs.h"

#include <cstdio>
#include <string>

namespace arcflex::dialogs {

namespace {

bool g_recording = false;
std::vector<Record> g_records;
std::deque<bool> g_bool_answers;
std::deque<std::string> g_text_answers;
std::function<void()> g_record_hook;

// Recorded dialogs are also echoed to stderr, so a test of a path that ends
// the process can still see what the user would have been shown.
void record(const char* kind, const std::string& title, const std::string& message, py::handle parent) {
  g_records.push_back({kind, title, message, parent && !parent.is_none()});
  std::fprintf(stderr, "[dialog %s] %s: %s\n", kind, title.c_str(), message.c_str());
  std::fflush(stderr);
  if (g_record_hook) g_record_hook();
}

py::dict box_options(py::handle parent) {
  py::dict kw;
  if (parent && !parent.is_none()) kw["parent"] = parent;
  return kw;
}

py::object messagebox() { return py::module_::import("tkinter.messagebox"); }

int g_boxes_open = 0;

// Tk's message box of a parent is one window: a box opened over another
// destroys that one, which held the X focus, and then asks for the focus
// with a plain "focus", which does not take it back for the application.
// Once the new box is on screen and has chosen its button, that button is
// given the focus, so Return answers it as it does a box alone. The tries
// are 20 ms apart and end after 5 s.
std::string box_path(py::handle parent) {
  std::string path = parent && !parent.is_none() ? py::str(parent).cast<std::string>() : ".";
  return (path == "." ? "" : path) + ".__tk__messagebox";
}

void focus_nested_box(py::handle root, py::handle parent) {
  const std::string path = box_path(parent);
  py::object tk = root.attr("tk");
  tk.attr("eval")(R"(
    proc ::arcflex_focus_box {w tries} {
      if {[winfo exists $w] && [winfo viewable $w] && [focus -lastfor $w] ne $w} {
        focus -force [focus -lastfor $w]
      } elseif {$tries > 0} {
        after 20 [list ::arcflex_focus_box $w [incr tries -1]]
      }
    })");
  tk.attr("call")("after", 20, "::arcflex_focus_box", path, 250);
}

// While a box is open its own event loop runs. Python runs a signal's
// handler only between two steps of Python code, and at start-up nothing
// else is scheduled: a timer gives the handlers their turn.
class OpenBox {
 public:
  explicit OpenBox(py::handle parent) {
    root_ = py::module_::import("tkinter").attr("_default_root");
    // Over a withdrawn window (an exit's box) the application has lost the
    // X focus, and the box's own focus does not take it back either.
    bool hidden_parent = false;
    try {
      hidden_parent = !root_.is_none() && parent && !parent.is_none() && !parent.attr("winfo_viewable")().cast<bool>();
    } catch (py::error_already_set&) {
      // a parent already destroyed: Tk refuses the box itself
    }
    if (!root_.is_none() && (g_boxes_open > 0 || hidden_parent)) focus_nested_box(root_, parent);
    ++g_boxes_open;
    if (!root_.is_none()) schedule();
  }
  ~OpenBox() {
    --g_boxes_open;
    try {
      if (!timer_.is_none()) root_.attr("after_cancel")(timer_);
      if (!close_timer_.is_none()) root_.attr("after_cancel")(close_timer_);
    } catch (py::error_already_set&) {
      // the application is gone, and its timers with it
    }
  }
  // Destroying the box answers it as its close button does.
  void close_after(int ms, py::handle parent) {
    if (root_.is_none()) return;
    const std::string path = box_path(parent);
    close_timer_ = root_.attr("after")(ms, py::cpp_function([this, path] {
      close_timer_ = py::none();
      root_.attr("tk").attr("eval")("if {[winfo exists " + path + "]} {destroy " + path + "}");
    }));
  }
  OpenBox(const OpenBox&) = delete;
  OpenBox& operator=(const OpenBox&) = delete;

 private:
  void schedule() {
    timer_ = root_.attr("after")(100, py::cpp_function([this] {
      timer_ = py::none();
      if (PyErr_CheckSignals() != 0) throw py::error_already_set();
      schedule();
    }));
  }
  py::object root_, timer_ = py::none(), close_timer_ = py::none();
};

bool next_bool() {
  if (g_bool_answers.empty()) return false;
  bool a = g_bool_answers.front();
  g_bool_answers.pop_front();
  return a;
}

std::string next_text() {
  if (g_text_answers.empty()) return "";
  std::string a = g_text_answers.front();
  g_text_answers.pop_front();
  return a;
}

void show_box(const char* kind, const char* fn, const std::string& title, const std::string& message,
              py::handle parent, int close_after_ms = 0) {
  if (g_recording) {
    record(kind, title, message, parent);
    return;
  }
  OpenBox open(parent);
  if (close_after_ms > 0) open.close_after(close_after_ms, parent);
  messagebox().attr(fn)(title, message, **box_options(parent));
}

bool ask_box(const char* kind, const char* fn, const std::string& title, const std::string& message,
             py::handle parent) {
  if (g_recording) {
    record(kind, title, message, parent);
    return next_bool();
  }
  OpenBox open(parent);
  py::object r = messagebox().attr(fn)(title, message, **box_options(parent));
  return r.ptr() && PyObject_IsTrue(r.ptr()) == 1;
}

// tkinter's file dialogs return "" or () on cancel, a str otherwise.
std::string file_dialog(const char* kind, const char* fn, const py::dict& options) {
  if (g_recording) {
    std::string title = options.contains("title") ? py::str(options["title"]).cast<std::string>() : "";
    record(kind, title, "", options.contains("parent") ? py::handle(options["parent"]) : py::handle());
    return next_text();
  }
  // Tk's own file dialog (X11) keeps its window between uses, and a window
  // shown again keeps its old place in the stacking order: under the main
  // window once that has been raised. A new one is created on top.
  if (options.contains("parent")) {
    py::object parent = options["parent"];
    std::string path = py::str(parent).cast<std::string>();
    path = (path == "." ? "" : path) + ".__tk_filedialog";
    parent.attr("tk").attr("eval")("if {[winfo exists " + path + "]} {destroy " + path + "}");
  }
  py::object r = py::module_::import("tkinter.filedialog").attr(fn)(**options);
  if (py::isinstance<py::str>(r)) return r.cast<std::string>();
  return "";
}

}  // namespace

void show_error(const std::string& title, const std::string& message, py::handle parent) {
  show_box("error", "showerror", title, message, parent);
}
void show_error_closing(const std::string& title, const std::string& message, py::handle parent, int close_after_ms) {
  show_box("error", "showerror", title, message, parent, close_after_ms);
}
void show_warning(const std::string& title, const std::string& message, py::handle parent) {
  show_box("warning", "showwarning", title, message, parent);
}
void show_info(const std::string& title, const std::string& message, py::handle parent) {
  show_box("info", "showinfo", title, message, parent);
}
bool ask_yes_no(const std::string& title, const std::string& message, py::handle parent) {
  return ask_box("yesno", "askyesno", title, message, parent);
}
bool ask_ok_cancel(const std::string& title, const std::string& message, py::handle parent) {
  return ask_box("okcancel", "askokcancel", title, message, parent);
}

std::string ask_open_filename(const py::dict& options) { return file_dialog("open", "askopenfilename", options); }
std::string ask_save_filename(const py::dict& options) { return file_dialog("save", "asksaveasfilename", options); }

py::object ask_color(py::handle initial, const py::dict& options) {
  if (g_recording) {
    std::string title = options.contains("title") ? py::str(options["title"]).cast<std::string>() : "";
    // The initial colour is kept as the record's message; an answer
    // "#rrggbb" comes back with its components, as the real dialog gives.
    record("color", title, py::str(initial).cast<std::string>(),
           options.contains("parent") ? py::handle(options["parent"]) : py::handle());
    std::string a = next_text();
    if (a.empty()) return py::make_tuple(py::none(), py::none());
    auto channel = [&](size_t at) { return std::stoi(a.substr(at, 2), nullptr, 16); };
    py::tuple rgb = py::make_tuple(channel(1), channel(3), channel(5));
    return py::make_tuple(rgb, a);
  }
  return py::module_::import("tkinter.colorchooser").attr("askcolor")(initial, **options);
}

void open_url(const std::string& url, int new_window) {
  if (g_recording) {
    record("browser", url, "", py::handle());
    return;
  }
  py::module_::import("webbrowser").attr("open")(url, new_window);
}

void system_sound_asterisk() {
  if (g_recording) {
    record("sound", "Asterisk", "", py::handle());
    return;
  }
  if (py::module_::import("sys").attr("platform").cast<std::string>() == "win32") {
    py::module_ winsound = py::module_::import("winsound");
    winsound.attr("MessageBeep")(winsound.attr("MB_ICONASTERISK"));
    return;
  }
  py::object tk = py::module_::import("tkinter");
  py::object root = tk.attr("_default_root");
  if (!root.is_none()) root.attr("bell")();
}

bool box_open() { return g_boxes_open > 0; }

void set_recording(bool on) { g_recording = on; }
bool recording() { return g_recording; }
const std::vector<Record>& recorded() { return g_records; }
void clear_recorded() {
  g_records.clear();
  g_bool_answers.clear();
  g_text_answers.clear();
}
void push_bool_answer(bool answer) { g_bool_answers.push_back(answer); }
void push_text_answer(const std::string& answer) { g_text_answers.push_back(answer); }
void on_record(std::function<void()> hook) { g_record_hook = std::move(hook); }

}  // namespace arcflex::dialogs
