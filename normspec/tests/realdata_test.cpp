// The real measured curves kept beside the project (skipped when absent).
// They are linked into a temporary directory, never copied into the project.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "normspec/tests/e2e.h"
#include "testkit/testkit.h"

namespace {

using e2e::banner;
using testkit::read_file;
using testkit::temp_dir;

std::vector<std::string> curves(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& name : testkit::list_dir(dir))
        if (name.size() > 4 && name.substr(name.size() - 4) == ".txt" && name != "SOURCES.md")
            names.push_back(name.substr(0, name.size() - 4));
    return names;
}

int lines_of(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

TEST(RealData, EveryCurveRunsThrough) {
    const std::string source = testkit::realdata_dir();
    if (source.empty()) GTEST_SKIP() << testkit::no_realdata;
    temp_dir dir;
    const auto names = curves(source);
    ASSERT_GE(names.size(), 20u);
    std::vector<std::string> args;
    for (const auto& name : names) {
        std::filesystem::create_symlink(source + "/" + name + ".txt", dir / name);
        args.push_back(name);
    }
    const auto r = e2e::normspec(dir, args);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    for (const auto& name : names) {
        const int n = lines_of(read_file(source + "/" + name + ".txt"));
        const std::string report = name + ": " + std::to_string(n) + " data points read ..done\n";
        EXPECT_NE(r.out.find(report), std::string::npos) << name;
        EXPECT_EQ(r.out.find(name + ": warning:"), std::string::npos) << name;
        // The Createc curves hit 0 V twice: one point at a repeated bias is
        // merged, and nothing anywhere is undefined.
        const bool createc = name.rfind("createc2018", 0) == 0;
        const int kept = createc ? n - 1 : n;
        if (createc) {
            EXPECT_NE(r.out.find(name + ": note: 1 point at repeated bias values merged into "
                                        "their mean\n"),
                      std::string::npos)
                << name;
        }
        for (const char* suffix : {"didv.txt", "iv.txt", "i.txt", "exp.txt", "coff.txt", "raw.txt"})
            EXPECT_EQ(read_file(dir / (name + suffix)).find("nan"), std::string::npos)
                << name << suffix;
        EXPECT_EQ(lines_of(read_file(dir / (name + "i.txt"))), kept) << name;
        EXPECT_EQ(lines_of(read_file(dir / (name + "exp.txt"))), kept - 1) << name;
    }
}

TEST(RealData, HighToLowSweepEqualsItsReverse) {
    const std::string source = testkit::realdata_dir();
    if (source.empty()) GTEST_SKIP() << testkit::no_realdata;
    temp_dir dir;
    const std::string text = read_file(source + "/nanonis2025_pb_0p4K.txt");
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start + 1));
    ASSERT_GT(lines.size(), 100u);
    std::string reversed;
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) reversed += *it;
    std::filesystem::create_symlink(source + "/nanonis2025_pb_0p4K.txt", dir / "down");
    testkit::write_file(dir / "up", reversed);
    ASSERT_EQ(e2e::normspec(dir, {"down", "up"}).status, 0);
    for (const char* suffix : {"didv.txt", "iv.txt", "i.txt", "exp.txt", "coff.txt", "raw.txt"})
        EXPECT_EQ(read_file(dir / (std::string("down") + suffix)),
                  read_file(dir / (std::string("up") + suffix)))
            << suffix;
}

}  // namespace
