#!/usr/bin/python3
"""Benchmark of the meter on Linux against the stand-in driver.

Reports, over several runs:
  - the CPU time (user + system) that afmeter and the stand-in driver use
    over a span with no mouse motion (default 10 s);
  - the delay from writing "load" on the meter's pipe to reading its
    "-99 -99" line.

Everything runs in a private folder (LOCALAPPDATA and XDG_RUNTIME_DIR point
there); the editor's keep-alive mutex is held by this script. This is a
measurement, not a test: it prints numbers and judges nothing.

usage: bench/meter_bench.py [--build DIR] [--runs N] [--seconds S] [--loads N]
"""
import argparse
import fcntl
import os
import select
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

import psutil


def cpu_seconds(proc):
    t = proc.cpu_times()
    return t.user + t.system


def wait_for(pred, timeout):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if pred():
            return True
        time.sleep(0.005)
    return False


class Run:
    """One meter and one stand-in driver in a fresh private folder."""

    def __init__(self, build):
        self.base = tempfile.mkdtemp(prefix="af-meter-bench-")
        env = dict(os.environ)
        env["LOCALAPPDATA"] = os.path.join(self.base, "localappdata")
        env["XDG_RUNTIME_DIR"] = os.path.join(self.base, "run")
        env.pop("DISPLAY", None)  # no key lines, no X motion: no motion at all
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
        settings = os.path.join(env["LOCALAPPDATA"], "Arcflex LE", "settings")
        os.makedirs(settings)
        # A file like the editor's default curve: 201 table values and the tail.
        lines = ["0 10 30 40 ", "0.5 1 1 1 ", "0 0 0 0 ", "0.0", "6.666666666666667"]
        lines += [repr(0.5 + 0.5 * min(i, 60) / 60) for i in range(201)] + ["1.0"]
        with open(os.path.join(settings, "p.dat"), "w", newline="\r\n") as f:
            f.write("\n".join(lines))
        self.rundir = os.path.join(env["XDG_RUNTIME_DIR"], "arcflex")

        self.driver = subprocess.Popen(
            [os.path.join(build, "standins", "afmouse", "afmouse"), "--zeros", "--no-x"],
            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        port = os.path.join(self.rundir, "AF_D_UserKernelCommPort")
        if not wait_for(lambda: os.path.exists(port), 5):
            raise RuntimeError("the stand-in driver did not start")

        # The editor's keep-alive mutex: the lock file the platform layer uses.
        self.keep_alive = open(os.path.join(self.rundir, "Keep_AF_Alive_Mutex.lock"), "w")
        fcntl.flock(self.keep_alive, fcntl.LOCK_EX)

        self.meter = subprocess.Popen(
            [os.path.join(build, "stage", "subps", "afmeter")],
            env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.pipe = os.path.join(self.rundir, "Arcflex_Pipe")
        if not wait_for(lambda: os.path.exists(self.pipe), 5):
            raise RuntimeError("the meter did not start its pipe")
        self.pending = b""

    def send(self, command):
        s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        s.connect(self.pipe)
        s.sendall(command)
        s.close()

    def read_line(self, timeout):
        end = time.monotonic() + timeout
        fd = self.meter.stdout.fileno()
        while b"\n" not in self.pending:
            left = end - time.monotonic()
            if left <= 0 or not select.select([fd], [], [], left)[0]:
                return None
            chunk = os.read(fd, 4096)
            if not chunk:
                return None
            self.pending += chunk
        line, self.pending = self.pending.split(b"\n", 1)
        return line

    def close(self):
        for p in (self.meter, self.driver):
            if p.poll() is None:
                p.kill()
            p.wait()
        self.keep_alive.close()
        shutil.rmtree(self.base, ignore_errors=True)


def summary(values, unit, scale=1.0):
    v = [x * scale for x in values]
    return (f"min {min(v):.3f} {unit}, median {statistics.median(v):.3f} {unit}, "
            f"max {max(v):.3f} {unit} (n={len(v)})")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", default=os.path.join(here, "..", "build"))
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--seconds", type=float, default=10.0)
    ap.add_argument("--loads", type=int, default=20, help="loads per run")
    args = ap.parse_args()

    idle_meter, idle_driver, delays = [], [], []
    for n in range(args.runs):
        run = Run(os.path.abspath(args.build))
        try:
            time.sleep(0.5)  # past the start-up upload
            meter, driver = psutil.Process(run.meter.pid), psutil.Process(run.driver.pid)
            m0, d0, t0 = cpu_seconds(meter), cpu_seconds(driver), time.monotonic()
            time.sleep(args.seconds)
            m1, d1, t1 = cpu_seconds(meter), cpu_seconds(driver), time.monotonic()
            idle_meter.append((m1 - m0) / (t1 - t0))
            idle_driver.append((d1 - d0) / (t1 - t0))
            run_delays = []
            for _ in range(args.loads):
                start = time.perf_counter()
                run.send(b"load")
                line = run.read_line(5)
                if line != b"-99 -99\r":
                    raise RuntimeError(f"unexpected answer to load: {line!r}")
                run_delays.append(time.perf_counter() - start)
                time.sleep(0.05)
            delays += run_delays
            print(f"run {n + 1}: idle CPU meter {idle_meter[-1] * 100:.2f} %, "
                  f"driver {idle_driver[-1] * 100:.2f} % of one core over {t1 - t0:.1f} s; "
                  f"load -> -99 -99 median {statistics.median(run_delays) * 1000:.2f} ms")
        finally:
            run.close()

    print(f"idle CPU, meter  (share of one core): {summary(idle_meter, '%', 100)}")
    print(f"idle CPU, driver (share of one core): {summary(idle_driver, '%', 100)}")
    print(f"idle CPU, meter + driver per {args.seconds:g} s: "
          f"{summary([a + b for a, b in zip(idle_meter, idle_driver)], 's', args.seconds)}")
    print(f"load -> \"-99 -99\": {summary(delays, 'ms', 1000)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
