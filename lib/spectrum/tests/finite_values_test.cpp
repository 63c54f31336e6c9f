// The bit check against std::isfinite: every place of arrays of every
// length up to 9 (the four-at-a-time part and the rest), with the values
// closest to the edge on either side.
#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/finite_values.h"

namespace {

TEST(FiniteValues, EveryPlaceEveryLength) {
    using limits = std::numeric_limits<float>;
    const float bad[] = {limits::infinity(), -limits::infinity(), limits::quiet_NaN(),
                         -limits::quiet_NaN(), limits::signaling_NaN()};
    const float good[] = {0.0f, -0.0f, limits::max(), -limits::max(), limits::denorm_min(),
                          limits::min(), 1.0f};
    for (size_t count = 0; count <= 9; ++count) {
        for (float g : good) {
            const std::vector<float> v(count, g);
            EXPECT_FALSE(sts::any_nonfinite(v.data(), count)) << count << " " << g;
        }
        for (size_t at = 0; at < count; ++at)
            for (float b : bad) {
                std::vector<float> v(count, limits::max());
                v[at] = b;
                EXPECT_TRUE(sts::any_nonfinite(v.data(), count)) << count << " " << at;
                // Only the first count values are looked at.
                EXPECT_FALSE(sts::any_nonfinite(v.data(), at)) << count << " " << at;
            }
    }
}

}  // namespace
