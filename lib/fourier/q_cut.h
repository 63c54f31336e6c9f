// A line cut through a centred Fourier map (q_map.h): the points of the
// segment q0 -> q1 one q-pixel apart, read between pixels by bilinear
// interpolation (bilinear.h).  With a stack of maps (bias x qy x qx) the
// same points are read from every slice: the dispersion, |F| as distance
// along the cut against bias.
#ifndef FOURIER_Q_CUT_H
#define FOURIER_Q_CUT_H

#include <cstddef>
#include <string>
#include <vector>

#include "fourier/bilinear.h"

namespace sts {

struct q_cut_point {
    double qx = 0, qy = 0;    // nm^-1
    double distance = 0;      // nm^-1 from q0
    bilinear_taps taps;       // where it reads a slice
};

// The points from q0 to q1 (both ends kept) spaced by at most the smaller
// q-pixel: n = ceil(|q1 - q0| / min(dqx, dqy)) + 1 points, evenly spaced.
// The axes are those of the map (q_axis: uniform, ascending, at least 2
// values each).  "" or the reason: an end outside the map's q range, not
// finite, or axes too short.
std::string q_cut_points(const std::vector<double>& qx, const std::vector<double>& qy, double q0x,
                         double q0y, double q1x, double q1y, std::vector<q_cut_point>& out);

// Every point of the cut read from each of nslices maps (nx * ny floats
// each, one after another) into out (slice-major: nslices x points).
void q_cut_read(const float* stack, size_t nslices, size_t pixels,
                const std::vector<q_cut_point>& points, float* out);

}  // namespace sts

#endif
