// The engine's one call: see grid_engine.h.
#include "grid/grid_engine.h"

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "grid/grid_setup.h"
#include "grid/grid_source.h"
#include "grid/line_output.h"
#include "grid/lockin_pass.h"
#include "grid/netcdf_writer.h"
#include "grid/quantities.h"
#include "grid/scan_on_grid.h"
#include "grid/side_task.h"
#include "grid/statistics_pass.h"

namespace sts {

namespace {

// The scratch files of a run without a file go where temporary files go.
std::string temporary_folder() {
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

std::string folder_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

run_settings settings_of(const grid_plan& p, const lockin_settings& ls) {
    run_settings rs;
    rs.threads = thread_count(p);
    rs.norm = p.norm;
    rs.lockin = ls;
    rs.keep_input = !p.pointmean.empty();
    if (p.gap.given) {
        rs.gap.curve = find_pixel_quantity(p.gap.variable);
        rs.gap.options.threshold = p.gap.threshold;
        rs.gap.options.window = p.gap.window;
    }
    if (p.fit.given) {
        rs.fit.curve = find_pixel_quantity(p.fit.variable);
        rs.fit.options = p.fit.settings;
        rs.fit.options.bias_to_meV = p.import.bias_scale == 1e3 ? 1 : 1000;
    }
    rs.smooth_window = p.smooth_window;
    rs.smooth_order = p.smooth_order;
    return rs;
}

// What the run's stages share: the plan, the grid and what gathers.
struct run_state {
    const grid_plan& plan;
    const run_callbacks& callbacks;
    const grid_source& source;
    run_outcome* out;
    fourier_gatherer* fourier = nullptr;  // with --fft
    bool cancelled = false;  // the caller's cancel() ended the run
};

// The blocks' stages: the file (when there is one), the statistics with the
// line and progress, and the caller's sink.
std::vector<block_sink> stages(run_state& s, netcdf_writer* w) {
    std::vector<block_sink> list;
    grid_collector* c = s.out->collector.get();
    line_collector* line = s.out->line.get();
    const uint64_t total = static_cast<uint64_t>(s.out->description.nx * s.out->description.ny);
    const auto& cb = s.callbacks;
    bool* cancelled = &s.cancelled;
    list.push_back([c, line, total, &cb, cancelled](const pixel_block& b, const input_block& in,
                                                    std::string* error) {
        c->add(b, in);
        if (line) line->add(b);
        if (cb.progress) cb.progress(c->pixels_seen(), total);
        if (cb.cancelled && cb.cancelled()) {
            *cancelled = true;
            *error = "the run was cancelled";
            return false;
        }
        return true;
    });
    if (w) list.push_back([w](const pixel_block& b, const input_block&, std::string* e) {
        return w->write(b, e);
    });
    if (fourier_gatherer* g = s.fourier)
        list.push_back([g](const pixel_block& b, const input_block&, std::string*) {
            g->add(b);
            return true;
        });
    if (cb.sink) list.push_back(cb.sink);
    return list;
}

// Every pixel, then the statistics; the file renamed into place when
// complete.
bool compute(run_state& s, const lockin_settings& ls, std::string* error) {
    const grid_plan& p = s.plan;
    grid_collector* c = s.out->collector.get();
    const grid_description& d = s.out->description;
    netcdf_writer w;
    const bool file = !s.out->output.empty();
    const std::string scratch = file ? folder_of(s.out->output) : temporary_folder();
    if (file && !w.create(s.out->output, d, error)) return false;
    if (!c->open_spills(scratch, error)) return false;
    const run_settings rs = settings_of(p, ls);
    if (!run_grid(s.source, d, rs, stages(s, file ? &w : nullptr), error)) return false;
    // The second pass runs when the pixels are done, on at least the two
    // threads the file and the statistics had, while the pixels' bytes go
    // on their way to disk.
    side_task writeback([&w, file] {
        if (file) w.start_writeback();
    });
    const bool squared = second_pass(std::max(rs.threads, 2), c, error);
    writeback.wait();
    if (!squared) return false;
    // The scratch files are given up while the file is finished and synced.
    side_task release([c] { c->close_spills(); });
    return !file || (write_statistics(&w, c, error) && w.commit(error));
}

// The text files beside the netCDF file, and the line's file.
bool write_companions(const grid_plan& p, run_outcome* out, std::string* error) {
    grid_collector* c = out->collector.get();
    if (!p.pointmean.empty() && !write_pointmean(p, c, error)) return false;
    if (out->output.empty()) return true;
    if (p.mean_texts && !write_mean_texts(out->description, out->output, c, error)) return false;
    return !out->line || write_line_output(out->description, p, out->output, *out->line, error);
}

// The Fourier pass (--fft) over what the run gathered, beside the file.
bool write_fourier(const grid_plan& p, fourier_gatherer* g, run_outcome* out, std::string* error) {
    out->fourier = std::make_unique<fourier_outcome>();
    return run_fourier_pass(p, out->description, *g, out->output, out->fourier.get(), error);
}

// --topography: the scan read and placed on the grid before any pixel is
// computed (refused when it cannot be placed, failed when unreadable).
bool place_topography(const grid_plan& p, grid_description* d, run_status* status,
                      std::string* error) {
    if (p.topography.empty()) return true;
    auto scan = std::make_shared<scan_on_grid>();
    const scan_request r{p.topography, p.topography_channel, p.topography_backward};
    bool refused = false;
    if (!place_scan_on_grid(r, *d, scan.get(), &refused, error)) {
        *status = refused ? run_status::refused : run_status::failed;
        return false;
    }
    d->scan = std::move(scan);
    return true;
}

run_outcome finished(run_outcome out, run_status status, std::string error) {
    out.status = status;
    out.error = std::move(error);
    return out;
}

}  // namespace

int thread_count(const grid_plan& p) {
    return p.threads > 0 ? p.threads
                         : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

run_outcome run_plan(const grid_plan& plan, const run_callbacks& callbacks) {
    run_outcome out;
    grid_plan p = plan;
    std::string error;
    if (p.inputs.empty()) return finished(std::move(out), run_status::refused, "no input");
    // The curve of the gap, named or the default for this run.
    if (p.gap.given) p.gap.variable = gap_curve(p.gap, !p.import.signal_channel.empty());
    if (!check_gap_curve(p, &error)) return finished(std::move(out), run_status::refused, error);
    if (!check_fourier_plan(p, &error)) return finished(std::move(out), run_status::refused, error);
    if (p.fit.given) p.fit.variable = fit_curve_of(p.fit, !p.import.signal_channel.empty());
    if (!check_fit_curve(p, &error)) return finished(std::move(out), run_status::refused, error);
    if (!(p.lockin_min_r2 >= 0 && p.lockin_min_r2 <= 1))
        return finished(std::move(out), run_status::refused,
                        "lockin-min-r2 must lie from 0 to 1, not " + std::to_string(p.lockin_min_r2));
    out.output = p.output;
    if (!p.output.empty() && !check_output_name(p, p.output, &error))
        return finished(std::move(out), run_status::failed, error);
    const auto src = open_grid_source(p.inputs, p.import, &error);
    if (!src) return finished(std::move(out), run_status::failed, error);
    describe_run(*src, p, &out.description);
    if (!check_plan_against_grid(p, out.description, &error) ||
        !check_fourier_against_grid(p, out.description, &error))
        return finished(std::move(out), run_status::refused, error);
    run_status why = run_status::failed;
    if (!place_topography(p, &out.description, &why, &error))
        return finished(std::move(out), why, error);
    lockin_settings ls;
    if (!plan_lockin(*src, p, thread_count(p), &out.description, &ls, &error, &out.lockin))
        return finished(std::move(out), run_status::failed, error);
    // After the lock-in's plan: the line knows the run's quantities.
    if (p.line.given && !(out.line = open_line(out.description, p, &error)))
        return finished(std::move(out), run_status::refused, error);
    out.collector = std::make_unique<grid_collector>(out.description, p);
    std::unique_ptr<fourier_gatherer> fourier;
    if (p.fft.given) {
        // The maps' scratch file beside the output, as the statistics' are.
        fourier = std::make_unique<fourier_gatherer>(out.description, *fourier_quantity(p),
                                                     folder_of(out.output));
        if (!fourier->problem().empty())
            return finished(std::move(out), run_status::failed, "--fft: " + fourier->problem());
    }
    run_state s{p, callbacks, *src, &out, fourier.get()};
    if (!compute(s, ls, &error)) {
        return finished(std::move(out), s.cancelled ? run_status::cancelled : run_status::failed,
                        error);
    }
    if (!write_companions(p, &out, &error)) return finished(std::move(out), run_status::failed, error);
    if (fourier && !write_fourier(p, fourier.get(), &out, &error))
        return finished(std::move(out), run_status::failed, error);
    return finished(std::move(out), run_status::done, "");
}

}  // namespace sts
