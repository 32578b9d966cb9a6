// The driver installation prompts and the menu bar that reaches them: the
// questions and result boxes, the installer started in the installation's
// AF_Driver folder and followed to its end while Tk keeps running, and the
// menus built at start-up.
#include <sys/stat.h>

#include "apply_cycle.h"
#include "driver_prompts.h"
#include "gui_fixture.h"

namespace {

using namespace guitest;
namespace af = arcflex;

// An installation folder whose AF_Driver holds a stand-in installer: it
// records its working folder and arguments, waits until it is released and
// ends with the given exit code.
class FakeInstall {
 public:
  explicit FakeInstall(int exit_code, bool with_program = true) {
    dir_ = aftest::make_temp_dir("fakeinstall");
    fs::create_directories(dir_ / "AF_Driver");
    if (with_program) {
      fs::path program = dir_ / "AF_Driver" / "AF_Driver_Installer";
      aftest::write_file(program, "#!/bin/sh\nprintf '%s\\n' \"$PWD\" \"$@\" > '" + record().string() +
                                      "'\nwhile [ ! -e '" + go().string() + "' ]; do sleep 0.02; done\nexit " +
                                      std::to_string(exit_code) + "\n");
      chmod(program.c_str(), 0755);
    }
    af::currentdir = dir_.string() + "/";
  }
  ~FakeInstall() { release(); }
  void release() { aftest::write_file(go(), ""); }
  fs::path record() const { return dir_ / "record"; }
  bool started() const { return fs::exists(record()); }
  std::string expected_record(const std::string& param) const {
    return (dir_ / "AF_Driver").string() + "\n" + param + "\n";
  }

