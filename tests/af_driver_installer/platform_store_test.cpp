// The Linux stand-in machine: registry values, service records and delayed
// deletes as the Windows calls behave, kept in files under $AF_SYSROOT.
#include <platform/registry.h>
#include <platform/services.h>
#include <platform/sysfiles.h>

#include "machine.h"

using namespace insttest;

namespace {

std::uint32_t read_size(const std::u16string& key, const std::u16string& value, std::uint32_t restrict_types) {
  std::uint32_t size = 0;
  return afp::reg_get_value(key, value, restrict_types, nullptr, nullptr, &size);
}

}  // namespace

TEST(StandInRegistry, NamesMatchWithoutRegardToCaseAndKeepTheirFirstSpelling) {
  Machine m;
  set(u"Software\\Arcflex Test", u"Mode", afp::regtype::sz, sz(u"one"));
  set(u"SOFTWARE\\arcflex TEST", u"MODE", afp::regtype::dword, dword(7));
  EXPECT_EQ(get(u"software\\ARCFLEX test", u"mode"), (RegValue{afp::regtype::dword, dword(7)}));
  // one key folder and one value, still spelled as first written
  EXPECT_TRUE(fs::is_directory(m.root() / "registry/HKEY_LOCAL_MACHINE/Software/Arcflex Test"));
  EXPECT_FALSE(fs::exists(m.root() / "registry/HKEY_LOCAL_MACHINE/SOFTWARE"));
  std::string file = aftest::read_file(m.root() / "registry/HKEY_LOCAL_MACHINE/Software/Arcflex Test/.values");
  EXPECT_NE(file.find(":Mode "), std::string::npos);
  EXPECT_EQ(file.find(":MODE"), std::string::npos);
}

TEST(StandInRegistry, KeepsExactBytesAndTypes) {
  Machine m;
  const std::string odd = std::string("\x00\x01\xff\n %/", 7);
  set(u"K", u"odd", afp::regtype::binary, odd);
  set(u"K", u"empty", afp::regtype::multi_sz, "");
  set(u"K", u"", afp::regtype::sz, sz(u"default"));
  set(u"K", u"name with spaces %2F and /", afp::regtype::qword, std::string(8, '\x7f'));
  set(u"K\\.hidden/slash", u"\u00e9\u4e2d", afp::regtype::sz, sz(u"\u00e9"));
  EXPECT_EQ(get(u"K", u"odd"), (RegValue{afp::regtype::binary, odd}));
  EXPECT_EQ(get(u"K", u"empty"), (RegValue{afp::regtype::multi_sz, ""}));
  EXPECT_EQ(get(u"K", u""), (RegValue{afp::regtype::sz, sz(u"default")}));
  EXPECT_EQ(get(u"K", u"name with spaces %2f and /"), (RegValue{afp::regtype::qword, std::string(8, '\x7f')}));
  EXPECT_EQ(get(u"k\\.HIDDEN/slash", u"\u00e9\u4e2d"), (RegValue{afp::regtype::sz, sz(u"\u00e9")}));
  // no temporary files are left beside the values
  for (const auto& e : fs::recursive_directory_iterator(m.root() / "registry"))
    EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
}

TEST(StandInRegistry, ReadErrorsAsTheSystemReportsThem) {
  Machine m;
  set(u"K", u"list", afp::regtype::multi_sz, multi({u"a", u"bc"}));
  EXPECT_EQ(read_size(u"Missing", u"list", afp::regrt::any), afp::syserr::file_not_found);
  EXPECT_EQ(read_size(u"K", u"missing", afp::regrt::any), afp::syserr::file_not_found);
  EXPECT_EQ(read_size(u"K", u"list", afp::regrt::sz | afp::regrt::dword), afp::syserr::unsupported_type);
  EXPECT_EQ(read_size(u"K", u"list", afp::regrt::multi_sz), 0u);
  EXPECT_EQ(read_size(u"K\\\\x", u"list", afp::regrt::any), afp::syserr::invalid_parameter);

  char buf[16] = {};
  std::uint32_t size = 5;
  EXPECT_EQ(afp::reg_get_value(u"K", u"list", afp::regrt::multi_sz, nullptr, buf, &size), afp::syserr::more_data);
  EXPECT_EQ(size, 12u);
  size = sizeof buf;
  std::uint32_t type = 0;
  EXPECT_EQ(afp::reg_get_value(u"K", u"list", afp::regrt::multi_sz, &type, buf, &size), 0u);
  EXPECT_EQ(size, 12u);
  EXPECT_EQ(type, afp::regtype::multi_sz);
  EXPECT_EQ(std::string(buf, size), multi({u"a", u"bc"}));
}

