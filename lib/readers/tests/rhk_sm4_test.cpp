// RHK .sm4 files: sweeps and positions of made-up files, the raster of a
// map, refusals of what holds no bias spectroscopy or is damaged, and the
// three real files against an independent decoder (rhk_sm4_decode.py).
#include "readers/rhk_sm4.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "readers/file_format.h"
#include "readers/read_spectra.h"
#include "readers/rhk_sm4_pages.h"
#include "testkit/sm4_file.h"
#include "testkit/testkit.h"

namespace {

using testkit::sm4_made_page;

// Two positions 2 nm apart, two sweeps at each; values raw / 4 + 0.5 A.
sm4_made_page two_positions() {
    sm4_made_page p;
    p.z_scale = 0.25f;
    p.z_offset = 0.5f;
    p.raw = {{4, 8, -4}, {0, 12, -8}, {16, 4, 0}, {-16, 0, 4}};
    p.positions = {{1e-9f, 2e-9f}, {1e-9f, 2e-9f}, {3e-9f, 2e-9f}, {3e-9f, 2e-9f}};
    return p;
}

sts::import_options in_amperes() {
    sts::import_options o;
    o.current_scale = 1.0;
    return o;
}

sts::sm4_spectra read(const std::string& bytes, const sts::import_options& o) {
    sts::sm4_spectra s;
    std::string error;
    EXPECT_TRUE(sts::read_sm4_spectra("a.sm4", bytes, o, &s, &error)) << error;
    return s;
}

std::string refusal(const std::string& bytes, const sts::import_options& o = {}) {
    sts::sm4_spectra s;
    std::string error;
    EXPECT_FALSE(sts::read_sm4_spectra("a.sm4", bytes, o, &s, &error));
    return error;
}

TEST(RhkSm4, SweepsPositionsAndUnits) {
    const std::string file = testkit::sm4_file({two_positions()});
    sts::sm4_spectra s = read(file, in_amperes());
    // The bias axis from the shortest decimals 0.6 and -0.6 of the float32s.
    ASSERT_EQ(s.spectra.size(), 2u);
    EXPECT_EQ(s.spectra[0].bias, (std::vector<double>{0.6, 0.0, -0.6}));
    // The mean of each position's two sweeps: (1.5 + 0.5) / 2, ...
    EXPECT_EQ(s.spectra[0].current, (std::vector<double>{1.0, 3.0, -1.0}));
    EXPECT_EQ(s.spectra[1].current, (std::vector<double>{0.5, 1.0, 1.0}));
    EXPECT_EQ(s.spectra[1].pixel_x, 1);
    EXPECT_EQ(s.spectra[1].pixel_y, 0);
    EXPECT_EQ(s.spectra[1].sweep, "");
    EXPECT_EQ(s.spectra[1].direction, "fwd");
    EXPECT_EQ(s.spectra[1].source, "a.sm4");
    EXPECT_EQ(s.nx, 2);
    EXPECT_EQ(s.ny, 1);
    EXPECT_TRUE(s.raster);
    EXPECT_NEAR(s.step_x, 2.0, 1e-6);
    EXPECT_NEAR(s.x_nm[1], 3.0, 1e-6);
    EXPECT_NEAR(s.y_nm[1], 2.0, 1e-6);
    sts::import_options o = in_amperes();
    o.each_sweep = true;
    o.current_scale = 1e12;  // pA
    s = read(file, o);
    ASSERT_EQ(s.spectra.size(), 4u);
    EXPECT_EQ(s.per_position, 2u);
    EXPECT_EQ(s.spectra[2].sweep, "1");
    EXPECT_EQ(s.spectra[3].sweep, "2");
    EXPECT_EQ(s.spectra[3].current, (std::vector<double>{-3.5e12, 0.5e12, 1.5e12}));
    // Nothing in the file is a backward sweep.
    o.dir = sts::direction::backward;
    EXPECT_EQ(refusal(file, o), "no backward sweep of channel 'Current'");
    o.dir = sts::direction::mean;
    EXPECT_EQ(refusal(file, o),
              "channel 'Current' needs both a forward and a backward sweep for their mean");
}

TEST(RhkSm4, ChannelsArePages) {
    sm4_made_page lockin = two_positions(), current = two_positions();
    lockin.label = "LIA Current";
    current.z_unit = "pA";
    const std::string file = testkit::sm4_file({lockin, current});
    sts::import_options o = in_amperes();
    const std::vector<double> in_pA = read(file, o).spectra[0].current;
    ASSERT_EQ(in_pA.size(), 3u);
    EXPECT_NEAR(in_pA[1], 3e-12, 1e-27);
    o.channel = "lia current";
    EXPECT_EQ(read(file, o).spectra[0].current, (std::vector<double>{1.0, 3.0, -1.0}));
    o.channel = "dI/dV";
    EXPECT_EQ(refusal(file, o),
              "no channel 'dI/dV' (the spectral pages are \"LIA Current\", "
              "\"Current\"; choose one with -c)");
    o.channel = "Current";
    o.bias_channel = "Bias";
    EXPECT_EQ(refusal(file, o), "no bias column 'Bias' (columns: Voltage, Current, Current)");
    // Strings are UTF-16: a micro sign and a letter beyond 16 bits.
    current.z_unit = "\u00b5A";
    current.label = "I \U0001D49C";
    o.bias_channel.clear();
    o.channel = current.label;
    const std::vector<double> in_uA = read(testkit::sm4_file({current}), o).spectra[0].current;
    ASSERT_EQ(in_uA.size(), 3u);
    EXPECT_NEAR(in_uA[1], 3e-6, 1e-21);
    current.label = "Current";
    current.z_unit = "V";
    EXPECT_EQ(refusal(testkit::sm4_file({current})),
              "channel 'Current' is in 'V', not a current unit; if it is a pre-amplifier's "
              "output, give the gain with --current-gain=V/A (1e9 for 1 V per nA)");
    // A page in volts behind a 1e9 V/A pre-amplifier: 3 V is 3 nA.
    sts::import_options gained = in_amperes();
    gained.current_gain = 1e9;
    const std::vector<double> in_volts =
        read(testkit::sm4_file({current}), gained).spectra[0].current;
    ASSERT_EQ(in_volts.size(), 3u);
    EXPECT_NEAR(in_volts[1], 3e-9, 1e-24);
    EXPECT_EQ(refusal(testkit::sm4_file({current, current})),
              "2 spectral pages are labelled \"Current\"; reading one of several is not "
              "supported");
}

// Positions 2 x 3 on axes turned by 30 degrees, 0.5 nm apart.
std::vector<std::pair<float, float>> turned_raster() {
    const double c = std::cos(M_PI / 6), s = std::sin(M_PI / 6);
    std::vector<std::pair<float, float>> at;
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 2; ++i)
            at.emplace_back(static_cast<float>((i * c - j * s) * 0.5e-9),
                            static_cast<float>((i * s + j * c) * 0.5e-9));
    return at;
}

