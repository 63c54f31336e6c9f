// The grid's netCDF-4 file, read back through the netCDF C library (and
// through xarray where Debian's is installed).
#include <gtest/gtest.h>
#include <malloc.h>
#include <netcdf.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <csignal>
#include <thread>

#include "grid/netcdf_writer.h"
#include "testkit/testkit.h"
#ifdef NORMSPEC_SANITIZED
#include <sanitizer/lsan_interface.h>
#endif

using namespace sts;

namespace {

const float nan = std::numeric_limits<float>::quiet_NaN();

grid_description small_grid(long nx, long ny, int points) {
    grid_description d;
    d.nx = nx;
    d.ny = ny;
    d.points = points;
    d.source = "grid_7.3ds";
    d.bias_unit = "mV";
    d.current_unit = "pA";
    d.xy_unit = "nm";
    for (long k = 0; k < nx; ++k) d.x.push_back(0.25 * static_cast<double>(k));
    for (long k = 0; k < ny; ++k) d.y.push_back(10 + 0.5 * static_cast<double>(k));
    for (int k = 0; k < points; ++k) d.bias.push_back(static_cast<float>(k) - 2);
    for (int k = 0; k + 1 < points; ++k) d.vmid.push_back(static_cast<float>(k) - 1.5f);
    d.has_positions = true;
    d.attributes = {{"exp_width", "1.33"}, {"coff_offset", "0.05"}};
    return d;
}

// Every third pixel is not processed; the others hold values that say which
// pixel and point they belong to.
bool processed(uint64_t p) { return p % 3 != 1; }
float value(uint64_t p, int k, float kind) {
    return processed(p) ? static_cast<float>(p) * 100 + static_cast<float>(k) + kind : nan;
}

pixel_block make_block(const grid_description& d, uint64_t first, int count) {
    pixel_block b;
    b.first = first;
    b.count = count;
    b.points = d.points;
    for (uint64_t p = first; p < first + static_cast<uint64_t>(count); ++p) {
        for (int k = 0; k < d.points; ++k) {
            b.current.push_back(value(p, k, 0.25f));
            b.iv.push_back(value(p, k, 0.5f));
            b.bias.push_back(value(p, k, 0.75f));
        }
        std::vector<float>* midpoint_arrays[] = {&b.didv, &b.norm_raw, &b.norm_exp, &b.norm_coff,
                                                 &b.vmid};
        for (int k = 0; k + 1 < d.points; ++k)
            for (int kind = 0; kind < 5; ++kind)
                midpoint_arrays[kind]->push_back(value(p, k, static_cast<float>(kind)));
        b.status.push_back(processed(p) ? PIXEL_PROCESSED : PIXEL_TWO_POINTS);
        b.position_x.push_back(static_cast<float>(p));
        b.position_y.push_back(-static_cast<float>(p));
    }
    return b;
}

// Writes pixels 0 .. upto - 1 in blocks of `block` and commits.
bool write_grid(const std::string& path, const grid_description& d, int block, long upto,
                std::string* error) {
    netcdf_writer w;
    if (!w.create(path, d, error)) return false;
    for (long p = 0; p < upto; p += block)
        if (!w.write(make_block(d, p, static_cast<int>(std::min<long>(block, upto - p))), error))
            return false;
    const std::vector<float> m(static_cast<size_t>(d.points - 1), 1.5f);
    return w.write_statistics("didv", m, m, m, upto, error) && w.commit(error);
}

// An open file read through the netCDF C library.
struct nc_file {
    int id = -1;
    explicit nc_file(const std::string& path) { EXPECT_EQ(nc_open(path.c_str(), NC_NOWRITE, &id), NC_NOERR); }
    ~nc_file() { nc_close(id); }
    int var(const char* name) const {
        int v = -1;
        EXPECT_EQ(nc_inq_varid(id, name, &v), NC_NOERR) << name;
        return v;
    }
    std::string text(const char* var_name, const char* att) const {
        const int v = var_name ? var(var_name) : NC_GLOBAL;
        size_t length = 0;
        nc_inq_attlen(id, v, att, &length);
        std::string s(length, '\0');
        nc_get_att_text(id, v, att, s.data());
        return s;
    }
    // "y,x,point" and the number of values.
    std::string dims(const char* var_name, size_t* total = nullptr) const {
        int n = 0, ids[NC_MAX_VAR_DIMS];
        nc_inq_var(id, var(var_name), nullptr, nullptr, &n, ids, nullptr);
        std::string names;
        for (int k = 0; k < n; ++k) {
            char name[NC_MAX_NAME + 1];
            size_t length = 0;
            nc_inq_dim(id, ids[k], name, &length);
            names += (k ? "," : "") + std::string(name);
            if (total) *total = (k ? *total : 1) * length;
        }
        return names;
    }
    std::vector<float> floats(const char* var_name) const {
        size_t total = 0;
        dims(var_name, &total);
        std::vector<float> v(total);
        EXPECT_EQ(nc_get_var_float(id, var(var_name), v.data()), NC_NOERR);
        return v;
    }
};

// got holds the records of pixels first .. first + pixels - 1.
void expect_records(const std::vector<float>& got, long pixels, int record, float kind,
                    long first = 0) {
    ASSERT_EQ(got.size(), static_cast<size_t>(pixels * record));
    for (long p = 0; p < pixels; ++p)
        for (int k = 0; k < record; ++k) {
            const float want = value(static_cast<uint64_t>(first + p), k, kind);
            const float have = got[static_cast<size_t>(p * record + k)];
            if (std::isnan(want))
                EXPECT_TRUE(std::isnan(have)) << "pixel " << p << " point " << k;
            else
                EXPECT_EQ(have, want) << "pixel " << p << " point " << k;
        }
}

}  // namespace

