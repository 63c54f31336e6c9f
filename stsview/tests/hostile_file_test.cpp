// Hostile grid files: made here with the netCDF C library in stsgrid's
// layout and then altered (shapes, attribute lengths, types, sizes, the
// format, the bytes cut short or changed under an open file).  Each must
// be refused with a message naming what is wrong, or read as an error,
// never read past a buffer, into a failed allocation or as zeros.
#include <gtest/gtest.h>
#include <netcdf.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "grid/layout_check.h"
#include "grid/netcdf_file.h"
#include "stsview/grid_file.h"
#include "testkit/testkit.h"

namespace {

struct var_spec {
    std::string name;
    nc_type type;
    std::vector<std::string> dims;
};

struct att_spec {
    std::string var, name;
    nc_type type;
    size_t length;
};

// A grid of 4 x 3 pixels of 6 points in stsgrid's layout (netcdf_writer.h),
// as the tests alter it.
struct file_spec {
    int mode = NC_NETCDF4;
    std::vector<std::pair<std::string, size_t>> dims = {
        {"y", 3}, {"x", 4}, {"point", 6}, {"midpoint", 5}};
    std::vector<var_spec> vars = {
        {"x", NC_DOUBLE, {"x"}},         {"y", NC_DOUBLE, {"y"}},
        {"bias", NC_FLOAT, {"point"}},   {"vmid", NC_FLOAT, {"midpoint"}},
        {"status", NC_BYTE, {"y", "x"}}, {"didv", NC_FLOAT, {"y", "x", "midpoint"}},
        {"current", NC_FLOAT, {"y", "x", "point"}},
        {"mean_didv", NC_FLOAT, {"midpoint"}}, {"se_didv", NC_FLOAT, {"midpoint"}}};
    std::vector<att_spec> atts = {{"mean_didv", "pixels", NC_INT64, 1},
                                  {"x", "units", NC_CHAR, 2},
                                  {"status", "flag_meanings", NC_CHAR, 17}};

