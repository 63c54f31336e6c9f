// The system's scratch disk.
#include "grid/scratch_disk.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace sts {

namespace {

std::atomic<unsigned long> spill_serial{0};

}  // namespace

// O_TMPFILE where the system has it, else a fresh name removed at once.
int scratch_disk::make_nameless(const std::string& folder) {
#if defined(O_TMPFILE)
    const int fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
#endif
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = folder + "/.stsgrid-spill" + std::to_string(getpid()) + "-" +
                                 std::to_string(spill_serial++);
        const int fd = open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            unlink(name.c_str());
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}

ssize_t scratch_disk::write(int fd, const void* data, size_t size) {
    return ::write(fd, data, size);
}

ssize_t scratch_disk::pread(int fd, void* data, size_t size, off_t at) {
    return ::pread(fd, data, size, at);
}

ssize_t scratch_disk::pwrite(int fd, const void* data, size_t size, off_t at) {
    return ::pwrite(fd, data, size, at);
}

scratch_disk& system_scratch_disk() {
    static scratch_disk disk;
    return disk;
}

}  // namespace sts
