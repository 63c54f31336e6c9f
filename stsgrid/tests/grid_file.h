// Small Nanonis-style grid files (.3ds) made by the tests: a header as the
// instrument writes it, then per pixel big-endian float32 parameters and
// channels.
#ifndef STSGRID_TESTS_GRID_FILE_H
#define STSGRID_TESTS_GRID_FILE_H

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
};

// current(pixel, k) in A; NaN for a pixel never measured.
inline std::string make(const layout& g, const std::function<float(long, long)>& current) {
    std::string s = "Grid dim=\"" + std::to_string(g.nx) + " x " + std::to_string(g.ny) +
                    "\"\r\nGrid settings=1E-9;2E-9;" + std::to_string(2e-9 * (g.nx - 1)) + ";" +
                    std::to_string(2e-9 * (g.ny - 1)) +
                    ";0E+0\r\nFiletype=Linear\r\nSweep Signal=\"Bias (V)\"\r\n"
                    "Fixed parameters=\"Sweep Start;Sweep End\"\r\n"
                    "Experiment parameters=\"X (m);Y (m)\"\r\n# Parameters (4 byte)=4\r\n"
                    "Points=" + std::to_string(g.header_points < 0 ? g.points : g.header_points) +
                    "\r\nChannels=\"Current (A);Current [bwd] (A)\"\r\n:HEADER_END:\r\n";
    const long pixels = g.written < 0 ? g.nx * g.ny : g.written;
    for (long p = 0; p < pixels; ++p) {
        put(&s, g.start);
        put(&s, g.end_of ? g.end_of(p) : g.end);
        put(&s, static_cast<float>(2e-9 * static_cast<double>(p % g.nx)));
        put(&s, static_cast<float>(2e-9 * static_cast<double>(p / g.nx)));
        for (int direction = 0; direction < 2; ++direction)
            for (long k = 0; k < g.points; ++k) put(&s, current(p, k));
    }
    return s;
}

}  // namespace grid_file

#endif
