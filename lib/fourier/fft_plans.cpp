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
    fftwf_complex* buffer = fftwf_alloc_complex(ny * (nx / 2 + 1));
    fftwf_plan plan = nullptr;
    if (buffer)
        plan = fftwf_plan_dft_r2c_2d(static_cast<int>(ny), static_cast<int>(nx),
                                     reinterpret_cast<float*>(buffer), buffer, FFTW_ESTIMATE);
    fftwf_free(buffer);
    if (plan) (*plans)[key] = plan;
    return plan;
}

}  // namespace sts
