// The current's offset at 0 V, read off a natural cubic spline.
#include "numlib/extended.h"
#include "numlib/numlib.h"
#include "spectrum/spectrum.h"
#include "spectrum/spline_constants.h"

num_status remove_offset(const float* bias, float* current, int n, spectrum_workspace* w) {
    const fvec d2 = one_based(w->d2.data(), n);
    const fvec work = one_based(w->spline.data(), n);
    if (n < 2) {
        // No interval, so no value at 0 V (SPLINT's refusal).
        spline_coeffs_using(one_based(bias, n), one_based(current, n), n, NATURAL_END,
                            NATURAL_END, d2, work);
        return NUM_SPLINT_BAD_INTERVAL;
    }
    axis_tables& t = w->axis;
    use_axis(&t, bias, n);
    if (!t.zero_usable) return NUM_SPLINT_BAD_INTERVAL;
    // The value at 0 V reads the second derivatives of its interval's ends
    // alone, so the back substitution stops at the lower one.
    const cfvec y = one_based(current, n);
    spline_coeffs_on_axis(one_based(bias, n), y, n, NATURAL_END, NATURAL_END,
                          cfvec{t.s.data() + 1, 1, n}, cfvec{t.p.data() + 1, 1, n},
                          cfvec{t.d2x.data() + 1, 1, n}, d2, work, t.at_zero.left);
    const float offset = spline_value_with(t.at_zero, y, d2);
    for (int j = 0; j < n; ++j) current[j] = subtract_floats(current[j], offset);
    return NUM_OK;
}
