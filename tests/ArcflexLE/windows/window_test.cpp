// The main window: Tk scaling, title, size limits, the panel with its one
// visible button and hover colours, the window-state flag, the entry
// validators and the close request.
#include "gui_fixture.h"
#include "tools.h"
#include "window.h"

using namespace guitest;

namespace {
std::string cget(const py::object& w, const char* option) { return py::str(w.attr("cget")(option)).cast<std::string>(); }
std::pair<int, int> size_pair(const py::object& t) { return {t[py::int_(0)].cast<int>(), t[py::int_(1)].cast<int>()}; }
}  // namespace

TEST(WindowScaling, LargerPercentageGivesLargerText) {
  EXPECT_DOUBLE_EQ(arcflex::tk_scaling_for(100), 1.34);
  EXPECT_DOUBLE_EQ(arcflex::tk_scaling_for(200), 2.68);
  EXPECT_DOUBLE_EQ(arcflex::tk_scaling_for(50), 0.67);
  EXPECT_DOUBLE_EQ(arcflex::tk_scaling_for(25), 0.335);
  start_recorded();
  // Tk keeps the value to the display's resolution.
  EXPECT_NEAR(eval("root.tk.call('tk', 'scaling')").cast<double>(), 1.34, 0.01);
}

TEST(WindowFrame, ShownWithTitleAndSizeLimits) {
  start_recorded();
  using arcflex::root;
  EXPECT_EQ(root.attr("title")().cast<std::string>(), "Arcflex LE");
  EXPECT_EQ(root.attr("wm_state")().cast<std::string>(), "normal");
  EXPECT_TRUE(root.attr("winfo_ismapped")().cast<bool>());
  int tw = arcflex::topframe.attr("winfo_width")().cast<int>();
  int th = arcflex::topframe.attr("winfo_height")().cast<int>();
  auto [minw, minh] = size_pair(root.attr("minsize")());
  EXPECT_EQ(minw, std::max(tw, 647));
  EXPECT_EQ(minh, std::max(th, 547));
  EXPECT_GE(minw, 647);
  EXPECT_GE(minh, 547);
  auto [maxw, maxh] = size_pair(root.attr("maxsize")());
  EXPECT_EQ(maxw, 2 * root.attr("winfo_screenwidth")().cast<int>());
  EXPECT_EQ(maxh, 2 * root.attr("winfo_screenheight")().cast<int>());
  EXPECT_EQ(arcflex::screensize.first, root.attr("winfo_screenwidth")().cast<int>());
  // The present size became the explicit geometry.
  std::string geometry = root.attr("wm_geometry")().cast<std::string>();
  std::string size = std::to_string(root.attr("winfo_width")().cast<int>()) + "x" +
                     std::to_string(root.attr("winfo_height")().cast<int>());
  EXPECT_EQ(geometry.substr(0, geometry.find('+')), size);
  EXPECT_EQ(cget(root, "bg"), "#101010");
}

TEST(WindowPanel, OnlyTheApplyButtonIsPlaced) {
  start_recorded();
  using namespace arcflex;
  EXPECT_EQ(cget(apply_button, "text"), "Apply");
  EXPECT_TRUE(apply_button.attr("winfo_ismapped")().cast<bool>());
  EXPECT_EQ(cget(apply_button, "takefocus"), "0");
  EXPECT_EQ(cget(apply_button, "width"), "10");
  EXPECT_EQ(cget(apply_button, "fg"), "#FFE611");
  py::dict grid = apply_button.attr("grid_info")();
  EXPECT_EQ(py::str(grid["row"]).cast<std::string>(), "4");
  EXPECT_EQ(py::str(grid["column"]).cast<std::string>(), "1");
  EXPECT_EQ(py::str(grid["columnspan"]).cast<std::string>(), "2");
  for (py::object* w : {&current_profile_label, &axes_label, &axis_slider, &persist_box}) {
    EXPECT_FALSE(w->attr("winfo_ismapped")().cast<bool>());
  }
  EXPECT_EQ(cget(axes_label, "text"), "Both axes");
  EXPECT_EQ(cget(current_profile_label, "text"), "");
  EXPECT_FALSE(persist_enabled.attr("get")().cast<bool>());
  EXPECT_EQ(axis_slider.attr("get")().cast<int>(), 0);
  // The graph cell is the canvas's parent and takes the extra space.
  EXPECT_TRUE(py::object(canvas.attr("get_tk_widget")().attr("master")).is(rgframe));
}

