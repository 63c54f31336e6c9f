// Two spectra computed in step give, each, what it gives alone: the same
// reports and the same bits in every array, whether the two share their
// biases (the splines interleaved) or not (one after the other), and
// whichever of them stops early.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum.h"

namespace {

constexpr int capacity = 120;

struct spectrum {
    std::vector<float> bias, current;
};

// One computation's workspace and arrays, the divisors kept as the grid
// keeps them for a lock-in channel.
struct computation {
    spectrum_workspace w;
    spectrum_arrays a;
    computation() {
        EXPECT_TRUE(reserve_workspace(&w, capacity));
        EXPECT_TRUE(reserve_arrays(&a, capacity));
        EXPECT_TRUE(keep_divisors(&a));
    }
    // The count of points; more than the capacity are not copied (the
    // computation refuses them unread).
    int load(const spectrum& s) {
        const size_t fits = std::min(s.bias.size(), a.bias.size());
        std::copy_n(s.bias.begin(), fits, a.bias.begin());
        std::copy_n(s.current.begin(), fits, a.current.begin());
        return static_cast<int>(s.bias.size());
    }
};

void expect_same(const spectrum_report& alone, const spectrum_arrays& a,
                 const spectrum_report& in_step, const spectrum_arrays& b, int round) {
    ASSERT_EQ(alone.status, in_step.status) << "round " << round;
    ASSERT_EQ(alone.reached, in_step.reached) << "round " << round;
    ASSERT_TRUE(alone.failure == in_step.failure) << "round " << round;
    ASSERT_EQ(alone.n, in_step.n) << "round " << round;
    ASSERT_EQ(alone.merged, in_step.merged) << "round " << round;
    ASSERT_EQ(alone.causes, in_step.causes) << "round " << round;
    const std::vector<float> spectrum_arrays::*arrays[] = {
        &spectrum_arrays::bias,     &spectrum_arrays::current,   &spectrum_arrays::iv_raw,
        &spectrum_arrays::iv_exp,   &spectrum_arrays::iv_coff,   &spectrum_arrays::vmid,
        &spectrum_arrays::didv,     &spectrum_arrays::norm_exp,  &spectrum_arrays::norm_coff,
        &spectrum_arrays::norm_raw, &spectrum_arrays::divisors};
    for (const auto array : arrays)
        ASSERT_EQ(std::memcmp((a.*array).data(), (b.*array).data(),
                              (a.*array).size() * sizeof(float)),
                  0)
            << "round " << round;
}

// A sweep of n points over [low, high], in order or shuffled, now and
// then with a repeated bias, a NaN, or the odd current far off.
spectrum sweep(std::mt19937& rng, int n, float low, float high) {
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    spectrum s;
    for (int j = 0; j < n; ++j) {
        const float v = low + (high - low) * static_cast<float>(j) / static_cast<float>(n - 1);
        s.bias.push_back(v);
        s.current.push_back(std::sinh(3.0f * v) + 0.01f * unit(rng));
    }
    if (rng() % 3 == 0) std::shuffle(s.bias.begin(), s.bias.end(), rng);
    if (rng() % 5 == 0) s.bias[rng() % n] = s.bias[rng() % n];
    if (rng() % 7 == 0) s.current[rng() % n] = NAN;
    if (rng() % 11 == 0) s.bias[rng() % n] = NAN;
    if (rng() % 13 == 0) s.current[rng() % n] = 1e30f;
    return s;
}

// The second spectrum of a pair: the first's biases (so the two share an
// axis) in another order, or a sweep of its own.
spectrum partner(std::mt19937& rng, const spectrum& first) {
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    switch (rng() % 4) {
        case 0: {
            spectrum s = first;
            for (float& c : s.current) c = c * 0.5f + 0.01f * unit(rng);
            std::shuffle(s.bias.begin(), s.bias.end(), rng);
            return s;
        }
        case 1: {
            spectrum s = first;
            for (float& c : s.current) c = -c;
            return s;
        }
        case 2: return sweep(rng, static_cast<int>(first.bias.size()), -0.9f, 1.1f);
        default: return sweep(rng, 1 + static_cast<int>(rng() % (capacity + 4)), -1.0f, 1.0f);
    }
}

// The road a pair takes: 0 both done on one axis (all splines in step),
// 1 one axis but stopped early or some midpoint refused (the offsets in
// step at most), 2 two axes, both done, 3 otherwise.
int kind_of(const spectrum_report* r, const spectrum_arrays& a, const spectrum_arrays& b) {
    const auto sorted_one = [](const spectrum_report& x) {
        return x.n >= 2 && x.status != spectrum_status::too_many_points;
    };
    const bool sorted = sorted_one(r[0]) && sorted_one(r[1]);
    const bool one_axis = sorted && r[0].n == r[1].n &&
                          std::memcmp(a.bias.data(), b.bias.data(),
                                      static_cast<size_t>(r[0].n) * sizeof(float)) == 0;
    const bool both_done = r[0].reached == spectrum_step::done &&
                           r[1].reached == spectrum_step::done && r[0].causes == 0 &&
                           r[1].causes == 0;
    if (one_axis) return both_done ? 0 : 1;
    return both_done ? 2 : 3;
}

TEST(InStep, EachSpectrumGetsWhatItGetsAlone) {
    std::mt19937 rng(20);
    const norm_options o;
    computation alone[2], pair[2];
    int seen[4] = {0, 0, 0, 0};
    for (int round = 0; round < 400; ++round) {
        const int n = 1 + static_cast<int>(rng() % (capacity + 4));  // some too many
        spectrum s[2];
        s[0] = sweep(rng, n, -1.0f, rng() % 6 == 0 ? -0.1f : 1.0f);  // some without 0 V
        s[1] = partner(rng, s[0]);
        if (rng() % 2) std::swap(s[0], s[1]);
        spectrum_report expected[2], got[2];
        int n_read[2];
        for (int k = 0; k < 2; ++k) {
            expected[k] = compute_spectrum(alone[k].load(s[k]), o, &alone[k].w, &alone[k].a);
            n_read[k] = pair[k].load(s[k]);
        }
        spectrum_workspace* w[2] = {&pair[0].w, &pair[1].w};
        spectrum_arrays* a[2] = {&pair[0].a, &pair[1].a};
        compute_spectra_in_step(n_read, o, w, a, got);
        for (int k = 0; k < 2; ++k) expect_same(expected[k], alone[k].a, got[k], pair[k].a, round);
        ++seen[kind_of(expected, alone[0].a, alone[1].a)];
    }
    // Every road taken, many times.
    for (int k = 0; k < 4; ++k) EXPECT_GE(seen[k], 20) << "kind " << k;
}

}  // namespace
