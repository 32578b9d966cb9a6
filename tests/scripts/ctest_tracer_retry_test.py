"""scripts/ctest-tracer-retry on small ctest projects: a case that failed
only because LeakSanitizer's tracer crashed at exit runs once more; any other
failure stands."""
import os
import subprocess
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "ctest-tracer-retry")
TRACER = "==1==LeakSanitizer has encountered a fatal error.\nTracer caught signal 11: addr=0x0 pc=0x1 sp=0x2\n"
FAILED = "[  FAILED  ] Curve.Scales (3 ms)\n"


class TracerRetry(unittest.TestCase):
    # (what, {case: (output, first exit code, later exit code)}, ctest arguments,
    #  the script succeeds, {case: runs})
    CASES = [
        ("tracer crash only", {"a": (TRACER, 1, 0), "b": ("", 0, 0)}, [], True, {"a": 2, "b": 1}),
        ("tracer crash, then a failure", {"a": (TRACER, 1, 1)}, [], False, {"a": 2}),
        ("failed case and tracer crash", {"a": (FAILED + TRACER, 1, 0)}, [], False, {"a": 1}),
        ("plain failure", {"a": ("Subprocess aborted\n", 1, 0)}, [], False, {"a": 1}),
        ("tracer crash beside a failure", {"a": (TRACER, 1, 0), "b": ("", 1, 0)}, [], False, {"a": 1, "b": 1}),
        ("no case selected", {"a": (TRACER, 1, 0)}, ["-R", "^none$"], False, {"a": 0}),
    ]

    def test_cases(self):
        for what, cases, args, ok, runs in self.CASES:
            with self.subTest(what), tempfile.TemporaryDirectory(prefix="af-retry-") as d:
                lines = ["cmake_minimum_required(VERSION 3.16)", "project(t NONE)", "enable_testing()"]
                for name, (out, first, later) in cases.items():
                    base = os.path.join(d, name)
                    with open(base + ".out", "w") as f:
                        f.write(out)
                    with open(base + ".sh", "w") as f:
                        f.write(f'echo run >>"{base}.runs"\n[ "$(wc -l <"{base}.runs")" -eq 1 ] || exit {later}\n'
                                f'cat "{base}.out"\nexit {first}\n')
                    lines.append(f'add_test(NAME {name} COMMAND /bin/sh "{base}.sh")')
                with open(os.path.join(d, "CMakeLists.txt"), "w") as f:
                    f.write("\n".join(lines) + "\n")
                build = os.path.join(d, "build")
                subprocess.run(["cmake", "-S", d, "-B", build, "-G", "Ninja"], check=True, timeout=60,
                               stdout=subprocess.DEVNULL)
                r = subprocess.run([SCRIPT, build] + args, capture_output=True, text=True, timeout=60)
                self.assertEqual(r.returncode == 0, ok, r.stdout + r.stderr)
                for name, n in runs.items():
                    path = os.path.join(d, name + ".runs")
                    self.assertEqual(open(path).read().count("run") if os.path.exists(path) else 0, n, name)


if __name__ == "__main__":
    unittest.main()
