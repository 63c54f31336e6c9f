// Nanonis .sxm scan images: made-up files in every direction and byte
// order, refusals of damaged ones, the place of a position in a turned
// frame, and the real files against an independent decoder (sxm_decode.py).
#include "readers/nanonis_sxm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "readers/file_format.h"
#include "readers/frame_position.h"
#include "readers/import_option_parser.h"
#include "readers/read_spectra.h"
#include "testkit/instrument_files.h"
#include "testkit/testkit.h"

namespace {

// A value that names its place: channel, direction, column, row.
float marked(size_t c, bool backward, long ix, long iy) {
    return static_cast<float>(1000 * c + (backward ? 500 : 0) + 10 * iy + ix);
}

sts::sxm_scan read(const std::string& bytes) {
    sts::sxm_scan s;
    std::string error;
    EXPECT_TRUE(sts::read_nanonis_sxm(bytes, &s, &error)) << error;
    return s;
}

std::string refusal(const std::string& bytes) {
    sts::sxm_scan s;
    std::string error;
    EXPECT_FALSE(sts::read_nanonis_sxm(bytes, &s, &error));
    return error;
}

// Every pixel of every image where the instrument scanned it.
void expect_marked(const sts::sxm_scan& s, const testkit::nanonis_sxm_layout& l) {
    for (const auto& image : s.images)
        for (long iy = 0; iy < l.ny; ++iy)
            for (long ix = 0; ix < l.nx; ++ix)
                ASSERT_EQ(image.values[static_cast<size_t>(iy * l.nx + ix)],
                          marked(image.channel, image.backward, ix, iy))
                    << image.channel << image.backward << " " << ix << "," << iy;
}

TEST(NanonisSxm, FrameChannelsAndHeader) {
    testkit::nanonis_sxm_layout l;
    l.centre_x = -528.0251e-9;
    l.centre_y = 11.30423e-9;
    l.angle = 59;
    const sts::sxm_scan s = read(testkit::nanonis_sxm(l, marked));
    EXPECT_EQ(s.frame.nx, 4);
    EXPECT_EQ(s.frame.ny, 3);
    // strtod of the header's decimals, times 1e9.
    EXPECT_EQ(s.frame.frame.centre_x, -5.280251e-7 * 1e9);
    EXPECT_EQ(s.frame.frame.centre_y, 1.130423e-8 * 1e9);
    EXPECT_EQ(s.frame.frame.width, 2e-9 * 1e9);
    EXPECT_EQ(s.frame.frame.height, 1.5e-9 * 1e9);
    EXPECT_EQ(s.frame.frame.angle, 59.0);
    EXPECT_TRUE(s.scan_up);
    ASSERT_EQ(s.channels.size(), 2u);
    EXPECT_EQ(s.channels[1].name, "Current");
    EXPECT_EQ(s.channels[1].unit, "A");
    EXPECT_TRUE(s.channels[1].forward && s.channels[1].backward);
    EXPECT_EQ(s.channels[1].calibration, 1.0);
    ASSERT_EQ(s.images.size(), 4u);
    EXPECT_EQ(s.image(1, true), &s.images[3]);
    EXPECT_EQ(*s.value("SCAN_PIXELS"), "4       3");
    EXPECT_EQ(*s.value("COMMENT"), "made for a test\nof two lines");
    EXPECT_EQ(*s.value("Z-CONTROLLER"),
              "Name\ton\tSetpoint\tP-gain\tI-gain\tT-const\n"
              "log Current\t1\t5.000E-10 A\t4.000E-12 m\t2.222E-8 m/s\t1.800E-4 s");
    EXPECT_EQ(*s.value("Scan>lines"), "3");
    EXPECT_EQ(s.value("NO_SUCH_KEY"), nullptr);
    expect_marked(s, l);
}

TEST(NanonisSxm, ScanDirectionsAndOneWayChannels) {
    testkit::nanonis_sxm_layout l;
    l.nx = 5;
    l.ny = 2;
    l.channels = {{"Z", "m", "forward"}, {"Current", "A", "backward"}, {"Bias", "V", "both"}};
    for (bool up : {true, false}) {
        l.up = up;
        const sts::sxm_scan s = read(testkit::nanonis_sxm(l, marked));
        EXPECT_EQ(s.scan_up, up);
        ASSERT_EQ(s.images.size(), 4u);
        EXPECT_FALSE(s.images[0].backward);
        EXPECT_TRUE(s.images[1].backward);
        EXPECT_EQ(s.images[1].channel, 1u);
        EXPECT_EQ(s.image(0, true), nullptr);
        EXPECT_EQ(s.image(1, false), nullptr);
        expect_marked(s, l);
    }
    // The first bytes after the marker: forward Z, row 0 going up (its
    // first value 0), the top row going down (10 * 1 = 10).
    const std::string down = testkit::nanonis_sxm(l, marked);
    const std::string data = down.substr(testkit::nanonis_sxm_header(l).size(), 4);
    float first;
    const uint32_t bits = (uint32_t(uint8_t(data[0])) << 24) | (uint32_t(uint8_t(data[1])) << 16) |
                          (uint32_t(uint8_t(data[2])) << 8) | uint8_t(data[3]);
    std::memcpy(&first, &bits, 4);
    EXPECT_EQ(first, 10.0f);
}

TEST(NanonisSxm, LeastSignificantByteFirst) {
    testkit::nanonis_sxm_layout l;
    l.type = "FLOAT            LSBFIRST";
    std::string bytes = testkit::nanonis_sxm(l, marked);
    const size_t data = testkit::nanonis_sxm_header(l).size();
    for (size_t at = data; at + 4 <= bytes.size(); at += 4) {
        std::swap(bytes[at], bytes[at + 3]);
        std::swap(bytes[at + 1], bytes[at + 2]);
    }
    expect_marked(read(bytes), l);
    l.type = "INT            MSBFIRST";
    EXPECT_EQ(refusal(testkit::nanonis_sxm(l, marked)),
              "values of type \"INT            MSBFIRST\": only FLOAT (MSBFIRST or LSBFIRST) is "
              "read");
}

TEST(NanonisSxm, LengthMustMatchTheHeader) {
    const testkit::nanonis_sxm_layout l;
    const std::string whole = testkit::nanonis_sxm(l, marked);
    EXPECT_EQ(refusal(whole.substr(0, whole.size() - 1)),
              "the file is cut short: its header announces 4 images of 4 x 3 float32 values (192 "
              "bytes), and 191 bytes follow the header");
    EXPECT_EQ(refusal(whole + "abcd"),
              "196 bytes follow the header, more than its 4 images of 4 x 3 float32 values (192 "
              "bytes): the header does not describe the file");
    // A header asking for a terabyte of images is believed no further than
    // the file's length.
    testkit::nanonis_sxm_layout huge = l;
    huge.pixels = "       1000000       1000000";
    EXPECT_EQ(refusal(testkit::nanonis_sxm_header(huge) + std::string(64, '\0')).rfind(
                  "the file is cut short: its header announces 4 images of 1000000 x 1000000", 0),
              0u);
    huge.pixels = "       1000001       2";
    EXPECT_EQ(refusal(testkit::nanonis_sxm_header(huge)),
              "unreadable or implausible :SCAN_PIXELS: \"1000001       2\"");
    huge.pixels = "       -4       3";
    EXPECT_EQ(refusal(testkit::nanonis_sxm_header(huge)),
              "unreadable or implausible :SCAN_PIXELS: \"-4       3\"");
    const std::string head = testkit::nanonis_sxm_header(l);
    EXPECT_EQ(refusal(head.substr(0, head.size() - 2)), "the file ends before its images begin");
    EXPECT_EQ(refusal(head.substr(0, head.find(":SCANIT_END:"))),
              "the file ends inside its header (no :SCANIT_END:)");
    std::string no_marker = whole;
    no_marker[head.size() - 2] = 'x';
    EXPECT_EQ(refusal(no_marker), "no bytes 0x1A 0x04 after the header's :SCANIT_END:");
}

// The header's own contradictions and gaps.
TEST(NanonisSxm, DamagedHeaders) {
    testkit::nanonis_sxm_layout l;
    l.version = "1";
    EXPECT_EQ(refusal(testkit::nanonis_sxm(l, marked)),
              "a .sxm file of version 1: only version 2 is read");
    l.version = "2";
    l.channels = {{"Z", "m", "sideways"}};
    EXPECT_EQ(refusal(testkit::nanonis_sxm(l, marked)),
              "unreadable channel in :DATA_INFO: \"14\tZ\tm\tsideways\t1.000E+0\t0.000E+0\"");
    l.channels.clear();
    EXPECT_EQ(refusal(testkit::nanonis_sxm(l, marked)),
              "the header's :DATA_INFO: is no table of channels (Channel, Name, Unit, Direction, "
              "Calibration, Offset)");
    l.channels = {{"Z", "m"}};
    l.width = 0;
    EXPECT_EQ(refusal(testkit::nanonis_sxm(l, marked)), "the frame's :SCAN_RANGE: is not positive");
    l.width = 1e-9;
    std::string bytes = testkit::nanonis_sxm(l, marked);
    bytes.replace(bytes.find("\nup\n"), 4, "\nleft\n");
    EXPECT_EQ(refusal(bytes), "the :SCAN_DIR: is neither up nor down");
    bytes = testkit::nanonis_sxm(l, marked);
    bytes.replace(bytes.find(":SCAN_ANGLE:"), 12, ":SCAN_TILT::");
    EXPECT_EQ(refusal(bytes), "the header has no :SCAN_ANGLE:");
    EXPECT_EQ(refusal("not an image"),
              "not a Nanonis scan (.sxm): it does not begin with :NANONIS_VERSION:");
    EXPECT_EQ(refusal(""), "not a Nanonis scan (.sxm): it does not begin with :NANONIS_VERSION:");
}

TEST(NanonisSxm, AllNaNIsAnAbortedScan) {
    const testkit::nanonis_sxm_layout l;
    EXPECT_EQ(refusal(testkit::nanonis_sxm(l, [](size_t, bool, long, long) { return NAN; })),
              "the scan holds no measured value: every value is NaN (was it aborted before its "
              "first line?)");
    // One measured value is a scan (the rest NaN: lines not reached).
    const sts::sxm_scan s = read(testkit::nanonis_sxm(
        l, [](size_t c, bool b, long ix, long iy) { return c == 1 && b && ix + iy == 0 ? 1.0f : NAN; }));
    EXPECT_EQ(s.images[3].values[0], 1.0f);
    EXPECT_TRUE(std::isnan(s.images[3].values[1]));
}

// The spectrum readers refuse an image as before its format had a name,
// whatever options they are given.
TEST(NanonisSxm, FoundButNoSpectrum) {
    const std::string bytes = testkit::nanonis_sxm(testkit::nanonis_sxm_layout{}, marked);
    EXPECT_EQ(sts::detect_format(bytes), sts::file_format::nanonis_sxm);
    EXPECT_STREQ(sts::format_name(sts::file_format::nanonis_sxm), "sxm");
    sts::file_format f = sts::file_format::unknown;
    ASSERT_TRUE(sts::format_from_name("sxm", &f));
    EXPECT_EQ(f, sts::file_format::nanonis_sxm);
    EXPECT_NE(sts::detect_format("\xef\xbb\xbf" + bytes), sts::file_format::nanonis_sxm);
    // Text that passed for a spectrum format keeps it.
    EXPECT_EQ(sts::detect_format(":NANONIS_VERSION:\n2\n\n[DATA]\nBias (V)\tCurrent (A)\n"),
              sts::file_format::nanonis_dat);
    EXPECT_EQ(sts::detect_format(":NANONIS_VERSION:,2\n1,2\n"), sts::file_format::delimited_text);
    for (int options = 0; options < 3; ++options) {
        sts::import_options o;
        if (options == 1) o.signal_channel = "LI Demod 1 X (A)";
        if (options == 2) o.sweep = 2;
        std::vector<sts::imported_spectrum> out;
        std::string error, warning;
        EXPECT_FALSE(sts::read_spectra("a.sxm", bytes, o, &out, &error, &warning));
        EXPECT_EQ(error, "a Nanonis image (.sxm), not a spectrum") << options;
        EXPECT_TRUE(out.empty());
    }
    // -f sxm is no format to read spectra as.
    const char* argv[] = {"stsimport", "-f", "sxm"};
    int i = 1;
    sts::import_options o;
    std::string error;
    EXPECT_EQ(sts::take_import_option(3, const_cast<char* const*>(argv), &i, &o, &error),
              sts::option_take::bad);
    EXPECT_EQ(error, "format must be auto, dat, 3ds, csv, vert, mtrx, omicron-text, sm4 or pairs");
    EXPECT_EQ(o.format, sts::file_format::automatic);
}

// A frame 4 x 2 nm of 8 x 4 pixels about (10, 20) nm, turned 30 degrees
// clockwise: its x axis (cos, -sin), its y axis (sin, cos).
sts::sxm_frame turned_frame() {
    sts::sxm_frame f;
    f.frame = {10, 20, 4, 2, 30};
    f.nx = 8;
    f.ny = 4;
    return f;
}

TEST(FramePosition, TurnedFrame) {
    const sts::sxm_frame f = turned_frame();
    const double c = std::cos(M_PI / 6), s = std::sin(M_PI / 6);
    // 1.3 nm along the frame's x axis and -0.6 nm along its y axis.
    const double x = 10 + 1.3 * c - 0.6 * s, y = 20 - 1.3 * s - 0.6 * c;
    const sts::frame_place p = sts::place_in_frame(f, x * 1e-9, y * 1e-9);
    EXPECT_NEAR(p.u, 1.3, 1e-12);
    EXPECT_NEAR(p.v, -0.6, 1e-12);
    EXPECT_TRUE(p.inside);
    // 2 + 1.3 = 3.3 nm from the left edge in pixels of 0.5 nm: pixel 6;
    // 1 - 0.6 = 0.4 nm from the bottom: pixel 0.
    EXPECT_EQ(p.ix, 6);
    EXPECT_EQ(p.iy, 0);
    // The centre is the corner of four pixels: (4, 2).
    const sts::frame_place centre = sts::place_in_frame(f, 10e-9, 20e-9);
    EXPECT_EQ(centre.u, 0.0);
    EXPECT_EQ(centre.ix, 4);
    EXPECT_EQ(centre.iy, 2);
    // 2.2 nm along x is past the right edge (2 nm), though not 2.2 nm east.
    const sts::frame_place out = sts::place_in_frame(f, (10 + 2.2 * c) * 1e-9, (20 - 2.2 * s) * 1e-9);
    EXPECT_FALSE(out.inside);
    EXPECT_EQ(out.ix, -1);
    EXPECT_NEAR(out.u, 2.2, 1e-12);
    // Unturned, the far edges belong to the last pixels.
    sts::sxm_frame plain = f;
    plain.frame.angle = 0;
    const sts::frame_place corner = sts::place_in_frame(plain, 12e-9, 21e-9);
    EXPECT_TRUE(corner.inside);
    EXPECT_EQ(corner.ix, 7);
    EXPECT_EQ(corner.iy, 3);
}

TEST(FramePosition, BilinearSample) {
    const sts::sxm_frame f = turned_frame();
    sts::sxm_image image;
    image.values.resize(32);
    for (long iy = 0; iy < 4; ++iy)
        for (long ix = 0; ix < 8; ++ix) image.values[static_cast<size_t>(iy * 8 + ix)] = float(ix + 10 * iy);
    double v = 0;
    // Pixel centres: (ix + 1/2) * 0.5 - 2 along x, (iy + 1/2) * 0.5 - 1 along y.
    ASSERT_TRUE(sts::sample_image(f, image, -1.25, -0.75, &v));  // centre (1, 0)
    EXPECT_DOUBLE_EQ(v, 1.0);
    // A quarter of the way from centre (2, 1) to (3, 1), half-way up to (2, 2).
    ASSERT_TRUE(sts::sample_image(f, image, -0.75 + 0.125, -0.25 + 0.25, &v));
    EXPECT_DOUBLE_EQ(v, 2.25 + 15);
    // Between the last centre and the edge: the edge pixel's value.
    ASSERT_TRUE(sts::sample_image(f, image, 2.0, 1.0, &v));
    EXPECT_DOUBLE_EQ(v, 37.0);
    EXPECT_FALSE(sts::sample_image(f, image, 2.01, 0, &v));
    EXPECT_FALSE(sts::sample_image(f, image, 0, -1.01, &v));
    image.values[0] = NAN;
    ASSERT_TRUE(sts::sample_image(f, image, -2, -1, &v));
    EXPECT_TRUE(std::isnan(v));
    image.values.pop_back();
    EXPECT_FALSE(sts::sample_image(f, image, 0, 0, &v));
}

// ---- the real files --------------------------------------------------

std::string real_file(const char* name) {
    const std::string dir = testkit::realdata_dir();
    if (dir.empty()) return "";
    return dir + "/raw/" + name;
}

struct decoded {
    std::vector<std::string> frame;      // nx, ny, cx, cy, w, h, angle, direction
    std::vector<std::vector<std::string>> channels;
    size_t images = 0;
    bool empty = false;
    std::string values;                  // little-endian float32, as the reader's
};

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> f;
    std::stringstream in(line);
    std::string field;
    while (std::getline(in, field, '\t')) f.push_back(field);
    return f;
}

