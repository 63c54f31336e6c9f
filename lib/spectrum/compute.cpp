// The computation of one spectrum, step by step in its fixed order.
#include <cmath>

#include "spectrum/finite_values.h"
#include "spectrum/normalise_internal.h"
#include "spectrum/spectrum.h"

namespace {

bool any_nonfinite(const float* v, int count) {
    return sts::any_nonfinite(v, static_cast<size_t>(count));
}

// Finite, strictly ascending biases let the normalisations find each
// midpoint's interval directly.
bool strictly_ascending(const float* bias, int n) {
    for (int j = 0; j < n; ++j) {
        if (!std::isfinite(bias[j])) return false;
        if (j > 0 && !(bias[j] > bias[j - 1])) return false;
    }
    return true;
}

spectrum_report fail(spectrum_report r, spectrum_step step, num_status failure) {
    r.status = spectrum_status::routine_failure;
    r.reached = step;
    r.failure = failure;
    return r;
}

// Why some results are inf or nan: the input, a zero divisor, or values
// beyond the float range.
int causes_of(const spectrum_arrays& a, int n, bool finite_input, int zero_divisors) {
    const int m = n - 1;
    const bool nonfinite = any_nonfinite(a.vmid.data(), m) || any_nonfinite(a.didv.data(), m) ||
                           any_nonfinite(a.iv_raw.data(), n) ||
                           any_nonfinite(a.current.data(), n) ||
                           any_nonfinite(a.norm_exp.data(), m) ||
                           any_nonfinite(a.norm_coff.data(), m) ||
                           any_nonfinite(a.norm_raw.data(), m);
    if (!nonfinite) return 0;
    int causes = finite_input ? 0 : CAUSE_NONFINITE_INPUT;
    if (zero_divisors > 0) causes |= CAUSE_ZERO_DIVISOR;
    return causes != 0 ? causes : CAUSE_RANGE;
}

}  // namespace

spectrum_report compute_spectrum(int n_read, const norm_options& o, spectrum_workspace* w,
                                 spectrum_arrays* a) {
    spectrum_report r;
    if (n_read > MAX_POINTS || n_read > a->capacity || n_read > w->capacity) {
        r.status = spectrum_status::too_many_points;
        return r;
    }
    float* bias = a->bias.data();
    float* current = a->current.data();
    const int n = n_read < 2 ? n_read : sort_and_merge(bias, current, n_read);
    r.n = n;
    r.merged = n_read - n;
    if (n < 2) {
        r.status = spectrum_status::too_few_points;
        return r;
    }
    const bool finite_input = !any_nonfinite(bias, n) && !any_nonfinite(current, n);

    if (const num_status s = remove_offset(bias, current, n, w); !s.ok())
        return fail(r, spectrum_step::offset, s);
    current_over_bias(bias, current, a->iv_raw.data(), n);
    const int m = n - 1;
    differentiate(bias, current, a->didv.data(), a->vmid.data(), n);

    for (int j = 0; j < n; ++j) a->iv_exp[j] = a->iv_coff[j] = a->iv_raw[j];
    if (const num_status s = broaden_exp(bias, a->iv_exp.data(), o.exp_width, n, w); !s.ok())
        return fail(r, spectrum_step::broaden, s);
    broaden_offset(a->iv_coff.data(), n, o.coff_offset);

    const bool direct = strictly_ascending(bias, n);
    const float* divisors[3] = {a->iv_exp.data(), a->iv_coff.data(), a->iv_raw.data()};
    float* outputs[3] = {a->norm_exp.data(), a->norm_coff.data(), a->norm_raw.data()};
    const spectrum_step steps[3] = {spectrum_step::norm_exp, spectrum_step::norm_coff,
                                    spectrum_step::norm_raw};
    use_axis(&w->axis, bias, n);
    use_midpoints(&w->axis, a->vmid.data(), m, direct);
    if (w->axis.usable_midpoints == m) {
        const auto cap = static_cast<size_t>(a->capacity);
        float* kept[3] = {nullptr, nullptr, nullptr};
        const bool keep = a->divisors.size() >= 3 * cap;
        for (size_t c = 0; keep && c < 3; ++c) kept[c] = a->divisors.data() + c * cap;
        const int zeros =
            normalise_three(a->didv.data(), outputs, m, bias, divisors, n, w, keep ? kept : nullptr);
        r.reached = spectrum_step::done;
        r.causes = causes_of(*a, n, finite_input, zeros);
        return r;
    }
    // An interval the spline refuses: the normalisations one after the
    // other, so that the report names the first one that failed.
    int zero_divisors = 0;
    for (int k = 0; k < 3; ++k) {
        int zeros = 0;
        const num_status s = normalise_at_midpoints(a->vmid.data(), a->didv.data(), outputs[k], m,
                                                    bias, divisors[k], n, direct, w, &zeros);
        if (!s.ok()) return fail(r, steps[k], s);
        zero_divisors += zeros;
    }
    r.reached = spectrum_step::done;
    r.causes = causes_of(*a, n, finite_input, zero_divisors);
    return r;
}
