// Slices worked on threads and handed on in order: every slice delivered
// once, in order, by the worker that took it, with its own result; a worker
// never starts a slice before its last was delivered; the first failure
// of either side ends the run.
#include <atomic>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "grid/fourier_stream.h"

using namespace sts;

TEST(FourierStream, DeliversEverySliceInOrderFromItsWorker) {
    for (unsigned workers : {1u, 2u, 3u, 8u}) {
        const size_t n = 50;
        std::vector<size_t> slot(workers, SIZE_MAX);  // worker w's slice
        std::vector<std::atomic<int>> undelivered(workers);
        std::vector<size_t> order;
        bool overtaken = false;
        auto work = [&](size_t k, unsigned w) {
            if (undelivered[w]++ != 0) overtaken = true;
            slot[w] = k * k;  // the result the delivery must see
            return true;
        };
        auto deliver = [&](size_t k, unsigned w) {
            EXPECT_EQ(w, k % workers);
            EXPECT_EQ(slot[w], k * k);
            --undelivered[w];
            order.push_back(k);
            return true;
        };
        EXPECT_TRUE(ordered_slices(n, workers, work, deliver));
        EXPECT_FALSE(overtaken) << workers;
        ASSERT_EQ(order.size(), n);
        for (size_t k = 0; k < n; ++k) EXPECT_EQ(order[k], k);
    }
    EXPECT_TRUE(ordered_slices(0, 4, [](size_t, unsigned) { return true; },
                               [](size_t, unsigned) { return true; }));
}

TEST(FourierStream, TheFirstFailureEndsTheRun) {
    std::vector<size_t> delivered;
    EXPECT_FALSE(ordered_slices(
        40, 3, [](size_t k, unsigned) { return k != 17; },
        [&](size_t k, unsigned) {
            delivered.push_back(k);
            return true;
        }));
    ASSERT_FALSE(delivered.empty());
    EXPECT_LT(delivered.back(), 17u);
    delivered.clear();
    EXPECT_FALSE(ordered_slices(
        40, 2, [](size_t, unsigned) { return true; },
        [&](size_t k, unsigned) {
            delivered.push_back(k);
            return k != 5;
        }));
    EXPECT_EQ(delivered.back(), 5u);
}
