// Hostile files and answers: pointmean ends with status 1 or 99, never a
// signal, and writes only to standard output.
#include <filesystem>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "pointmean/tests/e2e.h"

namespace {

using e2e::header;
using e2e::pointmean;
using e2e::series;
using testkit::read_file;
using testkit::temp_dir;

void expect_clean_end(const testkit::outcome& r, const std::string& what) {
    EXPECT_FALSE(r.signalled) << what;
    EXPECT_TRUE(r.status == 1 || r.status == 99) << what << " status " << r.status;
    EXPECT_EQ(r.err, "") << what;
}

TEST(HostileFiles, GarbageNulAndLongLines) {
    std::mt19937 rng(7);
    std::vector<std::string> contents;
    for (int k = 0; k < 4; ++k) {
        std::string bytes;
        for (int i = 0; i < 3000; ++i) bytes.push_back(static_cast<char>(rng() % 256));
        contents.push_back(bytes);
    }
    contents.push_back(std::string("1 2\0 3 4", 8));
    contents.push_back(std::string(1000000, '9') + " 5 " + std::string(1000000, ' ') + "6 7");
    temp_dir dir;
    series(dir, contents);
    const auto r = pointmean(dir, "6 10");
    expect_clean_end(r, "garbage");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.rfind(header, 0), 0u);
    EXPECT_EQ(r.out.substr(r.out.size() - e2e::finished.size()), e2e::finished);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4 + 10 + 3);  // one line a point
}

TEST(HostileFiles, MillionTokensReadOnlyAsFarAsNeeded) {
    temp_dir dir;
    std::string big;
    for (int k = 0; k < 500000; ++k) big += std::to_string(k) + " " + std::to_string(k % 7) + "\n";
    series(dir, {big, big});
    const auto r = pointmean(dir, "2 3");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(read_file(dir / "pointmean.txt"),
              "0.000000 0.000000 0.000000 0.000000 0.000000\n"
              "1.000000 1.000000 0.000000 0.000000 0.000000\n"
              "2.000000 2.000000 0.000000 0.000000 0.000000\n");
}

TEST(HostileFiles, FolderInPlaceOfAFile) {
    temp_dir dir;
    series(dir, {"0.5 4\n"});
    std::filesystem::create_directory(dir / "stxt2p.txt");
    const auto r = pointmean(dir, "2 1");
    expect_clean_end(r, "folder");
    // The folder opens but yields nothing: it repeats the pair before it.
    EXPECT_EQ(read_file(dir / "statp1.txt"), "4.000000\n4.000000\n");
}

TEST(HostileAnswers, HugeCountsAndOddShapes) {
    temp_dir dir;
    series(dir, {"0.5 4\n", "0.5 6\n"});
    // The largest int: the run stops at the first missing file, having
    // taken room only for the files that are there.
    auto r = pointmean(dir, "2147483647 1");
    EXPECT_EQ(r.status, 99);
    EXPECT_EQ(r.out, header + "Couldn't open stxt3p.txt. Exiting..\n\n");
    EXPECT_EQ(read_file(dir / "statp1.txt"), "4.000000\n6.000000\n");

    const std::vector<std::string> stops = {"", " ", "\n\n", "+", "-", "2", "2 ", "2\n+", "x 1",
                                            "2147483648 1", "2 -2147483649", "0x10 1"};
    for (const auto& answer : stops) {
        temp_dir fresh;
        series(fresh, {"0.5 4\n", "0.5 6\n"});
        r = pointmean(fresh, answer);
        expect_clean_end(r, "answer '" + answer + "'");
        EXPECT_EQ(r.status, 99) << answer;
        EXPECT_FALSE(testkit::file_exists(fresh / "pointmean.txt")) << answer;
    }
    r = pointmean(dir, "  +2\n\n\t1 trailing words");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(read_file(dir / "pointmean.txt"), "0.500000 5.000000 1.414214 1.000000 2.000000\n");
}

}  // namespace
