// Writing a file in one piece: no partial file ever stands under its name.
#include "output/atomic_write.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace sts {

namespace {

// Temporary names differ between the threads of a process by this serial
// and between processes by the pid.
std::atomic<unsigned long> serial{0};

int create_temporary(const std::string& dir, const std::string& base, std::string* temp) {
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        *temp = dir + "/." + base + ".part" + std::to_string(getpid()) + "-" +
                std::to_string(serial.fetch_add(1));
        fd = open(temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    return fd;
}

bool write_all(int fd, std::string_view contents, int* failure) {
    size_t done = 0;
    while (done < contents.size()) {
        const ssize_t n = write(fd, contents.data() + done, contents.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *failure = n < 0 ? errno : ENOSPC;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

bool write_atomically(const std::string& path, std::string_view contents, std::string* error) {
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    // Beside the target, so that the rename stays within one file system.
    std::string temp;
    const int fd = create_temporary(dir, base, &temp);
    if (fd < 0) {
        *error = "cannot create a file in " + dir + ": " + std::strerror(errno);
        return false;
    }
    int failure = 0;
    if (!write_all(fd, contents, &failure)) {
        *error = "cannot write " + path + ": " + std::strerror(failure);
        close(fd);
        unlink(temp.c_str());
        return false;
    }
    if (close(fd) != 0 || std::rename(temp.c_str(), path.c_str()) != 0) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        unlink(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace sts
