// The pictures of --fft with --map: at each bias asked for, the slice's
// transform (and its symmetrisation) as gnuplot draws the maps (viridis,
// a colour bar in the quantity's unit, the 1st to 99th percentile of the
// values), axes q_x and q_y in nm^-1 at equal scales, the Bragg vectors
// +-Q1 and +-Q2 marked with circles and named.
#ifndef STSGRID_FFT_PICTURE_H
#define STSGRID_FFT_PICTURE_H

#include <string>

#include "grid/fourier_pass.h"
#include "grid/grid_description.h"

namespace sts {

// <output>_fft_<V>.png.
std::string fft_picture_name(const std::string& output, double bias);

// One PNG of picture p of the pass o; false with *error (a picture that
// does not match the axes, gnuplot missing or failing), png then untouched.
bool draw_fft_picture(const grid_description& d, const fourier_outcome& o,
                      const fourier_picture& p, const std::string& png, std::string* error);

}  // namespace sts

#endif
