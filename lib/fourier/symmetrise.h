// Symmetrisation of a q-map by a point group about the lattice's axes:
// out(q) = the mean over the group's operations g of in(g q), where g acts
// in the frame whose x axis is the first Bragg vector (at angle theta in
// the map: g_map = R(theta) g R(-theta)).  in(g q) is read between pixels
// by bilinear interpolation; operations that land outside the map, or on
// a missing pixel, are left out of that pixel's mean (NaN if all are).
#ifndef FOURIER_SYMMETRISE_H
#define FOURIER_SYMMETRISE_H

#include <string>
#include <vector>

#include "fourier/point_group.h"
#include "fourier/q_map.h"

namespace sts {

// in symmetrised into out (the same axes); frame_angle in degrees (the
// angle of Q1 from +qx, lattice_geometry::q1_angle).  "" or the reason.
std::string symmetrise(const q_map& in, double frame_angle,
                       const std::vector<point_operation>& group, q_map& out);

// The same on one slice of values with the map's axes (for a stack, slice
// by slice); out holds nx * ny values.
std::string symmetrise_values(const float* in, size_t nx, size_t ny, double dqx, double dqy,
                              double frame_angle, const std::vector<point_operation>& group,
                              float* out);

}  // namespace sts

#endif