// Blocks of 4 on rows of 5 pixels: every block but one crosses a row.
TEST(NetcdfWriter, NamesDimensionsUnitsAndValuesReadBack) {
    testkit::temp_dir dir;
    const grid_description d = small_grid(5, 3, 6);
    std::string error;
    ASSERT_TRUE(write_grid(dir / "g.nc", d, 4, 15, &error)) << error;
    nc_file f(dir / "g.nc");
    const char* const layout[][3] = {
        {"current", "y,x,point", "pA"},       {"iv", "y,x,point", "pA/mV"},
        {"didv", "y,x,midpoint", "pA/mV"},    {"norm_raw", "y,x,midpoint", "1"},
        {"norm_exp", "y,x,midpoint", "1"},    {"norm_coff", "y,x,midpoint", "1"},
        {"status", "y,x", "1"},               {"position_y", "y,x", "nm"},
        {"bias", "point", "mV"},              {"vmid", "midpoint", "mV"},
        {"x", "x", "nm"},                     {"mean_didv", "midpoint", "pA/mV"},
        {"se_current", "point", "pA"},        {"sd_norm_exp", "midpoint", "1"}};
    for (const auto& [name, dims, units] : layout) {
        EXPECT_EQ(f.dims(name), dims) << name;
        EXPECT_EQ(f.text(name, "units"), units) << name;
    }
    const char* const globals[][2] = {{"source", "grid_7.3ds"}, {"software", "stsgrid 3.0"},
                                      {"exp_width", "1.33"}, {"Conventions", "CF-1.8"}};
    for (const auto& [name, text] : globals) EXPECT_EQ(f.text(nullptr, name), text);
    EXPECT_EQ(f.text("status", "flag_meanings").substr(0, 25), "processed too_few_points ");
    int absent = -1;
    EXPECT_EQ(nc_inq_varid(f.id, "pixel_bias", &absent), NC_ENOTVAR) << "no per-pixel axes";

    expect_records(f.floats("current"), 15, 6, 0.25f);
    expect_records(f.floats("iv"), 15, 6, 0.5f);
    expect_records(f.floats("didv"), 15, 5, 0);
    expect_records(f.floats("norm_coff"), 15, 5, 3);
    EXPECT_EQ(f.floats("bias"), d.bias);
    EXPECT_EQ(f.floats("position_x")[13], 13.0f);
    EXPECT_EQ(f.floats("mean_didv"), std::vector<float>(5, 1.5f));
    EXPECT_TRUE(std::isnan(f.floats("mean_norm_raw")[0])) << "statistics not written stay NaN";
    float fill = 0;
    EXPECT_EQ(nc_get_att_float(f.id, f.var("norm_raw"), "_FillValue", &fill), NC_NOERR);
    EXPECT_TRUE(std::isnan(fill));
    long long pixels = 0;
    EXPECT_EQ(nc_get_att_longlong(f.id, f.var("sd_didv"), "pixels", &pixels), NC_NOERR);
    EXPECT_EQ(pixels, 15);
    signed char status[15];
    ASSERT_EQ(nc_get_var_schar(f.id, f.var("status"), status), NC_NOERR);
    for (int p = 0; p < 15; ++p) EXPECT_EQ(status[p], processed(p) ? 0 : PIXEL_TWO_POINTS) << p;
}

