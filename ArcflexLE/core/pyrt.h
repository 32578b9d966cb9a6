// Access to the Python runtime and the libraries the editor drives.
#pragma once

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <string>

// Marks a type that holds Python objects as hidden, like pybind11's own
// types, so headers can be shared by targets built with and without
// -fvisibility=hidden.
#if defined(__GNUC__) && !defined(_WIN32)
#define AF_HIDDEN __attribute__((visibility("hidden")))
#else
#define AF_HIDDEN
#endif

namespace arcflex {

namespace py = pybind11;

// Python's own text of a number (or any object): repr(obj). Reals come out
// as the shortest round-trip form ("1.0", "1e-05"), ints as plain digits.
std::string py_repr(py::handle obj);

// The message text of a failure, as Python's str(exception) gives it for a
// Python error.
std::string error_text(const std::exception& e);

// Imported modules, loaded on first use and kept for the run.
py::module_& np();                // numpy
py::object splev_fn();            // scipy.interpolate.splev
py::module_& tkinter();           // tkinter

// Drops the cached module references; part of the exit path, so no Python
// object outlives the interpreter.
void release_runtime_refs();

}  // namespace arcflex
