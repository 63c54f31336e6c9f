// Writes a synthetic Nanonis-style grid (.3ds) for benchmarks and examples:
// nx x ny pixels of `points`-point sweeps from -1 V to 1 V, forward and
// backward current channels (A), each pixel's curve a little different.
//
//     make_grid [--lockin | --superconductor] [--topography | --no-z] NX NY POINTS FILE
//               [MISSING]
//
// MISSING pixels at the end are left out of the file, as when a grid run
// is interrupted.  --lockin adds a lock-in amplifier's X output for each
// direction ("LI Demod 1 X (A)" and its [bwd] twin): the curve's derivative
// times a 10 mV modulation, with noise of its own, as a lock-in records
// dI/dV beside a current whose numerical derivative is noisy.  Each pixel
// records its height as the experiment parameter "Z (m)", in metres as the
// instrument writes it: 1 nm everywhere, or with --topography a surface
// (topography_at), or with --no-z no height at all.
// --superconductor: sweeps over +-4 mV of a Dynes gap seen through a normal
// tip at 0.5 K (spectrum/dynes.h), Delta 1.1 .. 1.4 meV and Gamma 0.02 ..
// 0.08 meV varying over the grid, G_N 100 nA/V, the current the midpoint
// sum of that dI/dV plus 1 % of G_N of noise at each midpoint (so that the
// numerical dI/dV is the model plus that noise).  The file's layout comes
// from testkit/instrument_files.h.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "spectrum/dynes.h"
#include "testkit/instrument_files.h"

namespace {

// A tunnelling-like curve with a gap whose width varies over the grid.
float current_at(double v, long pixel, uint32_t* seed) {
    *seed = *seed * 1664525u + 1013904223u;
    const double noise = (static_cast<double>(*seed >> 8) / 16777216.0 - 0.5) * 2e-12;
    const double gap = 0.1 + 0.05 * std::sin(0.01 * static_cast<double>(pixel));
    return static_cast<float>(1e-9 * std::sinh(2.0 * v) * (1 - std::exp(-(v * v) / (gap * gap))) +
                              noise);
}

// What a lock-in amplifier with a 10 mV modulation reads: dI/dV (the
// derivative of current_at without its noise) times the modulation, plus
// noise a hundred times weaker, relatively, than the current's derivative.
float lockin_at(double v, long pixel, uint32_t* seed) {
    *seed = *seed * 1664525u + 1013904223u;
    const double noise = (static_cast<double>(*seed >> 8) / 16777216.0 - 0.5) * 2e-15;
    const double gap = 0.1 + 0.05 * std::sin(0.01 * static_cast<double>(pixel));
    const double g2 = gap * gap, e = std::exp(-(v * v) / g2);
    const double didv = 1e-9 * (2.0 * std::cosh(2.0 * v) * (1 - e) +
                                std::sinh(2.0 * v) * (2.0 * v / g2) * e);
    return static_cast<float>(0.01 * didv + noise);
}

// A surface to see beside the spectra (metres): 1 nm, a tilt of 0.3 nm
// over the grid along x, a terrace 0.25 nm higher on the right third and a
// bump of 0.4 nm in the lower left quarter.
float topography_at(long x, long y, long nx, long ny) {
    const double fx = static_cast<double>(x), fy = static_cast<double>(y);
    const double bx = 0.25 * static_cast<double>(nx), by = 0.25 * static_cast<double>(ny);
    const double r2 = ((fx - bx) * (fx - bx) + (fy - by) * (fy - by)) / (0.01 + 0.02 * static_cast<double>(nx * ny));
    const double terrace = 3 * x >= 2 * nx ? 0.25 : 0.0;
    return static_cast<float>(1e-9 * (1.0 + 0.3 * fx / static_cast<double>(nx) + terrace + 0.4 * std::exp(-r2)));
}

enum class height { flat, surface, none };

// The --superconductor pixel p's current at its points, A.
std::vector<float> superconductor(long p, long points, uint32_t* seed) {
    const double gap = 1.1 + 0.3 * (0.5 + 0.5 * std::sin(0.013 * static_cast<double>(p)));
    const double gamma = 0.02 + 0.06 * (0.5 + 0.5 * std::cos(0.007 * static_cast<double>(p)));
    const sts::dynes_params d{gap, gamma, 0.5};
    const double h = 0.008 / static_cast<double>(points - 1);  // V
    std::vector<float> current(static_cast<size_t>(points));
    double sum = 0;
    for (long k = 0; k < points; ++k) {
        current[static_cast<size_t>(k)] = static_cast<float>(sum);
        *seed = *seed * 1664525u + 1013904223u;
        const double noise = (static_cast<double>(*seed >> 8) / 16777216.0 - 0.5) * 0.02 * 1.7320508;
        const double mid = -0.004 + h * (static_cast<double>(k) + 0.5);
        sum += h * 1e-7 * (sts::dynes_conductance(d, mid * 1000) + noise);
    }
    return current;
}

// The grid's frame and pixels centred on the origin, 1 nm apart, at the
// height h says: the frame nx by ny nm, each pixel at the centre of its
// cell, as the instrument lays them out (lib/grid/grid_frame.h).
testkit::nanonis_grid_layout layout_of(long nx, long ny, long points, long missing, height h) {
    testkit::nanonis_grid_layout g;
    g.nx = nx;
    g.ny = ny;
    g.points = points;
    g.written = nx * ny - missing;
    g.channels = {"Current (A)", "Current [bwd] (A)"};
    char settings[80];
    std::snprintf(settings, sizeof settings, "0E+0;0E+0;%g;%g;0E+0",
                  1e-9 * static_cast<double>(nx), 1e-9 * static_cast<double>(ny));
    g.settings = settings;
    g.experiment_parameters = {"X (m)", "Y (m)", "Z (m)"};
    if (h == height::none) g.experiment_parameters.pop_back();
    g.extra = "Bias Spectroscopy>Sweep Start (V)=-1E+0\r\nBias Spectroscopy>Sweep End (V)=1E+0\r\n";
    g.start = -1.0f;
    g.end = 1.0f;
    g.experiment_of = [nx, ny, h](long p) {
        const double x0 = 1e-9 * static_cast<double>(nx - 1) / 2;
        const double y0 = 1e-9 * static_cast<double>(ny - 1) / 2;
        std::vector<float> v{static_cast<float>(1e-9 * static_cast<double>(p % nx) - x0),
                             static_cast<float>(1e-9 * static_cast<double>(p / nx) - y0)};
        if (h == height::flat) v.push_back(1e-9f);
        if (h == height::surface) v.push_back(topography_at(p % nx, p / nx, nx, ny));
        return v;
    };
    return g;
}

}  // namespace

