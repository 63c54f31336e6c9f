// What the two halves of the module stskit._core share: the import options
// taken from the argument list the tools take, and the array checks.
#ifndef PYTHON_BINDING_H
#define PYTHON_BINDING_H

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <string>
#include <vector>

#include "readers/import_options.h"

namespace sts::python {

namespace py = pybind11;

// The import options of an argument list such as stsimport takes
// ("--channel=Current", "--direction=mean", "--sweep=2", "--each-sweep"),
// parsed by the tools' own parser, so that names, values and messages are
// theirs, and signal_channel the measured dI/dV channel read beside the
// current ("" for none).  ValueError with the parser's message otherwise.
import_options options_from_args(const std::vector<std::string>& args,
                                 const std::string& signal_channel = "");

// A float32 array that is C-contiguous with exactly this shape, else
// TypeError (dtype, layout) or ValueError (shape), naming `what`: never a
// converted copy.
using float_array = py::array_t<float, py::array::c_style>;
float_array checked_floats(const py::object& value, const char* what,
                           const std::vector<py::ssize_t>& shape);

// A new float32 array that owns the vector's values (moved, not copied).
py::array owning_array(std::vector<float>&& values, const std::vector<py::ssize_t>& shape);

void bind_readers(py::module_& m);
void bind_grid_engine(py::module_& m);
void bind_fourier(py::module_& m);
void bind_run(py::module_& m);

}  // namespace sts::python

#endif
