// The spectrum stages report a numerical routine's refusal as its status and
// leave the process running.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum.h"

namespace {

TEST(StageStatus, RemoveOffsetRefusesAZeroWidthInterval) {
    spectrum_workspace w;
    ASSERT_TRUE(reserve_workspace(&w, 3));
    // 0 V lies below the table: the bisection brackets the two equal biases.
    const float bias[3] = {1.0f, 1.0f, 2.0f};
    float current[3] = {2.0f, 3.0f, 4.0f};
    const num_status s = remove_offset(bias, current, 3, &w);
    EXPECT_EQ(s, NUM_SPLINT_BAD_INTERVAL);
    EXPECT_STREQ(num_message(s), "Bad XA input to routine SPLINT");
    EXPECT_EQ(current[0], 2.0f);  // nothing subtracted
    EXPECT_EQ(current[2], 4.0f);
}

TEST(StageStatus, RemoveOffsetOfALine) {
    spectrum_workspace w;
    ASSERT_TRUE(reserve_workspace(&w, 3));
    // I = 2 V + 0.5: the natural spline is the line, its value at 0 V is 0.5.
    const float bias[3] = {-1.0f, 0.5f, 1.0f};
    float current[3] = {-1.5f, 1.5f, 2.5f};
    EXPECT_EQ(remove_offset(bias, current, 3, &w), NUM_OK);
    EXPECT_EQ(current[0], -2.0f);
    EXPECT_EQ(current[1], 1.0f);
    EXPECT_EQ(current[2], 2.0f);
}

TEST(StageStatus, NormaliseByRefusesATableWithoutAnInterval) {
    spectrum_workspace w;
    ASSERT_TRUE(reserve_workspace(&w, 3));
    const float vmid[1] = {1.5f};
    float didv[1] = {1.0f};
    int zeros = -1;
    // One point: no interval to evaluate the midpoint on.
    const float one_bias[1] = {1.0f};
    const float one_ivar[1] = {2.0f};
    EXPECT_EQ(normalise_by(vmid, didv, didv, 1, one_bias, one_ivar, 1, &w, &zeros),
              NUM_SPLINT_BAD_INTERVAL);
    EXPECT_EQ(zeros, 0);
    // Equal biases around the midpoint: a zero-width interval.
    const float bias[3] = {1.0f, 2.0f, 2.0f};
    const float ivar[3] = {1.0f, 2.0f, 3.0f};
    const float past[1] = {2.5f};
    const num_status s = normalise_by(past, didv, didv, 1, bias, ivar, 3, &w, &zeros);
    EXPECT_EQ(s, NUM_SPLINT_BAD_INTERVAL);
    EXPECT_STREQ(num_message(s), "Bad XA input to routine SPLINT");
    EXPECT_EQ(didv[0], 1.0f);
}

TEST(StageStatus, ComputeCarriesTheRoutineAndTheStep) {
    spectrum_workspace w;
    spectrum_arrays a;
    ASSERT_TRUE(reserve_workspace(&w, 4));
    ASSERT_TRUE(reserve_arrays(&a, 4));
    a.bias[0] = 0.1f;
    a.bias[1] = 0.2f;
    a.current[0] = 1.0f;
    a.current[1] = 2.0f;
    const spectrum_report r = compute_spectrum(2, norm_options{}, &w, &a);
    EXPECT_EQ(r.status, spectrum_status::routine_failure);
    EXPECT_EQ(r.reached, spectrum_step::broaden);
    EXPECT_EQ(r.failure.routine, num_routine::POLINT);
    EXPECT_EQ(r.failure.reason, num_reason::equal_distances);

    a.bias[0] = -1.0f;
    a.bias[1] = 0.0f;
    a.bias[2] = 1.0f;
    for (int j = 0; j < 3; ++j) a.current[j] = a.bias[j];
    const spectrum_report good = compute_spectrum(3, norm_options{}, &w, &a);
    EXPECT_EQ(good.status, spectrum_status::ok);
    EXPECT_TRUE(good.failure.ok());
}

}  // namespace
