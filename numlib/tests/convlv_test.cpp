#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "numlib/fft_plan.h"
#include "numlib/numlib.h"
#include "testkit/testkit.h"

namespace {

// compact: the response in wrap-around order, m values.
std::vector<float> convolve(const std::vector<float>& signal, std::vector<float> compact,
                            float isign) {
    const int n = static_cast<int>(signal.size());
    const int m = static_cast<int>(compact.size());
    std::vector<float> response(n, 0.0f);
    std::copy(compact.begin(), compact.end(), response.begin());
    std::vector<float> result(2 * n, 0.0f);
    CONVLV(one_based(signal.data(), n), n, one_based(response.data(), n), m, isign,
           one_based(result.data(), 2 * n));
    result.resize(n);
    return result;
}

// Direct cyclic sum with the compact response's lags.
std::vector<double> direct(const std::vector<float>& signal, const std::vector<float>& compact) {
    const int n = static_cast<int>(signal.size());
    const int m = static_cast<int>(compact.size());
    const int reach = (m - 1) / 2;
    std::vector<double> out(n, 0.0);
    for (int j = 0; j < n; ++j) {
        for (int k = -reach; k <= reach; ++k) {
            const double r = k >= 0 ? compact[k] : compact[m + k];
            out[j] += r * signal[((j - k) % n + n) % n];
        }
    }
    return out;
}

TEST(Convlv, IdentityDoublingAndShift) {
    const auto signal = testkit::random_floats(32, 1);
    const auto same = convolve(signal, {1.0f}, 1.0f);
    const auto twice = convolve(signal, {2.0f}, 1.0f);
    const auto shifted = convolve(signal, {0.0f, 1.0f, 0.0f}, 1.0f);
    for (int j = 0; j < 32; ++j) {
        EXPECT_NEAR(same[j], signal[j], 1e-6) << j;
        EXPECT_NEAR(twice[j], 2 * signal[j], 2e-6) << j;
        EXPECT_NEAR(shifted[j], signal[(j + 31) % 32], 1e-6) << j;
    }
}

TEST(Convlv, AgainstDirectCyclicSum) {
    for (int n : {2, 4, 8, 64, 256, 1024}) {
        for (int m : {1, 3, 5, n / 2 + 1, n - 1}) {  // odd lengths: every weight takes part
            if (m > n) continue;
            const auto signal = testkit::random_floats(n, static_cast<unsigned>(n + m));
            const auto compact = testkit::random_floats(m, static_cast<unsigned>(n * m + 5));
            const auto got = convolve(signal, compact, 1.0f);
            const auto expected = direct(signal, compact);
            double worst = 0;
            for (int j = 0; j < n; ++j) worst = std::max(worst, std::fabs(got[j] - expected[j]));
            EXPECT_LT(worst, 1e-5 * std::sqrt(double(m)) * std::log2(2.0 * n))
                << "n=" << n << " m=" << m;
        }
    }
}

TEST(Convlv, EvenResponseLengthDropsTheMiddleElement) {
    const int n = 16;
    const auto signal = testkit::random_floats(n, 9);
    // m = 4: lags 0, +1 used from the front, element 3 zeroed, lag -1 at the end.
    const auto got = convolve(signal, {0.5f, 0.25f, 100.0f, -0.75f}, 1.0f);
    const auto expected = direct(signal, {0.5f, 0.25f, -0.75f});
    for (int j = 0; j < n; ++j) EXPECT_NEAR(got[j], expected[j], 1e-5) << j;
    // m = n and m = n - 1 give the same lags.
    const auto full = testkit::random_floats(n, 10);
    std::vector<float> shorter_compact(full.begin(), full.begin() + n / 2);
    for (int i = n / 2 + 1; i < n; ++i) shorter_compact.push_back(full[i]);
    const auto a = convolve(signal, full, 1.0f);
    const auto b = convolve(signal, shorter_compact, 1.0f);
    for (int j = 0; j < n; ++j) EXPECT_NEAR(a[j], b[j], 1e-5) << j;
}

TEST(Convlv, DeconvolutionRoundTrip) {
    const int n = 64;
    const auto signal = testkit::random_floats(n, 4);
    const std::vector<float> compact = {1.0f, 0.3f, 0.1f, 0.1f, 0.3f};
    const auto blurred = convolve(signal, compact, 1.0f);
    const auto restored = convolve(blurred, compact, -1.0f);
    for (int j = 0; j < n; ++j) EXPECT_NEAR(restored[j], signal[j], 1e-5) << j;
}

TEST(Convlv, ArgumentsAfterTheCall) {
    const int n = 8;
    const std::vector<float> signal = {1, 2, 3, 4, 5, 6, 7, 8};
    std::vector<float> response = {1.0f, 2.0f, 3.0f, 9, 9, 9, 9, 9};
    std::vector<float> result(2 * n);
    CONVLV(one_based(signal.data(), n), n, one_based(response.data(), n), 3, 1.0f,
           one_based(result.data(), 2 * n));
    EXPECT_EQ(signal, (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(response, (std::vector<float>{1, 2, 0, 0, 0, 0, 0, 3}));
}

TEST(Convlv, Errors) {
    const auto zero = testkit::run_in_child([] { convolve(testkit::random_floats(16, 1), {1, 1, 0}, -1.0f); });
    EXPECT_EQ(zero.status, 1);
    EXPECT_EQ(zero.err,
              "Vantrel run-time error...\nDeconvolving at response zero in CONVLV\n"
              "...now exiting to system...\n");
    for (float isign : {0.0f, 2.0f, 0.5f}) {
        const auto bad = testkit::run_in_child([isign] { convolve(testkit::random_floats(16, 1), {1}, isign); });
        EXPECT_EQ(bad.status, 1);
        EXPECT_EQ(bad.err,
                  "Vantrel run-time error...\nNo meaning for ISIGN in CONVLV\n"
                  "...now exiting to system...\n");
    }
}


// A plan holds the recurrence's factors as the recurrence forms them: the
// planned convolution gives the unplanned one's bits, for every length a
// spectrum can need, NaNs and infinities included, and a plan remade for
// another length serves that one.
TEST(ConvlvPlan, GivesTheBitsOfTheRecurrence) {
    std::mt19937 rng(23);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    convlv_plan plan;
    for (int n = 2; n <= 32768; n *= 2) {
        for (int round = 0; round < (n < 4096 ? 3 : 1); ++round) {
            const int m = 1 + static_cast<int>(rng() % static_cast<unsigned>(n));
            std::vector<float> signal(static_cast<size_t>(n)), response(static_cast<size_t>(n), 0.0f);
            for (float& v : signal) v = rng() % 97 == 0 ? NAN : unit(rng) * 1e3f;
            for (int i = 0; i < m; ++i) response[static_cast<size_t>(i)] = rng() % 89 == 0 ? INFINITY : unit(rng);
            std::vector<float> response2 = response, plain(2 * static_cast<size_t>(n)),
                               planned(plain.size()), scratch(plain.size());
            ASSERT_TRUE(num_convlv(one_based(signal.data(), n), n, one_based(response.data(), n), m,
                                   1.0f, one_based(plain.data(), 2 * n),
                                   one_based(scratch.data(), 2 * n))
                            .ok());
            make_convlv_plan(n, &plan);
            ASSERT_TRUE(convlv_planned(one_based(signal.data(), n), n,
                                       one_based(response2.data(), n), m, 1.0f,
                                       one_based(planned.data(), 2 * n),
                                       one_based(scratch.data(), 2 * n), plan)
                            .ok());
            for (int i = 0; i < n; ++i)
                ASSERT_EQ(std::memcmp(&plain[static_cast<size_t>(i)], &planned[static_cast<size_t>(i)], 4), 0)
                    << "length " << n << " point " << i;
        }
    }
}

}  // namespace