 private:
  fs::path go() const { return dir_ / "go"; }
  fs::path dir_;
};

std::vector<std::string> boxes() {
  std::vector<std::string> out;
  for (const auto& r : af::dialogs::recorded()) out.push_back(r.kind + " " + r.title + ": " + r.message);
  return out;
}

const std::string kQuestion = "yesno Missing driver: Arcflex Driver required.  Would you like to install now?";
const std::string kReboot = "info Reboot required: You must reboot for the changes to take effect.";
const std::string kUninstallQuestion = "yesno Uninstall driver: Uninstall the Arcflex Driver?";

class InstallPrompt : public ::testing::Test {
 protected:
  void SetUp() override {
    count_unblock_calls();
    start_recorded();
    af::dialogs::clear_recorded();
  }
  // Runs the install prompt; finished_ counts its ends.
  void run_install() {
    af::install_driver([this] { ++finished_; });
  }
  int finished_ = 0;
};

TEST_F(InstallPrompt, NoShowsClosingProgramAndStartsNothing) {
  FakeInstall install(0);
  int unblocked = unblock_calls();
  af::dialogs::push_bool_answer(false);
  run_install();
  EXPECT_EQ(boxes(), (std::vector<std::string>{kQuestion,
                                               "info Closing program: You must install the driver to continue."}));
  EXPECT_EQ(finished_, 1);
  EXPECT_EQ(unblock_calls(), unblocked + 1);
  pump_until([] { return false; }, 40);
  EXPECT_FALSE(install.started());
}

TEST_F(InstallPrompt, YesWaitsForTheInstallerWhileTkRunsThenReportsSuccess) {
  FakeInstall install(0);
  af::dialogs::push_bool_answer(true);
  run_install();
  ASSERT_TRUE(pump_until([&] { return install.started(); }));
  // The installer still runs: Tk's timers fire, no result box yet.
  bool tick = false;
  af::root.attr("after")(10, py::cpp_function([&] { tick = true; }));
  EXPECT_TRUE(pump_until([&] { return tick; }));
  pump_until([] { return false; }, 60);
  EXPECT_EQ(boxes(), std::vector<std::string>{kQuestion});
  EXPECT_EQ(finished_, 0);

  install.release();
  ASSERT_TRUE(pump_until([&] { return finished_ == 1; }));
  EXPECT_EQ(boxes(), (std::vector<std::string>{kQuestion, kReboot}));
  EXPECT_EQ(aftest::read_file(install.record()), install.expected_record("/I"));
}

TEST_F(InstallPrompt, FailedInstallerOrRefusedStartGivesInstallFailed) {
  {
    FakeInstall install(3);
    install.release();
    af::dialogs::push_bool_answer(true);
    run_install();
    ASSERT_TRUE(pump_until([&] { return finished_ == 1; }));
    EXPECT_EQ(boxes(), (std::vector<std::string>{
                           kQuestion, "info Install failed: There was an error installing the driver: 3"}));
  }
  af::dialogs::clear_recorded();
  {
    FakeInstall install(0, false);  // the shell finds no program: file not found
    af::dialogs::push_bool_answer(true);
    run_install();
    EXPECT_EQ(finished_, 2);
    EXPECT_EQ(boxes(), (std::vector<std::string>{
                           kQuestion, "info Install failed: There was an error installing the driver: 2"}));
  }
}

TEST_F(InstallPrompt, FailingUnblockEndsBeforeTheQuestion) {
  FakeInstall install(0);
  py::exec("import af_task\ndef _fail():\n    raise OSError('blocked')\naf_task.unblock_files = _fail\n");
  af::dialogs::push_bool_answer(true);
  EXPECT_THROW(run_install(), py::error_already_set);
  EXPECT_TRUE(boxes().empty());
  EXPECT_EQ(finished_, 0);
  pump_until([] { return false; }, 40);
  EXPECT_FALSE(install.started());
}

// ---- Help > Uninstall driver ----

void choose_uninstall() { af::helpMenu.attr("invoke")("Uninstall driver"); }

TEST(UninstallPrompt, NoChangesNothing) {
  start_recorded();
  FakeInstall install(0);
  af::dialogs::clear_recorded();
  af::dialogs::push_bool_answer(false);
  choose_uninstall();
  pump_until([] { return false; }, 40);
  EXPECT_EQ(boxes(), std::vector<std::string>{kUninstallQuestion});
  EXPECT_FALSE(install.started());
}

TEST(UninstallPrompt, YesRunsSlashUAndTheEditorGoesOn) {
  start_recorded();
  std::string pdat = aftest::read_file(settings_folder() / "p.dat");
  FakeInstall install(0);
  af::dialogs::clear_recorded();
  af::dialogs::push_bool_answer(true);
  choose_uninstall();
  install.release();
  ASSERT_TRUE(pump_until([] { return boxes().size() == 2; }));
  EXPECT_EQ(boxes(), (std::vector<std::string>{kUninstallQuestion, kReboot}));
  EXPECT_EQ(aftest::read_file(install.record()), install.expected_record("/U"));
  EXPECT_EQ(aftest::read_file(settings_folder() / "p.dat"), pdat);
  EXPECT_FALSE(af::graph_suspended);
  // The editor goes on: Tk still runs its timers.
  bool tick = false;
  af::root.attr("after")(10, py::cpp_function([&] { tick = true; }));
  EXPECT_TRUE(pump_until([&] { return tick; }));
}

TEST(UninstallPrompt, FailuresAreErrorBoxesWithTheCode) {
  start_recorded();
  {
    FakeInstall install(5);
    install.release();
    af::dialogs::clear_recorded();
    af::dialogs::push_bool_answer(true);
    choose_uninstall();
    ASSERT_TRUE(pump_until([] { return boxes().size() == 2; }));
    EXPECT_EQ(boxes()[1], "error Uninstall failed!: There was an error uninstalling the driver: 5");
  }
  {
    FakeInstall install(0, false);
    af::dialogs::clear_recorded();
    af::dialogs::push_bool_answer(true);
    choose_uninstall();
    EXPECT_EQ(boxes(), (std::vector<std::string>{
                           kUninstallQuestion, "error Uninstall failed!: There was an error uninstalling the driver: 2"}));
  }
}

TEST(UninstallPrompt, ASecondRunWhileTheInstallerRunsIsRefused) {
  start_recorded();
  FakeInstall install(0);
  af::dialogs::clear_recorded();
  af::dialogs::push_bool_answer(true);
  choose_uninstall();
  ASSERT_TRUE(pump_until([&] { return install.started(); }));
  // Chosen again while it runs: no question, only the refusal sound.
  af::dialogs::push_bool_answer(true);
  choose_uninstall();
  EXPECT_EQ(boxes(), (std::vector<std::string>{kUninstallQuestion, "sound Asterisk: "}));
  install.release();
  ASSERT_TRUE(pump_until([] { return boxes().size() == 3; }));
  pump_until([] { return false; }, 40);
  EXPECT_EQ(boxes(), (std::vector<std::string>{kUninstallQuestion, "sound Asterisk: ", kReboot}));
  // Once it has ended, the entry asks again; a "no" leaves it free too.
  af::dialogs::clear_recorded();
  choose_uninstall();
  af::dialogs::push_bool_answer(true);
  choose_uninstall();
  ASSERT_TRUE(pump_until([] { return boxes().size() == 3; }));
  EXPECT_EQ(boxes(), (std::vector<std::string>{kUninstallQuestion, kUninstallQuestion, kReboot}));
}

// The staged installer itself, on this test's stand-in machine.
TEST(UninstallPrompt, RealInstallerRemovesWhatTheInstallAdded) {
  const std::string mouclass = seed_mouclass_filters();
  start_recorded();  // the installation folder is the stage
  af::dialogs::clear_recorded();
  int finished = 0;
  af::dialogs::push_bool_answer(true);
  af::install_driver([&] { ++finished; });
  ASSERT_TRUE(pump_until([&] { return finished == 1; }));
  EXPECT_EQ(boxes(), (std::vector<std::string>{kQuestion, kReboot}));
  EXPECT_EQ(mouse_filters(), afp::reg_string_bytes(u"afmouse") + mouclass);

  af::dialogs::clear_recorded();
  af::dialogs::push_bool_answer(true);
  choose_uninstall();
  ASSERT_TRUE(pump_until([] { return boxes().size() == 2; }));
  EXPECT_EQ(boxes(), (std::vector<std::string>{kUninstallQuestion, kReboot}));
  EXPECT_EQ(mouse_filters(), mouclass);

  // Nothing left to remove: the installer fails and says so.
  af::dialogs::clear_recorded();
  af::dialogs::push_bool_answer(true);
  choose_uninstall();
  ASSERT_TRUE(pump_until([] { return boxes().size() == 2; }));
  EXPECT_EQ(boxes()[1], "error Uninstall failed!: There was an error uninstalling the driver: 255");
}

TEST(AdminCheck, TellsWhetherTheUserIsRoot) { EXPECT_EQ(af::is_admin(), geteuid() == 0 ? 1 : 0); }

}  // namespace