TEST(RhkSm4, RasterFromTheHeadersGrid) {
    sm4_made_page map;
    map.page_type = 16;
    map.grid_x = 2;
    map.grid_y = 3;
    map.positions = turned_raster();
    map.raw.assign(6, {1, 2, 3});
    sts::sm4_spectra s = read(testkit::sm4_file({map}), {});
    EXPECT_EQ(s.nx, 2);
    EXPECT_EQ(s.ny, 3);
    EXPECT_TRUE(s.raster);
    EXPECT_NEAR(s.step_x, 0.5, 1e-6);
    EXPECT_NEAR(s.step_y, 0.5, 1e-6);
    EXPECT_EQ(s.spectra[5].pixel_x, 1);
    EXPECT_EQ(s.spectra[5].pixel_y, 2);
    // A position 5 % of a step off the raster: a line of six, not evenly spaced.
    map.positions[3].first += 0.025e-9f;
    s = read(testkit::sm4_file({map}), {});
    EXPECT_EQ(s.nx, 6);
    EXPECT_EQ(s.ny, 1);
    EXPECT_FALSE(s.raster);
    EXPECT_EQ(s.spectra[5].pixel_x, 5);
    // A grid the positions do not fill; a page without positions.
    map.positions = turned_raster();
    map.grid_y = 4;
    EXPECT_EQ(read(testkit::sm4_file({map}), {}).nx, 6);
    map.positions.clear();
    s = read(testkit::sm4_file({map}), {});
    EXPECT_EQ(s.nx, 6);
    EXPECT_FALSE(s.raster);
    EXPECT_TRUE(std::isnan(s.x_nm[0]));
    // One position: a point spectrum, no pixel.
    map.raw.resize(1);
    EXPECT_EQ(read(testkit::sm4_file({map}), {}).spectra[0].pixel_x, -1);
}

