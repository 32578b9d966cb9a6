// afreg: reads and writes registry values through the platform layer, for
// tests that compare the installer's runs on Linux and under Wine.
//   afreg get <key> <value>            prints "<type> <hex bytes>" or "missing <code>"
//   afreg set <key> <value> <type> <hex bytes>
//   afreg sysdir                       prints the system folder
// Keys are under HKEY_LOCAL_MACHINE. Exit code 0, or 1 on a failed set or a
// bad command line.
#include <cstdio>
#include <string>
#include <vector>

#include <platform/registry.h>
#include <platform/sysfiles.h>

namespace {

int hex_digit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::u16string> args = afp::command_line_arguments(argc, argv);
  if (args.size() == 2 && args[1] == u"sysdir") {
    char16_t buf[1024];
    std::uint32_t n = afp::get_system_directory(buf, 1024);
    if (n == 0 || n >= 1024) return 1;
    std::printf("%s\n", afp::to_utf8(std::u16string_view(buf, n)).c_str());
    return 0;
  }
  if (args.size() == 4 && args[1] == u"get") {
    std::uint32_t type = 0, size = 0;
    std::uint32_t err = afp::reg_get_value(args[2], args[3], afp::regrt::any, &type, nullptr, &size);
    std::vector<unsigned char> data(size + 1);
    if (!err) err = afp::reg_get_value(args[2], args[3], afp::regrt::any, &type, data.data(), &size);
    if (err) {
      std::printf("missing %u\n", static_cast<unsigned>(err));
      return 0;
    }
    std::printf("%u ", static_cast<unsigned>(type));
    for (std::uint32_t i = 0; i < size; ++i) std::printf("%02x", data[i]);
    std::printf("\n");
    return 0;
  }
  if (args.size() == 6 && args[1] == u"set") {
    std::uint32_t type = 0;
    for (char16_t c : args[4]) {
      if (c < u'0' || c > u'9') return 1;
      type = type * 10 + (c - u'0');
    }
    const std::u16string& hex = args[5];
    if (hex.size() % 2) return 1;
    std::vector<unsigned char> data;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
      int hi = hex_digit(hex[i]), lo = hex_digit(hex[i + 1]);
      if (hi < 0 || lo < 0) return 1;
      data.push_back(static_cast<unsigned char>(hi * 16 + lo));
    }
    std::uint32_t err = afp::reg_set_key_value(args[2], args[3], type, data.data(),
                                               static_cast<std::uint32_t>(data.size()));
    if (err) std::printf("error %u\n", static_cast<unsigned>(err));
    return err ? 1 : 0;
  }
  std::fprintf(stderr, "usage: afreg get <key> <value> | set <key> <value> <type> <hex> | sysdir\n");
  return 1;
}
