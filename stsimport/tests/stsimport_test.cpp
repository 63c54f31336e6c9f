// stsimport on small files the tests write themselves.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testkit/instrument_files.h"
#include "testkit/testkit.h"
#include "stsimport/tests/run_stsimport.h"

namespace {

using testkit::file_exists;
using testkit::format;
using testkit::list_dir;
using testkit::read_file;
using testkit::temp_dir;
using testkit::write_file;

using stsimport_tests::stsimport;

// A Nanonis bias-spectroscopy file with the short header.
const std::string short_dat = testkit::nanonis_dat(
    {false,
     {{"Experiment", "bias spectroscopy"}, {"Date", "04.08.2015 08:49:41"}, {"User", ""}},
     {"Bias calc (V)", "Input 3 (A)", "Input 3 [bwd] (A)", "Input 3 (A) [filt]"},
     {{"-200.000E-3", "-132.523E-12", "-150.893E-12", "NaN"},
      {"-100.000E-3", "-60.5E-12", "-70.5E-12", "1E-9"},
      {"100.000E-3", "70.25E-12", "80.25E-12", "2E-9"}},
     false});

// The long header with a byte-order mark, several sweeps and their average.
const std::string sweeps_dat = testkit::nanonis_dat(
    {true,
     {{"Experiment", "bias spectroscopy"}, {"Saved Date", "31.03.2023 14:44:30"},
      {"Bias Spectroscopy>Number of sweeps", "2"}},
     {"Bias calc (V)", "Current [00001] (A)", "Current [00002] (A)", "Current [AVG] (A)",
      "Current [00001] [bwd] (A)", "Current [00002] [bwd] (A)", "Current [AVG] [bwd] (A)",
      "Bias (V)"},
     {{"-1E+0", "-1E-9", "-3E-9", "-2E-9", "-5E-9", "-7E-9", "-6E-9", "-1.01E+0"},
      {"1E+0", "2E-9", "4E-9", "3E-9", "6E-9", "8E-9", "7E-9", "0.99E+0"}},
     true});

TEST(NanonisDat, ShortHeaderChannelAndDirections) {
    temp_dir dir;
    write_file(dir / "a.dat", short_dat);
    auto r = stsimport(dir, {"--channel", "Input 3", "a.dat"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(read_file(dir / "s1"),
              "-0.2 -0.132523\n-0.1 -0.0605\n0.1 0.07025\n");
    EXPECT_EQ(read_file(dir / "stsimport-index.tsv"),
              "output\tsource\tpixel_x\tpixel_y\tsweep\tdirection\ns1\ta.dat\t-\t-\t-\tfwd\n");

    // Added to the folder of the first import: the index lists both.
    r = stsimport(dir, {"-c", "Input 3", "-d", "bwd", "--names=stxt", "--start", "7", "--force",
                        "a.dat"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(dir / "stsimport-index.tsv"),
              "output\tsource\tpixel_x\tpixel_y\tsweep\tdirection\ns1\ta.dat\t-\t-\t-\tfwd\n"
              "stxt7p.txt\ta.dat\t-\t-\t-\tbwd\n");
    EXPECT_EQ(read_file(dir / "stxt7p.txt"),
              "-0.2 -0.150893\n-0.1 -0.0705\n0.1 0.08025\n");

    r = stsimport(dir, {"-c", "input 3", "--direction=mean", "-o", "m", "a.dat"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(dir / "m/s1"),
              "-0.2 -0.141708\n-0.1 -0.0655\n0.1 0.07525\n");
    EXPECT_NE(read_file(dir / "m/stsimport-index.tsv").find("\tmean\n"), std::string::npos);
}

TEST(NanonisDat, SweepsAverageOrEach) {
    temp_dir dir;
    write_file(dir / "b.dat", sweeps_dat);
    auto r = stsimport(dir, {"b.dat"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(dir / "s1"), "-1 -2\n1 3\n");  // the [AVG] column; "Bias calc" wins

    r = stsimport(dir, {"--each-sweep", "-d", "bwd", "-o", "each", "b.dat"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(dir / "each/s1"), "-1 -5\n1 6\n");
    EXPECT_EQ(read_file(dir / "each/s2"), "-1 -7\n1 8\n");
    EXPECT_EQ(read_file(dir / "each/stsimport-index.tsv"),
              "output\tsource\tpixel_x\tpixel_y\tsweep\tdirection\n"
              "s1\tb.dat\t-\t-\t1\tbwd\ns2\tb.dat\t-\t-\t2\tbwd\n");

    // Sweep 2 as the files number it, leading zeros and all.
    for (const char* k : {"2", "00002", "0000002"}) {
        r = stsimport(dir, {"--sweep", k, "-o", std::string("k") + k, "b.dat"});
        EXPECT_EQ(r.status, 0) << k << ": " << r.err;
        EXPECT_EQ(read_file(dir / (std::string("k") + k + "/s1")), "-1 -3\n1 4\n") << k;
    }

    r = stsimport(dir, {"--bias", "Bias", "--bias-unit", "mV", "--current-unit", "pA", "-o", "u",
                        "b.dat"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(dir / "u/s1"), "-1010 -2000\n990 3000\n");
}

TEST(NanonisDat, SeveralFilesNumberOnward) {
    temp_dir dir;
    write_file(dir / "a.dat", short_dat);
    write_file(dir / "b.dat", short_dat);
    const auto r = stsimport(dir, {"-c", "Input 3", "a.dat", "b.dat"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(list_dir(dir.path()),
              (std::vector<std::string>{"a.dat", "b.dat", "s1", "s2", "stsimport-index.tsv"}));
}

// A grid file (see testkit/instrument_files.h) with the given sweep ends and file type.
std::string grid(int nx, int ny, int points, const std::vector<std::string>& channels,
                 const testkit::grid_pixel_values& pixels, float start, float stop,
                 const std::string& filetype = "Linear") {
    testkit::nanonis_grid_layout g;
    g.nx = nx;
    g.ny = ny;
    g.points = points;
    g.channels = channels;
    g.start = start;
    g.end = stop;
    g.filetype = filetype;
    return testkit::nanonis_grid(g, pixels);
}

std::vector<std::vector<std::vector<float>>> grid_pixels(int count) {
    std::vector<std::vector<std::vector<float>>> pixels;
    for (int p = 0; p < count; ++p)
        pixels.push_back({{1e-9f * p, 2e-9f * p, 3e-9f * p}, {-1e-9f, -2e-9f, -3e-9f}});
    return pixels;
}

TEST(NanonisGrid, PixelsInOrderWithPositions) {
    temp_dir dir;
    write_file(dir / "g.3ds", grid(3, 2, 3, {"Current (A)", "Current [bwd] (A)"}, grid_pixels(6),
                                   0.5f, -0.5f));
    auto r = stsimport(dir, {"g.3ds"});
    EXPECT_EQ(r.status, 0) << r.err;
    // The sweep from its start to its end; float32 amperes scaled to nA in
    // double, then rounded to float (5e-9f A is 4.99999997 nA in double).
    EXPECT_EQ(read_file(dir / "s1"), "0.5 0\n0 0\n-0.5 0\n");
    EXPECT_EQ(read_file(dir / "s6"), "0.5 5\n0 10\n-0.5 14.999999\n");
    const std::string index = read_file(dir / "stsimport-index.tsv");
    EXPECT_NE(index.find("s5\tg.3ds\t1\t1\t-\tfwd\n"), std::string::npos) << index;
    EXPECT_NE(index.find("s3\tg.3ds\t2\t0\t-\tfwd\n"), std::string::npos) << index;

    r = stsimport(dir, {"-d", "bwd", "-n", "stxt", "-o", "b", "g.3ds"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(dir / "b/stxt2p.txt"), "0.5 -1\n0 -2\n-0.5 -3\n");
}

TEST(NanonisGrid, InterruptedGridKeepsCompletePixels) {
    temp_dir dir;
    std::string bytes =
        grid(3, 2, 3, {"Current (A)", "Current [bwd] (A)"}, grid_pixels(6), 0.5f, -0.5f);
    bytes.resize(bytes.size() - 40 - 7);  // pixel 6 gone, pixel 5 cut short (40 bytes a pixel)
    write_file(dir / "g.3ds", bytes);
    const auto r = stsimport(dir, {"g.3ds"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "stsimport: g.3ds: the grid is incomplete: 2 of 6 pixels missing "
                     "(4 complete pixels imported)\n");
    EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{"g.3ds", "s1", "s2", "s3", "s4",
                                                               "stsimport-index.tsv"}));

    // A pixel that holds only NaN was never measured: missing, not zero.
    auto pixels = grid_pixels(2);
    pixels[1][0] = {NAN, NAN, NAN};
    write_file(dir / "n.3ds", grid(2, 1, 3, {"Current (A)", "Current [bwd] (A)"}, pixels, 1, 2));
    const auto n = stsimport(dir, {"-o", "n", "n.3ds"});
    EXPECT_EQ(n.status, 1);
    EXPECT_NE(n.err.find("1 of 2 pixels missing"), std::string::npos);
    EXPECT_EQ(list_dir(dir / "n"), (std::vector<std::string>{"s1", "stsimport-index.tsv"}));
}

TEST(NanonisGrid, Refusals) {
    temp_dir dir;
    write_file(dir / "mls.3ds", grid(1, 1, 3, {"Current (A)"}, {{{1, 2, 3}}}, 0, 1, "MLS"));
    auto r = stsimport(dir, {"mls.3ds"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("mls.3ds: Nanonis .3ds: multi-segment (MLS) sweeps are not supported"),
              std::string::npos);
    std::string cut = grid(2, 2, 3, {"Current (A)"}, grid_pixels(4), 0, 1);
    cut.resize(cut.find(":HEADER_END:") + 20);
    write_file(dir / "cut.3ds", cut);
    r = stsimport(dir, {"cut.3ds"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "stsimport: cut.3ds: Nanonis .3ds: the grid holds no complete pixel (4 missing)\n");
    // A damaged header must not ask for absurd memory: the count is refused
    // before anything is allocated for it.
    std::string huge = grid(4, 5, 3, {"Current (A)"}, grid_pixels(1), 0, 1);
    huge.replace(huge.find("Points=3"), 8, "Points=31777777777777777777777");
    write_file(dir / "huge.3ds", huge);
    r = stsimport(dir, {"huge.3ds"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "stsimport: huge.3ds: Nanonis .3ds: the header lacks a usable \"Points\" or "
                     "\"# Parameters (4 byte)\"\n");
    huge = grid(4, 5, 3, {"Current (A)"}, grid_pixels(1), 0, 1);
    huge.replace(huge.find("Points=3"), 8, "Points=9999999");
    write_file(dir / "huge.3ds", huge);
    r = stsimport(dir, {"huge.3ds"});
    EXPECT_EQ(r.err,
              "stsimport: huge.3ds: Nanonis .3ds: the grid holds no complete pixel (20 missing)\n");
    std::filesystem::remove(dir / "huge.3ds");
    write_file(dir / "fake.3ds", "Grid dim=\"2 x 2\"\r\nPoints=3\r\n");
    r = stsimport(dir, {"fake.3ds"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("not a Nanonis grid file"), std::string::npos);
    EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{"cut.3ds", "fake.3ds", "mls.3ds"}));
}

TEST(Delimited, DelimitersAndUnits) {
    temp_dir dir;
    write_file(dir / "c.csv", "# exported by a script\nBias (mV),Current (pA)\n-100,-50\n100,25\n");
    write_file(dir / "t.tsv", "V/mV\tI/nA\n-100\t-0.05\n100\t0.025\n");
    write_file(dir / "s.txt", "\"Bias [V]\";\"Current [A]\"\r\n-0.1;-5E-11\r\n0.1;2.5E-11\r\n");
    const auto r = stsimport(dir, {"c.csv", "t.tsv", "s.txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    for (const char* name : {"s1", "s2", "s3"})
        EXPECT_EQ(read_file(dir / name), "-0.1 -0.05\n0.1 0.025\n");
}

TEST(Errors, ClearMessagesAndNothingLeftBehind) {
    temp_dir dir;
    write_file(dir / "a.dat", short_dat);
    write_file(dir / "text.txt", "just some words\nand more\n");
    write_file(dir / "bad.dat",
               "Experiment\tbias spectroscopy\t\n[DATA]\nBias calc (V)\tCurrent (A)\n"
               "0.1\t1E-9\n0.2\toops\n");
    write_file(dir / "short.dat", "Experiment\tx\t\n[DATA]\nBias calc (V)\tCurrent (A)\n0.1\n");
    write_file(dir / "nodata.dat", "Experiment\tx\t\nDate\t1\t\n");
    write_file(dir / "volts.csv", "Bias (V),Current (V)\n1,2\n");
    write_file(dir / "nounit.csv", "Bias,Current (A)\n1,2\n");
    std::filesystem::create_directory(dir / "folder");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"a.dat"},
         "a.dat: Nanonis .dat: no channel 'Current' (columns: Bias calc, Input 3, Input 3, "
         "Input 3); "
         "try -c \"Input 3\""},
        {{"-c", "Input 3", "a.dat", "text.txt"},
         "text.txt: not a Nanonis .dat or .3ds file, a Createc .VERT file, an Omicron MATRIX "
         "curve or text export, an RHK .sm4 file, delimited text with a header row or plain "
         "pairs of numbers"},
        {{"bad.dat"}, "bad.dat: Nanonis .dat: line 5: 'oops' is not a number"},
        {{"short.dat"}, "short.dat: Nanonis .dat: line 4: 1 values where the header names 2"},
        {{"nodata.dat"}, "nodata.dat: not a Nanonis spectroscopy file (no [DATA] section)"},
        {{"-f", "dat", "nodata.dat"},
         "nodata.dat: not a Nanonis spectroscopy file (no [DATA] section)"},
        {{"volts.csv"},
         "volts.csv: delimited text: channel 'Current' is in 'V', not a current unit; if it is "
         "a pre-amplifier's output, give the gain with --current-gain=V/A (1e9 for 1 V per nA)"},
        {{"nounit.csv"},
         "nounit.csv: delimited text: the bias column 'Bias' has no voltage unit (''); give its "
         "unit with --bias-unit=V or mV"},
        {{"-c", "Input 3", "-d", "bwd", "--each-sweep", "missing.dat"},
         "missing.dat: cannot open: No such file or directory"},
        {{"folder"}, "folder: is a directory"},
        {{"-c", "Input 3", "-b", "Bias (V)", "a.dat"},
         "a.dat: Nanonis .dat: no bias column 'Bias (V)' (columns: Bias calc, Input 3, Input 3, "
         "Input 3)"},
    };
    for (const auto& [args, message] : cases) {
        const auto r = stsimport(dir, args);
        EXPECT_EQ(r.status, 1) << message;
        EXPECT_EQ(r.err, "stsimport: " + message + "\n");
    }
    // No output at all, not even a partial one (every input is checked first).
    for (const auto& name : list_dir(dir.path()))
        EXPECT_TRUE(name.find(".dat") != std::string::npos ||
                    name.find(".csv") != std::string::npos || name == "text.txt" ||
                    name == "folder")
            << name;
}

TEST(Errors, WriteFailuresLeaveNoPartialFile) {
    temp_dir dir;
    write_file(dir / "a.dat", short_dat);
    testkit::run_options options;
    options.cwd = dir.path();
    options.file_size_limit = 30;  // smaller than one output file
    const auto r = testkit::run({STSIMPORT_BIN, "-c", "Input 3", "a.dat"}, options);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("stsimport: cannot write ./s1: File too large"), std::string::npos)
        << r.err;
    EXPECT_EQ(list_dir(dir.path()), std::vector<std::string>{"a.dat"});
}

TEST(Errors, UnusablePathsEndInAMessage) {
    // Each once ended in an uncaught exception (SIGABRT, status 134).
    temp_dir dir;
    write_file(dir / "a.csv", "Bias (V),Current (nA)\n-1,-2\n1,3\n");
    std::filesystem::create_symlink("loop", dir / "loop");
    const std::string long_name(300, 'x');
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{long_name}, long_name + ": cannot open: File name too long"},
        {{"loop"}, "loop: cannot open: Too many levels of symbolic links"},
        {{"-o", long_name + "/" + long_name, "a.csv"},
         long_name + "/" + long_name + ": cannot create the output folder: File name too long"},
        {{"-o", "loop/out", "a.csv"},
         "loop/out: cannot create the output folder: Too many levels of symbolic links"},
    };
    for (const auto& [args, message] : cases) {
        const auto r = stsimport(dir, args);
        EXPECT_FALSE(r.signalled) << message;
        EXPECT_EQ(r.status, 1) << message;
        EXPECT_EQ(r.err, "stsimport: " + message + "\n");
    }
    EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{"a.csv", "loop"}));
}

TEST(Errors, NeverOverwritesAnInput) {
    temp_dir dir;
    const std::string csv = "Bias (mV),Current (pA)\n-100,-50\n100,25\n";
    write_file(dir / "s1", csv);
    std::filesystem::create_directory(dir / "sub");
    std::filesystem::create_symlink("..", dir / "sub/up");
    std::filesystem::create_symlink("s1", dir / "link");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"s1"}, "./s1"},                    // the source named like its output
        {{"link"}, "./s1"},                  // reached through a link
        {{"-o", "sub/up", "s1"}, "sub/up/s1"},  // through a linked folder
        {{"-n", "stxt", "-o", ".", "--start", "0", "sub/../s1", "s1"}, ""},  // not an output name
    };
    for (const auto& [args, output] : cases) {
        const auto r = stsimport(dir, args);
        if (output.empty()) {
            EXPECT_EQ(r.status, 0) << r.err;
            continue;
        }
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "stsimport: " + output + " is one of the inputs and would be overwritten; "
                         "choose another folder with --out (nothing was written)\n");
        EXPECT_EQ(read_file(dir / "s1"), csv);
    }
    // A link in the output folder is followed when written, so a link to
    // the input is the input.
    std::filesystem::create_directory(dir / "out");
    std::filesystem::create_symlink("../s1", dir / "out/s1");
    const auto r = stsimport(dir, {"-o", "out", "--force", "s1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "stsimport: out/s1 is one of the inputs and would be overwritten; "
                     "choose another folder with --out (nothing was written)\n");
    EXPECT_EQ(read_file(dir / "s1"), csv);
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "out/s1"));
}

// Outputs are only ever regular files: a link among them is followed (the
// file it names is written), a FIFO or a device is refused before the
// first file of the series is written.
TEST(Errors, NeverReplacesAnythingButAFile) {
    temp_dir dir;
    write_file(dir / "a.csv", "Bias (V),Current (nA)\n-1,-2\n1,3\n");
    std::filesystem::create_directory(dir / "out");
    write_file(dir / "elsewhere", "old\n");
    std::filesystem::create_symlink("../elsewhere", dir / "out/s1");
    auto r = stsimport(dir, {"-o", "out", "--force", "a.csv"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "out/s1"));
    EXPECT_EQ(read_file(dir / "elsewhere"), "-1 -2\n1 3\n");

    ASSERT_EQ(mkfifo((dir / "out/s2").c_str(), 0644), 0);
    r = stsimport(dir, {"-o", "out", "--force", "a.csv", "a.csv"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "stsimport: out/s2 is a FIFO, not a regular file; name a file to write, "
                     "or a new one (nothing was written)\n");
    EXPECT_EQ(read_file(dir / "elsewhere"), "-1 -2\n1 3\n");  // s1 not written first
    EXPECT_TRUE(std::filesystem::is_fifo(dir / "out/s2"));
    if (geteuid() != 0) return;  // a device node needs root; in the test's folder, never /dev
    std::filesystem::remove(dir / "out/s2");
    ASSERT_EQ(mknod((dir / "out/s2").c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
    r = stsimport(dir, {"-o", "out", "--force", "a.csv", "a.csv"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("out/s2 is a device, not a regular file"), std::string::npos) << r.err;
    EXPECT_TRUE(std::filesystem::is_character_file(dir / "out/s2"));
    EXPECT_EQ(testkit::list_dir(dir / "out"),
              (std::vector<std::string>{"s1", "s2", "stsimport-index.tsv"}));
}

TEST(FirstContact, OneSummaryLine) {
    temp_dir dir;
    write_file(dir / "a.dat", short_dat);
    write_file(dir / "g.3ds", grid(3, 2, 3, {"Current (A)", "Current [bwd] (A)"}, grid_pixels(6),
                                   0.5f, -0.5f));
    auto r = stsimport(dir, {"-c", "Input 3", "a.dat"});
    EXPECT_EQ(r.out, "imported 1 spectrum from a.dat into s1\n");
    r = stsimport(dir, {"-n", "stxt", "-o", "line", "g.3ds"});
    EXPECT_EQ(r.out, "imported 6 spectra from g.3ds into line/stxt1p.txt ... line/stxt6p.txt\n");
    r = stsimport(dir, {"-o", "two", "-c", "Input 3", "--start", "0", "a.dat", "a.dat"});
    EXPECT_EQ(r.out, "imported 2 spectra from 2 files into two/s0 ... two/s1\n");
    EXPECT_EQ(r.err, "");
}

TEST(FirstContact, NoMixingWithAnotherSeries) {
    temp_dir dir;
    write_file(dir / "a.dat", short_dat);
    write_file(dir / "g.3ds", grid(3, 2, 3, {"Current (A)", "Current [bwd] (A)"}, grid_pixels(6),
                                   0.5f, -0.5f));
    ASSERT_EQ(stsimport(dir, {"-o", "out", "g.3ds"}).status, 0);
    const std::string index = read_file(dir / "out/stsimport-index.tsv");
    // A second import of one spectrum would leave s2 ... s6 of the grid beside it.
    auto r = stsimport(dir, {"-o", "out", "-c", "Input 3", "a.dat"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "stsimport: out already holds s2 ... s6 (5 files), which this import would "
                     "not replace: two series would mix; give another folder with --out, or "
                     "--force (nothing was written)\n");
    EXPECT_EQ(read_file(dir / "out/stsimport-index.tsv"), index);
    // The same import again, or one that replaces them all, may go there.
    EXPECT_EQ(stsimport(dir, {"-o", "out", "--start=1", "g.3ds"}).status, 0);
    // Numbered files that no import wrote are never replaced unasked.
    write_file(dir / "s1", "1 2\n3 4\n");
    r = stsimport(dir, {"-c", "Input 3", "a.dat"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "stsimport: .: s1 would be replaced, yet no import wrote it "
                     "(stsimport-index.tsv does not list it); give another folder with --out, "
                     "or --force (nothing was written)\n");
    EXPECT_EQ(read_file(dir / "s1"), "1 2\n3 4\n");
    r = stsimport(dir, {"--force", "-c", "Input 3", "a.dat"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(read_file(dir / "s1"), "1 2\n3 4\n");
}

TEST(FirstContact, TextExportsAsTheyCome) {
    temp_dir dir;
    // Blank-separated names, decimal commas, units from the command line.
    write_file(dir / "w.txt", "Bias calc (V)   Current (nA)\n-0,1   -0,05\n0,1 0,025\n");
    write_file(dir / "plain.txt", "V I\n-100 -50\n100 25\n");
    write_file(dir / "pairs.txt", "-0.1 -0.05\n0.1 0.025\n");
    auto r = stsimport(dir, {"-o", "w", "w.txt", "pairs.txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string rows = "-0.1 -0.05\n0.1 0.025\n";
    EXPECT_EQ(read_file(dir / "w/s1"), rows);
    EXPECT_EQ(read_file(dir / "w/s2"), rows);
    r = stsimport(dir, {"-o", "p", "plain.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "stsimport: plain.txt: delimited text: the bias column 'V' has no voltage "
                     "unit (''); give its unit with --bias-unit=V or mV\n");
    r = stsimport(dir, {"-o", "p", "--bias-unit", "mV", "--current-unit=pA", "plain.txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(dir / "p/s1"), "-100 -50\n100 25\n");
}

TEST(CommandLine, UsageErrorsAndHelp) {
    temp_dir dir;
    for (const auto& args : std::vector<std::vector<std::string>>{
             {}, {"--bogus", "x"}, {"-d", "sideways", "x"}, {"-c"}, {"--names=p", "x"},
             {"--bias-unit", "kV", "x"}, {"--start=-1", "x"}, {"--format=xls", "x"}}) {
        const auto r = stsimport(dir, args);
        EXPECT_EQ(r.status, 2) << (args.empty() ? "" : args[0]);
        EXPECT_NE(r.err.find("Try 'stsimport --help'"), std::string::npos);
    }
    // Values out of range are refused with the range, never moved into it;
    // an empty name is no request for the default.
    for (const auto& [arg, message] : std::vector<std::pair<std::string, std::string>>{
             {"--start=1000000001", "start must be a whole number from 0 to 1000000000, not "
                                    "'1000000001'"},
             {"--start= 5", "from 0 to 1000000000, not ' 5'"},
             {"--start=+5", "not '+5'"},
             {"--sweep=0", "sweep must be a sweep number from 1 to 999999, not '0'"},
             {"--sweep=1000000", "from 1 to 999999, not '1000000'"},
             {"--channel=", "channel needs a name"},
             {"--bias=", "bias needs a column name"},
             {"--current-gain=0", "current-gain must be the pre-amplifier's gain in V/A, above 0"},
             {"--current-gain=1e16", "at most 1e15 (like 1e9 for 1 V per nA), not '1e16'"}}) {
        const auto r = stsimport(dir, {arg, "x"});
        EXPECT_EQ(r.status, 2) << arg;
        EXPECT_NE(r.err.find(message), std::string::npos) << arg << ": " << r.err;
    }
    auto r = stsimport(dir, {"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage: stsimport [OPTION]... FILE...\n", 0), 0u);
    r = stsimport(dir, {"--version"});
    EXPECT_EQ(r.out, "stsimport 3.0\n");
}

TEST(Pipeline, GridToNormspecSeries) {
    temp_dir dir;
    std::vector<std::vector<std::vector<float>>> pixels;
    for (int p = 0; p < 2; ++p) {
        std::vector<float> current;
        for (int k = 0; k < 40; ++k) {
            const float v = -1.0f + 2.0f * (k + 0.5f) / 40.0f;
            current.push_back(1e-9f * std::sinh(2 * v) * (1 + p));
        }
        pixels.push_back({current});
    }
    write_file(dir / "g.3ds", grid(2, 1, 40, {"Current (A)"}, pixels, -0.975f, 0.975f));
    ASSERT_EQ(stsimport(dir, {"g.3ds"}).status, 0);
    testkit::run_options options;
    options.cwd = dir.path();
    options.input = "2\n";
    const auto r = testkit::run({NORMSPEC_BIN, "-l", "-n"}, options);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("s1: 40 data points read ..done\ns2: 40 data points read ..done\n"),
              std::string::npos)
        << r.out;
    // The raw normalised curve does not depend on the current's scale.
    EXPECT_EQ(read_file(dir / "stxt1raw.txt"), read_file(dir / "stxt2raw.txt"));
}

}  // namespace
