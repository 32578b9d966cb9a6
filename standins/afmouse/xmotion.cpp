// Raw pointer motion from XInput2 on the root window, turned into the
// driver's speed triple: A and B are the horizontal and vertical counts per
// millisecond over the time since the previous motion event, C that time in
// milliseconds. The speed drops to zero when the pointer rests.
#include "xmotion.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <poll.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace afmouse {
namespace {

using Clock = std::chrono::steady_clock;

class XMotionFeed : public SpeedSource {
 public:
  XMotionFeed(Display* display, int opcode) : display_(display), opcode_(opcode) {
    thread_ = std::thread([this] { loop(); });
    thread_.detach();  // lives as long as the process
  }

  Speed next(std::chrono::microseconds pace) override {
    std::unique_lock<std::mutex> lock(lock_);
    unsigned long seen = generation_;
    // Motion wakes the wait at once, however long it is.
    auto wait = reply_wait(pace, Clock::now() - last_motion_ > kRest);
    if (wait.count() > 0) cv_.wait_for(lock, wait, [&] { return generation_ != seen; });
    if (Clock::now() - last_motion_ > kRest) return Speed{};
    return current_;
  }

 private:
  static constexpr std::chrono::milliseconds kRest{50};

  void motion(double dx, double dy) {
    auto now = Clock::now();
    std::lock_guard<std::mutex> guard(lock_);
    double dt = std::chrono::duration<double, std::milli>(now - last_motion_).count();
    if (dt > 100.0) dt = 8.0;  // first event after a rest: assume one report interval
    dt = std::max(dt, 1.0);
    current_ = Speed{std::fabs(dx) / dt, std::fabs(dy) / dt, dt};
    last_motion_ = now;
    ++generation_;
    cv_.notify_all();
  }

  void loop() {
    int fd = ConnectionNumber(display_);
    for (;;) {
      while (XPending(display_) > 0) {
        XEvent ev;
        XNextEvent(display_, &ev);
        XGenericEventCookie* cookie = &ev.xcookie;
        if (cookie->type != GenericEvent || cookie->extension != opcode_ || !XGetEventData(display_, cookie)) {
          continue;
        }
        if (cookie->evtype == XI_RawMotion) {
          auto* raw = static_cast<XIRawEvent*>(cookie->data);
          double d[2] = {0.0, 0.0};
          const double* value = raw->raw_values;
          for (int i = 0; i < raw->valuators.mask_len * 8; ++i) {
            if (!XIMaskIsSet(raw->valuators.mask, i)) continue;
            if (i < 2) d[i] = *value;
            ++value;
          }
          if (d[0] != 0.0 || d[1] != 0.0) motion(d[0], d[1]);
        }
        XFreeEventData(display_, cookie);
      }
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, -1) < 0 && errno != EINTR) return;  // sleeps until the X server sends
      if (p.revents & (POLLHUP | POLLERR)) return;  // the X server went away: speeds stay zero
    }
  }

  Display* display_;
  int opcode_;
  std::thread thread_;
  std::mutex lock_;
  std::condition_variable cv_;
  unsigned long generation_ = 0;
  Clock::time_point last_motion_ = Clock::now() - std::chrono::seconds(1);
  Speed current_;
};

}  // namespace

std::unique_ptr<SpeedSource> x_motion_feed() {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return nullptr;
  int opcode, event, error;
  int major = 2, minor = 2;  // raw events reach root-window selections from 2.1 on
  if (!XQueryExtension(display, "XInputExtension", &opcode, &event, &error) ||
      XIQueryVersion(display, &major, &minor) != Success) {
    XCloseDisplay(display);
    return nullptr;
  }
  unsigned char mask[XIMaskLen(XI_LASTEVENT)] = {};
  XISetMask(mask, XI_RawMotion);
  XIEventMask em{XIAllMasterDevices, static_cast<int>(sizeof mask), mask};
  XISelectEvents(display, DefaultRootWindow(display), &em, 1);
  XFlush(display);
  return std::make_unique<XMotionFeed>(display, opcode);
}

}  // namespace afmouse
