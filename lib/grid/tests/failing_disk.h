// A scratch disk that fails on demand: full after so many bytes, writes or
// reads of nothing, read errors, calls interrupted by signals.
#ifndef STSGRID_TESTS_FAILING_DISK_H
#define STSGRID_TESTS_FAILING_DISK_H

#include <cerrno>
#include <cstddef>
#include <limits>

#include "grid/scratch_disk.h"

namespace sts {

class failing_disk : public scratch_disk {
public:
    size_t write_room = std::numeric_limits<size_t>::max();  // bytes before ENOSPC
    bool write_returns_zero = false;
    int read_error = 0;               // errno of every pread, 0: none
    bool read_returns_zero = false;   // as at the end of a file
    bool interrupt_every_other = false;

    ssize_t write(int fd, const void* data, size_t size) override {
        if (interrupted()) return -1;
        if (write_returns_zero) return 0;
        if (written_ >= write_room) {
            errno = ENOSPC;
            return -1;
        }
        const size_t n = size < write_room - written_ ? size : write_room - written_;
        const ssize_t done = scratch_disk::write(fd, data, n);
        if (done > 0) written_ += static_cast<size_t>(done);
        return done;
    }
    // As write, and at most piece bytes a call (a write that comes back
    // short).
    size_t piece = std::numeric_limits<size_t>::max();
    ssize_t pwrite(int fd, const void* data, size_t size, off_t at) override {
        if (interrupted()) return -1;
        if (write_returns_zero) return 0;
        if (written_ >= write_room) {
            errno = ENOSPC;
            return -1;
        }
        size_t n = size < write_room - written_ ? size : write_room - written_;
        if (n > piece) n = piece;
        const ssize_t done = scratch_disk::pwrite(fd, data, n, at);
        if (done > 0) written_ += static_cast<size_t>(done);
        return done;
    }
    ssize_t pread(int fd, void* data, size_t size, off_t at) override {
        if (interrupted()) return -1;
        if (read_error != 0) {
            errno = read_error;
            return -1;
        }
        if (read_returns_zero) return 0;
        return scratch_disk::pread(fd, data, size, at);
    }

private:
    bool interrupted() {
        if (!interrupt_every_other || (calls_++ % 2) != 0) return false;
        errno = EINTR;
        return true;
    }
    size_t written_ = 0;
    unsigned long calls_ = 0;
};

}  // namespace sts

#endif
