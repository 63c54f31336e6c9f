// Whole files or nothing, also from several threads at once; never a
// device, FIFO, socket or folder replaced; links followed; the file on
// disk before it takes its name.
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "output/atomic_file.h"
#include "testkit/testkit.h"

namespace {

std::mutex synced_mutex;
std::vector<std::string> synced;  // what fsync() was called on, by name

}  // namespace

namespace {

void note_sync(const char* how, int fd) {
    char name[4096];
    const ssize_t n = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), name, sizeof name);
    std::lock_guard<std::mutex> lock(synced_mutex);
    synced.push_back(how + std::string(name, n > 0 ? static_cast<size_t>(n) : 0));
}

}  // namespace

// Stand in for the C library's fsync and syncfs in this test program (the
// output library is linked in statically, so its calls come here): note
// the name of the file, then sync.
extern "C" int fsync(int fd) {
    note_sync("", fd);
    return static_cast<int>(syscall(SYS_fsync, fd));
}

extern "C" int syncfs(int fd) {
    note_sync("file system of ", fd);
    return static_cast<int>(syscall(SYS_syncfs, fd));
}

namespace {

using testkit::list_dir;
using testkit::read_file;
using testkit::temp_dir;
using testkit::write_file;

// What the file at path is, links not followed: 'f' regular, 'l' link,
// 'p' FIFO, 'c' character device, 'd' folder, 's' socket, '-' nothing.
char kind(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return '-';
    return S_ISREG(st.st_mode) ? 'f' : S_ISLNK(st.st_mode) ? 'l' : S_ISFIFO(st.st_mode) ? 'p'
         : S_ISCHR(st.st_mode) ? 'c' : S_ISDIR(st.st_mode) ? 'd' : S_ISSOCK(st.st_mode) ? 's'
         : '?';
}

std::string refusal(const std::string& path, const char* what) {
    return path + " is a " + what + ", not a regular file; name a file to write, or a new one";
}

TEST(AtomicFile, WritesAndReplaces) {
    temp_dir dir;
    std::string error;
    ASSERT_TRUE(sts::write_atomically(dir / "a", "first\n", &error)) << error;
    ASSERT_TRUE(sts::write_atomically(dir / "a", "second\n", &error)) << error;
    EXPECT_EQ(read_file(dir / "a"), "second\n");
    ASSERT_TRUE(sts::write_atomically(dir / "empty", "", &error)) << error;
    EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{"a", "empty"}));
}

TEST(AtomicFile, FailuresLeaveNothingBehind) {
    temp_dir dir;
    std::string error;
    EXPECT_FALSE(sts::write_atomically(dir / "missing/a", "x", &error));
    EXPECT_EQ(error,
              "cannot create a file in " + (dir / "missing") + ": No such file or directory");
    EXPECT_FALSE(sts::write_atomically("", "x", &error));
    EXPECT_EQ(error, "an output has an empty name; name a file to write");
    write_file(dir / "keep", "old\n");
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

    // Given up before commit: the object removes its temporary file.
    {
        sts::atomic_file f;
        ASSERT_TRUE(f.create(dir / "keep", &error)) << error;
        ASSERT_TRUE(f.write("new\n", &error)) << error;
        EXPECT_EQ(list_dir(dir.path()).size(), 2u);
    }
    EXPECT_EQ(read_file(dir / "keep"), "old\n");
    EXPECT_EQ(list_dir(dir.path()), std::vector<std::string>{"keep"});
}

