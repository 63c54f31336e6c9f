// stsgrid end to end: the real binaries in a temporary folder.  Every value
// it writes equals what stsimport and normspec give through the text files;
// its statistics are pointmean's; threads change no byte.
#include <netcdf.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testkit/instrument_files.h"
#include "testkit/testkit.h"


namespace {

using testkit::read_file;
using testkit::temp_dir;
using testkit::write_file;

testkit::outcome tool(const char* bin, const std::string& cwd, std::vector<std::string> args,
                      const std::string& input = "") {
    args.insert(args.begin(), bin);
    testkit::run_options options;
    options.cwd = cwd;
    options.input = input;
    return testkit::run(args, options);
}

testkit::outcome stsgrid(const temp_dir& dir, std::vector<std::string> args) {
    return tool(STSGRID_BIN, dir.path(), std::move(args));
}

// A variable of a netCDF file, whole, as floats.
struct nc_file {
    int id = -1;
    explicit nc_file(const std::string& path) { EXPECT_EQ(nc_open(path.c_str(), NC_NOWRITE, &id), NC_NOERR) << path; }
    ~nc_file() {
        if (id >= 0) nc_close(id);
    }
    std::vector<float> floats(const std::string& name) const {
        int var = -1;
        EXPECT_EQ(nc_inq_varid(id, name.c_str(), &var), NC_NOERR) << name;
        int dims = 0;
        nc_inq_varndims(id, var, &dims);
        std::vector<int> ids(static_cast<size_t>(dims));
        nc_inq_vardimid(id, var, ids.data());
        size_t total = 1;
        for (int d : ids) {
            size_t length = 0;
            nc_inq_dimlen(id, d, &length);
            total *= length;
        }
        std::vector<float> v(total);
        EXPECT_EQ(nc_get_var_float(id, var, v.data()), NC_NOERR) << name;
        return v;
    }
    size_t dim(const std::string& name) const {
        int d = -1;
        size_t length = 0;
        nc_inq_dimid(id, name.c_str(), &d);
        nc_inq_dimlen(id, d, &length);
        return length;
    }
};

// The rows of a normspec result file from a record of the netCDF file.
std::string rows(const std::vector<float>& x, const float* y, size_t count) {
    std::string text;
    for (size_t j = 0; j < count; ++j) text += testkit::format("%f   %f\n", x[j], y[j]);
    return text;
}

size_t lines(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

// Which pixel each file of an stsimport series came from.
std::map<int, long> pixels_of_series(const std::string& index, long nx) {
    std::map<int, long> pixels;
    std::istringstream in(index);
    std::string line;
    std::getline(in, line);  // the header row
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string output, source, x, y;
        fields >> output >> source >> x >> y;
        pixels[std::stoi(output.substr(1))] = std::stol(y) * nx + std::stol(x);
    }
    return pixels;
}

// Runs the text path (stsimport, then normspec -l) on grid and compares
// every result file with the records of stsgrid's file.
void expect_text_path_agrees(const temp_dir& dir, const std::string& grid, const std::string& nc) {
    // An incomplete grid imports with status 1, its complete pixels kept.
    const int imported = tool(STSIMPORT_BIN, dir.path(), {"-o", "text", grid}).status;
    ASSERT_TRUE(imported == 0 || imported == 1);
    const nc_file f(dir / nc);
    const long nx = static_cast<long>(f.dim("x"));
    const size_t points = f.dim("point"), mids = f.dim("midpoint");
    const auto series = pixels_of_series(read_file(dir / "text/stsimport-index.tsv"), nx);
    ASSERT_EQ(tool(NORMSPEC_BIN, dir / "text", {"-l"}, std::to_string(series.size())).status, 0);
    const auto bias = f.floats("bias"), vmid = f.floats("vmid");
    const std::vector<std::pair<std::string, std::vector<float>>> at_points = {
        {"i.txt", f.floats("current")}, {"iv.txt", f.floats("iv")}};
    const std::vector<std::pair<std::string, std::vector<float>>> at_mids = {
        {"didv.txt", f.floats("didv")}, {"raw.txt", f.floats("norm_raw")},
        {"exp.txt", f.floats("norm_exp")}, {"coff.txt", f.floats("norm_coff")}};
    for (const auto& [k, pixel] : series) {
        const std::string base = dir / ("text/stxt" + std::to_string(k));
        const auto p = static_cast<size_t>(pixel);
        for (const auto& [suffix, values] : at_points) {
            const std::string text = read_file(base + suffix);
            EXPECT_EQ(rows(bias, values.data() + p * points, lines(text)), text) << k << suffix;
        }
        for (const auto& [suffix, values] : at_mids) {
            const std::string text = read_file(base + suffix);
            EXPECT_EQ(rows(vmid, values.data() + p * mids, lines(text)), text) << k << suffix;
        }
    }
}

float current_of(long pixel, long k) {
    const double v = -0.5 + 0.025 * static_cast<double>(k);
    return static_cast<float>(1e-9 * (std::sinh(3 * v) + 0.01 * static_cast<double>(pixel) * v * v) + 2e-11);
}

// The grid file with current(pixel, k) in both directions.
std::string grid_bytes(const testkit::nanonis_grid_layout& g,
                       const std::function<float(long, long)>& current) {
    return testkit::nanonis_grid(g, [&](long p, int, long k) { return current(p, k); });
}

TEST(TextPath, RealGridLine) {
    const std::string data = testkit::realdata_dir();
    if (data.empty()) GTEST_SKIP() << testkit::no_realdata;
    temp_dir dir;
    const std::string grid = data + "/raw/nanonis2025_Grid_Spectroscopy008.3ds";
    const auto r = stsgrid(dir, {"-o", "line.nc", grid});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "stsgrid: wrote line.nc: 32 x 1 pixels, 401 points; statistics over 32 pixels\n");
    expect_text_path_agrees(dir, grid, "line.nc");
}

