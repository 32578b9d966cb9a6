// Errors the X server reports on the editor's toolkit connection.
#pragma once

namespace afp {

// From now on an X error about a window that no longer exists (BadWindow:
// a pop-up another program destroyed while the toolkit still talks to it)
// is ignored instead of ending the process; every other error still ends it,
// and so does the loss of the display. Called before the toolkit opens its
// display, the toolkit's own handler sees every error first and passes on
// only those it does not handle. Once per process; nothing on Windows.
void ignore_errors_about_gone_windows();

}  // namespace afp