// A grid that ends early keeps what was written; the rest is marked.
TEST(NetcdfWriter, PixelsNeverWrittenAreMarkedMissing) {
    testkit::temp_dir dir;
    grid_description d = small_grid(4, 3, 3);
    d.per_pixel_axis = true;
    d.has_positions = false;
    std::string error;
    ASSERT_TRUE(write_grid(dir / "g.nc", d, 5, 7, &error)) << error;
    nc_file f(dir / "g.nc");
    signed char status[12];
    ASSERT_EQ(nc_get_var_schar(f.id, f.var("status"), status), NC_NOERR);
    for (int p = 7; p < 12; ++p) EXPECT_EQ(status[p], PIXEL_MISSING) << p;
    const std::vector<float> current = f.floats("current");
    EXPECT_EQ(current[6 * 3 + 2], value(6, 2, 0.25f));
    EXPECT_TRUE(std::isnan(current[7 * 3]));
    std::vector<float> axis = f.floats("pixel_bias");
    expect_records({axis.begin(), axis.begin() + 7 * 3}, 7, 3, 0.75f);
    axis = f.floats("pixel_vmid");
    expect_records({axis.begin(), axis.begin() + 7 * 2}, 7, 2, 4);
    int none = -1;
    EXPECT_EQ(nc_inq_varid(f.id, "position_x", &none), NC_ENOTVAR);
}

// A second pass reads back what the first wrote, across rows, before commit.
TEST(NetcdfWriter, ReadsBackRecordsOfTheOpenFile) {
    testkit::temp_dir dir;
    const grid_description d = small_grid(5, 3, 4);
    netcdf_writer w;
    std::string error;
    ASSERT_TRUE(w.create(dir / "g.nc", d, &error)) << error;
    ASSERT_TRUE(w.write(make_block(d, 0, 9), &error)) << error;
    std::vector<float> out(4 * 3);
    ASSERT_TRUE(w.read("didv", 3, 4, out.data(), &error)) << error;
    expect_records(out, 4, 3, 0, 3);
    ASSERT_TRUE(w.read("current", 9, 2, out.data(), &error)) << error;
    EXPECT_TRUE(std::isnan(out[0])) << "not written yet";
    EXPECT_FALSE(w.read("status", 0, 1, out.data(), &error));
    EXPECT_FALSE(w.read("didv", 14, 2, out.data(), &error)) << "beyond the last pixel";
}

// Refused calls say why and leave the writer able to finish.
TEST(NetcdfWriter, RefusesBlocksOutOfOrderOrOfTheWrongSize) {
    testkit::temp_dir dir;
    const grid_description d = small_grid(3, 2, 4);
    netcdf_writer w;
    std::string error;
    EXPECT_FALSE(w.write(make_block(d, 0, 1), &error)) << "before create";
    grid_description bad = d;
    bad.vmid.pop_back();
    EXPECT_FALSE(w.create(dir / "g.nc", bad, &error));
    EXPECT_NE(error.find("bias axes"), std::string::npos) << error;

    netcdf_writer v;
    ASSERT_TRUE(v.create(dir / "g.nc", d, &error)) << error;
    EXPECT_FALSE(v.write(make_block(d, 1, 2), &error));
    EXPECT_NE(error.find("pixel 1"), std::string::npos) << error;
    pixel_block short_one = make_block(d, 0, 2);
    short_one.norm_exp.pop_back();
    EXPECT_FALSE(v.write(short_one, &error));
    EXPECT_NE(error.find("norm_exp"), std::string::npos) << error;
    EXPECT_FALSE(v.write(make_block(d, 0, 7), &error)) << "beyond the grid";
    EXPECT_FALSE(v.write_statistics("iv", {1}, {1}, {1}, 1, &error));
    EXPECT_FALSE(v.write_statistics("didv", {1}, {1}, {1}, 1, &error)) << "wrong length";
    ASSERT_TRUE(v.write(make_block(d, 0, 6), &error)) << error;
    ASSERT_TRUE(v.commit(&error)) << error;
    EXPECT_FALSE(v.commit(&error)) << "twice";
}

