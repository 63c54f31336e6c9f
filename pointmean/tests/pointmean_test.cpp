// The prompts, the files and the console of whole runs.
#include <cmath>
#include <filesystem>
#include <vector>

#include <gtest/gtest.h>

#include "pointmean/tests/e2e.h"
#include "numlib/extended.h"
#include "pointmean/pointmean.h"

namespace {

using e2e::finished;
using e2e::header;
using e2e::pointmean;
using e2e::prompts;
using e2e::series;
using testkit::format;
using testkit::list_dir;
using testkit::read_file;
using testkit::temp_dir;

const std::string first_prompt = "Enter number of spectroscopy files:";

TEST(Prompts, HelpAndVersionAsTheOnlyArgument) {
    temp_dir dir;
    series(dir, {"-0.5 1.0\n", "-0.5 3.0\n"});
    const std::vector<std::string> inputs = {"stxt1p.txt", "stxt2p.txt"};
    testkit::run_options options;
    options.cwd = dir.path();
    auto r = testkit::run({POINTMEAN_BIN, "--version"}, options);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "pointmean 3.0\n");
    r = testkit::run({POINTMEAN_BIN, "--help"}, options);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage: pointmean\n", 0), 0u);
    EXPECT_NE(r.out.find("stxt1p.txt"), std::string::npos);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(list_dir(dir.path()), inputs);  // nothing asked, nothing written

    // Anything else leaves the start as it was: the prompts and the run.
    options.input = "2 1";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--help", "--version"}, {"-h"}, {"--Help"}, {"help"}}) {
        std::vector<std::string> argv = {POINTMEAN_BIN};
        argv.insert(argv.end(), args.begin(), args.end());
        r = testkit::run(argv, options);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_EQ(r.out.rfind(header, 0), 0u) << args[0];
    }
}

TEST(Prompts, Refusals) {
    temp_dir dir;
    series(dir, {"-0.5 1.0\n", "-0.5 3.0\n"});
    const std::vector<std::string> inputs = {"stxt1p.txt", "stxt2p.txt"};
    struct refusal {
        std::string answers, out;
    };
    const std::vector<refusal> cases = {
        {"0\n1\n", first_prompt + "Have to have some specta!!\nExiting...\n\n"},
        {"-3\n", first_prompt + "Have to have some specta!!\nExiting...\n\n"},
        {"-2147483648\n", first_prompt + "Have to have some specta!!\nExiting...\n\n"},
        {"1\n1\n", first_prompt + "Need at least two spectra for statistics!!\nExiting...\n\n"},
        {"two\n", first_prompt + "No number of spectroscopy files given!!\nExiting...\n\n"},
        {"", first_prompt + "No number of spectroscopy files given!!\nExiting...\n\n"},
        {"   \n ", first_prompt + "No number of spectroscopy files given!!\nExiting...\n\n"},
        {"2147483648\n", first_prompt + "Number of spectroscopy files out of range!!\nExiting...\n\n"},
        {"2\n0\n", prompts + "Have to have a point!!\nExiting...\n\n"},
        {"2 -1", prompts + "Have to have a point!!\nExiting...\n\n"},
        {"2\n", prompts + "No number of points given!!\nExiting...\n\n"},
        {"2\nx\n", prompts + "No number of points given!!\nExiting...\n\n"},
        {"2\n99999999999\n", prompts + "Number of points out of range!!\nExiting...\n\n"},
    };
    for (const auto& c : cases) {
        const auto r = pointmean(dir, c.answers);
        EXPECT_EQ(r.status, 99) << c.answers;
        EXPECT_EQ(r.out, c.out) << c.answers;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(list_dir(dir.path()), inputs) << c.answers;  // no file created
    }
}

TEST(Run, TwoFilesOnePoint) {
    temp_dir dir;
    series(dir, {"-0.5 1.0\n", "-0.5 3.0\n"});
    const auto r = pointmean(dir, "2\n1\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, header + "Value of point 1 is 2.000000 +/- 2.000000  (100.000000% error)\n" +
                         finished);
    EXPECT_EQ(read_file(dir / "statp1.txt"), "1.000000\n3.000000\n");
    // standard deviation sqrt(2); its standard error sqrt(2)/sqrt(2) = 1
    EXPECT_EQ(read_file(dir / "pointmean.txt"), "-0.500000 2.000000 1.414214 1.000000 2.000000\n");
}

TEST(Run, PercentagesAndEqualValues) {
    temp_dir dir;
    // rows: mean 0; negative mean; all equal
    series(dir, {"0.1 -1\n0.2 -1\n0.3 2.5\n", "0.1 1\n0.2 -3\n0.3 2.5\n"});
    const auto r = pointmean(dir, "2 3");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, header +
                         "Value of point 1 is 0.000000 +/- 2.000000  (0.000000% error)\n"
                         "Value of point 2 is -2.000000 +/- 2.000000  (-100.000000% error)\n"
                         "Value of point 3 is 2.500000 +/- 0.000000  (0.000000% error)\n" +
                         finished);
    EXPECT_EQ(read_file(dir / "pointmean.txt"),
              "0.100000 0.000000 1.414214 1.000000 2.000000\n"
              "0.200000 -2.000000 1.414214 1.000000 2.000000\n"
              "0.300000 2.500000 0.000000 0.000000 0.000000\n");
}

