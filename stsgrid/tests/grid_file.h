// Small Nanonis-style grid files (.3ds) made by the tests: a header as the
// instrument writes it, then per pixel big-endian float32 parameters and
// channels.
#ifndef STSGRID_TESTS_GRID_FILE_H
#define STSGRID_TESTS_GRID_FILE_H

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

namespace grid_file {

inline void put(std::string* out, float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<char>(bits >> shift));
}

struct layout {
    long nx = 4, ny = 3, points = 41;
    float start = -0.5f, end = 0.5f;   // V
    long written = -1;                 // pixels in the file (-1: all)
    long header_points = -1;           // "Points" in the header (-1: points)
    std::function<float(long)> end_of;  // a pixel's own sweep end, if set
    // The frame's turn (degrees, clockwise): pixel (ix, iy) lies at 2 nm * ix
    // along a row and 2 nm * iy across, measured in the instrument's axes.
    double angle = 0;
};

// Where the instrument measures pixel p: its place in the frame (2 nm a
// pixel from the frame's corner, the centre at (1 nm, 2 nm) as the header
// says), turned about the centre with the frame; the row axis is then
// (cos, -sin), the column axis (sin, cos).
inline void measured_position(const layout& g, long p, double* x, double* y) {
    const double fx = 2e-9 * static_cast<double>(p % g.nx);
    const double fy = 2e-9 * static_cast<double>(p / g.nx);
    if (g.angle == 0) {
        *x = fx;
        *y = fy;
        return;
    }
    const double turn = g.angle * 3.14159265358979323846 / 180;
    const double du = fx - 1e-9, dv = fy - 2e-9;
    *x = 1e-9 + du * std::cos(turn) + dv * std::sin(turn);
    *y = 2e-9 - du * std::sin(turn) + dv * std::cos(turn);
}

// current(pixel, k) in A; NaN for a pixel never measured.
inline std::string make(const layout& g, const std::function<float(long, long)>& current) {
    std::string s = "Grid dim=\"" + std::to_string(g.nx) + " x " + std::to_string(g.ny) +
                    "\"\r\nGrid settings=1E-9;2E-9;" + std::to_string(2e-9 * (g.nx - 1)) + ";" +
                    std::to_string(2e-9 * (g.ny - 1)) +
                    ";" + (g.angle == 0 ? std::string("0E+0") : std::to_string(g.angle)) +
                    "\r\nFiletype=Linear\r\nSweep Signal=\"Bias (V)\"\r\n"
                    "Fixed parameters=\"Sweep Start;Sweep End\"\r\n"
                    "Experiment parameters=\"X (m);Y (m)\"\r\n# Parameters (4 byte)=4\r\n"
                    "Points=" + std::to_string(g.header_points < 0 ? g.points : g.header_points) +
                    "\r\nChannels=\"Current (A);Current [bwd] (A)\"\r\n:HEADER_END:\r\n";
    const long pixels = g.written < 0 ? g.nx * g.ny : g.written;
    for (long p = 0; p < pixels; ++p) {
        put(&s, g.start);
        put(&s, g.end_of ? g.end_of(p) : g.end);
        double x = 0, y = 0;
        measured_position(g, p, &x, &y);
        put(&s, static_cast<float>(x));
        put(&s, static_cast<float>(y));
        for (int direction = 0; direction < 2; ++direction)
            for (long k = 0; k < g.points; ++k) put(&s, current(p, k));
    }
    return s;
}

}  // namespace grid_file

#endif
