// Reads every pixel of a Nanonis grid file through the readers library, on
// N threads, and prints pixels per second: the reading floor of a tool
// that works on a grid pixel by pixel.
//     grid_read FILE [THREADS]
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "readers/byte_source.h"
#include "readers/nanonis_grid.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: grid_read FILE [THREADS]\n");
        return 2;
    }
    const int threads = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    std::string error;
    std::shared_ptr<sts::file_source> file = sts::file_source::open(argv[1], &error);
    sts::nanonis_grid grid;
    if (!file || !grid.open(file, argv[1], {}, &error)) {
        std::fprintf(stderr, "grid_read: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    std::atomic<uint64_t> next{0}, measured{0};
    std::vector<double> sums(threads, 0.0);
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&, t] {
            sts::grid_pixel pixel;
            for (uint64_t p; (p = next.fetch_add(1)) < grid.header().pixels();) {
                if (grid.read_pixel(p, &pixel) != sts::pixel_status::measured) continue;
                ++measured;
                for (double v : pixel.spectra[0].current) sums[t] += std::fabs(v);
            }
        });
    for (auto& t : pool) t.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double sum = 0;
    for (double s : sums) sum += s;
    std::printf("%llu pixels measured of %llu, %.0f pixels/s on %d threads (checksum %.6g)\n",
                static_cast<unsigned long long>(measured.load()),
                static_cast<unsigned long long>(grid.header().pixels()),
                static_cast<double>(grid.header().pixels()) / seconds, threads, sum);
    return 0;
}