int main(int argc, char** argv) {
    bool lockin = false, gap = false;
    height h = height::flat;
    for (; argc > 1 && argv[1][0] == '-' && argv[1][1] == '-'; --argc, ++argv) {
        const std::string flag = argv[1];
        if (flag == "--lockin") lockin = true;
        else if (flag == "--superconductor") gap = true;
        else if (flag == "--topography") h = height::surface;
        else if (flag == "--no-z") h = height::none;
        else argc = 0;
    }
    if (argc < 5) {
        std::fprintf(stderr, "usage: make_grid [--lockin | --superconductor] "
                             "[--topography | --no-z] NX NY POINTS FILE [MISSING]\n");
        return 2;
    }
    const long nx = std::atol(argv[1]), ny = std::atol(argv[2]), points = std::atol(argv[3]);
    const long missing = argc > 5 ? std::atol(argv[5]) : 0;
    std::FILE* out = std::fopen(argv[4], "wb");
    if (out == nullptr || nx < 1 || ny < 1 || points < 1) return 1;
    testkit::nanonis_grid_layout g = layout_of(nx, ny, points, missing, h);
    if (lockin) g.channels.insert(g.channels.end(), {"LI Demod 1 X (A)", "LI Demod 1 X [bwd] (A)"});
    if (gap) {
        g.start = -0.004f;
        g.end = 0.004f;
        g.extra = "Bias Spectroscopy>Sweep Start (V)=-4E-3\r\nBias Spectroscopy>Sweep End (V)=4E-3\r\n";
    }
    uint32_t seed = 12345;  // one stream over the pixels in file order
    long cached = -1;
    std::vector<float> sweep;
    const testkit::grid_values current = [&](long p, int c, long k) {
        if (gap) {
            if (p != cached) sweep = superconductor(p, points, &seed);
            cached = p;
            return sweep[static_cast<size_t>(k)];
        }
        const double v = -1.0 + 2.0 * static_cast<double>(k) / static_cast<double>(points - 1);
        return c < 2 ? current_at(v, p, &seed) : lockin_at(v, p, &seed);
    };
    // Pixel by pixel: a large grid need not fit in memory.
    bool written = std::fputs(testkit::nanonis_grid_header(g).c_str(), out) >= 0;
    for (long p = 0; written && p < g.written; ++p) {
        const std::string pixel = testkit::nanonis_grid_pixel(g, p, current);
        written = std::fwrite(pixel.data(), 1, pixel.size(), out) == pixel.size();
    }
    return std::fclose(out) == 0 && written ? 0 : 1;
}
