// The offset broadening of I/V and the normalisation of dI/dV by a
// spline-interpolated I/V.
#include <cmath>

#include "numlib/extended.h"
#include "spectrum/normalise_internal.h"
#include "numlib/numlib.h"
#include "spectrum/spectrum.h"
#include "spectrum/spline_constants.h"

void broaden_offset(float* iv, int n, float offset) {
    for (int j = 0; j < n; ++j) {
        const xf sum = xf(iv[j]) * iv[j] + xf(offset) * offset;
        iv[j] = static_cast<float>(std::sqrt(static_cast<double>(sum)));
    }
}

num_status normalise_at_midpoints(const float* vmid, const float* didv, float* out, int m,
                                  const float* bias, const float* ivar, int n, bool vmid_of_bias,
                                  spectrum_workspace* w, int* zero_divisors) {
    const fvec d2 = one_based(w->d2.data(), n);
    const fvec work = one_based(w->spline.data(), n);
    *zero_divisors = 0;
    if (n < 2) {
        // Fewer than two points leave no interval to evaluate a midpoint on.
        spline_coeffs_using(one_based(bias, n), one_based(ivar, n), n, NATURAL_END, NATURAL_END,
                            d2, work);
        return m > 0 ? NUM_SPLINT_BAD_INTERVAL : NUM_OK;
    }
    axis_tables& t = w->axis;
    use_axis(&t, bias, n);
    use_midpoints(&t, vmid, m, vmid_of_bias);
    const cfvec x = one_based(bias, n);
    const cfvec y = one_based(ivar, n);
    spline_coeffs_on_axis(x, y, n, NATURAL_END, NATURAL_END, cfvec{t.s.data() + 1, 1, n},
                          cfvec{t.p.data() + 1, 1, n}, cfvec{t.d2x.data() + 1, 1, n}, d2, work);
    for (int j = 0; j < m; ++j) {
        if (j == t.usable_midpoints) return NUM_SPLINT_BAD_INTERVAL;
        const float s = spline_value_with(t.at_midpoint[static_cast<size_t>(j)], y, d2);
        if (s == 0.0f) ++*zero_divisors;
        out[j] = divide_floats(didv[j], s);
    }
    return NUM_OK;
}

void normalise_in_step(three_normalisations* jobs, int count, int m, const float* bias, int n,
                       const axis_tables& t) {
    const cfvec x = one_based(bias, n);
    cfvec y[spline_batch];
    fvec d2[spline_batch], work[spline_batch];
    for (int k = 0; k < count; ++k) {
        spectrum_workspace* w = jobs[k].w;
        for (int c = 0; c < 3; ++c) {
            const auto at = static_cast<size_t>(c) * static_cast<size_t>(w->capacity);
            const int chain = 3 * k + c;
            y[chain] = one_based(jobs[k].ivar[c], n);
            d2[chain] = one_based(w->d2.data() + at, n);
            work[chain] = one_based(w->spline.data() + at, n);
        }
    }
    spline_coeffs_on_axis_batch(x, y, 3 * count, n, NATURAL_END, NATURAL_END,
                                cfvec{t.s.data() + 1, 1, n}, cfvec{t.p.data() + 1, 1, n},
                                cfvec{t.d2x.data() + 1, 1, n}, d2, work);
    for (int k = 0; k < count; ++k) {
        three_normalisations& job = jobs[k];
        job.zero_divisors = 0;
        for (int j = 0; j < m; ++j) {
            const spline_terms& terms = t.at_midpoint[static_cast<size_t>(j)];
            for (int c = 0; c < 3; ++c) {
                const float s = spline_value_with(terms, y[3 * k + c], d2[3 * k + c]);
                if (s == 0.0f) ++job.zero_divisors;
                job.out[c][j] = divide_floats(job.didv[j], s);
                if (job.kept) job.kept[c][j] = s;
            }
        }
    }
}

num_status normalise_by(const float* vmid, const float* didv, float* out, int m, const float* bias,
                        const float* ivar, int n, spectrum_workspace* w, int* zero_divisors) {
    return normalise_at_midpoints(vmid, didv, out, m, bias, ivar, n, false, w, zero_divisors);
}
