// The meter's readers of outside input: the lookup-table file as it is
// read and turned into the driver's curve message, and the pipe commands.
// The first byte chooses the reader; the rest is the input.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "meter_logic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] % 2 == 0) {
    std::istringstream in(input);
    const afmeter::CurveFile file = afmeter::read_curve_file(in);
    afmeter::CurveSlots slots;
    slots.assign(file);
    afmeter::Message m = afmeter::allocate_message(afmeter::kSetCurveSize);
    if (m.bytes) afmeter::fill_set_curve(m.bytes.get(), slots);
  } else {
    afmeter::match_pipe_command(input.data(), input.size());
  }
  return 0;
}
