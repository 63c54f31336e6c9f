// The current's offset at 0 V, read off a natural cubic spline.
#include "numlib/extended.h"
#include "numlib/numlib.h"
#include "spectrum/normalise_internal.h"
#include "spectrum/spectrum.h"
#include "spectrum/spline_constants.h"

num_status remove_offset(const float* bias, float* current, int n, spectrum_workspace* w) {
    if (n < 2) {
        // No interval, so no value at 0 V (SPLINT's refusal).
        spline_coeffs_using(one_based(bias, n), one_based(current, n), n, NATURAL_END,
                            NATURAL_END, one_based(w->d2.data(), n),
                            one_based(w->spline.data(), n));
        return NUM_SPLINT_BAD_INTERVAL;
    }
    return remove_offsets_in_step(bias, &current, &w, 1, n);
}

num_status remove_offsets_in_step(const float* bias, float* const* current,
                                  spectrum_workspace* const* w, int count, int n) {
    axis_tables& t = w[0]->axis;
    use_axis(&t, bias, n);
    if (!t.zero_usable) return NUM_SPLINT_BAD_INTERVAL;
    cfvec y[spline_batch];
    fvec d2[spline_batch], work[spline_batch];
    for (int c = 0; c < count; ++c) {
        y[c] = one_based(current[c], n);
        d2[c] = one_based(w[c]->d2.data(), n);
        work[c] = one_based(w[c]->spline.data(), n);
    }
    // The value at 0 V reads the second derivatives of its interval's ends
    // alone, so the back substitution stops at the lower one.
    spline_coeffs_on_axis_batch(one_based(bias, n), y, count, n, NATURAL_END, NATURAL_END,
                                cfvec{t.s.data() + 1, 1, n}, cfvec{t.p.data() + 1, 1, n},
                                cfvec{t.d2x.data() + 1, 1, n}, d2, work, t.at_zero.left);
    for (int c = 0; c < count; ++c) {
        const float offset = spline_value_with(t.at_zero, y[c], d2[c]);
        for (int j = 0; j < n; ++j) current[c][j] = subtract_floats(current[c][j], offset);
    }
    return NUM_OK;
}