TEST(TextPath, RealRhkMapAndLine) {
    const std::string data = testkit::realdata_dir();
    if (data.empty()) GTEST_SKIP() << testkit::no_realdata;
    temp_dir dir;
    const std::string map = data + "/raw/rhk2020_abc6_didv_map.sm4";
    auto r = stsgrid(dir, {"-o", "map.nc", map});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "stsgrid: wrote map.nc: 32 x 32 pixels, 81 points; statistics over 1024 pixels\n");
    expect_text_path_agrees(dir, map, "map.nc");
    temp_dir line_dir;
    const std::string line = data + "/raw/rhk2020_hopg_line_300K.sm4";
    r = stsgrid(line_dir, {"-o", "line.nc", line});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "stsgrid: wrote line.nc: 32 x 1 pixels, 241 points; statistics over 32 pixels\n");
    expect_text_path_agrees(line_dir, line, "line.nc");
}

TEST(TextPath, GeneratedGridWithGapsAndZeroBias) {
    // 0 V is among the 41 biases; pixel 5 was never measured; the last
    // pixel is missing from the file.
    temp_dir dir;
    testkit::nanonis_grid_layout g = testkit::raster_grid(4, 3, 41);
    g.written = g.nx * g.ny - 1;
    write_file(dir / "g.3ds", grid_bytes(g, [](long p, long k) {
                   return p == 5 ? NAN : current_of(p, k);
               }));
    const auto r = stsgrid(dir, {"g.3ds"});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_EQ(r.out,
              "stsgrid: wrote g.nc: 4 x 3 pixels, 41 points; statistics over 10 pixels\n"
              "stsgrid: 2 of 12 pixels not processed: 1 all values missing, 1 missing from the "
              "file (status codes in the variable 'status')\n");
    const nc_file f(dir / "g.nc");
    const auto status = f.floats("status");
    EXPECT_EQ(status[5], 5.0f);
    EXPECT_EQ(status[11], 6.0f);
    EXPECT_TRUE(std::isnan(f.floats("norm_raw")[5 * 40]));
    expect_text_path_agrees(dir, dir / "g.3ds", "g.nc");
}

