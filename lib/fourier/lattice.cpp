#include "fourier/lattice.h"

#include <cmath>
#include <numbers>
#include <utility>

namespace sts {

namespace {

double dot(bragg_vector a, bragg_vector b) { return a.qx * b.qx + a.qy * b.qy; }
double cross(bragg_vector a, bragg_vector b) { return a.qx * b.qy - a.qy * b.qx; }
double degrees(double radians) { return radians * 180.0 / std::numbers::pi; }
bragg_vector minus(bragg_vector a) { return {-a.qx, -a.qy}; }

bool parallel(bragg_vector a, bragg_vector b) {
    return !(std::fabs(cross(a, b)) > 1e-12 * (dot(a, a) + dot(b, b)));
}

}  // namespace

lattice_geometry lattice_from_bragg(bragg_vector q1, bragg_vector q2, std::string& problem) {
    lattice_geometry g;
    problem.clear();
    for (double v : {q1.qx, q1.qy, q2.qx, q2.qy})
        if (!std::isfinite(v)) {
            problem = "a Bragg vector is not finite";
            return g;
        }
    if (parallel(q1, q2)) {
        problem = "the two Bragg vectors are parallel (or one is zero)";
        return g;
    }
    const double area = std::fabs(cross(q1, q2));  // |Q1||Q2| sin(gamma)
    const double n1 = std::sqrt(dot(q1, q1)), n2 = std::sqrt(dot(q2, q2));
    // a1 is perpendicular to Q2 with a1 . Q1 = 2 pi: |a1| = 2 pi |Q2| / |Q1 x Q2|.
    g.a1 = 2.0 * std::numbers::pi * n2 / area;
    g.a2 = 2.0 * std::numbers::pi * n1 / area;
    g.bragg_angle = degrees(std::atan2(area, dot(q1, q2)));
    g.lattice_angle = 180.0 - g.bragg_angle;
    g.q1_angle = degrees(std::atan2(q1.qy, q1.qx));
    return g;
}

void reduce_bragg(bragg_vector& q1, bragg_vector& q2) {
    if (parallel(q1, q2)) return;
    bragg_vector b1 = q1, b2 = q2;
    for (int round = 0; round < 64; ++round) {
        if (dot(b2, b2) < dot(b1, b1)) std::swap(b1, b2);
        const double mu = dot(b1, b2) / dot(b1, b1);
        if (std::fabs(mu) <= 0.5) break;  // (at exactly a half both are shortest)
        const double m = std::round(mu);
        b2 = {b2.qx - m * b1.qx, b2.qy - m * b1.qy};
    }
    // Q1: the one of +-b1, +-b2 nearest to +qx in angle (ties: the
    // counterclockwise one, angle in (-180, 180] nearest 0 from above).
    const bragg_vector choices[4] = {b1, minus(b1), b2, minus(b2)};
    int best = 0;
    double best_angle = 1e9;
    for (int k = 0; k < 4; ++k) {
        const double a = std::fabs(std::atan2(choices[k].qy, choices[k].qx));
        const bool tie = std::fabs(a - best_angle) < 1e-12;
        if (a < best_angle - 1e-12 || (tie && choices[k].qy > choices[best].qy)) {
            best = k;
            best_angle = a;
        }
    }
    q1 = choices[best];
    q2 = best < 2 ? b2 : b1;
    if (cross(q1, q2) < 0) q2 = minus(q2);
}

}  // namespace sts
