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

int scan_text(const char* text, int* value, std::string* rest) {
    std::FILE* in = fmemopen(const_cast<char*>(text), std::strlen(text), "r");
    const int status = scan_int(in, value);
    rest->clear();
    for (int c = std::getc(in); c != EOF; c = std::getc(in)) rest->push_back(static_cast<char>(c));
    std::fclose(in);
    return status;
}

TEST(ScanInt, ReadsLikePercentD) {
    int value = -7;
    std::string rest;
    EXPECT_EQ(scan_text("  \n\t42 apples", &value, &rest), SCAN_OK);
    EXPECT_EQ(value, 42);
    EXPECT_EQ(rest, " apples");
    EXPECT_EQ(scan_text("+3", &value, &rest), SCAN_OK);
    EXPECT_EQ(value, 3);
    EXPECT_EQ(scan_text("-0012x", &value, &rest), SCAN_OK);
    EXPECT_EQ(value, -12);
    EXPECT_EQ(rest, "x");
    EXPECT_EQ(scan_text("2.5", &value, &rest), SCAN_OK);
    EXPECT_EQ(value, 2);
    EXPECT_EQ(rest, ".5");
    EXPECT_EQ(scan_text("-2147483648", &value, &rest), SCAN_OK);
    EXPECT_EQ(value, INT_MIN);
    EXPECT_EQ(scan_text("2147483647", &value, &rest), SCAN_OK);
    EXPECT_EQ(value, INT_MAX);
}

TEST(ScanInt, RefusesWhatIsNoInt) {
    int value = 5;
    std::string rest;
    EXPECT_EQ(scan_text("", &value, &rest), SCAN_NO_NUMBER);
    EXPECT_EQ(scan_text("   \n", &value, &rest), SCAN_NO_NUMBER);
    EXPECT_EQ(scan_text("abc", &value, &rest), SCAN_NO_NUMBER);
    EXPECT_EQ(rest, "abc");
    EXPECT_EQ(scan_text("+-1", &value, &rest), SCAN_NO_NUMBER);
    EXPECT_EQ(scan_text("- 1", &value, &rest), SCAN_NO_NUMBER);
    EXPECT_EQ(value, 5);
    EXPECT_EQ(scan_text("2147483648", &value, &rest), SCAN_OUT_OF_RANGE);
    EXPECT_EQ(scan_text("-2147483649", &value, &rest), SCAN_OUT_OF_RANGE);
    EXPECT_EQ(scan_text("99999999999999999999999 9", &value, &rest), SCAN_OUT_OF_RANGE);
    EXPECT_EQ(rest, " 9");
    EXPECT_EQ(value, 5);
}

TEST(ScanInt, TwoAnswersOnOneLine) {
    const char text[] = "2 1\n";
    std::FILE* in = fmemopen(const_cast<char*>(text), sizeof text - 1, "r");
    int first = 0, second = 0;
    EXPECT_EQ(scan_int(in, &first), SCAN_OK);
    EXPECT_EQ(scan_int(in, &second), SCAN_OK);
    EXPECT_EQ(scan_int(in, &second), SCAN_NO_NUMBER);
    std::fclose(in);
    EXPECT_EQ(first, 2);
    EXPECT_EQ(second, 1);
}

}  // namespace
