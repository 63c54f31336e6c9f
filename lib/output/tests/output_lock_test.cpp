// The lock of a run's outputs: one holder at a time, its file gone after.
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "output/output_lock.h"
#include "testkit/testkit.h"

namespace {

using testkit::temp_dir;

TEST(OutputLock, OneHolderAtATime) {
    temp_dir dir;
    const std::string path = dir / ".lock";
    std::string error;
    bool busy = true;
    {
        sts::output_lock held;
        ASSERT_TRUE(held.acquire(path, &busy, &error)) << error;
        EXPECT_FALSE(busy);
        // Another process is refused while it is held (flock locks belong to
        // the open file, so a second open in this process is refused too).
        const testkit::outcome other = testkit::run_in_child([&] {
            sts::output_lock second;
            bool b = false;
            std::string e;
            const bool got = second.acquire(path, &b, &e);
            std::printf("%d %d %s", got, b, e.c_str());
        });
        EXPECT_EQ(other.out, "0 1 another run is writing there (it holds " + path + ")");
    }
    EXPECT_FALSE(testkit::file_exists(path));  // gone with the lock
    sts::output_lock again;
    EXPECT_TRUE(again.acquire(path, &busy, &error)) << error;
    again.release();
    EXPECT_FALSE(testkit::file_exists(path));
}

TEST(OutputLock, ALockFileThatCannotBeMadeIsNotBusy) {
    sts::output_lock lock;
    bool busy = true;
    std::string error;
    EXPECT_FALSE(lock.acquire("/nonexistent-folder/.lock", &busy, &error));
    EXPECT_FALSE(busy);
    EXPECT_NE(error.find("cannot create the lock file /nonexistent-folder/.lock"),
              std::string::npos)
        << error;
}

}  // namespace
