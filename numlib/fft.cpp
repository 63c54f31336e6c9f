// Radix-2 fast Fourier transforms over interleaved float arrays.
//
// The angles, sines and rotation factors are held in double.  Instead of a
// sine and cosine per point, the rotation factor is advanced by a recurrence
// (evaluated in extended precision, stored as double), so sin is called only
// twice per butterfly pass.
#include <cmath>
#include <utility>

#include "numlib/extended.h"
#include "numlib/numlib.h"
#include "numlib/fft_internal.h"

namespace {

// One step of the trigonometric recurrence: rotate (ur, ui) by the angle
// whose alpha = -2 sin^2(theta/2) and beta = sin(theta) are given.
inline void rotate(double& ur, double& ui, double alpha, double beta) {
    const double t = ur;
    ur = static_cast<double>(xf(ur) * alpha - xf(ui) * beta + ur);
    ui = static_cast<double>(xf(ui) * alpha + xf(t) * beta + ui);
}

// The bit-reversal exchanges of count complex points, in the order the
// reordering makes them: swap(j, i) exchanges the points at 1-based
// interleaved indices j and i.
template <typename Swap>
void bit_reversal(int count, Swap swap) {
    const int n = 2 * count;
    int j = 1;
    for (int i = 1; i < n; i += 2) {
        if (j > i) swap(j, i);
        int m = count;
        while (m >= 2 && j > m) {
            j -= m;
            m >>= 1;
        }
        j += m;
    }
}

void exchange(fvec data, int j, int i) {
    std::swap(data[j], data[i]);
    std::swap(data[j + 1], data[i + 1]);
}

// The rotation of one butterfly pass over groups `span` apart.
struct pass_rotation {
    double alpha, beta;
};
pass_rotation rotation_of(int isign, int span) {
    const double theta = 6.28318530717959 / static_cast<double>(isign * span);
    const double eta = std::sin(0.5 * theta);
    return {static_cast<double>(xf(-2) * eta * eta), std::sin(theta)};
}

// The butterflies of group m of a pass, with the group's factor (ur, ui).
inline void butterflies(fvec data, int n, int m, int span, double ur, double ui) {
    for (int i = m; i <= n; i += 2 * span) {
        const int k = i + span;
        const float vr = static_cast<float>(xf(ur) * data[k] - xf(ui) * data[k + 1]);
        const float vi = static_cast<float>(xf(ur) * data[k + 1] + xf(ui) * data[k]);
        data[k] = subtract_floats(data[i], vr);
        data[k + 1] = subtract_floats(data[i + 1], vi);
        // (vr first: of two NaNs the sum gives the first, and its sign
        // shows in the printed results.)
        data[i] = add_floats(vr, data[i]);
        data[i + 1] = add_floats(vi, data[i + 1]);
    }
}

}  // namespace

// Danielson-Lanczos butterfly passes after the bit-reversal reordering.
void fft_complex_with(fvec data, int count, int isign, const fft_complex_plan* plan) {
    const int n = 2 * count;
    if (plan) {
        for (size_t k = 0; k + 1 < plan->swaps.size(); k += 2)
            exchange(data, plan->swaps[k], plan->swaps[k + 1]);
        size_t group = 0;
        for (int span = 2; span < n; span *= 2)
            for (int m = 1; m < span; m += 2, ++group)
                butterflies(data, n, m, span, plan->ur[group], plan->ui[group]);
        return;
    }
    bit_reversal(count, [&](int j, int i) { exchange(data, j, i); });
    for (int span = 2; span < n; span *= 2) {
        const pass_rotation r = rotation_of(isign, span);
        double ur = 1.0;
        double ui = 0.0;
        for (int m = 1; m < span; m += 2) {
            butterflies(data, n, m, span, ur, ui);
            rotate(ur, ui, r.alpha, r.beta);
        }
    }
}

void fft_complex(fvec data, int count, int isign) { fft_complex_with(data, count, isign, nullptr); }

void fft_two_real(cfvec first, cfvec second, fvec first_spectrum, fvec second_spectrum,
                  int count) {
    fft_two_real_with(first, second, first_spectrum, second_spectrum, count, nullptr);
}

void fft_two_real_with(cfvec first, cfvec second, fvec first_spectrum, fvec second_spectrum,
                       int count, const fft_complex_plan* plan) {
    for (int j = 1; j <= count; ++j) {
        first_spectrum[2 * j - 1] = first[j];
        first_spectrum[2 * j] = second[j];
    }
    fft_complex_with(first_spectrum, count, 1, plan);

    fvec z = first_spectrum;
    second_spectrum[1] = z[2];
    second_spectrum[2] = 0.0f;
    z[2] = 0.0f;
    for (int j = 3; j <= count + 1; j += 2) {
        const int p = 2 * count + 2 - j;
        const int q = 2 * count + 3 - j;
        const float sr = static_cast<float>(xf(0.5) * (xf(z[j]) + z[p]));
        const float dr = static_cast<float>(xf(0.5) * (xf(z[j]) - z[p]));
        const float si = static_cast<float>(xf(0.5) * (xf(z[j + 1]) + z[q]));
        const float di = static_cast<float>(xf(0.5) * (xf(z[j + 1]) - z[q]));
        z[j] = sr;
        z[j + 1] = di;
        z[p] = sr;
        z[q] = -di;
        second_spectrum[j] = si;
        second_spectrum[j + 1] = -dr;
        second_spectrum[p] = si;
        second_spectrum[q] = dr;
    }
}

