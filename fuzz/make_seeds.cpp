// Well-formed starting inputs for the fuzz targets that read instrument
// files, written by the same library as the tests' files
// (testkit/instrument_files.h), so that the fuzzers start from every
// layout the readers accept.
//
//     make_seeds FOLDER      writes FOLDER/stsimport/fixture-*, FOLDER/grid/fixture-*
//                            and FOLDER/sxm/fixture-*
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "testkit/instrument_files.h"

namespace {

bool write(const std::string& path, const std::string& bytes) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && written;
}

float current(long p, int c, long k) {
    const double scale = (c == 0 ? 1e-9 : -1e-9) * static_cast<double>(p + 1);
    return static_cast<float>(scale * std::sinh(0.1 * static_cast<double>(k - 3)));
}

// The grids: whole, interrupted, with a never-measured pixel, with axes
// that differ per pixel, of the three experiment parameters, and with a
// lock-in channel in both directions.
std::vector<std::pair<std::string, std::string>> grids() {
    testkit::nanonis_grid_layout g = testkit::raster_grid(3, 2, 7);
    std::vector<std::pair<std::string, std::string>> files = {
        {"3ds", testkit::nanonis_grid(g, current)}};
    testkit::nanonis_grid_layout cut = g;
    cut.written = 4;
    files.emplace_back("3ds-interrupted", testkit::nanonis_grid(cut, current));
    files.emplace_back("3ds-unmeasured", testkit::nanonis_grid(g, [](long p, int c, long k) {
                           return p == 2 ? NAN : current(p, c, k);
                       }));
    testkit::nanonis_grid_layout axes = g;
    axes.end_of = [](long p) { return 0.5f + 0.25f * static_cast<float>(p); };
    files.emplace_back("3ds-axes", testkit::nanonis_grid(axes, current));
    testkit::nanonis_grid_layout xyz = g;
    xyz.experiment_size = true;
    xyz.experiment_parameters = {"X (m)", "Y (m)", "Z (m)"};
    xyz.experiment_of = [](long p) { return std::vector<float>{1e-9f * p, 0, 1e-9f}; };
    files.emplace_back("3ds-xyz", testkit::nanonis_grid(xyz, current));
    testkit::nanonis_grid_layout lockin = g;
    lockin.channels = {"Current (A)", "Current [bwd] (A)", "LI Demod 1 X (A)",
                       "LI Demod 1 X [bwd] (A)"};
    // The lock-in module's settings, as the instrument records them.
    lockin.extra = "Lock-in>Lock-in status=ON\r\nLock-in>Modulated signal=\"Bias (V)\"\r\n"
                   "Lock-in>Amplitude=2E-3\r\nLock-in>Demodulated signal=\"Current (A)\"\r\n"
                   "Lock-in>Harmonic D1=1\r\nLock-in 2>Harmonic D3=1\r\n";
    files.emplace_back("3ds-lockin", testkit::nanonis_grid(lockin, current));
    return files;
}

// The point spectra: a .dat of one sweep with both directions, and a .VERT.
std::vector<std::pair<std::string, std::string>> spectra() {
    const std::string dat = testkit::nanonis_dat(
        {false,
         {{"Experiment", "bias spectroscopy"}, {"Date", "04.08.2015 08:49:41"}},
         {"Bias calc (V)", "Current (A)", "Current [bwd] (A)"},
         {{"-1E-1", "-2E-10", "-3E-10"}, {"0E+0", "1E-12", "2E-12"}, {"1E-1", "2E-10", "3E-10"}},
         false});
    const std::string vert = testkit::createc_vert(
        {{-100, -262144}, {0, 0}, {100, 524288}, {100, 262144}, {0, 0}, {-100, -524288}});
    return {{"dat", dat}, {"vert", vert}};
}

// The scan images: up and down, channels of one direction, least
// significant byte first, a scan stopped after its first line.
std::vector<std::pair<std::string, std::string>> images() {
    const testkit::sxm_values value = [](size_t c, bool backward, long ix, long iy) {
        return static_cast<float>(1e-9 * static_cast<double>(c + 1) * (backward ? -1 : 1) *
                                  std::sin(0.5 * static_cast<double>(ix + 3 * iy)));
    };
    testkit::nanonis_sxm_layout up;
    up.nx = 5;
    up.ny = 3;
    up.angle = 59;
    testkit::nanonis_sxm_layout down = up;
    down.up = false;
    down.channels = {{"Z", "m", "forward"}, {"Current", "A", "backward"}, {"Bias", "V", "both"}};
    testkit::nanonis_sxm_layout little = up;
    little.type = "FLOAT            LSBFIRST";
    return {{"sxm-up", testkit::nanonis_sxm(up, value)},
            {"sxm-down", testkit::nanonis_sxm(down, value)},
            {"sxm-lsb", testkit::nanonis_sxm(little, value)},
            {"sxm-stopped", testkit::nanonis_sxm(up, [&](size_t c, bool b, long ix, long iy) {
                 return iy == 0 ? value(c, b, ix, iy) : NAN;
             })}};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    std::error_code e;
    std::filesystem::create_directories(folder + "/stsimport", e);
    std::filesystem::create_directories(folder + "/grid", e);
    std::filesystem::create_directories(folder + "/sxm", e);
    bool ok = true;
    // fuzz_stsimport takes two option bytes first (automatic format, forward,
    // no units given); fuzz_grid one (forward; the lock-in grid's asks for
    // its lock-in channel).
    for (const auto& [name, bytes] : grids()) {
        const char grid_option = name == "3ds-lockin" ? '\x04' : '\0';
        ok = ok && write(folder + "/stsimport/fixture-" + name, std::string(2, '\0') + bytes);
        ok = ok && write(folder + "/grid/fixture-" + name, std::string(1, grid_option) + bytes);
    }
    for (const auto& [name, bytes] : spectra())
        ok = ok && write(folder + "/stsimport/fixture-" + name, std::string(2, '\0') + bytes);
    // fuzz_sxm takes the file alone; stsimport refuses it as an image.
    for (const auto& [name, bytes] : images()) {
        ok = ok && write(folder + "/sxm/fixture-" + name, bytes);
        ok = ok && write(folder + "/stsimport/fixture-" + name, std::string(2, '\0') + bytes);
    }
    if (!ok) std::fprintf(stderr, "make_seeds: cannot write the seeds in %s\n", folder.c_str());
    return ok ? 0 : 1;
}