TEST(StandInRegistry, StringsComeBackWithTheirTerminators) {
  Machine m;
  const std::string nul(1, '\0');
  const struct {
    std::uint32_t type;
    std::string stored, read;
  } cases[] = {
      {afp::regtype::multi_sz, u16(u"mouclass"), multi({u"mouclass"})},
      {afp::regtype::multi_sz, sz(u"a") + u16(u"bc"), multi({u"a", u"bc"})},
      {afp::regtype::multi_sz, u16(u"a") + nul, multi({u"a"})},
      {afp::regtype::multi_sz, multi({u"a"}) + nul, multi({u"a"}) + nul},  // closed: kept as stored
      {afp::regtype::multi_sz, sz(u""), sz(u"")},
      {afp::regtype::sz, u16(u"385020"), sz(u"385020")},
      {afp::regtype::binary, u16(u"ab"), u16(u"ab")},
  };
  for (const auto& c : cases) {
    set(u"K", u"v", c.type, c.stored);
    EXPECT_EQ(get(u"K", u"v"), (RegValue{c.type, c.read})) << RegValue{c.type, c.stored};
    // A buffer of the stored size is too small when terminators are added.
    std::string buf(c.stored.size(), '\0');
    std::uint32_t size = static_cast<std::uint32_t>(buf.size());
    EXPECT_EQ(afp::reg_get_value(u"K", u"v", afp::regrt::any, nullptr, buf.data(), &size),
              c.read.size() > c.stored.size() ? afp::syserr::more_data : 0u);
    EXPECT_EQ(size, c.read.size());
  }
}

TEST(StandInRegistry, DamagedValuesFileIsReportedAndKept) {
  Machine m;
  set(u"K", u"v", afp::regtype::dword, dword(1));
  const fs::path file = m.root() / "registry/HKEY_LOCAL_MACHINE/K/.values";
  for (const std::string bad : {"garbage", "AFREG 1\n4 :v 0g\n", "AFREG 1\n4 v 01\n", "AFREG 1\n4 :v 010\n",
                                "AFREG 1\n99999999999 :v 01\n", "AFREG 1\n4 :v 01\n4 :V 02\n", "AFREG 1\n4 :%zz 01\n"}) {
    aftest::write_file(file, bad);
    EXPECT_EQ(read_size(u"K", u"v", afp::regrt::any), afp::syserr::registry_corrupt) << bad;
    std::uint32_t d = 2;
    EXPECT_EQ(afp::reg_set_key_value(u"K", u"w", afp::regtype::dword, &d, 4), afp::syserr::registry_corrupt) << bad;
    EXPECT_EQ(aftest::read_file(file), bad);
  }
}

TEST(StandInRegistry, NoMachineWithoutARootFolder) {
  Machine m;
  unsetenv("AF_SYSROOT");
  std::uint32_t d = 1;
  EXPECT_NE(afp::reg_set_key_value(u"K", u"v", afp::regtype::dword, &d, 4), 0u);
  EXPECT_EQ(read_size(u"K", u"v", afp::regrt::any), afp::syserr::file_not_found);
  char16_t buf[64];
  EXPECT_EQ(afp::get_system_directory(buf, 64), 0u);
  setenv("AF_SYSROOT", (m.base() / "does-not-exist").c_str(), 1);
  EXPECT_NE(afp::reg_set_key_value(u"K", u"v", afp::regtype::dword, &d, 4), 0u);
  EXPECT_FALSE(fs::exists(m.base() / "does-not-exist"));
}

