// The failure status: its messages, and the status-returning forms of the
// routines on the inputs they refuse.  The published upper-case routines end
// the run with num_message of the same status (spline_test, polint_test,
// convlv_test check their stderr).
#include <cmath>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "numlib/numlib.h"

namespace {

TEST(NumStatus, DefaultIsOkAndEveryFailureIsNot) {
    EXPECT_TRUE(num_status{}.ok());
    EXPECT_EQ(num_status{}, NUM_OK);
    for (num_status s : {NUM_NO_MEMORY, NUM_SPLINT_BAD_INTERVAL, NUM_POLINT_EQUAL_DISTANCES,
                         NUM_CONVLV_UNKNOWN_ISIGN, NUM_CONVLV_RESPONSE_ZERO}) {
        EXPECT_FALSE(s.ok());
        EXPECT_NE(s, NUM_OK);
    }
    EXPECT_NE(NUM_CONVLV_UNKNOWN_ISIGN, NUM_CONVLV_RESPONSE_ZERO);
}

TEST(NumStatus, EachFailureNamesItsRoutine) {
    EXPECT_EQ(NUM_NO_MEMORY.routine, num_routine::vector);
    EXPECT_EQ(NUM_SPLINT_BAD_INTERVAL.routine, num_routine::SPLINT);
    EXPECT_EQ(NUM_POLINT_EQUAL_DISTANCES.routine, num_routine::POLINT);
    EXPECT_EQ(NUM_CONVLV_UNKNOWN_ISIGN.routine, num_routine::CONVLV);
    EXPECT_EQ(NUM_CONVLV_RESPONSE_ZERO.routine, num_routine::CONVLV);
}

// The texts outside programs and the tools' users see, word for word.
TEST(NumStatus, MessagesAreThePublishedTexts) {
    EXPECT_STREQ(num_message(NUM_OK), "");
    EXPECT_STREQ(num_message(NUM_NO_MEMORY), "allocation failure in vector()");
    EXPECT_STREQ(num_message(NUM_SPLINT_BAD_INTERVAL), "Bad XA input to routine SPLINT");
    EXPECT_STREQ(num_message(NUM_POLINT_EQUAL_DISTANCES), "Error in routine POLINT");
    EXPECT_STREQ(num_message(NUM_CONVLV_UNKNOWN_ISIGN), "No meaning for ISIGN in CONVLV");
    EXPECT_STREQ(num_message(NUM_CONVLV_RESPONSE_ZERO),
                 "Deconvolving at response zero in CONVLV");
}

TEST(NumStatus, PairingNoRoutineReportsIsNotBlank) {
    const num_status odd{num_routine::SPLINT, num_reason::response_zero};
    EXPECT_FALSE(odd.ok());
    EXPECT_STREQ(num_message(odd), "unknown failure in numlib");
}

// A natural spline table (d2 all 0 is the natural spline of a line).
struct spline_table {
    std::vector<float> x, y, d2;
    int n() const { return static_cast<int>(x.size()); }
    num_status at(float t, float* value) const {
        return num_splint(one_based(x.data(), n()), one_based(y.data(), n()),
                          one_based(d2.data(), n()), n(), t, value);
    }
};

TEST(NumSplint, ValueOnAGoodTable) {
    const spline_table line{{1.0f, 3.0f}, {2.0f, 6.0f}, {0.0f, 0.0f}};
    float value = -1.0f;
    EXPECT_EQ(line.at(2.0f, &value), NUM_OK);
    EXPECT_EQ(value, 4.0f);  // 2 t, exact in binary
}

TEST(NumSplint, RefusedTablesLeaveTheValue) {
    const spline_table single{{1.0f}, {2.0f}, {0.0f}};
    const spline_table repeated{{1.0f, 1.0f, 2.0f}, {2.0f, 3.0f, 4.0f}, {0.0f, 0.0f, 0.0f}};
    const spline_table not_a_number{{1.0f, NAN}, {2.0f, 3.0f}, {0.0f, 0.0f}};
    for (const spline_table* t : {&single, &repeated, &not_a_number}) {
        float value = -1.0f;
        const num_status s = t->at(0.0f, &value);
        EXPECT_EQ(s, NUM_SPLINT_BAD_INTERVAL) << t->n();
        EXPECT_STREQ(num_message(s), "Bad XA input to routine SPLINT");
        EXPECT_EQ(value, -1.0f);
    }
    // An empty table is refused before anything is read.
    float value = -1.0f;
    EXPECT_EQ(num_splint(cfvec{}, cfvec{}, cfvec{}, 0, 0.0f, &value), NUM_SPLINT_BAD_INTERVAL);
}

TEST(SplineValueOn, ZeroWidthIntervalIsRefused) {
    const spline_table repeated{{1.0f, 1.0f, 2.0f}, {2.0f, 3.0f, 4.0f}, {0.0f, 0.0f, 0.0f}};
    const cfvec x = one_based(repeated.x.data(), 3);
    const cfvec y = one_based(repeated.y.data(), 3);
    const cfvec d2 = one_based(repeated.d2.data(), 3);
    float value = -1.0f;
    EXPECT_EQ(spline_value_on(x, y, d2, 1, 1.0f, &value), NUM_SPLINT_BAD_INTERVAL);
    EXPECT_EQ(value, -1.0f);
    EXPECT_EQ(spline_value_on(x, y, d2, 2, 1.5f, &value), NUM_OK);
    EXPECT_EQ(value, 3.5f);  // the chord from (1, 3) to (2, 4)
}

TEST(NumPolint, EqualDistancesAreRefused) {
    const std::vector<float> x = {0.0f, 1.0f, 1.0f};
    const std::vector<float> y = {1.0f, 2.0f, 3.0f};
    float up[3], down[3];
    float value = 0.0f, error = 0.0f;
    const num_status s = num_polint(one_based(x.data(), 3), one_based(y.data(), 3), 3, 2.0f,
                                    &value, &error, one_based(up, 3), one_based(down, 3));
    EXPECT_EQ(s, NUM_POLINT_EQUAL_DISTANCES);
    EXPECT_STREQ(num_message(s), "Error in routine POLINT");
}

TEST(NumPolint, ParabolaThroughThreePoints) {
    const std::vector<float> x = {1.0f, 2.0f, 3.0f};
    const std::vector<float> y = {1.0f, 4.0f, 9.0f};
    float up[3], down[3];
    float value = 0.0f, error = 0.0f;
    EXPECT_EQ(num_polint(one_based(x.data(), 3), one_based(y.data(), 3), 3, 4.0f, &value, &error,
                         one_based(up, 3), one_based(down, 3)),
              NUM_OK);
    EXPECT_EQ(value, 16.0f);
}

num_status convolve(float isign, std::vector<float> compact) {
    const int n = 16;
    std::vector<float> signal(n, 1.0f), response(n, 0.0f), result(2 * n), scratch(2 * n);
    std::copy(compact.begin(), compact.end(), response.begin());
    return num_convlv(one_based(signal.data(), n), n, one_based(response.data(), n),
                      static_cast<int>(compact.size()), isign, one_based(result.data(), 2 * n),
                      one_based(scratch.data(), 2 * n));
}

TEST(NumConvlv, Refusals) {
    // The response 1, 1, 0 (lags 0, +1, -1) has the spectrum 1 + e^(-iw),
    // which is 0 at w = pi: no deconvolution there.
    const num_status zero = convolve(-1.0f, {1.0f, 1.0f, 0.0f});
    EXPECT_EQ(zero, NUM_CONVLV_RESPONSE_ZERO);
    EXPECT_STREQ(num_message(zero), "Deconvolving at response zero in CONVLV");
    for (float isign : {0.0f, 2.0f, 0.5f, NAN}) {
        const num_status bad = convolve(isign, {1.0f});
        EXPECT_EQ(bad, NUM_CONVLV_UNKNOWN_ISIGN) << isign;
        EXPECT_STREQ(num_message(bad), "No meaning for ISIGN in CONVLV");
    }
    EXPECT_EQ(convolve(1.0f, {1.0f, 1.0f, 0.0f}), NUM_OK);
    EXPECT_EQ(convolve(-1.0f, {1.0f, 0.25f, 0.25f}), NUM_OK);
}

}  // namespace
