// Natural and clamped cubic splines: second derivatives once per table,
// then evaluation by bisection.
#include "numlib/extended.h"
#include "numlib/numlib.h"

void spline_coeffs_using(cfvec x, cfvec y, int n, float slope_first, float slope_last, fvec d2,
                         fvec work) {
    if (n < 2) {
        // No interval to work on: a flat table of second derivatives keeps
        // every later read defined.
        for (int k = 1; k <= n; ++k) d2[k] = 0.0f;
        return;
    }
    if (static_cast<double>(slope_first) > 9.9e29) {
        d2[1] = 0.0f;
        work[1] = 0.0f;
    } else {
        d2[1] = -0.5f;
        const xf h = xf(x[2]) - x[1];
        work[1] = static_cast<float>((xf(3) / h) * ((xf(y[2]) - y[1]) / h - slope_first));
    }

    for (int i = 2; i <= n - 1; ++i) {
        const float s = static_cast<float>((xf(x[i]) - x[i - 1]) / (xf(x[i + 1]) - x[i - 1]));
        const float p = static_cast<float>(xf(s) * d2[i - 1] + xf(2));
        d2[i] = static_cast<float>((xf(s) - xf(1)) / p);
        work[i] = static_cast<float>((xf(y[i + 1]) - y[i]) / (xf(x[i + 1]) - x[i]) -
                                     (xf(y[i]) - y[i - 1]) / (xf(x[i]) - x[i - 1]));
        work[i] = static_cast<float>(((xf(6) * work[i]) / (xf(x[i + 1]) - x[i - 1]) -
                                      xf(s) * work[i - 1]) /
                                     p);
    }

    float q = 0.0f;
    float u = 0.0f;
    if (static_cast<double>(slope_last) <= 9.9e29) {
        q = 0.5f;
        const xf h = xf(x[n]) - x[n - 1];
        u = static_cast<float>((xf(3) / h) * (slope_last - (xf(y[n]) - y[n - 1]) / h));
    }
    d2[n] = static_cast<float>((xf(u) - xf(q) * work[n - 1]) / (xf(q) * d2[n - 1] + xf(1)));
    for (int k = n - 1; k >= 1; --k) d2[k] = static_cast<float>(xf(d2[k]) * d2[k + 1] + work[k]);
}

void spline_coeffs(cfvec x, cfvec y, int n, float slope_first, float slope_last, fvec d2) {
    fvec work = vector(1, n - 1);
    spline_coeffs_using(x, y, n, slope_first, slope_last, d2, work);
    vector_free(work, 1, n - 1);
}

int spline_bracket(cfvec x, int n, float t) {
    int left = 1;
    int right = n;
    while (right - left > 1) {
        const int mid = (left + right) / 2;
        if (x[mid] > t)
            right = mid;
        else
            left = mid;
    }
    return left;
}

num_status spline_value_on(cfvec x, cfvec y, cfvec d2, int left, float t, float* value) {
    const int right = left + 1;
    const float h = subtract_floats(x[right], x[left]);
    // A NaN width is refused too: only an ordered, non-zero width is usable.
    if (!(h < 0.0f || h > 0.0f)) return NUM_SPLINT_BAD_INTERVAL;
    const float a = static_cast<float>((xf(x[right]) - t) / h);
    const float b = static_cast<float>((xf(t) - x[left]) / h);
    static const xf sixth = xf(1) / xf(6);  // (formed once, in xf itself)
    const xf cubic_a = (xf(a) * a) * a - a;
    const xf cubic_b = (xf(b) * b) * b - b;
    *value = static_cast<float>((xf(a) * y[left] + xf(b) * y[right]) +
                                ((cubic_a * d2[left] + cubic_b * d2[right]) * (xf(h) * h)) * sixth);
    return NUM_OK;
}

num_status num_splint(cfvec x, cfvec y, cfvec d2, int n, float t, float* value) {
    // With fewer than two points every bracket has zero width (x[1] - x[1]);
    // refusing up front also keeps an empty table from being read.
    if (n < 2) return NUM_SPLINT_BAD_INTERVAL;
    return spline_value_on(x, y, d2, spline_bracket(x, n, t), t, value);
}

// The published form, for programs outside this tree that expect the run to
// end at bad input.
void SPLINT(cfvec x, cfvec y, cfvec d2, int n, float t, float* value) {
    if (const num_status s = num_splint(x, y, d2, n, t, value); !s.ok()) num_error(num_message(s));
}