TEST(Run, PointsBeyondTheRowsRepeatTheLastRow) {
    temp_dir dir;
    series(dir, {"1 10\n2 20\n", "1 12\n2 22\n"});
    const auto r = pointmean(dir, "2\n4\n");
    EXPECT_EQ(r.status, 1);
    const std::string last = "2.000000 21.000000 1.414214 1.000000 2.000000\n";
    EXPECT_EQ(read_file(dir / "pointmean.txt"),
              "1.000000 11.000000 1.414214 1.000000 2.000000\n" + last + last + last);
    EXPECT_EQ(read_file(dir / "statp4.txt"), "20.000000\n22.000000\n");
    EXPECT_EQ(r.out, header +
                         "Value of point 1 is 11.000000 +/- 2.000000  (18.181818% error)\n"
                         "Value of point 2 is 21.000000 +/- 2.000000  (9.523809% error)\n"
                         "Value of point 3 is 21.000000 +/- 2.000000  (9.523809% error)\n"
                         "Value of point 4 is 21.000000 +/- 2.000000  (9.523809% error)\n" +
                         finished);
}

TEST(Run, BiasComesFromTheLastFile) {
    temp_dir dir;
    series(dir, {"0.1 1\n", "0.2 1\n", "0.3 1\n"});
    pointmean(dir, "3 1");
    EXPECT_EQ(read_file(dir / "pointmean.txt"), "0.300000 1.000000 0.000000 0.000000 0.000000\n");
}

TEST(Run, NumbersAboveNineAndOldPointFilesLeftAlone) {
    temp_dir dir;
    std::vector<std::string> files;
    for (int k = 1; k <= 12; ++k) {
        std::string rows;
        for (int i = 1; i <= 11; ++i) rows += format("%d %d\n", i, k);
        files.push_back(rows);
    }
    series(dir, files);
    testkit::write_file(dir / "statp12.txt", "old\n");
    const auto r = pointmean(dir, "12\n11\n");
    EXPECT_EQ(r.status, 1);
    std::string expected;
    for (int k = 1; k <= 12; ++k) expected += format("%f\n", double(k));
    EXPECT_EQ(read_file(dir / "statp10.txt"), expected);
    EXPECT_EQ(read_file(dir / "statp11.txt"), expected);
    EXPECT_EQ(read_file(dir / "statp12.txt"), "old\n");
    // 1..12: mean 6.5, sample deviation sqrt(13), error sqrt(13/12)
    EXPECT_EQ(read_file(dir / "pointmean.txt").substr(0, 38), "1.000000 6.500000 3.605551 1.040833 2.");
}

TEST(Run, ThreeHundredFiles) {
    temp_dir dir;
    std::vector<std::string> files;
    for (int k = 1; k <= 300; ++k) files.push_back(format("0.5 %d\n0.75 %d\n", k % 2 ? 1 : 3, k));
    series(dir, files);
    const auto r = pointmean(dir, "300\n2\n");
    EXPECT_EQ(r.status, 1);
    // Row 1: 1 and 3 alternating; row 2: 1 ... 300, whose float sums of
    // squares round, so it is compared to the double values loosely.
    const double sd1 = std::sqrt(300.0 / 299.0);
    const double sd2 = std::sqrt(300.0 * 301.0 / 12.0);
    const std::string summary = read_file(dir / "pointmean.txt");
    const std::string first_line = summary.substr(0, summary.find('\n') + 1);
    EXPECT_EQ(first_line, format("0.500000 2.000000 %f %f %f\n", sd1, sd1 / std::sqrt(300.0),
                                 2 * sd1 / std::sqrt(300.0)));
    double bias, mean, sd, error, twice;
    ASSERT_EQ(std::sscanf(summary.c_str() + first_line.size(), "%lf %lf %lf %lf %lf", &bias, &mean,
                          &sd, &error, &twice),
              5);
    EXPECT_EQ(bias, 0.75);
    EXPECT_EQ(mean, 150.5);
    EXPECT_NEAR(sd, sd2, 2e-5);
    EXPECT_NEAR(error, sd2 / std::sqrt(300.0), 2e-6);
    EXPECT_NEAR(twice, 2 * sd2 / std::sqrt(300.0), 4e-6);
    const std::string point_file = read_file(dir / "statp1.txt");
    EXPECT_EQ(std::count(point_file.begin(), point_file.end(), '\n'), 300);
}

