// Whatever an instrument or a script puts in a file or on the command line,
// normspec ends with its own messages and exit statuses, never a signal.
#include <sys/stat.h>

#include <filesystem>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "normspec/tests/e2e.h"

namespace {

using e2e::all_done;
using e2e::banner;
using e2e::normspec;
using testkit::read_file;
using testkit::temp_dir;
using testkit::write_file;

const std::string four = "-0.3 -1\n-0.1 -0.2\n0.2 0.5\n0.4 1.1\n";

void expect_clean_end(const testkit::outcome& r, const std::string& what) {
    EXPECT_FALSE(r.signalled) << what;
    EXPECT_TRUE(r.status == 0 || r.status == 1) << what << " status " << r.status;
    EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << what;
    EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << what;
}

TEST(HostileBytes, GarbageAndNulBytes) {
    std::mt19937 rng(99);
    for (int round = 0; round < 20; ++round) {
        std::string bytes;
        const int length = static_cast<int>(rng() % 2000);
        for (int i = 0; i < length; ++i) bytes.push_back(static_cast<char>(rng() % 256));
        temp_dir dir;
        write_file(dir / "g", bytes);
        const auto r = normspec(dir, {"-n", "g"});
        expect_clean_end(r, "garbage round " + std::to_string(round));
        const std::string report = "g: " + std::to_string(e2e::library_pairs(bytes)) + " data points read";
        EXPECT_EQ(r.out.substr(banner.size(), report.size()), report);
    }
    // NUL stops the reading like any other non-number.
    temp_dir dir;
    write_file(dir / "nul", std::string("-0.3 -1\n-0.1 -0.2\n0.2 0.5\n\0 0.4 1.1\n", 36));
    EXPECT_EQ(normspec(dir, {"-n", "nul"}).out,
              banner + "nul: 3 data points read ..done\n" + all_done);
}

// A random number token of the kinds instruments and people write:
// ordinary decimals, exponents, zeros, repeats, extremes, inf/nan, hex.
std::string random_token(std::mt19937& rng, const std::string& previous) {
    static const char* const odd[] = {"0",    "-0",     "nan",     "-inf", "1e38", "-3.4e38",
                                      "1e-45", "0x1p-3", "1e-30", "7",    "+.5",  "-2."};
    const unsigned pick = rng() % 400;
    if (pick == 0) return odd[rng() % (sizeof odd / sizeof *odd)];
    if (pick < 40) return previous.empty() ? "1" : previous;  // a repeated value
    const double mantissa = static_cast<double>(rng() % 200001) / 1000.0 - 100.0;
    const int exponent = static_cast<int>(rng() % 9) - 6;
    return testkit::format("%.6ge%d", mantissa, exponent);
}

TEST(HostileBytes, RandomNumbersReachTheComputation) {
    std::mt19937 rng(7);
    int computed = 0;
    for (int round = 0; round < 30; ++round) {
        std::string text, previous;
        const int tokens = 2 + static_cast<int>(rng() % 400);
        for (int k = 0; k < tokens; ++k) {
            previous = random_token(rng, previous);
            text += previous + (rng() % 3 == 0 ? "\n" : rng() % 2 ? "\t" : " ");
        }
        temp_dir dir;
        write_file(dir / "r", text);
        const auto r = normspec(dir, {"r"});
        const std::string what = "round " + std::to_string(round) + ":\n" + text;
        expect_clean_end(r, what);
        const std::string report = "r: " + std::to_string(e2e::library_pairs(text)) + " data points read";
        EXPECT_EQ(r.out.substr(banner.size(), report.size()), report) << what;
        // A routine's refusal (a NaN bias) ends the run after the report.
        if (r.out.find(" ..done\n") != std::string::npos) ++computed;
        else EXPECT_NE(r.err.find("Vantrel run-time error"), std::string::npos) << what << r.out;
    }
    // Most rounds must get through the whole computation, or the round
    // tests nothing but the reader.
    EXPECT_GE(computed, 20);
}

TEST(HostileBytes, MillionCharacterLines) {
    temp_dir dir;
    // A current of a million digits (it underflows to 0), then ordinary pairs.
    write_file(dir / "digits", "-0.5 0." + std::string(1000000, '0') + "5\n" + four);
    // A million blanks between the numbers.
    write_file(dir / "blanks", "-0.3" + std::string(1000000, ' ') + "-1\n-0.1 -0.2\n0.2 0.5\n");
    // A million-letter word after three pairs.
    write_file(dir / "word", "-0.3 -1\n-0.1 -0.2\n0.2 0.5\n" + std::string(1000000, 'w'));
    const auto r = normspec(dir, {"-n", "digits", "blanks", "word"});
    expect_clean_end(r, "long lines");
    EXPECT_EQ(r.out, banner +
                         "digits: 5 data points read ..done\n"
                         "blanks: 3 data points read ..done\n"
                         "word: 3 data points read ..done\n" + all_done);
}

TEST(HostileBytes, MillionTokens) {
    temp_dir dir;
    std::string tokens;
    tokens.reserve(6000000);
    for (int k = 0; k < 500000; ++k) tokens += std::to_string(k) + ".5 1\n";
    write_file(dir / "huge", tokens);
    const auto r = normspec(dir, {"huge"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, banner +
                         "huge: 10000 data points read ..the file holds more than 10000 points; "
                         "skipping..\n" + all_done);
    EXPECT_EQ(testkit::list_dir(dir.path()), std::vector<std::string>{"huge"});
}

TEST(HostileNames, SpacesQuotesBytesAndFolders) {
    temp_dir dir;
    std::filesystem::create_directories(dir / "a b/c'd");
    const std::vector<std::string> names = {"with space", "quote'\"s", "caf\xc3\xa9",
                                            "raw\xff\xfe", "a b/c'd/deep", "%s%n%d", "-"};
    std::vector<std::string> args = {"-s", "-n"};
    std::string expected = banner;
    for (const auto& name : names) {
        write_file(dir / name, four);
        args.push_back(name);
        expected += name + ": 4 data points read ..done\n";  // "-" is a name like any other
    }
    const auto r = normspec(dir, args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, expected + all_done);
    for (const auto& name : names)
        EXPECT_EQ(read_file(dir / (name + "raw.txt")), read_file(dir / "with spaceraw.txt"));
}

TEST(HostileNames, AtAndPastTheLengthLimit) {
    temp_dir dir;
    const std::string at_limit(255, 'n');  // the longest name a folder entry may have
    write_file(dir / at_limit, four);
    auto r = normspec(dir, {at_limit});
    EXPECT_EQ(r.status, 1);  // but its result names are longer
    EXPECT_EQ(r.out, banner + at_limit + ": 4 data points read" +
                         "Couldn't open di/dv output file. Exit\n\n");
    r = normspec(dir, {"-s", "-c", std::string(5000, 'p')});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, banner + "Can't open " + std::string(5000, 'p') + "; skipping..\n" + all_done);
}

TEST(HostileSwitches, RepeatedUnknownAndEmptyArguments) {
    temp_dir dir;
    write_file(dir / "f", four);
    auto r = normspec(dir, {"-a", "-a", "-c", "-c", "-h", "-h"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, e2e::help_text("normspec"));
    r = normspec(dir, {"-s", "", "f"});  // an empty argument starts the file list
    EXPECT_EQ(r.out, banner + "Can't open ; skipping..\nf: 4 data points read ..done\n" + all_done);
    r = normspec(dir, {"--", "-Z", "f"});
    EXPECT_EQ(r.out, banner + "Can't open --; skipping..\nCan't open -Z; skipping..\n"
                              "f: 4 data points read ..done\n" + all_done);
}

TEST(HostilePrompt, AnswersOfEveryShape) {
    temp_dir dir;
    write_file(dir / "s1", four);
    const std::string start = banner + e2e::prompt;
    const std::string one = start + "\nProcessing 1 spectroscopy files...\n" +
                            "s1: 4 data points read ..done\n" + all_done;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"1", one}, {"+1\n", one}, {"\n\n   1   \n", one}, {"1.9", one}, {"01", one},
        {"", start + "\nNo number given; nothing to process.\n"},
        {"   ", start + "\nNo number given; nothing to process.\n"},
        {"- 1", start + "\nNo number given; nothing to process.\n"},
        {"2147483648", start + "\nNumber out of range; nothing to process.\n"},
        {"-99999999999", start + "\nNumber out of range; nothing to process.\n"},
        {"-5", start},
    };
    for (const auto& [answer, expected] : cases) {
        const auto r = normspec(dir, {"-l"}, answer);
        EXPECT_EQ(r.status, 0) << answer;
        EXPECT_EQ(r.out, expected) << answer;
    }
}

