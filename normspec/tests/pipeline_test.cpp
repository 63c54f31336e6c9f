// The result files of whole spectra, and the decisions for awkward ones.
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "normspec/tests/e2e.h"
#include "numlib/extended.h"
#include "normspec/normspec.h"

namespace {

using e2e::all_done;
using e2e::banner;
using e2e::normspec;
using e2e::rows;
using testkit::file_exists;
using testkit::list_dir;
using testkit::read_file;
using testkit::temp_dir;
using testkit::write_file;

const std::string polint_error =
    "Vantrel run-time error...\nError in routine POLINT\n...now exiting to system...\n";

std::vector<std::string> result_names(const std::string& base) {
    return {base, base + "coff.txt", base + "didv.txt", base + "exp.txt",
            base + "i.txt", base + "iv.txt", base + "raw.txt"};
}

// I = 2 V + 0.5 at V = 0.125 ... 1.375: every value of the pipeline is exact
// in binary, so the files are known to the last digit.
TEST(StraightLine, ExactBinaryValues) {
    temp_dir dir;
    std::vector<double> v, vmid, two, ones, twice_v, coff;
    std::string input;
    const float c = static_cast<float>(std::sqrt(4.0 + double(0.05f) * double(0.05f)));
    for (int k = 1; k <= 11; ++k) {
        v.push_back(0.125 * k);
        two.push_back(2.0);
        twice_v.push_back(0.25 * k);
        input += testkit::format("%g %g\n", 0.125 * k, 0.25 * k + 0.5);
    }
    for (int k = 1; k <= 10; ++k) {
        vmid.push_back(0.125 * k + 0.0625);
        ones.push_back(1.0);
        coff.push_back(static_cast<float>(2.0 / c));
    }
    write_file(dir / "line", input);
    const auto r = normspec(dir, {"line"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, banner + "line: 11 data points read ..done\n" + all_done);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(list_dir(dir.path()), result_names("line"));
    EXPECT_EQ(read_file(dir / "linedidv.txt"), rows(vmid, std::vector<double>(10, 2.0)));
    EXPECT_EQ(read_file(dir / "lineiv.txt"), rows(v, two));
    EXPECT_EQ(read_file(dir / "linei.txt"), rows(v, twice_v));
    EXPECT_EQ(read_file(dir / "lineraw.txt"), rows(vmid, ones));
    EXPECT_EQ(read_file(dir / "linecoff.txt"), rows(vmid, coff));
    EXPECT_EQ(read_file(dir / "linecoff.txt").substr(0, 20), "0.187500   0.999688\n");
    const auto exp = e2e::parse(read_file(dir / "lineexp.txt"));
    EXPECT_EQ(exp.x, vmid);
    for (double value : exp.y) EXPECT_TRUE(value > 0.0 && value < 1.0) << value;
}

// The same with decimal steps (0.1 ... 1.1), equal up to float rounding.
TEST(StraightLine, DecimalSteps) {
    temp_dir dir;
    const double g = 1.7, b = -0.3;
    std::string input;
    for (int k = 1; k <= 11; ++k) input += testkit::format("%.1f %.9g\n", 0.1 * k, g * 0.1 * k + b);
    write_file(dir / "line", input);
    ASSERT_EQ(normspec(dir, {"line"}).status, 0);
    const auto i = e2e::parse(read_file(dir / "linei.txt"));
    const auto iv = e2e::parse(read_file(dir / "lineiv.txt"));
    const auto didv = e2e::parse(read_file(dir / "linedidv.txt"));
    const auto raw = e2e::parse(read_file(dir / "lineraw.txt"));
    const auto coff = e2e::parse(read_file(dir / "linecoff.txt"));
    ASSERT_EQ(i.y.size(), 11u);
    ASSERT_EQ(raw.y.size(), 10u);
    for (int k = 0; k < 11; ++k) {
        EXPECT_NEAR(i.y[k], g * 0.1 * (k + 1), 2e-6) << k;  // offset b removed
        EXPECT_NEAR(iv.y[k], g, 2e-6) << k;
    }
    for (int k = 0; k < 10; ++k) {
        EXPECT_NEAR(didv.y[k], g, 2e-6) << k;
        EXPECT_NEAR(raw.y[k], 1.0, 2e-6) << k;
        EXPECT_NEAR(coff.y[k], g / std::sqrt(g * g + 0.0025), 2e-6) << k;
    }
}

std::vector<std::pair<float, float>> semiconductor_curve(int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<float> noise(0.0f, 0.002f);
    std::vector<std::pair<float, float>> points;
    for (int k = 0; k < n; ++k) {
        const float v = -1.5f + 3.0f * static_cast<float>(k) / static_cast<float>(n - 1) + 0.0013f;
        const float gap = std::fabs(v) > 0.4f ? std::sinh(3.0f * (std::fabs(v) - 0.4f)) : 0.0f;
        points.emplace_back(v, std::copysign(gap, v) + 0.01f * v + noise(rng));
    }
    return points;
}

TEST(Order, DescendingInputGivesTheSameFiles) {
    temp_dir dir;
    auto points = semiconductor_curve(300, 5);
    std::string up, down;
    for (const auto& [v, i] : points) up += testkit::format("%.9g %.9g\n", v, i);
    for (auto it = points.rbegin(); it != points.rend(); ++it)
        down += testkit::format("%.9g\t%.9g\n", it->first, it->second);
    // and shuffled
    std::mt19937 rng(1);
    std::shuffle(points.begin(), points.end(), rng);
    std::string mixed;
    for (const auto& [v, i] : points) mixed += testkit::format("%.9g %.9g ", v, i);
    write_file(dir / "up", up);
    write_file(dir / "down", down);
    write_file(dir / "mixed", mixed);
    const auto r = normspec(dir, {"up", "down", "mixed"});
    EXPECT_EQ(r.out, banner + "up: 300 data points read ..done\ndown: 300 data points read ..done\n"
                              "mixed: 300 data points read ..done\n" + all_done);
    for (const char* suffix : {"didv.txt", "iv.txt", "i.txt", "exp.txt", "coff.txt", "raw.txt"}) {
        EXPECT_EQ(read_file(dir / (std::string("up") + suffix)),
                  read_file(dir / (std::string("down") + suffix)))
            << suffix;
        EXPECT_EQ(read_file(dir / (std::string("up") + suffix)),
                  read_file(dir / (std::string("mixed") + suffix)))
            << suffix;
    }
}

TEST(Order, ScalingTheCurrentByTwoLeavesTheRawCurveUnchanged) {
    // Scaling by a power of two commutes with every rounding, and the raw
    // curve is a ratio of quantities linear in the current.  (The exp curve
    // is not exactly invariant: its transform mixes the scaled curve with the
    // unscaled weights.)
    temp_dir dir;
    std::string one, two;
    for (const auto& [v, i] : semiconductor_curve(200, 9)) {
        one += testkit::format("%.9g %.9g\n", v, i);
        two += testkit::format("%.9g %.9g\n", v, 2.0f * i);
    }
    write_file(dir / "one", one);
    write_file(dir / "two", two);
    ASSERT_EQ(normspec(dir, {"one", "two"}).status, 0);
    EXPECT_EQ(read_file(dir / "oneraw.txt"), read_file(dir / "tworaw.txt"));
    EXPECT_NE(read_file(dir / "onedidv.txt"), read_file(dir / "twodidv.txt"));
}

TEST(Failures, TwoPointsEndInThePolynomialStep) {
    temp_dir dir;
    write_file(dir / "first", "-0.3 -1\n-0.1 -0.2\n0.2 0.5\n0.4 1.1\n");
    write_file(dir / "two", "0.5 1.5\n1.5 3.5\n");
    write_file(dir / "never", "-0.3 -1\n-0.1 -0.2\n0.2 0.5\n0.4 1.1\n");
    const auto r = normspec(dir, {"first", "two", "never"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, banner + "first: 4 data points read ..done\ntwo: 2 data points read");
    EXPECT_EQ(r.err, polint_error);
    auto names = result_names("first");
    names.insert(names.end(), {"never", "two", "twodidv.txt"});
    std::sort(names.begin(), names.end());
    EXPECT_EQ(list_dir(dir.path()), names);
    // the straight line through both points: slope 2 at their midpoint
    EXPECT_EQ(read_file(dir / "twodidv.txt"), "1.000000   2.000000\n");

    temp_dir quiet;
    write_file(quiet / "two", "0.5 1.5\n1.5 3.5\n");
    const auto s = normspec(quiet, {"-s", "-n", "two"});
    EXPECT_EQ(s.status, 1);
    EXPECT_EQ(list_dir(quiet.path()), std::vector<std::string>{"two"});
}

TEST(Failures, ResultFileThatCannotBeOpened) {
    temp_dir dir;
    write_file(dir / "f", "-0.3 -1\n-0.1 -0.2\n0.2 0.5\n0.4 1.1\n");
    std::filesystem::create_directory(dir / "fdidv.txt");
    auto r = normspec(dir, {"f", "f"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, banner + "f: 4 data points read" + "Couldn't open di/dv output file. Exit\n\n");
    EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{"f", "fdidv.txt"}));

    std::filesystem::remove(dir / "fdidv.txt");
    std::filesystem::create_directory(dir / "fi.txt");
    r = normspec(dir, {"f"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, banner + "f: 4 data points read" + "Couldn't open output file fi.txt. Exit\n\n");
    EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{"f", "fdidv.txt", "fi.txt", "fiv.txt"}));
}

TEST(Failures, WriteErrorsAreNeverSilent) {
    temp_dir dir;
    write_file(dir / "f", "-0.3 -1\n-0.1 -0.2\n0.2 0.5\n0.4 1.1\n");
    for (const char* target : {"fdidv.txt", "fraw.txt"}) {
        std::filesystem::create_symlink("/dev/full", dir / target);
        const auto r = normspec(dir, {"f"});
        EXPECT_EQ(r.status, 1) << target;
        EXPECT_EQ(r.out, banner + "f: 4 data points read" + "Error writing output file " + target +
                             ". Exit\n\n");
        std::filesystem::remove(dir / target);
    }
    // A file-size limit (with SIGXFSZ ignored) fails the first large file.
    temp_dir limited;
    std::string big;
    for (int k = 0; k < 200; ++k) big += testkit::format("%d %d\n", k - 100, 3 * k);
    write_file(limited / "g", big);
    testkit::run_options options;
    options.cwd = limited.path();
    options.file_size_limit = 4096;
    const auto r = testkit::run({NORMSPEC_BIN, "g"}, options);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, banner + "g: 200 data points read" +
                         "Error writing output file gdidv.txt. Exit\n\n");
}

