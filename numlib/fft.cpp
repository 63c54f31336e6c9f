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

namespace {

// One step of the trigonometric recurrence: rotate (ur, ui) by the angle
// whose alpha = -2 sin^2(theta/2) and beta = sin(theta) are given.
inline void rotate(double& ur, double& ui, double alpha, double beta) {
    const double t = ur;
    ur = static_cast<double>(xf(ur) * alpha - xf(ui) * beta + ur);
    ui = static_cast<double>(xf(ui) * alpha + xf(t) * beta + ui);
}

}  // namespace

void fft_complex(fvec data, int count, int isign) {
    const int n = 2 * count;

    // Bit-reversal reordering of the complex points.
    int j = 1;
    for (int i = 1; i < n; i += 2) {
        if (j > i) {
            std::swap(data[j], data[i]);
            std::swap(data[j + 1], data[i + 1]);
        }
        int m = count;
        while (m >= 2 && j > m) {
            j -= m;
            m >>= 1;
        }
        j += m;
    }

    // Danielson-Lanczos butterfly passes.
    int span = 2;
    while (span < n) {
        const int stride = 2 * span;
        const double theta = 6.28318530717959 / static_cast<double>(isign * span);
        const double eta = std::sin(0.5 * theta);
        const double alpha = static_cast<double>(xf(-2) * eta * eta);
        const double beta = std::sin(theta);
        double ur = 1.0;
        double ui = 0.0;
        for (int m = 1; m < span; m += 2) {
            for (int i = m; i <= n; i += stride) {
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
            rotate(ur, ui, alpha, beta);
        }
        span = stride;
    }
}

void fft_two_real(cfvec first, cfvec second, fvec first_spectrum, fvec second_spectrum,
                  int count) {
    for (int j = 1; j <= count; ++j) {
        first_spectrum[2 * j - 1] = first[j];
        first_spectrum[2 * j] = second[j];
    }
    fft_complex(first_spectrum, count, 1);

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

void fft_real(fvec data, int count, int isign) {
    double theta = 3.141592653589793 / static_cast<double>(count);
    double sigma;
    const bool forward = isign == 1;
    if (forward) {
        sigma = -0.5;
        fft_complex(data, count, 1);
    } else {
        sigma = 0.5;
        theta = -theta;
    }
    const double eta = std::sin(0.5 * theta);
    const double alpha = static_cast<double>(xf(-2) * eta * eta);
    const double beta = std::sin(theta);
    double ur = static_cast<double>(xf(1) + alpha);
    double ui = beta;

    for (int i = 2; i <= count / 2; ++i) {
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
        rotate(ur, ui, alpha, beta);
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
        fft_complex(data, count, -1);
    }
}
