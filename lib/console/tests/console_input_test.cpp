// The prompt reader against the answers "%d" gives for the same text.
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "console/console_input.h"

namespace {

using sts::scan_int;
using sts::scan_status;

scan_status scan_text(const char* text, int* value, std::string* rest) {
    std::FILE* in = fmemopen(const_cast<char*>(text), std::strlen(text), "r");
    const scan_status status = scan_int(in, value);
    rest->clear();
    for (int c = std::getc(in); c != EOF; c = std::getc(in)) rest->push_back(static_cast<char>(c));
    std::fclose(in);
    return status;
}

TEST(ScanInt, ReadsLikePercentD) {
    int value = -7;
    std::string rest;
    EXPECT_EQ(scan_text("  \n\t42 apples", &value, &rest), scan_status::ok);
    EXPECT_EQ(value, 42);
    EXPECT_EQ(rest, " apples");
    EXPECT_EQ(scan_text("+3", &value, &rest), scan_status::ok);
    EXPECT_EQ(value, 3);
    EXPECT_EQ(scan_text("-0012x", &value, &rest), scan_status::ok);
    EXPECT_EQ(value, -12);
    EXPECT_EQ(rest, "x");
    EXPECT_EQ(scan_text("2.5", &value, &rest), scan_status::ok);
    EXPECT_EQ(value, 2);
    EXPECT_EQ(rest, ".5");
    EXPECT_EQ(scan_text("-2147483648", &value, &rest), scan_status::ok);
    EXPECT_EQ(value, INT_MIN);
    EXPECT_EQ(scan_text("2147483647", &value, &rest), scan_status::ok);
    EXPECT_EQ(value, INT_MAX);
}

TEST(ScanInt, RefusesWhatIsNoInt) {
    int value = 5;
    std::string rest;
    EXPECT_EQ(scan_text("", &value, &rest), scan_status::no_number);
    EXPECT_EQ(scan_text("   \n", &value, &rest), scan_status::no_number);
    EXPECT_EQ(scan_text("abc", &value, &rest), scan_status::no_number);
    EXPECT_EQ(rest, "abc");
    EXPECT_EQ(scan_text("+-1", &value, &rest), scan_status::no_number);
    EXPECT_EQ(scan_text("- 1", &value, &rest), scan_status::no_number);
    EXPECT_EQ(value, 5);
    EXPECT_EQ(scan_text("2147483648", &value, &rest), scan_status::out_of_range);
    EXPECT_EQ(scan_text("-2147483649", &value, &rest), scan_status::out_of_range);
    EXPECT_EQ(scan_text("99999999999999999999999 9", &value, &rest), scan_status::out_of_range);
    EXPECT_EQ(rest, " 9");
    EXPECT_EQ(value, 5);
}

TEST(ScanInt, TwoAnswersOnOneLine) {
    const char text[] = "2 1\n";
    std::FILE* in = fmemopen(const_cast<char*>(text), sizeof text - 1, "r");
    int first = 0, second = 0;
    EXPECT_EQ(scan_int(in, &first), scan_status::ok);
    EXPECT_EQ(scan_int(in, &second), scan_status::ok);
    EXPECT_EQ(scan_int(in, &second), scan_status::no_number);
    std::fclose(in);
    EXPECT_EQ(first, 2);
    EXPECT_EQ(second, 1);
}

}  // namespace
