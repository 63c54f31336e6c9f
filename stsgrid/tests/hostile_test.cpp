// stsgrid against hostile and clumsy input: infinities among the currents,
// a header that declares more pixels than the file holds, a run killed while
// it writes, two runs on one output, terminal escapes in names.
#include <fcntl.h>
#include <netcdf.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "testkit/instrument_files.h"
#include "testkit/testkit.h"

extern char** environ;

namespace {

using testkit::list_dir;
using testkit::temp_dir;
using testkit::write_file;

testkit::outcome stsgrid(const temp_dir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), STSGRID_BIN);
    testkit::run_options options;
    options.cwd = dir.path();
    return testkit::run(args, options);
}

// Every variable of a netCDF file as floats, by name.
std::vector<std::pair<std::string, std::vector<float>>> variables(const std::string& path) {
    int id = -1;
    EXPECT_EQ(nc_open(path.c_str(), NC_NOWRITE, &id), NC_NOERR) << path;
    int count = 0;
    nc_inq_nvars(id, &count);
    std::vector<std::pair<std::string, std::vector<float>>> all;
    for (int var = 0; var < count; ++var) {
        char name[NC_MAX_NAME + 1] = {};
        nc_type type = 0;
        int dims = 0;
        nc_inq_var(id, var, name, &type, &dims, nullptr, nullptr);
        if (type == NC_CHAR || type == NC_STRING) continue;
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
        all.emplace_back(name, std::move(v));
    }
    nc_close(id);
    return all;
}

std::vector<float> variable(const std::string& path, const std::string& name) {
    for (auto& [n, v] : variables(path))
        if (n == name) return v;
    ADD_FAILURE() << "no variable " << name;
    return {};
}

float current_of(long pixel, long k) {
    const double v = -0.5 + 0.025 * static_cast<double>(k);
    return static_cast<float>(1e-9 * (std::sinh(3 * v) + 0.01 * static_cast<double>(pixel) * v) +
                              2e-11);
}

// A 3 x 2 grid of 41 points whose pixel 0 holds `odd` at point 7 of both
// directions.
std::string grid_with(float odd) {
    const testkit::nanonis_grid_layout g = testkit::raster_grid(3, 2, 41);
    return testkit::nanonis_grid(g, [odd](long p, int, long k) {
        return p == 0 && k == 7 ? odd : current_of(p, k);
    });
}

// Equal as floats, a NaN equal to a NaN.
bool same(const std::vector<float>& a, const std::vector<float>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!(a[i] == b[i] || (std::isnan(a[i]) && std::isnan(b[i])))) return false;
    return true;
}

TEST(Hostile, AnInfiniteCurrentIsAMissingOne) {
    // +inf, -inf, and 3e38 A, which is beyond float once in nA: each gives
    // the file a NaN in the same place gives, variable for variable.
    temp_dir dir;
    write_file(dir / "nan.3ds", grid_with(std::numeric_limits<float>::quiet_NaN()));
    auto r = stsgrid(dir, {"nan.3ds"});
    ASSERT_EQ(r.status, 3) << r.err;
    const auto expected = variables(dir / "nan.nc");
    for (float odd : {std::numeric_limits<float>::infinity(),
                      -std::numeric_limits<float>::infinity(), 3e38f}) {
        write_file(dir / "odd.3ds", grid_with(odd));
        r = stsgrid(dir, {"odd.3ds"});
        EXPECT_EQ(r.status, 3) << odd << r.err;
        EXPECT_EQ(r.out,
                  "stsgrid: wrote odd.nc: 3 x 2 pixels, 41 points; statistics over 5 pixels\n"
                  "stsgrid: 1 of 6 pixels not processed: 1 some values missing (status codes in "
                  "the variable 'status')\n");
        const auto got = variables(dir / "odd.nc");
        ASSERT_EQ(got.size(), expected.size());
        for (size_t i = 0; i < got.size(); ++i)
            EXPECT_TRUE(same(got[i].second, expected[i].second)) << odd << " " << got[i].first;
        EXPECT_EQ(variable(dir / "odd.nc", "status")[0], 8.0f);
        for (const char* mean : {"mean_didv", "mean_norm_raw", "mean_current"})
            for (float v : variable(dir / "odd.nc", mean)) EXPECT_TRUE(std::isfinite(v)) << mean;
    }
}

// The .3ds file with its "Grid dim" edited to nx x ny.
std::string declaring(std::string bytes, const std::string& dim) {
    const size_t at = bytes.find("Grid dim=\"");
    const size_t end = bytes.find('"', at + 10);
    return bytes.replace(at + 10, end - at - 10, dim);
}