TEST(Failures, InputMissingAtPointOne) {
    temp_dir dir;
    series(dir, {"1 10\n2 20\n", "1 12\n2 22\n"});
    const auto r = pointmean(dir, "3\n2\n");
    EXPECT_EQ(r.status, 99);
    EXPECT_EQ(r.out, header + "Couldn't open stxt3p.txt. Exiting..\n\n");
    EXPECT_EQ(read_file(dir / "statp1.txt"), "10.000000\n12.000000\n");
    EXPECT_EQ(read_file(dir / "pointmean.txt"), "");
    EXPECT_FALSE(testkit::file_exists(dir / "statp2.txt"));
}

TEST(Failures, PointFileThatCannotBeOpened) {
    temp_dir dir;
    series(dir, {"1 10\n2 20\n", "1 12\n2 22\n"});
    std::filesystem::create_directory(dir / "statp2.txt");
    const auto r = pointmean(dir, "2\n3\n");
    EXPECT_EQ(r.status, 99);
    EXPECT_EQ(r.out, header + "Value of point 1 is 11.000000 +/- 2.000000  (18.181818% error)\n" +
                         "Couldn't open statp2.txt. Exiting..\n\n");
    EXPECT_EQ(read_file(dir / "pointmean.txt"), "1.000000 11.000000 1.414214 1.000000 2.000000\n");
}

TEST(Failures, SummaryThatCannotBeOpened) {
    temp_dir dir;
    series(dir, {"1 10\n", "1 12\n"});
    std::filesystem::create_directory(dir / "pointmean.txt");
    const auto r = pointmean(dir, "2\n1\n");
    EXPECT_EQ(r.status, 99);
    EXPECT_EQ(r.out, header + "Couldn't open pointmean.txt. Exiting..\n\n");
}

TEST(Failures, WriteErrorsAreNeverSilent) {
    for (const char* target : {"pointmean.txt", "statp1.txt", "statp3.txt"}) {
        temp_dir dir;
        series(dir, {"1 10\n2 20\n", "1 12\n2 22\n"});
        std::filesystem::create_symlink("/dev/full", dir / target);
        const auto r = pointmean(dir, "2\n3\n");
        EXPECT_EQ(r.status, 99) << target;
        EXPECT_NE(r.out.find(std::string("Couldn't write ") + target + ". Exiting..\n\n"),
                  std::string::npos)
            << target << r.out;
        EXPECT_EQ(r.out.find("Finished"), std::string::npos) << target;
    }
    // A file-size limit, with SIGXFSZ ignored.
    temp_dir dir;
    std::vector<std::string> files;
    for (int k = 0; k < 2; ++k) {
        std::string rows;
        for (int i = 0; i < 200; ++i) rows += format("%d %d\n", i, i + k);
        files.push_back(rows);
    }
    series(dir, files);
    testkit::run_options options;
    options.cwd = dir.path();
    options.input = "2 200";
    options.file_size_limit = 4096;
    const auto r = testkit::run({POINTMEAN_BIN}, options);
    EXPECT_EQ(r.status, 99);
    EXPECT_NE(r.out.find("Couldn't write pointmean.txt. Exiting..\n\n"), std::string::npos);

    // The summary goes out in 4096-byte blocks as a C library stream's
    // would: the first block fills the limit, the second fails, and the run
    // stops at the point whose line spills past 8192 bytes, before its
    // console line.  Its point file is complete; no later one exists.
    int stop = 0;
    std::string summary;
    while (summary.size() <= 8192) {
        ++stop;
        const double mean = stop - 0.5;  // rows i - 1 and i in the two files
        summary += format("%f %f %f %f %f\n", double(stop - 1), mean, 0.707107, 0.5, 1.0);
    }
    EXPECT_EQ(read_file(dir / "pointmean.txt"), summary.substr(0, 4096));
    EXPECT_NE(r.out.find(format("Value of point %d is", stop - 1)), std::string::npos);
    EXPECT_EQ(r.out.find(format("Value of point %d is", stop)), std::string::npos);
    EXPECT_TRUE(testkit::file_exists(dir / format("statp%d.txt", stop)));
    EXPECT_FALSE(testkit::file_exists(dir / format("statp%d.txt", stop + 1)));
}

TEST(Statistics, EachStepStoredAsFloat) {
    // 0.1f + 0.2f + 0.7f summed in float differs from the exact sum.
    const float values[3] = {0.1f, 0.2f, 0.7f};
    const point_stats s = compute_stats(values, 3);
    const float sum = (0.1f + 0.2f) + 0.7f;
    EXPECT_EQ(s.mean, static_cast<float>(xf(sum) / 3));
    EXPECT_EQ(s.twice_error, 2.0f * s.error);
    EXPECT_NEAR(s.deviation, 0.3214550253664318, 1e-7);
    EXPECT_NEAR(s.error, 0.3214550253664318 / std::sqrt(3.0), 1e-7);
    EXPECT_EQ(s.percentage, static_cast<float>(xf(s.twice_error) / s.mean * xf(100)));
}

}  // namespace