TEST(HostileFiles, ResultNamesThatAreNotFiles) {
    temp_dir dir;
    write_file(dir / "f", four);
    std::filesystem::create_symlink("/dev/full", dir / "fexp.txt");
    auto r = normspec(dir, {"-s", "f"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, banner + "f: 4 data points read" + "Error writing output file fexp.txt. Exit\n\n");
    // A dangling link is simply created through.
    std::filesystem::remove(dir / "fexp.txt");
    std::filesystem::create_symlink("nowhere/else", dir / "fcoff.txt");
    r = normspec(dir, {"-s", "-c", "f"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, banner + "f: 4 data points read" + "Couldn't open output file fcoff.txt. Exit\n\n");
}

TEST(HostileFiles, NanBiasStopsTheSpline) {
    // A NaN bias sorts to an end and leaves the offset spline an interval
    // of NaN width.
    temp_dir dir;
    write_file(dir / "f", "nan 1\n1 5\n2 7\n3 8\n");
    const auto r = normspec(dir, {"f"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, banner + "f: 4 data points read");
    EXPECT_EQ(r.err,
              "Vantrel run-time error...\nBad XA input to routine SPLINT\n"
              "...now exiting to system...\n");
    EXPECT_EQ(testkit::list_dir(dir.path()), std::vector<std::string>{"f"});
}

}  // namespace