TEST(Hostile, AHeaderDeclaringMorePixelsIsRefused) {
    temp_dir dir;
    const testkit::nanonis_grid_layout g = testkit::raster_grid(3, 2, 41);
    const std::string bytes =
        testkit::nanonis_grid(g, [](long p, int, long k) { return current_of(p, k); });
    // 6 pixels of 13 declared: fewer than half.
    write_file(dir / "g.3ds", declaring(bytes, "13 x 1"));
    auto r = stsgrid(dir, {"g.3ds"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("its header declares 13 pixels: fewer than half of them; --partial"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(testkit::file_exists(dir / "g.nc"));
    // --partial reads it, the 7 pixels not there marked missing.
    r = stsgrid(dir, {"--partial", "g.3ds"});
    EXPECT_EQ(r.status, 3) << r.err;
    const auto status = variable(dir / "g.nc", "status");
    ASSERT_EQ(status.size(), 13u);
    for (size_t p = 0; p < 13; ++p) EXPECT_EQ(status[p], p < 6 ? 0.0f : 6.0f) << p;
    // 6 of 12: half, read as an interrupted grid always was.
    write_file(dir / "h.3ds", declaring(bytes, "4 x 3"));
    EXPECT_EQ(stsgrid(dir, {"h.3ds"}).status, 3);
    // 6 of 300 x 300 (1/15000): refused even with --partial.
    write_file(dir / "big.3ds", declaring(bytes, "300 x 300"));
    r = stsgrid(dir, {"--partial", "big.3ds"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("fewer than 1/256 of them"), std::string::npos) << r.err;
    EXPECT_FALSE(testkit::file_exists(dir / "big.nc"));
    // More pixels than declared: the header's layout is wrong.
    write_file(dir / "small.3ds", declaring(bytes, "2 x 2"));
    r = stsgrid(dir, {"small.3ds"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("does not describe the data"), std::string::npos) << r.err;
}

TEST(Hostile, RealGridInflatedHeader) {
    const std::string data = testkit::realdata_dir();
    if (data.empty()) GTEST_SKIP() << "no real data folder";
    temp_dir dir;
    const std::string bytes = testkit::read_file(data + "/raw/nanonis_simulator_grid_bwd_5x6.3ds");
    for (const char* dim : {"300 x 300", "3000 x 3000"}) {
        write_file(dir / "g.3ds", declaring(bytes, dim));
        for (bool partial : {false, true}) {
            const auto r = partial ? stsgrid(dir, {"--partial", "g.3ds"}) : stsgrid(dir, {"g.3ds"});
            EXPECT_EQ(r.status, 1) << dim << r.err;
            EXPECT_EQ(list_dir(dir.path()), std::vector<std::string>{"g.3ds"}) << dim;
        }
    }
}

// A grid that takes stsgrid long enough to be caught writing.
std::string slow_grid() {
    testkit::nanonis_grid_layout g = testkit::raster_grid(120, 120, 400);
    g.channels = {"Current (A)"};
    return testkit::nanonis_grid(g, [](long p, int, long k) { return current_of(p, k % 41); });
}

pid_t spawn(const std::vector<std::string>& args, const std::string& cwd) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// The names in the folder that start with prefix.
std::vector<std::string> starting(const std::string& folder, const std::string& prefix) {
    std::vector<std::string> names;
    for (const auto& n : list_dir(folder))
        if (n.rfind(prefix, 0) == 0) names.push_back(n);
    return names;
}

TEST(Hostile, TheNextRunRemovesAKilledRunsTemporaryFile) {
    temp_dir dir;
    write_file(dir / "g.3ds", slow_grid());
    const pid_t child = spawn({STSGRID_BIN, "--jobs=1", "g.3ds"}, dir.path());
    ASSERT_GT(child, 0);
    const std::string part = ".g.nc.part" + std::to_string(child) + "-";
    // Killed as soon as its temporary file is there.
    bool seen = false;
    int status = 0;
    for (int i = 0; i < 600000 && !seen; ++i) {
        seen = !starting(dir.path(), part).empty();
        if (seen) break;
        ASSERT_EQ(waitpid(child, &status, WNOHANG), 0) << "stsgrid ended before " << part;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    ASSERT_TRUE(seen) << "stsgrid never made " << part;
    kill(child, SIGKILL);
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_EQ(starting(dir.path(), part).size(), 1u);  // left behind
    // Another output in the folder: the next run removes it all the same,
    // and leaves a name that only looks like one alone.
    write_file(dir / ".g.nc.partial", "x");
    const auto r = stsgrid(dir, {"-o", "other.nc", "--jobs=1", "g.3ds"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(starting(dir.path(), part).empty());
    // The killed run's lock file (empty, locked by no one) stays until the
    // next run on g.nc takes the lock and removes it.
    EXPECT_EQ(starting(dir.path(), ".g.nc"),
              (std::vector<std::string>{".g.nc.lock", ".g.nc.partial"}));
    EXPECT_EQ(stsgrid(dir, {"--jobs=1", "g.3ds"}).status, 0);
    EXPECT_EQ(starting(dir.path(), ".g.nc"), std::vector<std::string>{".g.nc.partial"});
}

TEST(Hostile, ASecondRunOnOneOutputIsRefused) {
    // The lock a running stsgrid takes, held here.
    temp_dir dir;
    write_file(dir / "g.3ds", grid_with(1e-9f));
    const int fd = open((dir / ".g.nc.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    auto r = stsgrid(dir, {"g.3ds"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("g.nc: another stsgrid run is writing it"), std::string::npos) << r.err;
    EXPECT_FALSE(testkit::file_exists(dir / "g.nc"));
    close(fd);
    r = stsgrid(dir, {"g.3ds"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(testkit::file_exists(dir / ".g.nc.lock"));  // gone with the run
}

TEST(Hostile, EscapesInNamesAreEscaped) {
    temp_dir dir;
    const std::string name = "g\x1b]0;owned\x07\x1b[2J.3ds";
    auto r = stsgrid(dir, {name});  // no such file: its name in the message
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("g\\x1b]0;owned\\x07\\x1b[2J.3ds"), std::string::npos) << r.err;
    // A channel name with a forged line, listed when the channel is not found.
    testkit::nanonis_grid_layout g = testkit::raster_grid(3, 2, 41);
    g.channels = {"Current\x1b[1A\rstsgrid: wrote g.nc (A)"};
    write_file(dir / "g.3ds",
               testkit::nanonis_grid(g, [](long p, int, long k) { return current_of(p, k); }));
    r = stsgrid(dir, {"-c", "Nothing", "g.3ds"});
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\r'), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("\nstsgrid: wrote"), std::string::npos) << r.err;
}

}  // namespace