TEST(Decisions, MoreThanTenThousandPoints) {
    temp_dir dir;
    std::string pairs;
    for (int k = 0; k < MAX_POINTS; ++k) pairs += testkit::format("%d.5 %d\n", k - 5000, 2 * k + 1);
    write_file(dir / "full", pairs);
    write_file(dir / "lone", pairs + "7\n");
    write_file(dir / "text", pairs + "end 7 8\n");
    write_file(dir / "over", pairs + "7 8\n");
    const auto r = normspec(dir, {"-s", "-n", "over", "full", "lone", "text"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, banner +
                         "over: 10000 data points read ..the file holds more than 10000 points; "
                         "skipping..\n"
                         "full: 10000 data points read ..done\n"
                         "lone: 10000 data points read ..done\n"
                         "text: 10000 data points read ..done\n" + all_done);
    EXPECT_FALSE(file_exists(dir / "overraw.txt"));
    EXPECT_EQ(read_file(dir / "fullraw.txt"), read_file(dir / "loneraw.txt"));
    EXPECT_EQ(read_file(dir / "fullraw.txt"), read_file(dir / "textraw.txt"));
}

TEST(Decisions, FewerThanTwoPoints) {
    temp_dir dir;
    write_file(dir / "empty", "");
    write_file(dir / "header", "Bias(V) Current(nA)\n0.1 0.2\n0.2 0.4\n");
    write_file(dir / "one", "0.1 0.2\n0.3\n");
    std::filesystem::create_directory(dir / "folder");
    const auto r = normspec(dir, {"empty", "header", "one", "folder", "missing"});
    EXPECT_EQ(r.status, 0);
    const std::string skip = " ..fewer than 2 points, nothing to process; skipping..\n";
    EXPECT_EQ(r.out, banner + "empty: 0 data points read" + skip + "header: 0 data points read" +
                         skip +
                         "header: the file starts with text, not numbers (a header line?); "
                         "stsimport converts files with a header (stsimport --help)\n"
                         "one: 1 data points read" + skip +
                         "folder: 0 data points read ..read error, file not processed; "
                         "skipping..\n"
                         "Can't open missing; skipping..\n" + all_done);
    EXPECT_EQ(list_dir(dir.path()),
              (std::vector<std::string>{"empty", "folder", "header", "one"}));
}

TEST(Decisions, PointAtZeroBiasTakesTheLimitOfIv) {
    // I = 2 V + 0.5 at V = -0.5 ... 0.75 in steps of 0.25, 0 V among them:
    // every value is exact in binary, and I/V at 0 V is the chord slope 2.
    temp_dir dir;
    std::vector<double> v, vmid;
    std::string input;
    for (int k = -2; k <= 3; ++k) {
        v.push_back(0.25 * k);
        input += testkit::format("%g %g\n", 0.25 * k, 0.5 * k + 0.5);
    }
    for (int k = -2; k <= 2; ++k) vmid.push_back(0.25 * k + 0.125);
    write_file(dir / "zero", input);
    const auto r = normspec(dir, {"zero"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, banner + "zero: 6 data points read ..done\n" + all_done);
    std::vector<double> twice_v;
    for (double x : v) twice_v.push_back(2 * x);
    EXPECT_EQ(read_file(dir / "zeroi.txt"), rows(v, twice_v));
    EXPECT_EQ(read_file(dir / "zeroiv.txt"), rows(v, std::vector<double>(6, 2.0)));
    EXPECT_EQ(read_file(dir / "zeroraw.txt"), rows(vmid, std::vector<double>(5, 1.0)));
    for (const char* suffix : {"exp.txt", "coff.txt", "didv.txt"})
        EXPECT_EQ(read_file(dir / ("zero" + std::string(suffix))).find("nan"), std::string::npos);
}

TEST(Decisions, ZeroBiasAtEitherEndUsesItsOneNeighbour) {
    temp_dir dir;
    write_file(dir / "low", "0 0.5\n0.25 1\n0.5 1.5\n0.75 2\n");
    write_file(dir / "high", "-0.75 -1\n-0.5 -0.5\n-0.25 0\n0 0.5\n");
    const auto r = normspec(dir, {"low", "high"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(dir / "lowiv.txt"), rows({0, 0.25, 0.5, 0.75}, {2, 2, 2, 2}));
    EXPECT_EQ(read_file(dir / "highiv.txt"), rows({-0.75, -0.5, -0.25, 0}, {2, 2, 2, 2}));
}

TEST(Decisions, RepeatedBiasesBecomeTheirMean) {
    // The merged spectrum gives exactly the files of the same points with
    // the mean current written out: merging is all that happens.
    temp_dir dir;
    write_file(dir / "repeat", "-0.2 -0.5\n0.1 0.3\n-0.1 -0.2\n0.1 0.31\n0.2 0.6\n0.1 0.29\n"
                               "0.3 1.0\n-0 7\n0 8\n");
    const float mean = static_cast<float>((xf(0.3f) + 0.31f + 0.29f) / 3);
    write_file(dir / "merged", testkit::format("-0.2 -0.5\n-0.1 -0.2\n0 7.5\n0.1 %.9g\n0.2 0.6\n"
                                               "0.3 1.0\n",
                                               mean));
    const auto r = normspec(dir, {"repeat", "merged"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, banner +
                         "repeat: 9 data points read ..done\n"
                         "repeat: note: 3 points at repeated bias values merged into their mean\n"
                         "merged: 6 data points read ..done\n" + all_done);
    for (const char* suffix : {"didv.txt", "iv.txt", "exp.txt", "coff.txt", "raw.txt"})
        EXPECT_EQ(read_file(dir / ("repeat" + std::string(suffix))),
                  read_file(dir / ("merged" + std::string(suffix))))
            << suffix;
}

TEST(Decisions, OneDistinctBiasIsTooFew) {
    temp_dir dir;
    write_file(dir / "f", "0.5 1\n0.5 2\n0.5 3\n");
    const auto r = normspec(dir, {"f"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, banner + "f: 3 data points read ..fewer than 2 distinct bias values, nothing "
                              "to process; skipping..\n" + all_done);
    EXPECT_EQ(list_dir(dir.path()), std::vector<std::string>{"f"});
}

TEST(Decisions, UndefinedDivisionsAreReported) {
    temp_dir dir;
    write_file(dir / "nan", "-0.2 -0.5\n-0.1 nan\n0.1 0.3\n0.2 0.6\n0.3 1.0\n");
    write_file(dir / "fine", "-0.2 -0.5\n-0.1 -0.2\n0.1 0.3\n0.2 0.6\n0.3 1.0\n");
    const auto r = normspec(dir, {"nan", "fine"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, banner +
                         "nan: 5 data points read ..done\n"
                         "nan: warning: results hold inf/nan values (inf or nan in the input)\n"
                         "fine: 5 data points read ..done\n" + all_done);
    EXPECT_NE(read_file(dir / "nanraw.txt").find("nan"), std::string::npos);
    EXPECT_EQ(read_file(dir / "fineraw.txt").find("nan"), std::string::npos);
}

TEST(Decisions, DivisorThatInterpolatesToZero) {
    // I/V on a line through 0 between two points: the midpoint divisor is 0.
    const float bias[3] = {1.0f, 2.0f, 3.0f};
    const float ivar[3] = {-1.0f, 1.0f, 3.0f};
    const float vmid[2] = {1.5f, 2.5f};
    float didv[2] = {1.0f, 1.0f};
    spectrum_workspace w;
    ASSERT_TRUE(reserve_workspace(&w, 3));
    int zero_divisors = -1;
    EXPECT_EQ(normalise_by(vmid, didv, didv, 2, bias, ivar, 3, &w, &zero_divisors), NUM_OK);
    EXPECT_EQ(zero_divisors, 1);
    EXPECT_TRUE(std::isinf(didv[0]));
    EXPECT_EQ(didv[1], 0.5f);
    EXPECT_EQ(describe_causes(CAUSE_ZERO_DIVISOR | CAUSE_NONFINITE_INPUT),
              "inf or nan in the input; an I/V that interpolates to 0");
}

TEST(Decisions, LongNames) {
    temp_dir dir;
    // Names longer than 255 characters in all work when each part fits.
    std::string path = std::string(120, 'a') + "/" + std::string(120, 'b');
    std::filesystem::create_directories(dir / path);
    path += "/" + std::string(100, 'c');
    write_file(dir / path, "-0.2 -0.5\n-0.1 -0.2\n0.1 0.3\n0.2 0.6\n");
    auto r = normspec(dir, {"-s", "-n", path});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(file_exists(dir / (path + "raw.txt")));

    // A last part that fits but not with its suffix: the result name is
    // refused like any file that cannot be opened.
    const std::string longest(250, 'x');
    write_file(dir / longest, "-0.2 -0.5\n-0.1 -0.2\n0.1 0.3\n0.2 0.6\n");
    r = normspec(dir, {longest});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, banner + longest + ": 4 data points read" +
                         "Couldn't open di/dv output file. Exit\n\n");
    // An input name past the limit cannot be opened at all.
    r = normspec(dir, {std::string(300, 'y')});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, banner + "Can't open " + std::string(300, 'y') + "; skipping..\n" + all_done);
}

}  // namespace
