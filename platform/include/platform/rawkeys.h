// Raw keyboard input from the whole system, whichever window has the focus.
//
// Windows: a hidden window with raw input registration (input sink) and its
// message loop. Linux: XInput2 raw key events on the X root window; losing
// the X connection ends the key records only (the call then blocks for
// good, as without a display): the program lives on until it ends itself.
#pragma once

namespace afp {

// One keyboard record as the system reports it: the virtual-key code and
// the raw flags (bit 0 break, bit 1 the E0 prefix, bit 2 the E1 prefix).
struct RawKeyRecord {
  unsigned vkey = 0;
  unsigned flags = 0;
};

inline constexpr unsigned kRawKeyBreak = 1;
inline constexpr unsigned kRawKeyE0 = 2;

class RawKeyboardSink {
 public:
  virtual ~RawKeyboardSink() = default;
  // Every keyboard record, on the thread that runs the window.
  virtual void key_record(const RawKeyRecord& record) = 0;
  // The window was destroyed or closed, or the session ends. The sink
  // normally ends the process here; if it returns, the message is
  // answered as the system's default would.
  virtual void window_ending() = 0;
};

enum class RawKeyboardEnd {
  class_failed,   // the window class could not be registered
  window_failed,  // the window could not be created
  loop_ended,     // the message loop ended
};

// Creates the hidden window and registers it for raw keyboard input, then
// runs its message loop on the calling thread until the loop ends. A failed
// registration is not an error: the loop runs without key records. On Linux
// without an X display, or once its connection is lost, the call blocks for
// good, without key records, and window_ending() is never called.
// The keyboard registration is removed before the call returns.
RawKeyboardEnd run_raw_keyboard(RawKeyboardSink& sink);

}  // namespace afp
