// The file of a line cut through Fourier maps (the dispersion), CF-style
// as the grid's own file: dimensions bias and sample; coordinates bias
// (the quantity's axis), distance (sample, nm-1 from q0), qx and qy
// (sample, nm-1: where each sample lies); fft_<quantity>_cut (bias,
// sample), |F| read between q-pixels by bilinear interpolation.  Global
// attributes: the grid file, the quantity, q0 and q1 (nm-1), the window,
// the point group when symmetrised.
#ifndef GRID_Q_CUT_FILE_H
#define GRID_Q_CUT_FILE_H

#include <string>
#include <vector>

namespace sts {

struct q_cut_facts {
    std::string grid_file;               // the grid's file, without its folder
    std::string variable, units, long_name;  // the quantity transformed
    std::string bias_unit, bias_long_name;
    std::vector<float> bias;             // the quantity's axis
    std::vector<double> distance, qx, qy;  // per sample, nm^-1
    double q0x = 0, q0y = 0, q1x = 0, q1y = 0;
    bool hann = true;
    std::string group;                   // "" without symmetrisation
};

// Writes the cut (values: bias x sample) to path; false with *error.
bool write_q_cut_file(const std::string& path, const q_cut_facts& facts, const float* values,
                      std::string* error);

}  // namespace sts

#endif
