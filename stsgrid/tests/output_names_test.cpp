// stsgrid's output names end to end: a link is followed, a FIFO, device or
// folder is refused and left in place, and every name is checked before
// the work starts.  Nodes are made in the test's own folder, never in /dev.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testkit/instrument_files.h"
#include "testkit/testkit.h"

namespace {

using testkit::list_dir;
using testkit::read_file;
using testkit::temp_dir;

// A small grid in dir/g.3ds.
void write_grid(const temp_dir& dir) {
    const testkit::nanonis_grid_layout g = testkit::raster_grid(4, 3, 41);
    testkit::write_file(dir / "g.3ds", testkit::nanonis_grid(g, [](long pixel, int, long k) {
        return static_cast<float>(1e-9 * (0.025 * static_cast<double>(k) - 0.5) *
                                  (1 + 0.01 * static_cast<double>(pixel)));
    }));
}

testkit::outcome stsgrid(const temp_dir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), STSGRID_BIN);
    args.push_back("g.3ds");
    testkit::run_options options;
    options.cwd = dir.path();
    return testkit::run(args, options);
}

std::string refused(const std::string& name, const char* what) {
    return "stsgrid: " + name + " is a " + what +
           ", not a regular file; name a file to write, or a new one\n";
}

TEST(OutputNames, AFifoIsRefusedAndStays) {
    temp_dir dir;
    write_grid(dir);
    ASSERT_EQ(mkfifo((dir / "out.nc").c_str(), 0644), 0);
    const auto r = stsgrid(dir, {"-o", "out.nc"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, refused("out.nc", "FIFO"));
    EXPECT_TRUE(std::filesystem::is_fifo(dir / "out.nc"));
    EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{"g.3ds", "out.nc"}));
}

// The numbers of /dev/full, which the rename once replaced with a file.
TEST(OutputNames, ADeviceIsRefusedAndStays) {
    if (geteuid() != 0)
        GTEST_SKIP() << testkit::unavailable_here << "making a device node needs root";
    temp_dir dir;
    write_grid(dir);
    ASSERT_EQ(mknod((dir / "full").c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
    const auto r = stsgrid(dir, {"-o", "full"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, refused("full", "device"));
    EXPECT_TRUE(std::filesystem::is_character_file(dir / "full"));
    EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{"full", "g.3ds"}));
}

TEST(OutputNames, AFolderIsRefused) {
    temp_dir dir;
    write_grid(dir);
    std::filesystem::create_directory(dir / "out.nc");
    const auto r = stsgrid(dir, {"-o", "out.nc"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, refused("out.nc", "folder"));
    EXPECT_TRUE(list_dir(dir / "out.nc").empty());
}

// The file the link names gets the very bytes a plain name gets; the link
// stays a link.
TEST(OutputNames, ALinkIsFollowed) {
    temp_dir dir;
    write_grid(dir);
    std::filesystem::create_directory(dir / "results");
    testkit::write_file(dir / "results/grid.nc", "old\n");
    std::filesystem::create_symlink("results/grid.nc", dir / "link.nc");
    auto r = stsgrid(dir, {"-o", "link.nc", "--no-progress"});
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(stsgrid(dir, {"-o", "plain.nc", "--no-progress"}).status, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.nc"));
    EXPECT_EQ(read_file(dir / "results/grid.nc"), read_file(dir / "plain.nc"));
    EXPECT_EQ(list_dir(dir / "results"), std::vector<std::string>{"grid.nc"});

    // A link to a FIFO: refused, and it says where the link led.
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
    std::filesystem::create_symlink("fifo", dir / "to_fifo.nc");
    r = stsgrid(dir, {"-o", "to_fifo.nc"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "stsgrid: to_fifo.nc leads to fifo, which is a FIFO, not a regular file; "
                     "name a file to write, or a new one\n");
    EXPECT_TRUE(std::filesystem::is_fifo(dir / "fifo"));
}

// A companion file that cannot be written, or that is an input, stops the
// run before the netCDF file is made.
TEST(OutputNames, EveryNameIsCheckedBeforeTheWork) {
    temp_dir dir;
    write_grid(dir);
    ASSERT_EQ(mkfifo((dir / "out_mean_didv.txt").c_str(), 0644), 0);
    auto r = stsgrid(dir, {"-o", "out.nc", "--mean-text"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, refused("out_mean_didv.txt", "FIFO"));
    r = stsgrid(dir, {"-o", "out.nc", "--pointmean", "g.3ds"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "stsgrid: g.3ds: the output would replace the input g.3ds; "
                     "name another with --pointmean\n");
    EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{"g.3ds", "out_mean_didv.txt"}));
}

}  // namespace
