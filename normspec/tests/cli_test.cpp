// Switches, help text, list and numbered-series runs of the real binary.
#include <filesystem>

#include <gtest/gtest.h>

#include "normspec/tests/e2e.h"

namespace {

using e2e::all_done;
using e2e::banner;
using e2e::help_text;
using e2e::normspec;
using testkit::file_exists;
using testkit::list_dir;
using testkit::temp_dir;
using testkit::write_file;

// A small spectrum that runs through the whole pipeline.
const std::string five_pairs = "-0.2 -0.5\n-0.1 -0.2\n0.1 0.3\n0.2 0.6\n0.3 1.0\n";

TEST(Help, NothingToProcess) {
    temp_dir dir;
    for (const auto& args : std::vector<std::vector<std::string>>{{}, {"-s"}, {"-n", "-e"}}) {
        const auto r = normspec(dir, args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "\nDon't know which files to process!\n" + help_text("normspec"));
        EXPECT_EQ(r.err, "");
    }
    EXPECT_TRUE(list_dir(dir.path()).empty());
}

TEST(Help, HelpSwitchWinsOverFiles) {
    temp_dir dir;
    write_file(dir / "file1", five_pairs);
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"-h", "file1"}, {"-help", "file1"}, {"-l", "-h"}, {"-a", "-s", "-h"}}) {
        const auto r = normspec(dir, args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind("\nThis is normspec v3.0\n\n", 0), 0u) << r.out;
        EXPECT_EQ(r.out.find("Don't know"), std::string::npos);
    }
    EXPECT_EQ(list_dir(dir.path()), std::vector<std::string>{"file1"});
}

