// The installer program run against a stand-in machine: every value it
// writes, byte for byte, its exit codes and what it leaves alone.
#include <platform/registry.h>
#include <platform/sysfiles.h>

#include "machine.h"

using namespace insttest;

namespace {

std::string image_path_bytes(const Machine& m) {
  return sz(afp::from_utf8(m.system_folder()) + u"\\drivers\\afmouse.sys");
}

void expect_instance_values() {
  EXPECT_EQ(get(kInstancesKey, u"DefaultInstance"),
            (RegValue{afp::regtype::sz, sz(u"Arcflex fltmgr interface Default")}));
  EXPECT_EQ(get(kInstanceKey, u"Altitude"), (RegValue{afp::regtype::sz, sz(u"385020")}));
  EXPECT_EQ(get(kInstanceKey, u"Flags"), (RegValue{afp::regtype::dword, dword(1)}));
}

void expect_service_record(const Machine& m) {
  EXPECT_EQ(get(kServiceKey, u"Type"), (RegValue{afp::regtype::dword, dword(1)}));
  EXPECT_EQ(get(kServiceKey, u"Start"), (RegValue{afp::regtype::dword, dword(3)}));
  EXPECT_EQ(get(kServiceKey, u"ErrorControl"), (RegValue{afp::regtype::dword, dword(0)}));
  EXPECT_EQ(get(kServiceKey, u"ImagePath"), (RegValue{afp::regtype::expand_sz, image_path_bytes(m)}));
  EXPECT_EQ(get(kServiceKey, u"DisplayName"), (RegValue{afp::regtype::sz, sz(u"afmouse")}));
}

}  // namespace

// ---- install ----

