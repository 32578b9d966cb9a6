// Raw keyboard input on Linux: XInput2 raw key events selected on the X
// root window, so keys arrive whichever window has the focus. X key codes
// are turned into the virtual-key codes and flags of a Windows keyboard
// record; the right Ctrl and Alt keys carry the E0 prefix as they do there.
#include "platform/rawkeys.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace afp {
namespace {

[[noreturn]] void block_forever() {
  for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
}

// Xlib calls this when the connection to the X server is lost, and ends the
// process if it returns. The X server's end is not the end of the session
// that matters here: the editor may still need the process (it ends it
// when it ends itself), so only the key records end, as without a display.
int on_connection_lost(Display*) { block_forever(); }

RawKeyRecord to_record(KeySym sym, bool release) {
  RawKeyRecord r;
  switch (sym) {
    case XK_Shift_L:
    case XK_Shift_R:
      r.vkey = 16;
      break;
    case XK_Control_L:
      r.vkey = 17;
      break;
    case XK_Control_R:
      r.vkey = 17;
      r.flags = kRawKeyE0;
      break;
    case XK_Alt_L:
    case XK_Meta_L:
      r.vkey = 18;
      break;
    case XK_Alt_R:
    case XK_Meta_R:
    case XK_ISO_Level3_Shift:
      r.vkey = 18;
      r.flags = kRawKeyE0;
      break;
    default:
      r.vkey = 0;  // not a key anyone here asks about
      break;
  }
  if (release) r.flags |= kRawKeyBreak;
  return r;
}

}  // namespace

RawKeyboardEnd run_raw_keyboard(RawKeyboardSink& sink) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) block_forever();  // no X session: no key records
  XSetIOErrorHandler(on_connection_lost);

  int opcode = 0, first_event = 0, first_error = 0;
  bool registered = false;
  if (XQueryExtension(display, "XInputExtension", &opcode, &first_event, &first_error)) {
    // 2.2 delivers raw events to the root window also while a grab is active.
    int major = 2, minor = 2;
    if (XIQueryVersion(display, &major, &minor) == Success) {
      unsigned char mask[XIMaskLen(XI_LASTEVENT)] = {};
      XISetMask(mask, XI_RawKeyPress);
      XISetMask(mask, XI_RawKeyRelease);
      XIEventMask em;
      em.deviceid = XIAllMasterDevices;
      em.mask_len = sizeof mask;
      em.mask = mask;
      registered = XISelectEvents(display, DefaultRootWindow(display), &em, 1) == Success;
      XSync(display, False);
    }
  }
  (void)registered;  // without the registration the loop runs without key records

  for (;;) {
    XEvent event;
    XNextEvent(display, &event);
    XGenericEventCookie* cookie = &event.xcookie;
    if (cookie->type != GenericEvent || cookie->extension != opcode) continue;
    if (!XGetEventData(display, cookie)) continue;
    if (cookie->evtype == XI_RawKeyPress || cookie->evtype == XI_RawKeyRelease) {
      const auto* raw = static_cast<const XIRawEvent*>(cookie->data);
      const KeySym sym = XkbKeycodeToKeysym(display, static_cast<KeyCode>(raw->detail), 0, 0);
      const RawKeyRecord record = to_record(sym, cookie->evtype == XI_RawKeyRelease);
      XFreeEventData(display, cookie);
      sink.key_record(record);
      continue;
    }
    XFreeEventData(display, cookie);
  }
}

}  // namespace afp
