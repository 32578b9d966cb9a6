#include "pyrt.h"

#include <optional>

namespace arcflex {

namespace {
std::optional<py::module_> g_np;
std::optional<py::module_> g_tkinter;
std::optional<py::object> g_splev;
}  // namespace

std::string py_repr(py::handle obj) { return py::repr(obj).cast<std::string>(); }

std::string error_text(const std::exception& e) {
  if (auto* pe = dynamic_cast<const py::error_already_set*>(&e)) {
    return py::str(pe->value()).cast<std::string>();
  }
  return e.what();
}

py::module_& np() {
  if (!g_np) g_np = py::module_::import("numpy");
  return *g_np;
}

py::object splev_fn() {
  if (!g_splev) g_splev = py::module_::import("scipy.interpolate").attr("splev");
  return *g_splev;
}

py::module_& tkinter() {
  if (!g_tkinter) g_tkinter = py::module_::import("tkinter");
  return *g_tkinter;
}

void release_runtime_refs() {
  g_np.reset();
  g_tkinter.reset();
  g_splev.reset();
}

}  // namespace arcflex
