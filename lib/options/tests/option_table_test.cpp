// The table helper: rows found by any of their names, --help as the rows'
// lines in order, parse functions called with the value.
#include <gtest/gtest.h>

#include "options/option_table.h"

namespace {

struct settings {
    int level = 0;
    bool quiet = false;
};

const sts::option_table<settings> table = {
    {{"-l", "--level"}, true,
     {"  -l, --level=N   how much", "                  (two lines)"},
     [](const std::string& v, settings* s, std::string* e) {
         if (v != "1" && v != "2") *e = "level must be 1 or 2";
         else s->level = v[0] - '0';
         return e->empty();
     }},
    {{"--quiet"}, false, {"      --quiet     say less"},
     [](const std::string&, settings* s, std::string*) {
         s->quiet = true;
         return true;
     }},
    {{"-h", "--help"}, false, {"  -h, --help      this text"}, nullptr},
};

}  // namespace

TEST(OptionTable, FindsARowByAnyOfItsNames) {
    EXPECT_EQ(sts::find_option(table, "-l"), &table[0]);
    EXPECT_EQ(sts::find_option(table, "--level"), &table[0]);
    EXPECT_EQ(sts::find_option(table, "--quiet"), &table[1]);
    EXPECT_EQ(sts::find_option(table, "--help")->parse, nullptr);
    EXPECT_EQ(sts::find_option(table, "--lev"), nullptr);
    EXPECT_EQ(sts::find_option(table, "-level"), nullptr);
}

TEST(OptionTable, HelpIsTheRowsLinesInOrder) {
    EXPECT_EQ(sts::options_help(table),
              "  -l, --level=N   how much\n"
              "                  (two lines)\n"
              "      --quiet     say less\n"
              "  -h, --help      this text\n");
    EXPECT_EQ(sts::options_help(sts::option_table<settings>{}), "");
}

TEST(OptionTable, ParsesThroughTheRow) {
    settings s;
    std::string error;
    EXPECT_TRUE(table[0].parse("2", &s, &error));
    EXPECT_EQ(s.level, 2);
    EXPECT_FALSE(table[0].parse("3", &s, &error));
    EXPECT_EQ(error, "level must be 1 or 2");
    error.clear();
    EXPECT_TRUE(table[1].parse("", &s, &error));
    EXPECT_TRUE(s.quiet);
}
