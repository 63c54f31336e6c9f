// A small grid made once per test binary: make_grid writes a .3ds of 7 x 5
// pixels of 40 points with the last 3 pixels missing, stsgrid turns it into
// the netCDF file stsview reads, and a second stsgrid run over a region
// gives the statistics the region route must equal.
#ifndef STSVIEW_TESTS_GRID_FIXTURE_H
#define STSVIEW_TESTS_GRID_FIXTURE_H

#include <gtest/gtest.h>
#include <netcdf.h>

#include <memory>
#include <string>
#include <vector>

#include "testkit/testkit.h"

namespace stsview_test {

struct grid_fixture {
    testkit::temp_dir dir;
    std::string nc, region_nc;
    bool ok = false;
    static constexpr int nx = 7, ny = 5, points = 40, missing = 3;
    // The region given to stsgrid --region x0:x1,y0:y1.
    static constexpr int x0 = 1, x1 = 4, y0 = 2, y1 = 4;

    grid_fixture() {
        const std::string g = dir / "grid.3ds";
        nc = dir / "grid.nc";
        region_nc = dir / "region.nc";
        const auto a = testkit::run({MAKE_GRID_BIN, std::to_string(nx), std::to_string(ny),
                                     std::to_string(points), g, std::to_string(missing)});
        const auto b = testkit::run({STSGRID_BIN, "-o", nc, g});
        const auto c = testkit::run({STSGRID_BIN, "-o", region_nc,
                                     testkit::format("--region=%d:%d,%d:%d", x0, x1, y0, y1), g});
        // stsgrid's status 3: done with unprocessed (here missing) pixels.
        ok = a.status == 0 && (b.status == 0 || b.status == 3) && (c.status == 0 || c.status == 3);
        if (!ok) ADD_FAILURE() << a.err << b.err << c.err;
    }

    static grid_fixture& get() {
        static grid_fixture f;
        return f;
    }
};

// A whole float variable read straight through the netCDF API.
inline std::vector<float> read_whole(const std::string& path, const std::string& name) {
    int ncid = -1, var = -1, ndims = 0, dims[NC_MAX_VAR_DIMS];
    std::vector<float> out;
    if (nc_open(path.c_str(), NC_NOWRITE, &ncid) != NC_NOERR) return out;
    size_t total = 1;
    if (nc_inq_varid(ncid, name.c_str(), &var) == NC_NOERR && nc_inq_varndims(ncid, var, &ndims) == NC_NOERR &&
        nc_inq_vardimid(ncid, var, dims) == NC_NOERR) {
        for (int i = 0; i < ndims; ++i) {
            size_t n = 0;
            nc_inq_dimlen(ncid, dims[i], &n);
            total *= n;
        }
        out.resize(total);
        nc_get_var_float(ncid, var, out.data());
    }
    nc_close(ncid);
    return out;
}

}  // namespace stsview_test

#endif