TEST(InstallerInstall, WritesListServiceInstanceValuesAndImage) {
  Machine m;
  seed_list(multi({u"mouclass"}));
  ASSERT_EQ(list()->data.size(), 20u);

  RunResult r = m.run({"/I"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "");

  auto l = list();
  ASSERT_TRUE(l);
  EXPECT_EQ(*l, (RegValue{afp::regtype::multi_sz, multi({u"afmouse", u"mouclass"})}));
  EXPECT_EQ(l->data.size(), 36u);
  expect_instance_values();
  expect_service_record(m);
  EXPECT_EQ(aftest::read_file(m.drivers_image()), kImage);
}

TEST(InstallerInstall, SecondInstallChangesNothingButTheImage) {
  Machine m;
  seed_list(multi({u"mouclass"}));
  ASSERT_EQ(m.run({"/I"}).code, 0);
  auto before = m.snapshot();

  aftest::write_file(m.install_dir() / "afmouse.sys", "a newer image");
  EXPECT_EQ(m.run({"/I"}).code, 0);
  auto after = m.snapshot();

  const std::string image = "windows/system32/drivers/afmouse.sys";
  EXPECT_EQ(after.at(image), "a newer image");
  before.erase(image);
  after.erase(image);
  EXPECT_EQ(before, after);
}

TEST(InstallerInstall, ListAlreadyHoldingTheDriverInAnyCaseIsKept) {
  for (const auto& names : std::vector<std::vector<std::u16string>>{
           {u"mouclass", u"AfMoUsE"}, {u"AFMOUSE"}, {u"kbd", u"afmouse", u"mouclass"}}) {
    Machine m;
    seed_list(multi(names));
    EXPECT_EQ(m.run({"/I"}).code, 0);
    EXPECT_EQ(list()->data, multi(names));
    expect_instance_values();
  }
}

TEST(InstallerInstall, SimilarNamesAndEmptyStringsDoNotCountAsListed) {
  struct Case {
    std::string old_list, new_list;
  };
  const std::vector<Case> cases = {
      // a longer name that starts with the driver's
      {multi({u"afmouse2"}), multi({u"afmouse", u"afmouse2"})},
      {multi({u"afmous"}), multi({u"afmouse", u"afmous"})},
      // the scan ends at an inner empty string, so the name behind it is unseen
      {sz(u"mouclass") + sz(u"") + sz(u"afmouse") + sz(u""),
       sz(u"afmouse") + sz(u"mouclass") + sz(u"") + sz(u"afmouse") + sz(u"")},
  };
  for (const auto& c : cases) {
    Machine m;
    seed_list(c.old_list);
    EXPECT_EQ(m.run({"/I"}).code, 0);
    EXPECT_EQ(list()->data, c.new_list);
  }
}

TEST(InstallerInstall, ListSizeLimits) {
  // One long name and the two NULs make an even size; one more byte makes
  // it odd. 495 bytes grow to 511 and fit; 496 would be 512 and do not.
  auto list_of = [](std::size_t bytes) {
    std::string b = multi({std::u16string((bytes - 4) / 2, u'x')});
    if (bytes % 2) b += '\0';
    return b;
  };
  for (std::size_t bytes : {494u, 495u}) {
    Machine m;
    std::string old_list = list_of(bytes);
    ASSERT_EQ(old_list.size(), bytes);
    seed_list(old_list);
    EXPECT_EQ(m.run({"/I"}).code, 0) << bytes;
    EXPECT_EQ(list()->data, sz(u"afmouse") + old_list) << bytes;
    EXPECT_EQ(list()->data.size(), bytes + 16);
  }
  for (std::size_t bytes : {496u, 511u}) {
    Machine m;
    std::string old_list = list_of(bytes);
    seed_list(old_list);
    EXPECT_EQ(m.run({"/I"}).code, kFailed) << bytes;
    EXPECT_EQ(list()->data, old_list) << bytes;
    // the image and the service come first and stay; no instance values
    EXPECT_EQ(aftest::read_file(m.drivers_image()), kImage);
    EXPECT_TRUE(get(kServiceKey, u"Type"));
    EXPECT_FALSE(get(kInstancesKey, u"DefaultInstance"));
  }
}

TEST(InstallerInstall, UnusableListFailsAfterImageAndService) {
  struct Case {
    const char* what;
    std::uint32_t type;
    std::string data;
    bool seeded;
  };
  const std::vector<Case> cases = {
      {"missing", 0, "", false},
      {"of another type", afp::regtype::sz, sz(u"mouclass"), true},
      {"empty", afp::regtype::multi_sz, "", true},
      {"512 bytes", afp::regtype::multi_sz, multi({std::u16string(254, u'y')}), true},
  };
  for (const auto& c : cases) {
    Machine m;
    if (c.seeded) set(kClassKey, u"UpperFilters", c.type, c.data);
    if (c.seeded && c.type == afp::regtype::multi_sz && !c.data.empty()) {
      ASSERT_EQ(c.data.size(), 512u);
    }
    EXPECT_EQ(m.run({"/I"}).code, kFailed) << c.what;
    EXPECT_EQ(aftest::read_file(m.drivers_image()), kImage) << c.what;
    expect_service_record(m);
    EXPECT_FALSE(get(kInstancesKey, u"DefaultInstance")) << c.what;
    EXPECT_FALSE(get(kInstanceKey, u"Altitude")) << c.what;
    auto l = list();
    if (c.seeded) {
      EXPECT_EQ(l, (RegValue{c.type, c.data})) << c.what;
    } else {
      EXPECT_FALSE(l) << c.what;
    }
  }
}

TEST(InstallerInstall, MissingImageFailsBeforeAnythingChanges) {
  Machine m;
  seed_list(multi({u"mouclass"}));
  fs::remove(m.install_dir() / "afmouse.sys");
  auto before = m.snapshot();
  EXPECT_EQ(m.run({"/I"}).code, kFailed);
  EXPECT_EQ(m.snapshot(), before);
  EXPECT_FALSE(fs::exists(m.drivers_image()));
}

TEST(InstallerInstall, ServiceThatCannotBeCreatedFails) {
  // A service deleted while its driver was loaded stays marked for deletion
  // until the next restart and cannot be created again meanwhile.
  Machine m;
  seed_list(multi({u"mouclass"}));
  set(kServiceKey, u"Type", afp::regtype::dword, dword(1));
  set(kServiceKey, u"DeleteFlag", afp::regtype::dword, dword(1));
  EXPECT_EQ(m.run({"/I"}).code, kFailed);
  EXPECT_EQ(list()->data, multi({u"mouclass"}));
  EXPECT_FALSE(get(kInstancesKey, u"DefaultInstance"));
  EXPECT_FALSE(get(kServiceKey, u"ImagePath"));
}

TEST(InstallerInstall, InstanceWriteFailuresEndTheInstall) {
  // The store cannot make a key whose place is taken by a file.
  const fs::path services = fs::path("registry/HKEY_LOCAL_MACHINE/SYSTEM/CurrentControlSet/Services/afmouse");
  {
    Machine m;
    seed_list(multi({u"mouclass"}));
    fs::create_directories(m.root() / services);
    aftest::write_file(m.root() / services / "Instances", "not a key");
    EXPECT_EQ(m.run({"/I"}).code, kFailed);
    EXPECT_EQ(list()->data, multi({u"afmouse", u"mouclass"}));  // done before, not undone
    EXPECT_FALSE(get(kInstanceKey, u"Altitude"));
  }
  {
    Machine m;
    seed_list(multi({u"mouclass"}));
    fs::create_directories(m.root() / services / "Instances");
    aftest::write_file(m.root() / services / "Instances" / "Arcflex fltmgr interface Default", "not a key");
    EXPECT_EQ(m.run({"/I"}).code, kFailed);
    EXPECT_TRUE(get(kInstancesKey, u"DefaultInstance"));
    EXPECT_FALSE(get(kInstanceKey, u"Flags"));
  }
}

// ---- uninstall ----

TEST(InstallerUninstall, RestoresListDeletesServiceAndSchedulesImageDeletion) {
  Machine m;
  seed_list(multi({u"mouclass"}));
  ASSERT_EQ(m.run({"/I"}).code, 0);

  RunResult r = m.run({"/U"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(list(), (RegValue{afp::regtype::multi_sz, multi({u"mouclass"})}));
  EXPECT_EQ(list()->data.size(), 20u);
  // The service goes with its whole key, the instance values below it too.
  EXPECT_FALSE(get(kServiceKey, u"Type"));
  EXPECT_EQ(afp::reg_get_value(kServiceKey, u"Type", afp::regrt::any, nullptr, nullptr, nullptr),
            afp::syserr::file_not_found);
  EXPECT_FALSE(get(kInstanceKey, u"Altitude"));
  // The image stays until the next restart, which will delete it.
  EXPECT_TRUE(fs::exists(m.drivers_image()));
  // Named in the one form the service record used for its image path.
  const std::u16string full = afp::from_utf8(m.system_folder()) + u"\\drivers\\afmouse.sys";
  EXPECT_EQ(get(kSessionKey, u"PendingFileRenameOperations"),
            (RegValue{afp::regtype::multi_sz, multi({u"\\??\\" + full, u""})}));

  // A second round: the pending deletions add up.
  ASSERT_EQ(m.run({"/I"}).code, 0);
  ASSERT_EQ(m.run({"/U"}).code, 0);
  EXPECT_EQ(get(kSessionKey, u"PendingFileRenameOperations")->data,
            multi({u"\\??\\" + full, u"", u"\\??\\" + full, u""}));
}

TEST(InstallerUninstall, WithoutServiceFailsAndChangesNothing) {
  Machine m;
  seed_list(multi({u"afmouse", u"mouclass"}));
  aftest::write_file(m.root() / "windows/system32/drivers/afmouse.sys", kImage);
  auto before = m.snapshot();
  EXPECT_EQ(m.run({"/U"}).code, kFailed);
  EXPECT_EQ(m.snapshot(), before);
}

TEST(InstallerUninstall, ListEdits) {
  struct Case {
    const char* what;
    std::string old_list, new_list;
  };
  const std::vector<Case> cases = {
      {"not listed", multi({u"mouclass"}), multi({u"mouclass"})},
      {"any case, middle", multi({u"mouclass", u"AFMouse", u"kbd"}), multi({u"mouclass", u"kbd"})},
      {"similar name kept", multi({u"afmouse2", u"afmouse"}), multi({u"afmouse2"})},
      {"only the first match", multi({u"afmouse", u"afmouse"}), multi({u"afmouse"})},
      {"alone", multi({u"afmouse"}), multi({})},
      {"first string empty", sz(u"") + sz(u"afmouse") + sz(u""), sz(u"") + sz(u"afmouse") + sz(u"")},
      {"behind an inner empty string", sz(u"mouclass") + sz(u"") + sz(u"afmouse") + sz(u""),
       sz(u"mouclass") + sz(u"") + sz(u"afmouse") + sz(u"")},
      // data stored without its terminators is read with them added, so
      // what is written back is a closed list, never an empty value
      {"unterminated last", sz(u"mouclass") + u16(u"afmouse"), multi({u"mouclass"})},
      {"last name without the closing NUL", sz(u"mouclass") + sz(u"afmouse"), multi({u"mouclass"})},
      {"unterminated alone", u16(u"afmouse"), sz(u"")},
      {"unterminated odd size", u16(u"afmouse") + std::string(1, '\0'), sz(u"")},
  };
  for (const auto& c : cases) {
    Machine m;
    seed_list(multi({u"mouclass"}));
    ASSERT_EQ(m.run({"/I"}).code, 0);
    seed_list(c.old_list);
    EXPECT_EQ(m.run({"/U"}).code, 0) << c.what;
    EXPECT_EQ(list(), (RegValue{afp::regtype::multi_sz, c.new_list})) << c.what;
    EXPECT_FALSE(get(kServiceKey, u"Type")) << c.what;
  }
}

TEST(InstallerUninstall, UnusableListStillRemovesServiceAndFails) {
  const std::vector<std::pair<std::uint32_t, std::string>> lists = {
      {afp::regtype::sz, sz(u"afmouse")},
      {afp::regtype::multi_sz, ""},
      {afp::regtype::multi_sz, multi({u"afmouse", std::u16string(250, u'z')})},
  };
  for (const auto& [type, data] : lists) {
    Machine m;
    seed_list(multi({u"mouclass"}));
    ASSERT_EQ(m.run({"/I"}).code, 0);
    set(kClassKey, u"UpperFilters", type, data);
    EXPECT_EQ(m.run({"/U"}).code, kFailed);
    EXPECT_EQ(list(), (RegValue{type, data}));
    EXPECT_FALSE(get(kServiceKey, u"Type"));
    EXPECT_TRUE(get(kSessionKey, u"PendingFileRenameOperations"));
  }
  Machine m;
  seed_list(multi({u"mouclass"}));
  ASSERT_EQ(m.run({"/I"}).code, 0);
  ASSERT_EQ(afp::reg_get_value(kClassKey, u"UpperFilters", afp::regrt::any, nullptr, nullptr, nullptr), 0u);
  // a missing value: written as nothing by replacing the key's values file
  aftest::write_file(m.root() / "registry/HKEY_LOCAL_MACHINE/SYSTEM/CurrentControlSet/Control/Class/"
                                "{4d36e96f-e325-11ce-bfc1-08002be10318}/.values",
                     "AFREG 1\n");
  EXPECT_EQ(m.run({"/U"}).code, kFailed);
  EXPECT_FALSE(list());
  EXPECT_FALSE(get(kServiceKey, u"Type"));
}

// ---- command line ----

TEST(InstallerArguments, UsageTextForEveryOtherArgument) {
  const std::vector<std::vector<std::string>> usage_cases = {
      {}, {""}, {"U"}, {"I"}, {"/"}, {"/X"}, {"/?"}, {"UX"}, {"//I"}, {"", "/I"}};
  for (const auto& args : usage_cases) {
    Machine m;
    seed_list(multi({u"mouclass"}));
    auto before = m.snapshot();
    RunResult r = m.run(args);
    std::string shown = args.empty() ? "(none)" : args[0];
    EXPECT_EQ(r.code, 0) << shown;
    EXPECT_EQ(r.out, kUsage) << shown;
    EXPECT_EQ(m.snapshot(), before) << shown;
  }
}

TEST(InstallerArguments, OnlyTheSecondCharacterOfTheFirstArgumentCounts) {
  for (const std::string install : {"/I", "-i", "xI", "/install", "/Iu"}) {
    Machine m;
    seed_list(multi({u"mouclass"}));
    RunResult r = m.run({install, "/U"});
    EXPECT_EQ(r.code, 0) << install;
    EXPECT_EQ(r.out, "") << install;
    EXPECT_EQ(list()->data, multi({u"afmouse", u"mouclass"})) << install;
  }
  for (const std::string uninstall : {"/U", "-u", "/uninstall", "xUI"}) {
    Machine m;
    seed_list(multi({u"mouclass"}));
    ASSERT_EQ(m.run({"/I"}).code, 0);
    EXPECT_EQ(m.run({uninstall, "/I"}).code, 0) << uninstall;
    EXPECT_EQ(list()->data, multi({u"mouclass"})) << uninstall;
  }
}

// ---- the system folder ----

TEST(InstallerSystemFolder, NoSystemFolderFailsBeforeTheCommandLine) {
  Machine m;
  unsetenv("AF_SYSROOT");
  RunResult r = m.run({});
  EXPECT_EQ(r.code, kFailed);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(m.run({"/I"}).code, kFailed);
  setenv("AF_SYSROOT", "relative/root", 1);
  EXPECT_EQ(m.run({"/I"}).code, kFailed);
  EXPECT_FALSE(fs::exists(m.install_dir() / "relative"));
}

TEST(InstallerSystemFolder, FolderTooLongForTheDriverPathFailsBeforeAnythingChanges) {
  Machine m;
  // The driver path adds 20 units and its terminator to the system folder
  // (root + "/windows/system32", 17 units): 512 units hold a folder of 491.
  auto root_of = [&](std::size_t folder_units) {
    std::string root = m.base().string();
    const std::size_t want = folder_units - 17;
    while (root.size() < want) {
      const std::size_t room = want - root.size();
      if (room == 1) {
        root += 'r';
        break;
      }
      root += '/' + std::string(std::min<std::size_t>(200, room - 1), 'r');
    }
    return root;
  };
  {
    const std::string root = root_of(491);
    fs::create_directories(root);
    setenv("AF_SYSROOT", root.c_str(), 1);
    ASSERT_EQ(afp::from_utf8(root + "/windows/system32").size(), 491u);
    seed_list(multi({u"mouclass"}));
    EXPECT_EQ(m.run({"/I"}).code, 0);
    EXPECT_EQ(list()->data, multi({u"afmouse", u"mouclass"}));
  }
  for (std::size_t units : {492u, 1023u, 1024u, 1500u}) {
    const std::string root = root_of(units);
    fs::create_directories(root);
    setenv("AF_SYSROOT", root.c_str(), 1);
    ASSERT_EQ(afp::from_utf8(root + "/windows/system32").size(), units);
    EXPECT_EQ(m.run({"/I"}).code, kFailed) << units;
    EXPECT_EQ(m.run({"/U"}).code, kFailed) << units;
    RunResult r = m.run({});
    EXPECT_EQ(r.code, kFailed) << units;
    EXPECT_EQ(r.out, "") << units;
    EXPECT_TRUE(fs::is_empty(root)) << units;
  }
}
