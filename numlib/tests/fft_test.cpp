#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "numlib/numlib.h"
#include "testkit/testkit.h"

namespace {

using cplx = std::complex<double>;
const double two_pi = 6.283185307179586476925;

// Direct O(N^2) transform in double with the library's sign convention.
std::vector<cplx> dft(const std::vector<cplx>& h, int isign) {
    const size_t n = h.size();
    std::vector<cplx> out(n);
    for (size_t k = 0; k < n; ++k) {
        cplx sum = 0;
        for (size_t j = 0; j < n; ++j)
            sum += h[j] * std::polar(1.0, isign * two_pi * static_cast<double>((j * k) % n) /
                                              static_cast<double>(n));
        out[k] = sum;
    }
    return out;
}

// Float-sized tolerance for a transform of values of magnitude about 1.
double tolerance(size_t n) { return 4e-7 * std::sqrt(static_cast<double>(n)) * std::log2(2.0 * n) * 4; }

TEST(FftComplex, ImpulseGivesPositiveRotation) {
    const int n = 16;
    std::vector<float> data(2 * n, 0.0f);
    data[2] = 1.0f;  // point 1
    fft_complex(one_based(data.data(), 2 * n), n, 1);
    for (int k = 0; k < n; ++k) {
        EXPECT_NEAR(data[2 * k], std::cos(two_pi * k / n), 1e-6) << k;
        EXPECT_NEAR(data[2 * k + 1], std::sin(two_pi * k / n), 1e-6) << k;
    }
    EXPECT_GT(data[3], 0.0f);
}

TEST(FftComplex, ConstantAndSinglePoint) {
    const int n = 64;
    std::vector<float> data(2 * n);
    for (int k = 0; k < n; ++k) {
        data[2 * k] = 1.5f;
        data[2 * k + 1] = -0.5f;
    }
    fft_complex(one_based(data.data(), 2 * n), n, -1);
    EXPECT_NEAR(data[0], 96.0f, 1e-4);
    EXPECT_NEAR(data[1], -32.0f, 1e-4);
    for (int k = 2; k < 2 * n; ++k) EXPECT_NEAR(data[k], 0.0f, 1e-4) << k;

    std::vector<float> one = {3.0f, 4.0f};
    fft_complex(one_based(one.data(), 2), 1, 1);
    EXPECT_EQ(one, (std::vector<float>{3.0f, 4.0f}));
}

TEST(FftComplex, AgainstDirectTransform) {
    for (int n = 1; n <= 1024; n *= 2) {
        for (int isign : {1, -1}) {
            std::vector<float> data = testkit::random_floats(2 * n, static_cast<unsigned>(n * 3 + isign));
            std::vector<cplx> h(n);
            for (int k = 0; k < n; ++k) h[k] = cplx(data[2 * k], data[2 * k + 1]);
            const auto expected = dft(h, isign);
            fft_complex(one_based(data.data(), 2 * n), n, isign);
            double worst = 0;
            for (int k = 0; k < n; ++k)
                worst = std::max(worst, std::abs(cplx(data[2 * k], data[2 * k + 1]) - expected[k]));
            EXPECT_LT(worst, tolerance(n)) << "n=" << n << " isign=" << isign;
        }
    }
}

TEST(FftComplex, RoundTripScalesByN) {
    const int n = 256;
    const auto original = testkit::random_floats(2 * n, 7);
    auto data = original;
    fft_complex(one_based(data.data(), 2 * n), n, 1);
    fft_complex(one_based(data.data(), 2 * n), n, -1);
    for (int k = 0; k < 2 * n; ++k) EXPECT_NEAR(data[k], n * original[k], 1e-3) << k;
}

TEST(FftTwoReal, AgainstDirectTransform) {
    for (int n = 1; n <= 1024; n *= 2) {
        const auto first = testkit::random_floats(n, static_cast<unsigned>(n));
        const auto second = testkit::random_floats(n, static_cast<unsigned>(n + 1000));
        std::vector<float> s1(2 * n, 99.0f), s2(2 * n, 99.0f);
        fft_two_real(one_based(first.data(), n), one_based(second.data(), n),
                     one_based(s1.data(), 2 * n), one_based(s2.data(), 2 * n), n);
        std::vector<cplx> h1(first.begin(), first.end()), h2(second.begin(), second.end());
        const auto e1 = dft(h1, 1), e2 = dft(h2, 1);
        double worst = 0;
        for (int k = 0; k < n; ++k) {
            worst = std::max(worst, std::abs(cplx(s1[2 * k], s1[2 * k + 1]) - e1[k]));
            worst = std::max(worst, std::abs(cplx(s2[2 * k], s2[2 * k + 1]) - e2[k]));
        }
        EXPECT_LT(worst, tolerance(n)) << n;
        EXPECT_EQ(s1[1], 0.0f);  // zero frequency: imaginary parts exactly 0
        EXPECT_EQ(s2[1], 0.0f);
    }
    std::vector<float> a = {2.0f}, b = {-3.0f}, sa(2), sb(2);
    fft_two_real(one_based(a.data(), 1), one_based(b.data(), 1), one_based(sa.data(), 2),
                 one_based(sb.data(), 2), 1);
    EXPECT_EQ(sa, (std::vector<float>{2.0f, 0.0f}));
    EXPECT_EQ(sb, (std::vector<float>{-3.0f, 0.0f}));
}

// The packed spectrum of 2*count reals against the direct transform.
TEST(FftReal, ForwardAgainstDirectTransform) {
    for (int count = 1; count <= 512; count *= 2) {
        const int n = 2 * count;
        auto data = testkit::random_floats(n, static_cast<unsigned>(count + 77));
        std::vector<cplx> h(data.begin(), data.end());
        const auto e = dft(h, 1);
        fft_real(one_based(data.data(), n), count, 1);
        double worst = std::max(std::abs(data[0] - e[0].real()), std::abs(data[1] - e[count].real()));
        for (int k = 1; k < count; ++k)
            worst = std::max(worst, std::abs(cplx(data[2 * k], data[2 * k + 1]) - e[k]));
        EXPECT_LT(worst, tolerance(n)) << count;
    }
    std::vector<float> pair = {1.5f, 0.25f};
    fft_real(one_based(pair.data(), 2), 1, 1);
    EXPECT_EQ(pair, (std::vector<float>{1.75f, 1.25f}));
}

TEST(FftReal, RoundTripScalesByCountAndOnlyOneIsForward) {
    const int count = 128;
    const auto original = testkit::random_floats(2 * count, 3);
    auto forward = original;
    fft_real(one_based(forward.data(), 2 * count), count, 1);
    std::vector<float> reference;
    for (int isign : {-1, 0, 2}) {
        auto data = forward;
        fft_real(one_based(data.data(), 2 * count), count, isign);
        for (int k = 0; k < 2 * count; ++k)
            EXPECT_NEAR(data[k], count * original[k], 2e-4 * count) << "isign " << isign << " k " << k;
        if (reference.empty())
            reference = data;
        else
            EXPECT_EQ(data, reference) << "isign " << isign;
    }
}

TEST(FftReal, CountTwoKeepsTheMiddlePoint) {
    std::vector<float> data = {1.0f, 2.0f, 3.0f, 4.0f};
    std::vector<float> complex_view = data;
    fft_complex(one_based(complex_view.data(), 4), 2, 1);
    fft_real(one_based(data.data(), 4), 2, 1);
    EXPECT_EQ(data[2], complex_view[2]);
    EXPECT_EQ(data[3], complex_view[3]);
    EXPECT_EQ(data[0], 10.0f);  // F_0 = sum
    EXPECT_EQ(data[1], -2.0f);  // F_2 = alternating sum
}

}  // namespace
