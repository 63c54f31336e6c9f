// Exponential broadening of I/V: convolution with symmetric weights
// exp(-k dV / width) by FFT, on a copy of the curve extended at both ends by
// a parabola and padded with zeros to a power-of-two length.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "numlib/extended.h"
#include "numlib/fft_plan.h"
#include "numlib/numlib.h"
#include "spectrum/spectrum.h"

namespace {

// Points added beyond each end of the curve before it is convolved.
constexpr int EXTRA = 10;

// The parabola through the first, middle and last point, continued for
// EXTRA steps of the first spacing beyond each end into padded.
num_status extrapolate(const float* bias, const float* iv, int n, fvec padded) {
    const float anchor_x[3] = {bias[0], bias[n / 2], bias[n - 1]};
    const float anchor_y[3] = {iv[0], iv[n / 2], iv[n - 1]};
    const cfvec ax = one_based(anchor_x, 3);
    const cfvec ay = one_based(anchor_y, 3);
    float up[3];
    float down[3];
    float discarded_error = 0.0f;
    for (int k = 0; k < EXTRA; ++k) {
        const float d = static_cast<float>(xf(k + 1) * (xf(bias[1]) - bias[0]));
        const float left = subtract_floats(bias[0], d);
        num_status s = num_polint(ax, ay, 3, left, padded.at(EXTRA - 1 - k), &discarded_error,
                                  one_based(up, 3), one_based(down, 3));
        if (!s.ok()) return s;
        // d first: of two NaNs the sum gives the first, and its sign shows
        // in the printed results.
        const float right = add_floats(d, bias[n - 1]);
        s = num_polint(ax, ay, 3, right, padded.at(n + EXTRA + k), &discarded_error,
                       one_based(up, 3), one_based(down, 3));
        if (!s.ok()) return s;
    }
    return NUM_OK;
}

// Weights in wrap-around order: zero lag first, lag i at i and at n - i.
void weights(const float* bias, float width, int n, fvec kernel) {
    for (int i = 0; i <= (n + 1) / 2 - 1; ++i) {
        const double exponent = static_cast<double>(xf(i) * (xf(bias[0]) - bias[1]) / width);
        const float weight = static_cast<float>(std::exp(exponent));
        kernel[i] = weight;
        kernel[n - i] = weight;
    }
    kernel[n] = 0.0f;  // the second copy of the zero-lag weight
}

// The weights kernel[0..n] for this axis and width, formed once per axis:
// they depend on the first spacing, the count and the width alone.
const std::vector<float>& weights_for(const float* bias, float width, int n, axis_tables* t) {
    use_axis(t, bias, n);
    std::uint32_t bits;
    std::memcpy(&bits, &width, sizeof bits);
    if (!t->weights_ready || t->width_bits != bits) {
        t->weights.assign(static_cast<size_t>(n) + 1, 0.0f);
        weights(bias, width, n, fvec{t->weights.data(), 0, n});
        t->width_bits = bits;
        t->weights_ready = true;
    }
    return t->weights;
}

}  // namespace

int broadening_length(int n) {
    int length = 1;
    while (length <= n) length *= 2;
    while (n + 2 * EXTRA > length - 2 * EXTRA) length *= 2;
    return length;
}

num_status broaden_exp(const float* bias, float* iv, float width, int n, spectrum_workspace* w) {
    const int length = broadening_length(n);
    // Index ranges 0..length-1 as the curve is laid out; the convolution
    // sees the same blocks renumbered from 1.
    const fvec padded{w->padded.data(), 0, length - 1};
    const fvec kernel{w->kernel.data(), 0, length - 1};
    const fvec convolved{w->convolved.data(), 0, 2 * length - 1};
    for (int i = 0; i < length; ++i) {
        padded[i] = 0.0f;
        kernel[i] = 0.0f;
    }
    for (int i = 0; i < n; ++i) padded[EXTRA + i] = iv[i];
    if (const num_status s = extrapolate(bias, iv, n, padded); !s.ok()) return s;
    if (n >= 2) {
        const std::vector<float>& kept = weights_for(bias, width, n, &w->axis);
        std::copy(kept.begin(), kept.end(), kernel.at(0));
    } else {
        weights(bias, width, n, kernel);
    }

    make_convlv_plan(length, &w->plan);
    const num_status s =
        convlv_planned(renumber(padded, 0, 1), length, renumber(kernel, 0, 1), n, 1.0f,
                       renumber(convolved, 0, 1), one_based(w->scratch.data(), 2 * length),
                       w->plan);
    if (!s.ok()) return s;
    for (int i = 0; i < n; ++i) iv[i] = convolved[EXTRA + i];
    return NUM_OK;
}

void broaden_exp(const float* bias, float* iv, float width, int n) {
    spectrum_workspace w;
    if (!reserve_workspace(&w, n)) num_error(num_message(NUM_NO_MEMORY));
    if (const num_status s = broaden_exp(bias, iv, width, n, &w); !s.ok()) num_error(num_message(s));
}
