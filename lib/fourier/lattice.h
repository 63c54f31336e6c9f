// A 2-D lattice described by two Bragg vectors Q1, Q2 (nm^-1, in the scan
// frame: qx along the fast scan axis): the real-space primitive vectors
// a_i dual to them (a_i . Q_j = 2 pi delta_ij), their lengths and angles.
// For a square lattice |a| = 2 pi / |Q|; for a hexagonal one, whose Bragg
// vectors meet at 60 or 120 degrees, |a| = 4 pi / (sqrt(3) |Q|).
#ifndef FOURIER_LATTICE_H
#define FOURIER_LATTICE_H

#include <string>

namespace sts {

struct bragg_vector {
    double qx = 0, qy = 0;  // nm^-1
};

struct lattice_geometry {
    double a1 = 0, a2 = 0;          // nm, the lengths of the primitive vectors
    double lattice_angle = 0;       // degrees between a1 and a2 (180 - bragg_angle)
    double bragg_angle = 0;         // degrees between Q1 and Q2, in (0, 180)
    double q1_angle = 0;            // degrees of Q1 from +qx, counterclockwise, in (-180, 180]
};

// The geometry of the lattice of Q1, Q2; "" or the reason (a vector not
// finite, or the two parallel) in problem.
lattice_geometry lattice_from_bragg(bragg_vector q1, bragg_vector q2, std::string& problem);

// The same lattice's two shortest independent vectors (Lagrange-Gauss
// reduction), ordered: Q1 the one of the four +-b1, +-b2 nearest in angle
// to +qx (the first of a tie counterclockwise), Q2 the other of the pair
// turning counterclockwise from Q1.  Unchanged when the two are parallel.
void reduce_bragg(bragg_vector& q1, bragg_vector& q2);

}  // namespace sts

#endif
