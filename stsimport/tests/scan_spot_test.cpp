// stsimport --scan: where a point spectrum sits on the scan image it was
// taken on, worked by hand for a made pair (a frame turned by 30 degrees)
// and for the real pair of 2023; refused outside the frame or without a
// recorded position, nothing written then.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testkit/instrument_files.h"
#include "testkit/testkit.h"
#include "stsimport/tests/run_stsimport.h"

namespace {

using testkit::file_exists;
using testkit::read_file;
using testkit::temp_dir;
using testkit::write_file;

using stsimport_tests::stsimport;

// A spectrum recorded at (x, y) nm.
std::string dat_at(double x_nm, double y_nm) {
    char x[40], y[40];
    std::snprintf(x, sizeof x, "%.9E", x_nm * 1e-9);
    std::snprintf(y, sizeof y, "%.9E", y_nm * 1e-9);
    return testkit::nanonis_dat({false,
                                 {{"Experiment", "bias spectroscopy"}, {"X (m)", x}, {"Y (m)", y},
                                  {"Z (m)", "1.2E-9"}},
                                 {"Bias calc (V)", "Current (A)"},
                                 {{"-1E-1", "-1E-10"}, {"0E+0", "0E+0"}, {"1E-1", "1E-10"}},
                                 false});
}

// 64 x 48 pixels over 8 x 6 nm about (10, -5) nm, turned by 30 degrees.
std::string turned_scan() {
    testkit::nanonis_sxm_layout s;
    s.nx = 64;
    s.ny = 48;
    s.width = 8e-9;
    s.height = 6e-9;
    s.centre_x = 10e-9;
    s.centre_y = -5e-9;
    s.angle = 30;
    return testkit::nanonis_sxm(s, [](size_t, bool, long ix, long iy) {
        return static_cast<float>(1e-10 * static_cast<double>(ix + iy));
    });
}

// The place (2.1, 4.5) nm from the frame's lower left corner along its
// axes (cos 30, -sin 30) and (sin 30, cos 30), in the instrument's axes.
void turned_place(double* x, double* y) {
    const double u = 2.1 - 4, v = 4.5 - 3, c = std::sqrt(3.0) / 2, s = 0.5;
    *x = 10 + u * c + v * s;
    *y = -5 - u * s + v * c;
}

TEST(ScanSpot, TheSpectrumsPixelAndPlaceOnATurnedScan) {
    temp_dir dir;
    double x = 0, y = 0;
    turned_place(&x, &y);
    write_file(dir / "p.dat", dat_at(x, y));
    write_file(dir / "s.sxm", turned_scan());
    const auto r = stsimport(dir, {"-o", "out", "--scan=s.sxm", "p.dat"});
    ASSERT_EQ(r.status, 0) << r.err;
    // 2.1 / 8 * 64 = 16.8 and 4.5 / 6 * 48 = 36: pixel (16, 36).
    EXPECT_NE(r.out.find("p.dat sits on s.sxm at pixel (16, 36) of 64 x 48, (2.100, 4.500) nm "
                         "from its frame's lower left corner"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(read_file(dir / "out/stsimport-index.tsv"),
              "output\tsource\tpixel_x\tpixel_y\tsweep\tdirection\tscan_column\tscan_row\t"
              "scan_x_nm\tscan_y_nm\ns1\tp.dat\t-\t-\t-\tfwd\t16\t36\t2.1000\t4.5000\n");
    // Without --scan the index is as it always was.
    const auto plain = stsimport(dir, {"-o", "plain", "p.dat"});
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(read_file(dir / "plain/stsimport-index.tsv"),
              "output\tsource\tpixel_x\tpixel_y\tsweep\tdirection\ns1\tp.dat\t-\t-\t-\tfwd\n");
    EXPECT_EQ(plain.out, "imported 1 spectrum from p.dat into plain/s1\n");
    // Adding to a folder (--force): the rows kept take this index's columns.
    ASSERT_EQ(stsimport(dir, {"-o", "plain", "--force", "--start=2", "--scan=s.sxm", "p.dat"}).status, 0);
    EXPECT_EQ(read_file(dir / "plain/stsimport-index.tsv"),
              "output\tsource\tpixel_x\tpixel_y\tsweep\tdirection\tscan_column\tscan_row\t"
              "scan_x_nm\tscan_y_nm\ns1\tp.dat\t-\t-\t-\tfwd\t-\t-\t-\t-\n"
              "s2\tp.dat\t-\t-\t-\tfwd\t16\t36\t2.1000\t4.5000\n");
    ASSERT_EQ(stsimport(dir, {"-o", "plain", "--force", "--start=3", "p.dat"}).status, 0);
    EXPECT_EQ(read_file(dir / "plain/stsimport-index.tsv"),
              "output\tsource\tpixel_x\tpixel_y\tsweep\tdirection\n"
              "s1\tp.dat\t-\t-\t-\tfwd\ns2\tp.dat\t-\t-\t-\tfwd\ns3\tp.dat\t-\t-\t-\tfwd\n");
}

TEST(ScanSpot, OutsideTheFrameOrWithoutAPositionNothingIsWritten) {
    temp_dir dir;
    double x = 0, y = 0;
    turned_place(&x, &y);
    write_file(dir / "in.dat", dat_at(x, y));
    // (14.2, -1.5) nm: 5.1 nm up the turned frame from its centre, beyond
    // its half height of 3 nm.
    write_file(dir / "out.dat", dat_at(10 + 4.2, -5 + 3.5));
    write_file(dir / "s.sxm", turned_scan());
    write_file(dir / "pairs.txt", "-0.1 -1e-10\n0 0\n0.1 1e-10\n");
    const auto r = stsimport(dir, {"-o", "o", "--scan=s.sxm", "in.dat", "out.dat"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("out.dat on s.sxm: the spectrum, taken at (14.2, -1.5) nm, lies outside "
                         "the scan's frame (centre (10, -5) nm, 8 x 6 nm, angle 30 degrees)"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(file_exists(dir / "o/s1"));
    const auto none = stsimport(dir, {"-o", "o", "--scan=s.sxm", "pairs.txt"});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("pairs.txt on s.sxm: the file records no tip position"),
              std::string::npos)
        << none.err;
    const auto bad = stsimport(dir, {"-o", "o", "--scan=in.dat", "in.dat"});
    EXPECT_EQ(bad.status, 1) << bad.err;
    EXPECT_FALSE(file_exists(dir / "o/s1"));
}

// The real pair: the spectrum 1.741 nm from the scan's left edge and
// 0.043 nm above its bottom ("X (m)" -528.284 nm, "Y (m)" 9.34745 nm; the
// scan's 4 nm frame about (-528.025, 11.3042) nm): pixel (111, 2) of 256.
TEST(ScanSpot, TheRealSpectrumOnItsScan) {
    const std::string data = testkit::realdata_dir();
    if (data.empty()) GTEST_SKIP() << testkit::no_realdata;
    temp_dir dir;
    const auto r = stsimport(dir, {"-o", "o", "--scan=" + data + "/raw/nanonis2023_STM_generic_4_5.sxm",
                                   data + "/raw/nanonis2023_STS_generic_4_5.dat"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string index = read_file(dir / "o/stsimport-index.tsv");
    EXPECT_NE(index.find("\tfwd\t111\t2\t1.74"), std::string::npos) << index;
    const auto far = stsimport(dir, {"-o", "f", "--scan=" + data + "/raw/nanonis_sxm_si7x7_051.sxm",
                                     data + "/raw/nanonis2023_STS_generic_4_5.dat"});
    EXPECT_EQ(far.status, 1);
    EXPECT_NE(far.err.find("lies outside the scan's frame (centre (0, 0) nm, 20 x 20 nm"),
              std::string::npos)
        << far.err;
}

}  // namespace
