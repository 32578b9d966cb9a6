// The stand-in machine under $AF_SYSROOT: its folders and the file-backed
// registry store shared by the registry, service and file calls.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace afp::sysstore {

// $AF_SYSROOT without trailing '/', or nothing when it is unset, empty or
// not an absolute path.
std::optional<std::string> root_path();

// A file name given in UTF-16 as a Linux path: '\\' separates like '/'.
std::string native_path(std::u16string_view path);

// Makes the machine's standard folders (windows/system32/drivers, registry)
// when the root folder exists; false when there is no root folder.
bool ensure_layout();

// One value as the store keeps it.
struct Value {
  std::u16string name;
  std::uint32_t type = 0;
  std::string data;
};

// The values of one key, in stored order.
using Values = std::vector<Value>;

// Holds the store's lock (an flock on registry/.lock) for its lifetime, so a
// read-modify-write of several processes is not interleaved.
class Lock {
 public:
  Lock();
  ~Lock();
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Case-insensitive comparison of names (ASCII letters fold).
bool names_equal(std::u16string_view a, std::u16string_view b);

// Reads the values of HKEY_LOCAL_MACHINE\<subkey>: 0, file_not_found or
// registry_corrupt.
std::uint32_t read_key(std::u16string_view subkey, Values& out);

// Whether the key exists (0), or file_not_found / registry_corrupt.
std::uint32_t key_exists(std::u16string_view subkey);

// Replaces the values of HKEY_LOCAL_MACHINE\<subkey>, creating the key and
// the keys above it; the values file is replaced atomically.
std::uint32_t write_key(std::u16string_view subkey, const Values& values);

// Removes the key with every key below it.
std::uint32_t delete_tree(std::u16string_view subkey);

// Sets one value in `values` (replacing one of the same name in any case,
// which keeps its stored name).
void put_value(Values& values, std::u16string_view name, std::uint32_t type, std::string data);

// The value of that name in any case, or null.
const Value* find_value(const Values& values, std::u16string_view name);

}  // namespace afp::sysstore