TEST(RhkSm4, PagesWithoutBiasSpectroscopySayWhatTheyAre) {
    sm4_made_page image, iz, labelled_iv;
    image.data_type = 0;
    image.page_type = 1;
    image.line_type = 0;
    image.label = "Topography";
    image.x_unit = "m";
    image.raw = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
    iz.page_type = 18;
    iz.line_type = 8;
    iz.x_unit = "m";
    iz.raw = {{1, 2, 3}};
    labelled_iv = iz;
    labelled_iv.label = "IV";
    labelled_iv.page_type = 10;  // an I(V) page type, yet I(z) spectra over z
    const std::string file = testkit::sm4_file({image, image, iz, labelled_iv});
    EXPECT_EQ(refusal(file),
              "an RHK .sm4 file without spectral pages (4 pages: 2 images, "
              "2 I(z) spectra)");
    std::vector<sts::imported_spectrum> out;
    std::string error, warning;
    EXPECT_FALSE(sts::read_spectra("a.sm4", file, {}, &out, &error, &warning));
    EXPECT_EQ(error, refusal(file));
    // Beside them an I(V) page is read, and only it.
    ASSERT_TRUE(sts::read_spectra("a.sm4", testkit::sm4_file({image, iz, two_positions()}), {},
                                  &out, &error, &warning))
        << error;
    EXPECT_EQ(out.size(), 2u);
    // A sequential page's header is of another layout: counted, not read.
    sm4_made_page sequential = image;
    sequential.data_type = 6;
    EXPECT_EQ(refusal(testkit::sm4_file({sequential, image})),
              "an RHK .sm4 file without spectral pages (2 pages: 1 page of sequential data, "
              "1 image)");
    sm4_made_page over_time = two_positions();
    over_time.x_unit = "s";
    EXPECT_EQ(refusal(testkit::sm4_file({over_time})),
              "an RHK .sm4 file without spectral pages (1 page: 1 I(V) spectra over 's')");
}

TEST(RhkSm4, FoundByItsSignatureBeforeAnyText) {
    const std::string file = testkit::sm4_file({two_positions()});
    EXPECT_EQ(sts::detect_format(file), sts::file_format::rhk_sm4);
    EXPECT_STREQ(sts::format_name(sts::file_format::rhk_sm4), "sm4");
    sts::file_format f = sts::file_format::automatic;
    ASSERT_TRUE(sts::format_from_name("sm4", &f));
    EXPECT_EQ(f, sts::file_format::rhk_sm4);
    // Text inside the binary never decides: values whose bytes read
    // "\n[DATA]\n" (a Nanonis .dat's data line) are only values.
    sm4_made_page p = two_positions();
    p.raw[0] = {0x41445B0A, 0x0A5D4154, 0};
    const std::string with_text = testkit::sm4_file({p});
    ASSERT_NE(with_text.find("\n[DATA]\n"), std::string::npos);
    EXPECT_EQ(sts::detect_format(with_text), sts::file_format::rhk_sm4);
    // Another version is refused by name; another signature is not RHK.
    std::string other = file;
    other[2 + 2 * 10] = '4';  // "STiMage 004."
    EXPECT_EQ(sts::detect_format(other), sts::file_format::rhk_sm4);
    EXPECT_EQ(refusal(other),
              "an RHK file of version \"STiMage 004.006 1\", not read (only .sm4 files, "
              "\"STiMage 005\")");
    other[2] = 's';
    EXPECT_NE(sts::detect_format(other), sts::file_format::rhk_sm4);
    EXPECT_EQ(refusal(other), "not an RHK .sm4 file (no \"STiMage\" signature)");
    EXPECT_EQ(refusal(file.substr(0, 40)),
              "the RHK .sm4 file is cut short (its file header runs past its end)");
}

TEST(RhkSm4, CutShortOrDamagedFilesGiveAReason) {
    sm4_made_page image;
    image.data_type = 0;
    image.raw = {{1, 2, 3}};
    const std::string file = testkit::sm4_file({image, two_positions()});
    for (size_t size = 0; size < file.size(); ++size) {
        const std::string message = refusal(file.substr(0, size));
        EXPECT_FALSE(message.empty()) << size;
    }
    // Every byte changed: a reason or spectra, never a fault (run under
    // the sanitizers).
    for (size_t at = 0; at < file.size(); ++at)
        for (char change : {'\xff', '\x80', '\x01'}) {
            std::string damaged = file;
            damaged[at] = static_cast<char>(damaged[at] ^ change);
            sts::sm4_spectra s;
            std::string error;
            const bool read = sts::read_sm4_spectra("a", damaged, {}, &s, &error);
            EXPECT_TRUE(read || !error.empty()) << at;
        }
    EXPECT_EQ(refusal(file.substr(0, file.size() - 1)),
              "the RHK .sm4 file is cut short (page 'Current' runs past its end)");
    sm4_made_page short_data = two_positions();
    short_data.data_size = 28;
    EXPECT_EQ(refusal(testkit::sm4_file({short_data})),
              "the RHK .sm4 page 'Current' holds 28 data bytes where 4 spectra of 3 points "
              "take 48");
}

