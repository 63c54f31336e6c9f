// The gap fit on arbitrary curves and settings: a Dynes curve over a sweep
// with arbitrary values written over some points, or arbitrary floats
// throughout (NaNs, infinities, subnormals), and settings drawn from the
// bytes, out-of-range ones included.  fit_gap must return one of its
// statuses, values that are finite when it says converged, and the fitted
// curve must be computable.  (Lower bounds of Gamma and T stay above 1e-3,
// T below 20 K, at most 20 iterations, and modulation is left to the normal
// tip, so that one input cannot take minutes: the superconducting tip's
// energy grid grows as T / Gamma.)
#include <cmath>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "spectrum/gap_fit.h"

namespace {

sts::gap_fit_settings read_settings(fuzz_input* in) {
    sts::gap_fit_settings s;
    const uint8_t flags = in->byte();
    s.model = flags & 1 ? sts::gap_model::dynes_sis : sts::gap_model::dynes;
    s.fit_temperature = flags & 2;
    s.fit_tip_gap = flags & 4;
    s.fit_tip_gamma = flags & 8;
    s.fit_offset = flags & 16;
    s.fit_background = flags & 32;
    const bool wild = flags & 64;
    s.window = wild ? in->any_float() : in->ranged_float(0, 0.01f);
    s.bias_to_meV = wild ? in->any_float() : (in->byte() & 1 ? 1000 : 1);
    s.temperature = wild ? in->any_float() : in->ranged_float(0.05f, 20);
    s.tip_gap = in->ranged_float(0, 2);
    s.tip_gamma = in->ranged_float(1e-3f, 0.5f);
    s.modulation = s.model == sts::gap_model::dynes ? in->ranged_float(0, 0.001f) : 0;
    s.noise = in->byte() & 1 ? in->ranged_float(0, 0.1f) : 0;
    s.max_iterations = 1 + in->byte() % 20;
    s.gamma_min = in->ranged_float(1e-3f, 0.01f);
    s.temperature_min = in->ranged_float(1e-3f, 0.5f);
    s.temperature_max = in->ranged_float(1, 20);
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_input in{data, size};
    const sts::gap_fit_settings s = read_settings(&in);
    const int n = in.byte() % 200 + (in.byte() & 1 ? 200 : 0);
    std::vector<float> bias(static_cast<size_t>(n)), didv(bias.size());
    const bool swept = in.byte() & 1;
    sts::gap_curve c;
    c.gap = in.ranged_float(0.1f, 2);
    c.gamma = in.ranged_float(0.005f, 0.3f);
    c.temperature = in.ranged_float(0.1f, 5);
    c.scale = in.ranged_float(0.1f, 10);
    std::vector<double> b(bias.size()), y(bias.size());
    for (int i = 0; i < n; ++i) b[static_cast<size_t>(i)] = -0.004 + 0.008 * i / std::max(1, n - 1);
    sts::gap_fit_workspace w;
    sts::evaluate_gap_curve(c, b.data(), n, y.data(), &w);
    for (size_t i = 0; i < bias.size(); ++i) {
        const uint8_t kind = in.byte();
        bias[i] = swept && kind % 8 != 0 ? static_cast<float>(b[i]) : in.any_float();
        didv[i] = swept && kind % 8 != 1 ? static_cast<float>(y[i]) : in.any_float();
    }
    const sts::gap_fit_result r = sts::fit_gap(bias.data(), didv.data(), n, s, &w);
    const int status = static_cast<int>(r.status);
    fuzz_check(status >= 0 && status < sts::gap_fit_status_count &&
                   r.status != sts::gap_fit_status::not_computed,
               "a status fit_gap returns");
    if (r.status == sts::gap_fit_status::converged || r.status == sts::gap_fit_status::poor_fit)
        fuzz_check(std::isfinite(r.gap) && std::isfinite(r.gamma) && std::isfinite(r.scale) &&
                       std::isfinite(r.chi2),
                   "a converged fit has finite values");
    std::vector<float> curve(bias.size());
    sts::fitted_gap_curve(s, r, bias.data(), n, curve.data(), &w);
    return 0;
}
