// Natural and clamped cubic splines: second derivatives once per table,
// then evaluation by bisection.
#include "numlib/extended.h"
#include "numlib/numlib.h"
#include "numlib/spline_axis.h"

namespace {

// The first row of the system: a natural end, or the given slope.  The
// x-only second derivative is 0 or -1/2; work[1] depends on the values.
float first_d2(float slope_first) {
    return static_cast<double>(slope_first) > 9.9e29 ? 0.0f : -0.5f;
}
float first_work(cfvec x, cfvec y, float slope_first) {
    if (static_cast<double>(slope_first) > 9.9e29) return 0.0f;
    const xf h = xf(x[2]) - x[1];
    return static_cast<float>((xf(3) / h) * ((xf(y[2]) - y[1]) / h - slope_first));
}

// Row i's x-only terms, from the row before's second derivative.
inline void axis_step(cfvec x, int i, float d2_before, float* s, float* p, float* d2) {
    *s = static_cast<float>((xf(x[i]) - x[i - 1]) / (xf(x[i + 1]) - x[i - 1]));
    *p = static_cast<float>(xf(*s) * d2_before + xf(2));
    *d2 = static_cast<float>((xf(*s) - xf(1)) / *p);
}

// The values' slope over x[k] .. x[k + 1], in xf.
inline xf slope_over(cfvec x, cfvec y, int k) {
    return (xf(y[k + 1]) - y[k]) / (xf(x[k + 1]) - x[k]);
}

// Row i's value-dependent term.  *slope holds the slope over the interval
// before row i and receives the one after it, the same xf value that the
// next row's difference of slopes starts from, so it is divided out once.
inline float data_step(cfvec x, cfvec y, int i, float s, float p, float work_before,
                       xf* slope) {
    const xf after = slope_over(x, y, i);
    const float difference = static_cast<float>(after - *slope);
    *slope = after;
    return static_cast<float>(((xf(6) * difference) / (xf(x[i + 1]) - x[i - 1]) -
                               xf(s) * work_before) /
                              p);
}

// The last row: d2[n] from the row before's x-only term d2[n-1] and work[n-1].
void last_row(cfvec x, cfvec y, int n, float slope_last, fvec d2, cfvec work) {
    float q = 0.0f;
    float u = 0.0f;
    if (static_cast<double>(slope_last) <= 9.9e29) {
        q = 0.5f;
        const xf h = xf(x[n]) - x[n - 1];
        u = static_cast<float>((xf(3) / h) * (slope_last - (xf(y[n]) - y[n - 1]) / h));
    }
    d2[n] = static_cast<float>((xf(u) - xf(q) * work[n - 1]) / (xf(q) * d2[n - 1] + xf(1)));
}

// The back substitution of one table.
inline void substitute(fvec d2, cfvec work, int k) {
    d2[k] = static_cast<float>(xf(d2[k]) * d2[k + 1] + work[k]);
}

}  // namespace

void spline_coeffs_using(cfvec x, cfvec y, int n, float slope_first, float slope_last, fvec d2,
                         fvec work) {
    if (n < 2) {
        // No interval to work on: a flat table of second derivatives keeps
        // every later read defined.
        for (int k = 1; k <= n; ++k) d2[k] = 0.0f;
        return;
    }
    d2[1] = first_d2(slope_first);
    work[1] = first_work(x, y, slope_first);
    xf slope = n > 2 ? slope_over(x, y, 1) : xf(0);
    for (int i = 2; i <= n - 1; ++i) {
        float s, p;
        axis_step(x, i, d2[i - 1], &s, &p, &d2[i]);
        work[i] = data_step(x, y, i, s, p, work[i - 1], &slope);
    }
    last_row(x, y, n, slope_last, d2, work);
    for (int k = n - 1; k >= 1; --k) substitute(d2, work, k);
}

void spline_axis_terms(cfvec x, int n, float slope_first, fvec s, fvec p, fvec d2x) {
    d2x[1] = first_d2(slope_first);
    for (int i = 2; i <= n - 1; ++i) axis_step(x, i, d2x[i - 1], &s[i], &p[i], &d2x[i]);
}

void spline_coeffs_on_axis(cfvec x, cfvec y, int n, float slope_first, float slope_last,
                           cfvec s, cfvec p, cfvec d2x, fvec d2, fvec work, int lowest) {
    spline_coeffs_on_axis_batch(x, &y, 1, n, slope_first, slope_last, s, p, d2x, &d2, &work,
                                lowest);
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

void spline_coeffs_on_axis_batch(cfvec x, const cfvec* y, int count, int n, float slope_first,
                                 float slope_last, cfvec s, cfvec p, cfvec d2x, const fvec* d2,
                                 const fvec* work, int lowest) {
    xf slope[spline_batch];
    for (int c = 0; c < count; ++c) {
        d2[c][1] = d2x[1];
        work[c][1] = first_work(x, y[c], slope_first);
        slope[c] = n > 2 ? slope_over(x, y[c], 1) : xf(0);
    }
    for (int i = 2; i <= n - 1; ++i)
        for (int c = 0; c < count; ++c) {
            d2[c][i] = d2x[i];
            work[c][i] = data_step(x, y[c], i, s[i], p[i], work[c][i - 1], &slope[c]);
        }
    for (int c = 0; c < count; ++c) last_row(x, y[c], n, slope_last, d2[c], work[c]);
    for (int k = n - 1; k >= lowest; --k)
        for (int c = 0; c < count; ++c) substitute(d2[c], work[c], k);
}

bool spline_terms_at(cfvec x, int left, float t, spline_terms* terms) {
    const int right = left + 1;
    const float h = subtract_floats(x[right], x[left]);
    // A NaN width is refused too: only an ordered, non-zero width is usable.
    if (!(h < 0.0f || h > 0.0f)) return false;
    terms->left = left;
    terms->a = static_cast<float>((xf(x[right]) - t) / h);
    terms->b = static_cast<float>((xf(t) - x[left]) / h);
    terms->cubic_a = (xf(terms->a) * terms->a) * terms->a - terms->a;
    terms->cubic_b = (xf(terms->b) * terms->b) * terms->b - terms->b;
    terms->width_squared = xf(h) * h;
    return true;
}

float spline_value_with(const spline_terms& t, cfvec y, cfvec d2) {
    static const xf sixth = xf(1) / xf(6);  // (formed once, in xf itself)
    const int left = t.left;
    return static_cast<float>(
        (xf(t.a) * y[left] + xf(t.b) * y[left + 1]) +
        ((t.cubic_a * d2[left] + t.cubic_b * d2[left + 1]) * t.width_squared) * sixth);
}

num_status spline_value_on(cfvec x, cfvec y, cfvec d2, int left, float t, float* value) {
    spline_terms terms;
    if (!spline_terms_at(x, left, t, &terms)) return NUM_SPLINT_BAD_INTERVAL;
    *value = spline_value_with(terms, y, d2);
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