TEST(TextPath, PixelsWithAxesOfTheirOwn) {
    // Every row sweeps to another end: the file keeps each pixel's axis.
    temp_dir dir;
    testkit::nanonis_grid_layout g = testkit::raster_grid(4, 3, 41);
    g.end_of = [](long p) { return 0.5f + 0.125f * static_cast<float>(p / 4); };
    write_file(dir / "g.3ds", grid_bytes(g, current_of));
    ASSERT_EQ(stsgrid(dir, {"g.3ds"}).status, 0);
    const nc_file f(dir / "g.nc");
    const auto bias = f.floats("pixel_bias");
    EXPECT_EQ(bias[40], 0.5f);            // pixel 0's last point
    EXPECT_EQ(bias[11 * 41 + 40], 0.75f);  // pixel 11's
    EXPECT_EQ(f.floats("bias")[40], 0.5f);
}

TEST(PixelStatus, SweepsCutShortAreMarked) {
    temp_dir dir;
    const testkit::nanonis_grid_layout g = testkit::raster_grid(3, 1, 41);
    write_file(dir / "g.3ds", grid_bytes(g, [](long p, long k) {
                   return p == 1 && k > 30 ? NAN : current_of(p, k);
               }));
    const auto r = stsgrid(dir, {"g.3ds"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.out.find("1 of 3 pixels not processed: 1 some values missing"), std::string::npos);
    const nc_file f(dir / "g.nc");
    EXPECT_EQ(f.floats("status"), (std::vector<float>{0, 8, 0}));
    EXPECT_TRUE(std::isnan(f.floats("current")[41]));
}

TEST(Xarray, AMapIsOneSelection) {
    if (!testkit::python_imports("xarray"))
        GTEST_FAIL() << testkit::missing_package("python3-xarray");
    temp_dir dir;
    const testkit::nanonis_grid_layout g = testkit::raster_grid(4, 3, 41);
    write_file(dir / "g.3ds", grid_bytes(g, current_of));
    ASSERT_EQ(stsgrid(dir, {"g.3ds"}).status, 0);
    const std::string script =
        "import xarray\n"
        "ds = xarray.open_dataset('g.nc')\n"
        "m = ds.norm_raw.swap_dims(midpoint='vmid').sel(vmid=0.11, method='nearest')\n"
        "print('%.9g' % float(m.vmid), m.dims, '%.9g' % float(m.isel(y=2, x=3)),\n"
        "      ds.norm_raw.attrs['units'], ds.bias.attrs['units'], ds.didv.attrs['units'],\n"
        "      '%.9g' % float(ds.mean_didv[5]))\n";
    write_file(dir / "map.py", script);
    const auto r = tool("/usr/bin/python3", dir.path(), {"map.py"});
    ASSERT_EQ(r.status, 0) << r.err;
    const nc_file f(dir / "g.nc");
    const auto vmid = f.floats("vmid");
    const size_t j = static_cast<size_t>(
        std::min_element(vmid.begin(), vmid.end(),
                         [](float a, float b) { return std::fabs(a - 0.11) < std::fabs(b - 0.11); }) -
        vmid.begin());
    const float value = f.floats("norm_raw")[11 * 40 + j];
    EXPECT_EQ(r.out, testkit::format("%.9g ('y', 'x') %.9g 1 V nA/V %.9g\n",
                                     static_cast<double>(vmid[j]), static_cast<double>(value),
                                     static_cast<double>(f.floats("mean_didv")[5])));
    // The same point of the same pixel through the text path: pixel (3, 2)
    // is the twelfth file of the import.
    ASSERT_EQ(tool(STSIMPORT_BIN, dir.path(), {"-o", "text", "g.3ds"}).status, 0);
    ASSERT_EQ(tool(NORMSPEC_BIN, dir / "text", {"-l", "-n", "-s"}, "12\n").status, 0);
    std::istringstream raw(read_file(dir / "text/stxt12raw.txt"));
    std::string row;
    for (size_t k = 0; k <= j; ++k) std::getline(raw, row);
    std::istringstream python(r.out);
    std::string python_vmid, dims_y, dims_x, python_value;
    python >> python_vmid >> dims_y >> dims_x >> python_value;
    EXPECT_EQ(row, testkit::format("%f   %f", std::stod(python_vmid), std::stod(python_value)));
}

TEST(Pictures, MapsAndMeanCurves) {
    if (!testkit::have_program("gnuplot")) GTEST_FAIL() << testkit::missing_package("gnuplot-nox");
    temp_dir dir;
    const testkit::nanonis_grid_layout g = testkit::raster_grid(4, 3, 41);
    write_file(dir / "g.3ds", grid_bytes(g, current_of));
    const auto r = stsgrid(dir, {"--map=-0.2,0.2", "--mean-plot", "g.3ds"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* name : {"g_map_-0.2.png", "g_map_0.2.png", "g_mean.png"})
        EXPECT_GT(read_file(dir / name).size(), 1000u) << name;
    // The mean text files in pointmean.txt's columns, one row a point.
    EXPECT_EQ(lines(read_file(dir / "g_mean_norm_raw.txt")), 40u);
    EXPECT_EQ(lines(read_file(dir / "g_mean_current.txt")), 41u);
}

TEST(Threads, TheFileIsTheSameWhateverTheirNumber) {
    temp_dir dir;
    // 143 pixels: blocks of 64 do not divide it.
    const testkit::nanonis_grid_layout g = testkit::raster_grid(13, 11, 41);
    write_file(dir / "g.3ds", grid_bytes(g, current_of));
    ASSERT_EQ(stsgrid(dir, {"-j", "1", "-o", "one.nc", "g.3ds"}).status, 0);
    ASSERT_EQ(stsgrid(dir, {"-j", "3", "-o", "three.nc", "g.3ds"}).status, 0);
    EXPECT_TRUE(read_file(dir / "one.nc") == read_file(dir / "three.nc"));
}

TEST(Statistics, PointmeanFileEqualsPointmeansOwn) {
    temp_dir dir;
    const testkit::nanonis_grid_layout g = testkit::raster_grid(4, 3, 41);
    write_file(dir / "g.3ds", grid_bytes(g, current_of));
    ASSERT_EQ(stsgrid(dir, {"--pointmean", "pm.txt", "--region", "1:2,0:2", "g.3ds"}).status, 0);
    // The same pixels as a pointmean series: columns 1 and 2 of each row.
    ASSERT_EQ(tool(STSIMPORT_BIN, dir.path(), {"-o", "all", "--names", "stxt", "g.3ds"}).status, 0);
    std::filesystem::create_directory(dir / "series");
    int k = 0;
    for (int y = 0; y < 3; ++y)
        for (int x = 1; x <= 2; ++x)
            std::filesystem::copy_file(dir / ("all/stxt" + std::to_string(y * 4 + x + 1) + "p.txt"),
                                       dir / ("series/stxt" + std::to_string(++k) + "p.txt"));
    const auto r = tool(POINTMEAN_BIN, dir / "series", {}, "6 41\n");
    ASSERT_EQ(r.status, 1) << r.out;
    EXPECT_EQ(read_file(dir / "pm.txt"), read_file(dir / "series/pointmean.txt"));
}

TEST(CommandLine, HelpVersionAndMistakes) {
    temp_dir dir;
    auto r = stsgrid(dir, {"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Usage: stsgrid"), std::string::npos);
    r = stsgrid(dir, {"--version"});
    EXPECT_EQ(r.out, "stsgrid 3.0\n");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"--bogus", "g.3ds"}, {"-j", "0", "g.3ds"},
          {"--region", "3:1,0:0", "g.3ds"}, {"--each-sweep", "g.3ds"}, {"--map", "x", "g.3ds"}}) {
        r = stsgrid(dir, args);
        EXPECT_EQ(r.status, 2) << args.size();
        EXPECT_NE(r.err.find("Try 'stsgrid --help'"), std::string::npos);
    }
    EXPECT_TRUE(testkit::list_dir(dir.path()).empty());
}

