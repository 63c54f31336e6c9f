// The buffered writer: the bytes that reach the file, the way a file is
// opened, and every kind of write failure surfacing at close().
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "output/row_writer.h"
#include "testkit/testkit.h"

namespace {

using testkit::read_file;
using testkit::temp_dir;

// Row k of a test file: a ramp and a parabola.
float first(int k) { return static_cast<float>(k * 0.37 - 50.0); }
float second(int k) { return 1e-7f * static_cast<float>(k * k); }

// Rows of "%f   %f\n" as printf writes them.
std::string expected_rows(int count) {
    std::string text;
    for (int k = 0; k < count; ++k)
        text += testkit::format("%f   %f\n", static_cast<double>(first(k)),
                                static_cast<double>(second(k)));
    return text;
}

void put_rows(row_writer& w, int count) {
    for (int k = 0; k < count; ++k) {
        w.put_fixed(first(k));
        w.put("   ");
        w.put_fixed(second(k));
        w.put('\n');
    }
}

TEST(RowWriter, BytesSurviveEveryBufferBoundary) {
    temp_dir dir;
    // From the smallest buffer (one number) to one that holds the whole file.
    for (std::size_t capacity : {std::size_t{0}, FIXED_TEXT_MAX, std::size_t{100}, std::size_t{4096},
                                 row_writer::DEFAULT_CAPACITY}) {
        row_writer w(capacity);
        ASSERT_TRUE(w.open((dir / "rows.txt").c_str()));
        put_rows(w, 3000);
        w.put(std::string(10000, 'x'));  // longer than the buffer
        EXPECT_TRUE(w.close()) << capacity;
        // (compared as a condition: a difference would print 100 kB)
        EXPECT_TRUE(read_file(dir / "rows.txt") == expected_rows(3000) + std::string(10000, 'x'))
            << capacity;
    }
}

TEST(RowWriter, OpensAsTheCLibraryDoes) {
    temp_dir dir;
    testkit::write_file(dir / "old.txt", "a much longer earlier content\n");
    row_writer w;
    ASSERT_TRUE(w.open((dir / "old.txt").c_str()));
    w.put("new\n");
    ASSERT_TRUE(w.close());
    EXPECT_EQ(read_file(dir / "old.txt"), "new\n");  // truncated, not overwritten in place

    // The same permissions as a file made by fopen(name, "w").
    ASSERT_TRUE(w.open((dir / "mine.txt").c_str()));
    ASSERT_TRUE(w.close());
    std::FILE* f = std::fopen((dir / "theirs.txt").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    struct stat mine, theirs;
    ASSERT_EQ(stat((dir / "mine.txt").c_str(), &mine), 0);
    ASSERT_EQ(stat((dir / "theirs.txt").c_str(), &theirs), 0);
    EXPECT_EQ(mine.st_mode, theirs.st_mode);
}

TEST(RowWriter, OpenFailuresLeaveNothingOpen) {
    temp_dir dir;
    std::filesystem::create_directory(dir / "folder");
    row_writer w;
    EXPECT_FALSE(w.open((dir / "folder").c_str()));
    EXPECT_EQ(errno, EISDIR);
    EXPECT_FALSE(w.is_open());
    EXPECT_FALSE(w.open((dir / "missing/file.txt").c_str()));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(w.close());  // nothing to close is no success
}

TEST(RowWriter, FullDeviceFailsAtCloseEvenWhenSmall) {
    temp_dir dir;
    std::filesystem::create_symlink("/dev/full", dir / "full.txt");
    row_writer w;
    ASSERT_TRUE(w.open((dir / "full.txt").c_str()));
    w.put("1.000000\n");
    EXPECT_FALSE(w.failed());  // still in the buffer
    EXPECT_FALSE(w.close());
    EXPECT_TRUE(w.failed());

    // A failure early in a large file is not forgotten by later writes.
    row_writer small(64);
    ASSERT_TRUE(small.open((dir / "full.txt").c_str()));
    put_rows(small, 1000);
    EXPECT_TRUE(small.failed());
    EXPECT_FALSE(small.flush());
    EXPECT_FALSE(small.close());
    // Opening again starts afresh.
    ASSERT_TRUE(small.open((dir / "fine.txt").c_str()));
    EXPECT_FALSE(small.failed());
    small.put("ok\n");
    EXPECT_TRUE(small.close());
}

TEST(RowWriter, FileSizeLimitKeepsThePrefixAndFails) {
    temp_dir dir;
    const std::string name = dir / "limited.txt";
    const auto r = testkit::run_in_child([&] {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        row_writer w;
        if (!w.open(name.c_str())) _exit(3);
        put_rows(w, 1000);
        _exit(w.close() ? 0 : 1);
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(read_file(name) == expected_rows(1000).substr(0, 4096));
}

}  // namespace
