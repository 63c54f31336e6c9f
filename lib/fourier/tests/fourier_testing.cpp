#include "fourier_testing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "testkit/testkit.h"

namespace fourier_testing {

void write_floats(const std::string& path, const std::vector<float>& v) {
    std::string bytes(v.size() * sizeof(float), '\0');
    if (!v.empty()) std::memcpy(bytes.data(), v.data(), bytes.size());
    testkit::write_file(path, bytes);
}

std::vector<float> read_floats(const std::string& path) {
    const std::string bytes = testkit::read_file(path);
    std::vector<float> v(bytes.size() / sizeof(float));
    if (!v.empty()) std::memcpy(v.data(), bytes.data(), v.size() * sizeof(float));
    return v;
}

std::vector<double> read_doubles(const std::string& path) {
    const std::string bytes = testkit::read_file(path);
    std::vector<double> v(bytes.size() / sizeof(double));
    if (!v.empty()) std::memcpy(v.data(), bytes.data(), v.size() * sizeof(double));
    return v;
}

std::string python(const std::string& script, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"/usr/bin/python3", std::string(FOURIER_TEST_DIR "/") + script};
    argv.insert(argv.end(), args.begin(), args.end());
    const testkit::outcome r = testkit::run(argv);
    EXPECT_EQ(r.status, 0) << script << ": " << r.err;
    return r.out;
}

std::vector<float> plane_waves(size_t nx, size_t ny, double dx, double dy,
                               const std::vector<wave>& waves) {
    std::vector<float> map(nx * ny);
    for (size_t y = 0; y < ny; ++y)
        for (size_t x = 0; x < nx; ++x) {
            double v = 0;
            for (const wave& w : waves)
                v += w.amplitude * std::cos(w.qx * static_cast<double>(x) * dx +
                                            w.qy * static_cast<double>(y) * dy + w.phase);
            map[y * nx + x] = static_cast<float>(v);
        }
    return map;
}

void add_noise(std::vector<float>& map, double sigma, unsigned seed) {
    std::mt19937 generator(seed);
    std::normal_distribution<double> normal(0.0, sigma);
    for (float& v : map) v = static_cast<float>(v + normal(generator));
}

}  // namespace fourier_testing
