// A measured dI/dV placed, calibrated and normalised beside the numerical one.
#include "spectrum/lockin.h"

#include <cmath>
#include <limits>
#include <new>

namespace {

constexpr float NaN = std::numeric_limits<float>::quiet_NaN();

bool all_finite(const float* v, int count) {
    for (int j = 0; j < count; ++j)
        if (!std::isfinite(v[j])) return false;
    return true;
}

// The calibrated lock-in, scale * x + offset evaluated in extended
// precision, divided by the interpolated I/V that the numerical curves were
// divided by (kept by compute_spectrum): the same divisors, so the two sets
// of curves differ only by their numerators.  One pass over the midpoints;
// returns the residual sum of squares against the numerical dI/dV.
xf calibrate_and_normalise(const spectrum_arrays& a, int m, const lockin_fit& fit,
                           lockin_arrays* l) {
    const auto cap = static_cast<size_t>(a.capacity);
    const float* exp = a.divisors.data();
    const float* coff = exp + cap;
    const float* raw = coff + cap;
    const float* x = l->at_mid.data();
    const float* didv = a.didv.data();
    xf residual = 0;
    for (int j = 0; j < m; ++j) {
        const float v = static_cast<float>(xf(fit.scale) * x[j] + xf(fit.offset));
        l->didv[j] = v;
        const xf r = xf(didv[j]) - xf(v);
        residual += r * r;
        l->norm_exp[j] = divide_floats(v, exp[j]);
        l->norm_coff[j] = divide_floats(v, coff[j]);
        l->norm_raw[j] = divide_floats(v, raw[j]);
    }
    return residual;
}

// 1 - residual / total; NaN when total, the centred sum of squares of the
// numerical dI/dV, is not positive.
float share_explained(xf residual, xf total) {
    if (!(total > xf(0))) return NaN;
    return static_cast<float>(xf(1) - residual / total);
}

// Sorting distinct ascending biases changes nothing, and merging finds no
// run: the common sweep needs neither.
bool strictly_ascending(const float* bias, int n) {
    for (int j = 1; j < n; ++j)
        if (!(bias[j - 1] < bias[j])) return false;
    return true;
}

}  // namespace

bool reserve_lockin_arrays(lockin_arrays* l, int capacity) {
    if (capacity < 1) return false;
    try {
        for (std::vector<float>* v : {&l->bias, &l->signal, &l->at_mid, &l->didv, &l->norm_exp,
                                      &l->norm_coff, &l->norm_raw})
            v->assign(static_cast<size_t>(capacity), 0.0f);
    } catch (const std::bad_alloc&) {
        return false;
    }
    l->capacity = capacity;
    return true;
}

const char* describe_lockin_status(lockin_status s) {
    switch (s) {
        case lockin_status::ok: return "fitted";
        case lockin_status::missing_values: return "the lock-in channel has missing values";
        case lockin_status::too_few_points: return "too few points to fit a line";
        case lockin_status::flat_signal: return "the lock-in channel does not vary";
        case lockin_status::no_fit: break;
    }
    return "no line fits the lock-in channel to the numerical dI/dV";
}

lockin_moments moments_of(const float* x, const float* y, int m) {
    lockin_moments r;
    if (m <= 0) return r;
    xf sum_x = 0, sum_y = 0;
    for (int j = 0; j < m; ++j) {
        sum_x += xf(x[j]);
        sum_y += xf(y[j]);
    }
    r.count = xf(m);
    r.mean_x = sum_x / r.count;
    r.mean_y = sum_y / r.count;
    for (int j = 0; j < m; ++j) {
        const xf dx = xf(x[j]) - r.mean_x;
        const xf dy = xf(y[j]) - r.mean_y;
        r.sxx += dx * dx;
        r.sxy += dx * dy;
        r.syy += dy * dy;
    }
    return r;
}

