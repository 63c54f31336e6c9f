// Locking the outputs of a run: see output_lock.h.
#include "output/output_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sts {

namespace {

// Whether path still names the file fd is open on.
bool still_named(int fd, const std::string& path) {
    struct stat open_one, named;
    return fstat(fd, &open_one) == 0 && stat(path.c_str(), &named) == 0 &&
           open_one.st_dev == named.st_dev && open_one.st_ino == named.st_ino;
}

}  // namespace

bool output_lock::acquire(const std::string& path, bool* busy, std::string* error) {
    *busy = false;
    release();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0) {
            *error = "cannot create the lock file " + path + ": " + std::strerror(errno);
            return false;
        }
        int locked;
        while ((locked = flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
        }
        if (locked != 0) {
            const int code = errno;
            close(fd);
            *busy = code == EWOULDBLOCK;
            *error = *busy ? "another run is writing there (it holds " + path + ")"
                           : "cannot lock " + path + ": " + std::strerror(code);
            return false;
        }
        if (still_named(fd, path)) {
            path_ = path;
            fd_ = fd;
            return true;
        }
        close(fd);  // removed by the run that held it: take the new one
    }
    *error = "cannot lock " + path + ": it keeps being replaced";
    return false;
}

void output_lock::release() {
    if (fd_ < 0) return;
    (void)unlink(path_.c_str());  // while still held: no one locks a removed file
    close(fd_);
    fd_ = -1;
    path_.clear();
}

}  // namespace sts
