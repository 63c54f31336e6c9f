// The scratch files between the two passes of the statistics: records come
// back in order and whole however many buffers they fill, and every failure
// of the disk is reported, never taken for data.
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "grid/record_spill.h"
#include "grid/tests/failing_disk.h"
#include "testkit/testkit.h"

using namespace sts;

namespace {

// Record r of `length` floats: r * 1000 + i, exact in float.
std::vector<float> record(size_t r, size_t length) {
    std::vector<float> v;
    for (size_t i = 0; i < length; ++i) v.push_back(static_cast<float>(r * 1000 + i));
    return v;
}

std::vector<std::vector<float>> replayed(const record_spill& s, size_t length, std::string* error) {
    std::vector<std::vector<float>> out;
    const bool ok = s.replay([&](const float* r) { out.emplace_back(r, r + length); }, error);
    EXPECT_TRUE(ok) << *error;
    return out;
}

TEST(RecordSpill, RecordsComeBackInOrderAcrossBuffers) {
    testkit::temp_dir dir;
    // 700 records of 1000 floats: 2.8 MB, more than two of the 1 MiB
    // buffers and more than one read-back block.
    const size_t length = 1000, count = 700;
    record_spill s;
    std::string error;
    ASSERT_TRUE(s.open(dir.path(), length, &error)) << error;
    for (size_t r = 0; r < count; ++r) s.append(record(r, length).data());
    ASSERT_TRUE(s.finish(&error)) << error;
    EXPECT_EQ(s.records(), count);
    const auto back = replayed(s, length, &error);
    ASSERT_EQ(back.size(), count);
    for (size_t r = 0; r < count; ++r) ASSERT_EQ(back[r], record(r, length)) << r;
    // The file has no name: the folder stays empty.
    EXPECT_TRUE(testkit::list_dir(dir.path()).empty());
}

TEST(RecordSpill, NoRecordsReplayNothing) {
    testkit::temp_dir dir;
    record_spill s;
    std::string error;
    ASSERT_TRUE(s.open(dir.path(), 3, &error));
    ASSERT_TRUE(s.finish(&error));
    EXPECT_TRUE(replayed(s, 3, &error).empty());
}

TEST(RecordSpill, AFolderThatIsNotThereIsNamed) {
    record_spill s;
    std::string error;
    EXPECT_FALSE(s.open("/nonexistent/folder", 4, &error));
    EXPECT_EQ(error,
              "cannot make a scratch file in /nonexistent/folder: No such file or directory");
}

TEST(RecordSpill, AFullDiskIsReportedByFinish) {
    testkit::temp_dir dir;
    for (const size_t room : {size_t{0}, size_t{4096}, size_t{3u << 20}}) {
        failing_disk disk;
        disk.write_room = room;  // ENOSPC after this many bytes
        record_spill s;
        std::string error;
        ASSERT_TRUE(s.open(dir.path(), 1000, &error, &disk));
        for (size_t r = 0; r < 1000; ++r) s.append(record(r, 1000).data());
        EXPECT_FALSE(s.finish(&error)) << room;
        EXPECT_EQ(error, "cannot write a scratch file: No space left on device") << room;
    }
}

TEST(RecordSpill, AWriteOfNothingCountsAsAFullDisk) {
    testkit::temp_dir dir;
    failing_disk disk;
    disk.write_returns_zero = true;
    record_spill s;
    std::string error;
    ASSERT_TRUE(s.open(dir.path(), 2, &error, &disk));
    s.append(record(0, 2).data());
    EXPECT_FALSE(s.finish(&error));
    EXPECT_EQ(error, "cannot write a scratch file: No space left on device");
}

TEST(RecordSpill, ReadFailuresAreReported) {
    testkit::temp_dir dir;
    failing_disk disk;
    record_spill s;
    std::string error;
    ASSERT_TRUE(s.open(dir.path(), 2, &error, &disk));
    for (size_t r = 0; r < 5; ++r) s.append(record(r, 2).data());
    ASSERT_TRUE(s.finish(&error)) << error;
    disk.read_error = EIO;
    size_t seen = 0;
    EXPECT_FALSE(s.replay([&](const float*) { ++seen; }, &error));
    EXPECT_EQ(error, "cannot read a scratch file: Input/output error");
    disk.read_error = 0;
    disk.read_returns_zero = true;  // the file came back shorter than written
    EXPECT_FALSE(s.replay([&](const float*) { ++seen; }, &error));
    EXPECT_EQ(error, "cannot read a scratch file: it is shorter than written");
    EXPECT_EQ(seen, 0u);
}

TEST(RecordSpill, InterruptedCallsAreRetried) {
    testkit::temp_dir dir;
    failing_disk disk;
    disk.interrupt_every_other = true;  // EINTR before every real call
    record_spill s;
    std::string error;
    ASSERT_TRUE(s.open(dir.path(), 3, &error, &disk));
    for (size_t r = 0; r < 4; ++r) s.append(record(r, 3).data());
    ASSERT_TRUE(s.finish(&error)) << error;
    const auto back = replayed(s, 3, &error);
    ASSERT_EQ(back.size(), 4u);
    EXPECT_EQ(back[3], record(3, 3));
}

}  // namespace
