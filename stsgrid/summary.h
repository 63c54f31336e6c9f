// The lines a run ends with.
#ifndef STSGRID_SUMMARY_H
#define STSGRID_SUMMARY_H

#include <string>

#include "grid/grid_collector.h"
#include "grid/grid_description.h"
#include "grid/fourier_pass.h"
#include "grid/pixel_codes.h"

namespace sts {

// "stsgrid: wrote <out>: 128 x 128 pixels, 400 points" on standard output.
void report_written(const std::string& out, const grid_description& d, const grid_collector& c);

// "stsgrid: k of N pixels not processed: ..." by cause on standard output;
// true when there were any.
bool report_unprocessed(const grid_collector& c);

// "stsgrid: wrote <out>_fft.nc: ..." with the lattice, the filled pixels
// and the drift correction, on standard output.
void report_fourier(const fourier_outcome& f);

}  // namespace sts

#endif