void merge_moments(lockin_moments* into, const lockin_moments& more) {
    if (!(more.count > xf(0))) return;
    if (!(into->count > xf(0))) {
        *into = more;
        return;
    }
    const xf n = into->count + more.count;
    const xf dx = more.mean_x - into->mean_x;
    const xf dy = more.mean_y - into->mean_y;
    const xf weight = into->count * more.count / n;
    into->sxx += more.sxx + dx * dx * weight;
    into->sxy += more.sxy + dx * dy * weight;
    into->syy += more.syy + dy * dy * weight;
    into->mean_x += dx * more.count / n;
    into->mean_y += dy * more.count / n;
    into->count = n;
}

lockin_fit fit_line(const lockin_moments& m) {
    lockin_fit fit;
    if (!(m.count >= xf(2))) {
        fit.status = lockin_status::too_few_points;
        return fit;
    }
    if (!(m.sxx > xf(0))) {
        // Zero, or NaN from values that are not finite.
        fit.status = m.sxx == xf(0) ? lockin_status::flat_signal : lockin_status::no_fit;
        return fit;
    }
    const xf scale = m.sxy / m.sxx;
    fit.scale = static_cast<float>(scale);
    fit.offset = static_cast<float>(m.mean_y - scale * m.mean_x);
    fit.status = std::isfinite(fit.scale) && std::isfinite(fit.offset) ? lockin_status::ok
                                                                       : lockin_status::no_fit;
    return fit;
}

lockin_status place_lockin(int n_read, int n, lockin_arrays* l) {
    if (n_read > l->capacity) return lockin_status::no_fit;
    float* bias = l->bias.data();
    float* signal = l->signal.data();
    const int kept = n_read < 2 || strictly_ascending(bias, n_read)
                         ? n_read
                         : sort_and_merge(bias, signal, n_read);
    if (kept != n) return lockin_status::no_fit;
    if (!all_finite(signal, n)) return lockin_status::missing_values;
    for (int i = 0; i + 1 < n; ++i)
        l->at_mid[i] = static_cast<float>((xf(signal[i]) + signal[i + 1]) * xf(0.5));
    return n < 3 ? lockin_status::too_few_points : lockin_status::ok;
}

float r_squared(const float* y, const float* fitted, int m) {
    if (m <= 0) return NaN;
    xf sum = 0;
    for (int j = 0; j < m; ++j) sum += xf(y[j]);
    const xf mean = sum / xf(m);
    xf total = 0, residual = 0;
    for (int j = 0; j < m; ++j) {
        const xf d = xf(y[j]) - mean;
        total += d * d;
        const xf r = xf(y[j]) - xf(fitted[j]);
        residual += r * r;
    }
    return share_explained(residual, total);
}

lockin_status spectrum_moments(int n_read, const spectrum_report& r, const spectrum_arrays& a,
                               lockin_arrays* l, lockin_moments* moments) {
    if (r.status != spectrum_status::ok) return lockin_status::no_fit;
    const lockin_status placed = place_lockin(n_read, r.n, l);
    if (placed != lockin_status::ok) return placed;
    const int m = r.n - 1;
    if (!all_finite(a.didv.data(), m)) return lockin_status::no_fit;
    *moments = moments_of(l->at_mid.data(), a.didv.data(), m);
    return lockin_status::ok;
}

lockin_report compute_lockin(int n_read, const spectrum_report& r, const spectrum_arrays& a,
                             const lockin_fit* fixed, lockin_arrays* l) {
    lockin_report out;
    lockin_moments moments;
    out.status = spectrum_moments(n_read, r, a, l, &moments);
    if (out.status == lockin_status::ok &&
        a.divisors.size() < 3 * static_cast<size_t>(a.capacity))
        out.status = lockin_status::no_fit;
    if (out.status != lockin_status::ok) return out;
    const lockin_fit fit = fixed ? *fixed : fit_line(moments);
    out.status = fit.status;
    if (fit.status != lockin_status::ok) return out;
    const int m = r.n - 1;
    out.scale = fit.scale;
    out.offset = fit.offset;
    const xf residual = calibrate_and_normalise(a, m, fit, l);
    // The moments' centred sum of squares of the numerical dI/dV is the
    // total r_squared would compute (the same sums in the same order).
    out.r2 = share_explained(residual, moments.syy);
    return out;
}
