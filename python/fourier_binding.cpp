// The Fourier maps (lib/fourier) for stskit.fourier: stacks of maps in,
// transforms, Bragg vectors, symmetrised stacks and drift-corrected
// stacks out.  Only wrapping: the computation is the library's own, run
// without the GIL; a reason the library gives is a ValueError.
#include <stdexcept>

#include "fourier/bragg_peaks.h"
#include "fourier/drift_correction.h"
#include "fourier/fft_map.h"
#include "fourier/lattice.h"
#include "fourier/point_group.h"
#include "fourier/symmetrise.h"
#include "python/binding.h"

namespace sts::python {

namespace {

void raise_if(const std::string& why) {
    if (!why.empty()) throw py::value_error(why);
}

fft_window window_of(const std::string& name) {
    if (name == "hann") return fft_window::hann;
    if (name == "none") return fft_window::none;
    throw py::value_error("window must be 'hann' or 'none', not '" + name + "'");
}

// A (slices, ny, nx) float32 stack, checked as the grid arrays are.
float_array stack_of(const py::object& maps, const char* what) {
    const auto a = py::reinterpret_borrow<py::array>(maps);
    if (!py::isinstance<py::array>(maps) || a.ndim() != 3)
        throw py::value_error(std::string(what) + ": a (slices, y, x) array is needed");
    return checked_floats(maps, what, {a.shape(0), a.shape(1), a.shape(2)});
}

// |F| of every slice, and each slice's count of filled pixels.
py::tuple fft_stack(const py::object& maps, double dx, double dy, const std::string& window,
                    unsigned threads) {
    const float_array a = stack_of(maps, "maps");
    const size_t n = static_cast<size_t>(a.shape(0)), ny = static_cast<size_t>(a.shape(1)),
                 nx = static_cast<size_t>(a.shape(2));
    raise_if(fft_problem(nx, ny, dx, dy));
    fft_options options;
    options.window = window_of(window);
    std::vector<float> out(n * nx * ny);
    std::vector<size_t> missing;
    std::string why;
    {
        py::gil_scoped_release free;
        why = fft_maps(a.data(), n, nx, ny, options, threads, out.data(), &missing);
    }
    raise_if(why);
    const auto s = [](size_t v) { return static_cast<py::ssize_t>(v); };
    return py::make_tuple(owning_array(std::move(out), {s(n), s(ny), s(nx)}), missing,
                          q_axis(nx, dx), q_axis(ny, dy));
}

// The Bragg vectors found in one map's transform (amplitude, as fft_map).
py::tuple find_bragg(const py::object& map, double dx, double dy, const std::string& window) {
    const auto a = py::reinterpret_borrow<py::array>(map);
    if (!py::isinstance<py::array>(map) || a.ndim() != 2)
        throw py::value_error("topography: a (y, x) array is needed");
    const float_array t = checked_floats(map, "topography", {a.shape(0), a.shape(1)});
    fft_options options;
    options.window = window_of(window);
    q_map q;
    bragg_pair pair;
    std::string why;
    {
        py::gil_scoped_release free;
        why = fft_map(t.data(), static_cast<size_t>(t.shape(1)), static_cast<size_t>(t.shape(0)),
                      dx, dy, options, q);
        if (why.empty()) why = find_bragg_peaks(q, {}, pair);
    }
    raise_if(why);
    return py::make_tuple(py::make_tuple(pair.first.q.qx, pair.first.q.qy),
                          py::make_tuple(pair.second.q.qx, pair.second.q.qy));
}

py::dict lattice(double q1x, double q1y, double q2x, double q2y) {
    std::string why;
    const lattice_geometry g = lattice_from_bragg({q1x, q1y}, {q2x, q2y}, why);
    raise_if(why);
    py::dict d;
    d["a1"] = g.a1;
    d["a2"] = g.a2;
    d["lattice_angle"] = g.lattice_angle;
    d["q1_angle"] = g.q1_angle;
    return d;
}

py::array symmetrise_stack(const py::object& maps, double dqx, double dqy, double frame_angle,
                           const std::string& group) {
    const float_array a = stack_of(maps, "maps");
    std::vector<point_operation> ops;
    raise_if(point_group(group, ops));
    const size_t n = static_cast<size_t>(a.shape(0)), ny = static_cast<size_t>(a.shape(1)),
                 nx = static_cast<size_t>(a.shape(2));
    std::vector<float> out(n * nx * ny);
    std::string why;
    {
        py::gil_scoped_release free;
        for (size_t k = 0; k < n && why.empty(); ++k)
            why = symmetrise_values(a.data() + k * nx * ny, nx, ny, dqx, dqy, frame_angle, ops,
                                    out.data() + k * nx * ny);
    }
    raise_if(why);
    return owning_array(std::move(out), {a.shape(0), a.shape(1), a.shape(2)});
}

// The displacement field of the topography and the stack read at r + u(r).
py::tuple drift_correct_stack(const py::object& topography, const py::object& maps, double dx,
                              double dy, py::tuple q1, py::tuple q2, double lambda,
                              unsigned threads) {
    const float_array a = stack_of(maps, "maps");
    const float_array t = checked_floats(topography, "topography", {a.shape(1), a.shape(2)});
    const size_t n = static_cast<size_t>(a.shape(0)), ny = static_cast<size_t>(a.shape(1)),
                 nx = static_cast<size_t>(a.shape(2));
    const bragg_vector b1{q1[0].cast<double>(), q1[1].cast<double>()};
    const bragg_vector b2{q2[0].cast<double>(), q2[1].cast<double>()};
    drift_field field;
    std::vector<float> out(n * nx * ny), topo(nx * ny);
    std::string why;
    {
        py::gil_scoped_release free;
        why = drift_field_of(t.data(), nx, ny, dx, dy, b1, b2, lambda, field);
        if (why.empty()) why = drift_correct(field, t.data(), 1, threads, topo.data());
        if (why.empty()) why = drift_correct(field, a.data(), n, threads, out.data());
    }
    raise_if(why);
    const py::ssize_t h = a.shape(1), w = a.shape(2);
    return py::make_tuple(owning_array(std::move(out), {a.shape(0), h, w}),
                          owning_array(std::move(topo), {h, w}),
                          owning_array(std::move(field.ux), {h, w}),
                          owning_array(std::move(field.uy), {h, w}), field.lambda);
}

}  // namespace

void bind_fourier(py::module_& m) {
    m.def("fft_maps", &fft_stack, py::arg("maps"), py::arg("dx"), py::arg("dy"),
          py::arg("window") = "hann", py::arg("threads") = 0,
          "|F| of each (y, x) slice of a float32 stack, mean removed, missing pixels at the "
          "mean, centred; returns (transforms, filled pixels per slice, qx, qy) in nm^-1");
    m.def("find_bragg", &find_bragg, py::arg("topography"), py::arg("dx"), py::arg("dy"),
          py::arg("window") = "hann", "the two Bragg vectors (nm^-1) of a topography's lattice");
    m.def("lattice", &lattice, py::arg("q1x"), py::arg("q1y"), py::arg("q2x"), py::arg("q2y"),
          "the lattice constants (nm) and angles (degrees) of two Bragg vectors");
    m.def("symmetrise", &symmetrise_stack, py::arg("maps"), py::arg("dqx"), py::arg("dqy"),
          py::arg("frame_angle"), py::arg("group"),
          "each centred q-map averaged over a point group about the first Bragg vector");
    m.def("drift_correct", &drift_correct_stack, py::arg("topography"), py::arg("maps"),
          py::arg("dx"), py::arg("dy"), py::arg("q1"), py::arg("q2"), py::arg("drift_lambda") = 0.0,
          py::arg("threads") = 0,
          "(corrected maps, corrected topography, u_x, u_y, lambda) after Lawler et al. 2010");
}

}  // namespace sts::python
