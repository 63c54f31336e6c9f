// stskit.run: a grid file through the engine's run, in-process, as stsgrid
// runs it (the same plan, the same lock beside the output, the same file),
// without the GIL; and the check of a run's settings alone, so that a
// cluster refuses wrong settings before any task starts.
#include <chrono>
#include <string>

#include "grid/grid_engine.h"
#include "grid/grid_setup.h"
#include "grid/pixel_codes.h"
#include "output/output_lock.h"
#include "python/binding.h"
#include "python/plan_binding.h"

namespace sts::python {

namespace {

// ".g.nc.lock" beside "g.nc", the lock stsgrid takes: a run here and a
// stsgrid run never write the same file at once.
std::string lock_name(const std::string& output) {
    const size_t slash = output.rfind('/');
    const size_t base = slash == std::string::npos ? 0 : slash + 1;
    return output.substr(0, base) + "." + output.substr(base) + ".lock";
}

// What a finished run says: the file, the grid's size, the pixels by
// outcome (stsgrid's closing lines, as values).
py::dict summary(const std::string& path, const run_outcome& r, double seconds) {
    const grid_collector& c = *r.collector;
    const auto& counts = c.by_code();
    const uint64_t processed = counts[PIXEL_PROCESSED];
    py::dict causes;
    for (int code = 1; code < PIXEL_CODES; ++code)
        if (counts[static_cast<size_t>(code)] != 0)
            causes[describe_code(code)] = counts[static_cast<size_t>(code)];
    py::dict out;
    out["path"] = path;
    out["output"] = r.output;
    // stsgrid's exit status 0 ("done") or 3 ("unprocessed": the file is
    // written, some pixels could not be processed).
    out["status"] = processed == c.pixels_seen() ? "done" : "unprocessed";
    out["nx"] = r.description.nx;
    out["ny"] = r.description.ny;
    out["points"] = r.description.points;
    out["processed"] = processed;
    out["unprocessed"] = c.pixels_seen() - processed;
    out["causes"] = causes;
    out["statistics_pixels"] = c.statistics_count();
    out["seconds"] = seconds;
    return out;
}

py::dict run(const std::string& path, const py::object& output, const py::dict& settings) {
    grid_plan p = plan_from_settings(settings, plan_use::file);
    p.inputs = {path};
    p.output = output.is_none() ? default_output(path) : py::str(output).cast<std::string>();
    run_outcome r;
    std::string busy_error;
    double seconds = 0;
    {
        py::gil_scoped_release free;
        const auto start = std::chrono::steady_clock::now();
        output_lock lock;
        bool busy = false;
        std::string refused;
        if (!lock.acquire(lock_name(p.output), &busy, &refused) && busy)
            busy_error = p.output + ": another stsgrid run is writing it; " + refused;
        else
            r = run_plan(p);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    if (!busy_error.empty()) throw py::value_error(busy_error);
    if (r.status != run_status::done) throw py::value_error(keyword_message(r.error));
    return summary(path, r, seconds);
}

const char* const run_doc =
    "Runs stsgrid on one grid file (or spectrum file) in-process: the same netCDF file, byte "
    "for byte, at output (default: the input's name with .nc, beside it) and the companions "
    "the settings ask for (pointmean, mean_text, line).  settings as for compute(), and "
    "format, partial.  Without the GIL.  ValueError with stsgrid's message when the run is "
    "refused or fails; else a summary dict (path, output, status 'done' or 'unprocessed', "
    "nx, ny, points, processed, unprocessed, causes, statistics_pixels, seconds).";

}  // namespace

void bind_run(py::module_& m) {
    m.def("run", &run, py::arg("path"), py::arg("output"), py::arg("settings"), run_doc);
    m.def(
        "check_settings",
        [](const py::dict& settings, bool file) {
            plan_from_settings(settings, file ? plan_use::file : plan_use::arrays);
        },
        py::arg("settings"), py::arg("file") = true,
        "ValueError (TypeError for an unknown name) when the settings are wrong, as run() "
        "and compute() would say.");
    m.attr("run_settings") = setting_names(plan_use::file);
    m.attr("compute_settings") = setting_names(plan_use::arrays);
}

}  // namespace sts::python
