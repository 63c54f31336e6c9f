// What the Fourier tests share: raw files for the NumPy scripts beside
// them, and synthetic maps of known content.
#ifndef FOURIER_TESTS_FOURIER_TESTING_H
#define FOURIER_TESTS_FOURIER_TESTING_H

#include <string>
#include <vector>

namespace fourier_testing {

// Little-endian float32 / float64 files, as numpy.fromfile reads them.
void write_floats(const std::string& path, const std::vector<float>& v);
std::vector<float> read_floats(const std::string& path);
std::vector<double> read_doubles(const std::string& path);

// Runs /usr/bin/python3 on a script in the tests' folder; its standard
// output, or a failure (with standard error) in the test.
std::string python(const std::string& script, const std::vector<std::string>& args);

// The sum of cos(q_k . r + phase_k) over plane waves, r = (x dx, y dy) nm.
struct wave {
    double qx, qy, amplitude, phase;
};
std::vector<float> plane_waves(size_t nx, size_t ny, double dx, double dy,
                               const std::vector<wave>& waves);

// Gaussian noise of standard deviation sigma added, the same for a seed.
void add_noise(std::vector<float>& map, double sigma, unsigned seed);

}  // namespace fourier_testing

#endif
