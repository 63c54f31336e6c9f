// The Fourier library alone on a stack of maps read from a raw float32
// file (bias x ny x nx): its transforms, or its drift correction (the
// field from the first slice, a lattice, then every slice resampled).
// Prints the computation's seconds (reading the file apart) and the peak
// resident memory, for bench/fourier_bench.py.
//   fourier_maps STACK.f32 NX NY SLICES fft|drift THREADS [Q1X Q1Y Q2X Q2Y]
// Or, for docs/fourier_figure.py, two slices: the Bragg peaks of the first
// (a topography), the transform of the second (a conductance map) and its
// symmetrisation about them, written as OUT.fft.f32 and OUT.sym.f32:
//   fourier_maps MAPS.f32 NX NY 2 qmap THREADS GROUP OUT DX
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fourier/bragg_peaks.h"
#include "fourier/drift_correction.h"
#include "fourier/fft_map.h"
#include "fourier/symmetrise.h"

namespace {

int qmap(const std::vector<float>& maps, size_t nx, size_t ny, const char* group, const std::string& out,
         double dx) {
    sts::q_map topography, f, s;
    sts::bragg_pair bragg;
    std::vector<sts::point_operation> ops;
    std::string problem = sts::fft_map(maps.data(), nx, ny, dx, dx, {}, topography);
    if (problem.empty()) problem = sts::find_bragg_peaks(topography, {}, bragg);
    if (problem.empty()) problem = sts::fft_map(maps.data() + nx * ny, nx, ny, dx, dx, {}, f);
    if (problem.empty()) problem = sts::point_group(group, ops);
    sts::lattice_geometry g;
    if (problem.empty()) g = sts::lattice_from_bragg(bragg.first.q, bragg.second.q, problem);
    if (problem.empty()) problem = sts::symmetrise(f, g.q1_angle, ops, s);
    if (!problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 1;
    }
    std::ofstream(out + ".fft.f32", std::ios::binary)
        .write(reinterpret_cast<const char*>(f.values.data()), static_cast<std::streamsize>(f.values.size() * 4));
    std::ofstream(out + ".sym.f32", std::ios::binary)
        .write(reinterpret_cast<const char*>(s.values.data()), static_cast<std::streamsize>(s.values.size() * 4));
    std::printf("%.6g %.6g %.6g %.6g %.6g %.6g\n", bragg.first.q.qx, bragg.first.q.qy, bragg.second.q.qx,
                bragg.second.q.qy, g.a1, g.q1_angle);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 7) {
        std::fprintf(stderr, "usage: fourier_maps STACK.f32 NX NY SLICES fft|drift THREADS [Q1X Q1Y Q2X Q2Y]\n");
        return 2;
    }
    const size_t nx = std::strtoul(argv[2], nullptr, 10), ny = std::strtoul(argv[3], nullptr, 10);
    const size_t slices = std::strtoul(argv[4], nullptr, 10);
    const std::string mode = argv[5];
    const unsigned threads = static_cast<unsigned>(std::strtoul(argv[6], nullptr, 10));
    std::vector<float> stack(nx * ny * slices), out(stack.size());
    std::ifstream file(argv[1], std::ios::binary);
    if (!file.read(reinterpret_cast<char*>(stack.data()), static_cast<std::streamsize>(stack.size() * sizeof(float)))) {
        std::fprintf(stderr, "cannot read %zu floats from %s\n", stack.size(), argv[1]);
        return 1;
    }
    if (mode == "qmap") return argc < 10 || slices != 2 ? 2 : qmap(stack, nx, ny, argv[7], argv[8], std::atof(argv[9]));
    const double dx = 0.05;
    const auto start = std::chrono::steady_clock::now();
    std::string problem;
    if (mode == "fft") {
        problem = sts::fft_maps(stack.data(), slices, nx, ny, {}, threads, out.data());
    } else {
        if (argc < 11) return 2;
        const sts::bragg_vector q1{std::atof(argv[7]), std::atof(argv[8])}, q2{std::atof(argv[9]), std::atof(argv[10])};
        sts::drift_field u;
        problem = sts::drift_field_of(stack.data(), nx, ny, dx, dx, q1, q2, 0, u);
        if (problem.empty()) problem = sts::drift_correct(u, stack.data(), slices, threads, out.data());
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 1;
    }
    // The peak of this program's own memory (VmHWM: getrusage's maximum
    // would count the forked parent's pages from before exec).
    std::ifstream status("/proc/self/status");
    long peak_kib = -1;
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) std::istringstream(line.substr(6)) >> peak_kib;
    double checksum = 0;
    for (size_t i = 0; i < out.size(); i += 997) checksum += out[i] == out[i] ? out[i] : 0;
    std::printf("%.6f %ld %.6g\n", seconds, peak_kib, checksum);  // s, KiB, a check
    return 0;
}