TEST(StandInServices, CreateOpenStopDeleteAndMarkedForDelete) {
  Machine m;
  afp::ServiceHandle scm = 0, svc = 0, again = 0, other = 0;
  ASSERT_EQ(afp::open_service_manager(afp::svc::manager_all_access, scm), 0u);
  EXPECT_EQ(afp::open_service(scm, u"afmouse", afp::svc::all_access, svc), afp::syserr::service_does_not_exist);

  afp::ServiceConfig c;
  c.name = u"AfMouse";
  c.display_name = u"shown name";
  c.binary_path = u"C:\\x\\afmouse.sys";
  ASSERT_EQ(afp::create_service(scm, c, svc), 0u);
  EXPECT_EQ(get(kServiceKey, u"DisplayName"), (RegValue{afp::regtype::sz, sz(u"shown name")}));
  EXPECT_EQ(get(kServiceKey, u"ImagePath"), (RegValue{afp::regtype::expand_sz, sz(u"C:\\x\\afmouse.sys")}));
  c.name = u"AFMOUSE";
  EXPECT_EQ(afp::create_service(scm, c, again), afp::syserr::service_exists);
  ASSERT_EQ(afp::open_service(scm, u"afmouse", afp::svc::all_access, other), 0u);
  EXPECT_EQ(afp::stop_service(other), afp::syserr::service_not_active);

  EXPECT_EQ(afp::delete_service(other), 0u);
  EXPECT_EQ(get(kServiceKey, u"DeleteFlag"), (RegValue{afp::regtype::dword, dword(1)}));
  EXPECT_EQ(afp::delete_service(svc), afp::syserr::service_marked_for_delete);
  EXPECT_EQ(afp::create_service(scm, c, again), afp::syserr::service_marked_for_delete);
  // the key goes with the last handle, subkeys and all
  set(kInstancesKey, u"DefaultInstance", afp::regtype::sz, sz(u"x"));
  EXPECT_EQ(afp::close_service_handle(other), 0u);
  EXPECT_TRUE(get(kServiceKey, u"Type"));
  EXPECT_EQ(afp::close_service_handle(svc), 0u);
  EXPECT_FALSE(get(kServiceKey, u"Type"));
  EXPECT_FALSE(get(kInstancesKey, u"DefaultInstance"));
  EXPECT_EQ(afp::close_service_handle(svc), afp::syserr::invalid_handle);
  EXPECT_EQ(afp::stop_service(scm), afp::syserr::invalid_handle);

  ASSERT_EQ(afp::create_service(scm, c, svc), 0u);
  EXPECT_EQ(afp::close_service_handle(svc), 0u);
  EXPECT_TRUE(get(kServiceKey, u"Type"));
  EXPECT_EQ(afp::close_service_handle(scm), 0u);
}

TEST(StandInFiles, CopyAndDelayedDelete) {
  Machine m;
  const std::u16string drivers = afp::from_utf8(m.system_folder()) + u"\\drivers";
  const std::u16string src = afp::from_utf8((m.install_dir() / "afmouse.sys").string());
  EXPECT_EQ(afp::copy_file(src + u"x", drivers + u"\\a.sys", false), afp::syserr::file_not_found);
  EXPECT_EQ(afp::copy_file(src, drivers + u"\\missing\\a.sys", false), afp::syserr::path_not_found);
  ASSERT_EQ(afp::copy_file(src, drivers + u"\\a.sys", false), 0u);
  EXPECT_EQ(aftest::read_file(m.drivers_image().parent_path() / "a.sys"), kImage);
  EXPECT_EQ(afp::copy_file(src, drivers + u"\\a.sys", true), afp::syserr::file_exists);
  aftest::write_file(m.install_dir() / "afmouse.sys", "v2");
  EXPECT_EQ(afp::copy_file(src, drivers + u"\\a.sys", false), 0u);
  EXPECT_EQ(aftest::read_file(m.drivers_image().parent_path() / "a.sys"), "v2");
  EXPECT_TRUE(afp::file_exists(drivers + u"\\a.sys"));
  EXPECT_FALSE(afp::file_exists(drivers + u"\\b.sys"));

  ASSERT_EQ(afp::delete_file_at_restart(drivers + u"\\a.sys"), 0u);
  ASSERT_EQ(afp::delete_file_at_restart(drivers + u"\\..\\drivers\\b.sys"), 0u);
  // Each name as spelled, made full: ".." resolved, separators kept.
  EXPECT_EQ(get(kSessionKey, u"PendingFileRenameOperations"),
            (RegValue{afp::regtype::multi_sz,
                      multi({u"\\??\\" + drivers + u"\\a.sys", u"", u"\\??\\" + drivers + u"\\b.sys", u""})}));
  EXPECT_TRUE(fs::exists(m.drivers_image().parent_path() / "a.sys"));
}
