// Whole files or nothing, also from several threads at once.
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "output/atomic_write.h"
#include "testkit/testkit.h"

namespace {

using testkit::list_dir;
using testkit::read_file;
using testkit::temp_dir;

TEST(AtomicWrite, WritesAndReplaces) {
    temp_dir dir;
    std::string error;
    ASSERT_TRUE(sts::write_atomically(dir / "a", "first\n", &error)) << error;
    ASSERT_TRUE(sts::write_atomically(dir / "a", "second\n", &error)) << error;
    EXPECT_EQ(read_file(dir / "a"), "second\n");
    ASSERT_TRUE(sts::write_atomically(dir / "empty", "", &error)) << error;
    EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{"a", "empty"}));
}

TEST(AtomicWrite, FailuresLeaveNothingBehind) {
    temp_dir dir;
    std::string error;
    EXPECT_FALSE(sts::write_atomically(dir / "missing/a", "x", &error));
    EXPECT_EQ(error,
              "cannot create a file in " + (dir / "missing") + ": No such file or directory");
    testkit::write_file(dir / "keep", "old\n");
    // A file size limit hit half way: the old file stays whole and no
    // temporary file remains.
    const auto r = testkit::run_in_child([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit = {4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::string e;
        const bool ok = sts::write_atomically(dir / "keep", std::string(1 << 20, 'x'), &e);
        std::fputs(e.c_str(), stderr);
        std::exit(ok ? 0 : 3);
    });
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "cannot write " + (dir / "keep") + ": File too large");
    EXPECT_EQ(read_file(dir / "keep"), "old\n");
    EXPECT_EQ(list_dir(dir.path()), std::vector<std::string>{"keep"});
}

TEST(AtomicWrite, ThreadsWriteSideBySide) {
    temp_dir dir;
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            std::string error;
            for (int k = 0; k < 50; ++k)
                if (!sts::write_atomically(dir / ("f" + std::to_string(t * 50 + k)),
                                           std::to_string(k) + "\n", &error))
                    ++failures[t];
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
    EXPECT_EQ(list_dir(dir.path()).size(), 200u);  // and no temporary left over
}

}  // namespace