// Nothing stands under the final name until commit; an abandoned or failed
// file leaves nothing at all.
TEST(NetcdfWriter, TemporaryFileUntilCommitAndNothingLeftOtherwise) {
    testkit::temp_dir dir;
    const grid_description d = small_grid(3, 2, 4);
    std::string error;
    {
        netcdf_writer w;
        ASSERT_TRUE(w.create(dir / "g.nc", d, &error)) << error;
        ASSERT_TRUE(w.write(make_block(d, 0, 6), &error));
        const std::vector<std::string> names = testkit::list_dir(dir.path());
        ASSERT_EQ(names.size(), 1u);
        EXPECT_EQ(names[0].rfind(".g.nc.part" + std::to_string(getpid()) + "-", 0), 0u) << names[0];
    }
    EXPECT_TRUE(testkit::list_dir(dir.path()).empty()) << "abandoned";

    testkit::write_file(dir / "file", "");
    netcdf_writer w;
    EXPECT_FALSE(w.create(dir / "file/g.nc", d, &error));
    EXPECT_NE(error.find("file/g.nc"), std::string::npos) << error;
    EXPECT_EQ(testkit::list_dir(dir.path()), std::vector<std::string>{"file"});
}

// A disk that fills up (a file size limit here): too small from the start,
// create() refuses; filling while writing, write() or commit() fails.
// Either way a clear message, no file, and an orderly exit (HDF5 crashed
// at exit once it had failed to write).
TEST(NetcdfWriter, FullDiskLeavesNoFileAndNoCrash) {
    for (const bool late : {false, true}) {
        testkit::temp_dir dir;
        const testkit::outcome o = testkit::run_in_child([&] {
#ifdef NORMSPEC_SANITIZED
            __lsan_disable();  // HDF5 keeps one chunk of a file whose write failed
#endif
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{200 * 1024, 200 * 1024};
            if (!late) setrlimit(RLIMIT_FSIZE, &limit);
            const grid_description d = small_grid(64, 64, 100);
            std::string error;
            bool ok = false;
            {
                netcdf_writer w;
                ok = w.create(dir / "big.nc", d, &error);
                if (late) setrlimit(RLIMIT_FSIZE, &limit);
                for (uint64_t p = 0; ok && p < 64 * 64; p += 64)
                    ok = w.write(make_block(d, p, 64), &error);
                ok = ok && w.commit(&error);
            }
            std::fputs(error.c_str(), stderr);
            std::exit(ok ? 0 : 3);
        });
        EXPECT_EQ(o.status, 3) << o.err;
        EXPECT_NE(o.err.find("cannot write " + dir / "big.nc: "), std::string::npos) << o.err;
        EXPECT_NE(o.err.find(late ? "HDF error (File too large)" : "File too large (the file needs up to"),
                  std::string::npos) << o.err;
        EXPECT_TRUE(testkit::list_dir(dir.path()).empty());
    }
}

// The same calls give the same bytes: seconds apart and with different
// garbage in freed memory (nothing uninitialised or time-stamped is
// written).
TEST(NetcdfWriter, SameCallsGiveTheSameBytes) {
    testkit::temp_dir dir;
    for (int perturb : {0x11, 0xee}) {
        const testkit::outcome o = testkit::run_in_child([&] {
            mallopt(M_PERTURB, perturb);
            std::string error;
            const bool ok = write_grid(dir / ("g" + std::to_string(perturb) + ".nc"),
                                       small_grid(70, 4, 50), 33, 280, &error);
            std::fputs(error.c_str(), stderr);
            _exit(ok ? 0 : 3);
        });
        ASSERT_EQ(o.status, 0) << o.err;
        if (perturb == 0x11) std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    }
    const std::string a = testkit::read_file(dir / "g17.nc"), b = testkit::read_file(dir / "g238.nc");
    EXPECT_GT(a.size(), 0u);
    EXPECT_TRUE(a == b) << "the two files differ";
}

// Chunks of whole records along one row, small enough that a wide grid does
// not need more memory than a narrow one.
TEST(NetcdfWriter, PerPixelVariablesAreChunkedByRows) {
    testkit::temp_dir dir;
    std::string error;
    ASSERT_TRUE(write_grid(dir / "g.nc", small_grid(300, 2, 1000), 300, 0, &error)) << error;
    nc_file f(dir / "g.nc");
    int storage = -1;
    size_t chunk[3] = {};
    ASSERT_EQ(nc_inq_var_chunking(f.id, f.var("norm_raw"), &storage, chunk), NC_NOERR);
    EXPECT_EQ(storage, NC_CHUNKED);
    EXPECT_EQ(chunk[0], 1u);
    EXPECT_EQ(chunk[2], 999u);
    EXPECT_LE(chunk[1] * chunk[2] * 4, 256u * 1024);
    EXPECT_GT(chunk[1] * chunk[2] * 4, 128u * 1024);
}