TEST(WindowPanel, ApplyHoverColourOnlyWhileNormal) {
  start_recorded();
  using namespace arcflex;
  apply_button_enter(py::none());
  EXPECT_EQ(cget(apply_button, "bg"), "#333");
  apply_button_leave(py::none());
  EXPECT_EQ(cget(apply_button, "bg"), "#101010");
  apply_button.attr("configure")("state"_a = "disabled");
  apply_button_enter(py::none());
  EXPECT_EQ(cget(apply_button, "bg"), "#101010");
  // Through Tk's own events as well.
  apply_button.attr("configure")("state"_a = "normal");
  apply_button.attr("event_generate")("<Enter>");
  root.attr("update")();
  EXPECT_EQ(cget(apply_button, "bg"), "#333");
}

TEST(WindowState, IconifiedFlagFollowsTheWindowState) {
  start_recorded();
  using namespace arcflex;
  EXPECT_FALSE(root_window_iconified);
  // Withdrawing reaches the flag through the <Unmap> binding.
  root.attr("withdraw")();
  EXPECT_TRUE(pump_until([] { return root_window_iconified; }));  // the X server's answer may take a while
  // Shown again: the next <Configure> in the normal state clears it.
  root.attr("deiconify")();
  root.attr("update")();
  root.attr("event_generate")("<Configure>");
  EXPECT_TRUE(pump_until([] { return !root_window_iconified; }));
  EXPECT_EQ(root.attr("wm_state")().cast<std::string>(), "normal");
}

TEST(WindowValidators, CharactersOnly) {
  using arcflex::nums_only, arcflex::nums_neg;
  for (const char* ok : {"800", "1.04", "1e3", "1..2", ""}) EXPECT_TRUE(nums_only(ok)) << ok;
  for (const char* bad : {"-5", "8 0", "12a", "1E3", "+1"}) EXPECT_FALSE(nums_only(bad)) << bad;
  for (const char* ok : {"-1.5", "3-", "1e-5"}) EXPECT_TRUE(nums_neg(ok)) << ok;
  for (const char* bad : {"1,5", "a", " "}) EXPECT_FALSE(nums_neg(bad)) << bad;
}

TEST(WindowValidators, RegisteredCommandsGuardAnEntry) {
  start_recorded();
  py::object entry = eval("__import__('tkinter').Entry(root)");
  entry.attr("configure")("validate"_a = "key",
                          "validatecommand"_a = py::make_tuple(arcflex::validate_entry, "%S"));
  entry.attr("insert")(0, "12a");
  EXPECT_EQ(entry.attr("get")().cast<std::string>(), "");
  entry.attr("insert")(0, "1200");
  EXPECT_EQ(entry.attr("get")().cast<std::string>(), "1200");
  entry.attr("delete")(0, "end");
  EXPECT_EQ(entry.attr("get")().cast<std::string>(), "");
  py::object neg = eval("__import__('tkinter').Entry(root)");
  neg.attr("configure")("validate"_a = "key",
                        "validatecommand"_a = py::make_tuple(arcflex::validate_entry_neg, "%S"));
  neg.attr("insert")(0, "-1.5");
  EXPECT_EQ(neg.attr("get")().cast<std::string>(), "-1.5");
}

TEST(WindowUi, WindowsOnlyAttributesDoNothingHere) {
  start_recorded();
  py::object top = eval("__import__('tkinter').Toplevel(root)");
  EXPECT_NO_THROW(arcflex::winui::wm_attribute(top, "-transparentcolor", py::str("#101010")));
  EXPECT_NO_THROW(arcflex::winui::wm_attribute(top, "-disabled", py::bool_(true)));
  // Attributes this system has still reach Tk.
  arcflex::winui::wm_attribute(top, "-type", py::str("dialog"));
  EXPECT_EQ(py::str(top.attr("wm_attributes")("-type")).cast<std::string>(), "('dialog',)");
}

TEST(WindowClose, CloseRequestEndsTheMainLoop) {
  start_recorded();
  // What the window manager's close button runs.
  run("root.after(50, lambda: root.tk.call(root.protocol('WM_DELETE_WINDOW')))");
  arcflex::run_mainloop();
  EXPECT_FALSE(arcflex::root);
}
