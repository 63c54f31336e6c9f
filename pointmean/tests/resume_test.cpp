// The run reads each file on from where its previous point stopped.  The
// definition is still "read i pairs from the file's start for point i":
// these tests compare the real binary with that definition, run here
// in-process on awkward files.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pointmean/tests/e2e.h"
#include "pointmean/pointmean.h"

namespace {

using testkit::format;
using testkit::read_file;
using testkit::temp_dir;

struct expected_run {
    std::string out;
    std::string summary;
    std::vector<std::string> point_files;
};

// The re-reading definition, taken literally.
expected_run reread_model(const temp_dir& dir, int files, int points) {
    expected_run e;
    e.out = e2e::header;
    float x = 0.0f, y = 0.0f;
    std::vector<float> values(files);
    for (int i = 1; i <= points; ++i) {
        std::string point;
        for (int k = 1; k <= files; ++k) {
            std::FILE* in = std::fopen((dir / ("stxt" + std::to_string(k) + "p.txt")).c_str(), "r");
            for (int r = 0; r < i; ++r) (void)std::fscanf(in, "%f%f", &x, &y);
            std::fclose(in);
            point += format("%f\n", y);
            values[k - 1] = y;
        }
        e.point_files.push_back(point);
        const point_stats s = compute_stats(values.data(), files);
        e.summary += format("%f %f %f ", x, s.mean, s.deviation) + format("%f ", s.error) +
                     format("%f\n", s.twice_error);
        e.out += format("Value of point %d is %f +/- %f", i, s.mean, s.twice_error) +
                 format("  (%f%% error)\n", s.percentage);
    }
    e.out += e2e::finished;
    return e;
}

void expect_same_as_rereading(const std::vector<std::string>& contents, int points,
                              const testkit::run_options& limits = {}) {
    temp_dir dir;
    e2e::series(dir, contents);
    const int files = static_cast<int>(contents.size());
    const expected_run expected = reread_model(dir, files, points);
    const auto r =
        e2e::pointmean(dir, std::to_string(files) + " " + std::to_string(points), limits);
    ASSERT_EQ(r.status, 1);
    EXPECT_EQ(r.out, expected.out);
    EXPECT_EQ(read_file(dir / "pointmean.txt"), expected.summary);
    for (int i = 1; i <= points; ++i)
        EXPECT_EQ(read_file(dir / ("statp" + std::to_string(i) + ".txt")),
                  expected.point_files[i - 1])
            << "point " << i;
}

TEST(Resume, ShortAndUnevenFiles) {
    expect_same_as_rereading({"1 10\n2 20\n3 30\n", "1 11\n2 21\n3 31\n4 41\n5 51\n6 61\n", "1 12\n"},
                             8);
}

TEST(Resume, LoneLastNumberAndTextTokens) {
    expect_same_as_rereading({"1 2 3 4 5", "1 2 x 3 4", "1 2 3x 4 5 6", "0.5 7 0.6 8 end"}, 5);
}

TEST(Resume, FilesThatYieldNothing) {
    // The first file gives nothing at all: x and y keep their start values
    // (0) at point 1; the empty third file takes the second file's pair.
    expect_same_as_rereading({"", "1 2\n3 4\n5 6\n", "", "text only"}, 4);
    expect_same_as_rereading({"header line\n1 2\n", "1 3\n"}, 3);
}

TEST(Resume, FailedReadsThatConsumeText) {
    // A dash or sign with no digits is consumed by the failed read, so the
    // next read of the file goes on past it.
    expect_same_as_rereading({"1 2 - 3 4 5 6 7 8", "1 2 + 9 8 7 6 5", "1 2 1e 3 4 5 6",
                              "1 2 0x 4 5 6 7", "1 2 -- 3 4 5 6"},
                             6);
}

TEST(Resume, SpecialValuesAndBinaryBytes) {
    expect_same_as_rereading({"1 inf 2 nan 3 -inf 0x1p-4 0x10", std::string("1 2\0\x01\xff 3 4", 10),
                              "1e39 1 2 -1e39 3 1e-50", "\t\n1\n\n2\r\n3 4"},
                             5);
}

// Files of uneven lengths with awkward tokens, for runs that keep some files
// open and re-open the rest.
std::vector<std::string> awkward_series(int files) {
    const std::vector<std::string> tokens = {"1", "-2.5", "3e1", "0x1p1", "inf", "x", "-", "1e",
                                             "4.5z", "\n", "7", "1e+", "9.75", "0.125"};
    std::mt19937 rng(static_cast<unsigned>(files));
    std::vector<std::string> contents;
    for (int k = 0; k < files; ++k) {
        std::string text;
        const int count = static_cast<int>(rng() % 40);
        for (int t = 0; t < count; ++t) text += tokens[rng() % tokens.size()] + " ";
        contents.push_back(text);
    }
    return contents;
}

TEST(Resume, SameUnderEveryOpenFileLimit) {
    // No limit of note; room for 8 kept files; room for none (only the
    // reserve): the bytes are those of re-reading in every case.
    for (long limit : {-1L, 24L, 16L}) {
        testkit::run_options limits;
        limits.open_file_limit = limit;
        limits.open_file_hard_limit = limit;
        SCOPED_TRACE("limit " + std::to_string(limit));
        expect_same_as_rereading(awkward_series(40), 25, limits);
    }
}

TEST(Resume, DescriptorsTakenBeforeTheRunAreGivenWay) {
    // Descriptors inherited from the caller use up the room the limit
    // seemed to leave: kept files are given back when an opening finds no
    // descriptor, and the run goes on with the same bytes.
    std::vector<int> inherited;
    for (int k = 0; k < 30; ++k) inherited.push_back(open("/dev/null", O_RDONLY));
    testkit::run_options limits;
    limits.open_file_limit = 64;
    limits.open_file_hard_limit = 64;
    expect_same_as_rereading(awkward_series(50), 12, limits);
    for (int fd : inherited) close(fd);
}

TEST(Resume, RandomAwkwardFiles) {
    const std::vector<std::string> tokens = {"1", "-2.5", "3e1", "0x1p1", "inf", "nan", "x",
                                             "-", "+", "1e", ".", "4.5z", "\n", "  ", "7",
                                             "-0", "1e+", "9.75", "abc", "0.125"};
    std::mt19937 rng(42);
    for (int round = 0; round < 40; ++round) {
        const int files = 2 + static_cast<int>(rng() % 4);
        std::vector<std::string> contents;
        for (int k = 0; k < files; ++k) {
            std::string text;
            const int count = static_cast<int>(rng() % 14);
            for (int t = 0; t < count; ++t) text += tokens[rng() % tokens.size()] + " ";
            contents.push_back(text);
        }
        SCOPED_TRACE("round " + std::to_string(round));
        expect_same_as_rereading(contents, 1 + static_cast<int>(rng() % 9));
    }
}

}  // namespace
