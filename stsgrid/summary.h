// The lines a run ends with.
#ifndef STSGRID_SUMMARY_H
#define STSGRID_SUMMARY_H

#include <string>

#include "grid/grid_collector.h"
#include "grid/grid_description.h"
#include "grid/pixel_codes.h"

namespace sts {

// "stsgrid: wrote <out>: 128 x 128 pixels, 400 points" on standard output.
void report_written(const std::string& out, const grid_description& d, const grid_collector& c);

// "stsgrid: k of N pixels not processed: ..." by cause on standard output;
// true when there were any.
bool report_unprocessed(const grid_collector& c);

// "stsgrid: gap fit: 98 converged, 2 no_gap (...)" with --fit, else nothing.
void report_fit(const grid_collector& c);

}  // namespace sts

#endif
