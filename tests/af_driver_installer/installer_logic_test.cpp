// The installer's steps against a scripted system: the order of its calls,
// which failures end it and which it passes over.
#include <cstring>
#include <map>

#include <gtest/gtest.h>
#include <platform/registry.h>

#include "installer.h"
#include "machine.h"
#include "scripted_system.h"

namespace {

using insttest::multi;
using insttest::sz;

int run(ScriptedSystem& sys, const char* arg) { return afinst::run(sys, {u"AF_Driver_Installer", afp::from_utf8(arg)}); }

const std::vector<std::string> kFullInstall = {
    "system_directory", "file_exists",  "copy_file",        "open_service_manager", "create_service",
    "close_service",    "close_manager", "size_list",       "read_list",            "set UpperFilters",
    "set DefaultInstance", "set Altitude", "set Flags"};

const std::vector<std::string> kFullUninstall = {
    "system_directory", "open_service_manager", "open_service", "stop_service", "delete_service", "size_list",
    "read_list",        "set UpperFilters",     "delete_file_at_restart", "close_service", "close_manager"};

std::vector<std::string> prefix(const std::vector<std::string>& calls, const std::string& last) {
  auto it = std::find(calls.begin(), calls.end(), last);
  return std::vector<std::string>(calls.begin(), it + 1);
}

}  // namespace

TEST(InstallerSteps, InstallCallsInOrderWithTheServiceSettings) {
  ScriptedSystem sys;
  EXPECT_EQ(run(sys, "/I"), 0);
  EXPECT_EQ(sys.calls, kFullInstall);
  EXPECT_EQ(sys.copied_to, u"C:\\Windows\\system32\\drivers\\afmouse.sys");
  EXPECT_EQ(sys.config.name, u"afmouse");
  EXPECT_EQ(sys.config.display_name, u"afmouse");
  EXPECT_EQ(sys.config.type, 1u);
  EXPECT_EQ(sys.config.start, 3u);
  EXPECT_EQ(sys.config.error_control, 0u);
  EXPECT_EQ(sys.config.access, 0xF01FFu);
  EXPECT_EQ(sys.config.binary_path, sys.copied_to);
}

TEST(InstallerSteps, EachInstallFailureEndsAtItsStep) {
  for (const std::string step : {"copy_file", "open_service_manager", "create_service", "size_list", "read_list",
                                 "set UpperFilters", "set DefaultInstance", "set Altitude", "set Flags"}) {
    ScriptedSystem sys;
    sys.fail[step] = afp::syserr::access_denied;
    EXPECT_EQ(run(sys, "/I"), -1) << step;
    auto expected = prefix(kFullInstall, step);
    if (step == "create_service") expected.push_back("close_manager");
    EXPECT_EQ(sys.calls, expected) << step;
  }
  ScriptedSystem sys;
  sys.fail["file_exists"] = 1;
  EXPECT_EQ(run(sys, "/I"), -1);
  EXPECT_EQ(sys.calls, (std::vector<std::string>{"system_directory", "file_exists"}));
}

TEST(InstallerSteps, ExistingServiceIsUsedAsItIs) {
  ScriptedSystem sys;
  sys.fail["create_service"] = afp::syserr::service_exists;
  EXPECT_EQ(run(sys, "/I"), 0);
  std::vector<std::string> expected = kFullInstall;
  expected.erase(std::find(expected.begin(), expected.end(), "close_service"));
  EXPECT_EQ(sys.calls, expected);
}

TEST(InstallerSteps, ListChangedBetweenSizeAndReadIsCheckedAgain) {
  // A size query that says 20 bytes followed by a read of a 600-byte list
  // must not be taken: the buffer holds 511 bytes of list at most.
  class Growing : public ScriptedSystem {
   public:
    std::uint32_t reg_get_value(std::u16string_view k, std::u16string_view v, std::uint32_t r, void* data,
                                std::uint32_t* size) override {
      if (data) list = multi({std::u16string(298, u'g')});
      return ScriptedSystem::reg_get_value(k, v, r, data, size);
    }
  } sys;
  EXPECT_EQ(run(sys, "/I"), -1);
  EXPECT_EQ(sys.calls, prefix(kFullInstall, "read_list"));
}

