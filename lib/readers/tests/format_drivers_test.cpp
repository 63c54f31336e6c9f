// The table of format drivers: one row per format, names that round-trip,
// detection by the best score (a signature or first bytes before any guess
// from text, binary bytes never taken for text), and capabilities that say
// what the readers then do.
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "readers/format_drivers.h"
#include "readers/read_spectra.h"

using namespace sts;

namespace {

TEST(FormatDrivers, OneRowPerFormatWithNamesThatRoundTrip) {
    std::set<std::string> names;
    std::set<int> formats;
    for (const format_driver& d : format_drivers()) {
        EXPECT_TRUE(names.insert(d.name).second) << d.name;
        EXPECT_TRUE(formats.insert(static_cast<int>(d.format)).second) << d.name;
        file_format f = file_format::unknown;
        ASSERT_TRUE(format_from_name(d.name, &f)) << d.name;
        EXPECT_EQ(f, d.format);
        EXPECT_STREQ(format_name(d.format), d.name);
        EXPECT_EQ(find_driver(d.format), &d);
        ASSERT_NE(d.identify, nullptr);
        ASSERT_NE(d.read, nullptr);
    }
    // Every format but the two placeholders has its row.
    EXPECT_EQ(formats.size(), static_cast<size_t>(file_format::unknown) - 1);
    EXPECT_EQ(find_driver(file_format::automatic), nullptr);
    EXPECT_EQ(format_names_phrase(), "auto, dat, 3ds, csv, vert, mtrx, omicron-text, sm4 or pairs");
}

TEST(FormatDrivers, FirstBytesOutrankTextAndBinaryIsNeverText) {
    // A grid header whose lines hold tabs (a delimited-text guess) and a
    // "[DATA]" line: its first bytes decide.
    const std::string grid = "Grid dim=\"2 x 2\"\r\nA\tB\r\n\n[DATA]\n";
    const format_driver* d = identify(grid);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->format, file_format::nanonis_grid);
    EXPECT_EQ(d->identify(grid), magic);
    // Binary bytes with text-like content: no text driver claims them.
    std::string binary = "Bias (V),Current (A)\n1,2\n";
    binary += std::string("\0\x01\x02", 3);
    binary += "\n[DATA]\n";
    for (const format_driver& t : format_drivers())
        if (t.text_title) {
            EXPECT_EQ(t.identify(binary), not_mine) << t.name;
        }
    EXPECT_EQ(identify(binary), nullptr);
    // A byte-order mark before a first line is looked past.
    EXPECT_EQ(identify("\xef\xbb\xbf[ParVERT30]\r\n")->format, file_format::createc_vert);
    EXPECT_EQ(identify("-0.1 1\n0.1 2\n")->format, file_format::plain_pairs);
    EXPECT_EQ(identify("words only\n"), nullptr);
}

TEST(FormatDrivers, CapabilitiesAreWhatTheReadersDo) {
    // A lock-in channel or a numbered sweep asked of a format whose row
    // says it has none is refused before its reader runs.
    const std::string pairs = "-0.1 1\n0.1 2\n0.2 3\n";
    import_options lockin;
    lockin.signal_channel = "LockinX (V)";
    import_options sweep;
    sweep.sweep = 2;
    std::vector<imported_spectrum> out;
    std::string error, warning;
    ASSERT_FALSE(find_driver(file_format::plain_pairs)->can.lockin);
    EXPECT_FALSE(read_spectra("p.dat", pairs, lockin, &out, &error, &warning));
    EXPECT_NE(error.find("measured dI/dV channel"), std::string::npos) << error;
    ASSERT_FALSE(find_driver(file_format::plain_pairs)->can.sweeps);
    EXPECT_FALSE(read_spectra("p.dat", pairs, sweep, &out, &error, &warning));
    EXPECT_NE(error.find("--sweep"), std::string::npos) << error;
    EXPECT_TRUE(out.empty());
    // An image: known, never read as spectra, and no -f name.
    const format_driver* sxm = identify(":NANONIS_VERSION:\n2\n:SCANIT_END:\n");
    ASSERT_NE(sxm, nullptr);
    EXPECT_TRUE(sxm->can.image);
    EXPECT_EQ(format_names_phrase().find(sxm->name), std::string::npos);
    // Grids: the formats lib/grid opens pixel by pixel.
    std::set<std::string> grids;
    for (const format_driver& d : format_drivers())
        if (d.can.grid) grids.insert(d.name);
    EXPECT_EQ(grids, (std::set<std::string>{"3ds", "sm4"}));
}

}  // namespace
