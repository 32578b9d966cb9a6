// main() for editor tests: embeds Debian's interpreter once per process,
// with the staged installation folder on sys.path, and runs the cases.
// Every case gets fresh private folders, so no case sees files another one
// left. A binary built with AF_ONE_EDITOR_PER_PROCESS starts the editor in
// its cases, which a process can do once only (the editor holds its
// single-instance mutex until the process ends): it refuses, and says why,
// when asked to run more than one case.
#include <gtest/gtest.h>
#include <pybind11/embed.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "af_test_env.h"
#include "editor.h"

namespace {

class PythonEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    aftest::isolate_environment();
    interp_ = std::make_unique<pybind11::scoped_interpreter>();
    auto sys = pybind11::module_::import("sys");
    sys.attr("path").attr("insert")(0, aftest::env_or("AF_STAGE_DIR", "."));
  }
  void TearDown() override {
    arcflex::clear_python_state();
    interp_.reset();
  }

 private:
  std::unique_ptr<pybind11::scoped_interpreter> interp_;
};

class CaseIsolation : public ::testing::EmptyTestEventListener {
 public:
  explicit CaseIsolation(const char* program) : program_(program) {}

  void OnTestProgramStart(const ::testing::UnitTest& unit) override {
#ifdef AF_ONE_EDITOR_PER_PROCESS
    if (unit.test_to_run_count() > 1) {
      std::fprintf(stderr,
                   "%s: %d cases selected, but the editor can start only once in a process.\n"
                   "Run one case per process: ctest does, or pick one with --gtest_filter=Suite.Case.\n",
                   program_, unit.test_to_run_count());
      std::fflush(stderr);
      std::exit(2);
    }
#else
    (void)unit;
#endif
  }

  // Fresh LOCALAPPDATA, XDG_RUNTIME_DIR and AF_SYSROOT for the C++ side and
  // for Python's os.environ alike.
  void OnTestStart(const ::testing::TestInfo&) override {
    aftest::isolate_environment();
    if (!Py_IsInitialized()) return;
    pybind11::object environ = pybind11::module_::import("os").attr("environ");
    for (const char* name : {"LOCALAPPDATA", "XDG_RUNTIME_DIR", "AF_SYSROOT"}) environ[name] = std::getenv(name);
  }

 private:
  const char* program_;
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new PythonEnvironment);
  ::testing::UnitTest::GetInstance()->listeners().Append(new CaseIsolation(argc > 0 ? argv[0] : "test"));
  return RUN_ALL_TESTS();
}
