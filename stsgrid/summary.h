// The lines a run ends with.
#ifndef STSGRID_SUMMARY_H
#define STSGRID_SUMMARY_H

#include <string>
#include <vector>

#include "grid/grid_collector.h"
#include "grid/grid_description.h"
#include "grid/lockin_pass.h"
#include "grid/fourier_pass.h"
#include "grid/pixel_codes.h"

namespace sts {

// "stsgrid: wrote <out>: 128 x 128 pixels, 400 points" on standard output.
void report_written(const std::string& out, const grid_description& d, const grid_collector& c);

// "stsgrid: k of N pixels not processed: ..." by cause on standard output;
// true when there were any.
bool report_unprocessed(const grid_collector& c);

// "stsgrid: lock-in scale (nA/V per A): fitted 1.68e+13, from the 10 mV
// zero-to-peak modulation (Lock-in>Amplitude) 1e+11: ratio 168": the grid's
// fitted scale beside the one the recorded modulation gives, or why either
// is not known; "" without a lock-in channel.  The ratio is fitted over
// modulation's.  With a fit per pixel, pixel_scales holds the fitted
// scales (of the pixels with a line), whose median stands for the fit.
std::string lockin_scale_line(const lockin_report& r, const grid_description& d,
                              const std::vector<float>* pixel_scales);

// "stsgrid: wrote <out>_fft.nc: ..." with the lattice, the filled pixels
// and the drift correction, on standard output.
void report_fourier(const fourier_outcome& f);

// "stsgrid: gap fit: 98 converged, 2 no_gap (...)" with --fit, else nothing.
void report_fit(const grid_collector& c);

}  // namespace sts

#endif
