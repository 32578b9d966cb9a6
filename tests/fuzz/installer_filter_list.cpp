// The installer's edit of the mouse class's filter list: any stored bytes,
// added to on install and taken out of on uninstall.
#include <cstddef>
#include <cstdint>
#include <string>

#include "scripted_system.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  ScriptedSystem sys;
  sys.list.assign(reinterpret_cast<const char*>(data) + 1, size - 1);
  afinst::run(sys, {u"AF_Driver_Installer", data[0] % 2 ? u"/I" : u"/U"});
  return 0;
}