namespace {

// The start of fft_real's own recurrence: the direction's sign sigma and
// the rotation by pi / count (backwards for the inverse).
struct real_rotation {
    double sigma, alpha, beta;
};
real_rotation real_rotation_of(int count, bool forward) {
    double theta = 3.141592653589793 / static_cast<double>(count);
    if (!forward) theta = -theta;
    const double eta = std::sin(0.5 * theta);
    return {forward ? -0.5 : 0.5, static_cast<double>(xf(-2) * eta * eta), std::sin(theta)};
}

// Point pair i of the separation of the two interleaved halves.
inline void separate(fvec data, int count, int i, double sigma, double ur, double ui) {
    const int a1 = 2 * i - 1;
    const int a2 = 2 * i;
    const int a3 = 2 * count + 3 - a2;
    const int a4 = a3 + 1;
    const float er = static_cast<float>(xf(0.5) * (xf(data[a1]) + data[a3]));
    const float ei = static_cast<float>(xf(0.5) * (xf(data[a2]) - data[a4]));
    const float odd_r = static_cast<float>(-xf(sigma) * (xf(data[a2]) + data[a4]));
    const float odd_i = static_cast<float>(xf(sigma) * (xf(data[a1]) - data[a3]));
    data[a1] = static_cast<float>(xf(er) + xf(ur) * odd_r - xf(ui) * odd_i);
    data[a2] = static_cast<float>(xf(ei) + xf(ur) * odd_i + xf(ui) * odd_r);
    data[a3] = static_cast<float>(xf(er) - xf(ur) * odd_r + xf(ui) * odd_i);
    // -Ei + ur*Oi is written as ur*Oi - Ei: the same value (signed zeros
    // too), and the form GCC compiles either to, so that a NaN Ei keeps
    // its sign in every build.
    data[a4] = static_cast<float>(xf(ur) * odd_i - xf(ei) + xf(ui) * odd_r);
}

}  // namespace

void fft_real_with(fvec data, int count, int isign, const fft_real_plan* plan) {
    const bool forward = isign == 1;
    const real_rotation r = real_rotation_of(count, forward);
    if (forward) fft_complex_with(data, count, 1, plan ? &plan->complex : nullptr);
    if (plan) {
        for (int i = 2; i <= count / 2; ++i)
            separate(data, count, i, r.sigma, plan->ur[static_cast<size_t>(i - 2)],
                     plan->ui[static_cast<size_t>(i - 2)]);
    } else {
        double ur = static_cast<double>(xf(1) + r.alpha);
        double ui = r.beta;
        for (int i = 2; i <= count / 2; ++i) {
            separate(data, count, i, r.sigma, ur, ui);
            rotate(ur, ui, r.alpha, r.beta);
        }
    }

    const float t = data[1];
    if (forward) {
        // data[2] first: of two NaNs the sum gives the first, and its sign
        // shows in the printed results.
        data[1] = add_floats(data[2], t);
        data[2] = subtract_floats(t, data[2]);
    } else {
        data[1] = static_cast<float>(xf(0.5) * (xf(t) + data[2]));
        data[2] = static_cast<float>(xf(0.5) * (xf(t) - data[2]));
        fft_complex_with(data, count, -1, plan ? &plan->complex : nullptr);
    }
}

void fft_real(fvec data, int count, int isign) { fft_real_with(data, count, isign, nullptr); }

namespace {

void make_complex_plan(int count, int isign, fft_complex_plan* plan) {
    plan->count = count;
    plan->isign = isign;
    plan->swaps.clear();
    bit_reversal(count, [&](int j, int i) {
        plan->swaps.push_back(j);
        plan->swaps.push_back(i);
    });
    plan->ur.clear();
    plan->ui.clear();
    for (int span = 2; span < 2 * count; span *= 2) {
        const pass_rotation r = rotation_of(isign, span);
        double ur = 1.0;
        double ui = 0.0;
        for (int m = 1; m < span; m += 2) {
            plan->ur.push_back(ur);
            plan->ui.push_back(ui);
            rotate(ur, ui, r.alpha, r.beta);
        }
    }
}

void make_real_plan(int count, int isign, fft_real_plan* plan) {
    make_complex_plan(count, isign == 1 ? 1 : -1, &plan->complex);
    const real_rotation r = real_rotation_of(count, isign == 1);
    plan->ur.clear();
    plan->ui.clear();
    double ur = static_cast<double>(xf(1) + r.alpha);
    double ui = r.beta;
    for (int i = 2; i <= count / 2; ++i) {
        plan->ur.push_back(ur);
        plan->ui.push_back(ui);
        rotate(ur, ui, r.alpha, r.beta);
    }
}

}  // namespace

void make_convlv_plan(int n, convlv_plan* plan) {
    if (plan->n == n) return;
    make_complex_plan(n, 1, &plan->forward);
    make_real_plan(n / 2, -1, &plan->inverse);
    plan->n = n;
}
