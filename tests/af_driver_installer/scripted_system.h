// An installer System held in memory for the installer's logic tests and
// its fuzzer: every call is recorded, a call named in `fail` returns that
// error, and the filter list is a byte string.
#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <platform/registry.h>
#include <platform/sysfiles.h>

#include "installer.h"

// Records every call; a call named in `fail` returns that error. The filter
// list is held in memory.
class ScriptedSystem : public afinst::System {
 public:
  std::vector<std::string> calls;
  std::map<std::string, std::uint32_t> fail;
  std::string list{"m\0o\0u\0c\0l\0a\0s\0s\0\0\0\0\0", 20};  // "mouclass" as a multi-string
  std::uint32_t list_type = afp::regtype::multi_sz;
  std::u16string system_folder = u"C:\\Windows\\system32";
  std::uint32_t system_folder_result = 0;  // 0: the folder's length
  std::string printed;

  std::uint32_t outcome(const std::string& call) {
    calls.push_back(call);
    auto it = fail.find(call);
    return it == fail.end() ? 0 : it->second;
  }

  std::uint32_t system_directory(char16_t* buffer, std::uint32_t size) override {
    calls.push_back("system_directory");
    if (system_folder_result) return system_folder_result;
    if (system_folder.size() + 1 > size) return static_cast<std::uint32_t>(system_folder.size() + 1);
    std::copy(system_folder.begin(), system_folder.end(), buffer);
    buffer[system_folder.size()] = 0;
    return static_cast<std::uint32_t>(system_folder.size());
  }
  bool file_exists(std::u16string_view) override { return outcome("file_exists") == 0; }
  std::uint32_t copy_file(std::u16string_view, std::u16string_view to, bool) override {
    copied_to = std::u16string(to);
    return outcome("copy_file");
  }
  std::uint32_t delete_file_at_restart(std::u16string_view path) override {
    deleted = std::u16string(path);
    return outcome("delete_file_at_restart");
  }
  std::uint32_t open_service_manager(afp::ServiceHandle& out) override {
    out = 1;
    return outcome("open_service_manager");
  }
  std::uint32_t create_service(afp::ServiceHandle, const afp::ServiceConfig& c, afp::ServiceHandle& out) override {
    config = c;
    out = 2;
    return outcome("create_service");
  }
  std::uint32_t open_service(afp::ServiceHandle, std::u16string_view, afp::ServiceHandle& out) override {
    out = 2;
    return outcome("open_service");
  }
  std::uint32_t stop_service(afp::ServiceHandle) override { return outcome("stop_service"); }
  std::uint32_t delete_service(afp::ServiceHandle) override { return outcome("delete_service"); }
  std::uint32_t close_service_handle(afp::ServiceHandle h) override {
    return outcome(h == 1 ? "close_manager" : "close_service");
  }
  std::uint32_t reg_get_value(std::u16string_view, std::u16string_view, std::uint32_t restrict_types, void* data,
                              std::uint32_t* size) override {
    if (auto err = outcome(data ? "read_list" : "size_list")) return err;
    if (restrict_types != afp::regrt::multi_sz || list_type != afp::regtype::multi_sz)
      return afp::syserr::unsupported_type;
    if (data && *size < list.size()) {
      *size = static_cast<std::uint32_t>(list.size());
      return afp::syserr::more_data;
    }
    if (data) std::memcpy(data, list.data(), list.size());
    *size = static_cast<std::uint32_t>(list.size());
    return 0;
  }
  std::uint32_t reg_set_key_value(std::u16string_view, std::u16string_view value, std::uint32_t type,
                                  const void* data, std::uint32_t size) override {
    std::string name = afp::to_utf8(value);
    if (auto err = outcome("set " + name)) return err;
    if (name == "UpperFilters") {
      list.assign(static_cast<const char*>(data), size);
      list_type = type;
    }
    return 0;
  }
  void print(std::string_view text) override { printed += text; }

  std::u16string copied_to, deleted;
  afp::ServiceConfig config;
};

