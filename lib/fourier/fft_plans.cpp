#include "fourier/fft_plans.h"

#include <map>
#include <mutex>
#include <utility>

namespace sts {

namespace {

std::mutex planner_lock;
// Never destroyed: plans stay valid for threads still running at exit.
auto* plans = new std::map<std::pair<size_t, size_t>, fftwf_plan>;

}  // namespace

fftwf_plan r2c_plan(size_t nx, size_t ny) {
    const std::lock_guard<std::mutex> hold(planner_lock);
    const auto key = std::make_pair(ny, nx);
    if (const auto found = plans->find(key); found != plans->end()) return found->second;
    const size_t complex_count = ny * (nx / 2 + 1);
    float* in = fftwf_alloc_real(ny * nx);
    fftwf_complex* out = fftwf_alloc_complex(complex_count);
    fftwf_plan plan = nullptr;
    if (in && out)
        plan = fftwf_plan_dft_r2c_2d(static_cast<int>(ny), static_cast<int>(nx), in, out,
                                     FFTW_ESTIMATE);
    fftwf_free(in);
    fftwf_free(out);
    if (plan) (*plans)[key] = plan;
    return plan;
}

}  // namespace sts
