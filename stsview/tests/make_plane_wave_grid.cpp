// Writes a synthetic QPI grid (.3ds) for the reciprocal-space pane's tests:
// 32 x 32 pixels 2 nm apart (testkit's raster, not turned), 6 points, so
// five midpoints; dI/dV at midpoint j is 1 + 0.5 cos(q_j . r), with q_j =
// dq (5 + j, 3) and dq = 2 pi / 64 nm^-1 (one q-pixel of a 64 nm scan), so
// that each wave's peak falls on a q-pixel; the topography (Z) holds a
// square lattice of 8 nm along x and y: Bragg peaks at (+-8 dq, 0) and
// (0, +-8 dq).  The current is the running sum of the conductance over the
// sweep, so that its numerical derivative is the conductance itself.
//
//     make_plane_wave_grid FILE
#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>

#include "testkit/instrument_files.h"

namespace {

constexpr long side = 32, points = 6;
constexpr double dq = 2 * std::numbers::pi / (2.0 * side);  // nm^-1

double wave_x(long j) { return dq * static_cast<double>(5 + j); }
double wave_y(long) { return dq * 3; }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_plane_wave_grid FILE\n");
        return 2;
    }
    testkit::nanonis_grid_layout g = testkit::turned_raster_grid(side, side, points, 0);
    const auto where = g.experiment_of;
    g.experiment_parameters = {"X (m)", "Y (m)", "Z (m)"};
    g.experiment_of = [where](long p) {
        std::vector<float> e = where(p);
        const double x = e[0] * 1e9, y = e[1] * 1e9;
        const double z = 2.0 + 0.05 * (std::cos(8 * dq * x) + std::cos(8 * dq * y));
        e.push_back(static_cast<float>(z * 1e-9));
        return e;
    };
    const double step = (g.end - g.start) / static_cast<double>(points - 1);
    const std::string bytes = testkit::nanonis_grid(g, [where, step](long p, int, long k) {
        const std::vector<float> e = where(p);
        const double x = e[0] * 1e9, y = e[1] * 1e9;
        double current = 0;
        for (long j = 0; j < k; ++j) current += (1.0 + 0.5 * std::cos(wave_x(j) * x + wave_y(j) * y)) * step;
        return static_cast<float>(current * 1e-9);
    });
    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() || std::fclose(out) != 0) {
        std::fprintf(stderr, "make_plane_wave_grid: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