// What the independent decoder prints for one page: the bias axis, then
// each spectrum's position (m) and values (A).
struct decoded {
    std::vector<double> axis;
    std::vector<double> x, y;
    std::vector<std::vector<double>> values;
};

std::vector<double> numbers_after_tag(const std::string& line) {
    std::vector<double> v;
    std::istringstream fields(line);
    std::string field;
    std::getline(fields, field, '\t');
    while (std::getline(fields, field, '\t')) v.push_back(std::strtod(field.c_str(), nullptr));
    return v;
}

bool decode(const std::string& path, const std::string& label, decoded* d) {
    const auto r = testkit::run({"/usr/bin/python3", RHK_SM4_DECODER, path, label});
    EXPECT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        const std::vector<double> v = numbers_after_tag(line);
        if (line.rfind("axis\t", 0) == 0) d->axis = v;
        if (line.rfind("values\t", 0) == 0) d->values.push_back(v);
        if (line.rfind("spectrum\t", 0) == 0 && v.size() == 3) {
            d->x.push_back(v[1]);
            d->y.push_back(v[2]);
        }
    }
    return r.status == 0 && !d->values.empty();
}

std::string real_file(const char* name) {
    const std::string dir = testkit::realdata_dir();
    if (dir.empty()) return "";
    return dir + "/raw/" + name;
}

// Every sweep at every position, in amperes, equals the decoder's value,
// and the mean of the sweeps is their sum over their count.
void expect_decoder_values(const std::string& path, const std::string& label, size_t sweeps) {
    decoded d;
    ASSERT_TRUE(decode(path, label, &d));
    const std::string bytes = testkit::read_file(path);
    sts::import_options o = in_amperes();
    o.channel = label;
    o.each_sweep = true;
    const sts::sm4_spectra s = read(bytes, o);
    ASSERT_EQ(s.spectra.size(), d.values.size());
    ASSERT_EQ(s.per_position, sweeps);
    for (size_t k = 0; k < s.spectra.size(); ++k) {
        ASSERT_EQ(s.spectra[k].bias, d.axis) << k;
        ASSERT_EQ(s.spectra[k].current, d.values[k]) << k;
    }
    for (size_t k = 0; k < s.x_nm.size(); ++k) {
        EXPECT_EQ(s.x_nm[k], d.x[k * sweeps] * 1e9) << k;
        EXPECT_EQ(s.y_nm[k], d.y[k * sweeps] * 1e9) << k;
    }
    o.each_sweep = false;
    const sts::sm4_spectra mean = read(bytes, o);
    for (size_t j = 0; j < d.axis.size(); ++j) {
        double sum = 0.0;
        for (size_t w = 0; w < sweeps; ++w) sum += d.values[w][j];
        EXPECT_EQ(mean.spectra[0].current[j], sum / static_cast<double>(sweeps)) << j;
    }
}

TEST(RhkSm4Real, PointSweepsAgreeWithTheDecoder) {
    const std::string path = real_file("rhk2021_hopg_point_sweeps.sm4");
    if (path.empty()) GTEST_SKIP() << testkit::no_realdata;
    expect_decoder_values(path, "Current", 6);
    expect_decoder_values(path, "LIA Current", 6);
    // The header's figures: 481 points from 0.6 V to -0.6 V, 6 sweeps at one place.
    const sts::sm4_spectra s = read(testkit::read_file(path), {});
    ASSERT_EQ(s.spectra.size(), 1u);
    EXPECT_EQ(s.spectra[0].bias.size(), 481u);
    EXPECT_EQ(s.spectra[0].bias.front(), 0.6);
    EXPECT_NEAR(s.spectra[0].bias.back(), -0.6, 1e-15);
    EXPECT_EQ(s.spectra[0].pixel_x, -1);
}

TEST(RhkSm4Real, LineAgreesWithTheDecoder) {
    const std::string path = real_file("rhk2020_hopg_line_300K.sm4");
    if (path.empty()) GTEST_SKIP() << testkit::no_realdata;
    expect_decoder_values(path, "Current", 1);
    const sts::sm4_spectra s = read(testkit::read_file(path), {});
    EXPECT_EQ(s.nx, 32);
    EXPECT_EQ(s.ny, 1);
    EXPECT_TRUE(s.raster);
    EXPECT_EQ(s.spectra[0].bias.size(), 241u);
    EXPECT_EQ(s.spectra[31].pixel_x, 31);
}

