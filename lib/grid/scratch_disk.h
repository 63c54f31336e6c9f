// The disk under the grid statistics' and the Fourier maps' scratch files, behind an interface so
// that a test can make it fail (a full disk, a file that comes back short),
// as Ninja puts its file system behind DiskInterface.
#ifndef GRID_SCRATCH_DISK_H
#define GRID_SCRATCH_DISK_H

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace sts {

class scratch_disk {
public:
    virtual ~scratch_disk() = default;
    // A file with no name in folder, open for reading and writing: its
    // descriptor, or -1 with errno set.
    virtual int make_nameless(const std::string& folder);
    // As write(2), pread(2) and pwrite(2).
    virtual ssize_t write(int fd, const void* data, size_t size);
    virtual ssize_t pread(int fd, void* data, size_t size, off_t at);
    virtual ssize_t pwrite(int fd, const void* data, size_t size, off_t at);
};

// The system's disk (the base class as it is): what the runs use.
scratch_disk& system_scratch_disk();

}  // namespace sts

#endif
