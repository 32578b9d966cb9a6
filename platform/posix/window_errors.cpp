#include "platform/window_errors.h"

#include <X11/Xlib.h>

namespace afp {
namespace {

// The handler in place before ours: Xlib's default, which prints the error
// and ends the process.
XErrorHandler g_next = nullptr;

int on_x_error(Display* display, XErrorEvent* error) {
  if (error->error_code == BadWindow) return 0;
  return g_next ? g_next(display, error) : 0;
}

}  // namespace

void ignore_errors_about_gone_windows() {
  static const bool installed = [] {
    g_next = XSetErrorHandler(on_x_error);
    return true;
  }();
  (void)installed;
}

}  // namespace afp
