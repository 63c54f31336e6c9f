// The grid engine's one call: a plan (grid/grid_plan.h) in, a run out.  It
// opens the inputs, describes the grid, fits the lock-in's line when the
// plan asks for one, computes every pixel on threads, and writes the
// netCDF file (or hands each block to the caller's sink), the statistics,
// the mean texts, the pointmean file and the line cut's file.  Progress is
// reported through a callback; a run can be cancelled between blocks.
// Nothing is printed and the process is never ended: the outcome says what
// happened, and the caller (stsgrid, stsview, the Python module) speaks.
#ifndef GRID_GRID_ENGINE_H
#define GRID_GRID_ENGINE_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "grid/grid_collector.h"
#include "grid/grid_description.h"
#include "grid/fourier_pass.h"
#include "grid/grid_plan.h"
#include "grid/grid_run.h"
#include "grid/line_collector.h"
#include "grid/lockin_pass.h"

namespace sts {

enum class run_status {
    done,        // every file written (pixels may be unprocessed: see the collector)
    refused,     // the plan cannot run on this input (a request beyond the grid, ...)
    failed,      // an input could not be read or an output could not be written
    cancelled,   // the caller's cancel() said so; nothing was left behind
};

struct run_callbacks {
    // Pixels done of all, after every block, from the thread that gathers
    // the blocks (the caller decides how often to show it).
    std::function<void(uint64_t done, uint64_t total)> progress;
    // Asked between blocks; true ends the run (no file takes its name).
    std::function<bool()> cancelled;
    // Every computed block in pixel order, on a thread of its own, beside
    // the file: for callers that keep the values themselves.  false with
    // *error stops the run.
    block_sink sink;
};

struct run_outcome {
    run_status status = run_status::failed;
    std::string error;                         // why, unless done
    std::string output;                        // the netCDF file's name ("" for none)
    grid_description description;              // the grid as written
    std::unique_ptr<grid_collector> collector;  // counts, statistics, map values
    std::unique_ptr<line_collector> line;       // the line's records, with plan.line
    lockin_report lockin;                      // the lock-in's scales, for a summary
    std::unique_ptr<fourier_outcome> fourier;   // with plan.fft: what the Fourier pass did
};

// Runs p.  With p.output "" no file is written (the statistics, maps and
// line are gathered all the same, and a sink sees every block); stsgrid
// names it default_output(first input) when -o is not given.  The checks
// come before any work, in this order: the plan's own (refused), the
// output names (failed), the inputs (failed), the plan against the grid
// (refused).
run_outcome run_plan(const grid_plan& p, const run_callbacks& callbacks = {});

// The computing threads a plan gets: p.threads, or every core.
int thread_count(const grid_plan& p);

}  // namespace sts

#endif
