// Key lines of the real afmeter program: Shift, Ctrl and Alt pressed and
// released through XTest on a private X server, whichever window has the
// focus, and a meter that outlives its X server until the editor ends.
#include "meter_harness.h"

#include <platform/process.h>

#include "private_xserver.h"

// After the test headers: Xlib's macros (None, Bool) would break them.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

using namespace metertest;
using namespace std::chrono_literals;

namespace {

// A private X server, so no other test's keys reach this meter.
class PrivateX {
 public:
  PrivateX() {
    if (!server_.name().empty()) display_ = XOpenDisplay(server_.name().c_str());
  }
  ~PrivateX() { end(); }
  void end() {
    if (display_) XCloseDisplay(display_);
    display_ = nullptr;
    server_.end();
  }
  bool ok() const { return display_ != nullptr; }
  const std::string& name() const { return server_.name(); }

  void key(KeySym sym, bool press) {
    XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, sym), press ? True : False, CurrentTime);
    XSync(display_, False);
    std::this_thread::sleep_for(30ms);
  }
  void tap(KeySym sym) {
    key(sym, true);
    key(sym, false);
  }

 private:
  aftest::PrivateXServer server_;
  Display* display_ = nullptr;
};

class KeyLines : public MeterTest {
 protected:
  void SetUp() override {
    MeterTest::SetUp();
    ASSERT_TRUE(x_.ok()) << "no private X server";
    setenv("DISPLAY", x_.name().c_str(), 1);
    write_pdat("a\r\nb\r\nc\r\n0\r\n1\r\n0.5");
    start_driver({"--zeros"});
    hold_keep_alive();
    meter_ = start_meter();
    // The meter listens once a key reaches it; Ctrl taps until one does.
    ASSERT_TRUE(eventually(
        [&] {
          x_.tap(XK_Control_L);
          return meter_->text().find("-31 -31\r\n") != std::string::npos;
        },
        5000));
    std::this_thread::sleep_for(50ms);
    mark_ = meter_->text().size();
  }

  // The lines written since the set-up.
  std::vector<std::string> new_lines() { return lines_of(meter_->text().substr(mark_)); }
  bool wait_lines(std::size_t n) {
    return eventually([&] { return new_lines().size() >= n; }, 3000);
  }

  PrivateX x_;
  std::unique_ptr<Collected> meter_;
  std::size_t mark_ = 0;
};

}  // namespace

TEST_F(KeyLines, PressesAndReleasesOfEachModifier) {
  x_.tap(XK_Shift_L);
  x_.tap(XK_Control_L);
  x_.tap(XK_Alt_L);
  x_.tap(XK_a);  // other keys write nothing
  ASSERT_TRUE(wait_lines(6));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(new_lines(), (std::vector<std::string>{"-20 -20", "-30 -30", "-21 -21", "-31 -31",
                                                   "-22 -22", "-32 -32"}));
}

TEST_F(KeyLines, AHeldKeyWritesOnePressLine) {
  // A second make of the held key, then a hold past the auto-repeat delay.
  x_.key(XK_Shift_L, true);
  x_.key(XK_Shift_L, true);
  std::this_thread::sleep_for(700ms);
  x_.key(XK_Shift_L, false);
  ASSERT_TRUE(wait_lines(2));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(new_lines(), (std::vector<std::string>{"-20 -20", "-30 -30"}));
}

TEST_F(KeyLines, LeftAndRightKeysShareOneFlag) {
  x_.key(XK_Shift_L, true);
  x_.key(XK_Shift_R, true);
  x_.key(XK_Shift_R, false);  // Shift is up for the editor while the left key is down
  x_.key(XK_Shift_L, false);
  x_.key(XK_Control_R, true);
  x_.key(XK_Control_L, true);
  x_.key(XK_Control_R, false);
  x_.key(XK_Control_L, false);
  ASSERT_TRUE(wait_lines(6));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(new_lines(), (std::vector<std::string>{"-20 -20", "-30 -30", "-30 -30", "-21 -21",
                                                   "-31 -31", "-31 -31"}));
}

TEST_F(KeyLines, KeysReachTheMeterWhateverWindowHasTheFocus) {
  Display* d = XOpenDisplay(x_.name().c_str());
  ASSERT_TRUE(d);
  Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 100, 100, 0, 0, 0);
  XSelectInput(d, w, KeyPressMask | KeyReleaseMask);
  XMapRaised(d, w);
  XSync(d, False);
  XSetInputFocus(d, w, RevertToParent, CurrentTime);
  // A grab by another program does not hide the keys either.
  XGrabKeyboard(d, w, False, GrabModeAsync, GrabModeAsync, CurrentTime);
  XSync(d, False);
  x_.tap(XK_Alt_R);
  ASSERT_TRUE(wait_lines(2));
  EXPECT_EQ(new_lines(), (std::vector<std::string>{"-22 -22", "-32 -32"}));
  XCloseDisplay(d);
}

TEST_F(KeyLines, TheEndOfTheXServerEndsTheMeterOnlyWithTheEditor) {
  x_.end();
  EXPECT_FALSE(meter_->wait_exit(1000));
  release_keep_alive();
  EXPECT_EQ(meter_->wait_exit(5000), 1);
}