TEST(BadInput, ClearMessagesAndNothingHalfWritten) {
    temp_dir dir;
    const testkit::nanonis_grid_layout g = testkit::raster_grid(4, 3, 41);
    write_file(dir / "g.3ds", grid_bytes(g, current_of));
    std::string absurd = grid_bytes(g, current_of);
    absurd.replace(absurd.find("Points=41"), 9, "Points=999999999");
    write_file(dir / "absurd.3ds", absurd);
    auto r = stsgrid(dir, {"absurd.3ds"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("stsgrid: absurd.3ds: ", 0), 0u) << r.err;
    r = stsgrid(dir, {"missing.3ds"});
    EXPECT_EQ(r.status, 1);
    // A disk that fills: no file under the final name, no temporary left.
    testkit::run_options options;
    options.cwd = dir.path();
    options.file_size_limit = 4096;
    r = testkit::run({STSGRID_BIN, "-o", "full.nc", "g.3ds"}, options);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(testkit::list_dir(dir.path()),
              (std::vector<std::string>{"absurd.3ds", "g.3ds"}));
    // The output never replaces an input.
    r = stsgrid(dir, {"-o", "g.3ds", "g.3ds"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(read_file(dir / "g.3ds"), grid_bytes(g, current_of));
}

TEST(Geometry, NonSquareTurnedGridKeepsItsOrientation) {
    // 3 x 2 pixels in a frame turned by 30 degrees: the measured positions,
    // turned back into the grid's axes, are each pixel's place in the frame
    // (2 nm a pixel along x, 2 nm a row along y).
    temp_dir dir;
    write_file(dir / "g.3ds", grid_bytes(testkit::turned_raster_grid(3, 2, 41, 30), current_of));
    const auto r = stsgrid(dir, {"g.3ds"});
    ASSERT_EQ(r.status, 0) << r.err;
    const nc_file f(dir / "g.nc");
    EXPECT_EQ(f.dim("x"), 3u);
    EXPECT_EQ(f.dim("y"), 2u);
    const auto x = f.floats("position_x"), y = f.floats("position_y");
    ASSERT_EQ(x.size(), 6u);
    for (long p = 0; p < 6; ++p) {
        EXPECT_NEAR(x[p], 2.0 * static_cast<double>(p % 3), 1e-5) << p;
        EXPECT_NEAR(y[p], 2.0 * static_cast<double>(p / 3), 1e-5) << p;
    }
    // The frame is 6 x 4 nm, a pixel at each 2 nm cell's centre: the axes
    // and the measured positions in them agree.
    const auto xs = f.floats("x"), ys = f.floats("y");
    EXPECT_EQ(xs, (std::vector<float>{1, 3, 5}));
    EXPECT_EQ(ys, (std::vector<float>{1, 3}));
    const auto u = f.floats("position_frame_x"), v = f.floats("position_frame_y");
    ASSERT_EQ(u.size(), 6u);
    for (long p = 0; p < 6; ++p) {
        EXPECT_NEAR(u[p], xs[static_cast<size_t>(p % 3)], 1e-5) << p;
        EXPECT_NEAR(v[p], ys[static_cast<size_t>(p / 3)], 1e-5) << p;
    }
    char angle[64] = {};
    size_t length = 0;
    ASSERT_EQ(nc_inq_attlen(f.id, NC_GLOBAL, "scan_angle", &length), NC_NOERR);
    ASSERT_LT(length, sizeof angle);
    ASSERT_EQ(nc_get_att_text(f.id, NC_GLOBAL, "scan_angle", angle), NC_NOERR);
    EXPECT_EQ(std::string(angle), "30 degrees");
    // Each pixel's curves where stsimport's index puts that pixel.
    expect_text_path_agrees(dir, dir / "g.3ds", "g.nc");
}

TEST(Geometry, UnturnedGridsHaveNoAngle) {
    temp_dir dir;
    write_file(dir / "g.3ds", grid_bytes(testkit::raster_grid(4, 3, 41), current_of));
    ASSERT_EQ(stsgrid(dir, {"g.3ds"}).status, 0);
    const nc_file f(dir / "g.nc");
    size_t length = 0;
    EXPECT_EQ(nc_inq_attlen(f.id, NC_GLOBAL, "scan_angle", &length), NC_ENOTATT);
    EXPECT_EQ(f.floats("position_x")[5], 2.0f);  // as measured
    EXPECT_EQ(f.floats("position_y")[5], 2.0f);
}

TEST(BadInput, NotASpectrumAtAllWritesNothing) {
    temp_dir dir;
    write_file(dir / "passwd",
               "root:x:0:0:root:/root:/bin/bash\nbin:x:1:1:bin:/bin:/sbin/nologin\n");
    write_file(dir / "words.txt", "just some words\n");
    write_file(dir / "b.bin", std::string("\x13\x37\x00\x01\x02\x03\x04\x05\x06\x07", 10));
    write_file(dir / "never.3ds",
               grid_bytes(testkit::raster_grid(4, 3, 41), [](long, long) { return NAN; }));
    const std::string formats =
        "a Nanonis .dat or .3ds file, a Createc .VERT file, an Omicron MATRIX curve or text "
        "export, an RHK .sm4 file, delimited text with a header row or plain pairs of numbers";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"passwd"}, "passwd: holds no spectrum (it is not " + formats + ")"},
        {{"passwd", "words.txt"}, "none of the 2 inputs holds a spectrum (" + formats + ")"},
        {{"b.bin"}, "b.bin: binary data of an unknown format"},
        {{"never.3ds"},
         "never.3ds: no pixel of the grid holds a spectrum (every pixel's values are missing)"},
    };
    for (const auto& [args, message] : cases) {
        const auto r = stsgrid(dir, args);
        EXPECT_EQ(r.status, 1) << message;
        EXPECT_EQ(r.err, "stsgrid: " + message + "\n");
    }
    EXPECT_EQ(testkit::list_dir(dir.path()),
              (std::vector<std::string>{"b.bin", "never.3ds", "passwd", "words.txt"}));
}


