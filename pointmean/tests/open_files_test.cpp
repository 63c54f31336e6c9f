// Input files kept open from point to point, within the open-file limit:
// a file removed after point 1 is still read where it is kept, and stops
// the run with the message of a missing file where the limit leaves no room
// to keep it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "pointmean/tests/e2e.h"

namespace {

using testkit::format;
using testkit::read_file;
using testkit::temp_dir;

struct removal_run {
    testkit::outcome result;
    std::string second_point;  // what reached statp2.txt
};

// Files of two rows: row 1 current k, row 2 current 10 k.
std::vector<std::string> two_rows(int files) {
    std::vector<std::string> contents;
    for (int k = 1; k <= files; ++k) contents.push_back(format("1 %d\n2 %d\n", k, 10 * k));
    return contents;
}

std::string point_file(int files, int scale) {
    std::string text;
    for (int k = 1; k <= files; ++k) text += format("%f\n", double(scale * k));
    return text;
}

// A run of two points over `files` files in which the last file is removed
// between the points: statp2.txt is a FIFO, so the run blocks opening it
// until the removal is done.
removal_run remove_last_between_points(int files, const testkit::run_options& limits) {
    temp_dir dir;
    e2e::series(dir, two_rows(files));
    const std::string last = dir / ("stxt" + std::to_string(files) + "p.txt");
    EXPECT_EQ(mkfifo((dir / "statp2.txt").c_str(), 0600), 0);
    removal_run run;
    std::thread helper([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline) {
            if (testkit::file_exists(dir / "statp1.txt") &&
                read_file(dir / "statp1.txt") == point_file(files, 1))
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::filesystem::remove(last);
        const int fd = open((dir / "statp2.txt").c_str(), O_RDONLY);
        char buffer[4096];
        for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;)
            run.second_point.append(buffer, static_cast<size_t>(n));
        close(fd);
    });
    run.result = e2e::pointmean(dir, std::to_string(files) + " 2", limits);
    helper.join();
    return run;
}

TEST(OpenFiles, AKeptFileOutlivesItsRemoval) {
    const removal_run run = remove_last_between_points(2, {});
    EXPECT_EQ(run.result.status, 1);
    EXPECT_EQ(run.result.out,
              e2e::header + "Value of point 1 is 1.500000 +/- 1.000000  (66.666664% error)\n" +
                  "Value of point 2 is 15.000000 +/- 10.000000  (66.666664% error)\n" +
                  e2e::finished);
    EXPECT_EQ(run.second_point, "10.000000\n20.000000\n");
}

TEST(OpenFiles, BeyondTheLimitFilesAreOpenedForEveryPoint) {
    // Soft and hard limit 20: four files fit beside the reserve, the fortieth
    // is opened anew at point 2 and found missing, as any file not kept is.
    testkit::run_options limits;
    limits.open_file_limit = 20;
    limits.open_file_hard_limit = 20;
    const removal_run run = remove_last_between_points(40, limits);
    EXPECT_EQ(run.result.status, 99);
    const std::string& out = run.result.out;
    EXPECT_NE(out.find("Value of point 1 is"), std::string::npos);
    const std::string stop = "\nCouldn't open stxt40p.txt. Exiting..\n\n";
    ASSERT_GT(out.size(), stop.size());
    EXPECT_EQ(out.substr(out.size() - stop.size()), stop);
    std::string first_39;
    for (int k = 1; k < 40; ++k) first_39 += format("%f\n", double(10 * k));
    EXPECT_EQ(run.second_point, first_39);  // the lines read before the failure
}

TEST(OpenFiles, TheSoftLimitIsRaisedWhereAllowed) {
    // The same run with only the soft limit at 20: it is raised, all forty
    // files are kept, and the removal goes unnoticed.
    testkit::run_options limits;
    limits.open_file_limit = 20;
    const removal_run run = remove_last_between_points(40, limits);
    EXPECT_EQ(run.result.status, 1);
    EXPECT_EQ(run.second_point, point_file(40, 10));
}

TEST(OpenFiles, MissingAtPointOneUnderALimit) {
    // A missing file still stops the run at point 1 when it would not have
    // been kept: the same message and the same files left behind.
    temp_dir dir;
    std::vector<std::string> contents = two_rows(30);
    e2e::series(dir, contents);
    std::filesystem::remove(dir / "stxt25p.txt");
    testkit::run_options limits;
    limits.open_file_limit = 20;
    limits.open_file_hard_limit = 20;
    const auto r = e2e::pointmean(dir, "30 2", limits);
    EXPECT_EQ(r.status, 99);
    EXPECT_EQ(r.out, e2e::header + "Couldn't open stxt25p.txt. Exiting..\n\n");
    EXPECT_EQ(read_file(dir / "statp1.txt"), point_file(24, 1));
    EXPECT_EQ(read_file(dir / "pointmean.txt"), "");
    EXPECT_FALSE(testkit::file_exists(dir / "statp2.txt"));
}

}  // namespace