TEST(AtomicFile, ThreadsWriteSideBySide) {
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

// A link named as the output is followed: the file it names is replaced,
// the link stays.  Relative links start in the link's own folder; a link
// to nowhere makes the file it names.
TEST(AtomicFile, LinksAreFollowed) {
    temp_dir dir;
    std::filesystem::create_directory(dir / "sub");
    write_file(dir / "sub/target", "old\n");
    std::filesystem::create_symlink("target", dir / "sub/link");
    std::filesystem::create_symlink("sub/link", dir / "chain");
    std::filesystem::create_symlink("sub/new", dir / "dangling");
    std::string error;
    ASSERT_TRUE(sts::write_atomically(dir / "sub/link", "one\n", &error)) << error;
    EXPECT_EQ(read_file(dir / "sub/target"), "one\n");
    ASSERT_TRUE(sts::write_atomically(dir / "chain", "two\n", &error)) << error;
    EXPECT_EQ(read_file(dir / "sub/target"), "two\n");
    ASSERT_TRUE(sts::write_atomically(dir / "dangling", "three\n", &error)) << error;
    EXPECT_EQ(read_file(dir / "sub/new"), "three\n");
    EXPECT_EQ(kind(dir / "sub/link"), 'l');
    EXPECT_EQ(kind(dir / "chain"), 'l');
    EXPECT_EQ(kind(dir / "dangling"), 'l');
    EXPECT_EQ(list_dir(dir / "sub"), (std::vector<std::string>{"link", "new", "target"}));
    EXPECT_EQ(sts::output_target(dir / "chain", &error), dir / "sub/target");

    // Links in a circle: refused, nothing made.
    std::filesystem::create_symlink("b", dir / "a");
    std::filesystem::create_symlink("a", dir / "b");
    EXPECT_FALSE(sts::write_atomically(dir / "a", "x", &error));
    EXPECT_EQ(error, "cannot write " + (dir / "a") + ": Too many levels of symbolic links");
    EXPECT_EQ(list_dir(dir.path()),
              (std::vector<std::string>{"a", "b", "chain", "dangling", "sub"}));
}

// Refused outputs: a message, the node as it was, no temporary file.
void expect_refused(const temp_dir& dir, const std::string& name, const char* what, char was) {
    std::string error;
    EXPECT_FALSE(sts::write_atomically(dir / name, "x\n", &error)) << name;
    EXPECT_EQ(error, refusal(dir / name, what));
    EXPECT_EQ(kind(dir / name), was) << name;
    // And through a link: the link stays and says where it led.
    std::filesystem::create_symlink(name, dir / "link");
    EXPECT_FALSE(sts::write_atomically(dir / "link", "x\n", &error)) << name;
    EXPECT_EQ(error, (dir / "link") + " leads to " + (dir / name) + ", which is a " + what +
                         ", not a regular file; name a file to write, or a new one");
    EXPECT_EQ(kind(dir / "link"), 'l');
    std::filesystem::remove(dir / "link");
    EXPECT_EQ(list_dir(dir.path()), std::vector<std::string>{name});
}

TEST(AtomicFile, RefusesAFifo) {
    temp_dir dir;
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0) << std::strerror(errno);
    expect_refused(dir, "fifo", "FIFO", 'p');
}

TEST(AtomicFile, RefusesAFolder) {
    temp_dir dir;
    std::filesystem::create_directory(dir / "folder");
    expect_refused(dir, "folder", "folder", 'd');
}

TEST(AtomicFile, RefusesASocket) {
    temp_dir dir;
    const std::string path = dir / "socket";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, path.c_str());
    const int s = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    expect_refused(dir, "socket", "socket", 's');
    close(s);
}

// The node is made in the temporary folder, never /dev itself; the same
// numbers as /dev/full, which a rename once replaced.
TEST(AtomicFile, RefusesADevice) {
    if (geteuid() != 0)
        GTEST_SKIP() << testkit::unavailable_here << "making a device node needs root";
    temp_dir dir;
    ASSERT_EQ(mknod((dir / "full").c_str(), S_IFCHR | 0666, makedev(1, 7)), 0)
        << std::strerror(errno);
    expect_refused(dir, "full", "device", 'c');
}

// The temporary file is synced before the rename, and the folder after it.
TEST(AtomicFile, SyncsTheFileAndItsFolder) {
    temp_dir dir;
    synced.clear();
    std::string error;
    ASSERT_TRUE(sts::write_atomically(dir / "a", "contents\n", &error)) << error;
    ASSERT_EQ(synced.size(), 2u);
    // The file itself: by its temporary name, or, written without a name
    // (O_TMPFILE), by the name the kernel gives such a file ("#<inode>
    // (deleted)", which linkat does not change).
    EXPECT_TRUE(synced[0].rfind(dir / ".a.part" + std::to_string(getpid()) + "-", 0) == 0 ||
                synced[0].rfind(dir / "#", 0) == 0)
        << synced[0];
    EXPECT_EQ(synced[1], dir.path());
}

// A library that creates its file by name gets the name to create; a name
// taken is tried again with another; its file is synced and renamed too.
TEST(AtomicFile, AWriterMayMakeTheFileItself) {
    temp_dir dir;
    std::vector<std::string> tried;
    const auto make = [&](const std::string& temporary) {
        tried.push_back(temporary);
        if (tried.size() == 1) return EEXIST;
        write_file(temporary, "made\n");
        return 0;
    };
    synced.clear();
    std::string error;
    sts::atomic_file f;
    ASSERT_TRUE(f.create(dir / "a", make, &error)) << error;
    ASSERT_EQ(tried.size(), 2u);
    EXPECT_NE(tried[0], tried[1]);
    EXPECT_EQ(f.temporary(), tried[1]);
    ASSERT_TRUE(f.commit(&error)) << error;
    EXPECT_EQ(read_file(dir / "a"), "made\n");
    EXPECT_EQ(synced.size(), 2u);
    EXPECT_TRUE(f.temporary().empty());
    EXPECT_FALSE(f.create(dir / "b", make, &error)) << "once per object";

    sts::atomic_file g;
    EXPECT_FALSE(g.create(dir / "c", [](const std::string&) { return ENOSPC; }, &error));
    EXPECT_EQ(error, "cannot create a file in " + dir.path() + ": No space left on device");
    EXPECT_EQ(list_dir(dir.path()), std::vector<std::string>{"a"});
}

