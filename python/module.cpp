// stskit._core: the readers and the grid engine for Python.  Only wrapping:
// every computation is the libraries' own.
#include "python/binding.h"

PYBIND11_MODULE(_core, m) {
    m.doc() = "The C++ readers and grid engine of the STS tools (wrapped, not re-implemented).";
    sts::python::bind_readers(m);
    sts::python::bind_grid_engine(m);
    sts::python::bind_fourier(m);
    sts::python::bind_run(m);
}
