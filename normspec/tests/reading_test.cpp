// What the spectrum reader takes as numbers, and where it stops.
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "normspec/tests/e2e.h"

namespace {

using e2e::banner;
using e2e::normspec;
using testkit::read_file;
using testkit::temp_dir;
using testkit::write_file;

const std::string polint_error =
    "Vantrel run-time error...\nError in routine POLINT\n...now exiting to system...\n";

// The report line for a file, from a run that stops after reading it.
std::string points_read(const std::string& contents) {
    temp_dir dir;
    write_file(dir / "f", contents);
    const auto r = normspec(dir, {"-s", "-n", "f"});
    const std::string out = r.out.substr(banner.size());
    return out.substr(0, out.find(" data points read"));
}

TEST(Reading, CountsPairsUntilTheFirstFailure) {
    EXPECT_EQ(points_read("0.1 1 0.2 2 0.3 3 0.4 4\n"), "f: 4");  // several pairs on a line
    EXPECT_EQ(points_read("0.1\n1\n\n0.2\t2\r\n0.3 3"), "f: 3");  // line breaks mean nothing
    EXPECT_EQ(points_read("0.1 1 0.2 2 x 3 0.3 3\n"), "f: 2");   // fifth token not a number
    EXPECT_EQ(points_read("0.1 1 0.2 2 0.3\n"), "f: 2");         // a lone last number
    EXPECT_EQ(points_read("0.1 1 0.2 2 0.3 3 0.4x 4 0.5 5"), "f: 3");  // glued to text
    EXPECT_EQ(points_read("1e-1 1E0 2.5e-1 +2e+0 .4 3 -0 4"), "f: 4");
    EXPECT_EQ(points_read("0x1p-3 1 0x.8p0 2 0XAp-4 3"), "f: 3");  // hex floats
    EXPECT_EQ(points_read("0.1 1 0.2 2 +-1 3"), "f: 2");
    EXPECT_EQ(points_read("0.1 1 0.2 2 . 3"), "f: 2");
}

TEST(Reading, StopsWhereTheCLibraryStops) {
    // Spellings on which C libraries differ: the tool takes what "%f" takes.
    for (const std::string tail : {"1e 3 4 5", "1e+ 3 4 5", "- 3 4 5", "nan(123) 4 5 6",
                                   "infinit 3 4 5", "0x 3 4 5", "1.5.5 3 4 5", "--1 3"}) {
        const std::string text = "0.1 1 0.2 2 " + tail;
        EXPECT_EQ(points_read(text), "f: " + std::to_string(e2e::library_pairs(text))) << tail;
    }
}

TEST(Reading, ValuesAsTheCLibraryReadsThem) {
    temp_dir dir;
    write_file(dir / "f", "0x1p-2 1e-1\n+.5E0 0x3p-1\n1e-1 -2.5\n 0.75 3\n");
    const auto r = normspec(dir, {"-n", "f"});
    EXPECT_EQ(r.status, 0);
    // i.txt holds the sorted biases as read
    const auto i = e2e::parse(read_file(dir / "fi.txt"));
    EXPECT_EQ(i.x, (std::vector<double>{0.1, 0.25, 0.5, 0.75}));
}

TEST(Reading, TwoPointsFromTheFifthToken) {
    temp_dir dir;
    write_file(dir / "f", "0.1 1\n0.2 2\nEND 3 4\n");
    const auto r = normspec(dir, {"f"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, banner + "f: 2 data points read");
    EXPECT_EQ(r.err, polint_error);
}

TEST(Reading, InfAndNanSpellings) {
    for (const std::string token : {"inf", "-INF", "Infinity", "nan", "-NaN", "1e39", "-1e39"}) {
        temp_dir dir;
        write_file(dir / "f", "-0.2 -0.5\n-0.1 " + token + "\n0.1 0.3\n0.2 0.6\n0.3 1.0\n");
        const auto r = normspec(dir, {"f"});
        EXPECT_EQ(r.status, 0) << token;
        EXPECT_EQ(r.out, banner + "f: 5 data points read ..done\n"
                                  "f: warning: results hold inf/nan values (inf or nan in the "
                                  "input)\n" + e2e::all_done)
            << token;
    }
    // Tiny values underflow to zero or subnormals and are ordinary numbers.
    temp_dir dir;
    write_file(dir / "f", "-0.2 -0.5\n-0.1 1e-50\n0.1 0.3\n0.2 0.6\n0.3 1.0\n");
    EXPECT_EQ(normspec(dir, {"f"}).out,
              banner + "f: 5 data points read ..done\n" + e2e::all_done);
}

}  // namespace