TEST(Help, LongOptionsAlone) {
    temp_dir dir;
    auto r = normspec(dir, {"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, help_text("normspec"));
    r = normspec(dir, {"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "normspec 3.0\n");
    // Anywhere else they are file names, as every argument after the
    // switches is.
    r = normspec(dir, {"-n", "--help"});
    EXPECT_EQ(r.out, banner + "Can't open --help; skipping..\n" + all_done);
    EXPECT_TRUE(list_dir(dir.path()).empty());
}

TEST(Hints, CurrentsInAmperesAndAnEmptySeries) {
    temp_dir dir;
    write_file(dir / "amps", "-0.2 -5e-10\n-0.1 -2e-10\n0.1 3e-10\n0.2 6e-10\n0.3 1e-9\n");
    write_file(dir / "flat", "-0.2 0\n-0.1 0\n0.1 0\n0.2 0\n");
    auto r = normspec(dir, {"-n", "amps", "flat"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, banner +
                         "amps: 5 data points read ..done\n"
                         "amps: warning: every current is below 1e-6 in size and prints as "
                         "0.000000; give currents in nA (stsimport converts instrument files to "
                         "nA)\n"
                         "flat: 4 data points read ..done\n"
                         "flat: warning: results hold inf/nan values (an I/V that interpolates to "
                         "0)\n" + all_done);
    r = normspec(dir, {"-l"}, "2\n");
    EXPECT_EQ(r.out, banner + e2e::prompt + "\nProcessing 2 spectroscopy files...\n" +
                         "Can't open s1; skipping..\nCan't open s2; skipping..\n"
                         "\nNo file s1 ... s2 was found in this folder: the numbered series "
                         "reads files named s1, s2, ... (stsimport writes them)\n" + all_done);
}

TEST(Help, ProgramNameRule) {
    temp_dir dir;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"C:\\tools\\bin\\normspec.exe", "normspec"},
        {"normspec", "normspec"},
        {"./normspec", "/normspec"},  // only the backslash separates folders
        {"a\\b.c\\x.y.z", "x"},
        {"..hidden.tool", "hidden"},
        {"...", ""},
        {"/usr/bin/normspec", "/usr/bin/normspec"},
    };
    for (const auto& [argv0, shown] : cases) {
        testkit::run_options options;
        options.cwd = dir.path();
        options.use_argv0 = true;
        options.argv0 = argv0;
        const auto r = testkit::run({NORMSPEC_BIN, "-h"}, options);
        EXPECT_EQ(r.out, help_text(shown)) << argv0;
    }
}

TEST(Help, NoArgumentVectorAtAll) {
    temp_dir dir;
    testkit::run_options options;
    options.cwd = dir.path();
    options.empty_argv = true;
    const auto r = testkit::run({NORMSPEC_BIN}, options);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "\nDon't know which files to process!\n" + help_text("normspec"));
}

TEST(Switches, UnknownSwitchStartsTheFileList) {
    temp_dir dir;
    write_file(dir / "file1", five_pairs);
    auto r = normspec(dir, {"-x", "file1"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, banner + "Can't open -x; skipping..\nfile1: 5 data points read ..done\n" +
                         all_done);

    r = normspec(dir, {"file1", "-n"});
    EXPECT_EQ(r.out, banner + "file1: 5 data points read ..done\nCan't open -n; skipping..\n" +
                         all_done);
    EXPECT_EQ(list_dir(dir.path()),
              (std::vector<std::string>{"file1", "file1coff.txt", "file1didv.txt", "file1exp.txt",
                                        "file1i.txt", "file1iv.txt", "file1raw.txt"}));

    // A lone dash, upper-case letters and digits are no switches either.
    r = normspec(dir, {"-", "-N", "-1"});
    EXPECT_EQ(r.out, banner + "Can't open -; skipping..\nCan't open -N; skipping..\n"
                              "Can't open -1; skipping..\n" + all_done);
}

TEST(Switches, OnlyTheSecondCharacterCounts) {
    temp_dir dir;
    write_file(dir / "file1", five_pairs);
    const auto r = normspec(dir, {"-ne", "file1"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(list_dir(dir.path()),
              (std::vector<std::string>{"file1", "file1didv.txt", "file1i.txt", "file1iv.txt",
                                        "file1raw.txt"}));
}

TEST(Switches, SuppressAndSelections) {
    struct selection {
        std::vector<std::string> args;
        std::vector<std::string> files;
    };
    const std::vector<selection> cases = {
        {{"-s"}, {"f", "fcoff.txt", "fexp.txt", "fraw.txt"}},
        {{"-s", "-n"}, {"f", "fraw.txt"}},
        {{"-e", "-s"}, {"f", "fexp.txt"}},
        {{"-c"}, {"f", "fcoff.txt", "fdidv.txt", "fi.txt", "fiv.txt"}},
        {{"-a"}, {"f", "fcoff.txt", "fdidv.txt", "fexp.txt", "fi.txt", "fiv.txt", "fraw.txt"}},
        {{"-n", "-n", "-s", "-s"}, {"f", "fraw.txt"}},  // repeats count, change nothing
    };
    temp_dir full_run;
    write_file(full_run / "f", five_pairs);
    normspec(full_run, {"f"});
    for (const auto& c : cases) {
        temp_dir dir;
        write_file(dir / "f", five_pairs);
        auto args = c.args;
        args.push_back("f");
        const auto r = normspec(dir, args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, banner + "f: 5 data points read ..done\n" + all_done);
        EXPECT_EQ(list_dir(dir.path()), c.files) << c.args[0];
        // Every file that is written is the same as in a full run.
        for (const auto& name : c.files)
            EXPECT_EQ(testkit::read_file(dir / name), testkit::read_file(full_run / name)) << name;
    }
}

TEST(NumberedSeries, PromptAndCounts) {
    temp_dir dir;
    write_file(dir / "s1", five_pairs);
    write_file(dir / "s3", five_pairs);
    const std::string prompt = e2e::prompt;

    auto r = normspec(dir, {"-l"}, "3\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, banner + prompt + "\nProcessing 3 spectroscopy files...\n" +
                         "s1: 5 data points read ..done\nCan't open s2; skipping..\n"
                         "s3: 5 data points read ..done\n" + all_done);
    EXPECT_TRUE(file_exists(dir / "stxt1didv.txt"));
    EXPECT_TRUE(file_exists(dir / "stxt3raw.txt"));
    EXPECT_FALSE(file_exists(dir / "stxt2didv.txt"));
    EXPECT_EQ(testkit::read_file(dir / "stxt3raw.txt"), testkit::read_file(dir / "stxt1raw.txt"));

    // File arguments are ignored in this mode; "%d" stops at the first non-digit.
    r = normspec(dir, {"-l", "s3"}, "  1 apples\n");
    EXPECT_EQ(r.out, banner + prompt + "\nProcessing 1 spectroscopy files...\n" +
                         "s1: 5 data points read ..done\n" + all_done);

    for (const std::string answer : {"0\n", "-4\n", "-2147483648"}) {
        r = normspec(dir, {"-l"}, answer);
        EXPECT_EQ(r.status, 0) << answer;
        EXPECT_EQ(r.out, banner + prompt) << answer;
    }
    for (const std::string answer : {"", "abc\n", "\n\n", "+", "-x"}) {
        r = normspec(dir, {"-l"}, answer);
        EXPECT_EQ(r.status, 0) << answer;
        EXPECT_EQ(r.out, banner + prompt + "\nNo number given; nothing to process.\n") << answer;
    }
    for (const std::string answer : {"2147483648\n", "99999999999\n"}) {
        r = normspec(dir, {"-l"}, answer);
        EXPECT_EQ(r.status, 0) << answer;
        EXPECT_EQ(r.out, banner + prompt + "\nNumber out of range; nothing to process.\n") << answer;
    }
}

TEST(NumberedSeries, SwitchesStillSelectFiles) {
    temp_dir dir;
    write_file(dir / "s1", five_pairs);
    const auto r = normspec(dir, {"-s", "-l", "-c"}, "1");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{"s1", "stxt1coff.txt"}));
}

TEST(ListMode, NamesAreKeptWhole) {
    temp_dir dir;
    std::filesystem::create_directory(dir / "sub dir");
    write_file(dir / "sub dir/run1.dat", five_pairs);
    const auto r = normspec(dir, {"-n", "sub dir/run1.dat"});
    EXPECT_EQ(r.out, banner + "sub dir/run1.dat: 5 data points read ..done\n" + all_done);
    EXPECT_EQ(list_dir(dir / "sub dir"),
              (std::vector<std::string>{"run1.dat", "run1.datdidv.txt", "run1.dati.txt",
                                        "run1.dativ.txt", "run1.datraw.txt"}));
}

}  // namespace
