// The installer's edit of the mouse class's filter list: any stored bytes,
// added to on install and taken out of on uninstall. Byte 0: bit 0 picks
// install or uninstall; with bit 1 the rest is not the list but the key's
// whole values file in the stand-in machine's registry store, which the
// installer then reads and writes through the platform layer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "af_test_env.h"
#include "scripted_system.h"

namespace {

namespace fs = std::filesystem;

const std::u16string kClassKey =
    u"SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e96f-e325-11ce-bfc1-08002be10318}";

// The scripted machine with the real registry store under it.
class StoreSystem : public ScriptedSystem {
 public:
  std::uint32_t reg_get_value(std::u16string_view subkey, std::u16string_view value, std::uint32_t restrict_types,
                              void* data, std::uint32_t* size) override {
    return afp::reg_get_value(subkey, value, restrict_types, nullptr, data, size);
  }
  std::uint32_t reg_set_key_value(std::u16string_view subkey, std::u16string_view value, std::uint32_t type,
                                  const void* data, std::uint32_t size) override {
    return afp::reg_set_key_value(subkey, value, type, data, size);
  }
};

// The values file of the class key, made once by a write through the store.
fs::path values_file;

// The value's type and bytes as the store gives them, or the read's error.
std::uint32_t read_value(std::u16string_view name, std::uint32_t& type, std::string& bytes) {
  std::uint32_t size = 0;
  if (auto err = afp::reg_get_value(kClassKey, name, afp::regrt::any, &type, nullptr, &size)) return err;
  bytes.assign(size, '\0');
  if (auto err = afp::reg_get_value(kClassKey, name, afp::regrt::any, &type, bytes.data(), &size)) return err;
  bytes.resize(size);
  return 0;
}

// Any file the reader takes, the writer writes back in a form the reader
// takes again, with the other values unchanged: a stored value is copied
// under a new name and both are read back.
void check_round_trip() {
  std::uint32_t type = 0, type2 = 0, type3 = 0;
  std::string bytes, copy, again;
  if (read_value(u"UpperFilters", type, bytes) != 0) return;
  if (afp::reg_set_key_value(kClassKey, u"FuzzCopy", type, bytes.data(), static_cast<std::uint32_t>(bytes.size())))
    __builtin_trap();
  if (read_value(u"FuzzCopy", type2, copy) || read_value(u"UpperFilters", type3, again)) __builtin_trap();
  if (type2 != type || type3 != type || copy != bytes || again != bytes) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const fs::path root = aftest::make_temp_dir("af-fuzz-store");
  setenv("AF_SYSROOT", root.c_str(), 1);
  if (afp::reg_set_key_value(kClassKey, u"Class", afp::regtype::sz, "M\0\0\0", 4) != 0) std::abort();
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.path().filename() == ".values" && e.path().parent_path().filename().string().front() == '{')
      values_file = e.path();
  if (values_file.empty()) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::u16string mode = data[0] % 2 ? u"/I" : u"/U";
  if (data[0] & 2) {
    aftest::write_file(values_file, rest);
    StoreSystem sys;
    afinst::run(sys, {u"AF_Driver_Installer", mode});
    check_round_trip();
    return 0;
  }
  ScriptedSystem sys;
  sys.list = rest;
  afinst::run(sys, {u"AF_Driver_Installer", mode});
  return 0;
}
