// Writes a synthetic quasiparticle-interference grid (.3ds) for the README's
// figure of the Fourier maps (docs/fourier_grid_figure.py): N x N pixels
// 0.05 nm apart, a square lattice of 0.4 nm turned by 15 degrees in the
// topography (Z) and, weaker, in dI/dV, Friedel oscillations around
// random defects on a four-fold warped contour whose wave number grows
// with the bias, noise, and scan-line offsets that break the symmetry.
// With --drift every feature is seen displaced by a smooth field u(r)
// (amplitude 0.06 nm, a few waves over the scan), as piezo drift and
// creep displace them: the value at r is the ideal one at r - u(r).
//
//     make_qpi_grid [--drift] N POINTS FILE
//
// The current is the running sum of the conductance over the sweep (from
// -0.1 V to 0.1 V), so that its numerical derivative is the conductance.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <string>
#include <vector>

#include "testkit/instrument_files.h"

namespace {

constexpr double pitch = 0.05;                      // nm
constexpr double lattice = 0.4;                     // nm
constexpr double turn = 15 * std::numbers::pi / 180;
constexpr int defects = 24;

struct point {
    double x, y;
};

// A fixed pseudo-random number in [0, 1) from a counter.
double uniform(uint32_t n) {
    uint32_t s = n * 2654435761u + 12345u;
    s ^= s >> 15;
    s *= 2246822519u;
    s ^= s >> 13;
    return static_cast<double>(s >> 8) / 16777216.0;
}

// Where pixel (ix, iy)'s content truly lies: r - u(r).
point ideal(double x, double y, double size, bool drift) {
    if (!drift) return {x, y};
    const double w = 2 * std::numbers::pi / size;
    return {x - 0.06 * std::sin(1.5 * w * y + 0.3), y - 0.06 * std::cos(1.2 * w * x)};
}

double lattice_at(point r) {
    const double q = 2 * std::numbers::pi / lattice;
    return std::cos(q * (r.x * std::cos(turn) + r.y * std::sin(turn))) +
           std::cos(q * (-r.x * std::sin(turn) + r.y * std::cos(turn)));
}

// Friedel oscillations of wave number k around the defects, on a contour
// warped four-fold about the lattice's axes.
double qpi_at(point r, double k, double size) {
    double sum = 0;
    for (int d = 0; d < defects; ++d) {
        const double dx = r.x - size * uniform(2 * d), dy = r.y - size * uniform(2 * d + 1);
        const double rho = std::hypot(dx, dy) + 0.05;
        const double kk = k * (1 + 0.25 * std::cos(4 * (std::atan2(dy, dx) - turn)));
        sum += std::cos(2 * kk * rho) * std::exp(-rho / 1.5) / std::sqrt(rho);
    }
    return sum;
}

testkit::nanonis_grid_layout layout_of(long n, long points) {
    testkit::nanonis_grid_layout g;
    g.nx = g.ny = n;
    g.points = points;
    g.channels = {"Current (A)"};
    const double size = 1e-9 * pitch * static_cast<double>(n);
    char settings[96];
    std::snprintf(settings, sizeof settings, "%.9E;%.9E;%.9E;%.9E;0E+0", size / 2, size / 2, size,
                  size);
    g.settings = settings;
    g.experiment_parameters = {"X (m)", "Y (m)", "Z (m)"};
    g.start = -0.1f;
    g.end = 0.1f;
    return g;
}

}  // namespace

int main(int argc, char** argv) {
    const bool drift = argc > 1 && std::string(argv[1]) == "--drift";
    if (drift) {
        --argc;
        ++argv;
    }
    if (argc != 4) {
        std::fprintf(stderr, "usage: make_qpi_grid [--drift] N POINTS FILE\n");
        return 2;
    }
    const long n = std::atol(argv[1]), points = std::atol(argv[2]);
    if (n < 2 || points < 2) return 2;
    const double size = pitch * static_cast<double>(n);
    testkit::nanonis_grid_layout g = layout_of(n, points);
    const auto place = [n, size, drift](long p) {
        const double x = pitch * (static_cast<double>(p % n) + 0.5);
        const double y = pitch * (static_cast<double>(p / n) + 0.5);
        return std::pair{point{x, y}, ideal(x, y, size, drift)};
    };
    g.experiment_of = [place](long p) {
        const auto [at, r] = place(p);
        const double z = 1.0 + 0.02 * lattice_at(r) + 0.004 * (uniform(1000003u + static_cast<uint32_t>(p)) - 0.5);
        return std::vector<float>{static_cast<float>(1e-9 * at.x), static_cast<float>(1e-9 * at.y),
                                  static_cast<float>(1e-9 * z)};
    };
    const double step = (g.end - g.start) / static_cast<double>(points - 1);
    const testkit::grid_values current = [&](long p, int, long k) {
        const point r = place(p).second;
        const double row = 0.3 * (uniform(5000011u + static_cast<uint32_t>(p / n)) - 0.5);
        double sum = 0;
        for (long j = 0; j < k; ++j) {
            const double kf = 4.0 + 8.0 * static_cast<double>(j) / static_cast<double>(points - 1);
            const double g_ = 2.0 + 0.15 * lattice_at(r) + 0.5 * qpi_at(r, kf, size) + row +
                              0.4 * (uniform(static_cast<uint32_t>(p * 1009 + j)) - 0.5);
            sum += g_ * step;
        }
        return static_cast<float>(1e-9 * sum);
    };
    std::FILE* out = std::fopen(argv[3], "wb");
    if (!out) return 1;
    bool written = std::fputs(testkit::nanonis_grid_header(g).c_str(), out) >= 0;
    for (long p = 0; written && p < n * n; ++p) {
        const std::string pixel = testkit::nanonis_grid_pixel(g, p, current);
        written = std::fwrite(pixel.data(), 1, pixel.size(), out) == pixel.size();
    }
    return std::fclose(out) == 0 && written ? 0 : 1;
}
