// The editor's offers to install and to remove the afmouse driver: a
// question, then the installer started elevated in the installation's
// "AF_Driver" folder and followed to its end on a Tk timer (the window stays
// responsive meanwhile), then one box with its real result.
#pragma once

#include <functional>

namespace arcflex {

// Milliseconds between two checks of a running installer.
inline constexpr int kInstallerPollMs = 100;

// The meter found no driver. Asks "Missing driver"; on "yes" runs the
// installer with "/I". `finished` runs once, after the last box. A failure
// of af_task or of the question box propagates and `finished` does not run.
void install_driver(std::function<void()> finished);

// Help > "Uninstall driver": asks, then runs the installer with "/U". The
// editor goes on as before whatever the outcome.
void uninstall_driver();

// Non-zero when the user is an administrator; 0 when that cannot be told.
int is_admin();

}  // namespace arcflex
