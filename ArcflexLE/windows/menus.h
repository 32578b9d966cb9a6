// The menu bar of the main window, the two right-click pop-up menus and the
// window icons, built once at start-up after the tool windows.
#pragma once

namespace arcflex {

// Builds the pop-ups and the menu bar ("File", "Edit", "Options", "Presets",
// "Help"), makes the option check marks and the graph follow the loaded
// settings, and sets the window icons (silently skipped when that fails).
void build_menus();

}  // namespace arcflex