TEST(RhkSm4Real, MapAgreesWithTheDecoder) {
    const std::string path = real_file("rhk2020_abc6_didv_map.sm4");
    if (path.empty()) GTEST_SKIP() << testkit::no_realdata;
    expect_decoder_values(path, "LIA Current", 1);
    // The header's 32 x 32 grid, 1 nm wide: 1/32 nm steps; 81 points from
    // 0.3 V down by 5 mV.
    const sts::sm4_spectra s = read(testkit::read_file(path), {});
    EXPECT_EQ(s.nx, 32);
    EXPECT_EQ(s.ny, 32);
    EXPECT_TRUE(s.raster);
    EXPECT_NEAR(s.step_x, 1.0 / 32, 1e-5);
    EXPECT_NEAR(s.step_y, 1.0 / 32, 1e-5);
    EXPECT_EQ(s.spectra[0].bias.size(), 81u);
    EXPECT_EQ(s.spectra[0].bias[1], 0.3 + 1 * -0.005);
    EXPECT_EQ(s.spectra[1023].pixel_y, 31);
}

// The lock-in page ("LIA Current") as each spectrum's signal beside the
// current: the decoder's values of that page, each position's sweeps
// averaged as the current's are, on all three real files.
TEST(RhkSm4Real, LockinPageIsTheSignalTheDecoderReads) {
    for (const auto& [name, sweeps] : std::vector<std::pair<const char*, size_t>>{
             {"rhk2021_hopg_point_sweeps.sm4", 6}, {"rhk2020_hopg_line_300K.sm4", 1},
             {"rhk2020_abc6_didv_map.sm4", 1}}) {
        const std::string path = real_file(name);
        if (path.empty()) GTEST_SKIP() << testkit::no_realdata;
        decoded lia, current;
        ASSERT_TRUE(decode(path, "LIA Current", &lia)) << name;
        ASSERT_TRUE(decode(path, "Current", &current)) << name;
        sts::import_options o = in_amperes();
        o.signal_channel = "LIA Current";
        const sts::sm4_spectra s = read(testkit::read_file(path), o);
        ASSERT_EQ(s.spectra.size() * sweeps, lia.values.size()) << name;
        EXPECT_EQ(s.signal_unit, "A");
        for (size_t p = 0; p < s.spectra.size(); ++p) {
            ASSERT_EQ(s.spectra[p].signal.size(), lia.axis.size()) << name << " " << p;
            for (size_t j = 0; j < lia.axis.size(); ++j) {
                double signal = 0.0, amperes = 0.0;
                for (size_t w = 0; w < sweeps; ++w) {
                    signal += lia.values[p * sweeps + w][j];
                    amperes += current.values[p * sweeps + w][j];
                }
                const double n = static_cast<double>(sweeps);
                EXPECT_EQ(s.spectra[p].signal[j], sweeps > 1 ? signal / n : signal) << name << p;
                EXPECT_EQ(s.spectra[p].current[j], sweeps > 1 ? amperes / n : amperes) << name << p;
            }
        }
    }
}

TEST(RhkSm4Real, PagesAsTheDecoderListsThem) {
    for (const char* name : {"rhk2020_abc6_didv_map.sm4", "rhk2020_hopg_line_300K.sm4",
                             "rhk2021_hopg_point_sweeps.sm4"}) {
        const std::string path = real_file(name);
        if (path.empty()) GTEST_SKIP() << testkit::no_realdata;
        std::vector<sts::sm4_page> pages;
        std::string error;
        ASSERT_TRUE(sts::read_sm4_pages(testkit::read_file(path), &pages, &error)) << error;
        std::string ours;
        for (size_t k = 0; k < pages.size(); ++k) {
            const auto& p = pages[k];
            ours += testkit::format("page\t%zu\t%u\t%u\t%u\t%s\t%s\t%s\t%u\t%u\t%u\t%u\n", k,
                                    p.data_type, p.page_type, p.line_type, p.label.c_str(),
                                    p.x_unit.c_str(), p.z_unit.c_str(), p.points, p.spectra,
                                    p.grid_x, p.grid_y);
        }
        EXPECT_EQ(ours, testkit::run({"/usr/bin/python3", RHK_SM4_DECODER, path}).out) << name;
    }
}

}  // namespace