decoded decode(const std::string& path) {
    testkit::temp_dir dir;
    const auto r = testkit::run({"/usr/bin/python3", SXM_DECODER, path, dir / "images"});
    EXPECT_EQ(r.status, 0) << r.err;
    decoded d;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        const std::vector<std::string> f = fields(line);
        if (f[0] == "frame") d.frame.assign(f.begin() + 1, f.end());
        if (f[0] == "channel") d.channels.emplace_back(f.begin() + 1, f.end());
        d.images += f[0] == "image" ? 1 : 0;
        d.empty = d.empty || f[0] == "empty";
    }
    if (!d.empty) d.values = testkit::read_file(dir / "images");
    return d;
}

std::string repr(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

void expect_as_decoded(const sts::sxm_scan& s, const decoded& d, const std::string& name) {
    ASSERT_EQ(d.frame.size(), 8u) << name;
    EXPECT_EQ(std::to_string(s.frame.nx), d.frame[0]);
    EXPECT_EQ(std::to_string(s.frame.ny), d.frame[1]);
    const double from_python[] = {std::stod(d.frame[2]), std::stod(d.frame[3]), std::stod(d.frame[4]),
                                  std::stod(d.frame[5]), std::stod(d.frame[6])};
    const sts::grid_frame& f = s.frame.frame;
    const double ours[] = {f.centre_x, f.centre_y, f.width, f.height, f.angle};
    for (int k = 0; k < 5; ++k) EXPECT_EQ(repr(ours[k]), repr(from_python[k])) << name << k;
    EXPECT_EQ(s.scan_up ? "up" : "down", d.frame[7]);
    ASSERT_EQ(s.channels.size(), d.channels.size());
    for (size_t c = 0; c < s.channels.size(); ++c) {
        EXPECT_EQ(s.channels[c].name, d.channels[c][0]);
        EXPECT_EQ(s.channels[c].unit, d.channels[c][1]);
        const std::string way = s.channels[c].forward && s.channels[c].backward ? "both"
                                : s.channels[c].forward                         ? "forward"
                                                                                : "backward";
        EXPECT_EQ(way, d.channels[c][2]);
    }
    ASSERT_EQ(s.images.size(), d.images) << name;
    std::string ours_bytes;
    for (const auto& image : s.images)
        ours_bytes.append(reinterpret_cast<const char*>(image.values.data()), 4 * image.values.size());
    // Bit for bit (the machine is little-endian, as the decoder's output).
    ASSERT_EQ(ours_bytes.size(), d.values.size()) << name;
    EXPECT_TRUE(ours_bytes == d.values) << name;
}

// The correlation of the forward image with the backward one as read
// (mirrored back along x), or as stored (mirror), each line levelled: the
// real files bear the mirroring out, the images as read agreeing far
// better (0.5 to 0.99 against -0.45 to 0.4).
double correlation(const sts::sxm_scan& s, size_t channel, bool mirror) {
    const sts::sxm_image& a = *s.image(channel, false);
    const sts::sxm_image& b = *s.image(channel, true);
    const long nx = s.frame.nx, ny = s.frame.ny;
    std::vector<double> p, q;
    for (long iy = 0; iy < ny; ++iy) {
        double ma = 0, mb = 0;
        for (long ix = 0; ix < nx; ++ix) {
            ma += a.values[static_cast<size_t>(iy * nx + ix)] / double(nx);
            mb += b.values[static_cast<size_t>(iy * nx + ix)] / double(nx);
        }
        for (long ix = 0; ix < nx; ++ix) {
            p.push_back(a.values[static_cast<size_t>(iy * nx + ix)] - ma);
            q.push_back(b.values[static_cast<size_t>(iy * nx + (mirror ? nx - 1 - ix : ix))] - mb);
        }
    }
    double pq = 0, pp = 0, qq = 0;
    for (size_t k = 0; k < p.size(); ++k) {
        pq += p[k] * q[k];
        pp += p[k] * p[k];
        qq += q[k] * q[k];
    }
    return pq / std::sqrt(pp * qq);
}

TEST(NanonisSxmReal, EveryFileAsTheDecoderReadsIt) {
    if (testkit::realdata_dir().empty()) GTEST_SKIP() << testkit::no_realdata;
    struct expected {
        const char* name;
        long nx, ny;
        double angle;
        bool up;
        size_t channels;
        size_t mirrored;  // the channel to check the mirroring with
    };
    // Z, except where the Z controller was off (Au-CO: Current).
    const expected files[] = {{"nanonis_sxm_si7x7_051.sxm", 256, 256, 0, false, 2, 0},
                              {"nanonis_sxm_fese_45deg.sxm", 224, 224, 45, false, 4, 0},
                              {"nanonis_sxm_au_co_59deg.sxm", 96, 192, 59, true, 9, 4},
                              {"nanonis2023_STM_generic_4_5.sxm", 256, 256, 0, false, 2, 0}};
    for (const auto& e : files) {
        const std::string path = real_file(e.name);
        std::string error;
        std::unique_ptr<sts::file_source> file = sts::file_source::open(path, &error);
        ASSERT_TRUE(file) << error;
        sts::sxm_scan s;
        ASSERT_TRUE(sts::read_nanonis_sxm(*file, &s, &error)) << e.name << ": " << error;
        EXPECT_EQ(s.frame.nx, e.nx) << e.name;
        EXPECT_EQ(s.frame.ny, e.ny) << e.name;
        EXPECT_EQ(s.frame.frame.angle, e.angle) << e.name;
        EXPECT_EQ(s.scan_up, e.up) << e.name;
        EXPECT_EQ(s.channels.size(), e.channels) << e.name;
        EXPECT_EQ(s.images.size(), 2 * e.channels) << e.name;
        expect_as_decoded(s, decode(path), e.name);
        EXPECT_GT(correlation(s, e.mirrored, false), correlation(s, e.mirrored, true) + 0.5)
            << e.name;
        EXPECT_EQ(sts::detect_format(testkit::read_file(path)), sts::file_format::nanonis_sxm);
    }
}

TEST(NanonisSxmReal, AbortedScanIsRefused) {
    if (testkit::realdata_dir().empty()) GTEST_SKIP() << testkit::no_realdata;
    const std::string path = real_file("nanonis_sxm_empty_aborted.sxm");
    EXPECT_TRUE(decode(path).empty);
    EXPECT_EQ(refusal(testkit::read_file(path)),
              "the scan holds no measured value: every value is NaN (was it aborted before its "
              "first line?)");
}

// The .dat header's "X (m)" or "Y (m)".
double dat_position(const std::string& text, const std::string& key) {
    const size_t at = text.find("\n" + key + "\t");
    EXPECT_NE(at, std::string::npos) << key;
    return std::stod(text.substr(at + key.size() + 2));
}

TEST(NanonisSxmReal, PointSpectrumOnItsScan) {
    if (testkit::realdata_dir().empty()) GTEST_SKIP() << testkit::no_realdata;
    const sts::sxm_scan s = read(testkit::read_file(real_file("nanonis2023_STM_generic_4_5.sxm")));
    const std::string dat = testkit::read_file(real_file("nanonis2023_STS_generic_4_5.dat"));
    const double x = dat_position(dat, "X (m)"), y = dat_position(dat, "Y (m)");
    EXPECT_EQ(x, -528.284e-9);
    EXPECT_EQ(y, 9.34745e-9);
    const sts::frame_place p = sts::place_in_frame(s.frame, x, y);
    // From the centre (-528.0251, 11.30423) nm: (-0.2589, -1.95678) nm, at
    // 0 degrees; pixels of 4 / 256 nm: (2 - 0.2589) * 64 = 111.43 along a
    // line, (2 - 1.95678) * 64 = 2.77 up the frame.
    EXPECT_NEAR(p.u, -0.2589, 1e-9);
    EXPECT_NEAR(p.v, -1.95678, 1e-9);
    EXPECT_TRUE(p.inside);
    EXPECT_EQ(p.ix, 111);
    EXPECT_EQ(p.iy, 2);
    double z = 0;
    ASSERT_TRUE(sts::sample_image(s.frame, *s.image(0, false), p.u, p.v, &z));
    // Among the four pixels around it, (110..111, 2..3) from the centres.
    const std::vector<float>& image = s.image(0, false)->values;
    double lo = INFINITY, hi = -INFINITY;
    for (long iy : {2, 3})
        for (long ix : {110, 111}) {
            lo = std::min(lo, double(image[static_cast<size_t>(iy * 256 + ix)]));
            hi = std::max(hi, double(image[static_cast<size_t>(iy * 256 + ix)]));
        }
    EXPECT_GE(z, lo);
    EXPECT_LE(z, hi);
}

}  // namespace
