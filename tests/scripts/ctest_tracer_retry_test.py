"""scripts/ctest-tracer-retry on small ctest projects: a GoogleTest case that
failed only because LeakSanitizer's tracer crashed at exit runs once more; any
other failure stands, as does every failure of a case that is not GoogleTest's."""
import os, subprocess, tempfile, unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "ctest-tracer-retry")
TRACER = "[==========] Running 1 test from 1 test suite.\n[  PASSED  ] 1 test.\nTracer caught signal 11: addr=0x0\n"


class TracerRetry(unittest.TestCase):
    def test_cases(self):
        # (what the failing case prints, its exit code when run again, the script succeeds, runs)
        for out, again, ok, runs in ((TRACER, 0, True, 2), (TRACER, 1, False, 2),
                                     ("[  FAILED  ] Curve.Scales (3 ms)\n" + TRACER, 0, False, 1),
                                     (TRACER.replace("Tracer", "Abort"), 0, False, 1), ("Tracer caught signal\n", 0, False, 1)):
            with self.subTest(out=out, again=again), tempfile.TemporaryDirectory() as d:
                with open(f"{d}/out", "w") as f:
                    f.write(out)
                with open(f"{d}/CMakeLists.txt", "w") as f:
                    f.write("cmake_minimum_required(VERSION 3.16)\nproject(t NONE)\nenable_testing()\n"
                            f"add_test(NAME a COMMAND /bin/sh -c \"echo run >>{d}/runs; "
                            f"[ $(wc -l <{d}/runs) -eq 1 ] || exit {again}; cat {d}/out; exit 1\")\n")
                subprocess.run(["cmake", "-S", d, "-B", f"{d}/b", "-G", "Ninja"], check=True, timeout=60,
                               stdout=subprocess.DEVNULL)
                r = subprocess.run([SCRIPT, f"{d}/b"], capture_output=True, text=True, timeout=60)
                self.assertEqual((r.returncode == 0, open(f"{d}/runs").read().count("run")), (ok, runs), r.stdout)


if __name__ == "__main__":
    unittest.main()
