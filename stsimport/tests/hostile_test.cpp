// stsimport against hostile and clumsy input: values that are not
// numbers, a header that contradicts its file's length, two imports into
// one folder at once, terminal escapes in names.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "testkit/instrument_files.h"
#include "testkit/testkit.h"
#include "stsimport/tests/run_stsimport.h"

namespace {

using testkit::file_exists;
using testkit::list_dir;
using testkit::read_file;
using testkit::temp_dir;
using testkit::write_file;

using stsimport_tests::stsimport;

// A bias spectroscopy file of three points with the given bias and current cells.
std::string dat(const std::vector<std::string>& bias, const std::vector<std::string>& current,
                const std::string& current_name = "Current (A)") {
    testkit::nanonis_dat_layout d{false, {{"Experiment", "bias spectroscopy"}},
                                  {"Bias calc (V)", current_name}, {}, false};
    for (size_t k = 0; k < bias.size(); ++k) d.rows.push_back({bias[k], current[k]});
    return testkit::nanonis_dat(d);
}

TEST(Hostile, UndefinedValuesAreRefused) {
    temp_dir dir;
    struct bad_case {
        std::vector<std::string> bias, current;
        std::string said;
    };
    const std::vector<bad_case> cases = {
        {{"-1E-1", "NaN", "1E-1"}, {"1E-9", "2E-9", "3E-9"}, "bias 2 of 3 is nan"},
        {{"-1E-1", "0", "inf"}, {"1E-9", "2E-9", "3E-9"}, "bias 3 of 3 is inf"},
        {{"-1E-1", "0", "1E-1"}, {"1E-9", "-inf", "3E-9"}, "current 2 of 3 is -inf"},
        // 3e38 A is 3e47 nA: beyond float, where the pair files are written.
        {{"-1E-1", "0", "1E-1"}, {"3E+38", "2E-9", "3E-9"}, "current 1 of 3 is inf"},
    };
    for (const auto& c : cases) {
        write_file(dir / "a.dat", dat(c.bias, c.current));
        const auto r = stsimport(dir, {"-o", "out", "a.dat"});
        EXPECT_EQ(r.status, 1) << c.said;
        EXPECT_NE(r.err.find("a.dat: spectrum 1: " + c.said), std::string::npos) << r.err;
        EXPECT_FALSE(file_exists(dir / "out/s1")) << c.said;
    }
    // A NaN current (a sweep cut short) is imported as before.
    write_file(dir / "a.dat", dat({"-1E-1", "0", "1E-1"}, {"1E-9", "NaN", "3E-9"}));
    EXPECT_EQ(stsimport(dir, {"-o", "out", "a.dat"}).status, 0);
    EXPECT_EQ(read_file(dir / "out/s1"), "-0.1 1\n0 nan\n0.1 3\n");
}

// A 3 x 2 grid of 5 points, 12 channels.
std::string twelve_channel_grid() {
    testkit::nanonis_grid_layout g;
    g.nx = 3;
    g.ny = 2;
    g.points = 5;
    g.channels.clear();
    for (int c = 0; c < 12; ++c)
        g.channels.push_back(c == 0 ? "Current (A)" : "In " + std::to_string(c) + " (V)");
    return testkit::nanonis_grid(g, [](long p, int c, long k) {
        return static_cast<float>(1e-9 * static_cast<double>(p + c + k));
    });
}

TEST(Hostile, AGridLongerOrShorterThanItsHeaderIsRefused) {
    temp_dir dir;
    std::string bytes = twelve_channel_grid();
    ASSERT_EQ(stsimport(dir, {"-o", "whole", "g.3ds"}).status, 1);  // no file yet
    write_file(dir / "g.3ds", bytes);
    ASSERT_EQ(stsimport(dir, {"-o", "whole", "g.3ds"}).status, 0);
    // The channel list cut to one: the pixels are 12 times what it declares.
    const size_t at = bytes.find("Channels=\"");
    bytes.replace(at, bytes.find("\r\n", at) - at, "Channels=\"Current (A)\"");
    write_file(dir / "one.3ds", bytes);
    auto r = stsimport(dir, {"-o", "one", "one.3ds"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("does not describe the data"), std::string::npos) << r.err;
    EXPECT_FALSE(file_exists(dir / "one/s1"));
    // Cut after 2 of its 6 pixels: --partial takes them.
    const std::string whole = twelve_channel_grid();
    const size_t pixel = (whole.size() - (whole.find(":HEADER_END:") + 14)) / 6;
    write_file(dir / "cut.3ds", whole.substr(0, whole.size() - 4 * pixel));
    r = stsimport(dir, {"-o", "cut", "cut.3ds"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("(2 pixels of"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--partial reads an interrupted grid"), std::string::npos) << r.err;
    r = stsimport(dir, {"--partial", "-o", "cut", "cut.3ds"});
    EXPECT_EQ(r.status, 1) << r.err;  // an incomplete grid, its pixels kept
    EXPECT_EQ(list_dir(dir / "cut"), (std::vector<std::string>{"s1", "s2", "stsimport-index.tsv"}));
}

TEST(Hostile, ASecondImportIntoTheFolderIsRefused) {
    temp_dir dir;
    write_file(dir / "a.dat", dat({"-1E-1", "0", "1E-1"}, {"1E-9", "2E-9", "3E-9"}));
    ASSERT_EQ(mkdir((dir / "out").c_str(), 0777), 0);
    // The lock a running import holds, held here.
    const int fd = open((dir / "out/.stsimport.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    auto r = stsimport(dir, {"-o", "out", "a.dat"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("out: another import is writing into this folder"), std::string::npos)
        << r.err;
    EXPECT_FALSE(file_exists(dir / "out/s1"));
    close(fd);
    r = stsimport(dir, {"-o", "out", "a.dat"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(list_dir(dir / "out"), (std::vector<std::string>{"s1", "stsimport-index.tsv"}));
}

TEST(Hostile, TwoImportsAtOnceNeverMix) {
    // Two series of different lengths into one folder at once, many times:
    // each time one import ends well and the folder holds its series alone,
    // or both end well one after the other (the second with --force).
    temp_dir dir;
    write_file(dir / "a.dat", dat({"-1E-1", "0", "1E-1"}, {"1E-9", "2E-9", "3E-9"}));
    write_file(dir / "b.dat", dat({"-2E-1", "0", "2E-1"}, {"4E-9", "5E-9", "6E-9"}));
    std::vector<std::string> a_args(40, "a.dat"), b_args(25, "b.dat");
    a_args.insert(a_args.begin(), {"--force", "-o", "out"});
    b_args.insert(b_args.begin(), {"--force", "-o", "out"});
    for (int attempt = 0; attempt < 8; ++attempt) {
        std::filesystem::remove_all(dir / "out");
        testkit::outcome ra, rb;
        std::thread ta([&] { ra = stsimport(dir, a_args); });
        std::thread tb([&] { rb = stsimport(dir, b_args); });
        ta.join();
        tb.join();
        ASSERT_TRUE(ra.status == 0 || rb.status == 0) << ra.err << rb.err;
        for (const auto* r : {&ra, &rb}) {
            if (r->status != 0) {
                EXPECT_NE(r->err.find("another import is writing"), std::string::npos) << r->err;
            }
        }
        // The index lists one source for every file it names.
        const std::string index = read_file(dir / "out/stsimport-index.tsv");
        const bool a_last = index.find("\ta.dat\t") != std::string::npos &&
                            index.find("\tb.dat\t") == std::string::npos;
        const bool b_last = index.find("\tb.dat\t") != std::string::npos &&
                            index.find("\ta.dat\t") == std::string::npos;
        const bool both = ra.status == 0 && rb.status == 0;
        EXPECT_TRUE(a_last || b_last || both) << index;
        const std::string s1 = read_file(dir / "out/s1");
        if (a_last) {
            EXPECT_EQ(s1, "-0.1 1\n0 2\n0.1 3\n");
        }
        if (b_last) {
            EXPECT_EQ(s1, "-0.2 4\n0 5\n0.2 6\n");
        }
        if (b_last && !both) {
            EXPECT_FALSE(file_exists(dir / "out/s26"));
        }
        EXPECT_FALSE(file_exists(dir / "out/.stsimport.lock"));
    }
}

TEST(Hostile, EscapesInNamesAndValuesAreEscaped) {
    temp_dir dir;
    // A column name that would set the window title, clear the screen and
    // forge a line, listed when the channel asked for is not there.
    write_file(dir / "a.dat",
               dat({"-1E-1", "0", "1E-1"}, {"1E-9", "2E-9", "3E-9"},
                   "Current\x1b]0;owned\x07\x1b[2J\x1b[2K\x1b[1Gstsimport: imported 1 "
                   "spectrum (A)"));
    auto r = stsimport(dir, {"-c", "Nothing", "a.dat"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Current\\x1b]0;owned\\x07\\x1b[2J\\x1b[2K\\x1b[1Gstsimport"),
              std::string::npos)
        << r.err;
    // A path, in the summary and in a refusal.
    write_file(dir / "b.dat", dat({"-1E-1", "0", "1E-1"}, {"1E-9", "2E-9", "3E-9"}));
    const std::string folder = "o\x1b[31m\xc2\x9b";
    r = stsimport(dir, {"-o", folder, "b.dat"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("o\\x1b[31m\\xc2\\x9b"), std::string::npos) << r.out;
    r = stsimport(dir, {"missing\x9b" "1J.dat"});
    EXPECT_EQ(r.err.find('\x9b'), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("missing\\x9b1J.dat"), std::string::npos) << r.err;
}

}  // namespace
