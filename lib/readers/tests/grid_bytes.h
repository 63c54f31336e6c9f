// Nanonis grid files (.3ds) made up by the tests: a header, then per pixel
// four parameters (Sweep Start, Sweep End, X, Y) and the channels, all
// big-endian float32.
#ifndef READERS_TESTS_GRID_BYTES_H
#define READERS_TESTS_GRID_BYTES_H

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace gridtest {

// pixels[p][c][k]: point k of channel c of pixel p.
using pixel_values = std::vector<std::vector<std::vector<float>>>;

struct grid_spec {
    int nx = 1, ny = 1, points = 3;
    std::vector<std::string> channels = {"Current (A)"};
    float start = 0, stop = 1;             // every pixel's sweep ends
    std::string filetype = "Linear";
    std::string settings = "0;0;1E-8;1E-8;0";
    std::string extra;                     // more header lines, each ending in "\r\n"
};

inline void put_float(std::string* text, float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    for (int s = 24; s >= 0; s -= 8) text->push_back(static_cast<char>((bits >> s) & 0xff));
}

// Pixel p sits at X = p nm, Y = 0.
inline std::string grid_file(const grid_spec& g, const pixel_values& pixels) {
    std::string channels;
    for (const auto& c : g.channels) channels += (channels.empty() ? "" : ";") + c;
    char sizes[160];
    std::snprintf(sizes, sizeof sizes, "Grid dim=\"%d x %d\"\r\n", g.nx, g.ny);
    std::string text = std::string(sizes) + "Grid settings=" + g.settings + "\r\nFiletype=" +
                       g.filetype + "\r\nSweep Signal=\"Bias (V)\"\r\n"
                       "Fixed parameters=\"Sweep Start;Sweep End\"\r\n"
                       "Experiment parameters=\"X (m);Y (m)\"\r\n# Parameters (4 byte)=4\r\n";
    std::snprintf(sizes, sizeof sizes, "Experiment size (bytes)=%zu\r\nPoints=%d\r\n",
                  g.channels.size() * static_cast<size_t>(g.points) * 4, g.points);
    text += std::string(sizes) + "Channels=\"" + channels + "\"\r\n" + g.extra + ":HEADER_END:\r\n";
    for (size_t p = 0; p < pixels.size(); ++p) {
        put_float(&text, g.start);
        put_float(&text, g.stop);
        put_float(&text, static_cast<float>(p) * 1e-9f);
        put_float(&text, 0.0f);
        for (const auto& channel : pixels[p])
            for (float v : channel) put_float(&text, v);
    }
    return text;
}

}  // namespace gridtest

#endif
