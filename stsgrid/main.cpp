// stsgrid: a whole grid of STS spectra in one command: the normalised
// curves of every pixel, statistics over the grid, one netCDF file, maps.
// The engine (grid/grid_engine.h) does the run; this driver turns the
// command line into its plan, shows progress, draws the pictures and says
// what happened.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "grid/grid_engine.h"
#include "grid/grid_setup.h"
#include "grid/statistics_pass.h"
#include "output/output_lock.h"
#include "output/printable.h"
#include "stsgrid/broadening_hint.h"
#include "stsgrid/fft_picture.h"
#include "stsgrid/line_picture.h"
#include "stsgrid/options.h"
#include "stsgrid/plots.h"
#include "stsgrid/progress.h"
#include "stsgrid/summary.h"
#include "sts/version.h"

namespace sts {
namespace {

constexpr int EXIT_INPUT = 1;        // unreadable input, or an output that failed
constexpr int EXIT_USAGE = 2;        // a wrong command line
constexpr int EXIT_UNPROCESSED = 3;  // done, but some pixels could not be processed

int usage_error(const std::string& message) {
    std::fprintf(stderr, "stsgrid: %s\nTry 'stsgrid --help' for more information.\n",
                 printable(message).c_str());
    return EXIT_USAGE;
}

int failure(const std::string& message) {
    std::fprintf(stderr, "stsgrid: %s\n", printable(message).c_str());
    return EXIT_INPUT;
}

// The pictures beside the netCDF file.
bool draw_pictures(const grid_options& o, const run_outcome& r, std::string* error) {
    const grid_description& d = r.description;
    grid_collector* c = r.collector.get();
    for (const auto& m : c->maps())
        if (!draw_map(d, m, map_name(r.output, m.group, m.bias), error)) return false;
    if (o.gap_map && !draw_gap_maps(d, c->gap(), companion(r.output, "_map_gap.png"), error))
        return false;
    if (o.fit_map && !draw_fit_maps(d, c->fit(), companion(r.output, "_map_fit.png"), error))
        return false;
    if (o.mean_plot && !draw_mean_curves(d, mean_curves(*c), c->statistics_count(),
                                         companion(r.output, "_mean.png"), error))
        return false;
    if (r.line && !report_and_draw_line(d, o, r.output, *r.line, error)) return false;
    if (r.fourier)
        for (const fourier_picture& p : r.fourier->pictures)
            if (!draw_fft_picture(d, *r.fourier, p, fft_picture_name(r.output, p.bias), error))
                return false;
    return true;
}

// ".g.nc.lock" beside "g.nc": held while a run writes g.nc and its
// companions, so that two runs never write them at once.
std::string lock_name(const std::string& output) {
    const size_t slash = output.rfind('/');
    const size_t base = slash == std::string::npos ? 0 : slash + 1;
    return output.substr(0, base) + "." + output.substr(base) + ".lock";
}

int run(grid_options& o) {
    if (o.output.empty()) o.output = default_output(o.inputs.front());
    output_lock lock;
    bool busy = false;
    std::string refused;
    if (!lock.acquire(lock_name(o.output), &busy, &refused) && busy)
        return failure(o.output + ": another stsgrid run is writing it; " + refused);
    std::unique_ptr<progress_line> bar;
    run_callbacks callbacks;
    callbacks.progress = [&](uint64_t done, uint64_t total) {
        if (!bar) bar = std::make_unique<progress_line>(total, o.progress);
        bar->update(done);
        if (done == total) bar->finish();
    };
    // A fit per pixel is summed up by its pixels' scales, for the summary.
    std::vector<float> pixel_scales;
    const bool per_pixel = o.given.lockin_cal && o.lockin_fit == lockin_fit_mode::pixel;
    if (per_pixel)
        callbacks.sink = [&pixel_scales](const pixel_block& b, const input_block&, std::string*) {
            for (int k = 0; k < b.count; ++k) {
                const auto at = static_cast<size_t>(k);
                if (b.status[at] == PIXEL_PROCESSED || b.status[at] == PIXEL_LOCKIN_POOR_FIT)
                    pixel_scales.push_back(b.lockin_scale[at]);
            }
            return true;
        };
    const run_outcome r = run_plan(o, callbacks);
    switch (r.status) {
        case run_status::refused: return usage_error(r.error);
        case run_status::failed:
        case run_status::cancelled: return failure(r.error);
        case run_status::done: break;
    }
    const std::string hint = broadening_warning(o.norm, r.description);
    if (!hint.empty()) std::fprintf(stderr, "stsgrid: %s\n", printable(hint).c_str());
    report_written(r.output, r.description, *r.collector);
    if (o.given.lockin_cal)
        std::printf("%s\n", printable(lockin_scale_line(r.lockin, r.description,
                                                         per_pixel ? &pixel_scales : nullptr))
                                 .c_str());
    if (r.fourier) report_fourier(*r.fourier);
    report_fit(*r.collector);
    std::string error;
    if (!draw_pictures(o, r, &error)) return failure(error);
    return report_unprocessed(*r.collector) ? EXIT_UNPROCESSED : 0;
}

}  // namespace
}  // namespace sts

int main(int argc, char** argv) {
    using namespace sts;
    grid_options o;
    std::string error;
    switch (parse_grid_options(argc, argv, &o, &error)) {
        case parse_result::help: std::fputs(grid_usage().c_str(), stdout); return 0;
        case parse_result::version: std::puts("stsgrid " STS_VERSION); return 0;
        case parse_result::error: return usage_error(error);
        case parse_result::run: break;
    }
    return run(o);
}
