#include "device_windows.h"

#include "dialogs.h"
#include "link_windows.h"
#include "state.h"
#include "state_profiles.h"
#include "widgets.h"

namespace arcflex {

using namespace py::literals;

namespace {

py::object list_box(int height) {
  return tkinter().attr("Listbox")(devices_window, "activestyle"_a = "none", "selectmode"_a = "multiple",
                                   "bd"_a = bd_four, "fg"_a = entry_fg, "bg"_a = entry_bg, "font"_a = entry_font,
                                   "selectbackground"_a = entry_sbg, "selectforeground"_a = entry_sfg,
                                   "width"_a = 20, "highlightbackground"_a = entry_disabled_bg, "height"_a = height);
}

py::object list_label(const char* text) {
  return scheme_label(devices_window, text);
}

}  // namespace

void build_devices_window() {
  device_list.clear();
  excluded_devices.clear();
  py::object tk = tkinter();
  devices_window = tk.attr("Toplevel")(root);
  devices_window.attr("wm_withdraw")();
  devices_window.attr("title")("Devices");
  devices_window.attr("configure")("bd"_a = bd_window, "bg"_a = bg_scheme, "relief"_a = "ridge", "padx"_a = 12,
                                   "pady"_a = 12);
  devices_window.attr("resizable")(0, 0);
  devices_window.attr("protocol")("WM_DELETE_WINDOW", py::cpp_function([] { hide_devices_window(); }));

  const int height = static_cast<int>(device_list.size());
  device_label = list_label("Devices");
  device_label.attr("grid")("row"_a = 2, "column"_a = 2, "columnspan"_a = 2, "sticky"_a = "n");
  device_listbox = list_box(height);
  for (int i = 0; i < height; ++i) {
    auto it = device_list.find(i);
    device_listbox.attr("insert")(i, it == device_list.end() ? std::string() : it->second);
  }
  device_listbox.attr("grid")("row"_a = 4, "column"_a = 2, "padx"_a = 12, "pady"_a = 12, "sticky"_a = "n");

  exclude_label = list_label("Exclusions");
  exclude_label.attr("grid")("row"_a = 2, "column"_a = 6, "columnspan"_a = 2, "sticky"_a = "n");
  // Same height as the device list; filled while still normal, since a
  // disabled list box takes no insertion.
  exclude_listbox = list_box(height);
  for (size_t i = 0; i < excluded_devices.size(); ++i) exclude_listbox.attr("insert")(i, excluded_devices[i]);
  exclude_listbox.attr("configure")("state"_a = "disabled");
  exclude_listbox.attr("grid")("row"_a = 4, "column"_a = 6, "padx"_a = 12, "pady"_a = 12, "sticky"_a = "n");

  exclude_devices_button = tk.attr("Button")(devices_window, "text"_a = "Exclude",
                                             "command"_a = py::cpp_function([] { exclude_devices(); }));
  exclude_devices_button.attr("grid")("row"_a = 4, "column"_a = 4, "padx"_a = 12, "pady"_a = 12, "sticky"_a = "s");
  exclude_devices_button.attr("configure")("bd"_a = bd_four, "bg"_a = bg_scheme, "fg"_a = tkscheme,
                                           "activebackground"_a = abg_scheme, "activeforeground"_a = tkscheme);
}

void show_devices_window() { show_tool_window(devices_window); }
void hide_devices_window() { devices_window.attr("wm_withdraw")(); }

std::string exclude_devices_message() {
  const std::string gap = "     \n\n";
  return "Add each listed device you wish to exlude to" + gap +
         "Multi-String Value named 'ExcludeFromArcflex' under:" + gap +
         "Computer\\HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\afmouse\\Parameters" + gap +
         "in the registry." + gap + "You must restart before changes take effect.";
}

void exclude_devices() { dialogs::show_info("Exclude devices", exclude_devices_message(), devices_window); }

}  // namespace arcflex