    var_spec& var(const std::string& name) {
        for (auto& v : vars)
            if (v.name == name) return v;
        ADD_FAILURE() << name;
        return vars[0];
    }
    size_t length(const std::string& dim) const {
        for (const auto& d : dims)
            if (d.first == dim) return d.second;
        return 0;
    }
};

// Writes the file; variables of at most a million values get values
// (the others are declared only, their chunks never written).
bool write(const std::string& path, const file_spec& s) {
    int ncid = -1;
    if (nc_create(path.c_str(), s.mode | NC_CLOBBER, &ncid) != NC_NOERR) return false;
    bool ok = true;
    const bool netcdf4 = (s.mode & NC_NETCDF4) != 0;
    std::vector<int> dim_ids;
    for (const auto& [name, length] : s.dims) {
        int id = -1;
        ok = ok && nc_def_dim(ncid, name.c_str(), length, &id) == NC_NOERR;
        dim_ids.push_back(id);
    }
    std::vector<int> var_ids;
    std::vector<size_t> totals;
    for (const var_spec& v : s.vars) {
        std::vector<int> ids;
        std::vector<size_t> chunk;
        size_t total = 1;
        for (const std::string& d : v.dims) {
            for (size_t k = 0; k < s.dims.size(); ++k)
                if (s.dims[k].first == d) ids.push_back(dim_ids[k]);
            chunk.push_back(std::min<size_t>(s.length(d), 64));
            total *= s.length(d);
        }
        int id = -1;
        ok = ok && nc_def_var(ncid, v.name.c_str(), v.type, static_cast<int>(ids.size()),
                              ids.data(), &id) == NC_NOERR;
        if (netcdf4 && !ids.empty())
            ok = ok && nc_def_var_chunking(ncid, id, NC_CHUNKED, chunk.data()) == NC_NOERR;
        var_ids.push_back(id);
        totals.push_back(total);
    }
    for (const att_spec& a : s.atts) {
        int var = -1;
        for (size_t k = 0; k < s.vars.size(); ++k)
            if (s.vars[k].name == a.var) var = var_ids[k];
        if (a.type == NC_CHAR) {
            const std::string text = std::string("processed missing ").substr(0, a.length);
            ok = ok && nc_put_att_text(ncid, var, a.name.c_str(), text.size(), text.c_str()) == NC_NOERR;
        } else {
            const std::vector<long long> values(a.length, 12);
            ok = ok && nc_put_att_longlong(ncid, var, a.name.c_str(), a.type, a.length,
                                           values.data()) == NC_NOERR;
        }
    }
    ok = ok && nc_enddef(ncid) == NC_NOERR;
    for (size_t k = 0; k < s.vars.size(); ++k) {
        if (totals[k] > 1000000 || s.vars[k].type == NC_CHAR) continue;
        std::vector<double> values(totals[k]);
        for (size_t i = 0; i < values.size(); ++i) values[i] = 0.5 + static_cast<double>(i % 7);
        if (s.vars[k].name == "status") std::fill(values.begin(), values.end(), 0.0);
        ok = ok && nc_put_var_double(ncid, var_ids[k], values.data()) == NC_NOERR;
    }
    return nc_close(ncid) == NC_NOERR && ok;
}

// grid_file's verdict on the file: "" when it opens, else its message.
std::string refusal(const file_spec& s, const std::string& name = "g.nc") {
    testkit::temp_dir dir;
    if (!write(dir / name, s)) return "cannot write the test's file";
    sts::grid_file f;
    std::string error;
    return f.open(dir / name, &error) ? "" : error;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST(HostileFile, TheUnalteredRecipeOpens) {
    testkit::temp_dir dir;
    ASSERT_TRUE(write(dir / "g.nc", file_spec{}));
    sts::grid_file f;
    std::string error;
    ASSERT_TRUE(f.open(dir / "g.nc", &error)) << error;
    EXPECT_EQ(f.nx(), 4u);
    EXPECT_EQ(f.ny(), 3u);
    ASSERT_NE(f.variable("didv"), nullptr);
    EXPECT_TRUE(f.variable("didv")->statistics);
    std::vector<float> mean, se;
    long long pixels = 0;
    ASSERT_TRUE(f.read_statistics(*f.variable("didv"), &mean, &se, &pixels, &error)) << error;
    EXPECT_EQ(pixels, 12);
    EXPECT_EQ(mean.size(), 5u);
    EXPECT_EQ(f.status_word(1), "missing");
}

// Longer than the dimension the reader sizes its buffer by: the old reader
// wrote past x_, y_, bias_, vmid_, status_ at open, past the mean on
// /api/mean.
TEST(HostileFile, AVariableLongerThanItsDimensionIsRefused) {
    for (const char* name : {"x", "y", "bias", "vmid", "mean_didv", "se_didv"}) {
        file_spec s;
        s.dims.push_back({"long", 64});
        s.var(name).dims = {"long"};
        const std::string error = refusal(s);
        EXPECT_TRUE(contains(error, std::string("variable ") + name + ": expected ")) << name << ": " << error;
        EXPECT_TRUE(contains(error, "found")) << error;
    }
    file_spec s;
    s.dims.push_back({"wide", 40});
    s.var("status").dims = {"y", "wide"};
    EXPECT_TRUE(contains(refusal(s), "variable status: expected byte over (y, x)")) << refusal(s);
}

// nc_get_att_longlong into one long long: 8 values overflowed the stack.
TEST(HostileFile, APixelsAttributeOfManyValuesIsRefused) {
    file_spec s;
    s.atts[0].length = 8;
    const std::string error = refusal(s);
    EXPECT_TRUE(contains(error, "attribute mean_didv:pixels: expected one integer, found 8")) << error;
    s.atts[0].type = NC_CHAR;
    s.atts[0].length = 1;
    EXPECT_TRUE(contains(refusal(s), "mean_didv:pixels: expected one integer")) << refusal(s);
}

// A small file declaring a grid too large for its bytes: the old reader
// died of std::bad_alloc.
TEST(HostileFile, SizesTheFileCannotHoldAreRefused) {
    file_spec s;
    s.dims[0].second = 100000;
    s.dims[1].second = 100000;
    const std::string error = refusal(s);
    EXPECT_TRUE(contains(error, "bytes, more than the")) << error;
    file_spec p;
    p.dims[2].second = 1000000000;
    p.dims[3].second = 999999999;
    EXPECT_TRUE(contains(refusal(p), "variable bias: declares 4000000000 bytes")) << refusal(p);
}

TEST(HostileFile, AScalarBiasIsRefused) {
    file_spec s;
    s.var("bias").dims = {};
    EXPECT_TRUE(contains(refusal(s), "variable bias: expected float over (point), found float over a scalar"))
        << refusal(s);
}

// Four values where five are read: the old mean ended in zeros.
TEST(HostileFile, ATwoDimensionalMeanIsRefused) {
    file_spec s;
    s.dims.push_back({"two", 2});
    s.var("mean_didv").dims = {"two", "two"};
    EXPECT_TRUE(contains(refusal(s), "variable mean_didv: expected float over (midpoint), found float over (two, two)"))
        << refusal(s);
}

TEST(HostileFile, WrongTypesAreRefused) {
    file_spec s;
    s.var("x").type = NC_FLOAT;
    EXPECT_TRUE(contains(refusal(s), "variable x: expected double over (x), found float over (x)")) << refusal(s);
    file_spec t;
    t.atts[1].type = NC_INT;
    EXPECT_TRUE(contains(refusal(t), "attribute x:units: expected text")) << refusal(t);
    file_spec u;
    u.vars.push_back({"pixel_bias", NC_FLOAT, {"y", "x", "point"}});
    EXPECT_TRUE(contains(refusal(u), "pixel_bias without its companion")) << refusal(u);
}

// A netCDF-3 copy cut short reads as zeros through the library: stsgrid
// never writes netCDF-3, so such files are refused whole.
TEST(HostileFile, NetCDF3IsRefused) {
    testkit::temp_dir dir;
    file_spec s;
    s.mode = 0;  // the classic netCDF-3 format
    s.atts[0].type = NC_INT;
    ASSERT_TRUE(write(dir / "g3.nc", s));
    const auto size = std::filesystem::file_size(dir / "g3.nc");
    ASSERT_EQ(truncate((dir / "g3.nc").c_str(), static_cast<off_t>(size * 3 / 10)), 0);
    sts::grid_file f;
    std::string error;
    EXPECT_FALSE(f.open(dir / "g3.nc", &error));
    EXPECT_TRUE(contains(error, "g3.nc: ")) << error;
    EXPECT_TRUE(contains(error, "netCDF-3") || contains(error, "cannot open")) << error;
    // Whole, it is refused as well, by its format.
    ASSERT_TRUE(write(dir / "g3.nc", s));
    EXPECT_FALSE(f.open(dir / "g3.nc", &error));
    EXPECT_TRUE(contains(error, "a netCDF-3 file")) << error;
}

TEST(HostileFile, ANetCDF4CopyCutShortIsRefused) {
    testkit::temp_dir dir;
    ASSERT_TRUE(write(dir / "g.nc", file_spec{}));
    const auto size = std::filesystem::file_size(dir / "g.nc");
    ASSERT_EQ(truncate((dir / "g.nc").c_str(), static_cast<off_t>(size * 3 / 10)), 0);
    sts::grid_file f;
    std::string error;
    EXPECT_FALSE(f.open(dir / "g.nc", &error));
    EXPECT_TRUE(contains(error, "g.nc: ")) << error;
}

// Truncated (or rewritten) under an open file: every read says so instead
// of serving zeros marked processed.
TEST(HostileFile, AFileChangedAfterOpenIsAnErrorOnEveryRead) {
    testkit::temp_dir dir;
    file_spec s;
    s.dims = {{"y", 40}, {"x", 50}, {"point", 200}, {"midpoint", 199}};
    ASSERT_TRUE(write(dir / "g.nc", s));
    sts::grid_file f;
    std::string error;
    ASSERT_TRUE(f.open(dir / "g.nc", &error)) << error;
    const sts::grid_variable& v = *f.variable("didv");
    std::vector<float> row(50 * 199);
    ASSERT_TRUE(f.read_row(v, 0, 0, 50, row.data(), &error)) << error;
    const auto size = std::filesystem::file_size(dir / "g.nc");
    ASSERT_EQ(truncate((dir / "g.nc").c_str(), static_cast<off_t>(size / 3)), 0);
    const std::string changed = "the file changed on disk since stsview opened it; restart stsview";
    EXPECT_FALSE(f.read_row(v, 0, 39, 50, row.data(), &error));
    EXPECT_TRUE(contains(error, changed)) << error;
    std::vector<float> mean, se, axis;
    long long pixels = 0;
    EXPECT_FALSE(f.read_statistics(v, &mean, &se, &pixels, &error));
    EXPECT_TRUE(contains(error, changed)) << error;
}

// The pure check on descriptions: what no small file can show.
namespace {

sts::file_description plain_description() {
    sts::file_description d;
    d.format = sts::netcdf_format::netcdf4;
    d.file_bytes = 100000;
    d.memory_bytes = uint64_t{1} << 30;
    d.dimensions = {{"y", 3}, {"x", 4}, {"point", 6}, {"midpoint", 5}};
    d.variables = {{"x", NC_DOUBLE, {1}, false, false, {}},
                   {"y", NC_DOUBLE, {0}, false, false, {}},
                   {"bias", NC_FLOAT, {2}, false, false, {}},
                   {"vmid", NC_FLOAT, {3}, false, false, {}},
                   {"status", NC_BYTE, {0, 1}, false, false, {}},
                   {"didv", NC_FLOAT, {0, 1, 3}, false, false, {}}};
    return d;
}

}  // namespace

TEST(GridLayoutCheck, CurvesAreBoundedByMemory) {
    sts::file_description d = plain_description();
    sts::grid_layout layout;
    ASSERT_EQ(sts::check_grid_layout(d, &layout), "");
    ASSERT_EQ(layout.curves.size(), 1u);
    EXPECT_TRUE(layout.curves[0].midpoints);
    EXPECT_EQ(layout.curves[0].var, 5);
    d.memory_bytes = 3 * 4 * 5 * 4 - 1;  // one byte short of the copy of didv
    EXPECT_TRUE(contains(sts::check_grid_layout(d, &layout), "variable didv: 4 x 3 pixels of 5 values"));
    EXPECT_TRUE(layout.curves.empty());
}

TEST(GridLayoutCheck, CompressionIsBoundedByDeflatesRatio) {
    sts::file_description d = plain_description();
    sts::grid_layout layout;
    d.dimensions[0].length = 1000;
    d.dimensions[1].length = 1000;  // a status of 10^6 bytes in a file of 10^5
    EXPECT_TRUE(contains(sts::check_grid_layout(d, &layout), "variable status: declares 1000000 bytes"));
    d.variables[4].deflated = true;  // 10^6 <= 1032 * 10^5
    EXPECT_EQ(sts::check_grid_layout(d, &layout), "");
    d.variables[4].other_filter = true;
    EXPECT_TRUE(contains(sts::check_grid_layout(d, &layout), "compressed with a filter other than deflate"));
}

TEST(GridLayoutCheck, OverflowingProductsAreRefused) {
    sts::file_description d = plain_description();
    sts::grid_layout layout;
    d.dimensions[0].length = uint64_t{1} << 40;
    d.dimensions[1].length = uint64_t{1} << 40;
    d.variables.erase(d.variables.begin(), d.variables.begin() + 2);  // not x, y first
    d.variables.insert(d.variables.begin(), {"x", NC_DOUBLE, {1}, true, false, {}});
    EXPECT_NE(sts::check_grid_layout(d, &layout), "");
}
