// An output never replaces an input, by whatever names either is reached.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "output/input_guard.h"
#include "testkit/testkit.h"

namespace {

using testkit::temp_dir;
using testkit::write_file;

TEST(InputGuard, TheSameFileByAnyName) {
    temp_dir dir;
    write_file(dir / "in", "input\n");
    write_file(dir / "other", "other\n");
    std::filesystem::create_directory(dir / "sub");
    std::filesystem::create_symlink("..", dir / "sub/up");
    std::filesystem::create_symlink("../in", dir / "sub/link");
    std::filesystem::create_hard_link(dir / "in", dir / "hard");
    const sts::input_guard guard({"missing", dir / "in"});
    EXPECT_EQ(guard.replaced_input(dir / "in"), dir / "in");
    EXPECT_EQ(guard.replaced_input(dir / "sub/../in"), dir / "in");
    EXPECT_EQ(guard.replaced_input(dir / "sub/up/in"), dir / "in");   // a linked folder
    EXPECT_EQ(guard.replaced_input(dir / "sub/link"), dir / "in");    // a link is followed
    EXPECT_EQ(guard.replaced_input(dir / "hard"), dir / "in");        // the same file
    EXPECT_EQ(guard.replaced_input(dir / "other"), "");
    EXPECT_EQ(guard.replaced_input(dir / "new"), "");
    EXPECT_EQ(guard.replaced_input(dir / "missing"), "");
}

}  // namespace
