#include <sys/resource.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "numlib/numlib.h"
#include "testkit/testkit.h"

namespace {

std::string error_text(const std::string& message) {
    return "Vantrel run-time error...\n" + message + "\n...now exiting to system...\n";
}

TEST(IntText, Values) {
    EXPECT_STREQ(int_text(0), "0");
    EXPECT_STREQ(int_text(7), "7");
    EXPECT_STREQ(int_text(120), "120");
    EXPECT_STREQ(int_text(-45), "-45");
    EXPECT_STREQ(int_text(-1), "-1");
    EXPECT_STREQ(int_text(10), "10");
    EXPECT_STREQ(int_text(2147483647), "2147483647");
    EXPECT_STREQ(int_text(INT_MIN), "-2147483648");
}

TEST(IntText, SecondCallReusesTheBuffer) {
    std::string name = "stxt";
    const char* first = int_text(12);
    name += first;
    const char* second = int_text(3);
    EXPECT_EQ(first, second);
    EXPECT_STREQ(second, "3");
    EXPECT_EQ(name, "stxt12");
}

TEST(Vector, IndexRange) {
    fvec one = vector(1, 1);
    one[1] = 2.5f;
    EXPECT_EQ(one[1], 2.5f);
    vector_free(one, 1, 1);

    fvec wide = vector(1, 100);
    for (int i = 1; i <= 100; ++i) wide[i] = static_cast<float>(i);
    EXPECT_EQ(wide.first[0], 1.0f);
    EXPECT_EQ(wide.first[99], 100.0f);
    vector_free(wide, 1, 100);
}

TEST(Vector, EmptyRangeAllocatesNothing) {
    fvec none = vector(1, 0);
    EXPECT_EQ(none.first, nullptr);
    vector_free(none, 1, 0);
    fvec reversed = vector(5, -5);
    EXPECT_EQ(reversed.first, nullptr);
    vector_free(reversed, 5, -5);
}

TEST(NumError, ThreeLinesAndStatusOne) {
    const auto result = testkit::run_in_child([] {
        std::printf("pending output ");
        num_error("Bad XA input to routine SPLINT");
    });
    EXPECT_FALSE(result.signalled);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, error_text("Bad XA input to routine SPLINT"));
    // Standard output is flushed as at any normal exit.
    EXPECT_EQ(result.out, "pending output ");
}

// The sanitizers reserve far more address space than the limit below allows.
#if !defined(NORMSPEC_SANITIZED)
TEST(NumError, AllocationFailure) {
    const auto result = testkit::run_in_child([] {
        rlimit limit{1L << 30, 1L << 30};
        setrlimit(RLIMIT_AS, &limit);
        fvec huge = vector(1, INT_MAX);  // 8 GiB
        huge[1] = 0.0f;
        std::fprintf(stderr, "allocated\n");
    });
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, error_text("allocation failure in vector()"));
}
#endif

}  // namespace
