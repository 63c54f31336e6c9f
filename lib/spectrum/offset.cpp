// The current's offset at 0 V, read off a natural cubic spline.
#include "numlib/extended.h"
#include "numlib/numlib.h"
#include "spectrum/spectrum.h"
#include "spectrum/spline_constants.h"

num_status remove_offset(const float* bias, float* current, int n, spectrum_workspace* w) {
    const cfvec x = one_based(bias, n);
    const fvec d2 = one_based(w->d2.data(), n);
    spline_coeffs_using(x, one_based(current, n), n, NATURAL_END, NATURAL_END, d2,
                        one_based(w->spline.data(), n));
    float offset = 0.0f;
    const num_status status = num_splint(x, one_based(current, n), d2, n, 0.0f, &offset);
    if (!status.ok()) return status;
    for (int j = 0; j < n; ++j) current[j] = subtract_floats(current[j], offset);
    return NUM_OK;
}
