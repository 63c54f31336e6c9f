// The line cut's file on a disk that fills up (a file size limit here), as
// the grid's file is tested in netcdf_writer_test.cpp: too small from the
// start, the file is refused before HDF5 writes; filling while HDF5 writes
// (the netCDF layer under the line file, with its calls), a clear message.
// Either way no file is left and the process ends in order (HDF5 crashed at
// exit once it had failed to write a file it was not made to give up).
#include <gtest/gtest.h>
#include <netcdf.h>
#include <sys/resource.h>

#include <csignal>
#include <limits>

#include "grid/line_cut.h"
#include "grid/line_file.h"
#include "grid/netcdf_file.h"
#include "testkit/testkit.h"
#ifdef NORMSPEC_SANITIZED
#include <sanitizer/lsan_interface.h>
#endif

using namespace sts;

namespace {

grid_description line_grid(long nx, int points) {
    grid_description d;
    d.nx = nx;
    d.ny = 2;
    d.points = points;
    d.source = "grid_7.3ds";
    d.bias_unit = "V";
    d.current_unit = "A";
    d.xy_unit = "nm";
    for (long k = 0; k < nx; ++k) d.x.push_back(0.5 * static_cast<double>(k));
    d.y = {0.0, 0.5};
    for (int k = 0; k < points; ++k) d.bias.push_back(static_cast<float>(k) * 0.01f);
    for (int k = 0; k + 1 < points; ++k) d.vmid.push_back((static_cast<float>(k) + 0.5f) * 0.01f);
    return d;
}

void limit_file_size(rlim_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, bytes};
    setrlimit(RLIMIT_FSIZE, &limit);
}

}  // namespace

TEST(LineFile, WrittenWholeAndReadBack) {
    testkit::temp_dir dir;
    const grid_description d = line_grid(30, 20);
    line_collector c(d, line_cut(0, 0, 29, 1, d.x, d.y));
    const pixel_line line{true, 0, 0, 29, 1};
    std::string error;
    ASSERT_TRUE(write_line_file(dir / "g_line.nc", d, line, c, "g.nc", &error)) << error;
    EXPECT_EQ(testkit::list_dir(dir.path()), std::vector<std::string>{"g_line.nc"});
    int ncid = -1, dim = -1;
    size_t samples = 0;
    ASSERT_EQ(nc_open((dir / "g_line.nc").c_str(), NC_NOWRITE, &ncid), NC_NOERR);
    EXPECT_EQ(nc_inq_dimid(ncid, "sample", &dim), NC_NOERR);
    EXPECT_EQ(nc_inq_dimlen(ncid, dim, &samples), NC_NOERR);
    EXPECT_EQ(samples, 30u);
    nc_close(ncid);
}

// Too small from the start: the line file is refused before HDF5 writes,
// with the size it needs.
TEST(LineFile, ALimitTooSmallIsRefusedBeforeWriting) {
    testkit::temp_dir dir;
    const testkit::outcome o = testkit::run_in_child([&] {
        limit_file_size(200 * 1024);
        const grid_description d = line_grid(400, 300);
        std::string error;
        bool ok = false;
        {
            line_collector c(d, line_cut(0, 0, 399, 1, d.x, d.y));
            ok = write_line_file(dir / "g_line.nc", d, pixel_line{true, 0, 0, 399, 1}, c, "g.nc",
                                 &error);
        }
        std::fputs(error.c_str(), stderr);
        std::exit(ok ? 0 : 3);
    });
    EXPECT_EQ(o.status, 3) << o.err;
    EXPECT_NE(o.err.find("cannot write " + dir / "g_line.nc: File too large (the file needs up to"),
              std::string::npos) << o.err;
    EXPECT_TRUE(testkit::list_dir(dir.path()).empty());
}

// Filling while HDF5 writes: the limit comes after the room was reserved,
// and the layer's calls fail, say why, and leave nothing behind.  The
// variable is chunked, as the grid file's are: a write that fails into a
// contiguous variable (as the line file's are) leaves HDF5 1.10.8 with a
// file it crashes on when it closes it or at exit, descriptor silenced or
// not, so there the reservation is the only guard.
TEST(NetcdfFile, TheDiskFillingWhileHdf5WritesLeavesNoFileAndNoCrash) {
    testkit::temp_dir dir;
    const testkit::outcome o = testkit::run_in_child([&] {
#ifdef NORMSPEC_SANITIZED
        __lsan_disable();  // HDF5 keeps what it held of a file whose write failed
#endif
        std::string error;
        bool ok = false;
        {
            netcdf_file f;
            ok = f.create(dir / "g_line.nc", &error) && f.reserve(8u << 20, &error);
            limit_file_size(200 * 1024);
            int dim = -1, var = -1;
            f.run([&] { return nc_def_dim(f.id(), "sample", 1000000, &dim); });
            f.run([&] { return nc_def_var(f.id(), "current", NC_FLOAT, 1, &dim, &var); });
            const size_t chunk = 65536;
            f.run([&] { return nc_def_var_chunking(f.id(), var, NC_CHUNKED, &chunk); });
            f.run([&] { return nc_enddef(f.id()); });
            const std::vector<float> values(1000000, 1.5f);
            f.run([&] { return nc_put_var_float(f.id(), var, values.data()); });
            ok = ok && f.commit(&error);
        }
        std::fputs(error.c_str(), stderr);
        std::exit(ok ? 0 : 3);
    });
    EXPECT_EQ(o.status, 3) << o.err;
    EXPECT_NE(o.err.find("cannot write " + dir / "g_line.nc: NetCDF: HDF error (File too large)"),
              std::string::npos) << o.err;
    EXPECT_TRUE(testkit::list_dir(dir.path()).empty());
}