TEST(InstallerSteps, UninstallPassesOverStopDeleteAndScheduleFailures) {
  ScriptedSystem sys;
  sys.list = multi({u"afmouse", u"mouclass"});
  EXPECT_EQ(run(sys, "/U"), 0);
  EXPECT_EQ(sys.calls, kFullUninstall);
  EXPECT_EQ(sys.list, multi({u"mouclass"}));
  EXPECT_EQ(sys.deleted, u"C:\\Windows\\system32\\drivers\\afmouse.sys");

  ScriptedSystem failing;
  failing.list = multi({u"afmouse"});
  failing.fail = {{"stop_service", afp::syserr::service_not_active},
                  {"delete_service", afp::syserr::service_marked_for_delete},
                  {"delete_file_at_restart", afp::syserr::access_denied}};
  EXPECT_EQ(run(failing, "/U"), 0);
  EXPECT_EQ(failing.calls, kFullUninstall);
}

TEST(InstallerSteps, UninstallListFailuresStillScheduleTheImageDeletion) {
  for (const std::string step : {"size_list", "read_list", "set UpperFilters"}) {
    ScriptedSystem sys;
    sys.list = multi({u"afmouse"});
    sys.fail[step] = afp::syserr::access_denied;
    EXPECT_EQ(run(sys, "/U"), -1) << step;
    auto expected = prefix(kFullUninstall, step);
    for (const std::string tail : {"delete_file_at_restart", "close_service", "close_manager"})
      expected.push_back(tail);
    EXPECT_EQ(sys.calls, expected) << step;
  }
}

TEST(InstallerSteps, UninstallWithoutManagerOrServiceTouchesNothing) {
  for (const std::string step : {"open_service_manager", "open_service"}) {
    ScriptedSystem sys;
    sys.fail[step] = afp::syserr::service_does_not_exist;
    EXPECT_EQ(run(sys, "/U"), -1) << step;
    auto expected = prefix(kFullUninstall, step);
    if (step == "open_service") expected.push_back("close_manager");
    EXPECT_EQ(sys.calls, expected) << step;
  }
}

TEST(InstallerSteps, SystemFolderResults) {
  // 491 units is the longest folder the 512-unit driver path holds.
  for (std::size_t units : {1u, 491u}) {
    ScriptedSystem sys;
    sys.system_folder = std::u16string(units, u'C');
    EXPECT_EQ(run(sys, "/I"), 0) << units;
    EXPECT_EQ(sys.copied_to.size(), units + 20);
  }
  for (std::size_t units : {492u, 1023u}) {
    ScriptedSystem sys;
    sys.system_folder = std::u16string(units, u'C');
    EXPECT_EQ(run(sys, "x"), -1) << units;
    EXPECT_EQ(sys.calls, std::vector<std::string>{"system_directory"});
    EXPECT_EQ(sys.printed, "");
  }
  // 0 is a failure; 1024 and more is the size a larger buffer would need.
  for (std::uint32_t result : {0u, 1024u, 1025u, 40000u}) {
    ScriptedSystem sys;
    sys.system_folder = std::u16string(2000, u'C');
    sys.system_folder_result = result;
    if (result == 0) sys.system_folder.clear();
    EXPECT_EQ(run(sys, "/U"), -1) << result;
    EXPECT_EQ(sys.calls, std::vector<std::string>{"system_directory"});
  }
}

TEST(InstallerSteps, UsageTextWhenNoModeIsChosen) {
  ScriptedSystem sys;
  EXPECT_EQ(afinst::run(sys, {u"AF_Driver_Installer"}), 0);
  EXPECT_EQ(afinst::run(sys, {}), 0);
  EXPECT_EQ(afinst::run(sys, {u"p", u""}), 0);
  EXPECT_EQ(afinst::run(sys, {u"p", u"\u00e9"}), 0);
  EXPECT_EQ(afinst::run(sys, {u"p", u"\u00e9I"}), 0);  // the second unit decides: installs
  EXPECT_EQ(sys.printed, insttest::kUsage + insttest::kUsage + insttest::kUsage + insttest::kUsage);
}

TEST(FilterListScan, FindsTheFirstMatchWithinTheList) {
  auto find = [](const std::string& bytes, std::size_t stored) {
    std::vector<char16_t> buf(64, 0);
    std::memcpy(buf.data(), bytes.data(), bytes.size());
    return afinst::find_in_list(buf.data(), static_cast<std::uint32_t>(stored), buf.size(), u"afmouse");
  };
  const std::string l = multi({u"kbd", u"AFMOUSE", u"afmouse"});
  EXPECT_EQ(find(l, l.size()), 4);
  // a size that ends before the match's start hides it
  EXPECT_EQ(find(l, 8), -1);
  EXPECT_EQ(find(l, 9), -1);  // 9 bytes are 4 whole units; the match starts at unit 4
  EXPECT_EQ(find(l, 10), 4);
  EXPECT_EQ(find(multi({u"afmouse2", u"xafmouse"}), 40), -1);
  EXPECT_EQ(find(sz(u"a") + sz(u"") + sz(u"afmouse"), 40), -1);
}
