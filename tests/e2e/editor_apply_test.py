"""A change made as a user makes it: the real editor, meter and stand-in
driver on a private X display; a point dragged with XTest pointer events,
Apply pressed, the confirm window's OK pressed. The dragged value has to
reach "p.dat" and the driver, and stay after the countdown would have
ended."""
import os
import subprocess
import time

import editor_start_test as base
from editor_start_test import read

# Where the default view puts things in the main window, from its bottom
# left corner: the figure's size and the panel below it are fixed (they do
# not follow the screen); the menu bar above them takes its font's height.
POINT_10_1 = (206, -401)    # control point (10, 1.0)
TARGET_20_08 = (303, -348)  # data position (20, 0.8)
APPLY_BUTTON = (98, -34)
# The confirm window's buttons, in percent of its width and height.
OK_BUTTON = (30, 44)
CANCEL_BUTTON = (70, 44)


def xdo(*args):
    subprocess.run(["xdotool", *map(str, args)], check=True)
    time.sleep(0.15)


def window_geometry(window):
    """x, y, width and height of a top-level window on the screen."""
    out = subprocess.run(["xdotool", "getwindowgeometry", "--shell", str(window)],
                         capture_output=True, text=True, check=True).stdout
    g = dict(line.split("=") for line in out.split())
    return int(g["X"]), int(g["Y"]), int(g["WIDTH"]), int(g["HEIGHT"])


def from_bottom_left(window, offset):
    """The screen position of a place given from the window's bottom left
    corner."""
    x, y, _, height = window_geometry(window)
    return x + offset[0], y + height + offset[1]


class ApplyRun(base.EditorRun):
    """EditorRun with a driver that logs what it receives, and the steps of
    a change made with the pointer."""

    def setUp(self):
        super().setUp()
        # The driver again, now with a log of what it receives.
        for p in self.procs:
            p.kill()
            p.wait()
        self.procs = []
        self.log = os.path.join(self.base, "driver.log")
        self.start_driver()

    def start_driver(self):
        """The stand-in driver with its log, first in self.procs."""
        build = os.path.dirname(os.environ["AF_STAGE_DIR"])
        port = os.path.join(self.env["XDG_RUNTIME_DIR"], "arcflex", "AF_D_UserKernelCommPort")
        if os.path.exists(port):
            os.unlink(port)
        self.procs.insert(0, subprocess.Popen(
            [os.path.join(build, "standins", "afmouse", "afmouse"), "--zeros", "--no-x", "--log", self.log],
            env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        for _ in range(200):
            if os.path.exists(port):
                break
            time.sleep(0.05)

    def uploads(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log) as f:
            return [line for line in f if " cmd=15 " in line]

    def wait_for(self, what, check, timeout=30):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            if check():
                return
            time.sleep(0.1)
        self.fail("timed out waiting for " + what)

    def curve_in_file(self):
        lines = read(os.path.join(self.settings, "p.dat")).split(b"\r\n")
        return [float(v) for v in lines[0].split()], [float(v) for v in lines[1].split()]

    def start_and_wait_for_startup_upload(self):
        """The editor started, its main window shown and the meter's first
        upload of the curve seen by the driver."""
        p, window = self.start_and_wait_for_window()
        self.wait_for("the start-up upload", lambda: len(self.uploads()) == 1)
        time.sleep(1)
        return p, window

    def drag_point_and_press_apply(self, window):
        """Drags the point (10, 1.0) to (20, 0.8) in the main window and
        presses Apply."""
        (sx, sy), (tx, ty) = from_bottom_left(window, POINT_10_1), from_bottom_left(window, TARGET_20_08)
        xdo("mousemove", sx, sy)
        xdo("mousedown", 1)
        for k in range(1, 5):
            xdo("mousemove", sx + (tx - sx) * k // 4, sy + (ty - sy) * k // 4)
        xdo("mouseup", 1)
        xdo("mousemove", *from_bottom_left(window, APPLY_BUTTON))
        xdo("click", 1)

    def drag_point_and_apply(self, window):
        """The drag and Apply; returns the confirm window, once mapped."""
        self.display.watch_maps()
        self.drag_point_and_press_apply(window)
        confirm, _ = self.display.wait_mapped("Confirm changes", 30)
        if confirm is None:
            shown = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "."],
                                   capture_output=True, text=True).stdout.split()
            self.fail("no confirm window after Apply; driver uploads: %d; windows shown: %r"
                      % (len(self.uploads()), [self.display.name_of(int(w)) for w in shown]))
        return confirm

    def click_in_window(self, window, x_percent, y_percent):
        """A click at a place given in percent of the window's size, once a
        widget is there: Tk maps a window's widgets after the window itself,
        late in a busy or traced program, and a click on the bare frame is lost."""
        def place():
            x, y, width, height = window_geometry(window)
            return x + width * x_percent // 100, y + height * y_percent // 100

        def widget_there():
            chain = self.display.windows_at(*place())
            return len(chain) >= 3 and chain[0] == window

        self.wait_for("a widget at (%d%%, %d%%) of the window" % (x_percent, y_percent), widget_there, timeout=30)
        xdo("mousemove", *place())
        xdo("click", 1)


class EditorApply(ApplyRun):
    def test_dragged_point_is_applied_and_kept_after_ok(self):
        p, window = self.start_and_wait_for_startup_upload()
        confirm = self.drag_point_and_apply(window)

        xs, ys = self.curve_in_file()
        self.assertAlmostEqual(xs[1], 20, delta=0.5)
        self.assertAlmostEqual(ys[1], 0.8, delta=0.03)
        self.assertEqual(len(self.uploads()), 2)

        # OK sits in the left half of the confirm window's button row.
        self.click_in_window(confirm, *OK_BUTTON)

        # Past the 12 s countdown: the change stays, nothing is taken back.
        time.sleep(14)
        self.assertEqual(self.curve_in_file(), (xs, ys))
        self.assertEqual(len(self.uploads()), 2)
        self.assertIsNone(p.poll())
        self.close(p, window)


if __name__ == "__main__":
    base.main()