// HDF5 stores a chunk that reaches past the grid's edge whole: rows cut into
// pieces of at most the chunk limit must be cut evenly, or a 200-pixel row
// of 1000-point spectra (65 + 65 + 65 + 5 pixels) takes room for 260.
TEST(NetcdfWriter, ChunksReachPastTheEdgeByLessThanAPixelEach) {
    testkit::temp_dir dir;
    std::string error;
    for (long nx : {100L, 163L, 200L, 257L, 333L, 512L}) {
        ASSERT_TRUE(write_grid(dir / "g.nc", small_grid(nx, 1, 1000), 1, 0, &error)) << error;
        nc_file f(dir / "g.nc");
        size_t chunk[3] = {};
        int storage = -1;
        ASSERT_EQ(nc_inq_var_chunking(f.id, f.var("didv"), &storage, chunk), NC_NOERR);
        const size_t pieces = (static_cast<size_t>(nx) + chunk[1] - 1) / chunk[1];
        EXPECT_LT(pieces * chunk[1] - static_cast<size_t>(nx), pieces) << nx << " pixels wide";
        EXPECT_LE(chunk[1] * chunk[2] * 4, 256u * 1024) << nx;
    }
}

// The file holds its data and little else: every variable's size from the
// file's own dimensions, against the file's size on disk.
TEST(NetcdfWriter, FileSizeIsTheDataItHolds) {
    testkit::temp_dir dir;
    std::string error;
    ASSERT_TRUE(write_grid(dir / "g.nc", small_grid(200, 3, 1000), 200, 600, &error)) << error;
    nc_file f(dir / "g.nc");
    int variables = 0;
    ASSERT_EQ(nc_inq_nvars(f.id, &variables), NC_NOERR);
    double data = 0;
    for (int v = 0; v < variables; ++v) {
        nc_type type;
        int dims = 0, dim_ids[NC_MAX_VAR_DIMS];
        ASSERT_EQ(nc_inq_var(f.id, v, nullptr, &type, &dims, dim_ids, nullptr), NC_NOERR);
        size_t bytes = 0;
        ASSERT_EQ(nc_inq_type(f.id, type, nullptr, &bytes), NC_NOERR);
        double count = 1;
        for (int d = 0; d < dims; ++d) {
            size_t length = 0;
            ASSERT_EQ(nc_inq_dimlen(f.id, dim_ids[d], &length), NC_NOERR);
            count *= static_cast<double>(length);
        }
        data += count * static_cast<double>(bytes);
    }
    const double on_disk = static_cast<double>(std::filesystem::file_size(dir / "g.nc"));
    EXPECT_LT(on_disk, 1.05 * data) << on_disk << " bytes on disk for " << data << " of data";
}

TEST(NetcdfWriter, OpensWithNcdumpAndXarray) {
    testkit::temp_dir dir;
    grid_description d = small_grid(5, 3, 6);
    d.bias_unit = "V";
    d.vmid = {-0.002f, -0.001f, 0.0f, 0.001f, 0.002f};
    std::string error;
    ASSERT_TRUE(write_grid(dir / "g.nc", d, 15, 15, &error)) << error;
    if (!testkit::file_exists("/usr/bin/ncdump"))
        GTEST_FAIL() << testkit::missing_package("netcdf-bin");
    const testkit::outcome dump = testkit::run({"/usr/bin/ncdump", "-h", dir / "g.nc"});
    EXPECT_EQ(dump.status, 0) << dump.err;
    EXPECT_NE(dump.out.find("float norm_raw(y, x, midpoint)"), std::string::npos) << dump.out;
    const char* python = "/usr/bin/python3";
    if (testkit::run({python, "-c", "import xarray, netCDF4"}).status != 0)
        GTEST_FAIL() << testkit::missing_package("python3-xarray, python3-netcdf4");
    const testkit::outcome o = testkit::run(
        {python, "-c",
         "import sys, xarray\n"
         "ds = xarray.open_dataset(sys.argv[1])\n"
         "m = ds.norm_raw.swap_dims(midpoint='vmid').sel(vmid=0.0011, method='nearest')\n"
         "print(m.sel(x=0.75, y=10.5).item(), m.isel(x=1, y=0).item(), ds.norm_raw.units)\n"
         "print(ds.status.dtype, ds.status.values[0, 1], ds.bias.units, ds.attrs['source'])\n",
         dir / "g.nc"});
    ASSERT_EQ(o.status, 0) << o.err;
    // vmid 0.001 is midpoint 3; pixel (x=3, y=1) is pixel 8, (1, 0) pixel 1.
    EXPECT_EQ(o.out, "804.0 nan 1\nint8 2 V grid_7.3ds\n");
}
