// The line cut as a netCDF file (/api/export/line.nc): the bytes stsgrid
// --line writes beside the same grid file, for lines across the grid,
// through its missing pixels and of one pixel, and for a grid with the
// lock-in, gap and topography quantities; its values the grid file's at
// the nearest pixels; bad parameters refused.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "stsview/request_handler.h"
#include "grid_fixture.h"

namespace {

using stsview_test::grid_fixture;

const std::string token(64, 'a');

struct served {
    sts::grid_store store;
    std::map<std::string, sts::asset> assets;
    sts::site site;
    explicit served(const std::string& nc) {
        std::string error;
        EXPECT_TRUE(store.open({nc}, &error)) << error;
        site.store = &store;
        site.assets = &assets;
        site.token = token;
        site.port = 8123;
    }
    sts::reply api(const std::string& route) {
        return sts::answer(site, {"GET", "/api/" + route + "&token=" + token, "127.0.0.1:8123", ""});
    }
};

// stsgrid's own line file of input, run into a folder of its own under the
// grid file's name, so that its grid_file attribute is the same.
std::string stsgrid_line(const testkit::temp_dir& dir, const std::string& input, const std::string& name,
                         const std::vector<std::string>& options, const std::string& line) {
    const std::string folder = dir / ("line_" + std::to_string(std::hash<std::string>{}(line)));
    std::filesystem::create_directories(folder);
    std::vector<std::string> argv = {STSGRID_BIN, "-o", folder + "/" + name};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back("--line=" + line);
    argv.push_back(input);
    const auto r = testkit::run(argv);
    EXPECT_TRUE(r.status == 0 || r.status == 3) << r.err;
    std::string stem = name.substr(0, name.size() - 3);
    return testkit::read_file(folder + "/" + stem + "_line.nc");
}

std::string route_of(const int (&e)[4]) {
    return testkit::format("export/line.nc?file=0&x0=%d&y0=%d&x1=%d&y1=%d", e[0], e[1], e[2], e[3]);
}

std::string line_text(const int (&e)[4]) { return testkit::format("%d,%d:%d,%d", e[0], e[1], e[2], e[3]); }

TEST(LineExport, TheBytesOfStsgridsLineFile) {
    auto& g = grid_fixture::get();
    ASSERT_TRUE(g.ok);
    served s(g.nc);
    testkit::temp_dir dir;
    // Across, through the last row's missing pixels, steep, one pixel.
    for (const auto& e : {std::array<int, 4>{0, 0, 6, 4}, {6, 4, 0, 3}, {1, 0, 2, 4}, {3, 2, 3, 2}}) {
        const int ends[4] = {e[0], e[1], e[2], e[3]};
        const sts::reply r = s.api(route_of(ends));
        ASSERT_EQ(r.status, 200) << r.body;
        EXPECT_EQ(r.type, "application/x-netcdf");
        EXPECT_EQ(r.download, "grid_line.nc");
        const std::string want = stsgrid_line(dir, g.dir / "grid.3ds", "grid.nc", {}, line_text(ends));
        ASSERT_FALSE(want.empty());
        EXPECT_TRUE(r.body == want) << line_text(ends) << ": " << r.body.size() << " bytes, stsgrid's "
                                    << want.size();
    }
}

TEST(LineExport, LockinGapAndTopography) {
    testkit::temp_dir dir;
    const std::string input = dir / "g.3ds", nc = dir / "g.nc";
    ASSERT_EQ(testkit::run({MAKE_GRID_BIN, "--lockin", "--topography", "6", "5", "30", input, "2"}).status, 0);
    const std::vector<std::string> options = {"--didv-channel=LI Demod 1 X", "--gap=0.5"};
    std::vector<std::string> argv = {STSGRID_BIN, "-o", nc};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(input);
    const auto made = testkit::run(argv);
    ASSERT_TRUE(made.status == 0 || made.status == 3) << made.err;
    served s(nc);
    const int ends[4] = {0, 4, 5, 1};
    const sts::reply r = s.api(route_of(ends));
    ASSERT_EQ(r.status, 200) << r.body;
    EXPECT_TRUE(r.body == stsgrid_line(dir, input, "g.nc", options, line_text(ends)));
}

// The file's values, read back: pixel (s, 0) of a row is sample s.
TEST(LineExport, ValuesAreTheGridFiles) {
    auto& g = grid_fixture::get();
    ASSERT_TRUE(g.ok);
    served s(g.nc);
    const int ends[4] = {0, 1, 6, 1};
    const sts::reply r = s.api(route_of(ends));
    ASSERT_EQ(r.status, 200);
    testkit::temp_dir dir;
    const std::string path = dir / "back.nc";
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(r.body.data(), 1, r.body.size(), f);
        std::fclose(f);
    }
    const auto cut = stsview_test::read_whole(path, "didv"), grid = stsview_test::read_whole(g.nc, "didv");
    const auto topo = stsview_test::read_whole(path, "topography"), z = stsview_test::read_whole(g.nc, "topography");
    const size_t m = grid_fixture::points - 1;
    ASSERT_EQ(cut.size(), 7 * m);
    ASSERT_EQ(topo.size(), 7u);
    for (size_t x = 0; x < 7; ++x) {
        for (size_t k = 0; k < m; ++k)
            EXPECT_EQ(std::memcmp(&cut[x * m + k], &grid[(7 + x) * m + k], sizeof(float)), 0) << x << ' ' << k;
        EXPECT_EQ(topo[x], z[7 + x]);
    }
}

TEST(LineExport, BadParametersAndUnsafeNames) {
    auto& g = grid_fixture::get();
    ASSERT_TRUE(g.ok);
    served s(g.nc);
    for (const char* q : {"export/line.nc?file=0&x0=0&y0=0&x1=7&y1=0", "export/line.nc?file=0&x0=0&y0=0&x1=1&y1=5",
                          "export/line.nc?file=1&x0=0&y0=0&x1=1&y1=1", "export/line.nc?file=0&x0=0&y0=0&x1=1",
                          "export/line.nc?file=0&variable=didv&x0=0&y0=0&x1=1&y1=1",
                          "export/line.nc?file=0&x0=-1&y0=0&x1=1&y1=1", "line.nc?file=0&x0=0&y0=0&x1=1&y1=1"}) {
        const sts::reply r = s.api(q);
        EXPECT_GE(r.status, 400) << q;
        EXPECT_LT(r.status, 500) << q;
        EXPECT_NE(r.body.find("\"error\":\""), std::string::npos) << q;
    }
    // A file name that a header could not carry as it is: each byte but
    // letters, digits, ".", "-" and "_" (the two of the é as well) as "_".
    testkit::temp_dir dir;
    const std::string odd = dir / "we \"x\"\xc3\xa9.nc";
    std::filesystem::copy_file(g.nc, odd);
    served t(odd);
    const sts::reply r = t.api("export/line.nc?file=0&x0=0&y0=0&x1=1&y1=1");
    ASSERT_EQ(r.status, 200);
    EXPECT_EQ(r.download, "we__x____line.nc");
}

}  // namespace
