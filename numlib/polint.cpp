// Polynomial interpolation by Neville's tableau, walking from the table
// point nearest to t.
#include <cmath>

#include "numlib/extended.h"
#include "numlib/numlib.h"

num_status num_polint(cfvec x, cfvec y, int n, float t, float* value, float* error_estimate,
                      fvec up, fvec down) {
    int s = 1;
    float best = static_cast<float>(xf_fabs(xf(t) - x[1]));
    for (int i = 1; i <= n; ++i) {
        const double dist = std::fabs(static_cast<double>(t) - static_cast<double>(x[i]));
        if (!(dist >= best)) {
            s = i;
            best = static_cast<float>(dist);
        }
        up[i] = y[i];
        down[i] = y[i];
    }

    *value = y[s];
    int p = s - 1;
    for (int m = 1; m <= n - 1; ++m) {
        for (int i = 1; i <= n - m; ++i) {
            const float ho = subtract_floats(x[i], t);
            const float hp = subtract_floats(x[i + m], t);
            const float w = subtract_floats(up[i + 1], down[i]);
            const xf gap = xf(ho) - hp;
            if (!(gap < xf(0) || gap > xf(0))) return NUM_POLINT_EQUAL_DISTANCES;
            float den = static_cast<float>(gap);
            den = divide_floats(w, den);
            down[i] = multiply_floats(hp, den);
            up[i] = multiply_floats(ho, den);
        }
        float correction;
        if (2 * p < n - m) {
            correction = up[p + 1];
        } else {
            correction = down[p];
            --p;
        }
        *error_estimate = correction;
        // correction first: of two NaNs the sum gives the first, and its
        // sign shows in the printed results.
        *value = add_floats(correction, *value);
    }
    return NUM_OK;
}

// The published form, for programs outside this tree that expect the run to
// end at bad input.
void POLINT(cfvec x, cfvec y, int n, float t, float* value, float* error_estimate) {
    fvec up = vector(1, n);
    fvec down = vector(1, n);
    const num_status s = num_polint(x, y, n, t, value, error_estimate, up, down);
    // The tables are given back before the run ends, so that a leak check
    // at exit sees nothing outstanding.
    vector_free(down, 1, n);
    vector_free(up, 1, n);
    if (!s.ok()) num_error(num_message(s));
}
