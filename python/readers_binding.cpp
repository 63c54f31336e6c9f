// The readers for Python: format detection, point spectra, a grid's header.
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "python/binding.h"
#include "python/plan_binding.h"
#include "readers/binary_content.h"
#include "readers/byte_source.h"
#include "readers/file_format.h"
#include "readers/grid_header.h"
#include "readers/header_entries.h"
#include "readers/import_option_parser.h"
#include "readers/nanonis_grid.h"
#include "readers/read_spectra.h"
#include "readers/spectrum_on_scan.h"

namespace sts::python {

import_options options_from_args(const std::vector<std::string>& args,
                                 const std::string& signal_channel) {
    std::vector<std::string> text = args;
    std::vector<char*> argv;
    for (auto& a : text) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(text.size());
    import_options o;
    for (int i = 0; i < argc; ++i) {
        std::string error;
        switch (take_import_option(argc, argv.data(), &i, &o, &error)) {
            case option_take::taken:
                break;
            case option_take::bad:
                throw py::value_error(error);
            case option_take::not_ours:
                throw py::value_error("unknown option '" + text[i] + "'");
        }
    }
    o.signal_channel = signal_channel;
    return o;
}

float_array checked_floats(const py::object& value, const char* what,
                           const std::vector<py::ssize_t>& shape) {
    if (!py::isinstance<py::array>(value))
        throw py::type_error(std::string(what) + ": a numpy array of float32 is needed");
    const auto a = py::reinterpret_borrow<py::array>(value);
    if (!a.dtype().is(py::dtype::of<float>()))
        throw py::type_error(std::string(what) + ": float32 is needed, not " +
                             std::string(py::str(a.dtype())));
    if (!(a.flags() & py::array::c_style))
        throw py::type_error(std::string(what) + ": a C-contiguous array is needed");
    bool same = a.ndim() == static_cast<py::ssize_t>(shape.size());
    for (size_t k = 0; same && k < shape.size(); ++k)
        same = a.shape(static_cast<py::ssize_t>(k)) == shape[k];
    if (!same) {
        std::string want, got;
        for (auto s : shape) want += (want.empty() ? "" : ", ") + std::to_string(s);
        for (py::ssize_t k = 0; k < a.ndim(); ++k)
            got += (got.empty() ? "" : ", ") + std::to_string(a.shape(k));
        throw py::value_error(std::string(what) + ": shape (" + want + ") is needed, not (" + got +
                              ")");
    }
    return py::reinterpret_borrow<float_array>(a);
}

py::array owning_array(std::vector<float>&& values, const std::vector<py::ssize_t>& shape) {
    auto* held = new std::vector<float>(std::move(values));
    py::capsule owner(held, [](void* p) { delete static_cast<std::vector<float>*>(p); });
    return py::array_t<float>(shape, held->data(), owner);
}

namespace {

std::vector<float> floats_of(const std::vector<double>& v) {
    return std::vector<float>(v.begin(), v.end());  // each value rounded once, as every tool does
}

py::dict spectrum_dict(imported_spectrum& s) {
    py::dict d;
    const auto n = static_cast<py::ssize_t>(s.bias.size());
    d["bias"] = owning_array(floats_of(s.bias), {n});
    d["current"] = owning_array(floats_of(s.current), {n});
    if (!s.signal.empty()) d["signal"] = owning_array(floats_of(s.signal), {n});
    d["source"] = s.source;
    d["pixel_x"] = s.pixel_x;
    d["pixel_y"] = s.pixel_y;
    d["sweep"] = s.sweep;
    d["direction"] = s.direction;
    return d;
}

// Every spectrum of a file, as stsimport reads it; ValueError with its message.
py::tuple read_file(const std::string& path, const std::vector<std::string>& args,
                    const std::string& signal_channel, bool force) {
    import_options o = options_from_args(args, signal_channel);
    o.signal_any_unit = force;
    std::vector<imported_spectrum> spectra;
    std::string error, warning;
    bool ok = false;
    {
        py::gil_scoped_release free;
        ok = read_spectra_file(path, o, &spectra, &error, &warning);
    }
    if (!ok) throw py::value_error(path + ": " + keyword_message(error));
    py::list list;
    for (auto& s : spectra) list.append(spectrum_dict(s));
    return py::make_tuple(list, warning);
}

std::string head_of(const std::string& path, size_t count) {
    std::string error, head;
    const std::unique_ptr<file_source> file = file_source::open(path, &error);
    if (!file || !read_head(*file, count, &head, &error))
        throw py::value_error(path + ": " + error);
    return head;
}

// Header text as bytes: instruments write Latin-1 as well as UTF-8, and
// the package decodes it (a str here would refuse the former).
py::list entries_as_bytes(const std::vector<std::pair<std::string, std::string>>& entries) {
    py::list list;
    for (const auto& [key, value] : entries)
        list.append(py::make_tuple(py::bytes(key), py::bytes(value)));
    return list;
}

// A Nanonis grid's header: every key=value in order, and what was made of it.
py::dict grid_header_of(const std::string& path) {
    std::string error, head;
    const std::unique_ptr<file_source> file = file_source::open(path, &error);
    grid_header h;
    if (!file || !read_grid_head(*file, &head, &error) || !parse_grid_header(head, &h, &error))
        throw py::value_error(path + ": " + error);
    py::dict d;
    d["nx"] = h.nx;
    d["ny"] = h.ny;
    d["points"] = h.points;
    d["channels"] = h.channels;
    d["parameters"] = h.parameters;
    d["sweep_signal"] = h.sweep_signal;
    d["entries"] = entries_as_bytes(h.entries);
    return d;
}

// The header lines of a point file as (key, value), in the format given
// or found.
py::list header_of(const std::string& path, const std::string& format) {
    std::string error, bytes;
    const std::unique_ptr<file_source> file = file_source::open(path, &error);
    if (!file || !file->read_all(&bytes, &error)) throw py::value_error(path + ": " + error);
    file_format f = file_format::automatic;
    if (!format_from_name(format, &f)) throw py::value_error("unknown format '" + format + "'");
    return entries_as_bytes(
        header_entries(f == file_format::automatic ? detect_format(bytes) : f, bytes));
}

// Where the point spectrum of path sits on the scan image (stsimport --scan).
py::dict place_on_scan(const std::string& path, const std::string& scan_path) {
    sxm_scan scan;
    std::string error, bytes;
    if (!read_scan_file(scan_path, &scan, &error)) throw py::value_error(error);
    const std::unique_ptr<file_source> file = file_source::open(path, &error);
    if (!file || !file->read_all(&bytes, &error)) throw py::value_error(path + ": " + error);
    scan_spot spot;
    if (!place_spectrum_on_scan(bytes, scan, &spot, &error))
        throw py::value_error(path + " on " + scan_path + ": " + error);
    py::dict d;
    d["column"] = spot.column;
    d["row"] = spot.row;
    d["x_nm"] = spot.x_nm;
    d["y_nm"] = spot.y_nm;
    d["position_x_m"] = spot.x_m;
    d["position_y_m"] = spot.y_m;
    d["frame"] = frame_text(scan.frame.frame);
    d["pixels"] = py::make_tuple(scan.frame.nx, scan.frame.ny);
    return d;
}

}  // namespace

void bind_readers(py::module_& m) {
    m.def(
        "detect_format",
        [](py::bytes head) {
            return std::string(format_name(detect_format(std::string_view(head))));
        },
        py::arg("head"),
        "The format the readers see in a file's first bytes: 'dat', '3ds', 'csv', 'vert', "
        "'pairs', 'mtrx', 'omicron-text', 'sm4' or 'unknown'.");
    m.def(
        "unreadable_kind", [](py::bytes head) { return unreadable_kind(std::string_view(head)); },
        py::arg("head"), "What binary bytes of no format read here look like ('' for text).");
    m.def(
        "read_head",
        [](const std::string& path, size_t count) { return py::bytes(head_of(path, count)); },
        py::arg("path"), py::arg("count") = 4096, "The first count bytes of a file (as bytes).");
    m.def("readable_formats", &readable_formats, "The formats read, as a phrase for messages.");
    m.def("read_spectra", &read_file, py::arg("path"), py::arg("args") = std::vector<std::string>{},
          py::arg("signal_channel") = "", py::arg("force") = false,
          "Every spectrum of an instrument file as stsimport reads it, with the import options "
          "given as stsimport's arguments ('--channel=Current', '--direction=mean', ...): a "
          "list of dicts (bias, current[, signal: the channel signal_channel] as float32, each "
          "value rounded once; source, "
          "pixel_x, pixel_y, sweep, direction) and the warning ('' if none).  ValueError with "
          "the reader's message.");
    m.def("header_entries", &header_of, py::arg("path"), py::arg("format") = "auto",
          "The header lines of a Nanonis .dat or Createc .VERT file as (key, value) bytes, "
          "in their order; none for other formats.");
    m.def("place_on_scan", &place_on_scan, py::arg("path"), py::arg("scan"),
          "Where the point spectrum of path (a Nanonis .dat, from its \"X (m)\", \"Y (m)\") "
          "sits on the Nanonis scan image scan (.sxm): a dict of column, row (the scan's "
          "pixel, row 0 at the bottom), x_nm, y_nm (from the frame's lower left corner along "
          "its axes), position_x_m, position_y_m (as recorded), frame and pixels.  "
          "ValueError outside the frame or without a recorded position, as stsimport --scan.");
    m.def("grid_header", &grid_header_of, py::arg("path"),
          "A Nanonis .3ds header: nx, ny, points, channels, parameters, sweep_signal and every "
          "(key, value) entry in order (as bytes).");
}

}  // namespace sts::python
