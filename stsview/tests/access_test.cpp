// The token and the Host check.
#include <gtest/gtest.h>

#include <set>

#include "stsview/access.h"

namespace {

TEST(Token, IsSixtyFourHexDigitsAndFresh) {
    std::set<std::string> seen;
    for (int i = 0; i < 50; ++i) {
        std::string t, error;
        ASSERT_TRUE(sts::make_token(&t, &error)) << error;
        ASSERT_EQ(t.size(), 64u);
        EXPECT_EQ(t.find_first_not_of("0123456789abcdef"), std::string::npos);
        seen.insert(t);
    }
    EXPECT_EQ(seen.size(), 50u);
}

TEST(Token, ComparesWholly) {
    EXPECT_TRUE(sts::same_token("abc", "abc"));
    EXPECT_FALSE(sts::same_token("abc", "abd"));
    EXPECT_FALSE(sts::same_token("abc", "ab"));
    EXPECT_FALSE(sts::same_token("", "a"));
    EXPECT_FALSE(sts::same_token("xbc", "abc"));
    EXPECT_FALSE(sts::same_token(std::string("a\0c", 3), "abc"));
}

TEST(Host, LoopbackWithThePortOnly) {
    EXPECT_TRUE(sts::host_allowed("127.0.0.1:8123", "", 8123));
    EXPECT_TRUE(sts::host_allowed("localhost:8123", "", 8123));
    EXPECT_TRUE(sts::host_allowed("LOCALHOST:8123", "", 8123));
    EXPECT_TRUE(sts::host_allowed("[::1]:8123", "", 8123));
    EXPECT_FALSE(sts::host_allowed("127.0.0.1:8124", "", 8123));
    EXPECT_FALSE(sts::host_allowed("127.0.0.1", "", 8123));
    EXPECT_FALSE(sts::host_allowed("evil.example:8123", "", 8123));
    EXPECT_FALSE(sts::host_allowed("127.0.0.1.evil.example:8123", "", 8123));
    EXPECT_FALSE(sts::host_allowed("", "", 8123));
    EXPECT_FALSE(sts::host_allowed("[::1]", "", 8123));
    EXPECT_FALSE(sts::host_allowed("localhost:08123", "", 8123));
}

TEST(Host, TheGivenHostToo) {
    EXPECT_TRUE(sts::host_allowed("lab-pc.local:9000", "lab-pc.local", 9000));
    EXPECT_FALSE(sts::host_allowed("other.local:9000", "lab-pc.local", 9000));
}

TEST(Cookie, FindsItsOwnName) {
    EXPECT_EQ(sts::cookie_value("a=1; stsview_80=tok; b=2", "stsview_80"), "tok");
    EXPECT_EQ(sts::cookie_value("stsview_800=x", "stsview_80"), "");
    EXPECT_EQ(sts::cookie_value("", "stsview_80"), "");
}

}  // namespace
