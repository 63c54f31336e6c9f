// Drift correction after Lawler et al., Nature 466, 347 (2010), and its
// supplement: a topography T(r) of a lattice displaced by a slowly
// varying field u(r) reads T(r) = sum_i A_i cos(Q_i . (r - u(r)) + phi_i),
// the atom of the ideal lattice at r seen at r + u(r).  Its local phase
// for each Bragg vector,
//   theta_i(r) = arg of the integral of T(r') exp(-i Q_i . r') G_Lambda(r - r') dr',
// (G a Gaussian of standard deviation Lambda, which averages the other
// Fourier components away) is phi_i - Q_i . u(r); unwrapped and taken
// with zero mean over the map (a rigid lattice is left where it is), the
// 2x2 system Q_i . u(r) = -theta_i(r) gives u at every pixel.  A map
// taken over the same scan (the topography, each bias slice) is corrected
// by reading it at r + u(r) (bilinear), which moves every feature back to
// its ideal place.
#ifndef FOURIER_DRIFT_CORRECTION_H
#define FOURIER_DRIFT_CORRECTION_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fourier/lattice.h"

namespace sts {

struct drift_field {
    size_t nx = 0, ny = 0;
    double dx = 0, dy = 0;        // nm, the pixel spacing
    double lambda = 0;            // nm, the Gaussian's standard deviation used
    std::vector<float> ux, uy;    // nm, ny x nx: the displacement at each pixel
};

// The default length: three times the longer lattice constant, long
// enough to average over a few cells and short enough to follow drift
// that varies over tens of cells.
double default_drift_lambda(bragg_vector q1, bragg_vector q2);

// The displacement field of the topography (ny x nx, spacing dx, dy in nm;
// missing pixels at its mean) for Q1, Q2 (nm^-1, as found by
// find_bragg_peaks); lambda in nm, 0 for the default.  "" or the reason.
std::string drift_field_of(const float* topography, size_t nx, size_t ny, double dx, double dy,
                           bragg_vector q1, bragg_vector q2, double lambda, drift_field& out);

// nslices maps of the field's size (one after another) read at r + u(r)
// into out, on up to `threads` threads (0: one per core); pixels whose
// r + u(r) falls outside the map, or by a missing pixel, are NaN.
std::string drift_correct(const drift_field& field, const float* maps, size_t nslices,
                          unsigned threads, float* out);

// Where every pixel of a field's maps reads, worked out once (the
// bilinear cell at r + u(r)) and applied to slice after slice, from any
// number of threads at once, for a caller that streams the slices.  Each
// pixel keeps its cell's corner and its two fractions (24 bytes, where
// the four taps take 56), and the weights are worked from them as
// bilinear_at works them: the same values, read with less memory traffic.
class drift_resampler {
public:
    // "" or the reason (as drift_correct gives it).
    std::string make(const drift_field& field);
    // One map of the field's size read at r + u(r) into out (not map):
    // the values bilinear_read gives of bilinear_at's taps.
    void correct(const float* map, float* out) const;

private:
    struct point {
        double tx = 0, ty = 0;
        uint32_t corner = 0;
        bool inside = false;
    };
    std::vector<point> points_;
    uint32_t right_ = 1, down_ = 1;  // from a cell's first corner to the next column, row
};

}  // namespace sts

#endif