// ---------------------------------------------------------------------------
// --smooth: the current smoothed as measured, before everything else.

std::string global_text(const std::string& path, const char* name) {
    int id = -1;
    if (nc_open(path.c_str(), NC_NOWRITE, &id) != NC_NOERR) return "(no file)";
    size_t length = 0;
    std::string text = "(none)";
    if (nc_inq_attlen(id, NC_GLOBAL, name, &length) == NC_NOERR) {
        text.assign(length, '\0');
        nc_get_att_text(id, NC_GLOBAL, name, text.data());
    }
    nc_close(id);
    return text;
}

// A current with noise of a few per cent on it, for the filter to take off.
float noisy_current_of(long pixel, long k) {
    const double noise = 3e-11 * std::sin(2.7 * static_cast<double>(k) + static_cast<double>(pixel));
    return static_cast<float>(static_cast<double>(current_of(pixel, k)) + noise);
}

TEST(Smoothing, CurrentIsScipysFilterThenTheOffset) {
    if (!testkit::python_imports("scipy.signal"))
        GTEST_FAIL() << testkit::missing_package("python3-scipy");
    temp_dir dir;
    const testkit::nanonis_grid_layout g = testkit::raster_grid(3, 2, 41);
    write_file(dir / "g.3ds", grid_bytes(g, noisy_current_of));
    ASSERT_EQ(stsgrid(dir, {"-o", "plain.nc", "g.3ds"}).status, 0);
    const auto r = stsgrid(dir, {"--smooth=7:3", "-o", "s.nc", "g.3ds"});
    ASSERT_EQ(r.status, 0) << r.err;
    const nc_file f(dir / "s.nc");
    std::string bias_text, currents;
    for (float b : f.floats("bias")) bias_text += testkit::format("%.9g\n", static_cast<double>(b));
    for (long p = 0; p < 6; ++p) {
        for (long k = 0; k < 41; ++k)
            currents += testkit::format("%.9g ", static_cast<double>(noisy_current_of(p, k)));
        currents += "\n";
    }
    write_file(dir / "bias.txt", bias_text);
    write_file(dir / "currents.txt", currents);
    const auto python = tool("/usr/bin/python3", dir.path(),
                             {STSGRID_TEST_DIR "/smoothed_current.py", "7", "3", "bias.txt",
                              "currents.txt"});
    ASSERT_EQ(python.status, 0) << python.err;
    std::istringstream expected(python.out);
    const auto ours = f.floats("current"), plain = nc_file(dir / "plain.nc").floats("current");
    double largest_change = 0;
    for (size_t j = 0; j < ours.size(); ++j) {
        double value = 0;
        ASSERT_TRUE(expected >> value) << j;
        // A few float roundings of currents of about 1 nA: the import's
        // scaling, the filter's and the offset's.
        EXPECT_NEAR(ours[j], value, 1e-6) << "pixel " << j / 41 << " point " << j % 41;
        largest_change = std::fmax(largest_change, std::fabs(ours[j] - plain[j]));
    }
    EXPECT_GT(largest_change, 0.01);  // the noise of 0.03 nA is gone
    EXPECT_EQ(global_text(dir / "s.nc", "smoothing"),
              "Savitzky-Golay, window 7 points, order 3, on the current as measured; ends "
              "from the fits over the first and last windows");
    EXPECT_EQ(global_text(dir / "plain.nc", "smoothing"), "(none)");
}

