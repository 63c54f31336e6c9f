// Writes a synthetic Nanonis-style grid (.3ds) for benchmarks and tests:
// nx x ny pixels of `points`-point sweeps from -1 V to 1 V, forward and
// backward current channels (A), each pixel's curve a little different.
//
//     make_grid NX NY POINTS FILE [MISSING]
//
// MISSING pixels at the end are left out of the file, as when a grid run
// is interrupted.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void put(std::vector<unsigned char>* out, float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<unsigned char>(bits >> shift));
}

// A tunnelling-like curve with a gap whose width varies over the grid.
float current_at(double v, long pixel, uint32_t* seed) {
    *seed = *seed * 1664525u + 1013904223u;
    const double noise = (static_cast<double>(*seed >> 8) / 16777216.0 - 0.5) * 2e-12;
    const double gap = 0.1 + 0.05 * std::sin(0.01 * static_cast<double>(pixel));
    return static_cast<float>(1e-9 * std::sinh(2.0 * v) * (1 - std::exp(-(v * v) / (gap * gap))) + noise);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: make_grid NX NY POINTS FILE [MISSING]\n");
        return 2;
    }
    const long nx = std::atol(argv[1]), ny = std::atol(argv[2]), points = std::atol(argv[3]);
    const long missing = argc > 5 ? std::atol(argv[5]) : 0;
    std::FILE* out = std::fopen(argv[4], "wb");
    if (out == nullptr || nx < 1 || ny < 1 || points < 1) return 1;
    std::fprintf(out,
                 "Grid dim=\"%ld x %ld\"\r\nGrid settings=0E+0;0E+0;%g;%g;0E+0\r\n"
                 "Filetype=Linear\r\nSweep Signal=\"Bias (V)\"\r\n"
                 "Fixed parameters=\"Sweep Start;Sweep End\"\r\n"
                 "Experiment parameters=\"X (m);Y (m);Z (m)\"\r\n# Parameters (4 byte)=5\r\n"
                 "Experiment size (bytes)=%ld\r\nPoints=%ld\r\n"
                 "Channels=\"Current (A);Current [bwd] (A)\"\r\n"
                 "Bias Spectroscopy>Sweep Start (V)=-1E+0\r\nBias Spectroscopy>Sweep End (V)=1E+0\r\n"
                 ":HEADER_END:\r\n",
                 nx, ny, 1e-9 * static_cast<double>(nx - 1), 1e-9 * static_cast<double>(ny - 1),
                 2 * points * 4, points);
    uint32_t seed = 12345;
    std::vector<unsigned char> pixel;
    for (long p = 0; p < nx * ny - missing; ++p) {
        pixel.clear();
        put(&pixel, -1.0f);
        put(&pixel, 1.0f);
        put(&pixel, static_cast<float>(1e-9 * static_cast<double>(p % nx) - 1e-9 * static_cast<double>(nx - 1) / 2));
        put(&pixel, static_cast<float>(1e-9 * static_cast<double>(p / nx) - 1e-9 * static_cast<double>(ny - 1) / 2));
        put(&pixel, 1e-9f);
        for (int direction = 0; direction < 2; ++direction)
            for (long k = 0; k < points; ++k)
                put(&pixel, current_at(-1.0 + 2.0 * static_cast<double>(k) / static_cast<double>(points - 1), p, &seed));
        std::fwrite(pixel.data(), 1, pixel.size(), out);
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
