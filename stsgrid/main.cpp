// stsgrid: a whole grid of STS spectra in one command: the normalised
// curves of every pixel, statistics over the grid, one netCDF file, maps.
#include <cstdio>
#include <string>
#include <thread>

#include "stsgrid/grid_collector.h"
#include "stsgrid/grid_run.h"
#include "stsgrid/grid_setup.h"
#include "stsgrid/grid_source.h"
#include "stsgrid/line_output.h"
#include "stsgrid/lockin_pass.h"
#include "stsgrid/netcdf_writer.h"
#include "stsgrid/options.h"
#include "stsgrid/plots.h"
#include "stsgrid/progress.h"
#include "stsgrid/side_task.h"
#include "stsgrid/quantities.h"
#include "stsgrid/statistics_pass.h"
#include "stsgrid/summary.h"
#include "stsgrid/text_outputs.h"
#include "sts/version.h"

namespace sts {
namespace {

std::string folder_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

constexpr int EXIT_INPUT = 1;        // unreadable input, or an output that failed
constexpr int EXIT_USAGE = 2;        // a wrong command line
constexpr int EXIT_UNPROCESSED = 3;  // done, but some pixels could not be processed

int usage_error(const std::string& message) {
    std::fprintf(stderr, "stsgrid: %s\nTry 'stsgrid --help' for more information.\n",
                 message.c_str());
    return EXIT_USAGE;
}

int failure(const std::string& message) {
    std::fprintf(stderr, "stsgrid: %s\n", message.c_str());
    return EXIT_INPUT;
}

int thread_count(const grid_options& o) {
    return o.threads > 0 ? o.threads
                         : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

// The netCDF file: every pixel, then the statistics; renamed into place
// when complete.
bool write_grid(const grid_source& src, const grid_description& d, const grid_options& o,
                const lockin_settings& ls, const std::string& out, grid_collector* c,
                line_collector* line, std::string* error) {
    netcdf_writer w;
    if (!w.create(out, d, error) || !c->open_spills(folder_of(out), error)) return false;
    progress_line bar(static_cast<uint64_t>(d.nx * d.ny), o.progress);
    run_settings rs;
    rs.threads = thread_count(o);
    rs.norm = o.norm;
    rs.lockin = ls;
    rs.keep_input = !o.pointmean.empty();
    if (o.gap.given) {
        rs.gap.curve = find_pixel_quantity(o.gap.variable);
        rs.gap.options.threshold = o.gap.threshold;
        rs.gap.options.window = o.gap.window;
    }
    rs.smooth_window = o.smooth_window;
    rs.smooth_order = o.smooth_order;
    // The file and the statistics, each on a thread of its own.
    const auto file = [&](const pixel_block& b, const input_block&, std::string* e) {
        return w.write(b, e);
    };
    const auto sink = [&](const pixel_block& b, const input_block& in, std::string*) {
        c->add(b, in);
        if (line) line->add(b);
        bar.update(c->pixels_seen());
        return true;
    };
    if (!run_grid(src, d, rs, {sink, file}, error)) return false;
    bar.finish();
    // The second pass runs when the pixels are done, on at least the two
    // threads the file and the statistics had, while the pixels' bytes go
    // on their way to disk.
    side_task writeback([&w] { w.start_writeback(); });
    const bool squared = second_pass(std::max(rs.threads, 2), c, error);
    writeback.wait();
    if (!squared) return false;
    // The scratch files are given up while the file is finished and synced.
    side_task release([c] { c->close_spills(); });
    return write_statistics(&w, c, error) && w.commit(error);
}

// The text files and pictures beside the netCDF file.
bool write_companions(const grid_description& d, const grid_options& o,
                      const std::string& out, grid_collector* c, std::string* error) {
    if (!o.pointmean.empty() && !write_pointmean(o, c, error)) return false;
    if ((o.mean_text || o.mean_plot) && !write_mean_texts(d, out, c, error)) return false;
    for (const auto& m : c->maps())
        if (!draw_map(d, m, map_name(out, m.group, m.bias), error))
            return false;
    if (o.gap_map && !draw_gap_maps(d, c->gap(), companion(out, "_map_gap.png"), error))
        return false;
    if (o.mean_plot && !draw_mean_curves(d, mean_curves(*c), c->statistics_count(),
                                         companion(out, "_mean.png"), error))
        return false;
    return true;
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
    // The curve of --gap, named or the default for this run.
    if (o.gap.given) o.gap.variable = gap_curve(o.gap, !o.import.signal_channel.empty());
    if (!check_gap_curve(o, &error)) return usage_error(error);
    const std::string out = o.output.empty() ? default_output(o.inputs.front()) : o.output;
    if (!check_output_name(o, out, &error)) return failure(error);
    const auto src = open_grid_source(o.inputs, o.import, &error);
    if (!src) return failure(error);
    grid_description d;
    describe_run(*src, o, &d);
    lockin_settings ls;
    if (!plan_lockin(*src, o, thread_count(o), &d, &ls, &error)) return failure(error);
    std::unique_ptr<line_collector> line;  // after the plan: it knows the run's quantities
    if (o.line.given && !(line = open_line(d, o, &error))) return usage_error(error);
    grid_collector c(d, o);
    if (!write_grid(*src, d, o, ls, out, &c, line.get(), &error)) return failure(error);
    report_written(out, d, c);
    if (!write_companions(d, o, out, &c, &error)) return failure(error);
    if (line && !write_line_cut(d, o, out, *line, &error)) return failure(error);
    return report_unprocessed(c) ? EXIT_UNPROCESSED : 0;
}
