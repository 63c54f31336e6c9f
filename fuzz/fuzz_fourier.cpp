// Fourier maps on arbitrary maps, sizes, spacings, Bragg vectors and point
// group names: a reason or a result, never a fault; results of the
// documented shape, and a transform of finite values finite.
#include <cmath>
#include <string>

#include "fourier/bragg_peaks.h"
#include "fourier/drift_correction.h"
#include "fourier/fft_map.h"
#include "fourier/symmetrise.h"
#include "fuzz/fuzz_input.h"

namespace {

void transform_and_symmetrise(fuzz_input& in, const std::vector<float>& map, size_t nx, size_t ny,
                              double dx, double dy) {
    const sts::fft_options o{in.byte() & 1 ? sts::fft_window::hann : sts::fft_window::none,
                             in.byte() & 1 ? sts::fft_scale::power : sts::fft_scale::amplitude};
    sts::q_map q;
    const std::string problem = sts::fft_map(map.data(), nx, ny, dx, dy, o, q);
    if (!problem.empty()) return;
    fuzz_check(q.values.size() == nx * ny && q.qx.size() == nx && q.qy.size() == ny, "map shape");
    bool finite = true;
    for (float v : map) finite = finite && std::isfinite(v) && std::fabs(v) < 1e6f;
    if (finite)
        for (float v : q.values) fuzz_check(std::isfinite(v) && v >= 0, "finite map, finite transform");
    std::string name;
    for (size_t k = in.byte() % 12; k > 0; --k) name += static_cast<char>(in.byte());
    static const char* const groups[] = {"2mm", "4mm", "6mm", "r90,m15", "m30,m0"};
    if (in.byte() & 1) name = groups[in.byte() % 5];
    std::vector<sts::point_operation> ops;
    if (sts::point_group(name, ops).empty()) {
        fuzz_check(!ops.empty() && ops.size() <= 48, "group size");
        sts::q_map s;
        if (sts::symmetrise(q, in.any_float(), ops, s).empty())
            fuzz_check(s.values.size() == q.values.size(), "symmetrised shape");
    }
    sts::refine_peak(q, {in.any_float(), in.any_float()}, static_cast<int>(in.byte()) - 8);
    sts::bragg_pair pair;
    sts::bragg_options bo;
    bo.q_min = in.any_float();
    bo.q_max = in.any_float();
    bo.candidates = in.byte() % 48;
    if (sts::find_bragg_peaks(q, bo, pair).empty()) {
        std::string why;
        sts::lattice_from_bragg(pair.first.q, pair.second.q, why);
    }
}

void drift(fuzz_input& in, const std::vector<float>& map, size_t nx, size_t ny, double dx, double dy) {
    const sts::bragg_vector q1{in.any_float(), in.any_float()}, q2{in.ranged_float(-50, 50), in.ranged_float(-50, 50)};
    sts::drift_field u;
    const double lambda = in.byte() & 1 ? 0.0 : in.any_float();
    if (!sts::drift_field_of(map.data(), nx, ny, dx, dy, q1, q2, lambda, u).empty()) return;
    fuzz_check(u.ux.size() == nx * ny && u.uy.size() == nx * ny, "field shape");
    std::vector<float> out(map.size());
    fuzz_check(sts::drift_correct(u, map.data(), 1, 1 + in.byte() % 3, out.data()).empty(), "resample");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_input in{data, size};
    const size_t nx = in.byte() % 40, ny = in.byte() % 40;
    const double dx = in.byte() & 1 ? in.any_float() : in.ranged_float(0.01f, 1.0f);
    const double dy = in.byte() & 1 ? in.any_float() : in.ranged_float(0.01f, 1.0f);
    const bool bounded = in.byte() & 1;
    std::vector<float> map(nx * ny);
    for (float& v : map) v = bounded ? in.ranged_float(-1, 1) : in.any_float();
    transform_and_symmetrise(in, map, nx, ny, dx, dy);
    drift(in, map, nx, ny, dx, dy);
    return 0;
}