// A set: nothing under the names until commit, one sync of the file
// system, then every file in place; a failure on the way replaces none.
TEST(AtomicFileSet, AllTogetherAfterOneSync) {
    temp_dir dir;
    write_file(dir / "a", "old a\n");
    std::string error;
    {
        sts::atomic_file_set set;
        ASSERT_TRUE(set.add(dir / "a", "new a\n", &error)) << error;
        ASSERT_TRUE(set.add(dir / "b", "new b\n", &error)) << error;
        EXPECT_EQ(read_file(dir / "a"), "old a\n");
        EXPECT_EQ(list_dir(dir.path()).size(), 3u);  // a and two temporary files
        synced.clear();
        ASSERT_TRUE(set.commit(&error)) << error;
        EXPECT_EQ(synced, (std::vector<std::string>{"file system of " + dir.path(), dir.path()}));
    }
    EXPECT_EQ(read_file(dir / "a"), "new a\n");
    EXPECT_EQ(read_file(dir / "b"), "new b\n");
    EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{"a", "b"}));

    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
    {
        sts::atomic_file_set set;
        ASSERT_TRUE(set.add(dir / "a", "newer a\n", &error)) << error;
        EXPECT_FALSE(set.add(dir / "fifo", "x\n", &error));
        EXPECT_EQ(error, refusal(dir / "fifo", "FIFO"));
        EXPECT_FALSE(set.add(dir / "missing/c", "x\n", &error));
    }
    EXPECT_EQ(read_file(dir / "a"), "new a\n");
    EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{"a", "b", "fifo"}));
}

}  // namespace

namespace {

// The pid of a process that has ended (and been waited for).
pid_t ended_process() {
    const pid_t child = fork();
    if (child == 0) _exit(0);
    int status = 0;
    waitpid(child, &status, 0);
    return child;
}

// A file written as one goes has no name until it is complete: a process
// killed meanwhile leaves nothing.
TEST(AtomicFile, AFileWrittenInOneGoHasNoNameWhileWritten) {
    temp_dir dir;
    sts::atomic_file f;
    std::string error;
    ASSERT_TRUE(f.create_unnamed(dir / "a", &error)) << error;
    ASSERT_TRUE(f.write("contents\n", &error)) << error;
    EXPECT_EQ(list_dir(dir.path()), std::vector<std::string>{});  // O_TMPFILE on tmpfs/ext4
    ASSERT_TRUE(f.commit(&error)) << error;
    EXPECT_EQ(list_dir(dir.path()), std::vector<std::string>{"a"});
    EXPECT_EQ(read_file(dir / "a"), "contents\n");
    sts::atomic_file g;
    ASSERT_TRUE(g.create_unnamed(dir / "a", &error)) << error;
    ASSERT_TRUE(g.write("other\n", &error)) << error;
    g.discard();
    EXPECT_EQ(list_dir(dir.path()), std::vector<std::string>{"a"});
    EXPECT_EQ(read_file(dir / "a"), "contents\n");
}

// The temporary files of processes that are gone go at the first file a
// process makes in that folder; those of live processes, and names that
// only look like them, stay.
TEST(AtomicFile, StaleTemporaryFilesAreRemoved) {
    temp_dir dir;
    const std::string gone = std::to_string(ended_process());
    const std::string own = std::to_string(getpid());
    const std::vector<std::string> stale = {".g.nc.part" + gone + "-0", ".s17.part" + gone + "-3"};
    const std::vector<std::string> kept = {
        ".g.nc.part" + own + "-9",      // this process's own
        ".g.nc.part1-0",                // pid 1 is alive
        ".g.nc.partial",                // no pid
        ".g.nc.part" + gone + "-",      // no serial
        ".g.nc.part" + gone + "-0x",    // not a serial
        "g.nc.part" + gone + "-0",      // no leading dot
    };
    for (const auto& n : stale) write_file(dir / n, "x");
    for (const auto& n : kept) write_file(dir / n, "x");
    ASSERT_EQ(mkdir((dir / (".d.part" + gone + "-1")).c_str(), 0777), 0);  // not a file
    std::string error;
    ASSERT_TRUE(sts::write_atomically(dir / "a", "new\n", &error)) << error;
    for (const auto& n : stale) EXPECT_FALSE(testkit::file_exists(dir / n)) << n;
    for (const auto& n : kept) EXPECT_TRUE(testkit::file_exists(dir / n)) << n;
    EXPECT_TRUE(testkit::file_exists(dir / (".d.part" + gone + "-1")));
}

}  // namespace
