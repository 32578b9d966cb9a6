// The editor's readers of outside input, with the interpreter started once:
// the meter's report lines (the reader thread's parser), "p.dat" and
// "GUI.dat" through the start-up load (and a curve it accepts written back),
// profiles and "keys.dat". The first byte chooses the reader.
#include <pybind11/embed.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "af_test_env.h"
#include "meter_link.h"
#include "pyrt.h"
#include "profile_keys.h"
#include "profiles.h"
#include "settings_files.h"
#include "state.h"
#include "state_defaults.h"

namespace fs = std::filesystem;
namespace py = pybind11;

namespace {

void put(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("LOCALAPPDATA", aftest::make_temp_dir("af-fuzz").c_str(), 1);
  py::initialize_interpreter();
  // Modules that keep state for the rest of the process are loaded here, so
  // the leak check of each input sees only what the input allocated.
  arcflex::np();
  arcflex::splev_fn();
  py::module_::import("copy");
  arcflex::assign_defaults();
  arcflex::settingsdir = arcflex::data_folder("Arcflex LE", "settings");
  fs::create_directories(arcflex::settingsdir);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string dir = arcflex::settingsdir;
  // Curve files set aside by earlier inputs each take a name of their own.
  for (const auto& e : fs::directory_iterator(dir)) {
    if (e.path().filename().string().rfind("p.dat.bad", 0) == 0) fs::remove(e.path());
  }
  switch (data[0] % 5) {
    case 0:
      for (int mode : {0, 1, 2}) arcflex::meter_line_item(input, mode);
      break;
    case 1:
      fs::remove(dir + "GUI.dat");
      put(dir + "p.dat", input);
      arcflex::init_err = false;
      arcflex::initialize_af();
      if (!arcflex::init_err) arcflex::write_curve();
      break;
    case 2:
      put(dir + "GUI.dat", input);
      arcflex::initialize_af();
      break;
    case 3: {
      put(dir + "p.afcurve", input);
      if (auto lines = arcflex::read_profile_file(dir + "p.afcurve")) arcflex::parse_profile(*lines);
      break;
    }
    case 4:
      put(dir + "keys.dat", input);
      arcflex::read_profile_keys_file(dir + "keys.dat");
      break;
  }
  return 0;
}
