"""Processes killed or stopped at awkward moments leave the system usable:
the editor killed during the driver wait or the countdown (its meter ends,
"p.dat" is whole, the next start works), the meter killed (the editor says
so and ends with 1), the stand-in driver killed or stopped while speeds
stream (the editor still closes normally and its meter ends). A change not
confirmed never outlives the editor: whatever ends it, the next start
finds and uploads the curve from before the change."""
import os
import re
import shutil
import signal
import subprocess
import time

import editor_start_test as base
import xwin
from editor_apply_test import CANCEL_BUTTON, OK_BUTTON
from editor_revert_test import EditorRevert, upload_content
from editor_display_loss_test import children_of
from editor_start_test import read


class KilledProcesses(EditorRevert):
    def driver(self):
        return self.procs[0]

    def assert_meter_ends(self):
        self.wait_for("the meter to end", lambda: not self.meters(), timeout=5)

    def assert_next_start_uploads(self, before):
        """The next start has "p.dat" byte for byte as before the change and uploads it."""
        first, uploads = self.uploads()[0], len(self.uploads())
        p, window = self.start_and_wait_for_window()
        # A late upload of the change by the ended editor's meter may still
        # reach the log after the count above: the start's upload comes last.
        self.wait_for("the start-up upload of the curve from before",
                      lambda: len(self.uploads()) > uploads
                      and upload_content(self.uploads()[-1]) == upload_content(first))
        self.assertEqual(self.curve_file(), before)
        for name in ("p.dat.prev", "p.dat.bad"):
            self.assertFalse(os.path.exists(os.path.join(self.settings, name)), name)
        self.close(p, window)

    def answer_error_boxes_until_the_end(self, p):
        def answered():
            shown = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Error$"],
                                   capture_output=True, text=True).stdout.split()
            for w in shown:
                subprocess.run(["xdotool", "key", "--window", w, "Return"], capture_output=True)
            return p.poll() is not None

        self.wait_for("the box to be answered and the editor to end", answered, timeout=30)
        out, err = p.communicate(timeout=30)
        self.assertEqual(p.returncode, 1, err.decode(errors="replace"))
        self.assertNotIn(b"Traceback", err)
        return err

    def test_editor_killed_during_the_driver_wait(self):
        p, window = self.start_and_wait_for_startup_upload()
        before = self.curve_file()
        # A driver that does not answer keeps the editor in its wait.
        self.driver().send_signal(signal.SIGSTOP)
        try:
            self.drag_point_and_press_apply(window)
            self.wait_for("the new curve file", lambda: self.curve_in_file()[0][1] > 15, timeout=10)
            time.sleep(0.5)
            self.assertFalse(self.confirm_shown())
            p.kill()
            p.wait()
            self.assert_meter_ends()
        finally:
            self.driver().send_signal(signal.SIGCONT)
        self.assert_next_start_uploads(before)

    def test_editor_killed_during_the_countdown(self):
        p, window, confirm, before = self.apply_a_change()
        self.assertTrue(self.confirm_shown())
        p.kill()
        p.wait()
        self.assert_meter_ends()
        self.assertNotEqual(self.curve_file(), before)
        self.assert_next_start_uploads(before)

    def test_x_server_killed_during_the_countdown(self):
        shared = os.environ["DISPLAY"]
        own = xwin.start_private_display()  # the editor's alone: it is killed
        try:
            self.env["DISPLAY"] = os.environ["DISPLAY"]
            self.display.close()
            self.display = xwin.Display()
            p, window, confirm, before = self.apply_a_change()
            self.display.close()
            self.driver().send_signal(signal.SIGSTOP)
            own.kill()
            own.wait()
            time.sleep(1.5)
            self.assertIsNone(p.poll(), "the editor ended before the driver answered")
            self.driver().send_signal(signal.SIGCONT)
            self.assertEqual(p.wait(30), 1)
            self.assert_taken_back(before)
        finally:
            own.kill()
            own.wait()
            os.environ["DISPLAY"] = self.env["DISPLAY"] = shared
            self.display = xwin.Display()
        self.assert_next_start_uploads(before)

    def test_meter_killed_during_an_apply_takes_the_change_back_before_its_box(self):
        p, window = self.start_and_wait_for_startup_upload()
        before = self.curve_file()
        (meter,) = self.meters()
        os.kill(meter, signal.SIGSTOP)  # the change never reaches the driver
        self.drag_point_and_press_apply(window)
        self.wait_for("the new curve file", lambda: self.curve_file() != before, timeout=10)
        self.display.watch_maps()
        os.kill(meter, signal.SIGKILL)
        self.assertIsNotNone(self.display.wait_mapped("Error", 30)[0], "no error box")
        self.assertEqual(self.curve_file(), before)
        self.assertFalse(os.path.exists(os.path.join(self.settings, "p.dat.prev")))
        self.answer_error_boxes_until_the_end(p)
        self.assert_next_start_uploads(before)

    def test_late_driver_takes_the_change_back_before_its_box(self):
        p, window = self.start_and_wait_for_startup_upload()
        before = self.curve_file()
        self.driver().send_signal(signal.SIGSTOP)
        try:
            self.display.watch_maps()
            self.drag_point_and_press_apply(window)
            self.assertIsNotNone(self.display.wait_mapped("Error applying settings", 30)[0], "no box")
            self.assertEqual(self.curve_file(), before)
            p.kill()  # an editor that dies with the box open
            p.wait()
        finally:
            self.driver().send_signal(signal.SIGCONT)
        self.assert_meter_ends()
        self.assert_next_start_uploads(before)

    def test_close_under_the_time_out_box_says_the_driver_never_answered(self):
        p, window = self.start_and_wait_for_startup_upload()
        self.driver().send_signal(signal.SIGSTOP)
        try:
            self.display.watch_maps()
            self.drag_point_and_press_apply(window)
            self.assertIsNotNone(self.display.wait_mapped("Error applying settings", 30)[0], "no box")
            self.display.request_close(window)
            err = self.answer_error_boxes_until_the_end(p)
            self.assertEqual(err.count(b"It may still hold that change until the next start."), 1)  # said once
        finally:
            self.driver().send_signal(signal.SIGCONT)

    def test_meter_killed_in_the_countdown_gives_the_box_and_exit_code_1(self):
        p, window, confirm, before = self.apply_a_change()
        (meter,) = self.meters()
        self.display.watch_maps()
        os.kill(meter, signal.SIGKILL)
        box, _ = self.display.wait_mapped("Error", 30)
        self.assertIsNotNone(box, "no error box after the meter was killed")
        self.assertEqual((self.curve_file(), self.confirm_shown()), (before, False))
        self.assertIsNone(p.poll(), "the editor ended before its box was answered")
        err = self.answer_error_boxes_until_the_end(p)
        self.assertEqual(err.count(b"The take-back of the unconfirmed change could not reach the driver."), 1)

    def test_kept_file_unreadable_at_start_gives_its_box_and_a_signal_ends_it(self):
        p, window = self.start_and_wait_for_startup_upload()
        self.close(p, window)
        kept = shutil.copy(os.path.join(self.settings, "p.dat"), os.path.join(self.settings, "p.dat.prev"))
        before = base.tree_state(self.env["LOCALAPPDATA"])
        self.start_prefix = ["strace", "-f", "-qq", "-o", os.devnull, "-P", kept, "-e", "inject=read:error=EIO"]
        self.display.watch_maps()
        p = self.start()
        self.assertIsNotNone(self.display.wait_mapped("Error", 60)[0], "no read-error box")
        os.kill(children_of(p.pid)[0], signal.SIGTERM)  # the editor, below its tracer
        self.assertEqual((p.wait(10), base.tree_state(self.env["LOCALAPPDATA"]), len(self.uploads())), (1, before, 1))

    def test_main_window_closed_under_the_missing_driver_question(self):
        self.driver().kill()
        p, window = self.start_and_wait_for_window()
        self.assertIsNotNone(self.display.wait_mapped("Missing driver", 30)[0], "no question")
        self.display.request_close(window)
        self.assertEqual((p.wait(30), p.stderr.read()), (1, b""))

    def test_termination_signals_end_the_editor_as_a_close_does(self):
        p, window = self.start_and_wait_for_startup_upload()
        p.send_signal(signal.SIGINT)  # at rest
        self.assert_import_ends(p)
        self.assert_meter_ends()
        # The last is Ctrl-C in a terminal: SIGINT to the editor's whole
        # process group, which must not reach the meter before the take-back.
        for how, group in ((signal.SIGTERM, False), (signal.SIGHUP, False), (signal.SIGINT, False),
                           (signal.SIGINT, True)):
            with self.subTest(signal=how.name, group=group):
                self.restart_driver()
                os.remove(os.path.join(self.settings, "p.dat"))  # the start writes the curve it keeps
                self.start_options = {"process_group": 0} if group else {}
                p, window, confirm, before = self.apply_a_change()
                self.driver().send_signal(signal.SIGSTOP)  # the driver answers the take-back 1.5 s late
                (os.killpg if group else os.kill)(p.pid, how)
                time.sleep(1.5)
                self.assertIsNone(p.poll(), "the editor ended before the driver answered")
                self.driver().send_signal(signal.SIGCONT)
                self.assert_import_ends(p)
                self.assert_meter_ends()
                self.assert_taken_back(before)
                self.assertFalse(os.path.exists(os.path.join(self.settings, "p.dat.prev")))
        # The driver silent: an exit begun by a signal ends by itself after
        # its wait and its box, with 1, a second Ctrl-C at once; a close
        # after Cancel keeps its one box until it is answered (with Return,
        # the window under it withdrawn).
        for how in ("TERM", "Ctrl-C twice", "close"):
            self.restart_driver()
            os.remove(os.path.join(self.settings, "p.dat"))
            self.start_options = {"process_group": 0} if how == "Ctrl-C twice" else {}
            p, window, confirm, before = self.apply_a_change()
            self.driver().send_signal(signal.SIGSTOP)
            if how == "close":
                self.click_in_window(confirm, *CANCEL_BUTTON)
                self.display.request_close(window)
                err, code = self.answer_error_boxes_until_the_end(p), 1
            else:
                for _ in range(2 if how == "Ctrl-C twice" else 1):
                    os.killpg(p.pid, signal.SIGINT) if how == "Ctrl-C twice" else p.send_signal(signal.SIGTERM)
                    time.sleep(1.5)
                code, err = p.wait(2 if how == "Ctrl-C twice" else 12), p.stderr.read()
            self.assertEqual((code, err.count(b"did not answer the take-back"), self.curve_file()), (1, 1, before))

    def test_every_write_reaches_the_disk_in_order(self):
        """Apply, then OK: each file is flushed before its rename, and the
        folder right after it."""
        log = os.path.join(self.base, "strace.log")
        self.start_prefix = ["strace", "-f", "-qq", "-y", "-o", log, "-e", "trace=fsync,rename,unlink,unlinkat"]
        p, window, confirm, before = self.apply_a_change()
        self.click_in_window(confirm, *OK_BUTTON)
        self.wait_for("the confirm window to go", lambda: not self.confirm_shown(), timeout=10)
        self.close(p, window)
        d = re.escape(self.settings)
        calls = re.findall(r'fsync\(\d+<%s/?([^>]*)>|rename\("%s/([^"]*)"|unlink(?:at\(AT_FDCWD, |\()"%s/([^"]*)"'
                           % (d, d, d), read(log).decode(errors="replace"))
        seq = "".join("rename %s\n" % r if r else "unlink %s\n" % u if u else "fsync %s\n" % (f or ".")
                      for f, r, u in calls)
        steps = re.findall(r"^fsync (\S+)\nrename \1\nfsync \.$", seq, re.M)
        self.assertEqual(len(steps), seq.count("rename "), seq)
        self.assertLessEqual({"p.dat.tmp", "p.dat.prev.tmp"}, set(steps), seq)
        # The kept file's removal at OK reaches the disk too: the folder is flushed after it.
        self.assertIn("unlink p.dat.prev\nfsync .\n", seq)

    def test_a_failed_flush_fails_the_apply(self):
        """The settings folder's second flush (the kept file's, in the Apply)
        fails: the Apply says so and changes nothing; the editor still closes
        cleanly with the box open."""
        self.start_prefix = ["strace", "-f", "-qq", "-o", os.devnull, "-P", self.settings, "-e", "trace=fsync",
                             "-e", "inject=fsync:error=EIO:when=2"]
        p, window = self.start_and_wait_for_startup_upload()
        before = self.curve_file()
        self.display.watch_maps()
        self.drag_point_and_press_apply(window)
        self.assertIsNotNone(self.display.wait_mapped("Error applying settings", 30)[0])
        self.assertEqual((self.confirm_shown(), self.curve_file(), len(self.uploads())), (False, before, 1))
        self.close(p, window)

    def test_driver_killed_or_stopped_while_speeds_stream(self):
        for how in (signal.SIGKILL, signal.SIGSTOP):
            with self.subTest(signal=how.name):
                p, window = self.start_and_wait_for_startup_upload()
                self.driver().send_signal(how)
                try:
                    time.sleep(1)
                    self.assertIsNone(p.poll())
                    self.close(p, window)
                    self.assert_meter_ends()
                finally:
                    if how == signal.SIGSTOP:
                        self.driver().send_signal(signal.SIGCONT)
                self.restart_driver()

    def restart_driver(self):
        """A new driver in place of the first one, ended or not."""
        d = self.procs.pop(0)
        if d.poll() is None:
            d.kill()
        d.wait()
        if os.path.exists(self.log):
            os.remove(self.log)  # the new driver's log starts empty
        self.start_driver()

if __name__ == "__main__":
    base.main()
