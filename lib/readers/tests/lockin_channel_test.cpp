// The lock-in channel's name, unit and modulation: names that match with
// their blanks trimmed, a unit that is no current or voltage refused,
// RHK's lock-in page read beside the current, and the modulation a
// Nanonis grid header records.  Hand-made files, values worked by hand.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "readers/grid_header.h"
#include "readers/lockin_header.h"
#include "readers/read_spectra.h"
#include "readers/rhk_sm4.h"
#include "readers/text_split.h"
#include "testkit/instrument_files.h"
#include "testkit/sm4_file.h"

namespace {

// Two positions of two sweeps each on a three-point axis: a current page
// and a lock-in page whose raw values tell them apart.
std::vector<testkit::sm4_made_page> two_pages(const std::string& current, const std::string& lockin) {
    testkit::sm4_made_page c;
    c.label = current;
    c.raw = {{1, 2, 3}, {3, 4, 5}, {5, 6, 7}, {7, 8, 9}};
    c.positions = {{0, 0}, {0, 0}, {1e-9f, 0}, {1e-9f, 0}};
    testkit::sm4_made_page l = c;
    l.label = lockin;
    l.z_scale = 1e-13f;
    l.raw = {{10, 20, 30}, {30, 40, 50}, {50, 60, 70}, {70, 80, 90}};
    return {c, l};
}

bool read_sm4(const std::string& bytes, const sts::import_options& o, sts::sm4_spectra* s,
              std::string* error) {
    return sts::read_sm4_spectra("f.sm4", bytes, o, s, error);
}

TEST(LockinChannel, NamesMatchWithTheirBlanksTrimmed) {
    EXPECT_FALSE(sts::same_channel("LIA Current", "Current"));
    // RHK labels its pages "Current " and "LIA Current ": the plain names
    // find them, and so do the names with the blank.
    const std::string bytes = testkit::sm4_file(two_pages("Current ", "LIA Current "));
    for (const char* channel : {"Current", "Current "}) {
        sts::import_options o;
        o.channel = channel;
        o.signal_channel = std::string(channel) == "Current" ? "LIA Current" : "LIA Current ";
        sts::sm4_spectra s;
        std::string error;
        ASSERT_TRUE(read_sm4(bytes, o, &s, &error)) << channel << ": " << error;
        ASSERT_EQ(s.spectra.size(), 2u);
        EXPECT_EQ(s.signal_unit, "A");
    }
}

TEST(LockinChannel, RhkLockinPageIsReadBesideTheCurrent) {
    sts::import_options o;
    o.signal_channel = "LIA Current (A)";
    sts::sm4_spectra s;
    std::string error;
    ASSERT_TRUE(read_sm4(testkit::sm4_file(two_pages("Current", "LIA Current")), o, &s, &error))
        << error;
    ASSERT_EQ(s.spectra.size(), 2u);
    // Each position's two sweeps averaged, as stored (raw * 1e-13 A).
    const double z = static_cast<double>(1e-13f);
    const std::vector<std::vector<double>> raw = {{10, 20, 30}, {30, 40, 50}, {50, 60, 70}, {70, 80, 90}};
    for (size_t p = 0; p < 2; ++p)
        for (size_t k = 0; k < 3; ++k) {
            double sum = 0.0;
            sum += raw[2 * p][k] * z;
            sum += raw[2 * p + 1][k] * z;
            EXPECT_EQ(s.spectra[p].signal[k], sum / 2.0) << p << " " << k;
        }
    // The current is untouched by it: (1 + 3) / 2 pA at the first point.
    EXPECT_NEAR(s.spectra[0].current[0], 2e-3, 1e-9);  // z scale 1e-12 as a float
}

TEST(LockinChannel, RhkLockinPageMustShareAxisAndPositions) {
    auto pages = two_pages("Current", "LIA Current");
    sts::import_options o;
    o.signal_channel = "LIA Current";
    sts::sm4_spectra s;
    std::string error;
    pages[1].x_scale = -0.5f;
    EXPECT_FALSE(read_sm4(testkit::sm4_file(pages), o, &s, &error));
    EXPECT_NE(error.find("does not share the bias axis and positions"), std::string::npos) << error;
    o.signal_channel = "LIA Voltage";
    EXPECT_FALSE(read_sm4(testkit::sm4_file(two_pages("Current", "LIA Current")), o, &s, &error));
    EXPECT_NE(error.find("no channel 'LIA Voltage' for dI/dV (the spectral pages are \"Current\", "
                         "\"LIA Current\")"),
              std::string::npos)
        << error;
}

// A Nanonis point table with a lock-in channel of the given name.
std::string table_with(const std::string& column) {
    testkit::nanonis_dat_layout d;
    d.header = {{"Experiment", "bias spectroscopy"}};
    d.columns = {"Bias calc (V)", "Current (A)", column};
    d.rows = {{"-1", "1E-9", "5"}, {"1", "2E-9", "7"}};
    return testkit::nanonis_dat(d);
}

std::string refusal(const std::string& bytes, const sts::import_options& o) {
    std::vector<sts::imported_spectrum> out;
    std::string error, warning;
    EXPECT_FALSE(sts::read_spectra("f.dat", bytes, o, &out, &error, &warning));
    return error;
}

TEST(LockinChannel, UnitThatIsNoCurrentOrVoltageIsRefusedUnlessForced) {
    for (const char* column : {"Phase (deg)", "Frequency (Hz)"}) {
        sts::import_options o;
        o.signal_channel = column;
        std::string error = refusal(table_with(column), o);
        const std::string unit = std::string(column) == "Phase (deg)" ? "'deg'" : "'Hz'";
        EXPECT_NE(error.find("is in " + unit + ", neither a current nor a voltage"),
                  std::string::npos)
            << error;
        EXPECT_NE(error.find("--force"), std::string::npos) << error;
        o.signal_any_unit = true;
        std::vector<sts::imported_spectrum> out;
        std::string warning;
        ASSERT_TRUE(sts::read_spectra("f.dat", table_with(column), o, &out, &error, &warning))
            << error;
        EXPECT_EQ(out.at(0).signal, (std::vector<double>{5, 7}));
    }
    // Currents, voltages, a share of a lock-in's sensitivity and no unit
    // at all are taken.
    for (const char* column : {"LI Demod 1 X (A)", "LockinX (mV)", "7280DSP Lockin-X (%)", "Lockin"}) {
        sts::import_options o;
        o.signal_channel = column;
        std::vector<sts::imported_spectrum> out;
        std::string error, warning;
        EXPECT_TRUE(sts::read_spectra("f.dat", table_with(column), o, &out, &error, &warning))
            << column << ": " << error;
    }
}

// A grid header with these lock-in lines.
sts::grid_header header_with(const std::string& lines) {
    testkit::nanonis_grid_layout g;
    g.extra = lines;
    sts::grid_header h;
    std::string error;
    EXPECT_TRUE(sts::parse_grid_header(testkit::nanonis_grid_header(g), &h, &error)) << error;
    return h;
}

TEST(LockinChannel, ModulationFromTheGridHeader) {
    const std::string module =
        "Lock-in>Lock-in status=ON\r\nLock-in>Modulated signal=\"Bias (V)\"\r\n"
        "Lock-in>Amplitude=2E-3\r\nLock-in>Demodulated signal=\"Current (A)\"\r\n"
        "Lock-in>Harmonic D1=1\r\nLock-in>Harmonic D2=2\r\n"
        "Lock-in 2>Lock-in status=OFF\r\nLock-in 2>Modulated signal=\"Input 2 (V)\"\r\n"
        "Lock-in 2>Amplitude=1E+0\r\nLock-in 2>Harmonic D3=1\r\n";
    const sts::grid_header h = header_with(module);
    sts::lockin_modulation m = sts::grid_modulation(h, "LI Demod 1 X (A)");
    EXPECT_TRUE(m.known) << m.why_not;
    EXPECT_EQ(m.amplitude_v, 2e-3);
    EXPECT_EQ(m.key, "Lock-in>Amplitude");
    EXPECT_FALSE(m.switched_off);
    // Demodulator 2 detects the second harmonic: no dI/dV.
    m = sts::grid_modulation(h, "LI Demod 2 X (A)");
    EXPECT_FALSE(m.known);
    EXPECT_NE(m.why_not.find("harmonic 2"), std::string::npos) << m.why_not;
    // Demodulator 3 is the second module's, which modulates another signal.
    m = sts::grid_modulation(h, "LI Demod 3 X (A)");
    EXPECT_FALSE(m.known);
    EXPECT_EQ(m.key, "Lock-in 2>Amplitude");
    EXPECT_NE(m.why_not.find("modulates \"Input 2 (V)\""), std::string::npos) << m.why_not;
    // A channel of another name takes the first module.
    m = sts::grid_modulation(header_with("Lock-in>Lock-in status=OFF\r\n"
                                         "Lock-in>Modulated signal=\"Bias (V)\"\r\n"
                                         "Lock-in>Amplitude=5E-3\r\n"),
                             "LIR 1 omega (A)");
    EXPECT_TRUE(m.known) << m.why_not;
    EXPECT_NEAR(m.amplitude_v, 5e-3, 1e-18);
    EXPECT_TRUE(m.switched_off);
    // None recorded, none positive, a current modulated, a voltage demodulated.
    EXPECT_NE(sts::grid_modulation(header_with(""), "LockinX (V)").why_not.find("records no"),
              std::string::npos);
    for (const char* lines : {"Lock-in>Modulated signal=\"Bias (V)\"\r\nLock-in>Amplitude=0\r\n",
                              "Lock-in>Modulated signal=\"Bias (V)\"\r\nLock-in>Amplitude=x\r\n",
                              "Lock-in>Modulated signal=\"Bias (V)\"\r\nLock-in>Amplitude=1E-3\r\n"
                              "Lock-in>Demodulated signal=\"Input 3 (V)\"\r\n"})
        EXPECT_FALSE(sts::grid_modulation(header_with(lines), "X (A)").known) << lines;
}

}  // namespace
