// main() for editor tests: embeds Debian's interpreter once per process,
// with the staged installation folder on sys.path, and runs the cases.
#include <gtest/gtest.h>
#include <pybind11/embed.h>

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

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new PythonEnvironment);
  return RUN_ALL_TESTS();
}
