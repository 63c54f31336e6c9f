// Pictures of a grid run, drawn by gnuplot: maps at chosen biases and the
// grid-mean normalised curves.  Each PNG is written under a temporary name
// and renamed when gnuplot has finished without error, so a failure leaves
// no empty or partial picture.
#ifndef STSGRID_PLOTS_H
#define STSGRID_PLOTS_H

#include <string>
#include <vector>

#include "grid_description.h"

// The values of every pixel (row-major, ny * nx, NaN where not processed)
// at the midpoint nearest one requested bias.
struct bias_map {
    double bias = 0;            // as requested, in the bias unit
    float vmid = 0;             // the midpoint used (of the reference axis)
    std::vector<float> didv, norm_raw, norm_exp, norm_coff;
};

// One PNG with four panels (dI/dV and the three normalised curves), each a
// map with a perceptually uniform colour map, a colour bar, axes in the
// grid's x/y unit (nm) and a title naming the quantity, the bias and the
// source.  false with *error (gnuplot missing or failing).
bool draw_map(const grid_description& d, const bias_map& m, const std::string& png,
              std::string* error);

// Grid-mean statistics of one quantity over the midpoints.
struct mean_curve {
    std::string name;   // "norm_raw", ...
    std::vector<float> mean, se;
};

// One PNG of the grid-mean normalised curves against the midpoint bias,
// each with a band of +-2 standard errors; each curve visible on its own
// scale (panels).  false with *error.
bool draw_mean_curves(const grid_description& d, const std::vector<mean_curve>& curves,
                      long pixels, const std::string& png, std::string* error);

#endif