TEST(Smoothing, DefaultOrderIsTwoAndThreadsChangeNoByte) {
    temp_dir dir;
    write_file(dir / "g.3ds", grid_bytes(testkit::raster_grid(5, 4, 41), noisy_current_of));
    ASSERT_EQ(stsgrid(dir, {"--smooth=11", "-j1", "-o", "one.nc", "g.3ds"}).status, 0);
    ASSERT_EQ(stsgrid(dir, {"--smooth=11:2", "-j3", "-o", "three.nc", "g.3ds"}).status, 0);
    EXPECT_EQ(read_file(dir / "one.nc"), read_file(dir / "three.nc"));
    EXPECT_NE(global_text(dir / "one.nc", "smoothing").find("window 11 points, order 2"),
              std::string::npos);
}

TEST(Smoothing, ASpectrumShorterThanTheWindowIsOneFit) {
    // Four points and order 3: the cubic through them is the spectrum
    // itself, so the pixel is what it is without smoothing; order 2 takes
    // the cubic (-1, 3, -3, 1) out of (0, 0, 0, 20): (1, -3, 3, 19).
    temp_dir dir;
    write_file(dir / "a.txt", "-0.3 0\n-0.1 0\n0.1 0\n0.3 20\n");
    write_file(dir / "b.txt", "-0.3 1\n-0.1 2.5\n0.1 2\n0.3 5\n");
    ASSERT_EQ(stsgrid(dir, {"-o", "plain.nc", "a.txt", "b.txt"}).status, 0);
    ASSERT_EQ(stsgrid(dir, {"--smooth=11:3", "-o", "cubic.nc", "a.txt", "b.txt"}).status, 0);
    ASSERT_EQ(stsgrid(dir, {"--smooth=11", "-o", "quadratic.nc", "a.txt", "b.txt"}).status, 0);
    EXPECT_EQ(nc_file(dir / "cubic.nc").floats("current"),
              nc_file(dir / "plain.nc").floats("current"));
    // The offset removal then subtracts one value from all four, which
    // leaves the steps between neighbours (up to its rounding).
    const auto current = nc_file(dir / "quadratic.nc").floats("current");
    EXPECT_NEAR(current[1] - current[0], -4.0f, 1e-5);
    EXPECT_NEAR(current[2] - current[1], 6.0f, 1e-5);
    EXPECT_NEAR(current[3] - current[2], 16.0f, 1e-5);
    EXPECT_EQ(nc_file(dir / "quadratic.nc").floats("status"), (std::vector<float>{0, 0}));
}

TEST(Smoothing, WrongWindowsAndOrdersSayWhatToDo) {
    temp_dir dir;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"--smooth=12", "the smoothing window must be an odd number of points from 1 to 9999"},
        {"--smooth=0", "the smoothing window must be an odd number"},
        {"--smooth=5:5", "order must be from 0 to 12 and below the window of 5 points, not 5; "
                         "widen the window or lower the order"},
        {"--smooth=41:13", "order must be from 0 to 12"},
        {"--smooth=11:", "smooth needs a window of points and optionally a polynomial order"},
        {"--smooth=eleven", "like 11 or 11:3, not 'eleven'"},
    };
    for (const auto& [option, message] : cases) {
        const auto r = stsgrid(dir, {option, "g.3ds"});
        EXPECT_EQ(r.status, 2) << option;
        EXPECT_NE(r.err.find(message), std::string::npos) << option << ": " << r.err;
    }
}

}  // namespace
