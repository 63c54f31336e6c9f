// The floor of stsgrid's speed: the per-pixel computation alone over a
// grid whose spectra are read into memory first (the reading is not
// timed).  Prints the seconds and pixels per second of the computation.
//
//     grid_compute GRID.3ds
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "readers/byte_source.h"
#include "readers/nanonis_grid.h"
#include "spectrum/spectrum.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    std::string error;
    std::shared_ptr<const sts::byte_source> file = sts::file_source::open(argv[1], &error);
    sts::nanonis_grid grid;
    if (!file || !grid.open(file, argv[1], sts::import_options{}, &error)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], error.c_str());
        return 1;
    }
    std::vector<std::vector<float>> bias, current;
    sts::grid_pixel p;
    for (uint64_t k = 0; k < grid.complete_pixels(); ++k) {
        if (grid.read_pixel(k, &p) != sts::pixel_status::measured) continue;
        const auto& s = p.spectra.front();
        bias.emplace_back(s.bias.begin(), s.bias.end());
        current.emplace_back(s.current.begin(), s.current.end());
        for (size_t j = 0; j < s.bias.size(); ++j) {
            bias.back()[j] = static_cast<float>(s.bias[j]);
            current.back()[j] = static_cast<float>(s.current[j]);
        }
    }
    const int n = static_cast<int>(grid.header().points);
    spectrum_workspace w;
    spectrum_arrays a;
    if (!reserve_workspace(&w, n) || !reserve_arrays(&a, n)) return 1;
    const auto start = std::chrono::steady_clock::now();
    double check = 0;
    for (size_t k = 0; k < bias.size(); ++k) {
        std::copy(bias[k].begin(), bias[k].end(), a.bias.begin());
        std::copy(current[k].begin(), current[k].end(), a.current.begin());
        const spectrum_report r = compute_spectrum(n, norm_options{}, &w, &a);
        check += r.n > 1 ? a.norm_raw[static_cast<size_t>(r.n / 2)] : 0;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%zu pixels of %d points: %.3f s, %.0f pixels/s, %.3f us/point (check %g)\n",
                bias.size(), n, seconds, static_cast<double>(bias.size()) / seconds,
                1e6 * seconds / static_cast<double>(bias.size()) / n, check);
    return 0;
}
