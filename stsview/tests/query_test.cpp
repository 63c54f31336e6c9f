// The query parser and its checks: what the routes accept and refuse.
#include <gtest/gtest.h>

#include "stsview/query.h"

namespace {

using sts::query;

TEST(QueryParse, DecodesEscapesAndPlus) {
    query q;
    std::string error;
    ASSERT_TRUE(q.parse("variable=norm%5Fraw&name=a+b&empty=", &error)) << error;
    EXPECT_EQ(q.values().at("variable"), "norm_raw");
    EXPECT_EQ(q.values().at("name"), "a b");
    EXPECT_EQ(q.values().at("empty"), "");
}

TEST(QueryParse, RefusesMalformedInput) {
    query q;
    std::string error;
    for (const char* bad : {"a=%", "a=%4", "a=%zz", "a=%00", "=1", "a=1&a=2", "%=1"}) {
        EXPECT_FALSE(q.parse(bad, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    std::string many;
    for (int i = 0; i <= 16; ++i) many += "p" + std::to_string(i) + "=1&";
    EXPECT_FALSE(q.parse(many, &error));
    EXPECT_FALSE(q.parse(std::string(3000, 'a'), &error));
}

TEST(QueryParse, SkipsEmptyParts) {
    query q;
    std::string error;
    ASSERT_TRUE(q.parse("&&a=1&&", &error));
    EXPECT_EQ(q.values().size(), 1u);
}

TEST(QueryIndex, AcceptsPlainDigitsWithinTheLimit) {
    query q;
    std::string error;
    size_t n = 99;
    ASSERT_TRUE(q.parse("i=0&j=41&k=007", &error));
    EXPECT_TRUE(q.index("i", 1, &n, &error));
    EXPECT_EQ(n, 0u);
    EXPECT_TRUE(q.index("j", 42, &n, &error));
    EXPECT_EQ(n, 41u);
    EXPECT_TRUE(q.index("k", 8, &n, &error));
    EXPECT_EQ(n, 7u);
}

TEST(QueryIndex, RefusesEverythingElse) {
    std::string error;
    size_t n = 0;
    for (const char* bad : {"i=-1", "i=+1", "i=1.0", "i=1e3", "i=NaN", "i=inf", "i=", "i=0x10",
                            "i=%201", "i=1%20", "i=9999999999", "i=42", "i=18446744073709551617"}) {
        query q;
        ASSERT_TRUE(q.parse(bad, &error)) << bad;
        EXPECT_FALSE(q.index("i", 42, &n, &error)) << bad;
        EXPECT_NE(error.find("'i'"), std::string::npos) << error;
    }
    query q;
    ASSERT_TRUE(q.parse("", &error));
    EXPECT_FALSE(q.index("i", 42, &n, &error));
    EXPECT_NE(error.find("missing"), std::string::npos);
    ASSERT_TRUE(q.parse("i=0", &error));
    EXPECT_FALSE(q.index("i", 0, &n, &error));  // an empty range holds nothing
}

TEST(QueryWord, TakesNamesOnly) {
    std::string error, w;
    query q;
    ASSERT_TRUE(q.parse("a=norm_raw&b=../etc&c=a%2Fb&d=" + std::string(65, 'x'), &error));
    EXPECT_TRUE(q.word("a", &w, &error));
    EXPECT_EQ(w, "norm_raw");
    EXPECT_FALSE(q.word("b", &w, &error));
    EXPECT_FALSE(q.word("c", &w, &error));
    EXPECT_FALSE(q.word("d", &w, &error));
    EXPECT_FALSE(q.word("e", &w, &error));
}

TEST(QueryOnly, RefusesUnknownParametersButTheToken) {
    std::string error;
    query q;
    ASSERT_TRUE(q.parse("file=0&token=abc", &error));
    EXPECT_TRUE(q.only({"file"}, &error));
    ASSERT_TRUE(q.parse("file=0&fiel=1", &error));
    EXPECT_FALSE(q.only({"file"}, &error));
    EXPECT_NE(error.find("allowed"), std::string::npos);
}

}  // namespace
